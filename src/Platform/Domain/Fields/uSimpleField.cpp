#include "src/Platform/Domain/Fields/uSimpleField.h"

#include <QLocale>
#include <cmath>

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

int64_t JSONInteger(const TJSONValue* AValue) {
  const TJSONNumber* number = JSONNumber(AValue);
  int64_t result = 0;
  if (number->TryAsInt64(result)) return result;
  return static_cast<int64_t>(std::llround(number->AsDouble()));
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

bool OrderedCondition(int ACompare, TConditionKind ACondition, bool& AHandled) {
  AHandled = true;
  switch (ACondition) {
    case ckEqualTo:
      return ACompare == 0;
    case ckGreaterThan:
      return ACompare > 0;
    case ckLessThan:
      return ACompare < 0;
    default:
      AHandled = false;
      return false;
  }
}

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

// --- TStringField ---

Variant TStringField::GetValue() const {
  if (FFieldDef->HasFlag(cfLocalizable) && FDomain && !FInstance->IsNull() &&
      (FInstance->IsService() || FInstance->Definition()->HasFlag(ccReadOnly)))
    return FDomain->Translate(FInstance->Definition()->Name() + QLatin1Char('#') + QString::number(FInstance->ID()) +
                                  QLatin1Char('.') + FieldName(),
                              FValue);
  return FValue;
}

void TStringField::DoSetValue(const Variant& AValue) {
  FValue = VarAsString(AValue);
}

std::unique_ptr<TJSONValue> TStringField::DoGetJSON() const {
  return std::make_unique<TJSONString>(FValue);
}

void TStringField::DoSetJSON(const TJSONValue* AValue) {
  const TJSONString* text = JSONText(AValue);
  TV_ASSERT(text, QStringLiteral("Assertion failure"));
  FValue = text->Value();
}

int TStringField::DoCompare(const Variant& AValue) const {
  const int result = FValue.compare(VarAsString(AValue), Qt::CaseSensitive);
  return Sign(result, 0);
}

bool TStringField::IsSameValue(const Variant& AValue) const {
  // Exact: a collation may treat different texts as equal and drop an edit.
  return FValue == VarAsString(AValue);
}

bool TStringField::DoCheckValuedCondition(const Variant& AValue, TConditionKind ACondition,
                                          TConditionModifier AModifier) const {
  const QString left = ApplyConditionModifier(FValue, AModifier);
  const QString right = ApplyConditionModifier(VarAsString(AValue), AModifier);
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
      UnsupportedCondition();
  }
}

// --- TIntegerField ---

void TIntegerField::DoSetValue(const Variant& AValue) {
  FValue = VarAsInteger(AValue);
}

std::unique_ptr<TJSONValue> TIntegerField::DoGetJSON() const {
  return std::make_unique<TJSONNumber>(FValue);
}

void TIntegerField::DoSetJSON(const TJSONValue* AValue) {
  FValue = static_cast<int32_t>(JSONInteger(AValue));
}

int TIntegerField::DoCompare(const Variant& AValue) const {
  return Sign(FValue, VarAsInteger(AValue));
}

bool TIntegerField::DoCheckValuedCondition(const Variant& AValue, TConditionKind ACondition,
                                           TConditionModifier AModifier) const {
  (void)AModifier;
  bool handled;
  const bool result = OrderedCondition(Sign(FValue, VarAsInteger(AValue)), ACondition, handled);
  if (!handled) UnsupportedCondition();
  return result;
}

// --- TFloatField ---

void TFloatField::DoSetValue(const Variant& AValue) {
  FValue = VarAsFloat(AValue);
}

std::unique_ptr<TJSONValue> TFloatField::DoGetJSON() const {
  return std::make_unique<TJSONNumber>(FValue);
}

void TFloatField::DoSetJSON(const TJSONValue* AValue) {
  FValue = JSONNumber(AValue)->AsDouble();
}

int TFloatField::DoCompare(const Variant& AValue) const {
  return CompareFloat(FValue, VarAsFloat(AValue));
}

