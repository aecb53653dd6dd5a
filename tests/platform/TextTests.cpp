#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <set>
#include <string>
#include <vector>

#include "platform/Random.h"
#include "platform/Text.h"

using namespace platform;

TEST(Text, fields) {
  struct Row {
    const char* text;
    const char* separator;
    int n;
    const char* field;
  };
  const std::vector<Row> rows = {
      {"a|b|c", "|", 1, "a"},    {"a|b|c", "|", 3, "c"},   {"a|b|c", "|", 4, ""},   {"a|b|c", "|", 0, ""},
      {"abc", "|", 1, "abc"},    {"abc", "|", 2, ""},      {"|x", "|", 1, ""},      {"a{{b}}c", "{{", 2, "b}}c"},
      {"", "|", 1, ""},          {"a||b", "|", 2, ""},     {"a||b", "|", 3, "b"},   {"1nl2nl", "nl", 3, ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.text) + " / " + row.separator + " / " + std::to_string(row.n));
    EXPECT_EQ(NthField(row.text, row.separator, row.n), row.field);
  }
  EXPECT_EQ(CountFields("a|b|c", "|"), 3);
  EXPECT_EQ(CountFields("", "|"), 1);
  EXPECT_EQ(CountFields("nlnl", "nl"), 3);
  EXPECT_EQ(InStr("hello", "l"), 3u);
  EXPECT_EQ(InStr("hello", "x"), 0u);
  EXPECT_EQ(InStr("hello", ""), 0u);
  EXPECT_EQ(Trim(" \t a b \t "), "a b");
  EXPECT_EQ(Trim("   "), "");
  EXPECT_EQ(Left("abc", 2), "ab");
  EXPECT_EQ(Left("abc", 9), "abc");
}

TEST(Text, numbers) {
  struct Row {
    const char* text;
    double value;
  };
  const std::vector<Row> rows = {
      {"12abc", 12},  {"abc", 0},    {"", 0},      {" -3.5", -3.5}, {"+2", 2},  {".5", 0.5}, {"1e3", 1000},
      {"1e", 1},      {"-", 0},      {"0.0001", 0.0001},           {"\t7", 7}, {"1.5.5", 1.5}, {"e5", 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    EXPECT_EQ(Val(row.text), row.value);
  }
  EXPECT_TRUE(std::isinf(Val("1e999")));
  EXPECT_EQ(Val("1e-999"), 0.0);

  struct StrRow {
    double value;
    const char* text;
  };
  const std::vector<StrRow> strs = {{0.5, "0.5"},   {0.0001, "0.0001"}, {12.3456, "12.3456"}, {1e-7, "0.0000001"},
                                    {-0.0, "0"},    {3, "3"},           {-2.25, "-2.25"},    {1e21, "1000000000000000000000"},
                                    {0.1 + 0.2, "0.30000000000000004"}};
  for (const StrRow& row : strs) EXPECT_EQ(Str(row.value), row.text);
  EXPECT_EQ(Str(-42), "-42");

  EXPECT_EQ(ToInt32(2.9), 2);
  EXPECT_EQ(ToInt32(-2.9), -2);
  EXPECT_EQ(ToInt32(1e20), std::numeric_limits<std::int32_t>::max());
  EXPECT_EQ(ToInt32(-1e20), std::numeric_limits<std::int32_t>::min());
  EXPECT_EQ(ToInt32(std::nan("")), 0);
}

TEST(Random, inRange_includesBothBounds_inEitherOrder) {
  std::set<int> seen;
  for (int i = 0; i < 400; ++i) {
    Random r;
    r.RandomizeSeed();
    const int v = r.InRange(5, 3);
    ASSERT_GE(v, 3);
    ASSERT_LE(v, 5);
    seen.insert(v);
  }
  EXPECT_EQ(seen, (std::set<int>{3, 4, 5}));
  Random r;
  r.RandomizeSeed();
  EXPECT_EQ(r.InRange(7, 7), 7);
  const auto lo = std::numeric_limits<std::int32_t>::min(), hi = std::numeric_limits<std::int32_t>::max();
  for (int i = 0; i < 100; ++i) r.InRange(lo, hi);  // the whole range: no overflow
}

TEST(Random, freshSeeds_differ) {
  std::set<int> values;
  for (int i = 0; i < 50; ++i) {
    Random r;
    r.RandomizeSeed();
    values.insert(r.InRange(0, 1 << 30));
  }
  EXPECT_GT(values.size(), 45u);
}
