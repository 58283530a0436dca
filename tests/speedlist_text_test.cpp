// The text form of a speed list: building it, taking it apart, converting its
// fields and turning them into the entries the user sees.
#include <gtest/gtest.h>

#include <cfenv>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "tests/expected_texts.h"
#include "ui/errors.h"
#include "ui/speedlist.h"

namespace {

TEST(FormatSpeedList, LeadsWithFastestRequestAndSeparatesDetectedSpeeds) {
  EXPECT_EQ(FormatSpeedList({9695, 7056, 5645}), "65535,9695,7056,5645");
  EXPECT_EQ(FormatSpeedList({7056}), "65535,7056");
  EXPECT_EQ(FormatSpeedList({0, 65535, 7056, 7056}), "65535,0,65535,7056,7056");
  // An empty result still stores one field, shown as MAX.
  const std::string empty = FormatSpeedList({});
  EXPECT_EQ(empty, "65535,");
  EXPECT_EQ(CountTokens(empty, ','), 1);
  EXPECT_EQ(SpeedText(GetToken(empty, ',', 1), kMediaCd), "MAX");
}

TEST(CountTokens, CountsFieldsWithOrWithoutTrailingDelimiter) {
  const struct {
    const char* text;
    int count;
  } cases[] = {
      {"", 0},           {",", 0},           {"65535", 1},           {"65535,", 1},
      {"65535,7056", 2}, {"65535,7056,", 2}, {"65535,9695,7056", 3}, {"65535,,7056", 3},
      {",7056", 2},      {",,", 2},
  };
  for (const auto& c : cases) EXPECT_EQ(CountTokens(c.text, ','), c.count) << c.text;
}

TEST(GetToken, ReturnsNumberedFieldOrEmptyOutsideTheList) {
  const struct {
    const char* text;
    int n;
    const char* field;
  } cases[] = {
      {"65535,9695,7056", 1, "65535"}, {"65535,9695,7056", 2, "9695"}, {"65535,9695,7056", 3, "7056"},
      {"65535,9695,7056", 4, ""},      {"65535,9695,7056", 0, ""},     {"65535,9695,7056", -1, ""},
      {"65535,9695,7056,", 3, "7056"}, {"", 1, ""},                    {"65535,,7056", 2, ""},
      {"65535,,7056", 3, "7056"},      {",7056", 1, ""},               {",7056", 2, "7056"},
      {",", 1, ""},
  };
  for (const auto& c : cases) EXPECT_EQ(GetToken(c.text, ',', c.n), c.field) << c.text << " #" << c.n;
}

// A refresh takes the whole list in one split: it must give what taking the
// fields one by one gives, blanks and empty fields included, and no more.
TEST(GetToken, SplitGivesTheSameFieldsAsTakingThemOneByOne) {
  const char* const texts[] = {"",         ",",         ",,",         ",,,",      "a",
                               "a,",       ",a",        ",a,",        "a,,",      "a,,b",
                               " a , b ",  " ",         " ,",         ", ",       "a;b,c;d",
                               "65535,,",  "65535,9695,7056", "65535,9695,7056,", "\t,\n"};
  for (const char delimiter : {',', ';'}) {
    for (const std::string text : texts) {
      const std::vector<std::string> split = SplitTokens(text, delimiter);
      const int count = CountTokens(text, delimiter);
      ASSERT_EQ(split.size(), static_cast<size_t>(count)) << text << " " << delimiter;
      for (int i = 1; i <= count; ++i)
        EXPECT_EQ(split[i - 1], GetToken(text, delimiter, i)) << text << " #" << i;
    }
  }
  EXPECT_EQ(SplitTokens(" a ,,b, ", ','), (std::vector<std::string>{" a ", "", "b", " "}));
}

TEST(DropLastChars, RemovesTailOrEverything) {
  const struct {
    const char* text;
    int n;
    const char* rest;
  } cases[] = {{"40x", 1, "40"},   {"MAX", 1, "MA"},  {"x", 1, ""},     {"", 1, ""},
               {"372x", 3, "3"},   {"372x", 4, ""},   {"372x", 5, ""},  {"372x", 0, "372x"}};
  for (const auto& c : cases) EXPECT_EQ(DropLastChars(c.text, c.n), c.rest) << c.text << " " << c.n;
}

const struct {
  const char* text;
  int32_t value;
} kValidIntegers[] = {
    {"0", 0},           {"7056", 7056},        {"   7056", 7056},     {"+7056", 7056},
    {"-1", -1},         {"  -42", -42},        {"007056", 7056},      {"2147483647", 2147483647},
    {"-2147483648", INT32_MIN},                {"+0000000000002147483647", 2147483647},
    {"$1B90", 7056},    {"$1b90", 7056},       {"x1B90", 7056},       {"X1B90", 7056},
    {"0x1B90", 7056},   {"0X1b90", 7056},      {"  $10", 16},         {"$0", 0},
    {"$0000000000001B90", 7056},               {"$7FFFFFFF", 2147483647},
    {"$80000000", INT32_MIN},                  {"$FFFFFFFF", -1},     {"$0FFFFFFFF", -1},
    // A sign negates the 32-bit value the hex digits spell.
    {"-$10", -16},      {"+$10", 16},          {"-0x10", -16},        {"-x10", -16},
    {"-$FFFFFFFF", 1},  {"-$80000000", INT32_MIN},
};

const char* const kInvalidIntegers[] = {
    "",           " ",          "-",           "+",          "$",           "0x",
    "x",          "7056 ",      "70 56",       "7056,",      "\t7056",      "7056x",
    "12a",        "--1",        "+-1",         "- 1",        "$ 10",        "$1G",
    "0x-10",      "$-10",       "00x10",       "2147483648", "-2147483649", "99999999999",
    "$100000000", "$123456789", "1.5",         "1e3",        "0b101",       "#10",
    "$+10",       "0x1B90 ",    "\xB2",        "\xA0" "1",
};

TEST(IntegerConversion, AcceptsDecimalAndPrefixedHexInAllThreeForms) {
  for (const auto& c : kValidIntegers) {
    int32_t value = 0x5A5A5A5A;
    EXPECT_TRUE(TryStrToInt(c.text, value)) << c.text;
    EXPECT_EQ(value, c.value) << c.text;
    EXPECT_EQ(StrToIntDef(c.text, 0x5A5A5A5A), c.value) << c.text;
    EXPECT_EQ(StrToInt(c.text), c.value) << c.text;
  }
}

TEST(IntegerConversion, RefusesEverythingElseLenientlyOrWithTheConversionError) {
  for (const char* text : kInvalidIntegers) {
    int32_t value = 0x5A5A5A5A;
    EXPECT_FALSE(TryStrToInt(text, value)) << text;
    EXPECT_EQ(value, 0x5A5A5A5A) << text;
    EXPECT_EQ(StrToIntDef(text, -7), -7) << text;
    try {
      StrToInt(text);
      ADD_FAILURE() << "no error for '" << text << "'";
    } catch (const EConvertError& e) {
      EXPECT_EQ(e.what(), NotAnIntegerError(text));
    }
  }
}

struct Shown {
  const char* field;
  const char* text;
};

TEST(SpeedText, CdAndOtherMediaInMultiplesOf176Point4) {
  const Shown cases[] = {
      {"65535", "MAX"},  {"-1", "MAX"},     {"131071", "MAX"}, {"$FFFF", "MAX"},
      {"65536", "0x"},   {"junk", "0x"},    {"", "0x"},        {"7056", "40x"},
      {"  7056", "40x"}, {"7056 ", "0x"},   {"$1B90", "40x"},  {"88", "0x"},
      {"89", "1x"},      {"441", "2x"},     {"2205", "12x"},   {"1323", "8x"},
      {"11025", "63x"},  {"0", "0x"},       {"65534", "372x"}, {"72656", "40x"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SpeedText(c.field, kMediaCd), c.text) << c.field;
    EXPECT_EQ(SpeedText(c.field, kMediaOther), c.text) << c.field;
  }
}

TEST(SpeedText, DvdInMultiplesOf1385) {
  const Shown cases[] = {
      {"1385", "1x"},   {"692", "0x"},    {"693", "1x"},  {"22160", "16x"},
      {"65535", "MAX"}, {"65534", "47x"}, {"junk", "0x"}, {"2077", "1x"},
      {"2078", "2x"},   {"$5690", "16x"},
  };
  for (const auto& c : cases) EXPECT_EQ(SpeedText(c.field, kMediaDvd), c.text) << c.field;
}

TEST(SpeedMultiple, ExtendedQuotientsJustAboveTheHalfRoundUp) {
  const struct {
    uint16_t speed;
    int multiple;
  } cases[] = {
      {11025, 63},  {19845, 113}, {21609, 123}, {39249, 223},
      {41013, 233}, {42777, 243}, {44541, 253},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SpeedMultiple(c.speed, kMediaCd), c.multiple) << c.speed;
    // In double precision these are exact halves that go to the even side.
    EXPECT_EQ(static_cast<int>(std::nearbyint(c.speed / 176.4)), c.multiple - 1) << c.speed;
  }
}

