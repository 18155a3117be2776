#include "src/Platform/Domain/Fields/uEntityField.h"

#include "src/Platform/Configuration/uDefinition.h"
#include "src/Platform/Configuration/uObjectFieldDef.h"
#include "src/Platform/Configuration/uQueryObject.h"
#include "src/Platform/Domain/Fields/uListField.h"
#include "src/Platform/Domain/uCollection.h"
#include "src/Platform/Domain/uDomain.h"
#include "src/Platform/Domain/uEntity.h"
#include "src/Platform/Domain/uEntityList.h"
#include "src/Platform/Domain/uStorage.h"
#include "src/Platform/uCollation.h"
#include "src/Platform/uException.h"
#include "src/Platform/uJSON.h"

static constexpr const char* cModulePath = "src/Platform/Domain/Fields/uEntityField";

namespace {

int32_t JSONID(const TJSONValue* AValue) {
  // 4294967297 must not come out as entity 1.
  return static_cast<int32_t>(JSONIntegerIn(AValue));
}

}  // namespace

TEntityField::TEntityField(TEntity* AInstance, TFieldDef* AFieldDef)
    : TObjectField(AInstance, AFieldDef),
      FCollectionID(static_cast<TEntityFieldDef*>(AFieldDef)->DefaultTypeID()),
      FEntityID(static_cast<TEntityFieldDef*>(AFieldDef)->DefaultEntityID()) {}

TEntityField::~TEntityField() = default;

TEntityFieldDef* TEntityField::EntityFieldDef() const {
  return static_cast<TEntityFieldDef*>(FFieldDef);
}

int32_t TEntityField::EntityID() const {
  return FEntity ? FEntity->ID() : FEntityID;
}

QString TEntityField::ContentCollectionName() const {
  TCollection* collection = Domain() ? Domain()->CollectionByID(FCollectionID) : nullptr;
  return collection ? collection->Name() : QString();
}

TEntity* TEntityField::Entity() const {
  TV_ASSERT(FEntity, QStringLiteral("Too early getting of entity"));
  return FEntity;
}

Variant TEntityField::GetValue() const {
  return FEntity ? Variant(static_cast<TObject*>(FEntity)) : Variant::Null();
}

bool TEntityField::IsNull() const {
  return !FEntity || FEntity->IsNull();
}

void TEntityField::InternalSetValue(const Variant& AValue) {
  if (!FEntity) {
    // Not attached yet (the entity is being built): subscribing attaches.
    DoSetValue(AValue);
    return;
  }
  // Attached: leave the old referent's lists and listeners, join the new ones.
  DoBeforeChanges(nullptr);
  DoSetValue(AValue);
  DoAfterChanges(nullptr);
}

void TEntityField::SetEntity(TChangeHolder* AHolder, TEntity* AValue) {
  if (!AValue) AValue = NullEntity();
  if (!AValue->IsNull() && IsSelector() && AValue->Definition()) FCollectionID = AValue->Definition()->ID();
  SetValue(AHolder, Variant(static_cast<TObject*>(AValue)));
}

void TEntityField::ResetToDefault(TChangeHolder* AHolder) {
  const int32_t defaultID = EntityFieldDef()->DefaultEntityID();
  if (defaultID == 0) {
    SetEntity(AHolder, NullEntity());
    return;
  }
  TV_ASSERT(!IsSelector(), QStringLiteral("Selective field have no default value"));
  TCollection* collection = Domain() ? Domain()->CollectionByName(DefaultDefinitionName()) : nullptr;
  SetEntity(AHolder, collection ? collection->NullableEntityByID(defaultID) : NullEntity());
}

void TEntityField::ForgetEntity(TEntity* AEntity) {
  if (FListening == AEntity) FListening = nullptr;
  if (FEntity == AEntity) {
    FEntity = NullEntity();
    FEntityID = 0;
  }
}

void TEntityField::Listen(TEntity* AEntity) {
  if (AEntity && AEntity->IsNull()) AEntity = nullptr;
  if (AEntity == FListening) return;
  if (FListening) FListening->RemoveListener(FieldName(), FInstance);
  FListening = AEntity;
  if (FListening) FListening->AddListener(FieldName(), FInstance);
}

void TEntityField::DoSetValue(const Variant& AValue) {
  FEntity = VarAsEntity(AValue);
  FEntityID = FEntity->ID();
}

void TEntityField::DoBeforeChanges(TChangeHolder* AHolder) {
  TObjectField::DoBeforeChanges(AHolder);
  DoUnsubscribe();
}

void TEntityField::DoAfterChanges(TChangeHolder* AHolder) {
  Listen(FEntity);
  TObjectField::DoAfterChanges(AHolder);
}

