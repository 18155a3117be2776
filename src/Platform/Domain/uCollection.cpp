#include "src/Platform/Domain/uCollection.h"

#include <algorithm>
#include <climits>

#include "src/Platform/Configuration/uConfiguration.h"
#include "src/Platform/Configuration/uDefinition.h"
#include "src/Platform/Configuration/uObjectFieldDef.h"
#include "src/Platform/Configuration/uQueryObject.h"
#include "src/Platform/Domain/Fields/uBaseField.h"
#include "src/Platform/Domain/Fields/uEntityField.h"
#include "src/Platform/Domain/Fields/uListField.h"
#include "src/Platform/Domain/uChangeManager.h"
#include "src/Platform/Domain/uDomain.h"
#include "src/Platform/Domain/uStorage.h"
#include "src/Platform/Script/uScript.h"
#include "src/Platform/uException.h"
#include "src/Platform/uJSON.h"
#include "src/Platform/uNameList.h"

static constexpr const char* cModulePath = "src/Platform/Domain/uCollection";

// --- TIndexMap ---

TIndexMap::TNode* TIndexMap::NewNode(int ASize) {
  return new TNode[static_cast<size_t>(ASize)]();
}

TIndexMap::TIndexMap(TCollection* ACollection, int ANodePower)
    : FCollection(ACollection),
      FNodePower(ANodePower),
      FCutMask((1 << ANodePower) - 1),
      FIndexNodeSize((1 << ANodePower) * static_cast<int>(sizeof(TNode))),
      FNodeSize(1 << ANodePower),
      FMaxID((1 << ANodePower) - 1),
      FRoot(NewNode(1 << ANodePower)) {}

TIndexMap::~TIndexMap() {
  FreeNode(FRoot, FLevelCount - 1);
}

void TIndexMap::Clear() {
  FreeNode(FRoot, FLevelCount - 1);
  FRoot = NewNode(FNodeSize);
  FLevelCount = 1;
  FMaxID = FNodeSize - 1;
  FJustCreated.clear();
}

void TIndexMap::FreeNode(TNode* ANode, int ALevel) {
  if (!ANode) return;
  if (ALevel > 0)
    for (int i = 0; i < FNodeSize; ++i) FreeNode(static_cast<TNode*>(ANode[i]), ALevel - 1);
  delete[] ANode;
}

void TIndexMap::AddEntity(int32_t AID, TEntity* AEntity) {
  if (AID < 0) {
    TV_ASSERT(FJustCreatedCount < INT32_MAX, QStringLiteral("Wrong behaviour"));
    const int32_t position = FJustCreatedCount++;
    FJustCreated.push_back({position, AEntity});
    ++FJustCreatedLive;
    AEntity->SetID(-(position + 1));
    return;
  }
  while (AID > FMaxID) {
    TNode* root = NewNode(FNodeSize);
    root[0] = FRoot;
    FRoot = root;
    ++FLevelCount;
    const int64_t capacity = static_cast<int64_t>(FNodeSize) * (static_cast<int64_t>(FMaxID) + 1) - 1;
    FMaxID = capacity > INT32_MAX ? INT32_MAX : static_cast<int32_t>(capacity);
  }
  TNode* node = FRoot;
  for (int level = FLevelCount - 1; level >= 1; --level) {
    const int slot = (AID >> (level * FNodePower)) & FCutMask;
    if (!node[slot]) node[slot] = NewNode(FNodeSize);
    node = static_cast<TNode*>(node[slot]);
  }
  node[AID & FCutMask] = AEntity;
}

std::vector<TIndexMap::TJustCreated>::const_iterator TIndexMap::FindJustCreated(int32_t APosition) const {
  const auto it = std::lower_bound(FJustCreated.begin(), FJustCreated.end(), APosition,
                                   [](const TJustCreated& AEntry, int32_t AValue) { return AEntry.Position < AValue; });
  return it != FJustCreated.end() && it->Position == APosition ? it : FJustCreated.end();
}

TEntity* TIndexMap::GetEntity(int32_t AID) const {
  if (AID == 0) return NullEntity();
  if (AID < 0) {
    const int64_t position = -static_cast<int64_t>(AID) - 1;
    TV_ASSERT(position < FJustCreatedCount, QStringLiteral("Wrong behaviour"));
    const auto it = FindJustCreated(static_cast<int32_t>(position));
    return it == FJustCreated.end() ? nullptr : it->Entity;
  }
  if (AID > FMaxID) return nullptr;
  TNode* node = FRoot;
  for (int level = FLevelCount - 1; level >= 1; --level) {
    node = static_cast<TNode*>(node[(AID >> (level * FNodePower)) & FCutMask]);
    if (!node) return nullptr;
  }
  return static_cast<TEntity*>(node[AID & FCutMask]);
}

