#pragma once
// One RE description expanded into the text of one patch: placeholders of the
// enabled properties get a random value, all others their default.
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/FolderItem.h"
#include "platform/IOResult.h"
#include "platform/TextStream.h"

namespace generator {

// Written for a randomised placeholder whose kind is none of "integer",
// "float" and "boolean".
inline constexpr std::string_view kUnknownKindMarker = "************ UNKNOWN DEFINITION ************";

// The value of a randomised placeholder from its trimmed kind, minimum and maximum.
using ValueMaker =
    std::function<std::string(std::string_view kind, std::string_view minimum, std::string_view maximum)>;

// A random value, each from a generator of its own with a fresh seed.
// "integer": a whole number between the bounds, each truncated toward zero;
// "float": a multiple of 1/10000 between them, each bound taken to its nearest
// multiple; "boolean": "false" for a draw of 0, "true" otherwise (whole bounds
// as for "integer"); any other kind: kUnknownKindMarker. Bounds are clamped to
// what an Int32 holds (for "float", in units of 1/10000).
std::string MakeNumberValue(std::string_view kind, std::string_view minimum, std::string_view maximum);

// The enabled property names of a filter file: every line after the first
// separator line, as read (blanks, empty lines and further separators kept).
std::vector<std::string> ReadEnabledParameterList(platform::TextInputStream& filter);
// Nothing enabled when the file does not exist. A file that exists but cannot
// be read is a failure, never an empty list: its patches would silently lose
// every random value.
platform::IOResult ReadEnabledParameterList(const platform::FolderItem& filterFile,
                                            std::vector<std::string>& entries);

// The enabled list as a set, for the lookup on every property line. The
// filter editor lists the names in the order of the description's
// parameters, so the entry after the last one found is tried first; the
// table for any other name is built when the first such name comes.
class EnabledProperties {
 public:
  // The list must outlive the set.
  explicit EnabledProperties(const std::vector<std::string>& enabled);

  bool Contains(std::string_view property);

 private:
  void build();
  // Open addressing over the entries: the upper half of the name's hash and
  // the entry's index + 1, 0 for a free slot.
  struct Slot {
    std::uint32_t hash = 0;
    std::uint32_t entry = 0;
  };
  const std::vector<std::string>& enabled_;
  std::size_t next_ = 0;
  std::vector<Slot> slots_;
  std::size_t mask_ = 0;
};

// Expands the description's lines one by one into `out`, which it appends to.
// The enabled list must outlive the expander.
class PatchExpander {
 public:
  PatchExpander(const std::vector<std::string>& enabled, ValueMaker makeValue);

  void Append(std::string_view line, std::string& out);

  // What the lines so far leave for the next placeholder line.
  struct State {
    bool randomise = false;
    bool booleanType = false;
    // Above the first property line: whether the empty property is enabled
    // is yet to be looked up.
    bool unknown = true;
  };

 private:
  EnabledProperties enabled_;
  ValueMaker makeValue_;
  State state_;
};

// The patch text of the lines: every output line followed by EndOfLine.
// Passed MakeNumberValue itself, it writes the values in place, as the
// overload without a value maker does.
std::string ExpandPatch(std::span<const std::string_view> lines, const std::vector<std::string>& enabled,
                        const ValueMaker& makeValue);
// With the random values of MakeNumberValue.
std::string ExpandPatch(std::span<const std::string_view> lines, const std::vector<std::string>& enabled);

// Reads the filter file (missing: nothing enabled) and expands the description
// with random values into `out`. On failure `out` is empty and the result
// names the file that could not be read: the filter file, or the description
// (NotFound when it does not exist).
platform::IOResult ExpandPatchFile(const platform::FolderItem& description,
                                   const platform::FolderItem& filterFile, std::string& out);

}  // namespace generator
