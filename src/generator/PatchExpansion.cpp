#include "PatchExpansion.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "RELine.h"
#include "platform/Random.h"
#include "platform/Text.h"

namespace generator {

using platform::TextEquals;
using platform::Trim;

namespace {

constexpr std::string_view kEndOfLine = platform::EndOfLine;

// The parts of a bound that decide whether its Val can be had without the
// general parser: digits of a plain decimal of up to 15 of them, and the
// number of those after the point.
struct Decimal {
  std::uint64_t digits = 0;
  int decimals = 0;
  bool negative = false;
  bool plain = false;
};

Decimal readDecimal(std::string_view text) {
  const char* p = text.data();
  const char* const end = p + text.size();
  const auto digit = [&p, end] { return p != end && static_cast<unsigned char>(*p - '0') < 10; };
  Decimal d;
  if (p != end && (*p == '-' || *p == '+')) d.negative = *p++ == '-';
  const char* const first = p;
  std::uint64_t digits = 0;
  while (digit()) digits = digits * 10 + static_cast<std::uint64_t>(*p++ - '0');
  auto count = static_cast<std::size_t>(p - first);
  if (p != end && *p == '.') {
    const char* const fraction = ++p;
    while (digit()) digits = digits * 10 + static_cast<std::uint64_t>(*p++ - '0');
    d.decimals = static_cast<int>(p - fraction);
    count += static_cast<std::size_t>(d.decimals);
  }
  if (p != end || count == 0 || count > 15) return {};
  d.digits = digits;
  d.plain = true;
  return d;
}

// Val of a plain decimal: its digits and the power of ten are exact doubles,
// and the quotient of two exact doubles is the double nearest to the decimal,
// which is what Val gives too.
double value(const Decimal& d) {
  static constexpr double kPowersOfTen[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6, 1e7,
                                            1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
  const double magnitude = static_cast<double>(d.digits);
  const double v = d.decimals == 0 ? magnitude : magnitude / kPowersOfTen[d.decimals];
  return d.negative ? -v : v;
}

// A whole bound below this many units is its own Int32: the conversion has
// nothing to truncate or clamp.
constexpr std::uint64_t kWholeLimit = 214748;

std::int32_t wholeBound(std::string_view text) {
  const Decimal d = readDecimal(text);
  if (!d.plain) return platform::ToInt32(platform::Val(text));
  if (d.decimals == 0 && d.digits <= kWholeLimit) {
    const auto v = static_cast<std::int32_t>(d.digits);
    return d.negative ? -v : v;
  }
  return platform::ToInt32(value(d));
}

// A float bound in units of 1/10000. The product with 10000.0 is rounded, not
// truncated: 0.57 * 10000.0 is 5699.999..., and a bound must land on the grid
// value it names, never below its minimum.
std::int32_t gridBound(std::string_view text) {
  const Decimal d = readDecimal(text);
  if (!d.plain) return platform::ToInt32(std::round(platform::Val(text) * 10000.0));
  if (d.decimals <= 4) {
    // The decimal's units exactly; the rounded product is the same whole
    // number, as the product is off by far less than a half.
    static constexpr std::uint64_t kScale[] = {10000, 1000, 100, 10, 1};
    const std::uint64_t units = d.digits * kScale[d.decimals];
    constexpr std::uint64_t kMax = std::numeric_limits<std::int32_t>::max();
    if (units <= kMax) {
      const auto v = static_cast<std::int32_t>(units);
      return d.negative ? -v : v;
    }
    return d.negative ? std::numeric_limits<std::int32_t>::min() : std::numeric_limits<std::int32_t>::max();
  }
  return platform::ToInt32(std::round(value(d) * 10000.0));
}

char* put(char* p, std::string_view text) {
  // An empty view may have no data at all, which memcpy must not be given.
  if (!text.empty()) std::memcpy(p, text.data(), text.size());
  return p + text.size();
}

// Str of a whole number, at most 11 bytes.
char* putWhole(char* p, std::int32_t n) { return std::to_chars(p, p + 11, n).ptr; }

// Str(double(n) / 10000.0) without the shortest-digits search: the quotient is
// the double nearest to the decimal n/10000, and no shorter text reads back as
// it, so its shortest text is that decimal without trailing zeros. At most 12
// bytes.
char* putGrid(char* p, std::int32_t n) {
  const std::uint32_t magnitude = n < 0 ? 0u - static_cast<std::uint32_t>(n) : static_cast<std::uint32_t>(n);
  if (n < 0) *p++ = '-';
  p = std::to_chars(p, p + 6, magnitude / 10000).ptr;
  const std::uint32_t fraction = magnitude % 10000;
  if (fraction == 0) return p;
  p[0] = '.';
  p[1] = static_cast<char>('0' + fraction / 1000);
  p[2] = static_cast<char>('0' + fraction / 100 % 10);
  p[3] = static_cast<char>('0' + fraction / 10 % 10);
  p[4] = static_cast<char>('0' + fraction % 10);
  const int zeros = fraction % 1000 == 0 ? 3 : fraction % 100 == 0 ? 2 : fraction % 10 == 0 ? 1 : 0;
  return p + 5 - zeros;
}

// The longest value putValue writes.
constexpr std::size_t kValueRoom = kUnknownKindMarker.size();

char* putValue(std::string_view kind, std::string_view minimum, std::string_view maximum, char* p) {
  platform::Random random;
  random.RandomizeSeed();
  if (TextEquals(kind, "integer")) return putWhole(p, random.InRange(wholeBound(minimum), wholeBound(maximum)));
  if (TextEquals(kind, "float")) return putGrid(p, random.InRange(gridBound(minimum), gridBound(maximum)));
  if (TextEquals(kind, "boolean")) {
    if (random.InRange(wholeBound(minimum), wholeBound(maximum)) == 0) return put(p, "false");
    return put(p, "true");
  }
  return put(p, kUnknownKindMarker);
}

// Trim, without the call for the usual text that has nothing to trim.
std::string_view trim(std::string_view text) {
  if (!text.empty() && static_cast<unsigned char>(text.front()) > ' ' &&
      static_cast<unsigned char>(text.back()) > ' ')
    return text;
  return Trim(text);
}

std::uint64_t load8(const char* p) {
  std::uint64_t word;
  std::memcpy(&word, p, 8);
  return word;
}

std::uint32_t load4(const char* p) {
  std::uint32_t word;
  std::memcpy(&word, p, 4);
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

// Up to this many entries a list is compared entry by entry.
constexpr std::size_t kShortList = 8;

// The patch text goes straight into its string: a line gets the room for
// itself, its value and the line end before it is written, so that its
// pieces are copied without a check each.
class Writer {
 public:
  // `piece`: how far the string grows beyond the room asked for, so that it
  // is zero-filled in parts that stay in cache until they are overwritten.
  Writer(std::string& out, std::size_t piece)
      : at(out.data() + out.size()), out_(out), piece_(piece), end_(at) {}
  Writer(const Writer&) = delete;
  Writer& operator=(const Writer&) = delete;
  ~Writer() { out_.resize(static_cast<std::size_t>(at - out_.data())); }

  void Room(std::size_t n) {
    if (static_cast<std::size_t>(end_ - at) < n) grow(n);
  }

  char* at;

 private:
  void grow(std::size_t n) {
    const auto used = static_cast<std::size_t>(at - out_.data());
    std::size_t size = used + n;
    if (size <= out_.capacity()) size = std::max(size, std::min(out_.capacity(), used + piece_));
    out_.resize(size);
    at = out_.data() + used;
    end_ = out_.data() + out_.size();
  }

  std::string& out_;
  const std::size_t piece_;
  char* end_;
};

// "{" and "y" differ in one bit only: with that bit set, both are "{", and no
// other byte is.
constexpr char kCandidateBit = '{' ^ 'y';
static_assert((kCandidateBit & (kCandidateBit - 1)) == 0 && ('y' | kCandidateBit) == '{');

#if defined(__SSE2__)
inline __m128i candidates(__m128i bytes) {
  return _mm_cmpeq_epi8(_mm_or_si128(bytes, _mm_set1_epi8(kCandidateBit)), _mm_set1_epi8('{'));
}
#endif

// Whether a word holds a "{" or a "y" byte.
inline bool wordCandidates(std::uint64_t word) {
  constexpr std::uint64_t kOnes = 0x0101010101010101ull, kHighs = 0x8080808080808080ull;
  const std::uint64_t x = (word | kOnes * kCandidateBit) ^ (kOnes * '{');
  return ((x - kOnes) & ~x & kHighs) != 0;
}

// Copies the line to `to` and tells whether it can be anything but a line
// copied as it stands: every other class holds a "{{" or the property
// marker, and so a "{" or the marker's "y". One pass for the copy and the
// test, since most lines of a patch are only copied. Reads and writes the
// line's bytes only, in blocks that overlap at the end.
inline bool copyLine(std::string_view line, char* to) {
  const char* const from = line.data();
  const std::size_t n = line.size();
#if defined(__SSE2__)
  if (n >= 16) {
    __m128i seen = _mm_setzero_si128();
    for (std::size_t i = 0; i + 16 <= n; i += 16) {
      const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + i));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(to + i), bytes);
      seen = _mm_or_si128(seen, candidates(bytes));
    }
    const __m128i last = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + n - 16));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to + n - 16), last);
    return _mm_movemask_epi8(_mm_or_si128(seen, candidates(last))) != 0;
  }
