#include "src/Platform/Domain/uChangeManager.h"

#include <algorithm>

#include "src/Platform/Configuration/uDefinition.h"
#include "src/Platform/Configuration/uObjectFieldDef.h"
#include "src/Platform/Domain/Fields/uBaseField.h"
#include "src/Platform/Domain/uCollection.h"
#include "src/Platform/Domain/uDomain.h"
#include "src/Platform/Domain/uDomainUtils.h"
#include "src/Platform/Domain/uEntity.h"
#include "src/Platform/Domain/uSession.h"
#include "src/Platform/Domain/uStorage.h"
#include "src/Platform/uException.h"
#include "src/Platform/uJSON.h"

static constexpr const char* cModulePath = "src/Platform/Domain/uChangeManager";

namespace {

const QString cSysLog = QStringLiteral("SysLog");
const QString cSysLogActions = QStringLiteral("SysLogActions");

bool Exists(const TEntity* AEntity) {
  return AEntity && !AEntity->IsNull();
}

// Two kept values are the same change when their JSON texts are: a missing
// value equals only a missing value.
bool SameJSON(const TJSONValue* AOld, const TJSONValue* ANew) {
  if (!AOld || !ANew) return !AOld && !ANew;
  return AOld->ToString() == ANew->ToString();
}

QString KindName(int AKind) {
  static const char* const names[] = {"Undefined", "Insertion", "Modification", "Deletion"};
  return QLatin1String(AKind >= 0 && AKind <= 3 ? names[AKind] : names[0]);
}

// "%s" placeholders of a caller's text, filled in order.
QString FormatText(const QString& AFormat, const QStringList& AArgs) {
  QString result;
  qsizetype next = 0;
  for (qsizetype i = 0; i < AFormat.size(); ++i) {
    if (AFormat[i] == QLatin1Char('%') && i + 1 < AFormat.size() && AFormat[i + 1] == QLatin1Char('s') &&
        next < AArgs.size()) {
      result += AArgs[next++];
      ++i;
    } else {
      result += AFormat[i];
    }
  }
  return result;
}

}  // namespace

// --- TChangedEntity ---

TChangedEntity::TChangedEntity(TChangeHolder* AHolder, bool ADeleted, bool AIsNew, TEntity* AEntity)
    : FDomain(AHolder ? AHolder->Domain() : nullptr),
      FDefinition(nullptr),
      FIsNew(AIsNew),
      FDeleted(ADeleted),
      FHolder(AHolder) {
  TV_ASSERT(Exists(AEntity), QStringLiteral("Wrong data for keeping changes!"));
  FDefinition = AEntity->Definition();
  if (!FDomain) FDomain = AEntity->Domain();
  FEntityLink = AEntity->GetLink();
}

TChangedEntity::~TChangedEntity() = default;

const QString& TChangedEntity::DefinitionName() const {
  return FDefinition->Name();
}

TBaseField* TChangedEntity::GetField(int AIndex) const {
  TEntity* entity = Entity();
  return entity ? entity->FindField(FieldName(AIndex)) : nullptr;
}

int TChangedEntity::IndexOfField(const QString& AFieldName) const {
  for (size_t i = 0; i < FChangedFields.size(); ++i)
    if (FChangedFields[i].Name == AFieldName) return static_cast<int>(i);
  return -1;
}

bool TChangedEntity::KeepOldData(const QString& AFieldName) {
  if (IndexOfField(AFieldName) >= 0) return true;
  TEntity* entity = Entity();
  TBaseField* field = entity ? entity->FindField(AFieldName) : nullptr;
  FChangedFields.push_back({AFieldName, field ? field->JSON() : nullptr});
  WorkingLog(FDomain,
             QString::asprintf("$$$ [%d] KEPT OLD DATA %s - %s", FieldCount(),
                               qUtf8Printable(entity ? entity->ToString() : QString()), qUtf8Printable(AFieldName)));
  return false;
}

bool TChangedEntity::RegisterFieldChanges(const QString& AFieldName) {
  const int index = IndexOfField(AFieldName);
  if (index < 0) return false;
  TBaseField* field = GetField(index);
  if (!field) return false;
  const std::unique_ptr<TJSONValue> now = field->JSON();
  // The exact values: a log text may round a number or shorten a text.
  if (!SameJSON(OldValue(index), now.get())) {
    WorkingLog(FDomain, QStringLiteral("$$$ SKIPPED"));
    return false;
  }
  DropField(index);
  return true;
}

