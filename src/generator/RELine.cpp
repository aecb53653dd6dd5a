#include "RELine.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <utility>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "platform/Text.h"

namespace generator {

namespace {
constexpr auto npos = std::string_view::npos;

#if defined(__SSE2__)
// 16 bytes at p compared with each of Cs: bit i set when p[i] is one of them.
template <char... Cs>
inline unsigned blockMask(const char* p) {
  const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  return static_cast<unsigned>(_mm_movemask_epi8((_mm_cmpeq_epi8(bytes, _mm_set1_epi8(Cs)) | ...)));
}
#endif

// Position of the first byte at or after `from` that is one of Cs. Every line
// of every patch is scanned, and for lines this short the set-up of memchr,
// once per character sought, costs more than the search itself.
template <char... Cs>
inline std::size_t findAny(std::string_view text, std::size_t from) {
  const char* const data = text.data();
  const std::size_t size = text.size();
  std::size_t i = from;
#if defined(__SSE2__)
  if (size >= 16) {
    for (; i + 16 <= size; i += 16)
      if (const unsigned m = blockMask<Cs...>(data + i)) return i + static_cast<std::size_t>(std::countr_zero(m));
    if (i >= size) return npos;
    // A last block ending with the text, its bytes already seen shifted off.
    const unsigned m = blockMask<Cs...>(data + size - 16) >> (i - (size - 16));
    return m ? i + static_cast<std::size_t>(std::countr_zero(m)) : npos;
  }
#endif
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  // Eight bytes at a time: a byte equal to C is a zero byte of word ^ C, and
  // the lowest flag of the zero-byte test is exact.
  constexpr std::uint64_t kOnes = 0x0101010101010101ull, kHighs = 0x8080808080808080ull;
  for (; i + 8 <= size; i += 8) {
    std::uint64_t word;
    std::memcpy(&word, data + i, 8);
    const auto zeroByte = [](std::uint64_t x) { return (x - kOnes) & ~x & kHighs; };
    if (const std::uint64_t hit = (zeroByte(word ^ (kOnes * static_cast<unsigned char>(Cs))) | ...))
      return i + static_cast<std::size_t>(std::countr_zero(hit)) / 8;
  }
#endif
  for (; i < size; ++i)
    if (((data[i] == Cs) || ...)) return i;
  return npos;
}

// Whether `needle` stands at `pos`. Compared in words: memcmp would be a call
// for the 17 bytes of the property marker.
inline bool at(std::string_view text, std::size_t pos, std::string_view needle) {
  if (text.size() - pos < needle.size()) return false;
  const char* a = text.data() + pos;
  const char* b = needle.data();
  std::size_t n = needle.size();
  for (; n >= 8; n -= 8, a += 8, b += 8) {
    std::uint64_t x, y;
    std::memcpy(&x, a, 8);
    std::memcpy(&y, b, 8);
    if (x != y) return false;
  }
  for (; n > 0; --n)
    if (*a++ != *b++) return false;
  return true;
}

// The first `needle` at or after `from`; Lead is its first character.
template <char Lead>
inline std::size_t find(std::string_view text, std::string_view needle, std::size_t from = 0) {
  for (std::size_t p = findAny<Lead>(text, from); p != npos; p = findAny<Lead>(text, p + 1))
    if (at(text, p, needle)) return p;
  return npos;
}

inline std::string_view between(std::string_view text, std::size_t start, std::size_t end) {
  return text.substr(start, end == npos ? npos : end - start);
}

void parseProperty(std::string_view line, std::size_t marker, RELine& parsed) {
  parsed.kind = LineClass::Property;
  const std::size_t start = marker + kPropertyMarker.size();
  std::size_t end = find<'<'>(line, kPropertyMarker, start);
  const std::size_t separator = find<'"'>(line, kTypeSeparator);
  // The line's first type separator can begin with the marker's own quote.
  const std::size_t nameSeparator =
      separator != npos && separator < start ? find<'"'>(line, kTypeSeparator, start) : separator;
  if (nameSeparator < end) end = nameSeparator;
  parsed.propertyName = between(line, start, end);
  if (separator != npos) {
    const std::size_t typeStart = separator + kTypeSeparator.size();
    parsed.propertyType = platform::Trim(between(line, typeStart, findAny<'"'>(line, typeStart)));
  }
}

// The marker is sought by its "y", which ordinary patch lines rarely hold,
// where its "<" stands on every line of a patch.
constexpr std::size_t kMarkerY = kPropertyMarker.find('y');
static_assert(kPropertyMarker[0] == '<' && kPropertyMarker.back() == '"');
static_assert(kTypeSeparator[0] == '"' && kTypeSeparator.back() == '"');

#if defined(__SSE2__) && defined(__SIZEOF_INT128__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
#define QM_LINE_BITS 1
// One bit for each byte of a line: a word for lines of up to 64 bytes, two
// for up to 128.
__extension__ typedef unsigned __int128 Bits128;
constexpr std::size_t kShortLine = 128;

template <class Bits>
constexpr std::size_t kBitCount = sizeof(Bits) * 8;

inline __m128i load16(const char* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }

template <char C>
inline std::uint64_t blockBits(__m128i bytes) {
  return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, _mm_set1_epi8(C))));
}