void TIndexMap::DeleteEntity(int32_t AID) {
  if (AID < 0) {
    const auto found = FindJustCreated(static_cast<int32_t>(-static_cast<int64_t>(AID) - 1));
    if (found == FJustCreated.end() || !found->Entity) return;
    FJustCreated[static_cast<size_t>(found - FJustCreated.cbegin())].Entity = nullptr;
    --FJustCreatedLive;
    if (FJustCreated.size() > 2 * static_cast<size_t>(FJustCreatedLive) + 16)
      std::erase_if(FJustCreated, [](const TJustCreated& AEntry) { return !AEntry.Entity; });
    return;
  }
  if (AID > FMaxID) return;
  TNode* node = FRoot;
  for (int level = FLevelCount - 1; level >= 1; --level) {
    node = static_cast<TNode*>(node[(AID >> (level * FNodePower)) & FCutMask]);
    if (!node) return;
  }
  node[AID & FCutMask] = nullptr;
}

// --- TSearchIndexBucket ---

TSearchIndexBucket::TSearchIndexBucket(std::unique_ptr<TJSONValue> AIndexValue) : FIndexValue(std::move(AIndexValue)) {}

TSearchIndexBucket::~TSearchIndexBucket() = default;

void TSearchIndexBucket::Add(TEntity* AEntity) {
  if (std::find(FList.begin(), FList.end(), AEntity) == FList.end()) FList.push_back(AEntity);
}

void TSearchIndexBucket::Remove(TEntity* AEntity) {
  std::erase(FList, AEntity);
}

// --- TSearchIndex ---

TSearchIndex::TSearchIndex(const QString& AFieldNames)
    : FFieldNames(AFieldNames),
      FFields(SplitNameList(AFieldNames)),
      FEmptyIndexBucket(std::make_unique<TSearchIndexBucket>(nullptr)) {
  TV_ASSERT(!FFields.isEmpty(), QStringLiteral("Assertion failure"));
}

TSearchIndex::~TSearchIndex() = default;

std::unique_ptr<TJSONValue> TSearchIndex::MakeKey(TEntity* AEntity) const {
  if (FFields.size() == 1) {
    TBaseField* field = AEntity->FindField(FFields.first());
    return field ? field->JSON() : nullptr;
  }
  auto key = std::make_unique<TJSONObject>();
  for (const QString& name : FFields)
    if (TBaseField* field = AEntity->FindField(name))
      if (std::unique_ptr<TJSONValue> value = field->JSON()) key->AddPair(name, std::move(value));
  if (key->Size() == 0) return nullptr;
  return key;
}

TSearchIndexBucket* TSearchIndex::BucketOf(TEntity* AEntity, bool ACreate) {
  std::unique_ptr<TJSONValue> key = MakeKey(AEntity);
  if (!key) return FEmptyIndexBucket.get();
  const QString text = key->ToString();
  if (auto it = FBuckets.find(text); it != FBuckets.end()) return it->second.get();
  if (!ACreate) return nullptr;
  return FBuckets.emplace(text, std::make_unique<TSearchIndexBucket>(std::move(key))).first->second.get();
}

void TSearchIndex::AddEntity(TEntity* AEntity) {
  RemoveEntity(AEntity);
  TSearchIndexBucket* bucket = BucketOf(AEntity, true);
  bucket->Add(AEntity);
  FPlaced.insert(AEntity, bucket);
}

void TSearchIndex::RemoveEntity(TEntity* AEntity) {
  TSearchIndexBucket* bucket = FPlaced.take(AEntity);
  if (!bucket) return;
  bucket->Remove(AEntity);
  if (bucket != FEmptyIndexBucket.get() && bucket->List().empty()) {
    FBuckets.erase(bucket->IndexValue()->ToString());  // frees the bucket
  }
}

TSearchIndexBucket* TSearchIndex::FindBucket(TEntity* AEntity) const {
  return const_cast<TSearchIndex*>(this)->BucketOf(AEntity, false);
}