void TChangedEntity::DropField(int AIndex) {
  FChangedFields.erase(FChangedFields.begin() + AIndex);
}

void TChangedEntity::Apply(TEntity* ALogRecord, int ALogActionID, QString& ADescription) {
  ADescription.clear();
  TEntity* entity = Entity();
  if (!Exists(entity) || entity->ID() == 0 || entity->IsParam() || FDefinition->HasFlag(ccNotSave)) return;
  TStorage* storage = FDomain->Storage();
  TV_ASSERT(storage, QStringLiteral("There is no storage for saving"));
  TLogger* logger = FDomain->Logger();
  const bool isLogEntity = DefinitionName() == cSysLog || DefinitionName() == cSysLogActions;
  storage->Activate(FDefinition->StorageName());
  if (isLogEntity) {
    WorkingLog(FDomain, QStringLiteral("SAVING ") + entity->ToString());
    if (logger) logger->DisableLogging();
  } else {
    WorkingLogEnter(FDomain, QStringLiteral("SAVING ") + entity->ToString());
  }
  try {
    if (FDeleted) {
      WorkingLog(FDomain, QStringLiteral("Deletion..."));
      if (entity->ID() > 0) {
        WriteLogAction(ALogRecord, ALogActionID, entity, 3, ADescription);
        storage->DeleteItem(entity->ID());
      }
      // Leaves its collection only once the transaction is committed.
    } else {
      if (!FApplied) FOldLogID = entity->LogID();
      FApplied = true;
      entity->SetLogID(ALogActionID);
      if (FIsNew) {
        WorkingLog(FDomain, QStringLiteral("Addition..."));
        if (entity->ID() < 0) entity->GenerateID();
        storage->AddItem(
            [entity](TStorage* AStorage) {
              if (entity->IsEnvSpecific())
                AStorage->WriteValue(QStringLiteral("guid"), fkString, entity->EnvironmentID());
              for (int i = 0; i < entity->FieldCount(); ++i) entity->GetField(i)->Transfer(AStorage);
            },
            entity->ID(), ALogActionID);
        entity->SetIsNew(false);
        WriteLogAction(ALogRecord, ALogActionID, entity, 1, ADescription);
      } else {
        WorkingLog(FDomain, QStringLiteral("Updating..."));
        storage->UpdateItem(
            [this, entity](TStorage* AStorage) {
              for (const TKeptField& kept : FChangedFields)
                if (TBaseField* field = entity->FindField(kept.Name)) field->Transfer(AStorage);
            },
            entity->ID(), ALogActionID);
        WriteLogAction(ALogRecord, ALogActionID, entity, 2, ADescription);
      }
    }
    if (isLogEntity) {
      if (logger) logger->EnableLogging();
    } else {
      WorkingLogExit(FDomain, QStringLiteral("SAVED"));
    }
    storage->Deactivate();
  } catch (const std::exception& AError) {
    if (logger) logger->EnableLogging();
    const QString message = QStringLiteral("Error while storing data: ") + QString::fromUtf8(AError.what());
    if (isLogEntity)
      WorkingLog(FDomain, message);
    else
      WorkingLogExit(FDomain, message);
    ADescription.clear();
    storage->Deactivate();
    throw;
  }
}

void TChangedEntity::Committed() {
  TEntity* entity = Entity();
  if (FDeleted && Exists(entity) && entity->Collection()) entity->Collection()->RemoveEntity(entity);
}

void TChangedEntity::Revert() {
  TEntity* entity = Entity();
  if (!Exists(entity)) return;
  WorkingLogEnter(FDomain, QStringLiteral("CANCELING ") + entity->ToString());
  if (FIsNew) {
    entity->Delete(FHolder);
    // The entity may be freed here.
    if (TCollection* collection = entity->Collection()) collection->RemoveEntity(entity);
  } else {
    if (FDeleted) {
      WorkingLog(FDomain, QStringLiteral("UNDELETED"));
      entity->SetDeletedFlag(false);
      FDeleted = false;
    }
    if (FApplied) entity->SetLogID(FOldLogID);
    for (const TKeptField& kept : FChangedFields) {
      TBaseField* field = entity->FindField(kept.Name);
      if (!field) continue;
      field->SetJSON(kept.OldValue.get());
      WorkingLog(FDomain, QStringLiteral("<< ") + kept.Name + QStringLiteral(": ") + FieldKindName(field->FieldKind()));
    }
  }
  WorkingLogExit(FDomain, QStringLiteral("CANCELED"));
}

