#pragma once

#include <QByteArray>
#include <QString>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "src/Platform/uVariant.h"

// The JSON document model. Our own because the system relies on what general
// libraries do not keep: duplicate names in an object, the exact text of parsed
// numbers, and a writer that emits pure ASCII with "\/" and upper-case "\uXXXX"
// per UTF-16 code unit.

class TJSONWriter;
class TJSONParser;

class TJSONAncestor {
 public:
  TJSONAncestor() = default;
  TJSONAncestor(const TJSONAncestor&) = delete;
  TJSONAncestor& operator=(const TJSONAncestor&) = delete;
  virtual ~TJSONAncestor() = default;

  // The text of a string, the text of a number (see TJSONNumber), else "".
  virtual QString Value() const { return QString(); }
  // An upper bound of the written text's length in bytes.
  virtual qsizetype EstimatedByteSize() const = 0;
  // Writes the text into AData at AOffset (growing it as needed); returns the offset after it.
  qsizetype ToBytes(QByteArray& AData, qsizetype AOffset) const;
  // The written text, but with characters outside ASCII left as they are.
  QString ToRawString() const;
  virtual std::unique_ptr<TJSONAncestor> Clone() const = 0;
  // An owned value is freed by the object, array or pair holding it. Everything
  // parsed or created here is owned; clearing the flag keeps a value alive past
  // its container, for a caller that frees it itself.
  bool GetOwned() const { return FOwned; }
  void SetOwned(bool AOwned) { FOwned = AOwned; }

  // The compact, pure-ASCII JSON text.
  QString ToString() const;
  QByteArray ToJSONBytes() const;

  virtual void WriteTo(TJSONWriter& AWriter) const = 0;

  // Nodes come from per-thread slabs that go back to the heap once all their
  // nodes are gone: a large document costs a few hundred allocations, not one
  // per value, and frees as fast.
  static void* operator new(std::size_t ASize);
  static void operator delete(void* APointer, std::size_t ASize) noexcept;

 private:
  bool FOwned = true;
};

template <class T>
std::unique_ptr<T> CloneJSON(const T& AValue) {
  return std::unique_ptr<T>(static_cast<T*>(AValue.Clone().release()));
}

class TJSONValue : public TJSONAncestor {};

class TJSONString : public TJSONValue {
 public:
  TJSONString() = default;
  explicit TJSONString(QString AValue) : FValue(std::move(AValue)) {}
  QString Value() const override { return FValue; }
  qsizetype EstimatedByteSize() const override { return 2 + 6 * FValue.size(); }
  QString TakeText() { return std::move(FValue); }
  void SetText(QString AValue) { FValue = std::move(AValue); }
  std::unique_ptr<TJSONAncestor> Clone() const override { return std::make_unique<TJSONString>(FValue); }
  void WriteTo(TJSONWriter& AWriter) const override;

 protected:
  friend class TJSONPair;
  QString FValue;
};

// A number kept as its JSON text: parsed numbers keep the text as read, so
// nothing is lost to a double or to 64 bits. (The text lives in the number
// itself, not in the string part.)
class TJSONNumber : public TJSONString {
 public:
  template <CVariantInteger T>
  explicit TJSONNumber(T AValue) : FText(std::to_string(static_cast<int64_t>(AValue))) {}
  // The general form with 15 significant digits and "."; NaN and infinities,
  // which JSON cannot hold, are written as null.
  explicit TJSONNumber(double AValue);
  // The exact amount with "." and at most four decimals ("12.3456").
  explicit TJSONNumber(Currency AValue);
  // None when AText is not a JSON number.
  static std::unique_ptr<TJSONNumber> FromText(const QString& AText);

  // Short texts and texts with "." are read as a double and given in the
  // general form with the process's decimal separator; longer integers in
  // decimal. A text that fits neither (an exponent beyond the double range)
  // is given as it stands.
  QString Value() const override;
  QString NumberText() const { return QString::fromLatin1(FText.data(), static_cast<qsizetype>(FText.size())); }
  // The text read with "." as decimal separator; out of range gives +-infinity.
  double AsDouble() const;
  // Whether the text is an integer that fits 64 bits (no fraction, no exponent).
  bool TryAsInt64(int64_t& AValue) const;
  // The decimal text rounded half to even at four decimals, without a detour
  // through a double; EConvertError beyond the currency range.
  Currency AsCurrency() const;
  qsizetype EstimatedByteSize() const override { return static_cast<qsizetype>(FText.size()); }
  std::unique_ptr<TJSONAncestor> Clone() const override;
  void WriteTo(TJSONWriter& AWriter) const override;

