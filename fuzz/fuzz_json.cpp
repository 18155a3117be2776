// The JSON parser on arbitrary bytes: it must never crash, and whatever it
// accepts must write out as text that parses back to the same text.
#include <cstdint>
#include <cstdlib>

#include "src/Platform/uException.h"
#include "src/Platform/uJSON.h"

namespace {

void Check(bool ACondition) {
  if (!ACondition) std::abort();
}

// Touches the typed readers of every member; they may raise conversion errors
// but nothing else.
void Exercise(const TJSONValue& AValue, int ADepth) {
  (void)AValue.Value();
  if (const auto* object = dynamic_cast<const TJSONObject*>(&AValue)) {
    for (const TJSONPair& pair : object->Pairs()) {
      const QString& name = pair.Name();
      (void)object->ExtractBoolean(name);
      (void)object->ExtractColor(name);
      (void)object->ExtractString(name, name);
      try {
        (void)object->ExtractInteger(name);
      } catch (const EConvertError&) {
      }
      try {
        (void)object->ExtractFloat(name);
      } catch (const EConvertError&) {
      }
      (void)object->DelveIntoPath(name);
      if (ADepth < 8) Exercise(*pair.JsonValue(), ADepth + 1);
    }
  } else if (const auto* array = dynamic_cast<const TJSONArray*>(&AValue)) {
    for (const auto& element : array->Elements())
      if (ADepth < 8) Exercise(*element, ADepth + 1);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
  const QByteArray input = QByteArray::fromRawData(reinterpret_cast<const char*>(AData), static_cast<qsizetype>(ASize));
  std::unique_ptr<TJSONValue> value = TJSONObject::ParseJSONValue(input);
  if (!value) return 0;
  const QByteArray written = value->ToJSONBytes();
  Check(written.size() <= value->EstimatedByteSize());
  for (char ch : written) Check(static_cast<unsigned char>(ch) < 0x80);
  std::unique_ptr<TJSONValue> again = TJSONObject::ParseJSONValue(written);
  Check(again != nullptr);
  Check(again->ToJSONBytes() == written);
  Check(CloneJSON(*value)->ToJSONBytes() == written);
  std::unique_ptr<TJSONValue> raw = TJSONObject::ParseJSONValue(value->ToRawString());
  Check(raw != nullptr && raw->ToJSONBytes() == written);
  Exercise(*value, 0);
  return 0;
}