void TChangedEntity::MergeFrom(TChangedEntity* ANested) {
  TEntity* entity = Entity();
  if (!Exists(entity) || !ANested) return;
  WorkingLogEnter(FDomain, QStringLiteral("PASSING ") + entity->ToString());
  // This record began first: its creation flag and its kept values are from
  // before the outer edit; the nested record only adds what it alone holds.
  FIsNew = FIsNew || ANested->FIsNew;
  FDeleted = FDeleted || ANested->FDeleted;
  for (auto it = ANested->FChangedFields.rbegin(); it != ANested->FChangedFields.rend(); ++it) {
    WorkingLog(FDomain, QStringLiteral("> ") + it->Name + QStringLiteral(": transferred"));
    if (IndexOfField(it->Name) < 0) FChangedFields.push_back({it->Name, std::move(it->OldValue)});
  }
  ANested->FChangedFields.clear();
  WorkingLogExit(FDomain, QStringLiteral("PASSED"));
}

void TChangedEntity::WriteLogAction(TEntity* ALogRecord, int ALogActionID, TEntity* AEntity, int AKind,
                                    QString& ADescription) {
  if (!ALogRecord || !Exists(AEntity)) return;
  const QString& name = AEntity->Definition()->Name();
  if (name == cSysLog || name == cSysLogActions) return;
  TCollection* actions = FDomain->CollectionByName(cSysLogActions);
  TV_ASSERT(actions, QStringLiteral("There is no collection [SysLogActions]"));
  TEntity* action = actions->CreateNewEntity(FHolder, ALogActionID);
  action->_SetFieldEntity(FHolder, QStringLiteral("SysLog"), ALogRecord);
  action->_SetFieldValue(FHolder, QStringLiteral("CollectionName"), AEntity->CollectionName());
  action->_SetFieldValue(FHolder, QStringLiteral("EntityID"), AEntity->ID());
  TCollection* kinds = FDomain->CollectionByName(QStringLiteral("SysLogActionKinds"));
  action->_SetFieldEntity(FHolder, QStringLiteral("ActionKind"),
                          kinds ? kinds->NullableEntityByID(AKind) : NullEntity());

  QString text = AEntity->GetCaption() + QStringLiteral(": ") + KindName(AKind) + QStringLiteral("\r\n");
  TJSONObject values;
  auto describe = [&](TBaseField* AField, const TJSONValue* AOldValue, bool AWithJSON) {
    if (!AField->FieldDef()->HasFlag(cfSystem)) text += AField->LogInfo(AOldValue);
    if (!AWithJSON || AField->FieldDef()->HasFlag(cfNotSave)) return;
    if (std::unique_ptr<TJSONValue> value = AField->JSON()) values.AddPair(AField->FieldName(), std::move(value));
  };
  if (AKind == 2) {
    for (int i = 0; i < FieldCount(); ++i)
      if (TBaseField* field = AEntity->FindField(FieldName(i))) describe(field, OldValue(i), true);
  } else {
    for (int i = 0; i < AEntity->FieldCount(); ++i) describe(AEntity->GetField(i), nullptr, AKind == 1);
  }
  action->_SetFieldValue(FHolder, QStringLiteral("Description"), text);
  action->_SetFieldValue(FHolder, QStringLiteral("JSON"), values.ToString());
  ADescription = text;
}

// --- TChangeHolder ---

TChangeHolder::TChangeHolder(TUserSession* ASession, TChangeHolder* AParentHolder)
    : FDomain(ASession ? ASession->Domain() : nullptr), FSession(ASession), FParentHolder(AParentHolder) {}

TChangeHolder::~TChangeHolder() = default;

void TChangeHolder::CheckLocked() const {
  if (FSession) FSession->CheckLocking(true);
}

void TChangeHolder::SetFieldValue(TEntity* AEntity, const QString& AFieldName, const Variant& AValue) {
  CheckLocked();
  AEntity->_SetFieldValue(this, AFieldName, AValue);
}

