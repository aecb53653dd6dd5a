#include "generator/RELine.h"

#include <gtest/gtest.h>

namespace generator {
namespace {

struct ClassRow {
  const char* name;
  std::string_view line;
  LineClass expected;
};

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

}  // namespace
}  // namespace generator