std::unique_ptr<TJSONValue> TEntityField::DoGetJSON() const {
  int32_t id = FEntity ? FEntity->ID() : FEntityID;
  if (id < 0) id = 0;  // a provisional ID means nothing elsewhere
  if (!IsSelector()) return std::make_unique<TJSONNumber>(id);
  auto object = std::make_unique<TJSONObject>();
  object->AddPair(QStringLiteral("id"), std::make_unique<TJSONNumber>(id));
  object->AddPair(QStringLiteral("type_id"), std::make_unique<TJSONNumber>(FCollectionID));
  return object;
}

// The entity ID and, for a selector written as an object, the collection
// ID of a JSON value; both read before either is taken.
std::pair<int32_t, std::optional<int32_t>> TEntityField::JSONIDs(const TJSONValue* AValue) const {
  if (IsSelector())
    if (const auto* object = dynamic_cast<const TJSONObject*>(AValue))
      return {JSONID(object->GetValue(QStringLiteral("id"))), JSONID(object->GetValue(QStringLiteral("type_id")))};
  return {JSONID(AValue), std::nullopt};
}

void TEntityField::DoSetJSON(const TJSONValue* AValue) {
  const auto [id, collectionID] = JSONIDs(AValue);
  if (collectionID) FCollectionID = *collectionID;
  FEntityID = id;
  FEntity = nullptr;  // resolved by the next Subscribe
}

void TEntityField::CheckJSON(const TJSONValue* AValue) const {
  (void)JSONIDs(AValue);
}

void TEntityField::DoLoad(TStorage* AStorage) {
  if (IsSelector())
    FCollectionID = VarAsInteger(AStorage->ReadValue(EntityFieldDef()->SelectorStorageName(), fkInteger));
  const int32_t id = VarAsInteger(AStorage->ReadValue(StorageName() + QStringLiteral("_id"), fkInteger));
  TV_ASSERT(id >= 0, QStringLiteral("Wrong entity ID is loaded"));
  FEntityID = id;
  FEntity = nullptr;
}

void TEntityField::DoTransfer(TStorage* AStorage) {
  if (IsSelector()) AStorage->WriteValue(EntityFieldDef()->SelectorStorageName(), fkInteger, FCollectionID, false);
  const QString column = StorageName() + QStringLiteral("_id");
  int32_t id = FEntity ? FEntity->ID() : FEntityID;
  if (id == 0) {
    AStorage->WriteValue(column, fkInteger, Variant::Null(), false);
    return;
  }
  if (id < 0 && FEntity) {
    // Referenced before it is stored itself: it draws its ID now.
    FEntity->GenerateID();
    id = FEntity->ID();
  }
  AStorage->WriteValue(column, fkInteger, id, false);
}

void TEntityField::DoSubscribe() {
  if (FEntity) return;
  if (FEntityID <= 0) {
    FEntity = NullEntity();
    return;
  }
  TCollection* collection = Domain() ? Domain()->CollectionByID(FCollectionID) : nullptr;
  FEntity = collection ? collection->NullableEntityByID(FEntityID) : NullEntity();
}

void TEntityField::DoUnsubscribe() {
  Listen(nullptr);
}

Variant TEntityField::DoExtractFieldValue(const QString& AFieldName) const {
  TEntity* entity = Entity();
  if (AFieldName == QLatin1String("ID")) return entity->ID();
  return entity->ExtractFieldValue(AFieldName);
}

int TEntityField::DoCompare(const Variant& AValue) const {
  TEntity* other = VarAsEntity(AValue);
  TEntity* entity = Entity();
  if (other == entity) return 0;
  const int result = LocaleCollator(Qt::CaseInsensitive).compare(entity->DisplayName(), other->DisplayName());
  return result < 0 ? -1 : (result > 0 ? 1 : 0);
}

bool TEntityField::DoCheckValuedCondition(const Variant& AValue, TConditionKind ACondition,
                                          TConditionModifier AModifier) const {
  (void)AModifier;
  switch (ACondition) {
    case ckEqualTo:
      return VarAsEntity(AValue) == Entity();
    case ckPartOf: {
      auto* list = dynamic_cast<TListField*>(VarAsObject(AValue));
      return list && list->Contains(Entity());
    }
    default:
      UnsupportedCondition();
  }
}

bool TEntityField::IsSameValue(const Variant& AValue) const {
  return FEntity && VarAsEntity(AValue) == FEntity;
}

void TEntityField::GetEntitiesForSelect(TUserSession* ASession, TEntityList* AList) {
  AList->Clear();
  const QString filter = EntityFieldDef()->Filter();
  for (TEntity* entity : SelectCandidates(ASession, filter)) AList->InternalAdd(entity);
  AList->Sort(SortType());
  if (!FFieldDef->HasFlag(cfRequired)) AList->AddFirst(NullEntity());  // the empty choice
  TQueryObject* query = ObjectFieldDef()->QueryObject();
  AList->SetFiller(this, AndText({query ? query->QueryString() : QString(), filter}));
}
