#include "src/Platform/uVariant.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <ostream>

#include "src/Platform/uDateUtils.h"
#include "src/Platform/uException.h"
#include "src/Platform/uFormat.h"

namespace {

[[noreturn]] void CastError(const Variant& V, TVarType ATarget) {
  throw EConvertError(QStringLiteral("Could not convert variant of type (%1) into type (%2)")
                          .arg(VarTypeName(V.VarType()), VarTypeName(ATarget)));
}

// Half to even, as Delphi's Round and the FPU's default mode do.
double RoundEven(double AValue) {
  return std::nearbyint(AValue);
}

bool FitsInt64(double AValue) {
  // 2^63 itself is not representable as int64.
  return AValue >= -9223372036854775808.0 && AValue < 9223372036854775808.0;
}

int64_t DoubleToInt64(const Variant& V, double AValue, TVarType ATarget) {
  const double rounded = RoundEven(AValue);
  if (!std::isfinite(rounded) || !FitsInt64(rounded)) CastError(V, ATarget);
  return static_cast<int64_t>(rounded);
}

int64_t CurrencyToInt64(Currency AValue) {
  // Exact half-to-even on the scaled integer.
  const int64_t scaled = AValue.Scaled();
  int64_t whole = scaled / Currency::cScale;
  const int64_t rest = scaled % Currency::cScale;
  const int64_t half = Currency::cScale / 2;
  if (rest > half || (rest == half && (whole & 1) != 0)) ++whole;
  if (rest < -half || (rest == -half && (whole & 1) != 0)) --whole;
  return whole;
}

}  // namespace

Currency Currency::FromDouble(double AValue) {
  const double scaled = RoundEven(AValue * cScale);
  if (!std::isfinite(scaled) || !FitsInt64(scaled))
    throw EConvertError(QStringLiteral("Floating point value out of the currency range"));
  return Currency(static_cast<int64_t>(scaled));
}

bool operator==(const Variant& A, const Variant& B) {
  return VarCompareValue(A, B) == vrEqual;
}

bool VarIsOrdinal(const Variant& V) {
  const TVarType type = V.VarType();
  return type == varInteger || type == varInt64 || type == varBoolean;
}

bool VarIsFloat(const Variant& V) {
  const TVarType type = V.VarType();
  return type == varDouble || type == varCurrency;
}

bool VarIsNumeric(const Variant& V) {
  return VarIsOrdinal(V) || VarIsFloat(V);
}

bool VarIsStr(const Variant& V) {
  return V.VarType() == varString;
}

QString VarTypeName(TVarType AType) {
  switch (AType) {
    case varUnassigned:
      return QStringLiteral("Empty");
    case varNull:
      return QStringLiteral("Null");
    case varInteger:
      return QStringLiteral("Integer");
    case varInt64:
      return QStringLiteral("Int64");
    case varDouble:
      return QStringLiteral("Double");
    case varBoolean:
      return QStringLiteral("Boolean");
    case varString:
      return QStringLiteral("UnicodeString");
    case varDate:
      return QStringLiteral("Date");
    case varCurrency:
      return QStringLiteral("Currency");
    case varObject:
      return QStringLiteral("Object");
  }
  return QStringLiteral("Unknown");
}

namespace {

int64_t ToInt64(const Variant& V, TVarType ATarget) {
  switch (V.VarType()) {
    case varUnassigned:
      return 0;
    case varInteger:
      return V.RawInteger();
    case varInt64:
      return V.RawInt64();
    case varBoolean:
      return V.RawBoolean() ? -1 : 0;
    case varDouble:
      return DoubleToInt64(V, V.RawDouble(), ATarget);
    case varDate:
      return DoubleToInt64(V, V.RawDate().Value, ATarget);
    case varCurrency:
      return CurrencyToInt64(V.RawCurrency());
    case varString: {
      int64_t result = 0;
      if (TryStrToInt64(V.RawString(), result)) return result;
      double number = 0;
      if (TryStrToFloat(V.RawString(), number)) return DoubleToInt64(V, number, ATarget);
      break;
    }
    case varNull:
    case varObject:
      break;
  }
  CastError(V, ATarget);
}

}  // namespace

int64_t VarToInt64(const Variant& V) {
  return ToInt64(V, varInt64);
}