TSearchIndexBucket* TSearchIndex::FindBucketByKey(const QString& AKeyText) const {
  const auto it = FBuckets.find(AKeyText);
  return it == FBuckets.end() ? nullptr : it->second.get();
}

QString TSearchIndex::GetText() const {
  QString text = QStringLiteral("Index: ") + FFields.join(QLatin1Char(';')) + QStringLiteral("\r\n");
  if (FBuckets.empty()) return text + QStringLiteral("  no values for index\r\n");
  for (const auto& [key, bucket] : FBuckets)
    text += QStringLiteral("  ") + key + QStringLiteral(": ") + QString::number(bucket->List().size()) +
            QStringLiteral("\r\n");
  return text;
}

// --- TCollection ---

TCollection::TCollection(TDomain* ADomain, TDefinition* ADefinition)
    : TEntity(ADomain, ADefinition),
      FEntityClass(TEntity::EntityClass()),
      FIndexMap(std::make_unique<TIndexMap>(this, 4)) {}

TCollection::~TCollection() {
  Clear();
  FViewListeners.ForEach([this](TDomainListener* AListener) { AListener->SenderFreeing(this); });
  FViewListeners.Clear();
}

TEntityClass TCollection::CollectionClass() {
  return [](TDomain* ADomain, TDefinition* ADefinition, TCollection*) -> std::unique_ptr<TEntity> {
    return std::make_unique<TCollection>(ADomain, ADefinition);
  };
}

void TCollection::SetCollectionAttributes(TEntityClass AEntityClass, TDefinition* AContentDefinition) {
  FEntityClass = std::move(AEntityClass);
  FContentDefinition = AContentDefinition;
}

void TCollection::SetViewState(TViewState AViewState) {
  if (ViewState() == AViewState) return;
  StoreViewState(AViewState);
  NotifyListeners(dckViewStateChanged, this);
}

void TCollection::Clear() {
  if (!FList.empty()) TellEntitiesFreeing(nullptr);
  FSearchIndexes.clear();
  // Taken out first: the entities being freed may look at the collection.
  std::vector<std::unique_ptr<TEntity>> entities = std::move(FList);
  FList.clear();
  FIndexMap->Clear();
  for (auto& entity : entities) entity.reset();
}

void TCollection::TellEntitiesFreeing(TEntity* AEntity) {
  FViewListeners.ForEachReverse(
      [this, AEntity](TDomainListener* AListener) { AListener->EntitiesFreeing(this, AEntity); });
}

QString TCollection::Name() const {
  return FContentDefinition ? FContentDefinition->Name() : QString();
}

QString TCollection::GetCaption() const {
  return FContentDefinition ? FContentDefinition->_Caption() : QString();
}

TEntity* TCollection::NullableEntityByID(int32_t AID) const {
  TEntity* entity = EntityByID(AID);
  return entity ? entity : NullEntity();
}

TEntity* TCollection::First() const {
  for (const auto& entity : FList)
    if (!entity->IsRemote()) return entity.get();
  return nullptr;
}

std::vector<TEntity*> TCollection::Find(TUserSession* ASession, const QString& AQuery,
                                        const std::vector<Variant>& AParams) const {
  TQueryObject query(QString(), AQuery, QString());
  TQueryBindings bindings(query);
  bindings.SetParameters(ASession, nullptr);
  size_t next = 0;
  for (const auto& parameter : query.Parameters()) {
    if (next >= AParams.size()) break;
    if (parameter->Name().startsWith(QLatin1Char(':'))) bindings.SetParameter(parameter->Name(), AParams[next++]);
  }
  std::vector<TEntity*> result;
  for (const auto& entity : FList)
    if (!entity->IsRemote() && query.IsMatch(ASession, entity.get(), bindings)) result.push_back(entity.get());
  return result;
}

TEntity* TCollection::FindOne(TUserSession* ASession, const QString& AQuery,
                              const std::vector<Variant>& AParams) const {
  const std::vector<TEntity*> found = Find(ASession, AQuery, AParams);
  return found.empty() ? nullptr : found.front();
}

TEntity* TCollection::FindSimilarEntity(TUserSession* ASession, TEntity* AEntity) const {
  TQueryObject* query = FContentDefinition ? FContentDefinition->CheckUniqueQuery() : nullptr;
  if (!query) return nullptr;
  // The query belongs to the configuration: this call's values stay here.
  TQueryBindings bindings(*query);
  bindings.SetParameters(ASession, AEntity);
  for (const auto& entity : FList)
    if (!entity->IsRemote() && query->IsMatch(ASession, entity.get(), bindings)) return entity.get();
  return nullptr;
}

