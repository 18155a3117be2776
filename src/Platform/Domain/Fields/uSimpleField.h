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

class TStringField : public TSimpleField {
 public:
  using TSimpleField::TSimpleField;
  // Translated for localisable fields of service records and of read-only
  // definitions, with the stored text as fallback.
  Variant GetValue() const override;
  const QString& Text() const { return FValue; }

 protected:
  Variant StoredValue() const override { return FValue; }
  void DoSetValue(const Variant& AValue) override;
  std::unique_ptr<TJSONValue> DoGetJSON() const override;
  void DoSetJSON(const TJSONValue* AValue) override;
  int DoCompare(const Variant& AValue) const override;
  bool DoCheckValuedCondition(const Variant& AValue, TConditionKind ACondition,
                              TConditionModifier AModifier) const override;
  bool IsSameValue(const Variant& AValue) const override;
  QString KindWord() const override { return QStringLiteral("String"); }

 private:
  QString FValue;
};

// fkInteger, fkEnum (the item's ID) and fkFlag (a bit set).
class TIntegerField : public TSimpleField {
 public:
  using TSimpleField::TSimpleField;
  Variant GetValue() const override { return FValue; }

 protected:
  void DoSetValue(const Variant& AValue) override;
  std::unique_ptr<TJSONValue> DoGetJSON() const override;
  void DoSetJSON(const TJSONValue* AValue) override;
  int DoCompare(const Variant& AValue) const override;
  bool DoCheckValuedCondition(const Variant& AValue, TConditionKind ACondition,
                              TConditionModifier AModifier) const override;
  QString KindWord() const override { return QStringLiteral("Integer"); }

 private:
  int32_t FValue = 0;
};

class TFloatField : public TSimpleField {
 public:
  using TSimpleField::TSimpleField;
  Variant GetValue() const override { return FValue; }

 protected:
  void DoSetValue(const Variant& AValue) override;
  std::unique_ptr<TJSONValue> DoGetJSON() const override;
  void DoSetJSON(const TJSONValue* AValue) override;
  int DoCompare(const Variant& AValue) const override;
  bool DoCheckValuedCondition(const Variant& AValue, TConditionKind ACondition,
                              TConditionModifier AModifier) const override;
  QString KindWord() const override { return QStringLiteral("Float"); }

 private:
  double FValue = 0;
};

class TDateTimeField : public TSimpleField {
 public:
  using TSimpleField::TSimpleField;
  Variant GetValue() const override { return FValue; }

 protected:
  void DoSetValue(const Variant& AValue) override;
  std::unique_ptr<TJSONValue> DoGetJSON() const override;
  void DoSetJSON(const TJSONValue* AValue) override;
  int DoCompare(const Variant& AValue) const override;
  bool DoCheckValuedCondition(const Variant& AValue, TConditionKind ACondition,
                              TConditionModifier AModifier) const override;
  QString KindWord() const override { return QStringLiteral("Datetime"); }

 private:
  TDateTime FValue;
};

class TBooleanField : public TSimpleField {
 public:
  using TSimpleField::TSimpleField;
  Variant GetValue() const override { return FValue; }

 protected:
  void DoSetValue(const Variant& AValue) override;
  std::unique_ptr<TJSONValue> DoGetJSON() const override;
  void DoSetJSON(const TJSONValue* AValue) override;
  int DoCompare(const Variant& AValue) const override;
  bool DoCheckValuedCondition(const Variant& AValue, TConditionKind ACondition,
                              TConditionModifier AModifier) const override;
  QString KindWord() const override { return QStringLiteral("Boolean"); }

 private:
  bool FValue = false;
};

// 0x00BBGGRR; 1 is "no colour".
class TColorField : public TSimpleField {
 public:
  using TSimpleField::TSimpleField;
  Variant GetValue() const override { return FValue; }

 protected:
  void DoSetValue(const Variant& AValue) override;
  std::unique_ptr<TJSONValue> DoGetJSON() const override;
  void DoSetJSON(const TJSONValue* AValue) override;
  int DoCompare(const Variant& AValue) const override;
  bool DoCheckValuedCondition(const Variant& AValue, TConditionKind ACondition,
                              TConditionModifier AModifier) const override;
  QString KindWord() const override { return QStringLiteral("Color"); }

 private:
  int32_t FValue = cNoColor;
};

class TCurrencyField : public TSimpleField {
 public:
  using TSimpleField::TSimpleField;
  Variant GetValue() const override { return FValue; }

 protected:
  void DoSetValue(const Variant& AValue) override;
  std::unique_ptr<TJSONValue> DoGetJSON() const override;
  void DoSetJSON(const TJSONValue* AValue) override;
  int DoCompare(const Variant& AValue) const override;
  bool DoCheckValuedCondition(const Variant& AValue, TConditionKind ACondition,
                              TConditionModifier AModifier) const override;
  QString KindWord() const override { return QStringLiteral("Currency"); }

 private:
  Currency FValue;
};