void TChangeHolder::SetFieldEntity(TEntity* AEntity, const QString& AFieldName, TEntity* AValue) {
  CheckLocked();
  AEntity->_SetFieldEntity(this, AFieldName, AValue);
}

void TChangeHolder::SetFieldStream(TEntity* AEntity, const QString& AFieldName, std::unique_ptr<TStream> AStream) {
  CheckLocked();
  AEntity->_SetFieldStream(this, AFieldName, std::move(AStream));
}

void TChangeHolder::SetFieldState(TEntity* AEntity, const QString& AFieldName, int AValue) {
  (void)AFieldName;
  CheckLocked();
  AEntity->_SetState(this, AValue);
}

void TChangeHolder::AtomicSetFieldValue(TEntity* AEntity, const QString& AFieldName, const Variant& AValue) {
  FSession->AtomicSetFieldValue(AEntity, AFieldName, AValue, this);
}

void TChangeHolder::AtomicSetFieldEntity(TEntity* AEntity, const QString& AFieldName, TEntity* AValue) {
  FSession->AtomicSetFieldEntity(AEntity, AFieldName, AValue, this);
}

void TChangeHolder::AtomicSetFieldStream(TEntity* AEntity, const QString& AFieldName,
                                         std::unique_ptr<TStream> AStream) {
  FSession->AtomicSetFieldStream(AEntity, AFieldName, std::move(AStream), this);
}

bool TChangeHolder::Ignored(TEntity* AEntity) const {
  return FIsCancelling || !Exists(AEntity) || AEntity->Definition()->HasFlag(ccNotSave);
}

TChangedEntity* TChangeHolder::FindRecord(TEntity* AEntity) const {
  if (!Exists(AEntity)) return nullptr;
  const TLinkRef link = AEntity->GetLink();
  return FRecordsByLink.value(link.Get(), nullptr);
}

TChangedEntity* TChangeHolder::AddRecord(TEntity* AEntity, bool ADeleted, bool AIsNew) {
  auto record = std::make_unique<TChangedEntity>(this, ADeleted, AIsNew, AEntity);
  TChangedEntity* result = record.get();
  FRecordsByLink.insert(result->Link(), result);
  FChangedEntities.push_back(std::move(record));
  return result;
}

void TChangeHolder::RemoveRecord(TChangedEntity* ARecord) {
  FRecordsByLink.remove(ARecord->Link());
  // Searched from the end: the record changed last is the usual one.
  for (auto it = FChangedEntities.rbegin(); it != FChangedEntities.rend(); ++it)
    if (it->get() == ARecord) {
      FChangedEntities.erase(std::next(it).base());
      return;
    }
}

std::vector<std::unique_ptr<TChangedEntity>> TChangeHolder::TakeRecords() {
  FRecordsByLink.clear();
  return std::exchange(FChangedEntities, {});
}

void TChangeHolder::RegisterEntityCreating(TEntity* AEntity) {
  if (Ignored(AEntity)) return;
  if (TChangedEntity* record = FindRecord(AEntity))
    record->SetIsNew(true);
  else
    AddRecord(AEntity, false, true);
  WorkingLog(FDomain, QStringLiteral("$$$ NEW ENTITY, type: ") + AEntity->Definition()->Name());
}

void TChangeHolder::RegisterEntityDeleting(TEntity* AEntity) {
  if (Ignored(AEntity)) return;
  TChangedEntity* record = FindRecord(AEntity);
  if (!record) {
    AddRecord(AEntity, true, false);
    return;
  }
  record->SetDeleted(true);
  if (record->IsNew()) {
    // Created and deleted in one holder: nothing to store.
    RemoveRecord(record);
    WorkingLog(FDomain, QStringLiteral("$$$ REMOVE CHANGED ENTITY"));
  }
}

bool TChangeHolder::KeepOldData(TEntity* AEntity, const QString& AFieldName) {
  if (FIsCancelling) return false;
  TChangedEntity* record = FindRecord(AEntity);
  if (!record) record = AddRecord(AEntity, false, false);
  return record->KeepOldData(AFieldName);
}

void TChangeHolder::RegisterFieldChanges(TEntity* AEntity, const QString& AFieldName) {
  if (FIsCancelling) return;
  TChangedEntity* record = FindRecord(AEntity);
  if (!record) return;
  WorkingLog(FDomain, QStringLiteral("$$$ TRY NEW DATA ") + AFieldName);
  if (record->RegisterFieldChanges(AFieldName) && record->FieldCount() == 0 && !record->IsNew() && !record->Deleted())
    RemoveRecord(record);
}