 private:
  friend class TJSONParser;
  TJSONNumber() = default;
  std::string FText;  // ASCII; short numbers need no allocation
};

class TJSONTrue : public TJSONValue {
 public:
  qsizetype EstimatedByteSize() const override { return 4; }
  std::unique_ptr<TJSONAncestor> Clone() const override { return std::make_unique<TJSONTrue>(); }
  void WriteTo(TJSONWriter& AWriter) const override;
};

class TJSONFalse : public TJSONValue {
 public:
  qsizetype EstimatedByteSize() const override { return 5; }
  std::unique_ptr<TJSONAncestor> Clone() const override { return std::make_unique<TJSONFalse>(); }
  void WriteTo(TJSONWriter& AWriter) const override;
};

class TJSONNull : public TJSONValue {
 public:
  qsizetype EstimatedByteSize() const override { return 4; }
  std::unique_ptr<TJSONAncestor> Clone() const override { return std::make_unique<TJSONNull>(); }
  void WriteTo(TJSONWriter& AWriter) const override;
};

// Objects hold their pairs in place (a pair is no allocation of its own), so a
// pointer to a pair is valid until its object gains or loses a pair.
class TJSONPair : public TJSONAncestor {
 public:
  TJSONPair(std::unique_ptr<TJSONString> AName, std::unique_ptr<TJSONValue> AValue);
  TJSONPair(QString AName, std::unique_ptr<TJSONValue> AValue);
  TJSONPair(TJSONPair&& AOther) noexcept;
  TJSONPair& operator=(TJSONPair&& AOther) noexcept;
  ~TJSONPair() override;

  TJSONString* JsonString() const { return &FJsonString; }
  TJSONValue* JsonValue() const { return FJsonValue.get(); }
  const QString& Name() const { return FJsonString.FValue; }
  void SetJsonValue(std::unique_ptr<TJSONValue> AValue);
  // Takes the value out of the pair; the caller owns it.
  std::unique_ptr<TJSONValue> TakeJsonValue() { return std::move(FJsonValue); }

  qsizetype EstimatedByteSize() const override;
  std::unique_ptr<TJSONAncestor> Clone() const override;
  void WriteTo(TJSONWriter& AWriter) const override;

 private:
  // Held in place: a name costs no allocation of its own.
  mutable TJSONString FJsonString;
  std::unique_ptr<TJSONValue> FJsonValue;
};

class TJSONArray;

class TJSONObject : public TJSONValue {
 public:
  TJSONObject() = default;
  ~TJSONObject() override;

  // Parsing: the whole text must be one JSON value (blanks may follow only an
  // object or an array); any deviation gives none. Never raises.
  static std::unique_ptr<TJSONValue> ParseJSONValue(const QString& AData);
  // ACount < 0 takes the rest. Bytes that are not UTF-8 are read as Windows-1251.
  static std::unique_ptr<TJSONValue> ParseJSONValue(const QByteArray& AData, qsizetype AOffset = 0,
                                                    qsizetype ACount = -1, bool AIsUTF8 = true);
  // The parsed object, or the object that APath leads to (detached from the
  // rest); none when the text does not parse or the result is not an object.
  static std::unique_ptr<TJSONObject> LoadFromText(const QString& AText, const QString& APath = QString());
  // EInOutError when the file cannot be read.
  static std::unique_ptr<TJSONObject> LoadFromUTF8File(const QString& AFileName);
  // UTF-8 without byte-order mark; the file is replaced only once fully written.
  void SaveToUTF8File(const QString& AFileName) const;

  int Size() const { return static_cast<int>(FMembers.size()); }
  TJSONPair* Get(int AIndex) const;
  // First pair of that name (letter case counts), or none.
  TJSONPair* Get(const QString& APairName) const;
  TJSONValue* GetValue(const QString& APairName) const;
  bool Contains(const QString& APairName) const { return Get(APairName) != nullptr; }
  // Takes the first pair of that name out; the caller owns it.
  std::unique_ptr<TJSONPair> RemovePair(const QString& APairName);
  const std::vector<TJSONPair>& Pairs() const { return FMembers; }

