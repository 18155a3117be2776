#pragma once

#include <QString>
#include <compare>
#include <concepts>
#include <cstdint>
#include <iosfwd>
#include <type_traits>
#include <variant>

// Common base of everything a variant may refer to (entities, lists, blobs).
class TObject {
 public:
  virtual ~TObject() = default;
};

// Days since 1899-12-30; the fraction is the time of day. 0 is the empty date.
struct TDateTime {
  double Value = 0;

  constexpr TDateTime() = default;
  constexpr explicit TDateTime(double AValue) : Value(AValue) {}
  constexpr operator double() const { return Value; }
};

// A money amount: a 64-bit integer holding the amount x 10 000.
class Currency {
 public:
  static constexpr int64_t cScale = 10000;

  constexpr Currency() = default;
  static constexpr Currency FromScaled(int64_t AScaled) { return Currency(AScaled); }
  // Rounds AValue x 10 000 half to even; EConvertError when out of range or not finite.
  static Currency FromDouble(double AValue);

  constexpr int64_t Scaled() const { return FScaled; }
  double ToDouble() const { return static_cast<double>(FScaled) / cScale; }

  constexpr auto operator<=>(const Currency&) const = default;
  constexpr Currency operator-() const { return Currency(-FScaled); }
  constexpr Currency operator+(Currency AOther) const { return Currency(FScaled + AOther.FScaled); }
  constexpr Currency operator-(Currency AOther) const { return Currency(FScaled - AOther.FScaled); }

 private:
  constexpr explicit Currency(int64_t AScaled) : FScaled(AScaled) {}
  int64_t FScaled = 0;
};

enum TVarType {
  varUnassigned,
  varNull,
  varInteger,  // 32-bit
  varInt64,
  varDouble,
  varBoolean,
  varString,
  varDate,
  varCurrency,
  varObject,  // non-owning TObject reference, never mixed with integers
};

enum TVariantRelationship { vrEqual, vrLessThan, vrGreaterThan, vrNotEqual };

// Integer types taken as numbers: not bool, not the character types.
template <class T>
concept CVariantInteger =
    std::integral<T> && !std::same_as<T, bool> && !std::same_as<T, char> && !std::same_as<T, char8_t> &&
    !std::same_as<T, char16_t> && !std::same_as<T, char32_t> && !std::same_as<T, wchar_t>;

class Variant {
 public:
  Variant() = default;  // Unassigned
  static Variant Null() { return Variant(NullTag{}); }
  static Variant Unassigned() { return Variant(); }

  Variant(bool AValue) : FData(AValue) {}
  // Signed types up to 32 bits (and narrower unsigned ones) give varInteger,
  // wider ones varInt64, by the static type as Delphi does.
  template <CVariantInteger T>
  Variant(T AValue) {
    if constexpr (sizeof(T) < 4 || (sizeof(T) == 4 && std::is_signed_v<T>))
      FData = static_cast<int32_t>(AValue);
    else
      FData = static_cast<int64_t>(AValue);
  }
  Variant(double AValue) : FData(AValue) {}
  Variant(const QString& AValue) : FData(AValue) {}
  Variant(QString&& AValue) : FData(std::move(AValue)) {}
  Variant(const char* AUtf8) : FData(QString::fromUtf8(AUtf8)) {}
  Variant(TDateTime AValue) : FData(AValue) {}
  Variant(Currency AValue) : FData(AValue) {}
  Variant(TObject* AObject) : FData(AObject) {}
  Variant(std::nullptr_t) : FData(static_cast<TObject*>(nullptr)) {}
  // Any other pointer would silently become a Boolean.
  template <class T>
  requires(!std::is_base_of_v<TObject, std::remove_cv_t<T>> || std::is_const_v<T>) Variant(T*)
  = delete;

  TVarType VarType() const { return static_cast<TVarType>(FData.index()); }
  bool IsNull() const { return VarType() == varNull; }
  bool IsUnassigned() const { return VarType() == varUnassigned; }
  bool IsObject() const { return VarType() == varObject; }