#else
  if (n >= 16) {
    std::memcpy(to, from, n);
    for (std::size_t i = 0; i < n; ++i)
      if (from[i] == '{' || from[i] == 'y') return true;
    return false;
  }
#endif
  if (n >= 8) {
    const std::uint64_t head = load8(from), tail = load8(from + n - 8);
    std::memcpy(to, &head, 8);
    std::memcpy(to + n - 8, &tail, 8);
    return wordCandidates(head) || wordCandidates(tail);
  }
  if (n >= 4) {
    const std::uint32_t head = load4(from), tail = load4(from + n - 4);
    std::memcpy(to, &head, 4);
    std::memcpy(to + n - 4, &tail, 4);
    return wordCandidates(head | std::uint64_t{tail} << 32);
  }
  bool seen = false;
  for (std::size_t i = 0; i < n; ++i) {
    to[i] = from[i];
    seen |= from[i] == '{' || from[i] == 'y';
  }
  return seen;
}

// The longest text a placeholder line's value can have that is not part of
// the line: "false" for a default.
constexpr std::size_t kDefaultRoom = 5;

// Random values written in place.
struct RandomValues {
  static constexpr std::size_t kRoom = std::max(kValueRoom, kDefaultRoom);
  void operator()(std::string_view kind, std::string_view minimum, std::string_view maximum, Writer& out) const {
    out.at = putValue(kind, minimum, maximum, out.at);
  }
};

