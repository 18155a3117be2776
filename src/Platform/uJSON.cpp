#include "src/Platform/uJSON.h"

#include <QFile>
#include <QSaveFile>
#include <algorithm>
#include <atomic>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string_view>
#include <system_error>

#include "src/Platform/uException.h"
#include "src/Platform/uFormat.h"
#include "src/Platform/uJSONColors.h"
#include "src/Platform/uTextCodec.h"

// Freed nodes inside a live slab stay visible to AddressSanitizer.
#if defined(__SANITIZE_ADDRESS__)
#define CORVALIS_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define CORVALIS_ASAN 1
#endif
#endif
#ifdef CORVALIS_ASAN
#include <sanitizer/asan_interface.h>
#define CORVALIS_POISON(APointer, ASize) ASAN_POISON_MEMORY_REGION((APointer), (ASize))
#define CORVALIS_UNPOISON(APointer, ASize) ASAN_UNPOISON_MEMORY_REGION((APointer), (ASize))
#else
#define CORVALIS_POISON(APointer, ASize) ((void)(APointer), (void)(ASize))
#define CORVALIS_UNPOISON(APointer, ASize) ((void)(APointer), (void)(ASize))
#endif

namespace {

const TFormatSettings& PointSettings() {
  static const TFormatSettings settings = TFormatSettings::Invariant();
  return settings;
}

// A JSON number's text as a double; beyond the range gives +-infinity, below it 0.
bool ReadNumberText(std::string_view AText, double& AValue) {
  const char* begin = AText.data();
  const char* end = begin + AText.size();
  const auto conv = std::from_chars(begin, end, AValue);
  if (conv.ptr != end) return false;
  if (conv.ec == std::errc::result_out_of_range) {
    const char* e = std::find_if(begin, end, [](char c) { return c == 'e' || c == 'E'; });
    const bool tiny = e != end && e + 1 != end && e[1] == '-';
    AValue = tiny ? 0.0 : (*begin == '-' ? -HUGE_VAL : HUGE_VAL);
    return true;
  }
  return conv.ec == std::errc();
}

QStringList SplitPath(const QString& APath) {
  QStringList result;
  QString name;
  for (QChar ch : APath) {
    if (ch == u'/' || ch.isSpace()) {
      if (!name.isEmpty()) result.append(name);
      name.clear();
    } else {
      name += ch;
    }
  }
  if (!name.isEmpty()) result.append(name);
  return result;
}

constexpr char cHexDigits[] = "0123456789ABCDEF";

// Per ASCII character: 0 copies it, 'u' needs "\u00XX", anything else is the
// letter of its two-character escape.
struct TEscapeTable {
  char Codes[128];
  constexpr TEscapeTable() : Codes() {
    for (int i = 0; i < 0x20; ++i) Codes[i] = 'u';
    Codes[static_cast<int>('"')] = '"';
    Codes[static_cast<int>('\\')] = '\\';
    Codes[static_cast<int>('/')] = '/';
    Codes[0x08] = 'b';
    Codes[0x0C] = 'f';
    Codes[0x0A] = 'n';
    Codes[0x0D] = 'r';
    Codes[0x09] = 't';
  }
};
constexpr TEscapeTable cEscapes;

}  // namespace

// ---------------------------------------------------------------------------
// Node slabs

namespace {

constexpr std::size_t cSlabSize = 64 * 1024;
constexpr std::size_t cNodeAlignment = 16;

// A slab is aligned to its size, so a node finds its slab by masking its address.
struct alignas(cNodeAlignment) TSlab {
  std::atomic<int64_t> Refs{1};  // live nodes, plus one while a thread allocates from it
  char* Next = nullptr;
  char* End = nullptr;
};

void ReleaseSlab(TSlab* ASlab) {
  if (ASlab->Refs.fetch_sub(1, std::memory_order_acq_rel) != 1) return;
  ASlab->~TSlab();
  std::free(ASlab);
}

struct TSlabCursor {
  TSlab* Current = nullptr;
  ~TSlabCursor() {
    if (Current) ReleaseSlab(Current);
    Current = nullptr;
  }
};

thread_local TSlabCursor tSlabCursor;

}  // namespace

void* TJSONAncestor::operator new(std::size_t ASize) {
  const std::size_t size = (ASize + cNodeAlignment - 1) & ~(cNodeAlignment - 1);
  if (size > cSlabSize / 16) throw std::bad_alloc();  // nodes are small; a larger class is a mistake
  TSlab* slab = tSlabCursor.Current;
  if (!slab || static_cast<std::size_t>(slab->End - slab->Next) < size) {
    void* memory = std::aligned_alloc(cSlabSize, cSlabSize);
    if (!memory) throw std::bad_alloc();
    TSlab* fresh = new (memory) TSlab;
    fresh->Next = static_cast<char*>(memory) + sizeof(TSlab);
    fresh->End = static_cast<char*>(memory) + cSlabSize;
    CORVALIS_POISON(fresh->Next, fresh->End - fresh->Next);
    if (slab) ReleaseSlab(slab);
    tSlabCursor.Current = slab = fresh;
  }
  void* node = slab->Next;
  slab->Next += size;
  slab->Refs.fetch_add(1, std::memory_order_relaxed);
  CORVALIS_UNPOISON(node, size);
  return node;
}