TEntity* TCollection::EntityByNameAndGrouping(const QString& AFieldName, const QString& AValue, int32_t AGroupID,
                                              const QString& AGroupFieldName) const {
  if (!FContentDefinition || !FContentDefinition->FieldExists(AFieldName)) return NullEntity();
  const bool grouped = !AGroupFieldName.isEmpty() && FContentDefinition->FieldExists(AGroupFieldName);
  for (const auto& entity : FList) {
    TBaseField* field = entity->FindField(AFieldName);
    if (!field || VarToStr(field->GetValue()) != AValue) continue;
    if (grouped) {
      auto* group = dynamic_cast<TEntityField*>(entity->FindField(AGroupFieldName));
      if (!group || !group->IsResolved() || group->Entity()->ID() != AGroupID) continue;
    }
    return entity.get();
  }
  return NullEntity();
}

int TCollection::IndexOfField(const QString& AFieldName) const {
  return FContentDefinition ? FContentDefinition->IndexOfField(AFieldName) : -1;
}

int TCollection::IndexOfEntity(TEntity* AEntity) const {
  for (int i = Count() - 1; i >= 0; --i)
    if (FList[static_cast<size_t>(i)].get() == AEntity) return i;
  return -1;
}

void TCollection::InternalAdd(TEntity* AEntity) {
  FIndexMap->AddEntity(AEntity->ID(), AEntity);
}

TEntity* TCollection::InternalCreateEntity(int32_t AID, bool AIsNew) {
  TV_ASSERT(FContentDefinition, QStringLiteral("Collection has no content definition"));
  std::unique_ptr<TEntity> entity = FEntityClass(Domain(), FContentDefinition, this);
  TEntity* result = entity.get();
  result->SetCollection(this);
  result->SetID(AID);
  result->SetIsNew(AIsNew);
  FList.push_back(std::move(entity));
  InternalAdd(result);
  return result;
}

TEntity* TCollection::CreateNewEntity(TChangeHolder* AHolder, int32_t AID, TBaseField* AFieldContext) {
  TEntity* entity = InternalCreateEntity(AID, true);
  if (AHolder) AHolder->RegisterEntityCreating(entity);
  if (FContentDefinition->Kind() == clkDocument && FContentDefinition->FieldExists(QStringLiteral("DocCode")) &&
      Domain() && Domain()->Storage()) {
    const int code = Domain()->Storage()->CreateCodes(FContentDefinition->StorageName(), 1);
    const QString prefix =
        Domain()->Translate(FContentDefinition->Name() + QStringLiteral("@Prefix"), FContentDefinition->_Prefix());
    entity->FieldInternalSetValue(QStringLiteral("DocCode"), prefix + QString::number(code));
  }
  entity->SubscribeFields();
  entity->ProcessFields();
  if (auto* context = dynamic_cast<TEntityField*>(AFieldContext)) {
    TEntity* owner = context->OwnerInstance();
    for (const QString& line : context->ObjectFieldDef()->SelectiveFields()) {
      const qsizetype eq = line.indexOf(QLatin1Char('='));
      if (eq < 0) continue;
      const QString name = line.left(eq);
      const QString value = line.mid(eq + 1);
      if (value.isEmpty() || !dynamic_cast<TEntityField*>(entity->FindField(name))) continue;
      auto* source = dynamic_cast<TEntityField*>(owner->FindField(value));
      if (!source || !source->IsResolved()) continue;
      if (AHolder)
        AHolder->SetFieldEntity(entity, name, source->Entity());
      else
        entity->_SetFieldEntity(nullptr, name, source->Entity());
    }
  }
  if (Domain() && Domain()->Configuration() && Domain()->Configuration()->Script())
    Domain()->Configuration()->Script()->AfterEntityCreation(AHolder, entity);
  NotifyListeners(dckEntityAdded, entity);
  return entity;
}

TEntity* TCollection::CreateEntityFromJSON(int32_t AID, const TJSONObject* AJSONObject) {
  TV_ASSERT(!(AID > 0 && EntityByID(AID)), QStringLiteral("This object is already created"));
  TEntity* entity = InternalCreateEntity(AID, false);
  try {
    entity->FillFromJSON(AJSONObject, true);
  } catch (...) {
    // No half-made entity stays behind to block the next try.
    DiscardLoaded({entity});
    throw;
  }
  return entity;
}

