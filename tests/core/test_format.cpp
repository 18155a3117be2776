#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "src/Platform/uDateUtils.h"
#include "src/Platform/uException.h"
#include "src/Platform/uFormat.h"
#include "support/TestEnv.h"

namespace {

// Pins the process-wide settings for a test and restores them afterwards.
class FormatTest : public ::testing::Test {
 protected:
  static void UseEnglish() { FormatSettings() = TFormatSettings::Invariant(); }
  static void UseRussian() {
    FormatSettings() = TFormatSettings::Russian();
    FormatSettings().ThousandSeparator = u' ';
  }

 private:
  TFormatSettingsGuard FFormatGuard;
};

struct FloatCase {
  const char* Format;
  double Value;
  const char* English;
  const char* Russian;
};

TEST_F(FormatTest, FormatFloatWithDelphiCodes) {
  const FloatCase cases[] = {
      {"#,##0.00", 1234.5, "1,234.50", "1 234,50"},
      {"#,##0.00;;0", 1234.5, "1,234.50", "1 234,50"},
      {"#,##0.00;;0", 0, "0", "0"},
      {"#,##0.00;;0", -0.001, "0", "0"},  // rounds to zero: the zero section, no sign
      {"#,##0.00;;0", -1234567.891, "-1,234,567.89", "-1 234 567,89"},
      {",0.00;-,0.00", -1234.5, "-1,234.50", "-1 234,50"},
      {"0.######", 1.5, "1.5", "1,5"},
      {"0.######", 2, "2", "2"},
      {"0.######", 1.0 / 3, "0.333333", "0,333333"},
      {"#.000", 0.5, ".500", ",500"},
      {"#.000", 12.3456, "12.346", "12,346"},
      {"0.00", 2.675, "2.68", "2,68"},  // half away from zero on the decimal digits
      {"0.00", -2.675, "-2.68", "-2,68"},
      {"00000", 42, "00042", "00042"},
      {"#", 0, "", ""},
      {"0", 999.5, "1000", "1000"},
      {"#,##0", 999999.5, "1,000,000", "1 000 000"},
      {"0.00;(0.00)", -5, "(5.00)", "(5,00)"},
      {"'$'#,##0.00", 1234.5, "$1,234.50", "$1 234,50"},
      {"0.00E+00", 12345, "1.23E+04", "1,23E+04"},
      {"0.0E-0", 0.000123, "1.2E-4", "1,2E-4"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Format);
    UseEnglish();
    EXPECT_EQ(FormatFloat(QString::fromLatin1(c.Format), c.Value), QString::fromUtf8(c.English)) << c.Format;
    UseRussian();
    EXPECT_EQ(FormatFloat(QString::fromLatin1(c.Format), c.Value), QString::fromUtf8(c.Russian)) << c.Format;
  }
}

TEST_F(FormatTest, FormatCurrRoundsTheExactAmount) {
  UseEnglish();
  EXPECT_EQ(FormatCurr("#,##0.00", Currency::FromDouble(1234.5)), "1,234.50");
  EXPECT_EQ(FormatCurr("#,##0.00;;0", Currency()), "0");
  // 0.125 is exact in currency units: half away from zero gives .13.
  EXPECT_EQ(FormatCurr("0.00", Currency::FromScaled(1250)), "0.13");
  EXPECT_EQ(FormatCurr("#,##0.00", Currency::FromScaled(std::numeric_limits<int64_t>::min())),
            "-922,337,203,685,477.58");
  EXPECT_EQ(CurrToStr(Currency::FromScaled(12345000)), "1234.5");
  EXPECT_EQ(CurrToStr(Currency::FromScaled(-1)), "-0.0001");
  UseRussian();
  EXPECT_EQ(CurrToStr(Currency::FromScaled(12345000)), "1234,5");
}

TEST_F(FormatTest, GeneralFormat) {
  UseEnglish();
  const std::pair<double, const char*> cases[] = {
      {0.1, "0.1"},
      {1.0 / 3, "0.333333333333333"},
      {1e-6, "1E-6"},
      {0.00001, "0.00001"},
      {-1.5e-7, "-1.5E-7"},
      {123456789012345.0, "123456789012345"},
      {1e15, "1E15"},
      {1e20, "1E20"},
      {2.5, "2.5"},
      {-0.0, "0"},
      {100, "100"},
      {0.1 + 0.2, "0.3"},
      {std::numeric_limits<double>::quiet_NaN(), "NAN"},
      {-std::numeric_limits<double>::infinity(), "-INF"},
  };
  for (const auto& [value, text] : cases) EXPECT_EQ(FloatToStr(value), QString::fromLatin1(text)) << text;
  UseRussian();
  EXPECT_EQ(FloatToStr(2.5), "2,5");
  EXPECT_EQ(FloatToStr(2.5, TFormatSettings::Invariant()), "2.5");
}

TEST_F(FormatTest, FormatDateTimeCodes) {
  UseRussian();
  const TDateTime moment = EncodeDateTime(2026, 3, 9, 7, 5, 3, 45);
  const std::pair<const char*, const char*> cases[] = {
      {"dd.mm.yyyy hh:nn:ss.zzz", "09.03.2026 07:05:03.045"},
      {"dd-mm-yyyy_hh-nn-ss", "09-03-2026_07-05-03"},
      {"dd.mm.yyyy  h:nn:ss", "09.03.2026  7:05:03"},
      {"ddmmyyyy_hhnnss", "09032026_070503"},
      {"ddhhnnsszzz", "09070503045"},
      {"dd.mm.yy hh:nn:ss", "09.03.26 07:05:03"},
      {"d/m/yy", "9.3.26"},
      {"hh:mm", "07:05"},  // "mm" right after an hour is minutes
      {"h:nn am/pm", "7:05 am"},
      {"ddd dddd mmm mmmm", "Пн понедельник мар Март"},
      {"'dd' \"at\" hh", "dd at 07"},
      {"c", "09.03.2026 07:05:03"},
  };
  for (const auto& [format, text] : cases)
    EXPECT_EQ(FormatDateTime(QString::fromLatin1(format), moment), QString::fromUtf8(text)) << format;
  EXPECT_EQ(FormatDateTime("dd.mm.yyyy", TDateTime(46090)), "09.03.2026");
  EXPECT_EQ(DateTimeToStr(TDateTime(46090)), "09.03.2026");  // midnight: no time
  EXPECT_EQ(FormatDateTime("hh:nn:ss", moment, TFormatSettings::Invariant()), "07:05:03");
  UseEnglish();
  EXPECT_EQ(FormatDateTime("c", TDateTime(46090.5)), "03/09/2026 12:00:00");
  EXPECT_EQ(FormatDateTime("h:nn AM/PM", TDateTime(46090.5)), "12:00 PM");
}

TEST_F(FormatTest, TextToIntegers) {
  const std::pair<const char*, int32_t> good[] = {{"12", 12},
                                                  {"-12", -12},
                                                  {"+7", 7},
                                                  {"  5", 5},
                                                  {"$1A", 26},
                                                  {"0x1a", 26},
                                                  {"-2147483648", INT32_MIN},
                                                  {"2147483647", INT32_MAX},
                                                  {"$FFFFFFFF", -1}};
  for (const auto& [text, value] : good) EXPECT_EQ(StrToInt(QString::fromLatin1(text)), value) << text;
  for (const char* text : {"", " ", "12 ", "1.5", "2147483648", "-2147483649", "abc", "1e3", "$", "--1"})
    EXPECT_THROW(StrToInt(QString::fromLatin1(text)), EConvertError) << text;
  EXPECT_EQ(StrToInt64("-9223372036854775808"), INT64_MIN);
  EXPECT_THROW(StrToInt64("9223372036854775808"), EConvertError);
  EXPECT_EQ(StrToIntDef("x", 7), 7);
  try {
    StrToInt("abc");
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), "'abc' is not a valid integer value");
  }
}

