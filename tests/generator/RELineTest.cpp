#include "generator/RELine.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "platform/Text.h"

namespace generator {
namespace {

struct ClassRow {
  const char* name;
  std::string_view line;
  LineClass expected;
};

void PrintTo(const ClassRow& row, std::ostream* os) { *os << row.name; }

class ClassifyTest : public ::testing::TestWithParam<ClassRow> {};

TEST_P(ClassifyTest, Classifies) {
  EXPECT_EQ(Classify(GetParam().line), GetParam().expected);
  EXPECT_EQ(ParseLine(GetParam().line).kind, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ClassifyTest,
    ::testing::Values(
        ClassRow{"PropertyWinsOverPlaceholder", R"(<Value property="a"  type="b">{{integer|0|1}})",
                 LineClass::Property},
        ClassRow{"PropertyWithoutType", R"(x<Value property="a)", LineClass::Property},
        ClassRow{"MarkerIsCaseSensitive", R"(<value property="a"  type="b">{{x}})", LineClass::Placeholder},
        ClassRow{"Placeholder", "  {{integer|0|1}}", LineClass::Placeholder},
        ClassRow{"CloseBeforeOpen", "}} {{integer", LineClass::Placeholder},
        ClassRow{"Unclosed", "{{integer|0|1", LineClass::UnclosedPlaceholder},
        ClassRow{"SingleBraces", "{integer} }", LineClass::Other},
        ClassRow{"CloseOnly", "}}", LineClass::Other}, ClassRow{"Empty", "", LineClass::Other}),
    [](const auto& info) { return std::string(info.param.name); });

struct PropertyRow {
  const char* name;
  std::string_view line;
  std::string_view propertyName;
  std::string_view propertyType;
};

void PrintTo(const PropertyRow& row, std::ostream* os) { *os << row.name; }

class PropertyLineTest : public ::testing::TestWithParam<PropertyRow> {};

TEST_P(PropertyLineTest, NameAndType) {
  const RELine parsed = ParseLine(GetParam().line);
  ASSERT_EQ(parsed.kind, LineClass::Property);
  EXPECT_EQ(parsed.propertyName, GetParam().propertyName);
  EXPECT_EQ(parsed.propertyType, GetParam().propertyType);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, PropertyLineTest,
    ::testing::Values(
        PropertyRow{"Plain", R"(  <Value property="cutoff"  type="number">0.5</Value>)", "cutoff", "number"},
        PropertyRow{"NameKeepsBlanks", R"(<Value property=" cut off "  type=" boolean ">)", " cut off ",
                    "boolean"},
        PropertyRow{"NoTypeSeparator", R"(<Value property=" gain" type="number">)",
                    R"( gain" type="number">)", ""},
        PropertyRow{"SecondMarkerEndsName", R"(<Value property="a<Value property="b"  type="t">)", "a", "t"},
        PropertyRow{"TypeUnclosed", R"(<Value property="a"  type=" number )", "a", "number"},
        PropertyRow{"EmptyName", R"(<Value property=""  type="">)", "", ""},
        PropertyRow{"SeparatorSharesMarkerQuote", R"(<Value property="  type="x")", R"(  type="x")", "x"},
        PropertyRow{"SeparatorBeforeMarker", R"(a"  type="t"<Value property="n"  type="u">)", "n", "t"}),
    [](const auto& info) { return std::string(info.param.name); });

struct PlaceholderRow {
  const char* name;
  std::string_view line;
  std::string_view prefix;
  std::string_view text;
  std::string_view last;
};

void PrintTo(const PlaceholderRow& row, std::ostream* os) { *os << row.name; }

class PlaceholderLineTest : public ::testing::TestWithParam<PlaceholderRow> {};

TEST_P(PlaceholderLineTest, PrefixTextAndLastField) {
  const RELine parsed = ParseLine(GetParam().line);
  ASSERT_EQ(parsed.kind, LineClass::Placeholder);
  EXPECT_EQ(parsed.prefix, GetParam().prefix);
  EXPECT_EQ(parsed.placeholder, GetParam().text);
  EXPECT_EQ(LastPlaceholderField(GetParam().text), GetParam().last);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, PlaceholderLineTest,
    ::testing::Values(
        PlaceholderRow{"Full", "    \t{{integer|0|127|Cutoff|Filter|64}}</Value>", "    \t",
                       "integer|0|127|Cutoff|Filter|64", "64"},
        PlaceholderRow{"SecondOpenEndsText", "a{{float|0|1{{boolean|0|1}}", "a", "float|0|1", "1"},
        PlaceholderRow{"CloseBeforeOpenIgnored", "x}}y{{integer|1|2", "x}}y", "integer|1|2", "2"},
        PlaceholderRow{"MarkerBeyondSixthField", "{{integer|0|1|N|G|5| nl }}", "", "integer|0|1|N|G|5| nl ",
                       " nl "},
        PlaceholderRow{"WithoutFields", "{{kind}}", "", "kind", "kind"},
        PlaceholderRow{"EmptyLastField", "{{a|}}", "", "a|", ""},
        PlaceholderRow{"ThirdBrace", "{{{x}}}", "", "{x", "{x"},
        PlaceholderRow{"OpenRightAfterClose", "{{a}}{{b}}", "", "a", "a"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PlaceholderFieldTest, FieldBeyondLastIsEmpty) {
  EXPECT_EQ(PlaceholderField("integer|0|1", 1), "integer");
  EXPECT_EQ(PlaceholderField("integer|0|1", 3), "1");
  EXPECT_EQ(PlaceholderField("integer|0|1", 6), "");
  EXPECT_EQ(PlaceholderField("|a||", 3), "");
}

// The line scan works in blocks of 8, 16 and 64 bytes; lines of every length
// built from the tokens that matter must read as the plain field splits read them.
TEST(ParseLineTest, MatchesFieldSplitsAtEveryLength) {
  using platform::NthField;
  static constexpr std::string_view kTokens[] = {"{{", "}}", "{", "}", "|", "\"", "y", "a", " ", "\t",
                                                  kPropertyMarker, kTypeSeparator, "ty"};
  std::mt19937 engine(20240611);
  std::uniform_int_distribution<std::size_t> token(0, std::size(kTokens) - 1);
  std::uniform_int_distribution<int> length(0, 40);
  for (int round = 0; round < 20000; ++round) {
    std::string line;
    for (int n = length(engine); n > 0; --n) line += kTokens[token(engine)];
    // Mostly plain text, so that tokens land at every offset of a block.
    line.insert(0, std::string(static_cast<std::size_t>(round % 70), 'x'));
    SCOPED_TRACE(line);

    const RELine parsed = ParseLine(line);
    const bool marker = line.find(kPropertyMarker) != line.npos;
    const bool open = line.find(kPlaceholderOpen) != line.npos;
    const bool close = line.find(kPlaceholderClose) != line.npos;
    const LineClass expected = marker          ? LineClass::Property
                               : open && close ? LineClass::Placeholder
                               : open          ? LineClass::UnclosedPlaceholder
                                               : LineClass::Other;
    ASSERT_EQ(parsed.kind, expected);
    ASSERT_EQ(Classify(line), expected);
    if (expected == LineClass::Property) {
      ASSERT_EQ(parsed.propertyName, NthField(NthField(line, kPropertyMarker, 2), kTypeSeparator, 1));
      ASSERT_EQ(parsed.propertyType, platform::Trim(NthField(NthField(line, kTypeSeparator, 2), "\"", 1)));
    }
    if (expected != LineClass::Placeholder) continue;
    ASSERT_EQ(parsed.prefix, NthField(line, "{{", 1));
    const std::string_view text = NthField(NthField(line, "{{", 2), "}}", 1);
    ASSERT_EQ(parsed.placeholder, text);
    std::string_view fields[7], lineFields[7];
    PlaceholderFields(text, fields);
    const RELine withFields = ParseLine(line, lineFields);
    ASSERT_EQ(withFields.kind, expected);
    ASSERT_EQ(withFields.prefix, parsed.prefix);
    ASSERT_EQ(withFields.placeholder, text);
    for (int n = 1; n <= 7; ++n) {
      ASSERT_EQ(fields[n - 1], NthField(text, "|", n)) << n;
      ASSERT_EQ(lineFields[n - 1], NthField(text, "|", n)) << n;
      ASSERT_EQ(PlaceholderField(text, n), NthField(text, "|", n)) << n;
    }
    ASSERT_EQ(LastPlaceholderField(text), NthField(text, "|", platform::CountFields(text, "|")));
  }
}

}  // namespace
}  // namespace generator