void TJSONAncestor::operator delete(void* APointer, std::size_t ASize) noexcept {
  if (!APointer) return;
  auto* slab = reinterpret_cast<TSlab*>(reinterpret_cast<std::uintptr_t>(APointer) & ~(cSlabSize - 1));
  CORVALIS_POISON(APointer, (ASize + cNodeAlignment - 1) & ~(cNodeAlignment - 1));
  ReleaseSlab(slab);
}

// ---------------------------------------------------------------------------
// Writer

TJSONWriter::TJSONWriter(QByteArray& AOutput, qsizetype AOffset, bool ARaw) : FOutput(AOutput), FRaw(ARaw) {
  if (FOutput.size() < AOffset) FOutput.resize(AOffset);
  FOriginalSize = FOutput.size();
  FCursor = FOutput.data() + AOffset;
  FEnd = FOutput.data() + FOutput.size();
}

TJSONWriter::~TJSONWriter() = default;

void TJSONWriter::Grow(qsizetype ACount) {
  const qsizetype used = FCursor - FOutput.data();
  const qsizetype capacity = std::max<qsizetype>(FOutput.size() * 2, used + ACount + 256);
  FOutput.resize(capacity);
  FCursor = FOutput.data() + used;
  FEnd = FOutput.data() + capacity;
}

void TJSONWriter::Append(const char* AText, qsizetype ALength) {
  Reserve(ALength);
  std::memcpy(FCursor, AText, static_cast<size_t>(ALength));
  FCursor += ALength;
}

void TJSONWriter::AppendString(const QString& AText) {
  const qsizetype n = AText.size();
  Reserve(2 + 6 * n);
  char* out = FCursor;
  *out++ = '"';
  const char16_t* units = reinterpret_cast<const char16_t*>(AText.constData());
  for (qsizetype i = 0; i < n; ++i) {
    const char16_t c = units[i];
    if (c < 0x80) {
      const char code = cEscapes.Codes[c];
      if (code == 0) {
        *out++ = static_cast<char>(c);
        continue;
      }
      if (code != 'u') {
        *out++ = '\\';
        *out++ = code;
        continue;
      }
    } else if (FRaw) {
      // Raw text: UTF-8 for everything but a lone surrogate, which stays escaped.
      if (c < 0x800) {
        *out++ = static_cast<char>(0xC0 | (c >> 6));
        *out++ = static_cast<char>(0x80 | (c & 0x3F));
        continue;
      }
      if (c < 0xD800 || c > 0xDFFF) {
        *out++ = static_cast<char>(0xE0 | (c >> 12));
        *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        *out++ = static_cast<char>(0x80 | (c & 0x3F));
        continue;
      }
      if (c < 0xDC00 && i + 1 < n && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
        const char32_t cp = 0x10000 + ((static_cast<char32_t>(c) - 0xD800) << 10) + (units[i + 1] - 0xDC00);
        *out++ = static_cast<char>(0xF0 | (cp >> 18));
        *out++ = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        *out++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        *out++ = static_cast<char>(0x80 | (cp & 0x3F));
        ++i;
        continue;
      }
    }
    *out++ = '\\';
    *out++ = 'u';
    *out++ = cHexDigits[(c >> 12) & 0xF];
    *out++ = cHexDigits[(c >> 8) & 0xF];
    *out++ = cHexDigits[(c >> 4) & 0xF];
    *out++ = cHexDigits[c & 0xF];
  }
  *out++ = '"';
  FCursor = out;
}

qsizetype TJSONWriter::Finish() {
  const qsizetype used = FCursor - FOutput.data();
  FOutput.resize(std::max(FOriginalSize, used));
  return used;
}

// ---------------------------------------------------------------------------
// Values

qsizetype TJSONAncestor::ToBytes(QByteArray& AData, qsizetype AOffset) const {
  TJSONWriter writer(AData, AOffset, false);
  WriteTo(writer);
  return writer.Finish();
}

QByteArray TJSONAncestor::ToJSONBytes() const {
  QByteArray result;
  TJSONWriter writer(result, 0, false);
  WriteTo(writer);
  writer.Finish();
  return result;
}

QString TJSONAncestor::ToString() const {
  return QString::fromLatin1(ToJSONBytes());
}

QString TJSONAncestor::ToRawString() const {
  QByteArray bytes;
  TJSONWriter writer(bytes, 0, true);
  WriteTo(writer);
  writer.Finish();
  return QString::fromUtf8(bytes);
}

void TJSONString::WriteTo(TJSONWriter& AWriter) const {
  AWriter.AppendString(FValue);
}

TJSONNumber::TJSONNumber(double AValue)
    : FText(std::isfinite(AValue) ? FloatToStr(AValue, PointSettings()).toStdString() : std::string("null")) {}