// For each of Cs, the bytes of a line equal to it; the line is at least 16
// bytes long and at most as long as Bits has bits. Each 64 bytes gather their
// bits in a register of their own, block by block without a loop: bits stored
// in pieces and loaded whole would wait for the stores, and a loop costs as
// much as the few blocks it goes through.
template <class Bits, char... Cs>
inline std::array<Bits, sizeof...(Cs)> lineBits(std::string_view line) {
  constexpr std::size_t kChars = sizeof...(Cs);
  constexpr char kSought[] = {Cs...};
  const char* const data = line.data();
  const std::size_t size = line.size(), full = size / 16, rest = size % 16;
  std::uint64_t low[kChars] = {}, high[kChars] = {};
  constexpr auto all = std::make_index_sequence<kChars>{};
  const auto add = [&]<std::size_t... I>(std::index_sequence<I...>, __m128i bytes, std::size_t block) {
    (((block < 4 ? low[I] : high[I]) |= blockBits<kSought[I]>(bytes) << (16 * (block % 4))), ...);
  };
  if (rest != 0) {
    // The last 16 bytes, without those already seen.
    const __m128i bytes = load16(data + size - 16);
    const auto seen = 16 - static_cast<unsigned>(rest);
    [&]<std::size_t... I>(std::index_sequence<I...>) {
      if (kBitCount<Bits> <= 64 || full < 4)
        ((low[I] = (blockBits<kSought[I]>(bytes) >> seen) << (16 * full)), ...);
      else
        ((high[I] = (blockBits<kSought[I]>(bytes) >> seen) << (16 * (full - 4))), ...);
    }(all);
  }
  switch (full) {
    case 8:
      add(all, load16(data + 112), 7);
      [[fallthrough]];
    case 7:
      add(all, load16(data + 96), 6);
      [[fallthrough]];
    case 6:
      add(all, load16(data + 80), 5);
      [[fallthrough]];
    case 5:
      add(all, load16(data + 64), 4);
      [[fallthrough]];
    case 4:
      add(all, load16(data + 48), 3);
      [[fallthrough]];
    case 3:
      add(all, load16(data + 32), 2);
      [[fallthrough]];
    case 2:
      add(all, load16(data + 16), 1);
      [[fallthrough]];
    default:
      add(all, load16(data), 0);
  }
  std::array<Bits, kChars> bits;
  for (std::size_t k = 0; k < kChars; ++k) {
    if constexpr (kBitCount<Bits> > 64)
      bits[k] = Bits{high[k]} << 64 | low[k];
    else
      bits[k] = low[k];
  }
  return bits;
}

template <class Bits>
inline std::size_t lowest(Bits bits) {
  const auto low = static_cast<std::uint64_t>(bits);
  if (low != 0) return static_cast<std::size_t>(std::countr_zero(low));
  if constexpr (kBitCount<Bits> > 64) {
    const auto high = static_cast<std::uint64_t>(bits >> 64);
    if (high != 0) return 64 + static_cast<std::size_t>(std::countr_zero(high));
  }
  return npos;
}

template <class Bits>
inline Bits atOrAfter(Bits bits, std::size_t pos) {
  return pos >= kBitCount<Bits> ? 0 : bits & (~Bits{0} << pos);
}

