#pragma once
// Text helpers with the exact meanings the program relies on. Every text is
// UTF-8 in a std::string; positions and field numbers count from 1.
#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

// The line end this program writes after every line of a patch or filter file.
inline constexpr std::string_view EndOfLine = "\n";
// The line end of the preference file.
inline constexpr std::string_view EndOfLineUNIX = "\n";

// 1-based position of the first occurrence of `find` in `text`, 0 when absent
// (and 0 for an empty `find`).
std::size_t InStr(std::string_view text, std::string_view find);

// Field n (from 1) of `text` split at every `separator`: the whole text when the
// separator is absent, the empty text for n beyond the last field or n < 1.
// The view points into `text`.
std::string_view NthField(std::string_view text, std::string_view separator, int n);

// Number of separators + 1 (1 for a text without separator, also when empty).
int CountFields(std::string_view text, std::string_view separator);

// The first n bytes (all of the text when shorter).
std::string_view Left(std::string_view text, std::size_t n);

// Without leading and trailing blanks, tabs and other ASCII white space.
std::string_view Trim(std::string_view text);

// The leading decimal number of `text` (after blanks and tabs; sign, digits,
// fraction, exponent), 0 when the text does not begin with a number.
double Val(std::string_view text);

// Decimal text of a whole number: digits with a leading "-" when negative.
std::string Str(std::int64_t value);
// Shortest text that reads back as the same double, in plain decimals
// (0.0001, never 1e-04); "-0" is written "0".
std::string Str(double value);
std::string Str(int value);

// Truncates toward zero and clamps to the Int32 range (NaN gives 0).
std::int32_t ToInt32(double value);

// The one comparison for all text: exact and case-sensitive, by bytes.
inline bool TextEquals(std::string_view a, std::string_view b) { return a == b; }
inline bool TextLess(std::string_view a, std::string_view b) { return a < b; }

}  // namespace platform