namespace {

// RFC 8259 number grammar over [p, end); returns the end of the number or nullptr.
template <class Ch>
const Ch* ScanNumber(const Ch* p, const Ch* end) {
  auto digit = [](Ch c) { return c >= '0' && c <= '9'; };
  if (p != end && *p == '-') ++p;
  if (p == end) return nullptr;
  if (*p == '0') {
    ++p;
  } else if (digit(*p)) {
    while (p != end && digit(*p)) ++p;
  } else {
    return nullptr;
  }
  if (p != end && *p == '.') {
    ++p;
    if (p == end || !digit(*p)) return nullptr;
    while (p != end && digit(*p)) ++p;
  }
  if (p != end && (*p == 'e' || *p == 'E')) {
    ++p;
    if (p != end && (*p == '+' || *p == '-')) ++p;
    if (p == end || !digit(*p)) return nullptr;
    while (p != end && digit(*p)) ++p;
  }
  return p;
}

}  // namespace

TJSONNumber::TJSONNumber(Currency AValue) : FText(CurrToStr(AValue, PointSettings()).toStdString()) {}

std::unique_ptr<TJSONNumber> TJSONNumber::FromText(const QString& AText) {
  const char16_t* begin = reinterpret_cast<const char16_t*>(AText.constData());
  const char16_t* end = begin + AText.size();
  if (AText.isEmpty() || ScanNumber(begin, end) != end) return nullptr;
  std::unique_ptr<TJSONNumber> result(new TJSONNumber());
  result->FText = AText.toStdString();
  return result;
}

std::unique_ptr<TJSONAncestor> TJSONNumber::Clone() const {
  std::unique_ptr<TJSONNumber> result(new TJSONNumber());
  result->FText = FText;
  return result;
}

bool TJSONNumber::TryAsInt64(int64_t& AValue) const {
  if (FText.find_first_of(".eE") != std::string::npos) return false;
  const char* end = FText.data() + FText.size();
  const auto conv = std::from_chars(FText.data(), end, AValue);
  return conv.ec == std::errc() && conv.ptr == end;
}

Currency TJSONNumber::AsCurrency() const {
  // Plain decimals are converted digit by digit; an exponent takes the double route.
  if (FText.find_first_of("eE") != std::string::npos || FText == "null") return Currency::FromDouble(AsDouble());
  const bool negative = !FText.empty() && FText[0] == '-';
  const size_t point = FText.find('.');
  const std::string integer =
      FText.substr(negative ? 1 : 0, point == std::string::npos ? std::string::npos : point - (negative ? 1 : 0));
  const std::string fraction = point == std::string::npos ? std::string() : FText.substr(point + 1);
  constexpr uint64_t limit = static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
  uint64_t scaled = 0;
  auto push = [&](char ADigit) {
    if (scaled > (limit - static_cast<uint64_t>(ADigit - '0')) / 10)
      throw EConvertError(QStringLiteral("'%1' is beyond the currency range").arg(NumberText()));
    scaled = scaled * 10 + static_cast<uint64_t>(ADigit - '0');
  };
  for (char digit : integer) push(digit);
  for (size_t i = 0; i < 4; ++i) push(i < fraction.size() ? fraction[i] : '0');
  if (fraction.size() > 4) {
    const char next = fraction[4];
    const bool rest = fraction.find_first_not_of('0', 5) != std::string::npos;
    if (next > '5' || (next == '5' && (rest || (scaled & 1) != 0))) {
      if (scaled == limit) throw EConvertError(QStringLiteral("'%1' is beyond the currency range").arg(NumberText()));
      ++scaled;
    }
  }
  const int64_t value = static_cast<int64_t>(scaled);
  return Currency::FromScaled(negative ? -value : value);
}

double TJSONNumber::AsDouble() const {
  double result = 0;
  return ReadNumberText(FText, result) ? result : 0.0;
}

QString TJSONNumber::Value() const {
  if (FText.size() >= 12 && FText.find('.') == std::string::npos) {
    int64_t integer = 0;
    if (TryAsInt64(integer)) return QString::number(integer);
  }
  double number = 0;
  if (ReadNumberText(FText, number) && std::isfinite(number)) return FloatToStr(number);
  return NumberText();
}

void TJSONNumber::WriteTo(TJSONWriter& AWriter) const {
  AWriter.Append(FText.data(), static_cast<qsizetype>(FText.size()));
}

void TJSONTrue::WriteTo(TJSONWriter& AWriter) const {
  AWriter.Append("true", 4);
}
void TJSONFalse::WriteTo(TJSONWriter& AWriter) const {
  AWriter.Append("false", 5);
}
void TJSONNull::WriteTo(TJSONWriter& AWriter) const {
  AWriter.Append("null", 4);
}

// ---------------------------------------------------------------------------
// Pair

TJSONPair::TJSONPair(std::unique_ptr<TJSONString> AName, std::unique_ptr<TJSONValue> AValue)
    : FJsonString(AName ? AName->Value() : QString()), FJsonValue(std::move(AValue)) {}