// The first of the candidate positions where `needle` stands.
template <class Bits>
inline std::size_t firstAt(std::string_view line, Bits candidates, std::string_view needle) {
  for (; candidates != 0; candidates &= candidates - 1)
    if (const std::size_t pos = lowest(candidates); at(line, pos, needle)) return pos;
  return npos;
}

inline std::string_view trim(std::string_view text) {
  if (!text.empty() && static_cast<unsigned char>(text.front()) > ' ' &&
      static_cast<unsigned char>(text.back()) > ' ')
    return text;
  return platform::Trim(text);
}

template <class Bits>
void parseShortProperty(std::string_view line, Bits markers, std::size_t marker, RELine& parsed) {
  const auto [quotes] = lineBits<Bits, '"'>(line);
  parsed.kind = LineClass::Property;
  const std::size_t start = marker + kPropertyMarker.size();
  const Bits separators = quotes & (quotes >> (kTypeSeparator.size() - 1));
  const std::size_t separator = firstAt(line, separators, kTypeSeparator);
  // The line's first type separator can begin with the marker's own quote.
  const std::size_t nameSeparator = separator != npos && separator < start
                                        ? firstAt(line, atOrAfter(separators, start), kTypeSeparator)
                                        : separator;
  const std::size_t end =
      std::min({firstAt(line, atOrAfter(markers, start), kPropertyMarker), nameSeparator, line.size()});
  parsed.propertyName = std::string_view(line.data() + start, end - start);
  if (separator != npos) {
    const std::size_t typeStart = separator + kTypeSeparator.size();
    const std::size_t typeEnd = std::min(lowest(atOrAfter(quotes, typeStart)), line.size());
    parsed.propertyType = trim(std::string_view(line.data() + typeStart, typeEnd - typeStart));
  }
}

// ParseLine for a line of 16 to kBitCount<Bits> bytes, where every search is a
// look at the bits of a pass or two; the fields of a placeholder come from the
// same bits.
template <class Bits>
RELine parseShort(std::string_view line, std::span<std::string_view> fields) {
  RELine parsed;
  const auto [ys] = lineBits<Bits, 'y'>(line);
  const Bits markers = ys >> kMarkerY;
  if (const std::size_t marker = firstAt(line, markers, kPropertyMarker); marker != npos) {
    parseShortProperty(line, markers, marker, parsed);
    return parsed;
  }
  const auto [braces, closing, bars] = lineBits<Bits, '{', '}', kFieldSeparator>(line);
  const Bits opens = braces & (braces >> 1);
  if (opens == 0) return parsed;
  const Bits closes = closing & (closing >> 1);
  // No "}}" can overlap a "{{", so any "}}" of the line stands wholly before or after the first.
  if (closes == 0) {
    parsed.kind = LineClass::UnclosedPlaceholder;
    return parsed;
  }
  const std::size_t open = lowest(opens);
  const std::size_t start = open + kPlaceholderOpen.size();
  parsed.kind = LineClass::Placeholder;
  parsed.prefix = std::string_view(line.data(), open);
  const std::size_t end =
      std::min({lowest(atOrAfter(opens, start)), lowest(atOrAfter(closes, start)), line.size()});
  const std::string_view text(line.data() + start, end - start);
  parsed.placeholder = text;
  if (fields.empty()) return parsed;
  // An empty text may end the line, where no bit is left to shift down.
  if (text.empty() || text.size() >= 64) {
    PlaceholderFields(text, fields);
    return parsed;
  }
  auto textBars = static_cast<std::uint64_t>(bars >> start) & ((std::uint64_t{1} << text.size()) - 1);
  std::size_t field = 0, from = 0;
  for (; textBars != 0 && field < fields.size(); textBars &= textBars - 1) {
    const auto bar = static_cast<std::size_t>(std::countr_zero(textBars));
    fields[field++] = std::string_view(text.data() + from, bar - from);
    from = bar + 1;
  }
  if (field < fields.size()) fields[field++] = std::string_view(text.data() + from, text.size() - from);
  for (; field < fields.size(); ++field) fields[field] = {};
  return parsed;
}
#endif

