#pragma once

#include <QByteArray>
#include <QString>
#include <memory>

#include "src/Platform/Domain/Fields/uBaseField.h"
#include "src/Platform/Domain/uDomainUtils.h"

// A binary value: an owned stream, or none. Never null.
class TBlobField : public TBaseField {
 public:
  using TBaseField::TBaseField;
  ~TBlobField() override;
  void CheckJSON(const TJSONValue* AValue) const override;

  TStream* Stream() const { return FStream.get(); }
  // The stream reference (none gives Null).
  Variant GetValue() const override;
  // SetValue with the stream; the field owns the stream once it is stored.
  void SetStream(TChangeHolder* AHolder, std::unique_ptr<TStream> AStream);
  void InternalSetValue(const Variant& AValue) override;
  void InternalSetStream(std::unique_ptr<TStream> AStream);

 protected:
  void DoSetValue(const Variant& AValue) override;
  std::unique_ptr<TJSONValue> DoGetJSON() const override;
  void DoSetJSON(const TJSONValue* AValue) override;
  void DoLoad(TStorage* AStorage) override;
  void DoTransfer(TStorage* AStorage) override;
  Variant DoExtractFieldValue(const QString& AFieldName) const override;
  int DoCompare(const Variant& AValue) const override;
  bool DoCheckValuedCondition(const Variant& AValue, TConditionKind ACondition,
                              TConditionModifier AModifier) const override;
  bool IsSameValue(const Variant& AValue) const override;

 private:
  std::unique_ptr<TStream> FStream;
  // A stream handed over by SetStream, taken when it is stored.
  std::unique_ptr<TStream> FPending;
};

// The blob text of the entity JSON: the bytes read as Windows-1251 text,
// that text as UTF-8, then Base64. Every byte value survives the way back.
QString BlobToJSONText(const QByteArray& ABytes);
// EConvertError for a text that is not such a form.
QByteArray BlobFromJSONText(const QString& AText);
