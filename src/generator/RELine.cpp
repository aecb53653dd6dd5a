#include "RELine.h"

#include <cstring>

#include "platform/Text.h"

namespace generator {

namespace {
constexpr auto npos = std::string_view::npos;

// string_view::find, but with the needle's length known here the comparison
// is inlined; this runs several times on every line of every patch.
inline std::size_t find(std::string_view text, std::string_view needle, std::size_t from = 0) {
  if (from > text.size()) return npos;
  const char* const begin = text.data();
  const char* const end = begin + text.size();
  const char* p = begin + from;
  while (static_cast<std::size_t>(end - p) >= needle.size()) {
    p = static_cast<const char*>(std::memchr(p, needle[0], static_cast<std::size_t>(end - p) - needle.size() + 1));
    if (p == nullptr) return npos;
    if (std::memcmp(p + 1, needle.data() + 1, needle.size() - 1) == 0) return static_cast<std::size_t>(p - begin);
    ++p;
  }
  return npos;
}

inline std::size_t findChar(std::string_view text, char c, std::size_t from) {
  if (from >= text.size()) return npos;
  const void* p = std::memchr(text.data() + from, c, text.size() - from);
  return p == nullptr ? npos : static_cast<std::size_t>(static_cast<const char*>(p) - text.data());
}

inline std::string_view between(std::string_view text, std::size_t start, std::size_t end) {
  return text.substr(start, end == npos ? npos : end - start);
}

// Position of the first "{{", then whether a "}}" is anywhere on the line.
inline LineClass classifyPlaceholder(std::string_view line, std::size_t open, std::size_t& close) {
  if (open == npos) return LineClass::Other;
  close = find(line, kPlaceholderClose, open + kPlaceholderOpen.size());
  if (close != npos) return LineClass::Placeholder;
  // "{{" itself cannot be part of a "}}", so the text before it is all that is left.
  return find(line.substr(0, open), kPlaceholderClose) != npos ? LineClass::Placeholder
                                                               : LineClass::UnclosedPlaceholder;
}
}  // namespace

LineClass Classify(std::string_view line) {
  if (find(line, kPropertyMarker) != npos) return LineClass::Property;
  std::size_t close = npos;
  return classifyPlaceholder(line, find(line, kPlaceholderOpen), close);
}

RELine ParseLine(std::string_view line) {
  RELine parsed;
  if (const std::size_t marker = find(line, kPropertyMarker); marker != npos) {
    parsed.kind = LineClass::Property;
    const std::size_t start = marker + kPropertyMarker.size();
    std::size_t end = find(line, kPropertyMarker, start);
    const std::size_t separator = find(line, kTypeSeparator);
    // The line's first type separator can lie before the end of the marker.
    const std::size_t nameSeparator =
        separator != npos && separator < start ? find(line, kTypeSeparator, start) : separator;
    if (nameSeparator < end) end = nameSeparator;
    parsed.propertyName = between(line, start, end);
    if (separator != npos) {
      const std::size_t typeStart = separator + kTypeSeparator.size();
      parsed.propertyType = platform::Trim(between(line, typeStart, findChar(line, '"', typeStart)));
    }
    return parsed;
  }
  const std::size_t open = find(line, kPlaceholderOpen);
  std::size_t close = npos;
  parsed.kind = classifyPlaceholder(line, open, close);
  if (parsed.kind != LineClass::Placeholder) return parsed;
  parsed.prefix = line.substr(0, open);
  const std::size_t start = open + kPlaceholderOpen.size();
  // A second "{{" that ends the text lies before the "}}" found after the first one.
  const std::size_t limit = close == npos ? line.size() : close;
  const std::size_t reopen = find(line.substr(0, limit), kPlaceholderOpen, start);
  parsed.placeholder = between(line, start, reopen != npos ? reopen : close);
  return parsed;
}

std::string_view PlaceholderField(std::string_view placeholder, int n) {
  if (n < 1) return {};
  std::size_t start = 0;
  for (int field = 1; field < n; ++field) {
    const std::size_t bar = findChar(placeholder, kFieldSeparator, start);
    if (bar == npos) return {};
    start = bar + 1;
  }
  return between(placeholder, start, findChar(placeholder, kFieldSeparator, start));
}

std::string_view LastPlaceholderField(std::string_view placeholder) {
  const std::size_t last = placeholder.rfind(kFieldSeparator);
  return last == npos ? placeholder : placeholder.substr(last + 1);
}

}  // namespace generator