TJSONPair::TJSONPair(QString AName, std::unique_ptr<TJSONValue> AValue)
    : FJsonString(std::move(AName)), FJsonValue(std::move(AValue)) {}

TJSONPair::TJSONPair(TJSONPair&& AOther) noexcept
    : FJsonString(AOther.FJsonString.TakeText()), FJsonValue(std::move(AOther.FJsonValue)) {}

TJSONPair& TJSONPair::operator=(TJSONPair&& AOther) noexcept {
  if (this != &AOther) {
    if (FJsonValue && !FJsonValue->GetOwned()) (void)FJsonValue.release();
    FJsonString.SetText(AOther.FJsonString.TakeText());
    FJsonValue = std::move(AOther.FJsonValue);
  }
  return *this;
}

TJSONPair::~TJSONPair() {
  if (FJsonValue && !FJsonValue->GetOwned()) (void)FJsonValue.release();
}

void TJSONPair::SetJsonValue(std::unique_ptr<TJSONValue> AValue) {
  if (FJsonValue && !FJsonValue->GetOwned()) (void)FJsonValue.release();
  FJsonValue = std::move(AValue);
}

qsizetype TJSONPair::EstimatedByteSize() const {
  return FJsonString.EstimatedByteSize() + 1 + (FJsonValue ? FJsonValue->EstimatedByteSize() : 4);
}

std::unique_ptr<TJSONAncestor> TJSONPair::Clone() const {
  std::unique_ptr<TJSONValue> value;
  if (FJsonValue) value.reset(static_cast<TJSONValue*>(FJsonValue->Clone().release()));
  return std::make_unique<TJSONPair>(FJsonString.FValue, std::move(value));
}

void TJSONPair::WriteTo(TJSONWriter& AWriter) const {
  AWriter.AppendString(FJsonString.FValue);
  AWriter.Append(':');
  if (FJsonValue)
    FJsonValue->WriteTo(AWriter);
  else
    AWriter.Append("null", 4);
}

// ---------------------------------------------------------------------------
// Object

TJSONObject::~TJSONObject() = default;

TJSONPair* TJSONObject::Get(int AIndex) const {
  return AIndex >= 0 && AIndex < Size() ? const_cast<TJSONPair*>(&FMembers[static_cast<size_t>(AIndex)]) : nullptr;
}

TJSONPair* TJSONObject::Get(const QString& APairName) const {
  for (const TJSONPair& pair : FMembers)
    if (pair.Name() == APairName) return const_cast<TJSONPair*>(&pair);
  return nullptr;
}

TJSONValue* TJSONObject::GetValue(const QString& APairName) const {
  const TJSONPair* pair = Get(APairName);
  return pair ? pair->JsonValue() : nullptr;
}

std::unique_ptr<TJSONPair> TJSONObject::RemovePair(const QString& APairName) {
  for (auto it = FMembers.begin(); it != FMembers.end(); ++it) {
    if (it->Name() == APairName) {
      auto result = std::make_unique<TJSONPair>(std::move(*it));
      FMembers.erase(it);
      return result;
    }
  }
  return nullptr;
}

TJSONObject* TJSONObject::AddPair(std::unique_ptr<TJSONPair> APair) {
  if (APair && !APair->Name().isEmpty() && APair->JsonValue()) FMembers.push_back(std::move(*APair));
  return this;
}

TJSONObject* TJSONObject::AddPair(std::unique_ptr<TJSONString> AName, std::unique_ptr<TJSONValue> AValue) {
  if (AName && AValue) AddPair(std::make_unique<TJSONPair>(std::move(AName), std::move(AValue)));
  return this;
}

TJSONObject* TJSONObject::AddPair(const QString& AName, std::unique_ptr<TJSONValue> AValue) {
  if (!AName.isEmpty() && AValue) FMembers.emplace_back(AName, std::move(AValue));
  return this;
}

TJSONObject* TJSONObject::AddPair(const QString& AName, const QString& AValue) {
  if (!AValue.isEmpty()) AddPair(AName, std::make_unique<TJSONString>(AValue));
  return this;
}

void TJSONObject::StoreString(const QString& AKey, const QString& AValue) {
  AddPair(AKey, AValue);
}

void TJSONObject::StoreInteger(const QString& AKey, int64_t AValue) {
  AddPair(AKey, std::make_unique<TJSONNumber>(AValue));
}

void TJSONObject::StoreFloat(const QString& AKey, double AValue) {
  if (std::isfinite(AValue))
    AddPair(AKey, std::make_unique<TJSONNumber>(AValue));
  else
    AddPair(AKey, std::make_unique<TJSONNull>());
}

void TJSONObject::StoreBoolean(const QString& AKey, bool AValue) {
  if (AValue)
    AddPair(AKey, std::make_unique<TJSONTrue>());
  else
    AddPair(AKey, std::make_unique<TJSONFalse>());
}

void TJSONObject::StoreColor(const QString& AKey, uint32_t AValue) {
  AddPair(AKey, std::make_unique<TJSONString>(JSONColorToText(AValue)));
}

TJSONObject* TJSONObject::ExtractObject(const QString& AKey) const {
  return dynamic_cast<TJSONObject*>(GetValue(AKey));
}

