#include "Text.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace platform {

std::size_t InStr(std::string_view text, std::string_view find) {
  if (find.empty()) return 0;
  const auto pos = text.find(find);
  return pos == std::string_view::npos ? 0 : pos + 1;
}

std::string_view NthField(std::string_view text, std::string_view separator, int n) {
  if (n < 1) return {};
  if (separator.empty()) return n == 1 ? text : std::string_view{};
  std::size_t start = 0;
  for (int field = 1; field < n; ++field) {
    const auto pos = text.find(separator, start);
    if (pos == std::string_view::npos) return {};
    start = pos + separator.size();
  }
  const auto end = text.find(separator, start);
  return text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
}

int CountFields(std::string_view text, std::string_view separator) {
  if (separator.empty()) return 1;
  int count = 1;
  for (auto pos = text.find(separator); pos != std::string_view::npos;
       pos = text.find(separator, pos + separator.size()))
    ++count;
  return count;
}

std::string_view Left(std::string_view text, std::size_t n) { return text.substr(0, n); }

namespace {
bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

// A number too large for a double reads as infinity, one too small as 0.
double outOfRange(std::string_view number) {
  long magnitude = 0;
  std::size_t i = 0;
  while (i < number.size() && number[i] == '0') ++i;
  const bool wholePart = i < number.size() && isDigit(number[i]);
  while (i < number.size() && isDigit(number[i])) ++i, ++magnitude;
  if (!wholePart && i < number.size() && number[i] == '.') {
    ++i;
    while (i < number.size() && number[i] == '0') ++i, --magnitude;
  }
  const auto e = number.find_first_of("eE");
  if (e != std::string_view::npos) {
    long exponent = 0;
    std::from_chars(number.data() + e + 1 + (number[e + 1] == '+'), number.data() + number.size(),
                    exponent);
    magnitude += exponent;
  }
  return magnitude > 0 ? std::numeric_limits<double>::infinity() : 0.0;
}
}  // namespace

std::string_view Trim(std::string_view text) {
  std::size_t b = 0, e = text.size();
  while (b < e && isSpace(text[b])) ++b;
  while (e > b && isSpace(text[e - 1])) --e;
  return text.substr(b, e - b);
}

double Val(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  const std::size_t start = i;
  std::size_t digits = 0;
  while (i < text.size() && isDigit(text[i])) ++i, ++digits;
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && isDigit(text[i])) ++i, ++digits;
  }
  if (digits == 0) return 0.0;
  // An exponent counts only when digits follow it ("1e" reads as 1).
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    std::size_t j = i + 1;
    if (j < text.size() && (text[j] == '+' || text[j] == '-')) ++j;
    if (j < text.size() && isDigit(text[j])) {
      while (j < text.size() && isDigit(text[j])) ++j;
      i = j;
    }
  }
  std::string_view number = text.substr(start, i - start);
  // from_chars takes no leading '+' and no bare '.', both handled above.
  std::string buffer;
  if (!number.empty() && number.front() == '.') {
    buffer = "0";
    buffer += number;
    number = buffer;
  }
  double value = 0.0;
  const auto result = std::from_chars(number.data(), number.data() + number.size(), value);
  if (result.ec == std::errc::result_out_of_range) value = outOfRange(number);
  return negative ? -value : value;
}

std::string Str(std::int64_t value) { return std::to_string(value); }
std::string Str(int value) { return std::to_string(value); }

std::string Str(double value) {
  if (value == 0.0) return "0";
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value > 0 ? "INF" : "-INF";
  char buffer[400];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
  return std::string(buffer, result.ptr);
}

std::int32_t ToInt32(double value) {
  if (std::isnan(value)) return 0;
  if (value >= 2147483647.0) return std::numeric_limits<std::int32_t>::max();
  if (value <= -2147483648.0) return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(value);  // truncates toward zero
}

}  // namespace platform