TEST_F(FormatTest, TextToFloatsUsesTheDecimalSeparator) {
  UseRussian();
  EXPECT_DOUBLE_EQ(StrToFloat(" 2,5 "), 2.5);
  EXPECT_DOUBLE_EQ(StrToFloat("-1,5E3"), -1500);
  EXPECT_DOUBLE_EQ(StrToFloat(",5"), 0.5);
  EXPECT_DOUBLE_EQ(StrToFloat("1e-400"), 0);
  for (const char* text : {"2.5", "1 000", "", "e5", "1e", "1e400", "NAN", "1,2,3"})
    EXPECT_THROW(StrToFloat(QString::fromLatin1(text)), EConvertError) << text;
  UseEnglish();
  EXPECT_DOUBLE_EQ(StrToFloat("2.5"), 2.5);
  EXPECT_THROW(StrToFloat("2,5"), EConvertError);
}

TEST_F(FormatTest, TextToBooleans) {
  UseEnglish();
  const std::pair<const char*, bool> cases[] = {{"True", true}, {"true", true}, {"FALSE", false}, {"0", false},
                                                {"-1", true},   {"2.5", true},  {"0.0", false}};
  for (const auto& [text, value] : cases) EXPECT_EQ(StrToBool(QString::fromLatin1(text)), value) << text;
  for (const char* text : {"", "yes", "T"}) EXPECT_THROW(StrToBool(QString::fromLatin1(text)), EConvertError);
  EXPECT_EQ(BoolToStr(true, true), "True");
  EXPECT_EQ(BoolToStr(true), "-1");
  EXPECT_EQ(BoolToStr(false), "0");
}

