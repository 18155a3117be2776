#pragma once

#include <QString>
#include <memory>

#include "src/Platform/uVariant.h"

class TEntity;
class TStream;
class TUserSession;

// The change set of one edit, as entities, fields and collections see it:
// every change of domain data goes through one, which keeps old values for
// a revert and queues the reactions the changes trigger.
class TChangeHolder {
 public:
  virtual ~TChangeHolder() = default;

  virtual TUserSession* Session() const = 0;

  // Change operations: the entity's _SetFieldValue / _SetFieldEntity /
  // _SetFieldStream with this holder. The field takes the stream.
  virtual void SetFieldValue(TEntity* AEntity, const QString& AFieldName, const Variant& AValue) = 0;
  virtual void SetFieldEntity(TEntity* AEntity, const QString& AFieldName, TEntity* AValue) = 0;
  virtual void SetFieldStream(TEntity* AEntity, const QString& AFieldName, std::unique_ptr<TStream> AStream) = 0;

  // Registrations made by entities, fields and collections.
  virtual void RegisterEntityCreating(TEntity* AEntity) = 0;
  virtual void RegisterEntityDeleting(TEntity* AEntity) = 0;
  // Keeps the field's value from before its first change in this holder;
  // true when one was already kept (a repeated change).
  virtual bool KeepOldData(TEntity* AEntity, const QString& AFieldName) = 0;
  // After a repeated change: a field back at its kept value stops being a change.
  virtual void RegisterFieldChanges(TEntity* AEntity, const QString& AFieldName) = 0;
  // Runs or queues the reactions of AInstance's definition for the chain.
  virtual void ScheduleCalculation(const QString& AFieldChain, TEntity* AInstance, TEntity* AParameter) = 0;
};
