#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "src/Platform/uDateUtils.h"
#include "src/Platform/uException.h"
#include "src/Platform/uFormat.h"
#include "src/Platform/uVariant.h"
#include "support/TestEnv.h"

namespace {

class TProbe : public TObject {};

class VariantTest : public ::testing::Test {
 protected:
  void SetUp() override { FormatSettings() = TFormatSettings::Russian(); }

 private:
  TFormatSettingsGuard FFormatGuard;
};

TEST_F(VariantTest, KindFollowsTheStaticType) {
  TProbe probe;
  const struct {
    Variant Value;
    TVarType Type;
  } cases[] = {
      {Variant(), varUnassigned},
      {Variant::Null(), varNull},
      {Variant(7), varInteger},
      {Variant(int16_t(7)), varInteger},
      {Variant(uint32_t(7)), varInt64},
      {Variant(qint64(7)), varInt64},
      {Variant(7L), varInt64},
      {Variant(2.5), varDouble},
      {Variant(true), varBoolean},
      {Variant("text"), varString},
      {Variant(QStringLiteral("text")), varString},
      {Variant(TDateTime(46090)), varDate},
      {Variant(Currency::FromScaled(1)), varCurrency},
      {Variant(&probe), varObject},
      {Variant(nullptr), varObject},
  };
  for (const auto& c : cases) EXPECT_EQ(c.Value.VarType(), c.Type) << VarTypeName(c.Type).toStdString();
  EXPECT_FALSE(Variant::Null().IsUnassigned());
  EXPECT_FALSE(Variant().IsNull());
}

TEST_F(VariantTest, ObjectsAndIntegersNeverMix) {
  TProbe probe;
  const Variant object(&probe);
  EXPECT_EQ(VarToObject(object), &probe);
  EXPECT_EQ(VarAsObject(object), &probe);
  EXPECT_EQ(VarToObject(Variant::Null()), nullptr);
  // An integer that happens to hold an address is still an integer.
  const Variant address(reinterpret_cast<intptr_t>(&probe));
  EXPECT_EQ(VarAsObject(address), nullptr);
  EXPECT_THROW(VarToObject(address), EConvertError);
  EXPECT_THROW(VarToInt(object), EConvertError);
  EXPECT_THROW(VarToStr(object), EConvertError);
  EXPECT_EQ(VarAsInteger(object), 0);
  EXPECT_EQ(VarAsColor(object), cNoColor);
  TProbe other;
  EXPECT_EQ(VarCompareValue(object, Variant(&probe)), vrEqual);
  EXPECT_EQ(VarCompareValue(object, Variant(&other)), vrNotEqual);
  EXPECT_EQ(VarCompareValue(object, address), vrNotEqual);
}

TEST_F(VariantTest, StrictConversions) {
  EXPECT_EQ(VarToStr(Variant(true)), "True");
  EXPECT_EQ(VarToStr(Variant(false)), "False");
  EXPECT_EQ(VarToStr(Variant::Null()), "");
  EXPECT_EQ(VarToStr(Variant()), "");
  EXPECT_EQ(VarToStr(Variant(2.5)), "2,5");
  EXPECT_EQ(VarToStr(Variant(qint64(-9000000000))), "-9000000000");
  EXPECT_EQ(VarToStr(Variant(Currency::FromScaled(12345000))), "1234,5");
  EXPECT_EQ(VarToStr(Variant(TDateTime(46090.5))), "09.03.2026 12:00:00");

  const std::pair<Variant, int32_t> integers[] = {
      {Variant(), 0},
      {Variant(true), -1},
      {Variant(2.5), 2},
      {Variant(3.5), 4},
      {Variant(-2.5), -2},
      {Variant("12"), 12},
      {Variant("2,5"), 2},
      {Variant(qint64(5)), 5},
      {Variant(Currency::FromScaled(25000)), 2},
      {Variant(TDateTime(46090.75)), 46091},
  };
  for (const auto& [value, expected] : integers) {
    EXPECT_EQ(VarToInt(value), expected);
  }
  for (const Variant& bad :
       {Variant::Null(), Variant("abc"), Variant(qint64(1) << 40), Variant(1e300), Variant(std::nan(""))})
    EXPECT_THROW(VarToInt(bad), EConvertError);

  EXPECT_DOUBLE_EQ(VarToFloat(Variant("2,5")), 2.5);
  EXPECT_THROW(VarToFloat(Variant("2.5")), EConvertError);
  EXPECT_TRUE(VarToBool(Variant("true")));
  EXPECT_TRUE(VarToBool(Variant(0.5)));
  EXPECT_THROW(VarToBool(Variant::Null()), EConvertError);
  EXPECT_EQ(VarToDateTime(Variant("09.03.2026")).Value, 46090);
  EXPECT_EQ(VarToDateTime(Variant("2026-03-09T12:00:00")).Value, 46090.5);
  EXPECT_EQ(VarToCurr(Variant(12.3456)).Scaled(), 123456);
  EXPECT_EQ(VarToCurr(Variant(3)).Scaled(), 30000);
  EXPECT_THROW(VarToCurr(Variant(qint64(1) << 62)), EConvertError);
  try {
    VarToInt(Variant::Null());
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), "Could not convert variant of type (Null) into type (Integer)");
  }
}

