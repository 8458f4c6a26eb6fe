#include "widgets/numformat.h"

#include <gtest/gtest.h>

#include <climits>

TEST(FormatGrouped, GroupsDigitsAndPutsNegativesInParentheses) {
  EXPECT_EQ(FormatGrouped(0), "0");
  EXPECT_EQ(FormatGrouped(999), "999");
  EXPECT_EQ(FormatGrouped(8887), "8,887");
  EXPECT_EQ(FormatGrouped(99999), "99,999");
  EXPECT_EQ(FormatGrouped(1000000), "1,000,000");
  EXPECT_EQ(FormatGrouped(-5), "(5)");
  EXPECT_EQ(FormatGrouped(-1234), "(1,234)");
  EXPECT_EQ(FormatGrouped(INT_MAX), "2,147,483,647");
  EXPECT_EQ(FormatGrouped(INT_MIN), "(2,147,483,648)");
}

TEST(ParseWholeNumber, ReadsWhatTheUserTypes) {
  EXPECT_EQ(ParseWholeNumber("8887"), 8887);
  EXPECT_EQ(ParseWholeNumber("00042"), 42);
  EXPECT_EQ(ParseWholeNumber(" 12 "), 12);
  EXPECT_EQ(ParseWholeNumber("-7"), -7);
  EXPECT_EQ(ParseWholeNumber("+7"), 7);
  EXPECT_EQ(ParseWholeNumber("0"), 0);
}

TEST(ParseWholeNumber, UnreadableTextIsZero) {
  for (const char* text :
       {"", " ", "-", "+", "()", "12a", "a12", "1.5", "1e3", "--1", "1 2", "0x10", "(-5)"}) {
    EXPECT_EQ(ParseWholeNumber(text), 0) << '"' << text << '"';
  }
}

TEST(ParseWholeNumber, OutOfRangeIsZeroNotWrapped) {
  EXPECT_EQ(ParseWholeNumber("2147483647"), INT_MAX);
  EXPECT_EQ(ParseWholeNumber("-2147483648"), INT_MIN);
  EXPECT_EQ(ParseWholeNumber("2147483648"), 0);
  EXPECT_EQ(ParseWholeNumber("-2147483649"), 0);
  EXPECT_EQ(ParseWholeNumber("99999999999999999999999"), 0);
}

TEST(ParseWholeNumber, AcceptsOnlyWellFormedGrouping) {
  EXPECT_EQ(ParseWholeNumber("8,887"), 8887);
  EXPECT_EQ(ParseWholeNumber("(1,234)"), -1234);
  EXPECT_EQ(ParseWholeNumber("(5)"), -5);
  for (const char* text : {",887", "8,", "88,87", "8,8870", "8,,887", "1234,567", "1,23,456"}) {
    EXPECT_EQ(ParseWholeNumber(text), 0) << '"' << text << '"';
  }
}

TEST(ParseWholeNumber, ReadsBackWhatFormatGroupedShows) {
  for (int value : {0, 1, -1, 12, 999, 1000, -1000, 8887, 65535, 99999, -99999, 1234567, INT_MAX, INT_MIN}) {
    EXPECT_EQ(ParseWholeNumber(FormatGrouped(value)), value) << value;
  }
}
