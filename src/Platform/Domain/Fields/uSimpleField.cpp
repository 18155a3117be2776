#include "src/Platform/Domain/Fields/uSimpleField.h"

#include <QLocale>
#include <cmath>
#include <optional>

#include "src/Platform/Configuration/uDefinition.h"
#include "src/Platform/Configuration/uObjectFieldDef.h"
#include "src/Platform/Configuration/uQueryObject.h"
#include "src/Platform/Domain/uDomain.h"
#include "src/Platform/Domain/uEntity.h"
#include "src/Platform/Domain/uStorage.h"
#include "src/Platform/uCollation.h"
#include "src/Platform/uException.h"
#include "src/Platform/uFormat.h"
#include "src/Platform/uJSON.h"

static constexpr const char* cModulePath = "src/Platform/Domain/Fields/uSimpleField";

namespace {

// A JSON string that is not a number (numbers are strings in the model).
const TJSONString* JSONText(const TJSONValue* AValue) {
  if (dynamic_cast<const TJSONNumber*>(AValue)) return nullptr;
  return dynamic_cast<const TJSONString*>(AValue);
}

const TJSONNumber* JSONNumber(const TJSONValue* AValue) {
  const auto* number = dynamic_cast<const TJSONNumber*>(AValue);
  TV_ASSERT(number, QStringLiteral("Assertion failure"));
  return number;
}

template <class T>
int Sign(T A, T B) {
  return A < B ? -1 : (B < A ? 1 : 0);
}

// Values within max(min(|a|, |b|) * 1e-12, 1e-12) are equal.
bool SameFloat(double A, double B) {
  const double epsilon = std::max(std::min(std::fabs(A), std::fabs(B)) * 1e-12, 1e-12);
  return std::fabs(A - B) <= epsilon;
}

int CompareFloat(double A, double B) {
  return SameFloat(A, B) ? 0 : (A < B ? -1 : 1);
}

// Equality, and for ordered kinds greater and less; none for a condition the
// kind does not know.
std::optional<bool> OrderedCondition(int ACompare, TConditionKind ACondition, bool AOrdered) {
  if (ACondition == ckEqualTo) return ACompare == 0;
  if (AOrdered && ACondition == ckGreaterThan) return ACompare > 0;
  if (AOrdered && ACondition == ckLessThan) return ACompare < 0;
  return std::nullopt;
}

std::optional<bool> TextCondition(const QString& AValue, const QString& ARight, TConditionKind ACondition,
                                  TConditionModifier AModifier) {
  const QString left = ApplyConditionModifier(AValue, AModifier);
  const QString right = ApplyConditionModifier(ARight, AModifier);
  switch (ACondition) {
    case ckEqualTo:
      return LocaleCollator(Qt::CaseSensitive).compare(left, right) == 0;
    case ckMatchesTo:
      return left.startsWith(right);
    case ckGreaterThan:
      return LocaleCollator(Qt::CaseSensitive).compare(left, right) > 0;
    case ckLessThan:
      return LocaleCollator(Qt::CaseSensitive).compare(left, right) < 0;
    case ckPartOf:
      return !right.isEmpty() && right.contains(left);
    case ckContains:
      return left.contains(right);
    default:
      return std::nullopt;
  }
}

// The rules of one kind. What most kinds share comes from TNumberRules; a
// kind states only where it differs.
template <TFieldKind AKind>
struct TKindRules;

template <class TValue>
struct TNumberRules {
  static constexpr bool cOrdered = true;
  static TValue Initial() { return TValue(); }
  static std::unique_ptr<TJSONValue> ToJSON(TValue AValue) { return std::make_unique<TJSONNumber>(AValue); }
  static int Compare(TValue A, TValue B) { return Sign(A, B); }
};

template <>
struct TKindRules<fkString> {
  static constexpr const char* cWord = "String";
  static QString Initial() { return QString(); }
  static QString FromVariant(const Variant& AValue) { return VarAsString(AValue); }
  static std::unique_ptr<TJSONValue> ToJSON(const QString& AValue) { return std::make_unique<TJSONString>(AValue); }
  static QString FromJSON(const TJSONValue* AValue) {
    const TJSONString* text = JSONText(AValue);
    TV_ASSERT(text, QStringLiteral("Assertion failure"));
    return text->Value();
  }
  static int Compare(const QString& A, const QString& B) { return Sign(A.compare(B, Qt::CaseSensitive), 0); }
};

template <>
struct TKindRules<fkInteger> : TNumberRules<int32_t> {
  static constexpr const char* cWord = "Integer";
  static int32_t FromVariant(const Variant& AValue) { return VarAsInteger(AValue); }
  // Received numbers are checked, never wrapped: 2^31 must not become negative.
  static int32_t FromJSON(const TJSONValue* AValue) {
    JSONNumber(AValue);
    return static_cast<int32_t>(JSONIntegerIn(AValue));
  }
};

template <>
struct TKindRules<fkColor> : TKindRules<fkInteger> {
  static constexpr const char* cWord = "Color";
  static int32_t Initial() { return cNoColor; }
  static int32_t FromVariant(const Variant& AValue) { return VarAsColor(AValue); }
  // Written signed here, unsigned by some: either 32-bit form is a colour.
  static int32_t FromJSON(const TJSONValue* AValue) {
    JSONNumber(AValue);
    return static_cast<int32_t>(static_cast<uint32_t>(JSONIntegerIn(AValue, INT32_MIN, UINT32_MAX)));
  }
};

template <>
struct TKindRules<fkFloat> : TNumberRules<double> {
  static constexpr const char* cWord = "Float";
  static double FromVariant(const Variant& AValue) { return VarAsFloat(AValue); }
  static double FromJSON(const TJSONValue* AValue) { return JSONNumber(AValue)->AsDouble(); }
  static int Compare(double A, double B) { return CompareFloat(A, B); }
};

template <>
struct TKindRules<fkDateTime> : TNumberRules<TDateTime> {
  static constexpr const char* cWord = "Datetime";
  static TDateTime FromVariant(const Variant& AValue) { return VarAsDateTime(AValue); }
  // The empty side of the calendar is written as the empty date.
  static std::unique_ptr<TJSONValue> ToJSON(TDateTime AValue) {
    return std::make_unique<TJSONNumber>(AValue.Value < 0 ? 0.0 : AValue.Value);
  }
  static TDateTime FromJSON(const TJSONValue* AValue) { return TDateTime(JSONNumber(AValue)->AsDouble()); }
  static int Compare(TDateTime A, TDateTime B) { return CompareFloat(A, B); }
};

template <>
struct TKindRules<fkBoolean> : TNumberRules<bool> {
  static constexpr const char* cWord = "Boolean";
  static constexpr bool cOrdered = false;
  static bool FromVariant(const Variant& AValue) { return VarAsBoolean(AValue); }
  static std::unique_ptr<TJSONValue> ToJSON(bool AValue) { return std::make_unique<TJSONNumber>(AValue ? 1 : 0); }
  // A number, or a numeric text.
  static bool FromJSON(const TJSONValue* AValue) {
    if (const TJSONString* text = JSONText(AValue)) return StrToIntDef(text->Value(), 0) != 0;
    return JSONNumber(AValue)->AsDouble() != 0;
  }
};

template <>
struct TKindRules<fkCurrency> : TNumberRules<Currency> {
  static constexpr const char* cWord = "Currency";
  static Currency FromVariant(const Variant& AValue) { return VarAsCurrency(AValue); }
  static Currency FromJSON(const TJSONValue* AValue) { return JSONNumber(AValue)->AsCurrency(); }
};

}  // namespace