void TChangeHolder::ProcessDeletingEntity(TEntity* AEntity) {
  if (TChangedEntity* record = FindRecord(AEntity)) RemoveRecord(record);
}

void TChangeHolder::ProcessUpdatingEntity(TDomainInteractor* AInteractor, TEntity* AEntity, const QString& AContext,
                                          TJSONObject* AFields) {
  TChangedEntity* record = FindRecord(AEntity);
  if (!record || !AFields) return;
  for (int i = record->FieldCount() - 1; i >= 0; --i) {
    const QString name = record->FieldName(i);
    TJSONPair* pair = AFields->Get(name);
    TBaseField* field = AEntity->FindField(name);
    if (!pair || !field) continue;
    const QString received = field->LogText(pair->JsonValue());
    const std::unique_ptr<TJSONValue> current = field->JSON();
    const QString local = field->LogText(current.get());
    if (received == local) continue;
    if (AInteractor) {
      const QString description = QString::asprintf("%s(%d):%s)", qUtf8Printable(AEntity->Definition()->Name()),
                                                    AEntity->ID(), qUtf8Printable(AEntity->DisplayName()));
      const QString text = FormatText(AContext, {name, description, received, local});
      const QString caption =
          FDomain ? FDomain->Translate(QStringLiteral("txtVersionsConflict"), QStringLiteral("Конфликт версий"))
                  : QStringLiteral("Конфликт версий");
      if (AInteractor->AskYesNo(caption, text)) {
        AFields->RemovePair(name);
        continue;
      }
    }
    record->DropField(i);
  }
  if (record->FieldCount() == 0 && !record->IsNew() && !record->Deleted()) RemoveRecord(record);
}

void TChangeHolder::ScheduleCalculation(const QString& AFieldChain, TEntity* AInstance, TEntity* AParameter) {
  if (!Exists(AInstance)) return;
  const std::vector<TReactionRef>* reactions = AInstance->Definition()->Reactions()->FindReactions(AFieldChain);
  if (!reactions || reactions->empty()) return;
  if (!FChangedEntities.empty() && !FindRecord(AInstance)) {
    const TLinkRef entity = AInstance->GetLink();
    const TLinkRef parameter = Exists(AParameter) ? AParameter->GetLink() : TLinkRef();
    auto same = [&](const TCalculation& ACall) {
      return ACall.Reactions == *reactions && ACall.Entity.Get() == entity.Get() &&
             ACall.Parameter.Get() == parameter.Get();
    };
    auto it = std::find_if(FCalcQueue.begin(), FCalcQueue.end(), same);
    if (it != FCalcQueue.end()) {
      if (std::next(it) == FCalcQueue.end()) return;
      FCalcQueue.erase(it);
    }
    FCalcQueue.push_back({*reactions, entity, parameter});
    return;
  }
  const std::vector<TReactionRef> procs = *reactions;
  for (const TReactionRef& reaction : procs) reaction->Proc(FSession, this, AInstance, AParameter);
}

void TChangeHolder::ProcessCalculations() {
  if (FIsCalculating) return;
  FIsCalculating = true;
  try {
    while (!FCalcQueue.empty()) {
      const TCalculation call = std::move(FCalcQueue.front());
      FCalcQueue.pop_front();
      TEntity* entity = call.Entity.Owner();
      // An entity freed while queued has nothing left to recalculate.
      if (!Exists(entity) || entity->Deleted()) continue;
      TEntity* parameter = call.Parameter ? call.Parameter.Owner() : nullptr;
      if (call.Parameter && !parameter) continue;
      for (const TReactionRef& reaction : call.Reactions) reaction->Proc(FSession, this, entity, parameter);
    }
  } catch (...) {
    FIsCalculating = false;
    throw;
  }
  FIsCalculating = false;
}

bool TChangeHolder::IsVisibleModified() const {
  for (const auto& record : FChangedEntities) {
    if (record->Deleted()) return true;
    for (int i = 0; i < record->FieldCount(); ++i)
      if (TBaseField* field = record->GetField(i); field && field->UIState() != vsHidden) return true;
  }
  return false;
}

TEntity* TChangeHolder::GetChanged(int AIndex) const {
  if (AIndex < 0 || AIndex >= ChangedCount()) return nullptr;
  return Record(AIndex)->Entity();
}

