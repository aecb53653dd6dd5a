#include "PatchExpansion.h"

#include <charconv>
#include <cstring>

#include "RELine.h"
#include "platform/Random.h"
#include "platform/Text.h"

namespace generator {

using platform::TextEquals;
using platform::Trim;

namespace {

// Val of a bound. Plain decimals of up to 15 digits are read here without the
// general parser: their digits and the power of ten are exact doubles, and the
// quotient of two exact doubles is the double nearest to the decimal, which is
// what Val gives too.
double bound(std::string_view text) {
  static constexpr double kPowersOfTen[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6, 1e7,
                                            1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
  std::size_t i = 0;
  const bool negative = !text.empty() && text[0] == '-';
  if (negative || (!text.empty() && text[0] == '+')) ++i;
  std::uint64_t digits = 0;
  int count = 0, decimals = 0;
  bool point = false;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c >= '0' && c <= '9') {
      if (++count > 15) return platform::Val(text);
      digits = digits * 10 + static_cast<std::uint64_t>(c - '0');
      decimals += point;
    } else if (c == '.' && !point) {
      point = true;
    } else {
      return platform::Val(text);
    }
  }
  if (count == 0) return platform::Val(text);
  const double value = static_cast<double>(digits) / kPowersOfTen[decimals];
  return negative ? -value : value;
}

std::int32_t wholeBound(std::string_view text) { return platform::ToInt32(bound(text)); }
std::int32_t gridBound(std::string_view text) { return platform::ToInt32(bound(text) * 10000.0); }

// Str(double(n) / 10000.0) without the shortest-digits search: the quotient is
// the double nearest to the decimal n/10000, and no shorter text reads back as
// it, so its shortest text is that decimal without trailing zeros.
std::string gridText(std::int32_t n) {
  char buffer[24];
  char* p = buffer;
  std::uint64_t magnitude = n < 0 ? std::uint64_t(-std::int64_t{n}) : std::uint64_t(n);
  if (n < 0) *p++ = '-';
  p = std::to_chars(p, buffer + sizeof buffer, magnitude / 10000).ptr;
  if (std::uint64_t fraction = magnitude % 10000; fraction != 0) {
    *p++ = '.';
    for (std::uint64_t unit = 1000; fraction != 0; unit /= 10) {
      *p++ = static_cast<char>('0' + fraction / unit);
      fraction %= unit;
    }
  }
  return std::string(buffer, p);
}

std::uint64_t load8(const char* p) {
  std::uint64_t word;
  std::memcpy(&word, p, 8);
  return word;
}

// Property names are short and share long prefixes: two lanes of eight bytes
// keep the hash cheaper than the comparison that follows it.
std::uint64_t hashName(std::string_view name) {
  constexpr std::uint64_t kA = 0x9E3779B97F4A7C15ull, kB = 0xBF58476D1CE4E5B9ull;
  const char* const p = name.data();
  const std::size_t n = name.size();
  std::uint64_t a = kA ^ n, b = kB;
  if (n >= 8) {
    std::size_t i = 0;
    for (; i + 16 <= n; i += 16) {
      a = (a ^ load8(p + i)) * kB;
      b = (b ^ load8(p + i + 8)) * kA;
      a ^= a >> 29;
      b ^= b >> 31;
    }
    // What is left, at most 16 bytes: the next eight and the last eight,
    // which may overlap.
    if (n - i > 8) a = (a ^ load8(p + i)) * kB;
    b = (b ^ load8(p + n - 8)) * kA;
  } else {
    std::uint64_t word = 0;
    for (std::size_t i = 0; i < n; ++i) word |= std::uint64_t{static_cast<unsigned char>(p[i])} << (8 * i);
    a = (a ^ word) * kB;
  }
  std::uint64_t h = (a ^ (b >> 32) ^ (b << 32)) * 0xD6E8FEB86659FD93ull;
  return h ^ (h >> 32);
}

}  // namespace

std::string MakeNumberValue(std::string_view kind, std::string_view minimum, std::string_view maximum) {
  platform::Random random;
  random.RandomizeSeed();
  if (TextEquals(kind, "integer"))
    return platform::Str(std::int64_t{random.InRange(wholeBound(minimum), wholeBound(maximum))});
  if (TextEquals(kind, "float")) return gridText(random.InRange(gridBound(minimum), gridBound(maximum)));
  if (TextEquals(kind, "boolean"))
    return random.InRange(wholeBound(minimum), wholeBound(maximum)) == 0 ? "false" : "true";
  return std::string(kUnknownKindMarker);
}