TJSONArray* TJSONObject::ExtractArray(const QString& AKey) const {
  return dynamic_cast<TJSONArray*>(GetValue(AKey));
}

QString TJSONObject::ExtractString(const QString& AKey, const QString& APath) const {
  const TJSONObject* target = this;
  if (!APath.trimmed().isEmpty()) target = dynamic_cast<const TJSONObject*>(DelveIntoPath(APath));
  if (!target) return QString();
  const TJSONValue* value = target->GetValue(AKey);
  return value ? value->Value() : QString();
}

int32_t TJSONObject::ExtractInteger(const QString& AKey, int32_t ADefault) const {
  const TJSONValue* value = GetValue(AKey);
  if (!value) return ADefault;
  return StrToInt(value->Value());
}

double TJSONObject::ExtractFloat(const QString& AKey, double ADefault) const {
  const TJSONValue* value = GetValue(AKey);
  if (!value) return ADefault;
  if (const auto* number = dynamic_cast<const TJSONNumber*>(value)) return number->AsDouble();
  return StrToFloat(value->Value(), PointSettings());
}

bool TJSONObject::ExtractBoolean(const QString& AKey) const {
  const TJSONValue* value = GetValue(AKey);
  if (!value) return false;
  if (dynamic_cast<const TJSONTrue*>(value)) return true;
  if (dynamic_cast<const TJSONFalse*>(value)) return false;
  if (const auto* number = dynamic_cast<const TJSONNumber*>(value)) {
    // Any non-zero integer, however long its text.
    int64_t integer = 0;
    if (number->TryAsInt64(integer)) return integer != 0;
    const double d = number->AsDouble();
    if (std::isinf(d)) return true;
    return d != 0 && std::floor(d) == d;
  }
  const QString text = value->Value();
  if (text.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0) return true;
  if (text.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0) return false;
  return StrToInt64Def(text, 0) != 0;
}

uint32_t TJSONObject::ExtractColor(const QString& AKey) const {
  const TJSONValue* value = GetValue(AKey);
  return value ? JSONTextToColor(value->Value()) : 0;
}

TJSONValue* TJSONObject::DelveIntoPath(const QString& APath) const {
  TJSONValue* current = const_cast<TJSONObject*>(this);
  for (const QString& name : SplitPath(APath)) {
    const auto* object = dynamic_cast<const TJSONObject*>(current);
    if (!object) return nullptr;
    current = object->GetValue(name);
    if (!current) return nullptr;
  }
  return current;
}

qsizetype TJSONObject::EstimatedByteSize() const {
  qsizetype result = 2;
  for (const TJSONPair& pair : FMembers) result += pair.EstimatedByteSize() + 1;
  return result;
}

std::unique_ptr<TJSONAncestor> TJSONObject::Clone() const {
  auto result = std::make_unique<TJSONObject>();
  result->FMembers.reserve(FMembers.size());
  for (const TJSONPair& pair : FMembers) result->FMembers.push_back(std::move(*CloneJSON(pair)));
  return result;
}

void TJSONObject::WriteTo(TJSONWriter& AWriter) const {
  AWriter.Append('{');
  bool first = true;
  for (const TJSONPair& pair : FMembers) {
    if (!first) AWriter.Append(',');
    first = false;
    pair.WriteTo(AWriter);
  }
  AWriter.Append('}');
}

// ---------------------------------------------------------------------------
// Array

TJSONArray::~TJSONArray() {
  for (auto& element : FElements)
    if (element && !element->GetOwned()) (void)element.release();
}

TJSONValue* TJSONArray::Get(int AIndex) const {
  return AIndex >= 0 && AIndex < Size() ? FElements[static_cast<size_t>(AIndex)].get() : nullptr;
}

std::unique_ptr<TJSONValue> TJSONArray::Remove(int AIndex) {
  if (AIndex < 0 || AIndex >= Size()) return nullptr;
  std::unique_ptr<TJSONValue> result = std::move(FElements[static_cast<size_t>(AIndex)]);
  FElements.erase(FElements.begin() + AIndex);
  return result;
}

TJSONArray* TJSONArray::AddElement(std::unique_ptr<TJSONValue> AElement) {
  if (AElement) FElements.push_back(std::move(AElement));
  return this;
}

TJSONArray* TJSONArray::Add(const QString& AValue) {
  return AddElement(std::make_unique<TJSONString>(AValue));
}

TJSONArray* TJSONArray::Add(double AValue) {
  if (!std::isfinite(AValue)) return AddElement(std::make_unique<TJSONNull>());
  return AddElement(std::make_unique<TJSONNumber>(AValue));
}

TJSONArray* TJSONArray::Add(bool AValue) {
  if (AValue) return AddElement(std::make_unique<TJSONTrue>());
  return AddElement(std::make_unique<TJSONFalse>());
}

TJSONArray* TJSONArray::Add(std::unique_ptr<TJSONObject> AValue) {
  if (!AValue) return AddElement(std::make_unique<TJSONNull>());
  return AddElement(std::move(AValue));
}