TEntity* TCollection::CreateDefaultEntity(TChangeHolder* AHolder, int32_t AID, bool AIsService,
                                          const QString& AFieldNames, const std::vector<Variant>& AValues) {
  int32_t id = AID;
  if (FContentDefinition->HasFlag(ccEnvSpecific)) {
    // One per workstation: a local one already made or loaded is the answer.
    if (TEntity* local = First()) return local;
    id = -1;
  } else {
    FMaxID = std::max(FMaxID, AID);
    if (AID > 0) {
      if (TEntity* loaded = EntityByID(AID)) {
        if (!AFieldNames.isEmpty()) loaded->Populate(AFieldNames, AValues, false);
        return loaded;
      }
    }
  }
  TEntity* entity = CreateNewEntity(AHolder, id, nullptr);
  if (!AFieldNames.isEmpty()) entity->Populate(AFieldNames, AValues, true);
  entity->SubscribeFields();
  entity->ProcessFields();
  entity->SetIsService(AIsService);
  if (FContentDefinition->HasFlag(ccNotSave)) entity->SetIsNew(false);
  return entity;
}

TEntity* TCollection::CloneEntity(TChangeHolder* AHolder, TEntity* ASourceEntity) {
  return ASourceEntity ? ASourceEntity->Clone(AHolder, QString()) : nullptr;
}

void TCollection::LoadItem(TStorage* AStorage, std::vector<TEntity*>& ALoaded) {
  const int32_t id = VarAsInteger(AStorage->ReadValue(QStringLiteral("id"), fkInteger));
  if (IsRoot() && id == FContentDefinition->ID()) {
    // The catalogue's own row is the root collection itself, never one of its entities.
    SetID(id);
    LoadFromStorage(AStorage);
    if (EntityByID(id) != this) FIndexMap->AddEntity(id, this);
    return;
  }
  if (id > 0 && EntityByID(id)) return;
  TEntity* entity = InternalCreateEntity(id, false);
  ALoaded.push_back(entity);
  entity->LoadFromStorage(AStorage);
}

void TCollection::ReadAll(TStorage* AStorage, std::vector<TEntity*>& ALoaded) {
  const QString& tag = FContentDefinition->StorageName();
  AStorage->Activate(tag);
  try {
    AStorage->ReadGroup(tag, [this, &ALoaded](TStorage* AStorage) { LoadItem(AStorage, ALoaded); });
  } catch (...) {
    AStorage->Deactivate();
    throw;
  }
  AStorage->Deactivate();
}

void TCollection::DiscardLoaded(const std::vector<TEntity*>& ALoaded) {
  for (TEntity* entity : ALoaded) {
    const int index = IndexOfEntity(entity);
    if (index < 0) continue;
    TellEntitiesFreeing(entity);
    FIndexMap->DeleteEntity(entity->ID());
    FList.erase(FList.begin() + index);
  }
}

void TCollection::LoadAll(TStorage* AStorage) {
  if (!FContentDefinition->HasFlag(ccNotSave)) {
    std::vector<TEntity*> loaded;
    try {
      ReadAll(AStorage, loaded);
    } catch (...) {
      // A part of the rows is no load: what was read goes, and either the
      // failure propagates or the repaired structure is read again.
      DiscardLoaded(loaded);
      loaded.clear();
      if (FContentDefinition->SyncWithStorage(AStorage)) throw;
      AStorage->Rebuild();
      try {
        ReadAll(AStorage, loaded);
      } catch (...) {
        DiscardLoaded(loaded);
        throw;
      }
    }
  }
  FLoaded = true;
}

void TCollection::Subscribe() {
  for (const auto& entity : FList) entity->SubscribeFields();
  for (const auto& entity : FList) entity->ProcessFields();
}

void TCollection::Unsubscribe() {
  for (const auto& entity : FList) entity->UnsubscribeFields();
}

void TCollection::ExportAll(TJSONArray* AJSONArray) const {
  for (const auto& entity : FList) {
    if (entity->ID() <= 0) continue;
    auto object = std::make_unique<TJSONObject>();
    entity->ExportToJSON(object.get());
    AJSONArray->Add(std::move(object));
  }
}

void TCollection::FillEntityFromJSON(TEntity* AEntity, const TJSONObject* AJSONObject, bool AIsNew) {
  AEntity->FillFromJSON(AJSONObject, AIsNew);
  NotifyListeners(dckEntityChanged, AEntity);
}

