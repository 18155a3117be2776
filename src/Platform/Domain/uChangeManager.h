#pragma once

#include <QHash>
#include <QString>
#include <deque>
#include <memory>
#include <vector>

#include "src/Platform/Domain/uLink.h"
#include "src/Platform/Domain/uReaction.h"
#include "src/Platform/uVariant.h"

class TBaseField;
class TChangeHolder;
class TDefinition;
class TDomain;
class TEntity;
class TJSONObject;
class TJSONValue;
class TStream;
class TUserSession;

// What the change manager asks of the window that owns a session: a Yes/No
// question. The interactor of the UI implements it.
class TDomainInteractor {
 public:
  virtual ~TDomainInteractor() = default;
  virtual bool AskYesNo(const QString& ACaption, const QString& AText) = 0;
};

// The change record of one entity in one holder: whether the holder created
// or deleted it, and each changed field's JSON value from before its first
// change. The entity is reached through its link, so a record outlives it.
class TChangedEntity {
 public:
  // Raises "Wrong data for keeping changes!" for a missing or null entity.
  TChangedEntity(TChangeHolder* AHolder, bool ADeleted, bool AIsNew, TEntity* AEntity);
  ~TChangedEntity();
  TChangedEntity(const TChangedEntity&) = delete;
  TChangedEntity& operator=(const TChangedEntity&) = delete;

  // None once the entity is gone.
  TEntity* Entity() const { return FEntityLink.Owner(); }
  TLink* Link() const { return FEntityLink.Get(); }
  const QString& DefinitionName() const;
  bool Deleted() const { return FDeleted; }
  bool IsNew() const { return FIsNew; }
  int FieldCount() const { return static_cast<int>(FChangedFields.size()); }
  const QString& FieldName(int AIndex) const { return FChangedFields[static_cast<size_t>(AIndex)].Name; }
  // The entity's field of the entry, or none when the entity is gone.
  TBaseField* GetField(int AIndex) const;
  // The kept value of the entry; none for a field that had no value.
  const TJSONValue* OldValue(int AIndex) const { return FChangedFields[static_cast<size_t>(AIndex)].OldValue.get(); }
  int IndexOfField(const QString& AFieldName) const;

  // True when a value of the field was kept before (a repeated change).
  bool KeepOldData(const QString& AFieldName);
  // True when the field is back at its kept value and left the record.
  bool RegisterFieldChanges(const QString& AFieldName);
  void DropField(int AIndex);

  // Stores the entity. The record keeps what a revert needs until the
  // holder's transaction is committed.
  void Apply(TEntity* ALogRecord, int ALogActionID, QString& ADescription);
  // After the commit: a stored deletion leaves its collection.
  void Committed();
  void Revert();
  // Takes the nested record of the same entity.
  void MergeFrom(TChangedEntity* ANested);
  void SetHolder(TChangeHolder* AHolder) { FHolder = AHolder; }
  void SetDeleted(bool ADeleted) { FDeleted = ADeleted; }
  void SetIsNew(bool AIsNew) { FIsNew = AIsNew; }
  // The "SysLogActions" entity that describes this change (kind 1 insertion,
  // 2 modification, 3 deletion); ADescription gets its text.
  void WriteLogAction(TEntity* ALogRecord, int ALogActionID, TEntity* AEntity, int AKind, QString& ADescription);

 private:
  struct TKeptField {
    QString Name;
    std::unique_ptr<TJSONValue> OldValue;
  };

  TDomain* FDomain;
  TDefinition* FDefinition;
  TLinkRef FEntityLink;
  bool FIsNew;
  bool FDeleted;
  // Set by Apply: the entity's log ID before it, for a revert.
  bool FApplied = false;
  int FOldLogID = 0;
  std::vector<TKeptField> FChangedFields;
  TChangeHolder* FHolder;  // not owned
};

// The change set of one edit. Every change of domain data goes through one:
// it keeps old values for a revert, stores the changes in one transaction,
// and queues the reactions the changes trigger outside the change set.
// The registrations are virtual so that tests can record them.
class TChangeHolder {
 public:
  TChangeHolder(TUserSession* ASession, TChangeHolder* AParentHolder = nullptr);
  virtual ~TChangeHolder();
  TChangeHolder(const TChangeHolder&) = delete;
  TChangeHolder& operator=(const TChangeHolder&) = delete;