TJSONArray* TJSONArray::Add(std::unique_ptr<TJSONArray> AValue) {
  return AddElement(std::move(AValue));
}

qsizetype TJSONArray::EstimatedByteSize() const {
  qsizetype result = 2;
  for (const auto& element : FElements) result += element->EstimatedByteSize() + 1;
  return result;
}

std::unique_ptr<TJSONAncestor> TJSONArray::Clone() const {
  auto result = std::make_unique<TJSONArray>();
  result->FElements.reserve(FElements.size());
  for (const auto& element : FElements)
    result->FElements.emplace_back(static_cast<TJSONValue*>(element->Clone().release()));
  return result;
}

void TJSONArray::WriteTo(TJSONWriter& AWriter) const {
  AWriter.Append('[');
  bool first = true;
  for (const auto& element : FElements) {
    if (!first) AWriter.Append(',');
    first = false;
    element->WriteTo(AWriter);
  }
  AWriter.Append(']');
}

// ---------------------------------------------------------------------------
// Parser

// Strict RFC 8259 over UTF-8 bytes; any deviation fails the whole parse.
class TJSONParser {
 public:
  TJSONParser(const char* AData, qsizetype ASize)
      : FPos(reinterpret_cast<const unsigned char*>(AData)), FEnd(FPos + ASize) {
    // A table in proportion to the text: small documents are parsed often.
    size_t count = 16;
    while (count < cMaxInternSlots && count * 32 < static_cast<size_t>(ASize)) count *= 2;
    FInterned.resize(count);
  }

  std::unique_ptr<TJSONValue> ParseDocument() {
    SkipBlanks();
    std::unique_ptr<TJSONValue> result = ParseValue();
    if (!result) return nullptr;
    // Blanks may follow an object or an array, nothing may follow anything else.
    if (dynamic_cast<TJSONObject*>(result.get()) || dynamic_cast<TJSONArray*>(result.get())) SkipBlanks();
    if (FPos != FEnd) return nullptr;
    return result;
  }

 private:
  // Deep enough for any document of ours, shallow enough for a worker's stack.
  static constexpr int cMaxDepth = 512;

  void SkipBlanks() {
    while (FPos != FEnd && (*FPos == ' ' || *FPos == '\t' || *FPos == '\n' || *FPos == '\r')) ++FPos;
  }

  bool TakeLiteral(const char* AText, size_t ALength) {
    if (static_cast<size_t>(FEnd - FPos) < ALength || std::memcmp(FPos, AText, ALength) != 0) return false;
    FPos += ALength;
    return true;
  }

  std::unique_ptr<TJSONValue> ParseValue() {
    if (FPos == FEnd) return nullptr;
    switch (*FPos) {
      case '{':
        return ParseObject();
      case '[':
        return ParseArray();
      case '"': {
        QString text;
        if (!ParseString(text)) return nullptr;
        return std::make_unique<TJSONString>(std::move(text));
      }
      case 't':
        if (TakeLiteral("true", 4)) return std::make_unique<TJSONTrue>();
        return nullptr;
      case 'f':
        if (TakeLiteral("false", 5)) return std::make_unique<TJSONFalse>();
        return nullptr;
      case 'n':
        if (TakeLiteral("null", 4)) return std::make_unique<TJSONNull>();
        return nullptr;
      default:
        return ParseNumber();
    }
  }

  std::unique_ptr<TJSONValue> ParseNumber() {
    const unsigned char* start = FPos;
    const unsigned char* end = ScanNumber(FPos, FEnd);
    if (!end) return nullptr;
    FPos = end;
    std::unique_ptr<TJSONNumber> result(new TJSONNumber());
    result->FText.assign(reinterpret_cast<const char*>(start), static_cast<size_t>(end - start));
    return result;
  }

  // Members and elements gather on parser-wide stacks and move into their
  // container at its end, so each container allocates its storage once.
  std::unique_ptr<TJSONValue> ParseObject() {
    if (++FDepth > cMaxDepth) return nullptr;
    ++FPos;  // {
    auto result = std::make_unique<TJSONObject>();
    SkipBlanks();
    if (FPos != FEnd && *FPos == '}') {
      ++FPos;
      --FDepth;
      return result;
    }
    const size_t mark = FPairs.size();
    for (;;) {
      if (FPos == FEnd || *FPos != '"') return nullptr;
      QString name;
      if (!ParseString(name)) return nullptr;
      SkipBlanks();
      if (FPos == FEnd || *FPos != ':') return nullptr;
      ++FPos;
      SkipBlanks();
      std::unique_ptr<TJSONValue> value = ParseValue();
      if (!value) return nullptr;
      FPairs.emplace_back(std::move(name), std::move(value));
      SkipBlanks();
      if (FPos == FEnd) return nullptr;
      if (*FPos == ',') {
        ++FPos;
        SkipBlanks();
        continue;
      }
      if (*FPos != '}') return nullptr;
      ++FPos;
      --FDepth;
      result->FMembers.reserve(FPairs.size() - mark);
      for (size_t i = mark; i < FPairs.size(); ++i) result->FMembers.push_back(std::move(FPairs[i]));
      FPairs.erase(FPairs.begin() + static_cast<std::ptrdiff_t>(mark), FPairs.end());
      return result;
    }
  }

