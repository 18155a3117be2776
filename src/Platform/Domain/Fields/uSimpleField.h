#pragma once

#include "src/Platform/Domain/Fields/uBaseField.h"

class TSimpleFieldDef;

// Base of the scalar fields.
class TSimpleField : public TBaseField {
 public:
  TSimpleField(TEntity* AInstance, TFieldDef* AFieldDef);
  TSimpleFieldDef* SimpleFieldDef() const;
  // When the definition allows null: the value equals its null value.
  bool IsNull() const override;
  // Null when the field is null, otherwise Value.
  Variant NullableValue() const;

 protected:
  // The value as held, never translated: what storage and JSON get.
  virtual Variant StoredValue() const { return GetValue(); }
  void DoLoad(TStorage* AStorage) override;
  void DoTransfer(TStorage* AStorage) override;
  Variant DoExtractFieldValue(const QString& AFieldName) const override;
  // "String", "Integer", ... in the sub-value assertion.
  virtual QString KindWord() const = 0;
};

// The one body of the scalar fields: a TValue converted, written to JSON and
// compared by the rules of AKind. The rules of each kind and the
// instantiations live in uSimpleField.cpp, so including this header
// instantiates nothing but the inline getter.
template <class TValue, TFieldKind AKind>
class TTypedField : public TSimpleField {
 public:
  TTypedField(TEntity* AInstance, TFieldDef* AFieldDef);
  Variant GetValue() const override { return FValue; }
  void CheckJSON(const TJSONValue* AValue) const override;

 protected:
  Variant StoredValue() const override { return FValue; }
  void DoSetValue(const Variant& AValue) override;
  std::unique_ptr<TJSONValue> DoGetJSON() const override;
  void DoSetJSON(const TJSONValue* AValue) override;
  int DoCompare(const Variant& AValue) const override;
  bool DoCheckValuedCondition(const Variant& AValue, TConditionKind ACondition,
                              TConditionModifier AModifier) const override;
  bool IsSameValue(const Variant& AValue) const override;
  QString KindWord() const override;

  TValue FValue;
};

class TStringField : public TTypedField<QString, fkString> {
 public:
  using TTypedField::TTypedField;
  // Translated for localisable fields of service records and of read-only
  // definitions, with the stored text as fallback.
  Variant GetValue() const override;
  const QString& Text() const { return FValue; }
};

// fkInteger, fkEnum (the item's ID) and fkFlag (a bit set).
class TIntegerField : public TTypedField<int32_t, fkInteger> {
  using TTypedField::TTypedField;
};

class TFloatField : public TTypedField<double, fkFloat> {
  using TTypedField::TTypedField;
};

class TDateTimeField : public TTypedField<TDateTime, fkDateTime> {
  using TTypedField::TTypedField;
};

class TBooleanField : public TTypedField<bool, fkBoolean> {
  using TTypedField::TTypedField;
};

// 0x00BBGGRR; 1 is "no colour".
class TColorField : public TTypedField<int32_t, fkColor> {
  using TTypedField::TTypedField;
};

class TCurrencyField : public TTypedField<Currency, fkCurrency> {
  using TTypedField::TTypedField;
};
