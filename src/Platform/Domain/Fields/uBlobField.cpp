#include "src/Platform/Domain/Fields/uBlobField.h"

#include <optional>

#include "src/Platform/Domain/uStorage.h"
#include "src/Platform/uBase64.h"
#include "src/Platform/uException.h"
#include "src/Platform/uJSON.h"
#include "src/Platform/uTextCodec.h"

static constexpr const char* cModulePath = "src/Platform/Domain/Fields/uBlobField";

QString BlobToJSONText(const QByteArray& ABytes) {
  return EncodeBase64(DecodeWin1251(ABytes).toUtf8());
}

QByteArray BlobFromJSONText(const QString& AText) {
  return EncodeWin1251(QString::fromUtf8(DecodeBase64(AText)));
}

TBlobField::~TBlobField() = default;

Variant TBlobField::GetValue() const {
  return FStream ? Variant(static_cast<TObject*>(FStream.get())) : Variant::Null();
}

void TBlobField::SetStream(TChangeHolder* AHolder, std::unique_ptr<TStream> AStream) {
  FPending = std::move(AStream);
  TStream* stream = FPending.get();
  SetValue(AHolder, stream ? Variant(static_cast<TObject*>(stream)) : Variant::Null());
  FPending.reset();
}

void TBlobField::InternalSetValue(const Variant& AValue) {
  DoSetValue(AValue);
}

void TBlobField::InternalSetStream(std::unique_ptr<TStream> AStream) {
  FStream = std::move(AStream);
}

void TBlobField::DoSetValue(const Variant& AValue) {
  auto* stream = dynamic_cast<TStream*>(VarAsObject(AValue));
  if (stream == FStream.get()) return;
  if (stream && stream == FPending.get())
    FStream = std::move(FPending);
  else
    // A stream this field was not handed over belongs to someone else.
    FStream = stream ? stream->Clone() : nullptr;
}

std::unique_ptr<TJSONValue> TBlobField::DoGetJSON() const {
  if (!FStream) return nullptr;
  return std::make_unique<TJSONString>(BlobToJSONText(FStream->Data()));
}

namespace {
// The bytes a blob's JSON value stands for; none for null.
std::optional<QByteArray> BlobBytes(const TJSONValue* AValue) {
  if (!AValue || dynamic_cast<const TJSONNull*>(AValue)) return std::nullopt;
  const auto* text = dynamic_cast<const TJSONString*>(AValue);
  TV_ASSERT(text && !dynamic_cast<const TJSONNumber*>(AValue), QStringLiteral("Assertion failure"));
  return BlobFromJSONText(text->Value());
}
}  // namespace

void TBlobField::DoSetJSON(const TJSONValue* AValue) {
  std::optional<QByteArray> bytes = BlobBytes(AValue);
  if (bytes)
    FStream = std::make_unique<TStream>(std::move(*bytes));
  else
    FStream.reset();
}

void TBlobField::CheckJSON(const TJSONValue* AValue) const {
  (void)BlobBytes(AValue);
}

void TBlobField::DoLoad(TStorage* AStorage) {
  FStream = AStorage->ReadStream(StorageName());
}

void TBlobField::DoTransfer(TStorage* AStorage) {
  AStorage->WriteStream(StorageName(), FStream.get());
}

Variant TBlobField::DoExtractFieldValue(const QString& AFieldName) const {
  (void)AFieldName;
  TV_FAIL(QStringLiteral("Retrieving value from BLOB"));
}

int TBlobField::DoCompare(const Variant& AValue) const {
  return dynamic_cast<TStream*>(VarAsObject(AValue)) == FStream.get() ? 0 : 1;
}

bool TBlobField::DoCheckValuedCondition(const Variant& AValue, TConditionKind ACondition,
                                        TConditionModifier AModifier) const {
  (void)AModifier;
  if (ACondition != ckEqualTo) UnsupportedCondition();
  return dynamic_cast<TStream*>(VarAsObject(AValue)) == FStream.get();
}

bool TBlobField::IsSameValue(const Variant& AValue) const {
  return dynamic_cast<TStream*>(VarAsObject(AValue)) == FStream.get();
}