void TCollection::GenerateEntityID(TEntity* AEntity) {
  TV_ASSERT(AEntity && !AEntity->IsNull() && AEntity->ID() < 0,
            QStringLiteral("Generation of new ID for already existed entity"));
  TStorage* storage = Domain() ? Domain()->Storage() : nullptr;
  TV_ASSERT(storage, QStringLiteral("There is no storage for new IDs"));
  // Drawn before the provisional ID is dropped, so a failing numerator leaves the entity findable.
  const int32_t id = storage->CreateIDs(FContentDefinition->StorageName(), 1);
  FIndexMap->DeleteEntity(AEntity->ID());
  AEntity->SetID(id);
  FIndexMap->AddEntity(id, AEntity);
  WorkingLog(Domain(), QStringLiteral("> Generated new ID for entity: ") + AEntity->ToString());
}

void TCollection::MarkEntityAsDeleted(TChangeHolder* AHolder, TEntity* AEntity) {
  if (!AEntity || AEntity->IsNull() || AEntity->Deleted()) return;
  for (int i = 0; i < AEntity->FieldCount(); ++i)
    if (auto* list = dynamic_cast<TListField*>(AEntity->GetField(i))) list->ClearList(AHolder);
  NotifyListeners(dckEntityRemoved, AEntity);
  AEntity->SetDeleted(AHolder);
}

void TCollection::RemoveEntity(TEntity* AEntity) {
  if (!AEntity || AEntity->IsNull() || !AEntity->Deleted()) return;
  if (IndexOfEntity(AEntity) < 0) return;
  // Lists and views may still hold it, whatever marked it deleted.
  TellEntitiesFreeing(AEntity);
  const int index = IndexOfEntity(AEntity);
  if (index < 0) return;
  RemoveFromSearchIndexes(AEntity, QString());
  FIndexMap->DeleteEntity(AEntity->ID());
  std::unique_ptr<TEntity> owned = std::move(FList[static_cast<size_t>(index)]);
  FList.erase(FList.begin() + index);
  WorkingLog(Domain(), QStringLiteral("Real deletion of entity"));
  owned.reset();
}

void TCollection::AddViewListener(TDomainListener* AListener) {
  if (AListener) FViewListeners.AddUnique(AListener);
}

void TCollection::RemoveViewListener(TDomainListener* AListener) {
  FViewListeners.Remove(AListener);
}

void TCollection::NotifyListeners(int AChangeKind, TObject* AParameter) {
  if (FViewListeners.IsEmpty()) return;
  const TDomainChangeMessage message{DM_DOMAIN_CHANGED, AChangeKind, this, AParameter};
  FViewListeners.ForEachReverse([&message](TDomainListener* AListener) { AListener->DomainChanged(message); });
}

TSearchIndex* TCollection::AddSearchIndex(const QString& AFieldNames) {
  auto index = std::make_unique<TSearchIndex>(AFieldNames);
  for (const auto& entity : FList) index->AddEntity(entity.get());
  FSearchIndexes.push_back(std::move(index));
  return FSearchIndexes.back().get();
}

void TCollection::AddToSearchIndexes(TEntity* AEntity, const QString& AFieldName) {
  for (const auto& index : FSearchIndexes)
    if (AFieldName.isEmpty() || index->ContainsField(AFieldName)) index->AddEntity(AEntity);
}

void TCollection::RemoveFromSearchIndexes(TEntity* AEntity, const QString& AFieldName) {
  for (const auto& index : FSearchIndexes)
    if (AFieldName.isEmpty() || index->ContainsField(AFieldName)) index->RemoveEntity(AEntity);
}

TSearchIndexBucket* TCollection::FindIndexBucket(const QString& AFieldName, TEntity* AEntity) const {
  for (const auto& index : FSearchIndexes)
    if (index->ContainsField(AFieldName))
      return index->FindBucketByKey(TJSONNumber(AEntity ? AEntity->ID() : 0).ToString());
  return nullptr;
}

QString TCollection::ShowSearchIndexInfo() const {
  QString text = QStringLiteral("Collection: ") + Name() + QStringLiteral(" [") + QString::number(Count()) +
                 QStringLiteral("]\r\n");
  for (const auto& index : FSearchIndexes) text += index->GetText() + QStringLiteral("\r\n");
  return text;
}