int32_t VarToInt(const Variant& V) {
  const int64_t value = ToInt64(V, varInteger);
  if (value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max())
    CastError(V, varInteger);
  return static_cast<int32_t>(value);
}

double VarToFloat(const Variant& V) {
  switch (V.VarType()) {
    case varUnassigned:
      return 0;
    case varInteger:
      return V.RawInteger();
    case varInt64:
      return static_cast<double>(V.RawInt64());
    case varBoolean:
      return V.RawBoolean() ? -1 : 0;
    case varDouble:
      return V.RawDouble();
    case varDate:
      return V.RawDate().Value;
    case varCurrency:
      return V.RawCurrency().ToDouble();
    case varString: {
      double result = 0;
      if (TryStrToFloat(V.RawString(), result)) return result;
      break;
    }
    case varNull:
    case varObject:
      break;
  }
  CastError(V, varDouble);
}

bool VarToBool(const Variant& V) {
  switch (V.VarType()) {
    case varUnassigned:
      return false;
    case varBoolean:
      return V.RawBoolean();
    case varInteger:
      return V.RawInteger() != 0;
    case varInt64:
      return V.RawInt64() != 0;
    case varDouble:
      return V.RawDouble() != 0;
    case varDate:
      return V.RawDate().Value != 0;
    case varCurrency:
      return V.RawCurrency().Scaled() != 0;
    case varString: {
      bool result = false;
      if (TryStrToBool(V.RawString(), result)) return result;
      break;
    }
    case varNull:
    case varObject:
      break;
  }
  CastError(V, varBoolean);
}

TDateTime VarToDateTime(const Variant& V) {
  switch (V.VarType()) {
    case varDate:
      return V.RawDate();
    case varString: {
      TDateTime result;
      if (TryStrToDateTime(V.RawString(), result) || TryISO8601ToDate(V.RawString(), result)) return result;
      break;
    }
    case varNull:
    case varObject:
      break;
    default:
      return TDateTime(VarToFloat(V));
  }
  CastError(V, varDate);
}

Currency VarToCurr(const Variant& V) {
  switch (V.VarType()) {
    case varUnassigned:
      return Currency();
    case varCurrency:
      return V.RawCurrency();
    case varInteger:
    case varInt64:
    case varBoolean: {
      const int64_t value = VarToInt64(V);
      constexpr int64_t limit = std::numeric_limits<int64_t>::max() / Currency::cScale;
      if (value > limit || value < -limit) CastError(V, varCurrency);
      return Currency::FromScaled(value * Currency::cScale);
    }
    case varNull:
    case varObject:
      break;
    default:
      try {
        return Currency::FromDouble(VarToFloat(V));
      } catch (const EConvertError&) {
      }
      break;
  }
  CastError(V, varCurrency);
}

QString VarToStr(const Variant& V) {
  switch (V.VarType()) {
    case varUnassigned:
    case varNull:
      return QString();
    case varInteger:
      return QString::number(V.RawInteger());
    case varInt64:
      return QString::number(V.RawInt64());
    case varBoolean:
      return BoolToStr(V.RawBoolean(), true);
    case varDouble:
      return FloatToStr(V.RawDouble());
    case varString:
      return V.RawString();
    case varDate:
      return DateTimeToStr(V.RawDate());
    case varCurrency:
      return CurrToStr(V.RawCurrency());
    case varObject:
      break;
  }
  CastError(V, varString);
}

TObject* VarToObject(const Variant& V) {
  switch (V.VarType()) {
    case varUnassigned:
    case varNull:
      return nullptr;
    case varObject:
      return V.RawObject();
    default:
      CastError(V, varObject);
  }
}

int32_t VarAsInteger(const Variant& V) {
  return VarIsOrdinal(V) ? VarToInt(V) : 0;
}

int32_t VarAsColor(const Variant& V) {
  return VarIsOrdinal(V) ? VarToInt(V) : cNoColor;
}

double VarAsFloat(const Variant& V) {
  return VarIsNumeric(V) ? VarToFloat(V) : 0;
}

TDateTime VarAsDateTime(const Variant& V) {
  return V.IsNull() || V.IsUnassigned() ? TDateTime() : VarToDateTime(V);
}

bool VarAsBoolean(const Variant& V) {
  return VarIsOrdinal(V) && VarToBool(V);
}

