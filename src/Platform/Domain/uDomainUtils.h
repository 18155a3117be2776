#pragma once

// Small pieces the domain model shares: change notifications and the text
// operators of query conditions.

#include <QByteArray>
#include <QString>
#include <climits>
#include <cstdint>
#include <memory>

#include "src/Platform/uConsts.h"
#include "src/Platform/uVariant.h"

constexpr uint32_t DM_DOMAIN_CHANGED = 1079;
constexpr uint32_t DM_VIEW_CHANGED = 1080;

// Change kinds of a notification; a bit set so that listeners can filter.
constexpr int dckFieldChanged = 1;
constexpr int dckEntityDeleted = 2;
constexpr int dckEntityChanged = 4;
constexpr int dckSelectionChanged = 8;
constexpr int dckEntityAdded = 16;
constexpr int dckEntityRemoved = 32;
constexpr int dckViewStateChanged = 64;

// One change notification. Sender and parameter are entities, collections,
// entity lists or fields; none where the kind has no parameter.
struct TDomainChangeMessage {
  uint32_t Msg = DM_DOMAIN_CHANGED;
  int Kind = 0;
  TObject* Sender = nullptr;
  TObject* Parameter = nullptr;
};

class TEntity;
class TCollection;

// Whoever watches domain objects: views, and entity lists watching their
// collections. Notifications are delivered synchronously on the main thread;
// a listener unsubscribes before it is destroyed, and an object that goes
// first tells its listeners through the two lifetime calls below (nothing
// to do for a listener that keeps no pointers).
class TDomainListener {
 public:
  virtual ~TDomainListener() = default;
  virtual void DomainChanged(const TDomainChangeMessage& AMessage) = 0;
  // Entities of a collection this listener is registered with are about to
  // be freed: AEntity alone, or all of them when AEntity is none.
  virtual void EntitiesFreeing(TCollection* ACollection, TEntity* AEntity) {
    (void)ACollection;
    (void)AEntity;
  }
  // The object this listener is registered with is about to be freed: the
  // registration ends with it, the listener must not unsubscribe any more.
  virtual void SenderFreeing(TObject* ASender) { (void)ASender; }
};

// A byte stream held in memory: the value of a blob field. It travels in
// variants as an object reference.
class TStream : public TObject {
 public:
  TStream() = default;
  explicit TStream(QByteArray AData) : FData(std::move(AData)) {}
  const QByteArray& Data() const { return FData; }
  void SetData(QByteArray AData) { FData = std::move(AData); }
  qsizetype Size() const { return FData.size(); }
  std::unique_ptr<TStream> Clone() const { return std::make_unique<TStream>(FData); }

 private:
  QByteArray FData;
};

class TJSONValue;

// A JSON number that must be an integer in [AMin, AMax] (an ID, a count, a
// colour): input from other workstations, so a fraction or a value out of
// range raises EConvertError "'<number>' is not a valid integer value"
// instead of wrapping; a value that is no number is an "Assertion failure".
int64_t JSONIntegerIn(const TJSONValue* AValue, int64_t AMin = INT32_MIN, int64_t AMax = INT32_MAX);

// "=" ckEqualTo, "^" ckMatchesTo, ">" ckGreaterThan, "<" ckLessThan, "}" ckPartOf,
// "{" ckContains, "+" ckCrosses; anything else raises "Wrong compare operator "
// with the operator in double quotes.
TConditionKind ConditionKindByOperator(const QString& AOperator);