TEST_F(FormatTest, TextToDates) {
  UseRussian();
  EXPECT_EQ(StrToDateTime("09.03.2026").Value, 46090);
  EXPECT_EQ(StrToDateTime("9.3.2026 12:00").Value, 46090.5);
  EXPECT_EQ(StrToDateTime("09.03.2026 07:05:03.045"), EncodeDateTime(2026, 3, 9, 7, 5, 3, 45));
  EXPECT_EQ(StrToDateTime("12:30"), EncodeTime(12, 30, 0, 0));
  EXPECT_EQ(YearOf(StrToDateTime("01.01.30")), 2030);  // two-digit years: a window of 50 years back
  EXPECT_EQ(YearOf(StrToDateTime("01.01.99")), 1999);
  EXPECT_EQ(StrToDateTime(FormatDateTime("c", TDateTime(46090.75))).Value, 46090.75);
  for (const char* text : {"", "31.02.2026", "09.03.2026 25:00", "09/03/2026", "abc", "09.03.2026 x"})
    EXPECT_THROW(StrToDateTime(QString::fromLatin1(text)), EConvertError) << text;
  UseEnglish();
  EXPECT_EQ(StrToDateTime("03/09/2026 1:30 PM").Value, 46090 + 13.5 / 24);
}

TEST(DateUtils, EncodeDecodeAndDelphiSerials) {
  EXPECT_EQ(EncodeDate(1899, 12, 30).Value, 0);
  EXPECT_EQ(EncodeDate(2026, 3, 9).Value, 46090);
  EXPECT_EQ(EncodeDate(1, 1, 1).Value, -693593);
  EXPECT_EQ(EncodeDateTime(1899, 12, 29, 6, 0, 0, 0).Value, -1.25);  // the fraction counts forward
  int y, m, d, h, n, s, z;
  DecodeDateTime(TDateTime(-1.25), y, m, d, h, n, s, z);
  EXPECT_EQ((std::vector<int>{y, m, d, h, n, s, z}), (std::vector<int>{1899, 12, 29, 6, 0, 0, 0}));
  // Just short of midnight rounds to the next day, not to 24:00.
  DecodeDateTime(TDateTime(46090.9999999999), y, m, d, h, n, s, z);
  EXPECT_EQ((std::vector<int>{d, h, n, s, z}), (std::vector<int>{10, 0, 0, 0, 0}));
  EXPECT_THROW(EncodeDate(2026, 2, 29), EConvertError);
  EXPECT_THROW(EncodeTime(24, 0, 0, 0), EConvertError);
  EXPECT_EQ(EncodeDate(2024, 2, 29).Value + 1, EncodeDate(2024, 3, 1).Value);
}