Currency VarAsCurrency(const Variant& V) {
  return VarIsNumeric(V) ? VarToCurr(V) : Currency();
}

TObject* VarAsObject(const Variant& V) {
  return V.IsObject() ? V.RawObject() : nullptr;
}

namespace {

enum class TFamily { Empty, Null, Number, String, Object };

TFamily FamilyOf(const Variant& V) {
  switch (V.VarType()) {
    case varUnassigned:
      return TFamily::Empty;
    case varNull:
      return TFamily::Null;
    case varString:
      return TFamily::String;
    case varObject:
      return TFamily::Object;
    default:
      return TFamily::Number;
  }
}

template <class T>
TVariantRelationship Relate(T A, T B) {
  if (A == B) return vrEqual;
  if (A < B) return vrLessThan;
  if (B < A) return vrGreaterThan;
  return vrNotEqual;  // NaN
}

bool IsIntegral(TVarType AType) {
  return AType == varInteger || AType == varInt64 || AType == varBoolean;
}

TVariantRelationship CompareNumbers(const Variant& A, const Variant& B) {
  const TVarType ta = A.VarType();
  const TVarType tb = B.VarType();
  if (ta == varBoolean && tb == varBoolean) return Relate(int(A.RawBoolean()), int(B.RawBoolean()));
  if (IsIntegral(ta) && IsIntegral(tb)) return Relate(VarToInt64(A), VarToInt64(B));
  if ((ta == varCurrency || IsIntegral(ta)) && (tb == varCurrency || IsIntegral(tb))) {
    // Exact on the scaled amounts; an integer too large for currency compares as double.
    try {
      return Relate(VarToCurr(A).Scaled(), VarToCurr(B).Scaled());
    } catch (const EConvertError&) {
    }
  }
  return Relate(VarToFloat(A), VarToFloat(B));
}

// A text against a number: the text read as the other side's kind, or unequal.
TVariantRelationship CompareTextWithNumber(const Variant& AText, const Variant& ANumber, bool ATextFirst) {
  Variant converted;
  try {
    if (ANumber.VarType() == varDate)
      converted = VarToDateTime(AText);
    else if (ANumber.VarType() == varBoolean)
      converted = VarToBool(AText);
    else
      converted = VarToFloat(AText);
  } catch (const EConvertError&) {
    return vrNotEqual;
  }
  return ATextFirst ? CompareNumbers(converted, ANumber) : CompareNumbers(ANumber, converted);
}

}  // namespace

TVariantRelationship VarCompareValue(const Variant& A, const Variant& B) {
  const TFamily fa = FamilyOf(A);
  const TFamily fb = FamilyOf(B);
  if (fa == TFamily::Empty || fb == TFamily::Empty) return fa == fb ? vrEqual : vrNotEqual;
  if (fa == TFamily::Null || fb == TFamily::Null) return fa == fb ? vrEqual : vrNotEqual;
  if (fa == TFamily::Object || fb == TFamily::Object)
    return fa == fb && A.RawObject() == B.RawObject() ? vrEqual : vrNotEqual;
  if (fa == TFamily::String && fb == TFamily::String) {
    const int c = A.RawString().compare(B.RawString(), Qt::CaseSensitive);
    return c == 0 ? vrEqual : (c < 0 ? vrLessThan : vrGreaterThan);
  }
  if (fa == TFamily::String) return CompareTextWithNumber(A, B, true);
  if (fb == TFamily::String) return CompareTextWithNumber(B, A, false);
  return CompareNumbers(A, B);
}

bool SameValue(double A, double B, double AEpsilon) {
  if (AEpsilon == 0) AEpsilon = std::max(std::min(std::fabs(A), std::fabs(B)) * 1e-12, 1e-12);
  return A > B ? A - B <= AEpsilon : B - A <= AEpsilon;
}

void PrintTo(const Variant& V, std::ostream* AStream) {
  *AStream << VarTypeName(V.VarType()).toStdString();
  switch (V.VarType()) {
    case varUnassigned:
    case varNull:
      return;
    case varObject:
      *AStream << "(" << static_cast<const void*>(V.RawObject()) << ")";
      return;
    case varString:
      *AStream << "(\"" << V.RawString().toStdString() << "\")";
      return;
    default:
      *AStream << "(" << VarToStr(V).toStdString() << ")";
  }
}