// Lines parseShort does not take.
RELine parseLong(std::string_view line) {
  RELine parsed;
  std::size_t open = npos, reopen = npos;
  for (std::size_t p = findAny<'y', '{'>(line, 0); p != npos; p = findAny<'y', '{'>(line, p + 1)) {
    if (line[p] == 'y') {
      if (p >= kMarkerY && at(line, p - kMarkerY, kPropertyMarker)) {
        parseProperty(line, p - kMarkerY, parsed);
        return parsed;
      }
    } else if (at(line, p, kPlaceholderOpen)) {
      if (open == npos)
        open = p;
      else if (reopen == npos && p >= open + kPlaceholderOpen.size())
        reopen = p;
    }
  }
  if (open == npos) return parsed;
  const std::size_t start = open + kPlaceholderOpen.size();
  const std::size_t close = find<'}'>(line, kPlaceholderClose, start);
  // "{{" itself cannot be part of a "}}", so before it only the text ahead of it is left.
  if (close == npos && find<'}'>(line.substr(0, open), kPlaceholderClose) == npos) {
    parsed.kind = LineClass::UnclosedPlaceholder;
    return parsed;
  }
  parsed.kind = LineClass::Placeholder;
  parsed.prefix = line.substr(0, open);
  // Neither can a "}}" overlap the second "{{" that may end the text.
  parsed.placeholder = between(line, start, reopen < close ? reopen : close);
  return parsed;
}

}  // namespace

LineClass Classify(std::string_view line) { return ParseLine(line).kind; }

RELine ParseLine(std::string_view line) {
#if defined(QM_LINE_BITS)
  if (line.size() >= 16 && line.size() <= 64) return parseShort<std::uint64_t>(line, {});
  if (line.size() > 64 && line.size() <= kShortLine) return parseShort<Bits128>(line, {});
#endif
  return parseLong(line);
}

RELine ParseLine(std::string_view line, std::span<std::string_view> fields) {
#if defined(QM_LINE_BITS)
  if (line.size() >= 16 && line.size() <= 64) return parseShort<std::uint64_t>(line, fields);
  if (line.size() > 64 && line.size() <= kShortLine) return parseShort<Bits128>(line, fields);
#endif
  RELine parsed = parseLong(line);
  if (parsed.kind == LineClass::Placeholder) PlaceholderFields(parsed.placeholder, fields);
  return parsed;
}

std::string_view PlaceholderField(std::string_view placeholder, int n) {
  if (n < 1) return {};
  std::size_t start = 0;
  for (int field = 1; field < n; ++field) {
    const std::size_t bar = findAny<kFieldSeparator>(placeholder, start);
    if (bar == npos) return {};
    start = bar + 1;
  }
  return between(placeholder, start, findAny<kFieldSeparator>(placeholder, start));
}

void PlaceholderFields(std::string_view placeholder, std::span<std::string_view> fields) {
  std::size_t field = 0, start = 0;
#if defined(__SSE2__)
  // All bars of a usual placeholder in one pass, rather than a search per field.
  if (placeholder.size() >= 16 && placeholder.size() <= 64) {
    const char* const data = placeholder.data();
    const std::size_t size = placeholder.size();
    std::uint64_t bars = 0;
    std::size_t i = 0;
    for (; i + 16 <= size; i += 16) bars |= std::uint64_t{blockMask<kFieldSeparator>(data + i)} << i;
    if (i < size) bars |= std::uint64_t{blockMask<kFieldSeparator>(data + size - 16)} << (size - 16);
    for (; bars != 0 && field < fields.size(); bars &= bars - 1) {
      const auto bar = static_cast<std::size_t>(std::countr_zero(bars));
      fields[field++] = placeholder.substr(start, bar - start);
      start = bar + 1;
    }
    if (field < fields.size()) fields[field++] = placeholder.substr(start);
    for (; field < fields.size(); ++field) fields[field] = {};
    return;
  }
#endif
  for (std::string_view& f : fields) {
    if (start == npos) {
      f = {};
      continue;
    }
    const std::size_t bar = findAny<kFieldSeparator>(placeholder, start);
    f = between(placeholder, start, bar);
    start = bar == npos ? npos : bar + 1;
  }
  (void)field;
}

std::string_view LastPlaceholderField(std::string_view placeholder) {
  const std::size_t last = placeholder.rfind(kFieldSeparator);
  return last == npos ? placeholder : placeholder.substr(last + 1);
}

}  // namespace generator