std::vector<std::string> ReadEnabledParameterList(platform::TextInputStream& filter) {
  std::vector<std::string> entries;
  bool afterSeparator = false;
  while (!filter.Eof()) {
    const std::string_view line = filter.ReadLine();
    if (afterSeparator)
      entries.emplace_back(line);
    else
      afterSeparator = TextEquals(line, kFilterSeparator);
  }
  return entries;
}

std::vector<std::string> ReadEnabledParameterList(const platform::FolderItem& filterFile) {
  if (filterFile.IsNil() || !filterFile.Exists()) return {};
  auto stream = platform::TextInputStream::Open(filterFile);
  return stream ? ReadEnabledParameterList(*stream) : std::vector<std::string>{};
}

PatchExpander::PatchExpander(const std::vector<std::string>& enabled, ValueMaker makeValue)
    : enabled_(enabled), makeValue_(std::move(makeValue)) {
  // A sorted list would spend much of a patch comparing names that share long
  // prefixes ("/custom_properties/..."); small slots keep the table in cache.
  std::size_t capacity = 8;
  while (capacity < 2 * enabled.size()) capacity *= 2;
  slots_.assign(capacity, Slot{});
  mask_ = capacity - 1;
  for (std::size_t index = 0; index < enabled.size(); ++index) {
    const std::uint64_t hash = hashName(enabled[index]);
    for (std::size_t i = hash & mask_;; i = (i + 1) & mask_) {
      Slot& slot = slots_[i];
      if (slot.entry == 0) {
        slot = Slot{static_cast<std::uint32_t>(hash >> 32), static_cast<std::uint32_t>(index + 1)};
        ++count_;
        break;
      }
      if (slot.hash == static_cast<std::uint32_t>(hash >> 32) && TextEquals(enabled[slot.entry - 1], enabled[index]))
        break;
    }
  }
  // Placeholders above the first property line belong to the empty property.
  randomise_ = isEnabled({});
}

bool PatchExpander::isEnabled(std::string_view property) const {
  if (count_ == 0) return false;
  const std::uint64_t hash = hashName(property);
  for (std::size_t i = hash & mask_;; i = (i + 1) & mask_) {
    const Slot slot = slots_[i];
    if (slot.entry == 0) return false;
    if (slot.hash == static_cast<std::uint32_t>(hash >> 32) && TextEquals(enabled_[slot.entry - 1], property))
      return true;
  }
}

void PatchExpander::Append(std::string_view line, std::string& out) {
  const RELine parsed = ParseLine(line);
  switch (parsed.kind) {
    case LineClass::Property:
      // Looked up once here rather than for every placeholder below.
      randomise_ = isEnabled(Trim(parsed.propertyName));
      booleanType_ = TextEquals(parsed.propertyType, "boolean");
      out += line;
      break;
    case LineClass::Placeholder: {
      out += parsed.prefix;
      if (randomise_) {
        std::string_view fields[3];
        PlaceholderFields(parsed.placeholder, fields);
        out += makeValue_(Trim(fields[0]), Trim(fields[1]), Trim(fields[2]));
      } else {
        std::string_view fields[6];
        PlaceholderFields(parsed.placeholder, fields);
        const std::string_view fallback = Trim(fields[5]);
        if (booleanType_)
          out += TextEquals(fallback, "1") ? "true" : "false";
        else
          out += fallback;
      }
      break;
    }
    case LineClass::UnclosedPlaceholder:
      return;
    case LineClass::Other:
      out += line;
      break;
  }
  out += platform::EndOfLine;
}

std::string ExpandPatch(std::span<const std::string_view> lines, const std::vector<std::string>& enabled,
                        const ValueMaker& makeValue) {
  std::size_t size = 0;
  for (const std::string_view line : lines) size += line.size() + platform::EndOfLine.size();
  std::string out;
  // Values are mostly shorter than the placeholders they replace.
  out.reserve(size);
  PatchExpander expander(enabled, makeValue);
  for (const std::string_view line : lines) expander.Append(line, out);
  return out;
}

bool ExpandPatchFile(const platform::FolderItem& description, const platform::FolderItem& filterFile,
                     std::string& out) {
  out.clear();
  const std::vector<std::string> enabled = ReadEnabledParameterList(filterFile);
  if (description.IsNil() || !description.Exists()) return false;
  auto stream = platform::TextInputStream::Open(description);
  if (!stream) return false;
  std::vector<std::string_view> lines;
  while (!stream->Eof()) lines.push_back(stream->ReadLine());
  out = ExpandPatch(lines, enabled, MakeNumberValue);
  return true;
}

}  // namespace generator
