// Any bytes as a description, and as a filter file after the first NUL byte:
// the expansion must neither crash nor lose a line that is not a placeholder.
// The first line, as a bound, must give the value Val reads in it, whichever
// path the bound takes.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "generator/PatchExpansion.h"
#include "generator/RELine.h"
#include "platform/Text.h"

namespace {
std::vector<std::string_view> splitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    const auto end = text.find('\n', start);
    if (end == std::string_view::npos) {
      lines.push_back(text.substr(start));
      break;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

void checkBound(std::string_view bound) {
  const double value = platform::Val(bound);
  if (generator::MakeNumberValue("integer", bound, bound) !=
      platform::Str(std::int64_t{platform::ToInt32(value)}))
    std::abort();
  const std::int32_t units = platform::ToInt32(std::round(value * 10000.0));
  if (generator::MakeNumberValue("float", bound, bound) !=
      platform::Str(static_cast<double>(units) / 10000.0))
    std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const auto split = input.find('\0');
  const std::string_view description = input.substr(0, split);
  std::vector<std::string> enabled;
  if (split != std::string_view::npos)
    for (auto line : splitLines(input.substr(split + 1))) enabled.emplace_back(line);

  const auto lines = splitLines(description);
  if (!lines.empty()) checkBound(lines.front().substr(0, 40));
  const std::string out = generator::ExpandPatch(lines, enabled, generator::MakeNumberValue);
  // Every output line ends with the line end; only unclosed placeholder lines vanish.
  std::size_t kept = 0;
  for (auto line : lines)
    if (generator::Classify(line) != generator::LineClass::UnclosedPlaceholder) ++kept;
  std::size_t ends = 0;
  for (char c : out) ends += c == '\n';
  if (!out.empty() && out.back() != '\n') std::abort();
  if (ends != kept) std::abort();
  return 0;
}
