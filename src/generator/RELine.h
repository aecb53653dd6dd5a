#pragma once
// The lines of an RE description, as both the patch expansion and the filter
// editor read them. Every view returned points into the line passed in.
#include <span>
#include <string_view>

namespace generator {

inline constexpr std::string_view kPropertyMarker = "<Value property=\"";
inline constexpr std::string_view kTypeSeparator = "\"  type=\"";
inline constexpr std::string_view kPlaceholderOpen = "{{";
inline constexpr std::string_view kPlaceholderClose = "}}";
inline constexpr char kFieldSeparator = '|';
// The line of a filter file between the enabled groups and the enabled properties.
inline constexpr std::string_view kFilterSeparator = "#+#+#+#+#";

enum class LineClass {
  Property,             // holds the property marker, whatever else it holds
  Placeholder,          // holds "{{" and, anywhere, "}}"
  UnclosedPlaceholder,  // holds "{{" but no "}}": left out of every patch
  Other,
};

struct RELine {
  LineClass kind = LineClass::Other;
  // Property: the text after the first property marker, up to the next type
  // separator, a second marker or the end of the line. Not trimmed: the filter
  // file stores it as it stands, the expansion trims it.
  std::string_view propertyName;
  // Property: the text after the line's first type separator up to the next
  // double quote, trimmed; empty without a type separator.
  std::string_view propertyType;
  // Placeholder: the text before the first "{{", exactly.
  std::string_view prefix;
  // Placeholder: the text after the first "{{", up to a second "{{", the
  // first "}}" after it or the end of the line.
  std::string_view placeholder;
};

LineClass Classify(std::string_view line);
// Only the parts of the line's own class are filled in.
RELine ParseLine(std::string_view line);
// ParseLine, and for a placeholder line the first fields.size() fields of its
// placeholder text as PlaceholderFields gives them, from the same pass over
// the line. Other lines leave the fields as they are.
RELine ParseLine(std::string_view line, std::span<std::string_view> fields);

// Field n (from 1) of a placeholder text split at "|", untrimmed; empty beyond
// the last field.
std::string_view PlaceholderField(std::string_view placeholder, int n);
// Fields 1 to fields.size() in one pass.
void PlaceholderFields(std::string_view placeholder, std::span<std::string_view> fields);
// The last field, whatever its number (the filter editor's new-line marker).
std::string_view LastPlaceholderField(std::string_view placeholder);

}  // namespace generator