bool TFloatField::DoCheckValuedCondition(const Variant& AValue, TConditionKind ACondition,
                                         TConditionModifier AModifier) const {
  (void)AModifier;
  bool handled;
  const bool result = OrderedCondition(CompareFloat(FValue, VarAsFloat(AValue)), ACondition, handled);
  if (!handled) UnsupportedCondition();
  return result;
}

// --- TDateTimeField ---

void TDateTimeField::DoSetValue(const Variant& AValue) {
  FValue = VarAsDateTime(AValue);
}

std::unique_ptr<TJSONValue> TDateTimeField::DoGetJSON() const {
  return std::make_unique<TJSONNumber>(FValue.Value < 0 ? 0.0 : FValue.Value);
}

void TDateTimeField::DoSetJSON(const TJSONValue* AValue) {
  FValue = TDateTime(JSONNumber(AValue)->AsDouble());
}

int TDateTimeField::DoCompare(const Variant& AValue) const {
  return CompareFloat(FValue, VarAsDateTime(AValue));
}

bool TDateTimeField::DoCheckValuedCondition(const Variant& AValue, TConditionKind ACondition,
                                            TConditionModifier AModifier) const {
  (void)AModifier;
  bool handled;
  const bool result = OrderedCondition(CompareFloat(FValue, VarAsDateTime(AValue)), ACondition, handled);
  if (!handled) UnsupportedCondition();
  return result;
}

// --- TBooleanField ---

void TBooleanField::DoSetValue(const Variant& AValue) {
  FValue = VarAsBoolean(AValue);
}

std::unique_ptr<TJSONValue> TBooleanField::DoGetJSON() const {
  return std::make_unique<TJSONNumber>(FValue ? 1 : 0);
}

void TBooleanField::DoSetJSON(const TJSONValue* AValue) {
  if (const TJSONString* text = JSONText(AValue)) {
    FValue = StrToIntDef(text->Value(), 0) != 0;
    return;
  }
  FValue = JSONNumber(AValue)->AsDouble() != 0;
}

int TBooleanField::DoCompare(const Variant& AValue) const {
  return Sign(FValue, VarAsBoolean(AValue));
}

bool TBooleanField::DoCheckValuedCondition(const Variant& AValue, TConditionKind ACondition,
                                           TConditionModifier AModifier) const {
  (void)AModifier;
  if (ACondition != ckEqualTo) UnsupportedCondition();
  return FValue == VarAsBoolean(AValue);
}

// --- TColorField ---

void TColorField::DoSetValue(const Variant& AValue) {
  FValue = VarAsColor(AValue);
}

std::unique_ptr<TJSONValue> TColorField::DoGetJSON() const {
  return std::make_unique<TJSONNumber>(FValue);
}

void TColorField::DoSetJSON(const TJSONValue* AValue) {
  FValue = static_cast<int32_t>(JSONInteger(AValue));
}

int TColorField::DoCompare(const Variant& AValue) const {
  return Sign(FValue, VarAsColor(AValue));
}

bool TColorField::DoCheckValuedCondition(const Variant& AValue, TConditionKind ACondition,
                                         TConditionModifier AModifier) const {
  (void)AModifier;
  bool handled;
  const bool result = OrderedCondition(Sign(FValue, VarAsColor(AValue)), ACondition, handled);
  if (!handled) UnsupportedCondition();
  return result;
}

// --- TCurrencyField ---

void TCurrencyField::DoSetValue(const Variant& AValue) {
  FValue = VarAsCurrency(AValue);
}

std::unique_ptr<TJSONValue> TCurrencyField::DoGetJSON() const {
  return std::make_unique<TJSONNumber>(FValue);
}

void TCurrencyField::DoSetJSON(const TJSONValue* AValue) {
  FValue = JSONNumber(AValue)->AsCurrency();
}

int TCurrencyField::DoCompare(const Variant& AValue) const {
  return Sign(FValue, VarAsCurrency(AValue));
}

bool TCurrencyField::DoCheckValuedCondition(const Variant& AValue, TConditionKind ACondition,
                                            TConditionModifier AModifier) const {
  (void)AModifier;
  bool handled;
  const bool result = OrderedCondition(Sign(FValue, VarAsCurrency(AValue)), ACondition, handled);
  if (!handled) UnsupportedCondition();
  return result;
}