// Values of any length from a value maker.
struct MadeValues {
  static constexpr std::size_t kRoom = kDefaultRoom;
  const ValueMaker& make;
  void operator()(std::string_view kind, std::string_view minimum, std::string_view maximum, Writer& out) const {
    const std::string value = make(kind, minimum, maximum);
    out.Room(value.size() + kEndOfLine.size());
    out.at = put(out.at, value);
  }
};

// One line of the description into the patch. The room asked for first holds
// the line itself, the value of its placeholder (a default is part of the
// line) and the line end.
template <class Values>
void expandLine(std::string_view line, EnabledProperties& enabled, PatchExpander::State& state,
                const Values& values, Writer& out) {
  out.Room(line.size() + Values::kRoom + kEndOfLine.size());
  if (copyLine(line, out.at)) {
    // A randomised value needs the first three fields only.
    std::string_view fields[6];
    const bool randomised = state.randomise && !state.unknown;
    const RELine parsed = ParseLine(line, std::span(fields, randomised ? 3 : 6));
    switch (parsed.kind) {
      case LineClass::Property:
        // Looked up once here rather than for every placeholder below.
        state.randomise = enabled.Contains(trim(parsed.propertyName));
        state.booleanType = TextEquals(parsed.propertyType, "boolean");
        state.unknown = false;
        break;
      case LineClass::Placeholder:
        // The copy already starts with the prefix.
        out.at += parsed.prefix.size();
        if (state.unknown) {
          // Placeholders above the first property line belong to the empty property.
          state.randomise = enabled.Contains({});
          state.unknown = false;
        }
        if (state.randomise) {
          values(trim(fields[0]), trim(fields[1]), trim(fields[2]), out);
        } else {
          const std::string_view fallback = trim(fields[5]);
          if (!state.booleanType)
            out.at = put(out.at, fallback);
          else if (TextEquals(fallback, "1"))
            out.at = put(out.at, "true");
          else
            out.at = put(out.at, "false");
        }
        out.at = put(out.at, kEndOfLine);
        return;
      case LineClass::UnclosedPlaceholder:
        return;
      case LineClass::Other:
        break;
    }
  }
  out.at = put(out.at + line.size(), kEndOfLine);
}

template <class Values>
std::string expandAll(std::span<const std::string_view> lines, const std::vector<std::string>& enabled,
                      const Values& values) {
  std::size_t size = 0;
  for (const std::string_view line : lines) size += line.size() + kEndOfLine.size();
  std::string out;
  // Values are mostly shorter than the placeholders they replace; the room
  // of the last line is reserved too.
  out.reserve(size + Values::kRoom + kEndOfLine.size());
  EnabledProperties set(enabled);
  PatchExpander::State state;
  {
    Writer writer(out, 16 * 1024);
    for (const std::string_view line : lines) expandLine(line, set, state, values, writer);
  }
  return out;
}

}  // namespace