TEST(DateUtils, IncMonthClampsToTheMonthEnd) {
  const struct {
    int Y, M, D, Months, EY, EM, ED;
  } cases[] = {
      {2024, 2, 29, 12, 2025, 2, 28}, {2026, 1, 31, 1, 2026, 2, 28},    {2024, 1, 31, 1, 2024, 2, 29},
      {2026, 3, 31, -1, 2026, 2, 28}, {2026, 1, 15, -13, 2024, 12, 15}, {2026, 12, 31, 2, 2027, 2, 28},
  };
  for (const auto& c : cases) {
    const TDateTime result = IncMonth(EncodeDateTime(c.Y, c.M, c.D, 10, 30, 0, 0), c.Months);
    EXPECT_EQ(result, EncodeDateTime(c.EY, c.EM, c.ED, 10, 30, 0, 0)) << c.Y << "-" << c.M << "-" << c.D;
  }
  // "+1y-1d" on 29 February.
  EXPECT_EQ(IncMonth(EncodeDate(2024, 2, 29), 12) - 1, EncodeDate(2025, 2, 27).Value);
}

TEST(DateUtils, DayOfWeekStartsOnSunday) {
  EXPECT_EQ(DayOfWeek(TDateTime(0)), 7);  // 1899-12-30 was a Saturday
  EXPECT_EQ(DayOfWeek(EncodeDate(2026, 3, 8)), 1);
  EXPECT_EQ(DayOfWeek(EncodeDate(2026, 3, 9)), 2);
  EXPECT_EQ(DayOfWeek(EncodeDateTime(2026, 3, 14, 23, 59, 0, 0)), 7);
  EXPECT_EQ(DayOfWeek(TDateTime(-1.25)), 6);
}

TEST(DateUtils, ISO8601WithOffsets) {
  const struct {
    const char* Text;
    TDateTime Expected;
  } cases[] = {
      {"2020-01-01", EncodeDate(2020, 1, 1)},
      {"2020-04-03T10:20:30", EncodeDateTime(2020, 4, 3, 10, 20, 30, 0)},
      {"2020-04-03T10:20:30.5Z", EncodeDateTime(2020, 4, 3, 10, 20, 30, 500)},
      {"2020-04-03T10:20:30.123456", EncodeDateTime(2020, 4, 3, 10, 20, 30, 123)},
      {"2020-04-03T01:20:30+03:00", EncodeDateTime(2020, 4, 2, 22, 20, 30, 0)},
      {"2020-04-03T22:20:30-0230", EncodeDateTime(2020, 4, 4, 0, 50, 30, 0)},
      {"2020-04-03T10:20+05", EncodeDateTime(2020, 4, 3, 5, 20, 0, 0)},
      {"20200403T102030Z", EncodeDateTime(2020, 4, 3, 10, 20, 30, 0)},
  };
  for (const auto& c : cases) EXPECT_EQ(ISO8601ToDate(QString::fromLatin1(c.Text)), c.Expected) << c.Text;
  for (const char* text : {"", "2020-13-01", "2020-02-30", "2020-04-03T25:00", "2020-04-03T10:20:30+3", "2020-04-03X",
                           "2020-4-3", "2020-04-03T10:20:30Z junk"})
    EXPECT_THROW(ISO8601ToDate(QString::fromLatin1(text)), EConvertError) << text;
  EXPECT_EQ(DateToISO8601(EncodeDateTime(2020, 4, 3, 10, 20, 30, 5)), "2020-04-03T10:20:30.005Z");
}

}  // namespace
