#include "RELine.h"

#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "platform/Text.h"

namespace generator {

namespace {
constexpr auto npos = std::string_view::npos;

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
    const auto mask = [&](std::size_t at) {
      const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + at));
      return static_cast<unsigned>(_mm_movemask_epi8((_mm_cmpeq_epi8(block, _mm_set1_epi8(Cs)) | ...)));
    };
    for (; i + 16 <= size; i += 16)
      if (const unsigned m = mask(i)) return i + static_cast<std::size_t>(__builtin_ctz(m));
    if (i >= size) return npos;
    // The last block overlaps bytes already seen; they are masked off.
    const std::size_t last = size - 16;
    const unsigned m = mask(last) >> (i - last);
    return m ? i + static_cast<std::size_t>(__builtin_ctz(m)) : npos;
  }
#endif
  for (; i < size; ++i) {
    const char c = data[i];
    if (((c == Cs) || ...)) return i;
  }
  return npos;
}

inline bool at(std::string_view text, std::size_t pos, std::string_view needle) {
  return text.size() - pos >= needle.size() && std::memcmp(text.data() + pos, needle.data(), needle.size()) == 0;
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
}  // namespace

LineClass Classify(std::string_view line) { return ParseLine(line).kind; }

RELine ParseLine(std::string_view line) {
  static_assert(kPropertyMarker[0] == '<' && kTypeSeparator[0] == '"');
  RELine parsed;
  // One pass finds the first "{{", the first "{{" and "}}" after it, and
  // whether a "}}" or the property marker is anywhere on the line.
  std::size_t open = npos, reopen = npos, close = npos;
  bool closed = false;
  for (std::size_t p = findAny<'<', '{', '}'>(line, 0); p != npos; p = findAny<'<', '{', '}'>(line, p + 1)) {
    switch (line[p]) {
      case '<':
        if (at(line, p, kPropertyMarker)) {
          parseProperty(line, p, parsed);
          return parsed;
        }
        break;
      case '{':
        if (!at(line, p, kPlaceholderOpen)) break;
        if (open == npos)
          open = p;
        else if (reopen == npos && p >= open + kPlaceholderOpen.size())
          reopen = p;
        break;
      default:
        if (!at(line, p, kPlaceholderClose)) break;
        closed = true;
        // Neither brace of the first "{{" can begin a "}}".
        if (open != npos && close == npos) close = p;
        break;
    }
  }
  if (open == npos) return parsed;
  parsed.kind = closed ? LineClass::Placeholder : LineClass::UnclosedPlaceholder;
  if (!closed) return parsed;
  parsed.prefix = line.substr(0, open);
  // A "{{" after the "}}" no longer ends the text, and neither can a "}}"
  // overlap the "{{" that ends it.
  parsed.placeholder = between(line, open + kPlaceholderOpen.size(), reopen < close ? reopen : close);
  return parsed;
}

inline std::size_t findField(std::string_view text, std::size_t from) {
  return findAny<kFieldSeparator>(text, from);
}

std::string_view PlaceholderField(std::string_view placeholder, int n) {
  if (n < 1) return {};
  std::size_t start = 0;
  for (int field = 1; field < n; ++field) {
    const std::size_t bar = findField(placeholder, start);
    if (bar == npos) return {};
    start = bar + 1;
  }
  return between(placeholder, start, findField(placeholder, start));
}

std::string_view LastPlaceholderField(std::string_view placeholder) {
  const std::size_t last = placeholder.rfind(kFieldSeparator);
  return last == npos ? placeholder : placeholder.substr(last + 1);
}

}  // namespace generator