// --- TSimpleField ---

TSimpleField::TSimpleField(TEntity* AInstance, TFieldDef* AFieldDef) : TBaseField(AInstance, AFieldDef) {}

TSimpleFieldDef* TSimpleField::SimpleFieldDef() const {
  return dynamic_cast<TSimpleFieldDef*>(FFieldDef);
}

bool TSimpleField::IsNull() const {
  const TSimpleFieldDef* fieldDef = SimpleFieldDef();
  return fieldDef && fieldDef->CanBeNull() && StoredValue() == fieldDef->NullValue();
}

Variant TSimpleField::NullableValue() const {
  return IsNull() ? Variant::Null() : GetValue();
}

void TSimpleField::DoLoad(TStorage* AStorage) {
  const Variant value = AStorage->ReadValue(StorageName(), FieldKind());
  // Null is written for a null field; it must come back as the null value,
  // which need not be the kind's zero.
  const TSimpleFieldDef* fieldDef = SimpleFieldDef();
  if (value.IsNull() && fieldDef && fieldDef->CanBeNull())
    DoSetValue(fieldDef->NullValue());
  else
    DoSetValue(value);
}

void TSimpleField::DoTransfer(TStorage* AStorage) {
  // The stored value, never a translation of it.
  AStorage->WriteValue(StorageName(), FieldKind(), IsNull() ? Variant::Null() : StoredValue(), false);
}