  TUserSession* Session() const { return FSession; }
  TDomain* Domain() const { return FDomain; }
  TChangeHolder* ParentHolder() const { return FParentHolder; }
  int ChangedCount() const { return static_cast<int>(FChangedEntities.size()); }

  // Change operations; each requires the domain lock. The field takes the stream.
  virtual void SetFieldValue(TEntity* AEntity, const QString& AFieldName, const Variant& AValue);
  virtual void SetFieldEntity(TEntity* AEntity, const QString& AFieldName, TEntity* AValue);
  virtual void SetFieldStream(TEntity* AEntity, const QString& AFieldName, std::unique_ptr<TStream> AStream);
  // The definition's state field; AFieldName is not used.
  void SetFieldState(TEntity* AEntity, const QString& AFieldName, int AValue);
  // The same inside an atomic write of the session, for callers without the lock.
  void AtomicSetFieldValue(TEntity* AEntity, const QString& AFieldName, const Variant& AValue);
  void AtomicSetFieldEntity(TEntity* AEntity, const QString& AFieldName, TEntity* AValue);
  void AtomicSetFieldStream(TEntity* AEntity, const QString& AFieldName, std::unique_ptr<TStream> AStream);

  // Registrations made by entities, fields and collections.
  virtual void RegisterEntityCreating(TEntity* AEntity);
  virtual void RegisterEntityDeleting(TEntity* AEntity);
  // Keeps the field's value from before its first change in this holder;
  // true when one was already kept (a repeated change).
  virtual bool KeepOldData(TEntity* AEntity, const QString& AFieldName);
  // After a repeated change: a field back at its kept value stops being a change.
  virtual void RegisterFieldChanges(TEntity* AEntity, const QString& AFieldName);
  // The entity was deleted elsewhere: its record goes.
  void ProcessDeletingEntity(TEntity* AEntity);
  // A change of AEntity received from another workstation meets this
  // holder's changes: a field the user keeps leaves AFields.
  void ProcessUpdatingEntity(TDomainInteractor* AInteractor, TEntity* AEntity, const QString& AContext,
                             TJSONObject* AFields);
  // Runs or queues the reactions of AInstance's definition for the chain.
  virtual void ScheduleCalculation(const QString& AFieldChain, TEntity* AInstance, TEntity* AParameter);
  void ProcessCalculations();
  int QueuedCalculations() const { return static_cast<int>(FCalcQueue.size()); }

  bool IsModified() const { return !FChangedEntities.empty(); }
  bool IsVisibleModified() const;
  bool NeedStoring() const { return FParentHolder == nullptr; }
  // The entity of the record, none when it is gone.
  TEntity* GetChanged(int AIndex) const;
  int GetChangedFieldCount(int AIndex) const;
  TChangedEntity* Record(int AIndex) const { return FChangedEntities[static_cast<size_t>(AIndex)].get(); }
  TChangedEntity* FindRecord(TEntity* AEntity) const;

  // Ending a holder (the session calls these). ApplyChanges answers the log
  // ID of the change set, -1 when nothing was logged.
  int ApplyChanges(bool ASkipLogging);
  void RevertChanges();
  void TransferChanges();

 private:
  struct TCalculation {
    std::vector<TReactionRef> Reactions;
    TLinkRef Entity;
    TLinkRef Parameter;
  };

  TChangedEntity* AddRecord(TEntity* AEntity, bool ADeleted, bool AIsNew);
  void RemoveRecord(TChangedEntity* ARecord);
  std::vector<std::unique_ptr<TChangedEntity>> TakeRecords();
  void AdoptChange(std::unique_ptr<TChangedEntity> ARecord);
  void CheckLocked() const;
  bool Ignored(TEntity* AEntity) const;

  TDomain* FDomain;        // not owned
  TUserSession* FSession;  // not owned
  std::vector<std::unique_ptr<TChangedEntity>> FChangedEntities;
  // The records by their entity's link: holders of many entities stay linear.
  QHash<TLink*, TChangedEntity*> FRecordsByLink;
  TChangeHolder* FParentHolder;  // not owned
  bool FIsCancelling = false;
  std::deque<TCalculation> FCalcQueue;
  bool FIsCalculating = false;
};