  std::unique_ptr<TJSONValue> ParseArray() {
    if (++FDepth > cMaxDepth) return nullptr;
    ++FPos;  // [
    auto result = std::make_unique<TJSONArray>();
    SkipBlanks();
    if (FPos != FEnd && *FPos == ']') {
      ++FPos;
      --FDepth;
      return result;
    }
    const size_t mark = FElements.size();
    for (;;) {
      std::unique_ptr<TJSONValue> value = ParseValue();
      if (!value) return nullptr;
      FElements.push_back(std::move(value));
      SkipBlanks();
      if (FPos == FEnd) return nullptr;
      if (*FPos == ',') {
        ++FPos;
        SkipBlanks();
        continue;
      }
      if (*FPos != ']') return nullptr;
      ++FPos;
      --FDepth;
      result->FElements.reserve(FElements.size() - mark);
      for (size_t i = mark; i < FElements.size(); ++i) result->FElements.push_back(std::move(FElements[i]));
      FElements.erase(FElements.begin() + static_cast<std::ptrdiff_t>(mark), FElements.end());
      return result;
    }
  }

  static int HexValue(unsigned char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  }

  // FPos at the opening quote. Short texts repeat a lot in large documents
  // (names above all), so equal ones share one string.
  bool ParseString(QString& AText) {
    const unsigned char* start = ++FPos;
    const unsigned char* p = start;
    while (p != FEnd && *p != '"' && *p != '\\' && *p >= 0x20 && *p < 0x80) ++p;
    if (p == FEnd) return false;
    const bool plain = *p == '"';
    if (!plain) {
      // Find the closing quote; the decoder checks the rest.
      while (p != FEnd && *p != '"') {
        if (*p == '\\' && ++p == FEnd) return false;
        ++p;
      }
      if (p == FEnd) return false;
    }
    TInterned* slot = Slot(start, p - start);
    if (slot && slot->Start) {
      AText = slot->Text;
    } else if (plain) {
      AText = QString::fromLatin1(reinterpret_cast<const char*>(start), p - start);
    } else if (!DecodeString(start, p, AText)) {
      return false;
    }
    if (slot && !slot->Start) *slot = {start, p - start, AText};
    FPos = p + 1;
    return true;
  }

  // The general case: escapes and UTF-8 in [AStart, AStop), decoded straight
  // into a string of the right capacity (never more UTF-16 units than bytes).
  bool DecodeString(const unsigned char* AStart, const unsigned char* AStop, QString& AText) {
    const unsigned char* stop = AStop;
    QString result(stop - AStart, Qt::Uninitialized);
    char16_t* out = reinterpret_cast<char16_t*>(result.data());
    const unsigned char* p = AStart;
    while (p != stop) {
      const unsigned char c = *p;
      if (c < 0x80) {
        if (c < 0x20) return false;
        if (c != '\\') {
          *out++ = c;
          ++p;
          continue;
        }
        ++p;  // the escape's letter is before stop: stop is never right after a lone backslash
        switch (*p) {
          case '"':
            *out++ = u'"';
            break;
          case '\\':
            *out++ = u'\\';
            break;
          case '/':
            *out++ = u'/';
            break;
          case 'b':
            *out++ = u'\b';
            break;
          case 'f':
            *out++ = u'\f';
            break;
          case 'n':
            *out++ = u'\n';
            break;
          case 'r':
            *out++ = u'\r';
            break;
          case 't':
            *out++ = u'\t';
            break;
          case 'u': {
            if (stop - p < 5) return false;
            char16_t unit = 0;
            for (int i = 1; i <= 4; ++i) {
              const int digit = HexValue(p[i]);
              if (digit < 0) return false;
              unit = static_cast<char16_t>(unit * 16 + digit);
            }
            *out++ = unit;
            p += 4;
            break;
          }
          default:
            return false;
        }
        ++p;
        continue;
      }
      // UTF-8 sequence, strictly: no overlong forms, no surrogates, at most U+10FFFF.
      char32_t cp;
      int extra;
      char32_t minimum;
      if ((c & 0xE0) == 0xC0) {
        cp = c & 0x1F, extra = 1, minimum = 0x80;
      } else if ((c & 0xF0) == 0xE0) {
        cp = c & 0x0F, extra = 2, minimum = 0x800;
      } else if ((c & 0xF8) == 0xF0) {
        cp = c & 0x07, extra = 3, minimum = 0x10000;
      } else {
        return false;
      }
      if (stop - p <= extra) return false;
      for (int i = 1; i <= extra; ++i) {
        if ((p[i] & 0xC0) != 0x80) return false;
        cp = (cp << 6) | (p[i] & 0x3F);
      }
      if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
      if (cp >= 0x10000) {
        cp -= 0x10000;
        *out++ = static_cast<char16_t>(0xD800 + (cp >> 10));
        *out++ = static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
      } else {
        *out++ = static_cast<char16_t>(cp);
      }
      p += extra + 1;
    }
    result.truncate(out - reinterpret_cast<char16_t*>(result.data()));
    AText = std::move(result);
    return true;
  }