  // Nothing is added for a missing pair, name or value, an empty name, or (text
  // form) an empty value text.
  TJSONObject* AddPair(std::unique_ptr<TJSONPair> APair);
  TJSONObject* AddPair(std::unique_ptr<TJSONString> AName, std::unique_ptr<TJSONValue> AValue);
  TJSONObject* AddPair(const QString& AName, std::unique_ptr<TJSONValue> AValue);
  TJSONObject* AddPair(const QString& AName, const QString& AValue);
  TJSONObject* AddPair(const QString& AName, const char* AValue) { return AddPair(AName, QString::fromUtf8(AValue)); }

  // Typed helpers.
  void StoreString(const QString& AKey, const QString& AValue);  // empty text adds nothing
  void StoreInteger(const QString& AKey, int64_t AValue);
  void StoreFloat(const QString& AKey, double AValue);  // NaN and infinities as null
  void StoreBoolean(const QString& AKey, bool AValue);
  void StoreColor(const QString& AKey, uint32_t AValue);

  TJSONValue* ExtractValue(const QString& AKey) const { return GetValue(AKey); }
  TJSONObject* ExtractObject(const QString& AKey) const;  // none when not an object
  TJSONArray* ExtractArray(const QString& AKey) const;    // none when not an array
  // With a path, the key is looked up in the object the path leads to; "" when
  // either is missing.
  QString ExtractString(const QString& AKey, const QString& APath = QString()) const;
  // EConvertError when the text is not a 32-bit integer.
  int32_t ExtractInteger(const QString& AKey, int32_t ADefault = 0) const;
  // EConvertError when a string does not hold a number ("." as separator).
  double ExtractFloat(const QString& AKey, double ADefault = 0) const;
  // true/false literals; else "true"/"false" texts; else any non-zero integer.
  bool ExtractBoolean(const QString& AKey) const;
  uint32_t ExtractColor(const QString& AKey) const;
  // Follows names separated by "/" (or blanks); none when a member is missing or
  // a step is not an object. An empty path gives this object.
  TJSONValue* DelveIntoPath(const QString& APath) const;

  qsizetype EstimatedByteSize() const override;
  std::unique_ptr<TJSONAncestor> Clone() const override;
  void WriteTo(TJSONWriter& AWriter) const override;

 private:
  friend class TJSONParser;
  std::vector<TJSONPair> FMembers;
};

class TJSONArray : public TJSONValue {
 public:
  TJSONArray() = default;
  ~TJSONArray() override;

  int Size() const { return static_cast<int>(FElements.size()); }
  TJSONValue* Get(int AIndex) const;
  // Takes the element out; the caller owns it. None out of range.
  std::unique_ptr<TJSONValue> Remove(int AIndex);
  const std::vector<std::unique_ptr<TJSONValue>>& Elements() const { return FElements; }

  TJSONArray* AddElement(std::unique_ptr<TJSONValue> AElement);  // none is ignored
  TJSONArray* Add(const QString& AValue);
  TJSONArray* Add(const char* AValue) { return Add(QString::fromUtf8(AValue)); }
  template <CVariantInteger T>
  TJSONArray* Add(T AValue) {
    return AddElement(std::make_unique<TJSONNumber>(AValue));
  }
  TJSONArray* Add(double AValue);  // NaN and infinities as null
  TJSONArray* Add(bool AValue);
  TJSONArray* Add(std::unique_ptr<TJSONObject> AValue);  // none is added as null
  TJSONArray* Add(std::unique_ptr<TJSONArray> AValue);

  qsizetype EstimatedByteSize() const override;
  std::unique_ptr<TJSONAncestor> Clone() const override;
  void WriteTo(TJSONWriter& AWriter) const override;

 private:
  friend class TJSONParser;
  std::vector<std::unique_ptr<TJSONValue>> FElements;
};

// Output buffer of the writer; ARaw leaves characters outside ASCII unescaped.
class TJSONWriter {
 public:
  explicit TJSONWriter(QByteArray& AOutput, qsizetype AOffset, bool ARaw);
  ~TJSONWriter();
  void Append(char ACh) {
    Reserve(1);
    *FCursor++ = ACh;
  }
  void Append(const char* AText, qsizetype ALength);
  void AppendString(const QString& AText);
  qsizetype Finish();

 private:
  void Reserve(qsizetype ACount) {
    if (FEnd - FCursor < ACount) Grow(ACount);
  }
  void Grow(qsizetype ACount);

  QByteArray& FOutput;
  qsizetype FOriginalSize = 0;
  char* FCursor;
  char* FEnd;
  bool FRaw;
};