Variant TSimpleField::DoExtractFieldValue(const QString& AFieldName) const {
  TV_ASSERT(AFieldName.isEmpty(), KindWord() + QStringLiteral(" field can't get value [") + FieldName() +
                                      QStringLiteral("] by parameter [") + AFieldName + QLatin1Char(']'));
  return GetValue();
}

// --- TTypedField ---

template <class TValue, TFieldKind AKind>
TTypedField<TValue, AKind>::TTypedField(TEntity* AInstance, TFieldDef* AFieldDef)
    : TSimpleField(AInstance, AFieldDef), FValue(TKindRules<AKind>::Initial()) {}

template <class TValue, TFieldKind AKind>
void TTypedField<TValue, AKind>::DoSetValue(const Variant& AValue) {
  FValue = TKindRules<AKind>::FromVariant(AValue);
}

template <class TValue, TFieldKind AKind>
std::unique_ptr<TJSONValue> TTypedField<TValue, AKind>::DoGetJSON() const {
  return TKindRules<AKind>::ToJSON(FValue);
}

template <class TValue, TFieldKind AKind>
void TTypedField<TValue, AKind>::DoSetJSON(const TJSONValue* AValue) {
  FValue = TKindRules<AKind>::FromJSON(AValue);
}

template <class TValue, TFieldKind AKind>
void TTypedField<TValue, AKind>::CheckJSON(const TJSONValue* AValue) const {
  (void)TKindRules<AKind>::FromJSON(AValue);
}

template <class TValue, TFieldKind AKind>
int TTypedField<TValue, AKind>::DoCompare(const Variant& AValue) const {
  return TKindRules<AKind>::Compare(FValue, TKindRules<AKind>::FromVariant(AValue));
}

template <class TValue, TFieldKind AKind>
bool TTypedField<TValue, AKind>::DoCheckValuedCondition(const Variant& AValue, TConditionKind ACondition,
                                                        TConditionModifier AModifier) const {
  using TRules = TKindRules<AKind>;
  std::optional<bool> result;
  if constexpr (AKind == fkString) {
    result = TextCondition(FValue, TRules::FromVariant(AValue), ACondition, AModifier);
  } else {
    (void)AModifier;
    result = OrderedCondition(TRules::Compare(FValue, TRules::FromVariant(AValue)), ACondition, TRules::cOrdered);
  }
  if (!result) UnsupportedCondition();
  return *result;
}

template <class TValue, TFieldKind AKind>
bool TTypedField<TValue, AKind>::IsSameValue(const Variant& AValue) const {
  // Texts exactly: a collation may treat different texts as equal and drop
  // an edit. Numbers as their equality condition has it.
  if constexpr (AKind == fkString)
    return FValue == TKindRules<AKind>::FromVariant(AValue);
  else
    return TKindRules<AKind>::Compare(FValue, TKindRules<AKind>::FromVariant(AValue)) == 0;
}

template <class TValue, TFieldKind AKind>
QString TTypedField<TValue, AKind>::KindWord() const {
  return QLatin1String(TKindRules<AKind>::cWord);
}

template class TTypedField<QString, fkString>;
template class TTypedField<int32_t, fkInteger>;
template class TTypedField<double, fkFloat>;
template class TTypedField<TDateTime, fkDateTime>;
template class TTypedField<bool, fkBoolean>;
template class TTypedField<int32_t, fkColor>;
template class TTypedField<Currency, fkCurrency>;

// --- TStringField ---

Variant TStringField::GetValue() const {
  if (FFieldDef->HasFlag(cfLocalizable) && Domain() && !FInstance->IsNull() &&
      (FInstance->IsService() || FInstance->Definition()->HasFlag(ccReadOnly)))
    return Domain()->Translate(FInstance->Definition()->Name() + QLatin1Char('#') + QString::number(FInstance->ID()) +
                                   QLatin1Char('.') + FieldName(),
                               FValue);
  return FValue;
}