// The x87 80-bit division with round-to-nearest is the reference: it holds
// 176.4 as the same hair-below value and rounds the quotient the same way.
TEST(SpeedMultiple, MatchesExtendedPrecisionForEverySpeed) {
  if (std::numeric_limits<long double>::digits != 64)
    GTEST_SKIP() << "needs an 80-bit long double";
  ASSERT_EQ(std::fegetround(), FE_TONEAREST);
  const long double cdUnit = 176.4L;
  ASSERT_EQ(std::ldexp(cdUnit, 56), static_cast<long double>(0xB066666666666666ULL));
  int mismatches = 0;
  for (uint32_t speed = 0; speed <= 0xFFFF; ++speed) {
    const long double s = speed;
    const int cd = static_cast<int>(std::nearbyintl(s / cdUnit));
    const int dvd = static_cast<int>(std::nearbyintl(s / 1385.0L));
    if (SpeedMultiple(static_cast<uint16_t>(speed), kMediaCd) != cd ||
        SpeedMultiple(static_cast<uint16_t>(speed), kMediaOther) != cd ||
        SpeedMultiple(static_cast<uint16_t>(speed), kMediaDvd) != dvd) {
      if (++mismatches <= 10) ADD_FAILURE() << "speed " << speed;
    }
  }
  EXPECT_EQ(mismatches, 0);
}