// The field rules: Null, and a value of the wrong family, give the kind's empty value.
TEST_F(VariantTest, FieldRulesGiveEmptyValuesForNull) {
  const Variant null = Variant::Null();
  EXPECT_EQ(VarAsString(null), "");
  EXPECT_EQ(VarAsInteger(null), 0);
  EXPECT_EQ(VarAsColor(null), 1);
  EXPECT_EQ(VarAsFloat(null), 0);
  EXPECT_EQ(VarAsDateTime(null).Value, 0);
  EXPECT_FALSE(VarAsBoolean(null));
  EXPECT_EQ(VarAsCurrency(null).Scaled(), 0);
  EXPECT_EQ(VarAsObject(null), nullptr);

  // Ordinal kinds take only integers and Booleans; numeric kinds also floats and currency.
  EXPECT_EQ(VarAsInteger(Variant("12")), 0);
  EXPECT_EQ(VarAsInteger(Variant(2.7)), 0);
  EXPECT_EQ(VarAsInteger(Variant(true)), -1);
  EXPECT_EQ(VarAsInteger(Variant(qint64(42))), 42);
  EXPECT_EQ(VarAsColor(Variant(0)), 0);
  EXPECT_EQ(VarAsColor(Variant("red")), 1);
  EXPECT_TRUE(VarAsBoolean(Variant(2)));
  EXPECT_FALSE(VarAsBoolean(Variant("True")));
  EXPECT_DOUBLE_EQ(VarAsFloat(Variant(Currency::FromScaled(15000))), 1.5);
  EXPECT_DOUBLE_EQ(VarAsFloat(Variant(7)), 7);
  EXPECT_EQ(VarAsFloat(Variant("2,5")), 0);
  EXPECT_EQ(VarAsFloat(Variant(TDateTime(3))), 0);  // a date is not numeric
  EXPECT_EQ(VarAsCurrency(Variant(12.3456)).Scaled(), 123456);
  EXPECT_EQ(VarAsCurrency(Variant("5")).Scaled(), 0);
  EXPECT_EQ(VarAsDateTime(Variant("09.03.2026")).Value, 46090);
  EXPECT_EQ(VarAsDateTime(Variant(2.5)).Value, 2.5);
}

TEST_F(VariantTest, CurrencyRoundsHalfToEven) {
  const std::pair<double, int64_t> cases[] = {
      {12.3456, 123456}, {0.03125, 312},     {0.09375, 938}, {-0.03125, -312},
      {-0.09375, -938},  {1234.5, 12345000}, {0.00015, 1},  // the double lies just below the half, as in Delphi
  };
  for (const auto& [value, scaled] : cases) EXPECT_EQ(Currency::FromDouble(value).Scaled(), scaled) << value;
  EXPECT_THROW(Currency::FromDouble(1e15), EConvertError);
  EXPECT_THROW(Currency::FromDouble(std::numeric_limits<double>::infinity()), EConvertError);
  EXPECT_THROW(Currency::FromDouble(std::nan("")), EConvertError);
  EXPECT_EQ((Currency::FromScaled(5) + Currency::FromScaled(7)).Scaled(), 12);
  EXPECT_LT(Currency::FromScaled(-1), Currency());
}

TEST_F(VariantTest, SameValueTolerance) {
  EXPECT_TRUE(SameValue(0.1 + 0.2, 0.3));
  EXPECT_TRUE(SameValue(1e-13, 0));
  EXPECT_FALSE(SameValue(1e-11, 0));
  EXPECT_TRUE(SameValue(1e6, 1e6 + 1e-7));
  EXPECT_FALSE(SameValue(1e6, 1e6 + 1e-5));
  EXPECT_TRUE(SameValue(1.0, 1.05, 0.1));
}

TEST_F(VariantTest, CompareValueByDelphiRules) {
  const struct {
    Variant A, B;
    TVariantRelationship Expected;
  } cases[] = {
      {Variant::Null(), Variant::Null(), vrEqual},
      {Variant::Null(), Variant(0), vrNotEqual},
      {Variant(), Variant(), vrEqual},
      {Variant(), Variant::Null(), vrNotEqual},
      {Variant(), Variant(0), vrNotEqual},
      {Variant(1), Variant(1.0), vrEqual},
      {Variant(qint64(1) << 40), Variant(1), vrGreaterThan},
      {Variant(2), Variant(Currency::FromScaled(20000)), vrEqual},
      {Variant(Currency::FromScaled(1)), Variant(0.0001), vrEqual},
      {Variant("abc"), Variant("abd"), vrLessThan},
      {Variant("abc"), Variant("ABC"), vrGreaterThan},
      {Variant("10"), Variant(10), vrEqual},
      {Variant(9), Variant("10"), vrLessThan},
      {Variant("x"), Variant(10), vrNotEqual},
      {Variant(true), Variant(false), vrGreaterThan},
      {Variant(true), Variant(-1), vrEqual},
      {Variant(TDateTime(46090)), Variant("09.03.2026"), vrEqual},
      {Variant(std::nan("")), Variant(std::nan("")), vrNotEqual},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(VarCompareValue(c.A, c.B), c.Expected)
        << ::testing::PrintToString(c.A) << " vs " << ::testing::PrintToString(c.B);
  }
  EXPECT_TRUE(Variant("a") == Variant("a"));
  EXPECT_FALSE(Variant::Null() == Variant());
}

TEST_F(VariantTest, TextRoundTripsOfEveryKind) {
  const Variant values[] = {Variant(-123),
                            Variant(qint64(1) << 50),
                            Variant(0.1),
                            Variant(1e-6),
                            Variant(true),
                            Variant(TDateTime(46090.25)),
                            Variant(Currency::FromScaled(-12345678))};
  for (const Variant& value : values) {
    const Variant text(VarToStr(value));
    EXPECT_EQ(VarCompareValue(value, text), vrEqual)
        << ::testing::PrintToString(value) << " as " << text.RawString().toStdString();
  }
}

}  // namespace