std::string MakeNumberValue(std::string_view kind, std::string_view minimum, std::string_view maximum) {
  char text[kValueRoom];
  return std::string(text, putValue(kind, minimum, maximum, text));
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

platform::IOResult ReadEnabledParameterList(const platform::FolderItem& filterFile,
                                            std::vector<std::string>& entries) {
  entries.clear();
  platform::IOResult result;
  auto stream = platform::TextInputStream::Open(filterFile, &result);
  if (!stream) return result.NotFound() ? platform::IOResult::Ok() : result;
  entries = ReadEnabledParameterList(*stream);
  return platform::IOResult::Ok();
}

EnabledProperties::EnabledProperties(const std::vector<std::string>& enabled) : enabled_(enabled) {}

void EnabledProperties::build() {
  // A sorted list would spend much of a patch comparing names that share long
  // prefixes ("/custom_properties/..."); small slots keep the table in cache.
  std::size_t capacity = 16;
  while (capacity < 2 * enabled_.size()) capacity *= 2;
  slots_.assign(capacity, Slot{});
  mask_ = capacity - 1;
  for (std::size_t index = 0; index < enabled_.size(); ++index) {
    const std::uint64_t hash = hashName(enabled_[index]);
    for (std::size_t i = hash & mask_;; i = (i + 1) & mask_) {
      Slot& slot = slots_[i];
      if (slot.entry == 0) {
        slot = Slot{static_cast<std::uint32_t>(hash >> 32), static_cast<std::uint32_t>(index + 1)};
        break;
      }
      if (slot.hash == static_cast<std::uint32_t>(hash >> 32) &&
          TextEquals(enabled_[slot.entry - 1], enabled_[index]))
        break;
    }
  }
}

bool EnabledProperties::Contains(std::string_view property) {
  if (next_ < enabled_.size() && TextEquals(enabled_[next_], property)) {
    ++next_;
    return true;
  }
  // Only the lines above the first property line ask for the empty name.
  if (enabled_.size() <= kShortList || property.empty()) {
    for (std::size_t index = 0; index < enabled_.size(); ++index)
      if (TextEquals(enabled_[index], property)) {
        next_ = index + 1;
        return true;
      }
    return false;
  }
  if (slots_.empty()) build();
  const std::uint64_t hash = hashName(property);
  for (std::size_t i = hash & mask_;; i = (i + 1) & mask_) {
    const Slot slot = slots_[i];
    if (slot.entry == 0) return false;
    if (slot.hash == static_cast<std::uint32_t>(hash >> 32) && TextEquals(enabled_[slot.entry - 1], property)) {
      next_ = slot.entry;
      return true;
    }
  }
}

PatchExpander::PatchExpander(const std::vector<std::string>& enabled, ValueMaker makeValue)
    : enabled_(enabled), makeValue_(std::move(makeValue)) {}

void PatchExpander::Append(std::string_view line, std::string& out) {
  Writer writer(out, 0);
  expandLine(line, enabled_, state_, MadeValues{makeValue_}, writer);
}

std::string ExpandPatch(std::span<const std::string_view> lines, const std::vector<std::string>& enabled,
                        const ValueMaker& makeValue) {
  using Plain = std::string (*)(std::string_view, std::string_view, std::string_view);
  if (const Plain* target = makeValue.target<Plain>(); target != nullptr && *target == &MakeNumberValue)
    return ExpandPatch(lines, enabled);
  return expandAll(lines, enabled, MadeValues{makeValue});
}

std::string ExpandPatch(std::span<const std::string_view> lines, const std::vector<std::string>& enabled) {
  return expandAll(lines, enabled, RandomValues{});
}

platform::IOResult ExpandPatchFile(const platform::FolderItem& description,
                                   const platform::FolderItem& filterFile, std::string& out) {
  out.clear();
  std::vector<std::string> enabled;
  if (platform::IOResult result = ReadEnabledParameterList(filterFile, enabled); !result) return result;
  platform::IOResult result;
  auto stream = platform::TextInputStream::Open(description, &result);
  if (!stream) return result;
  std::vector<std::string_view> lines;
  while (!stream->Eof()) lines.push_back(stream->ReadLine());
  out = ExpandPatch(lines, enabled);
  return platform::IOResult::Ok();
}

}  // namespace generator
