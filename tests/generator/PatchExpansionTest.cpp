#include "generator/PatchExpansion.h"
#include "platform/Text.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cerrno>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <set>

namespace generator {
namespace {

namespace fs = std::filesystem;

// Shows which fields reached the value maker, instead of a random value.
std::string Marked(std::string_view kind, std::string_view minimum, std::string_view maximum) {
  return "R(" + std::string(kind) + "," + std::string(minimum) + "," + std::string(maximum) + ")";
}

constexpr std::string_view kCut = R"(<Value property="cut"  type="number">)";
constexpr std::string_view kSwitch = R"(<Value property="on"  type="boolean">)";

struct ExpansionRow {
  const char* name;
  std::vector<std::string_view> lines;
  std::vector<std::string> enabled;
  std::string expected;
};

void PrintTo(const ExpansionRow& row, std::ostream* os) { *os << row.name; }

class ExpansionTest : public ::testing::TestWithParam<ExpansionRow> {};

TEST_P(ExpansionTest, Expands) {
  EXPECT_EQ(ExpandPatch(GetParam().lines, GetParam().enabled, Marked), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ExpansionTest,
    ::testing::Values(
        ExpansionRow{"EmptyDescription", {}, {"cut"}, ""},
        ExpansionRow{"WithoutPlaceholdersCopied", {"<Patch>", "", "  </Patch>"}, {}, "<Patch>\n\n  </Patch>\n"},
        ExpansionRow{"DefaultWithoutList", {kCut, "  {{integer|0|127|C|G| 64 }}</Value>"}, {},
                     std::string(kCut) + "\n  64\n"},
        ExpansionRow{"RandomisedWhenListed", {kCut, "  {{ integer | 0 | 127 |C|G|64}}"}, {"reso", "cut"},
                     std::string(kCut) + "\n  R(integer,0,127)\n"},
        ExpansionRow{"PropertyLineWithPlaceholderCopied",
                     {R"(<Value property="cut"  type="n">{{integer|0|1|C|G|5}})", "{{integer|0|1|C|G|5}}"},
                     {"cut"},
                     R"(<Value property="cut"  type="n">{{integer|0|1|C|G|5}})"
                     "\nR(integer,0,1)\n"},
        ExpansionRow{"UnclosedLeftOut", {"a", "  {{integer|0|1|C|G|5", "b"}, {}, "a\nb\n"},
        ExpansionRow{"FirstOfTwoPlaceholders", {kCut, "\t{{integer|0|1|A|G|7}} {{float|0|1|B|G|8}}"}, {"cut"},
                     std::string(kCut) + "\n\tR(integer,0,1)\n"},
        ExpansionRow{"PrefixKeptTailDropped", {kCut, "    \t{{float|0|1|F|G| 0.25 }}</Value> tail"}, {},
                     std::string(kCut) + "\n    \t0.25\n"},
        ExpansionRow{"CloseBeforeOpen", {kCut, "x}}y{{integer|1|2|N|G|3"}, {}, std::string(kCut) + "\nx}}y3\n"},
        ExpansionRow{"MissingFieldsEmpty", {kCut, "{{integer}}", "<{{}}>"}, {"cut"},
                     std::string(kCut) + "\nR(integer,,)\n<R(,,)\n"},
        ExpansionRow{"DefaultIsSixthFieldNotLast", {kCut, "{{integer|0|1|N|G|9|nl}}"}, {},
                     std::string(kCut) + "\n9\n"},
        ExpansionRow{"AboveFirstPropertyNotListed", {"{{integer|0|1|A|G|4}}"}, {"cut"}, "4\n"},
        ExpansionRow{"AboveFirstPropertyEmptyEntry", {"{{integer|0|1|A|G|4}}", kCut, "{{integer|0|1|A|G|4}}"},
                     {"", "x"}, "R(integer,0,1)\n" + std::string(kCut) + "\n4\n"},
        ExpansionRow{"NoTypeSeparatorNameIsRest",
                     {R"(<Value property=" gain" type="boolean">)", "{{boolean|0|1|G|G|1}}"},
                     {R"(gain" type="boolean">)"},
                     R"(<Value property=" gain" type="boolean">)"
                     "\nR(boolean,0,1)\n"},
        ExpansionRow{"NoTypeSeparatorTypeEmpty", {R"(<Value property="gain">)", "{{boolean|0|1|G|G|1}}"}, {},
                     R"(<Value property="gain">)"
                     "\n1\n"},
        ExpansionRow{"NameTrimmedForLookup", {R"(<Value property="  cut "  type="number">)", "{{integer|0|1}}"},
                     {"cut"},
                     R"(<Value property="  cut "  type="number">)"
                     "\nR(integer,0,1)\n"},
        ExpansionRow{"EntryWithBlankNeverMatches",
                     {R"(<Value property=" cut "  type="number">)", "{{integer|0|1|C|G|2}}"},
                     {"cut ", " cut ", " cut"},
                     R"(<Value property=" cut "  type="number">)"
                     "\n2\n"},
        ExpansionRow{"LookupIsCaseSensitive", {kCut, "{{integer|0|1|C|G|2}}"}, {"Cut"},
                     std::string(kCut) + "\n2\n"},
        ExpansionRow{"BooleanTypeDefaults",
                     {kSwitch, "{{boolean|0|1|S|G|1}}", "{{boolean|0|1|S|G| 1 }}", "{{boolean|0|1|S|G|0}}",
                      "{{boolean|0|1|S|G|}}", "{{boolean|0|1|S|G|true}}", "{{integer|0|1|S|G|1}}"},
                     {},
                     std::string(kSwitch) + "\ntrue\ntrue\nfalse\nfalse\nfalse\ntrue\n"},
        ExpansionRow{"BooleanTypeTrimmedAndCaseSensitive",
                     {R"(<Value property="a"  type=" boolean ">)", "{{x|0|1|S|G|0}}",
                      R"(<Value property="b"  type="Boolean">)", "{{x|0|1|S|G|0}}"},
                     {},
                     R"(<Value property="a"  type=" boolean ">)"
                     "\nfalse\n"
                     R"(<Value property="b"  type="Boolean">)"
                     "\n0\n"},
        ExpansionRow{"BooleanKindUnderOtherType", {kCut, "{{boolean|0|1|B|G|1}}"}, {}, std::string(kCut) + "\n1\n"},
        ExpansionRow{"ThreePlaceholdersShareProperty",
                     {kCut, "{{integer|0|1|A|G|1}}", "{{float|0|1|B|G|2}}", "{{boolean|0|1|C|G|3}}", kSwitch,
                      "{{boolean|0|1|D|G|1}}"},
                     {"cut"},
                     std::string(kCut) + "\nR(integer,0,1)\nR(float,0,1)\nR(boolean,0,1)\n" + std::string(kSwitch) +
                         "\ntrue\n"},
        ExpansionRow{"ListedSeparatorIsAName",
                     {R"(<Value property="#+#+#+#+#"  type="n">)", "{{integer|0|1|A|G|1}}"},
                     {"#+#+#+#+#"},
                     R"(<Value property="#+#+#+#+#"  type="n">)"
                     "\nR(integer,0,1)\n"}),
    [](const auto& info) { return std::string(info.param.name); });

// Enough names, of every length and sharing prefixes, that the lookup's
// slots collide and wrap around.
TEST(ExpansionLookupTest, ManyPropertiesOnlyListedRandomised) {
  std::vector<std::string> names, enabled;
  for (int i = 0; i < 3000; ++i) names.push_back(std::string(static_cast<std::size_t>(i % 40), '/') + std::to_string(i));
  names.push_back("");
  for (std::size_t i = 0; i < names.size(); i += 3) enabled.push_back(names[i]);
  enabled.push_back(enabled.front());  // a name listed twice
  std::vector<std::string> storage;
  std::string expected;
  for (std::size_t i = 0; i < names.size(); ++i) {
    storage.push_back(R"(<Value property=")" + names[i] + R"("  type="n">)");
    storage.push_back("{{integer|0|1|N|G|d}}");
    expected += storage[storage.size() - 2] + "\n" + (i % 3 == 0 ? "R(integer,0,1)" : "d") + "\n";
  }
  const std::vector<std::string_view> lines(storage.begin(), storage.end());
  EXPECT_EQ(ExpandPatch(lines, enabled, Marked), expected);
}

struct FixedValueRow {
  const char* name;
  std::string_view kind, minimum, maximum;
  std::string expected;
};

void PrintTo(const FixedValueRow& row, std::ostream* os) { *os << row.name; }

class FixedValueTest : public ::testing::TestWithParam<FixedValueRow> {};

// Plain decimals take a fast path of their own; with a blank after them they
// go through Val, which reads the same number, and must give the same value.
TEST_P(FixedValueTest, AlwaysTheSameOnBothPaths) {
  const FixedValueRow& row = GetParam();
  const std::string minimum = std::string(row.minimum) + " ", maximum = std::string(row.maximum) + " ";
  for (int i = 0; i < 20; ++i) {
    EXPECT_EQ(MakeNumberValue(row.kind, row.minimum, row.maximum), row.expected);
    EXPECT_EQ(MakeNumberValue(row.kind, minimum, maximum), row.expected) << "through Val";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Values, FixedValueTest,
    ::testing::Values(FixedValueRow{"Integer", "integer", "3", "3", "3"},
                      FixedValueRow{"IntegerTruncated", "integer", "2.9", "2.9", "2"},
                      FixedValueRow{"IntegerNegativeTruncated", "integer", "-2.9", "-2.9", "-2"},
                      FixedValueRow{"IntegerNotNumbers", "integer", "abc", "", "0"},
                      FixedValueRow{"IntegerLeadingNumber", "integer", "7abc", "7.9.9", "7"},
                      FixedValueRow{"IntegerExponent", "integer", "1e3", "1E3", "1000"},
                      FixedValueRow{"IntegerManyDigits", "integer", "0000000000000000003", "3.0000000000000000001", "3"},
                      FixedValueRow{"IntegerHugeClamped", "integer", "1e20", "9999999999", "2147483647"},
                      FixedValueRow{"IntegerHugeNegative", "integer", "-1e400", "-3000000000", "-2147483648"},
                      FixedValueRow{"Float", "float", "0.5", "0.5", "0.5"},
                      FixedValueRow{"FloatNegative", "float", "-0.25", "-0.25", "-0.25"},
                      FixedValueRow{"FloatNearerToStep", "float", "0.00009", "0.00009", "0.0001"},
                      FixedValueRow{"FloatWhole", "float", "2", "2", "2"},
                      FixedValueRow{"FloatHugeClamped", "float", "1e10", "1e10", "214748.3647"},
                      FixedValueRow{"FloatHugeNegative", "float", "-1e10", "-1e10", "-214748.3648"},
                      FixedValueRow{"FloatSmallestStep", "float", "-0.0001", "-0.0001", "-0.0001"},
                      FixedValueRow{"FloatFourDecimals", "float", "123.4567", "123.4567", "123.4567"},
                      // Each product with 10000.0 lies just below the whole number it names.
                      FixedValueRow{"FloatProductJustBelow", "float", "0.57", "0.57", "0.57"},
                      FixedValueRow{"FloatProductJustBelowFour", "float", "12.3456", "12.3456", "12.3456"},
                      FixedValueRow{"FloatNegativeProductJustAbove", "float", "-0.57", "-0.57", "-0.57"},
                      FixedValueRow{"FloatNegativeFour", "float", "-12.3456", "-12.3456", "-12.3456"},
                      FixedValueRow{"FloatTrailingZeros", "float", "0.5700", "0.570000", "0.57"},
                      // Finer than the grid: the nearest grid value, halves away from zero.
                      FixedValueRow{"FloatHalfStepUp", "float", "0.00005", "0.00005", "0.0001"},
                      FixedValueRow{"FloatNegativeHalfStep", "float", "-0.00005", "-0.00005", "-0.0001"},
                      FixedValueRow{"FloatBelowHalfStep", "float", "0.00004999", "0.00004999", "0"},
                      FixedValueRow{"FloatHalfStepToOne", "float", "0.99995", "0.99995", "1"},
                      FixedValueRow{"FloatFiveDecimals", "float", "0.12345", "0.12345", "0.1235"},
                      FixedValueRow{"FloatManyDecimals", "float", "12.3456789", "12.3456789", "12.3457"},
                      FixedValueRow{"FloatExponentBound", "float", "2.5e-1", "+.25", "0.25"},
                      FixedValueRow{"FloatExponentBelowStep", "float", "1e-5", "1E-5", "0"},
                      FixedValueRow{"FloatExponentHalfStep", "float", "5e-5", "5e-5", "0.0001"},
                      FixedValueRow{"FloatExponentJustBelow", "float", "5.7e-1", "57e-2", "0.57"},
                      FixedValueRow{"FloatLargestOnGrid", "float", "214748.3647", "214748.3647", "214748.3647"},
                      FixedValueRow{"FloatAboveLargest", "float", "214748.3648", "214748.36475", "214748.3647"},
                      FixedValueRow{"FloatLowestOnGrid", "float", "-214748.3648", "-214748.3648", "-214748.3648"},
                      FixedValueRow{"FloatBelowLowest", "float", "-214748.3649", "-214748.36485", "-214748.3648"},
                      FixedValueRow{"FloatFifteenDigits", "float", "999999999999999", "99999999999.9999",
                                    "214748.3647"},
                      FixedValueRow{"FloatSixteenDigits", "float", "-9999999999999999", "-1e400", "-214748.3648"},
                      FixedValueRow{"FloatNotNumbers", "float", "x", "x", "0"},
                      FixedValueRow{"FloatNaNAndInfinityText", "float", "nan", "-inf", "0"},
                      FixedValueRow{"FloatGarbage", "float", "--1", ".", "0"},
                      FixedValueRow{"FloatHexIsNotRead", "float", "0x1p3", "-", "0"},
                      FixedValueRow{"BooleanZero", "boolean", "0", "0", "false"},
                      FixedValueRow{"BooleanOne", "boolean", "1", "1", "true"},
                      FixedValueRow{"BooleanAnyOtherNumber", "boolean", "-7", "-7", "true"},
                      FixedValueRow{"BooleanFraction", "boolean", "0.9", "0.9", "false"},
                      FixedValueRow{"UnknownKind", "Integer", "3", "3", std::string(kUnknownKindMarker)},
                      FixedValueRow{"EmptyKind", "", "3", "3", std::string(kUnknownKindMarker)}),
    [](const auto& info) { return std::string(info.param.name); });

// Every four-decimal bound names a grid value, and gets exactly that value:
// the whole grid from 0 to 1, and a spread of others up to the largest.
TEST(MakeNumberValueTest, FourDecimalBoundGivesItsGridValue) {
  const auto check = [](std::int64_t units) -> ::testing::AssertionResult {
    const std::int64_t magnitude = units < 0 ? -units : units;
    const std::string fraction = std::to_string(10000 + magnitude % 10000).substr(1);
    const std::string text = (units < 0 ? "-" : "") + std::to_string(magnitude / 10000) + "." + fraction;
    const std::string expected = platform::Str(static_cast<double>(units) / 10000.0);
    for (const std::string& bound : {text, text + " "})
      if (const std::string value = MakeNumberValue("float", bound, bound); value != expected)
        return ::testing::AssertionFailure() << "\"" << bound << "\" gives " << value << ", not " << expected;
    return ::testing::AssertionSuccess();
  };
  for (std::int64_t units = 0; units <= 10000; ++units) ASSERT_TRUE(check(units));
  for (std::int64_t units = 10001; units <= 2147483647; units += 104729) {
    ASSERT_TRUE(check(units));
    ASSERT_TRUE(check(-units));
  }
  EXPECT_TRUE(check(2147483647));
  EXPECT_TRUE(check(-2147483648));
}

TEST(MakeNumberValueTest, UnknownKindMarkerText) {
  EXPECT_EQ(kUnknownKindMarker.size(), 44u);
  EXPECT_EQ(kUnknownKindMarker, std::string(12, '*') + " UNKNOWN DEFINITION " + std::string(12, '*'));
}

struct RangeRow {
  const char* name;
  std::string_view kind, minimum, maximum;
  // Every text the range can give, each as often as any other; empty: too
  // many to list, check the bounds.
  std::set<std::string> all;
  double low, high;
  int draws;
  // Texts that must come up among the draws: the ends of a range too wide to list.
  std::set<std::string> ends;
};

void PrintTo(const RangeRow& row, std::ostream* os) { *os << row.name; }

class RangeTest : public ::testing::TestWithParam<RangeRow> {};

TEST_P(RangeTest, StaysInRangeAndReachesEveryValue) {
  const RangeRow& row = GetParam();
  std::map<std::string, int> seen;
  for (int i = 0; i < row.draws; ++i) {
    const std::string value = MakeNumberValue(row.kind, row.minimum, row.maximum);
    ++seen[value];
    if (!row.all.empty()) {
      if (!row.all.count(value)) ADD_FAILURE() << value;
      continue;
    }
    const double number = std::stod(value);
    if (number < row.low || number > row.high) ADD_FAILURE() << value;
    if (row.kind == "float") {
      // On the 1/10000 grid, in the shortest text of its double, with at most four decimals.
      const auto point = value.find('.');
      const bool onGrid = std::abs(number * 10000.0 - std::round(number * 10000.0)) <= 1e-6;
      if (!onGrid || platform::Str(number) != value || (point != std::string::npos && value.size() - point > 5))
        ADD_FAILURE() << value;
    }
  }
  if (!row.all.empty()) {
    // Off an even share by 1.5 % of 100000 draws among at most five values:
    // more than 9 standard deviations, below 1e-18 for a fair draw.
    const double share = static_cast<double>(row.draws) / static_cast<double>(row.all.size());
    for (const std::string& value : row.all)
      EXPECT_NEAR(seen[value], share, 0.015 * row.draws) << value;
    EXPECT_EQ(seen.size(), row.all.size());
  } else {
    EXPECT_GT(seen.size(), 100u);
  }
  for (const std::string& end : row.ends) EXPECT_TRUE(seen.count(end)) << end << " never came up";
}

// FloatUnit: 10001 values, and an end missed in 200000 draws with a chance of
// (1 - 1/10001)^200000, about 2e-9.
INSTANTIATE_TEST_SUITE_P(
    Values, RangeTest,
    ::testing::Values(
        RangeRow{"IntegerReversed", "integer", "5", "1", {"1", "2", "3", "4", "5"}, 0, 0, 100000, {}},
        RangeRow{"BooleanEvenly", "boolean", "0", "1", {"false", "true"}, 0, 0, 100000, {}},
        RangeRow{"FloatTinyRange", "float", "0", "0.0002", {"0", "0.0001", "0.0002"}, 0, 0, 100000, {}},
        RangeRow{"FloatUnit", "float", "0", "1", {}, 0, 1, 200000, {"0", "1"}},
        RangeRow{"FloatReversedNegative", "float", "1", "-1", {}, -1, 1, 2000, {}},
        RangeRow{"IntegerWholeInt32", "integer", "-1e12", "1e12", {}, -2147483648.0, 2147483647.0, 2000, {}},
        RangeRow{"FloatClampedBothSides", "float", "-1e9", "1e9", {}, -214748.3648, 214748.3647, 2000, {}}),
    [](const auto& info) { return std::string(info.param.name); });

// Real files in a folder of their own, through the platform's streams.
class PatchFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "generator-test-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    folder_ = pattern;
  }
  void TearDown() override { fs::remove_all(folder_); }

  platform::FolderItem write(const std::string& name, const std::optional<std::string>& bytes) {
    const fs::path path = folder_ / name;
    if (bytes) std::ofstream(path, std::ios::binary) << *bytes;
    return platform::FolderItem(path);
  }

  fs::path folder_;
};

struct FilterRow {
  const char* name;
  std::optional<std::string> bytes;
  std::vector<std::string> expected;
};

void PrintTo(const FilterRow& row, std::ostream* os) { *os << row.name; }

class FilterListTest : public PatchFileTest, public ::testing::WithParamInterface<FilterRow> {};

TEST_P(FilterListTest, ReadsEntriesAfterSeparator) {
  std::vector<std::string> entries = {"stale"};
  const platform::IOResult result = ReadEnabledParameterList(write("filter", GetParam().bytes), entries);
  EXPECT_TRUE(result) << result.Message();
  EXPECT_EQ(entries, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Files, FilterListTest,
    ::testing::Values(
        FilterRow{"NoFile", std::nullopt, {}}, FilterRow{"EmptyFile", "", {}},
        FilterRow{"NoSeparator", "Filter\ncut\n", {}}, FilterRow{"SeparatorOnly", "#+#+#+#+#\n", {}},
        FilterRow{"GroupsSkipped", "Filter\nAmp\n#+#+#+#+#\ncut\nreso\n", {"cut", "reso"}},
        FilterRow{"SecondSeparatorIsEntry", "#+#+#+#+#\ncut\n#+#+#+#+#\nreso", {"cut", "#+#+#+#+#", "reso"}},
        FilterRow{"SeparatorWithBlankIsNot", " #+#+#+#+#\ncut\n#+#+#+#+# \nreso\n", {}},
        FilterRow{"BlanksKept", "#+#+#+#+#\n cut \n\treso\n", {" cut ", "\treso"}},
        FilterRow{"EmptyLinesKept", "#+#+#+#+#\n\ncut\n\n", {"", "cut", ""}},
        FilterRow{"CRLF", "Filter\r\n#+#+#+#+#\r\ncut\r\n\r\nreso\r\n", {"cut", "", "reso"}},
        FilterRow{"CR", "#+#+#+#+#\rcut\rreso", {"cut", "reso"}}),
    [](const auto& info) { return std::string(info.param.name); });

struct LineEndRow {
  const char* name;
  std::string bytes;
  std::string expected;
};

void PrintTo(const LineEndRow& row, std::ostream* os) { *os << row.name; }

class DescriptionLineEndTest : public PatchFileTest, public ::testing::WithParamInterface<LineEndRow> {};

TEST_P(DescriptionLineEndTest, WrittenWithPlatformLineEnd) {
  std::string out = "stale";
  ASSERT_TRUE(ExpandPatchFile(write("RE", GetParam().bytes), write("filter", std::nullopt), out));
  EXPECT_EQ(out, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Files, DescriptionLineEndTest,
                         ::testing::Values(LineEndRow{"Empty", "", ""}, LineEndRow{"LF", "a\n\nb\n", "a\n\nb\n"},
                                           LineEndRow{"CRLF", "a\r\n\r\nb\r\n", "a\n\nb\n"},
                                           LineEndRow{"CR", "a\r\rb\r", "a\n\nb\n"},
                                           LineEndRow{"Mixed", "a\r\nb\rc\nd", "a\nb\nc\nd\n"},
                                           LineEndRow{"OnlyLineEnd", "\r\n", "\n"},
                                           LineEndRow{"PlaceholderCRLF", "  {{integer|0|9|A|G|4}}\r\n", "  4\n"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(PatchFileTest, FilterFileEnablesRandomValues) {
  const auto description =
      write("RE", std::string(kCut) + "\r\n  {{integer|3|3|C|G|64}}\r\n" + std::string(kSwitch) +
                      "\r\n  {{boolean|1|1|S|G|0}}\r\n  {{nonsense|1|1|S|G|0}}\r\n");
  std::string out;
  ASSERT_TRUE(ExpandPatchFile(description, write("filter", "Group\r\n#+#+#+#+#\r\non\r\n"), out));
  EXPECT_EQ(out, std::string(kCut) + "\n  64\n" + std::string(kSwitch) + "\n  true\n  " +
                     std::string(kUnknownKindMarker) + "\n");
  ASSERT_TRUE(ExpandPatchFile(description, write("filter2", "#+#+#+#+#\ncut\n"), out));
  EXPECT_EQ(out, std::string(kCut) + "\n  3\n" + std::string(kSwitch) + "\n  false\n  false\n");
}

// Which file a failure names, and whether it counts as missing: a missing
// filter file enables nothing, any other failure stops the patch.
TEST_F(PatchFileTest, FailuresNameTheFileThatCannotBeRead) {
  struct Row {
    const char* name;
    std::string description, filter;  // "file", "missing", "folder", "fileAsFolder", "linkToNothing"
    const char* failing;              // "description", "filter" or "" for none
    int error;
  };
  const std::vector<Row> rows = {
      {"filterMissing", "file", "missing", "", 0},
      {"filterFolderIsAFile", "file", "fileAsFolder", "", 0},
      {"filterIsALinkToNothing", "file", "linkToNothing", "", 0},
      {"filterIsAFolder", "file", "folder", "filter", EISDIR},
      {"descriptionMissing", "missing", "missing", "description", ENOENT},
      {"descriptionFolderIsAFile", "fileAsFolder", "file", "description", ENOTDIR},
      {"descriptionIsALinkToNothing", "linkToNothing", "file", "description", ENOENT},
      {"descriptionIsAFolder", "folder", "file", "description", EISDIR},
      {"bothUnreadableFilterFirst", "folder", "folder", "filter", EISDIR},
  };
  const auto make = [this](const std::string& name, const std::string& kind) {
    if (kind == "file") return write(name, std::string(kCut) + "\n{{integer|0|1|C|G|5}}\n");
    if (kind == "folder") fs::create_directories(folder_ / name);
    if (kind == "fileAsFolder") return platform::FolderItem(write(name, "x").Path() / "inside");
    if (kind == "linkToNothing") fs::create_symlink(folder_ / (name + ".nowhere"), folder_ / name);
    return platform::FolderItem(folder_ / name);
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const auto description = make(std::string(row.name) + "-RE", row.description);
    const auto filter = make(std::string(row.name) + "-filter", row.filter);
    std::string out = "stale";
    const platform::IOResult result = ExpandPatchFile(description, filter, out);
    if (*row.failing == '\0') {
      EXPECT_TRUE(result) << result.Message();
      EXPECT_EQ(out, std::string(kCut) + "\n5\n");
      continue;
    }
    ASSERT_FALSE(result);
    EXPECT_EQ(out, "");
    const bool filterFailed = std::string(row.failing) == "filter";
    EXPECT_EQ(result.path, (filterFailed ? filter : description).AbsolutePath());
    EXPECT_EQ(result.error, row.error);
    EXPECT_EQ(result.NotFound(), row.error != EISDIR);
    std::vector<std::string> entries = {"stale"};
    EXPECT_EQ(static_cast<bool>(ReadEnabledParameterList(filter, entries)), !filterFailed);
    EXPECT_TRUE(entries.empty());
  }
  std::string out = "stale";
  const platform::IOResult nil = ExpandPatchFile(platform::FolderItem(), platform::FolderItem(), out);
  EXPECT_TRUE(nil.NotFound());
  EXPECT_EQ(out, "");
}

}  // namespace
}  // namespace generator