int TChangeHolder::GetChangedFieldCount(int AIndex) const {
  if (AIndex < 0 || AIndex >= ChangedCount()) return 0;
  return Record(AIndex)->FieldCount();
}

int TChangeHolder::ApplyChanges(bool ASkipLogging) {
  if (FChangedEntities.empty()) return -1;
  TV_ASSERT(FDomain && FDomain->Storage(), QStringLiteral("There is no storage for saving"));
  TStorage* storage = FDomain->Storage();
  const int count = ChangedCount();
  int result = -1;
  const int transaction = storage->BeginTransaction();
  try {
    TEntity* logRecord = nullptr;
    int nextActionID = -1;
    int lastActionID = -1;
    if (!ASkipLogging) {
      TCollection* log = FDomain->CollectionByName(cSysLog);
      TV_ASSERT(log, QStringLiteral("There is no collection [SysLog]"));
      logRecord = log->CreateNewEntity(this);
      logRecord->_SetFieldValue(this, QStringLiteral("UserName"), FSession ? FSession->CurrentUserName() : QString());
      lastActionID = storage->CreateIDs(QStringLiteral("sys_log_actions"), count);
      nextActionID = lastActionID - count + 1;
    }
    QString description;
    // Records made meanwhile (the log entities) are stored too; every record
    // stays until the commit, so a failure can still revert it.
    for (size_t i = 0; i < FChangedEntities.size(); ++i) {
      TChangedEntity* record = FChangedEntities[i].get();
      QString text;
      if (record->DefinitionName() == cSysLogActions) {
        record->Apply(logRecord, -1, text);
      } else if (record->DefinitionName() == cSysLog) {
        TEntity* entity = record->Entity();
        if (entity && entity == logRecord) entity->_SetFieldValue(this, QStringLiteral("Description"), description);
        record->Apply(logRecord, -1, text);
        if (entity && entity == logRecord) result = entity->ID();
      } else {
        if (!ASkipLogging && nextActionID <= 0) TV_FAIL(QStringLiteral("Wrong LogID for the entity"));
        record->Apply(logRecord, nextActionID, text);
        if (text.isEmpty()) continue;
        if (nextActionID > 0) nextActionID = nextActionID >= lastActionID ? -1 : nextActionID + 1;
        if (!description.isEmpty()) description += QStringLiteral("\r\n");
        description += text;
      }
    }
    storage->CommitTransaction(transaction);
  } catch (...) {
    storage->RollbackTransaction(transaction);
    throw;
  }
  for (const auto& record : TakeRecords()) record->Committed();
  return result;
}

void TChangeHolder::RevertChanges() {
  FCalcQueue.clear();
  FIsCancelling = true;
  try {
    while (!FChangedEntities.empty()) {
      std::unique_ptr<TChangedEntity> record = std::move(FChangedEntities.front());
      FChangedEntities.erase(FChangedEntities.begin());
      FRecordsByLink.remove(record->Link());
      record->Revert();
    }
  } catch (...) {
    FIsCancelling = false;
    throw;
  }
  FIsCancelling = false;
}

void TChangeHolder::TransferChanges() {
  TV_ASSERT(FParentHolder, QStringLiteral("There is no parent holder to transfer changes to"));
  ProcessCalculations();
  for (auto& record : TakeRecords()) FParentHolder->AdoptChange(std::move(record));
}

void TChangeHolder::AdoptChange(std::unique_ptr<TChangedEntity> ARecord) {
  TEntity* entity = ARecord->Entity();
  if (!Exists(entity)) {
    WorkingLog(FDomain, QStringLiteral("Entity was removed before"));
    return;
  }
  TChangedEntity* own = FindRecord(entity);
  if (!own) {
    ARecord->SetHolder(this);
    WorkingLog(FDomain, QStringLiteral("fully transfered ") + entity->ToString());
    TChangedEntity* moved = ARecord.get();
    FRecordsByLink.insert(moved->Link(), moved);
    FChangedEntities.push_back(std::move(ARecord));
    return;
  }
  own->MergeFrom(ARecord.get());
  if (own->IsNew() && own->Deleted()) {
    RemoveRecord(own);
    WorkingLog(FDomain, QStringLiteral("$$$ REMOVE CHANGED ENTITY"));
  }
}