  // Exact stored values; each requires the matching VarType().
  int32_t RawInteger() const { return std::get<int32_t>(FData); }
  int64_t RawInt64() const { return std::get<int64_t>(FData); }
  double RawDouble() const { return std::get<double>(FData); }
  bool RawBoolean() const { return std::get<bool>(FData); }
  const QString& RawString() const { return std::get<QString>(FData); }
  TDateTime RawDate() const { return std::get<TDateTime>(FData); }
  Currency RawCurrency() const { return std::get<Currency>(FData); }
  TObject* RawObject() const { return std::get<TObject*>(FData); }

  // Delphi's loose rules: Null equals only Null; numbers compare by value;
  // a text against a number compares as numbers when the text is one.
  friend bool operator==(const Variant& A, const Variant& B);

 private:
  struct NullTag {
    bool operator==(const NullTag&) const = default;
  };
  explicit Variant(NullTag ATag) : FData(ATag) {}

  // Order matches TVarType.
  std::variant<std::monostate, NullTag, int32_t, int64_t, double, bool, QString, TDateTime, Currency, TObject*> FData;
};

// Type tests, as Delphi names them. Ordinal: integers and Booleans; float:
// double and currency; numeric: both (a date is neither).
inline bool VarIsNull(const Variant& V) {
  return V.IsNull();
}
inline bool VarIsEmpty(const Variant& V) {
  return V.IsUnassigned();
}
bool VarIsOrdinal(const Variant& V);
bool VarIsFloat(const Variant& V);
bool VarIsNumeric(const Variant& V);
bool VarIsStr(const Variant& V);
inline bool VarIsObject(const Variant& V) {
  return V.IsObject();
}
QString VarTypeName(TVarType AType);  // "Null", "Integer", ... for messages

// Strict conversions with Delphi's rules: Unassigned gives 0, false or "";
// Null, an object reference, or a text that does not parse raises EConvertError
// ("Could not convert variant of type (Null) into type (Integer)"). A Boolean
// True is -1 as a number; floats round half to even.
int32_t VarToInt(const Variant& V);
int64_t VarToInt64(const Variant& V);
double VarToFloat(const Variant& V);
bool VarToBool(const Variant& V);
TDateTime VarToDateTime(const Variant& V);  // texts: StrToDateTime, then ISO 8601
Currency VarToCurr(const Variant& V);
// Null and Unassigned give ""; True is "True"; floats in general format.
QString VarToStr(const Variant& V);
// Null, Unassigned and nil give nullptr; anything else raises.
TObject* VarToObject(const Variant& V);

// The field rules: Null (and any value of the wrong family) gives the kind's
// empty value instead of raising.
inline QString VarAsString(const Variant& V) {
  return VarToStr(V);
}
int32_t VarAsInteger(const Variant& V);     // not ordinal -> 0
int32_t VarAsColor(const Variant& V);       // not ordinal -> 1, "no colour"
double VarAsFloat(const Variant& V);        // not numeric -> 0
TDateTime VarAsDateTime(const Variant& V);  // Null or Unassigned -> 0, else VarToDateTime
bool VarAsBoolean(const Variant& V);        // not ordinal -> false
Currency VarAsCurrency(const Variant& V);   // not numeric -> 0
TObject* VarAsObject(const Variant& V);     // not an object reference -> nullptr

// Delphi's VarCompareValue: Null against a non-Null value is vrNotEqual, as is a
// text against a number it does not parse as, or two different objects.
TVariantRelationship VarCompareValue(const Variant& A, const Variant& B);

constexpr int32_t cNoColor = 1;

// Delphi's SameValue: an epsilon of 0 means max(min(|A|, |B|) x 1E-12, 1E-12).
bool SameValue(double A, double B, double AEpsilon = 0);

// For test diagnostics.
void PrintTo(const Variant& V, std::ostream* AStream);