  static constexpr qsizetype cMaxInternedLength = 40;
  static constexpr size_t cMaxInternSlots = 4096;

  // A text seen before: its bytes stay in the input, so a slot costs no copy.
  struct TInterned {
    const unsigned char* Start = nullptr;
    qsizetype Length = 0;
    QString Text;
  };

  // The slot for these bytes: a hit has Start set, a miss is cleared for the
  // caller to fill; none for texts too long to share.
  TInterned* Slot(const unsigned char* AStart, qsizetype ALength) {
    if (ALength > cMaxInternedLength) return nullptr;
    uint32_t hash = 2166136261u;
    for (qsizetype i = 0; i < ALength; ++i) hash = (hash ^ AStart[i]) * 16777619u;
    TInterned& slot = FInterned[hash & (FInterned.size() - 1)];
    if (slot.Start && slot.Length == ALength && std::memcmp(slot.Start, AStart, static_cast<size_t>(ALength)) == 0)
      return &slot;
    slot.Start = nullptr;
    return &slot;
  }

  const unsigned char* FPos;
  const unsigned char* FEnd;
  int FDepth = 0;
  std::vector<TInterned> FInterned;  // a power of two in size
  std::vector<TJSONPair> FPairs;
  std::vector<std::unique_ptr<TJSONValue>> FElements;
};

std::unique_ptr<TJSONValue> TJSONObject::ParseJSONValue(const QString& AData) {
  const QByteArray bytes = AData.toUtf8();
  return ParseJSONValue(bytes);
}

std::unique_ptr<TJSONValue> TJSONObject::ParseJSONValue(const QByteArray& AData, qsizetype AOffset, qsizetype ACount,
                                                        bool AIsUTF8) {
  if (AOffset < 0 || AOffset > AData.size()) return nullptr;
  const qsizetype available = AData.size() - AOffset;
  const qsizetype count = ACount < 0 ? available : std::min(ACount, available);
  try {
    if (!AIsUTF8) {
      const QByteArray utf8 = DecodeWin1251(AData.mid(AOffset, count)).toUtf8();
      return TJSONParser(utf8.constData(), utf8.size()).ParseDocument();
    }
    return TJSONParser(AData.constData() + AOffset, count).ParseDocument();
  } catch (const std::exception&) {
    return nullptr;  // out of memory on a hostile text
  }
}

std::unique_ptr<TJSONObject> TJSONObject::LoadFromText(const QString& AText, const QString& APath) {
  try {
    std::unique_ptr<TJSONValue> root = ParseJSONValue(AText);
    auto* object = dynamic_cast<TJSONObject*>(root.get());
    if (!object) return nullptr;
    const QStringList names = SplitPath(APath.trimmed());
    if (names.isEmpty()) {
      (void)root.release();
      return std::unique_ptr<TJSONObject>(object);
    }
    // The object reached is taken out of its parent, so the rest can go.
    TJSONObject* parent = object;
    for (qsizetype i = 0; i < names.size(); ++i) {
      TJSONPair* pair = parent->Get(names[i]);
      if (!pair) return nullptr;
      auto* next = dynamic_cast<TJSONObject*>(pair->JsonValue());
      if (!next) return nullptr;
      if (i + 1 == names.size()) {
        std::unique_ptr<TJSONValue> taken = pair->TakeJsonValue();
        (void)taken.release();
        return std::unique_ptr<TJSONObject>(next);
      }
      parent = next;
    }
    return nullptr;
  } catch (...) {
    return nullptr;
  }
}

std::unique_ptr<TJSONObject> TJSONObject::LoadFromUTF8File(const QString& AFileName) {
  QFile file(AFileName);
  if (!file.open(QIODevice::ReadOnly))
    throw EInOutError(QStringLiteral("Cannot open file \"%1\". %2").arg(AFileName, file.errorString()));
  QByteArray bytes = file.readAll();
  if (file.error() != QFileDevice::NoError)
    throw EInOutError(QStringLiteral("Cannot read file \"%1\". %2").arg(AFileName, file.errorString()));
  if (bytes.startsWith("\xEF\xBB\xBF")) bytes.remove(0, 3);
  if (!IsValidUtf8(bytes)) return LoadFromText(QString::fromUtf8(bytes));
  std::unique_ptr<TJSONValue> root = ParseJSONValue(bytes);
  if (!dynamic_cast<TJSONObject*>(root.get())) return nullptr;
  return std::unique_ptr<TJSONObject>(static_cast<TJSONObject*>(root.release()));
}

void TJSONObject::SaveToUTF8File(const QString& AFileName) const {
  QSaveFile file(AFileName);
  const QByteArray bytes = ToJSONBytes();
  if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
    throw EInOutError(QStringLiteral("Cannot create file \"%1\". %2").arg(AFileName, file.errorString()));
}