TEST(MatchCurrentSpeed, LastMatchingEntryWinsAndMaxNeverMatches) {
  const struct {
    std::vector<std::string> entries;
    uint16_t current;
    uint8_t media;
    int index;
  } cases[] = {
      {{"MAX", "40x", "32x", "40x"}, 7056, kMediaCd, 3},
      {{"MAX", "40x", "32x", "40x"}, 5645, kMediaCd, 2},
      {{"MAX", "40x", "32x"}, 8467, kMediaCd, -1},
      {{}, 7056, kMediaCd, -1},
      {{"MAX", "40x", "0x"}, 0, kMediaCd, 2},
      {{"MAX", "372x", "47x", "MAX"}, 65535, kMediaCd, 1},
      {{"MAX", "372x", "47x", "MAX"}, 65535, kMediaOther, 1},
      {{"MAX", "372x", "47x", "MAX"}, 65535, kMediaDvd, 2},
      {{"MAX"}, 65535, kMediaCd, -1},
      {{"MAX", "16x", "8x", "16", " 16x"}, 22160, kMediaDvd, 1},  // byte for byte
      {{"MAX", "016x"}, 22160, kMediaDvd, -1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(MatchCurrentSpeed(c.entries, c.current, c.media), c.index)
        << c.current << " over " << c.entries.size() << " entries, class " << int(c.media);
  }
}

}  // namespace
