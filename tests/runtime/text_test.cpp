#include "runtime/text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <ostream>
#include <string>
#include <string_view>

namespace pelorin::text {
namespace {

using namespace std::string_literals;

// Failures name the table row instead of dumping its bytes.
template <typename Case>
requires requires(const Case& c) {
  c.name;
}
void PrintTo(const Case& c, std::ostream* os) {
  *os << c.name;
}

// GBK bytes spelled out where the exact bytes matter.
constexpr std::string_view kIdeographicSpace = "\xA1\xA1";
constexpr std::string_view kFullWidth1 = "\xA3\xB1";
constexpr std::string_view kFullWidthPoint = "\xA3\xAE";
constexpr std::string_view kFullWidthMinus = "\xA3\xAD";
constexpr std::string_view kFullWidthPlus = "\xA3\xAB";

TEST(GbkLiterals, NarrowLiteralsAreGbkBytes) {
  EXPECT_EQ(std::string("版本号"), "\xB0\xE6\xB1\xBE\xBA\xC5");
  EXPECT_EQ(std::string("３０００"), "\xA3\xB3\xA3\xB0\xA3\xB0\xA3\xB0");
  EXPECT_EQ(std::string("　"), kIdeographicSpace);
}

struct CharLengthCase {
  const char* name;
  std::string text;
  std::size_t at;
  std::size_t length;
};

class CharLength : public testing::TestWithParam<CharLengthCase> {};

TEST_P(CharLength, Counts) {
  EXPECT_EQ(char_length(GetParam().text, GetParam().at), GetParam().length);
}

INSTANTIATE_TEST_SUITE_P(Text, CharLength,
                         testing::Values(CharLengthCase{"Ascii", "ab", 0, 1},
                                         CharLengthCase{"Pair", "\xB0\xA1x", 0, 2},
                                         CharLengthCase{"LowestLeadByte", "\x81\x40", 0, 2},
                                         CharLengthCase{"ByteBelowLeadRange", "\x80\x40", 0, 1},
                                         CharLengthCase{"LeadWithMarkupTrail", "\x81<", 0, 2},
                                         CharLengthCase{"LoneLeadAtEnd", "a\xB0", 1, 1},
                                         CharLengthCase{"PastTheEnd", "a", 1, 0}),
                         [](const auto& p) { return p.param.name; });

struct IntegerCase {
  const char* name;
  std::string text;
  std::int32_t value;
};

class ToInteger : public testing::TestWithParam<IntegerCase> {};

TEST_P(ToInteger, Converts) {
  EXPECT_EQ(to_integer(GetParam().text), GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(
    Text, ToInteger,
    testing::Values(IntegerCase{"Plain", "3000", 3000}, IntegerCase{"LeadingBlank", " 1500", 1500},
                    IntegerCase{"Unit", "1500ms", 1500}, IntegerCase{"Fraction", "1.9", 1},
                    IntegerCase{"Letters", "abc", 0}, IntegerCase{"Empty", "", 0},
                    IntegerCase{"Minus", "-5", -5}, IntegerCase{"Plus", "+7", 7},
                    IntegerCase{"FullWidthDigits", "３０００", 3000},
                    IntegerCase{"FullWidthSign", std::string(kFullWidthMinus) + "5", -5},
                    IntegerCase{"FullWidthPlus", std::string(kFullWidthPlus) + "5", 5},
                    IntegerCase{"MixedWidthDigits", "1" + std::string(kFullWidth1) + "1", 111},
                    IntegerCase{"AllBlanks", " \t\r\n42", 42},
                    IntegerCase{"IdeographicSpace", std::string(kIdeographicSpace) + "12", 12},
                    IntegerCase{"BlankAfterSign", "- 5", 0}, IntegerCase{"TwoSigns", "--5", 0},
                    IntegerCase{"LeadingZeros", "007", 7}, IntegerCase{"HexIsNotRead", "0x1A", 0},
                    IntegerCase{"DigitsStopAtLetter", "12a34", 12},
                    IntegerCase{"OtherChineseCharacter",
                                "\xB0\xA1"
                                "5",
                                0},
                    IntegerCase{"DigitAsTrailByte",
                                "\x81"
                                "5",
                                0},
                    IntegerCase{"LoneLeadAfterDigit", "1\xA3", 1},
                    IntegerCase{"LargestInt32", "2147483647", 2147483647},
                    IntegerCase{"TwoToThe31Wraps", "2147483648",
                                std::numeric_limits<std::int32_t>::min()},
                    IntegerCase{"TwoToThe32WrapsToZero", "4294967296", 0},
                    IntegerCase{"AllOnes", "4294967295", -1},
                    IntegerCase{"PastTwoToThe32", "4294967301", 5},
                    IntegerCase{"NegativeWraps", "-2147483649", 2147483647},
                    IntegerCase{"ManyDigits", "100000000000000000000", 1661992960}),
    [](const auto& p) { return p.param.name; });

struct NumberCase {
  const char* name;
  std::string text;
  double value;
};

class ToNumber : public testing::TestWithParam<NumberCase> {};

TEST_P(ToNumber, ConvertsExactly) {
  const double got = to_number(GetParam().text);
  EXPECT_EQ(got, GetParam().value);
  EXPECT_EQ(std::signbit(got), std::signbit(GetParam().value));
}

constexpr double kInfinity = std::numeric_limits<double>::infinity();

INSTANTIATE_TEST_SUITE_P(
    Text, ToNumber,
    testing::Values(
        NumberCase{"Own", "1.3", 1.3}, NumberCase{"JustAboveTolerance", "1.3000001", 1.3000001},
        NumberCase{"JustBelowTolerance", "1.30000009", 1.30000009}, NumberCase{"Integer", "2", 2.0},
        NumberCase{"Zero", "0", 0.0}, NumberCase{"LeadingSpace", " 1.4", 1.4},
        NumberCase{"AllBlanks", "\t\r\n 1.4", 1.4},
        NumberCase{"IdeographicSpace", std::string(kIdeographicSpace) + "3", 3.0},
        NumberCase{"FullWidth",
                   std::string(kFullWidth1) + std::string(kFullWidthPoint) + "\xA3\xB4", 1.4},
        NumberCase{"FullWidthExponent",
                   "1\xA3\xC5"
                   "3",
                   1000.0},
        NumberCase{"TrailingLetters", "1.4beta", 1.4}, NumberCase{"LeadingLetter", "V1.4", 0.0},
        NumberCase{"SecondPoint", "1.3.1", 1.3}, NumberCase{"Empty", "", 0.0},
        NumberCase{"PointOnly", ".", 0.0}, NumberCase{"SignOnly", "-", 0.0},
        NumberCase{"NoIntegerPart", ".5", 0.5}, NumberCase{"NoFraction", "5.", 5.0},
        NumberCase{"Negative", "-2.5", -2.5}, NumberCase{"NegativeZero", "-0", -0.0},
        NumberCase{"Plus", "+2", 2.0}, NumberCase{"BlankAfterSign", "- 1", 0.0},
        NumberCase{"Exponent", "1e3", 1000.0}, NumberCase{"NegativeExponent", "1E-2", 0.01},
        NumberCase{"PlusExponent", "25e+1", 250.0}, NumberCase{"LetterWithoutDigits", "1e", 1.0},
        NumberCase{"ExponentSignWithoutDigits", "1e+", 1.0},
        NumberCase{"LetterThenLetter", "1ex", 1.0},
        NumberCase{"ExponentStopsAtPoint", "2e3.5", 2000.0},
        NumberCase{"ExponentWithoutMantissa", "e5", 0.0},
        NumberCase{"PointThenExponent", ".e5", 0.0}, NumberCase{"CommaIsNotAPoint", "1,5", 1.0},
        NumberCase{"HexIsNotRead", "0x10", 0.0}, NumberCase{"InfinityIsNotRead", "inf", 0.0},
        NumberCase{"NanIsNotRead", "nan", 0.0},
        NumberCase{"HalfwayRoundsToEven", "9007199254740993", 9007199254740992.0},
        NumberCase{"LongFraction", "0.1000000000000000055511151231257827", 0.1},
        NumberCase{"SmallestNormal", "2.2250738585072011e-308", 2.2250738585072011e-308},
        NumberCase{"Subnormal", "4.9e-324", 4.9e-324}, NumberCase{"Overflow", "1e999", kInfinity},
        NumberCase{"NegativeOverflow", "-1e999", -kInfinity},
        NumberCase{"OverflowByDigits", std::string(400, '9'), kInfinity},
        NumberCase{"Underflow", "1e-999", 0.0},
        NumberCase{"UnderflowByZeros", "0." + std::string(400, '0') + "1", 0.0},
        NumberCase{"HugeExponentOfZero", "0e99999999999999999999", 0.0},
        NumberCase{"HugeNegativeExponent", "7e-99999999999999999999", 0.0}),
    [](const auto& p) { return p.param.name; });

// The update check compares with its own version 1.3 using a tolerance of 1e-7; these two
// published versions lie on either side of it only if the conversion rounds correctly.
TEST(ToNumberTolerance, CorrectRoundingSeparatesNeighboursOfTheTolerance) {
  EXPECT_GT(to_number("1.3000001") - 1.3, 1e-7);
  EXPECT_LT(to_number("1.30000009") - 1.3, 1e-7);
}

struct ReplaceCase {
  const char* name;
  std::string text;
  std::string what;
  std::string with;
  std::string result;
};

class Replace : public testing::TestWithParam<ReplaceCase> {};

TEST_P(Replace, Replaces) {
  const ReplaceCase& c = GetParam();
  EXPECT_EQ(replace(c.text, c.what, c.with), c.result);
}

INSTANTIATE_TEST_SUITE_P(
    Text, Replace,
    testing::Values(
        ReplaceCase{"Marker", "a#HHFb#HHF", "#HHF", "\r\n", "a\r\nb\r\n"},
        ReplaceCase{"NoMatch", "abc", "#HHF", "\r\n", "abc"},
        ReplaceCase{"EmptyText", "", "#HHF", "\r\n", ""},
        ReplaceCase{"EmptyWhatLeavesText", "abc", "", "x", "abc"},
        ReplaceCase{"EmptyWithDeletes", "a#HHFb", "#HHF", "", "ab"},
        ReplaceCase{"ExactCase", "a#hhfb#HHf", "#HHF", "\r\n", "a#hhfb#HHf"},
        ReplaceCase{"NotOverlapping", "aaa", "aa", "b", "ba"},
        ReplaceCase{"AdjacentMatches", "#HHF#HHF", "#HHF", "-", "--"},
        ReplaceCase{"ReplacementNotRescanned", "aa", "a", "aa", "aaaa"},
        ReplaceCase{"WholeText", "#HHF", "#HHF", "x", "x"},
        ReplaceCase{"MarkerAfterPair", "\xB0\xA1#HHF", "#HHF", "\r\n", "\xB0\xA1\r\n"},
        ReplaceCase{"HashIsTrailByte", "\x81#HHF", "#HHF", "\r\n", "\x81#HHF"},
        ReplaceCase{"MatchAfterSkippedTrailMatch", "\x81#HHF#HHF", "#HHF", "!", "\x81#HHF!"},
        ReplaceCase{"ChineseWord", "最新版本", "版本", "信息", "最新信息"},
        ReplaceCase{"AcrossTwoCharacters", "\xB0\xA1\xB0\xA1", "\xA1\xB0", "x", "\xB0\xA1\xB0\xA1"},
        ReplaceCase{"WhatEndsInLeadByteWouldSplit", "a\xB0\xA1", "a\xB0", "x", "a\xB0\xA1"},
        ReplaceCase{"WhatEndsInLeadByteAtEnd", "ba\xB0", "a\xB0", "x", "bx"},
        ReplaceCase{"NulBytes", "a\0b\0"s, "\0"s, "-", "a-b-"}),
    [](const auto& p) { return p.param.name; });

TEST(Join, PutsTextsInOrderAndEmptyOnesAddNothing) {
  EXPECT_EQ(join({}), "");
  EXPECT_EQ(join({"", ""}), "");
  EXPECT_EQ(join({"a", "", "b c", "升级"}), "ab c升级");
  EXPECT_EQ(join({"a\0b"s, "\xB0"}), "a\0b\xB0"s);
}

struct CutCase {
  const char* name;
  std::string text;
  std::size_t max_bytes;
  std::string head;
};

class Cut : public testing::TestWithParam<CutCase> {};

TEST_P(Cut, KeepsWholeCharacters) {
  EXPECT_EQ(cut(GetParam().text, GetParam().max_bytes), GetParam().head);
}

INSTANTIATE_TEST_SUITE_P(
    Text, Cut,
    testing::Values(
        CutCase{"Shorter", "abc", 62, "abc"}, CutCase{"Exact", "abc", 3, "abc"},
        CutCase{"AsciiCut", "abcdef", 4, "abcd"}, CutCase{"Zero", "abc", 0, ""},
        CutCase{"EmptyText", "", 5, ""},
        CutCase{"PairFits", std::string(60, 'a') + "版本", 62, std::string(60, 'a') + "版"},
        CutCase{"PairWouldStraddleLimit", std::string(61, 'a') + "版", 62, std::string(61, 'a')},
        CutCase{"OnlyPairsOddLimit", "版本号", 5, "版本"},
        CutCase{"LoneLeadAtEndFits", "ab\xB0", 3, "ab\xB0"},
        CutCase{"LeadWithMarkupTrail", "a\x81<b", 2, "a"}),
    [](const auto& p) { return p.param.name; });

}  // namespace
}  // namespace pelorin::text
