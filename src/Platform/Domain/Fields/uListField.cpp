#include "src/Platform/Domain/Fields/uListField.h"

#include <algorithm>

#include "src/Platform/Configuration/uDefinition.h"
#include "src/Platform/Configuration/uObjectFieldDef.h"
#include "src/Platform/Configuration/uQueryObject.h"
#include "src/Platform/Domain/Fields/uEntityField.h"
#include "src/Platform/Domain/uChangeManager.h"
#include "src/Platform/Domain/uCollection.h"
#include "src/Platform/Domain/uDomain.h"
#include "src/Platform/Domain/uEntity.h"
#include "src/Platform/Domain/uEntityList.h"
#include "src/Platform/uException.h"

static constexpr const char* cModulePath = "src/Platform/Domain/Fields/uListField";

namespace {

void SetEntityVia(TChangeHolder* AHolder, TEntity* AEntity, const QString& AFieldName, TEntity* AValue) {
  if (AHolder)
    AHolder->SetFieldEntity(AEntity, AFieldName, AValue);
  else
    AEntity->_SetFieldEntity(nullptr, AFieldName, AValue);
}

}  // namespace

TListField::TListField(TEntity* AInstance, TFieldDef* AFieldDef)
    : TObjectField(AInstance, AFieldDef),
      FIsTransit(static_cast<TListFieldDef*>(AFieldDef)->IsTransit() &&
                 !static_cast<TListFieldDef*>(AFieldDef)->IsSelector()) {}

TListField::~TListField() = default;

TListFieldDef* TListField::ListFieldDef() const {
  return static_cast<TListFieldDef*>(FFieldDef);
}

const std::vector<TDefinition*>& TListField::TransitDefinitions() const {
  return ListFieldDef()->IsTransit() ? ListFieldDef()->TransitDefinitions() : ContentDefinitions();
}

const QString& TListField::MasterFieldName() const {
  return ListFieldDef()->MasterFieldName();
}

TRelationPower TListField::RelationPower() const {
  return ListFieldDef()->RelationPower();
}

Variant TListField::GetValue() const {
  return Variant(static_cast<TObject*>(const_cast<TListField*>(this)));
}

TEntity* TListField::GetEntity(int AIndex) const {
  return FList[static_cast<size_t>(AIndex)];
}

TEntity* TListField::GetRealEntity(int AIndex) const {
  return ExtractRealEntity(GetEntity(AIndex));
}

TEntity* TListField::ExtractRealEntity(TEntity* AItem) const {
  TV_ASSERT(AItem, QStringLiteral("List field contains Nil value"));
  if (!FIsTransit) return AItem;
  auto* transit = dynamic_cast<TEntityField*>(AItem->FindField(ListFieldDef()->TransitFieldName()));
  TEntity* real = transit && transit->IsResolved() ? transit->Entity() : nullptr;
  TV_ASSERT(real, QStringLiteral("List field contains Nil value"));
  return real;
}

bool TListField::Contains(TEntity* AEntity) const {
  TV_ASSERT(AEntity, QStringLiteral("Somebody try to find nil in list field"));
  if (!FIsTransit) return ContainsItem(AEntity);
  return std::any_of(FList.begin(), FList.end(),
                     [this, AEntity](TEntity* AItem) { return ExtractRealEntity(AItem) == AEntity; });
}

TColor TListField::GetEntityColor(TEntity* AEntity) const {
  const QString& path = ListFieldDef()->ColorFieldName();
  if (path.isEmpty() || !AEntity) return cNoColor;
  TBaseField* field = AEntity->ExtractFieldFromPath(path);
  return field ? VarAsColor(field->GetValue()) : cNoColor;
}

TEntity* TListField::AddListEntity(TChangeHolder* AHolder, const QString& ACollectionName) {
  TCollection* collection = Domain() ? Domain()->CollectionByName(ACollectionName) : nullptr;
  TV_ASSERT(collection, QStringLiteral("There is no collection [") + ACollectionName + QLatin1Char(']'));
  TEntity* entity = collection->CreateNewEntity(AHolder, -1, this);
  LinkListEntity(AHolder, entity);
  return entity;
}

void TListField::LinkListEntity(TChangeHolder* AHolder, TEntity* AEntity) {
  if (Contains(AEntity)) {
    WorkingLog(Domain(), QStringLiteral("Exit from LinkListEntity"));
    return;
  }
  if (ListFieldDef()->IsTransit()) {
    TV_ASSERT(!IsSelector(), QStringLiteral("Transit list should have one collection only!"));
    TCollection* collection = Domain() ? Domain()->CollectionByName(DefaultDefinitionName()) : nullptr;
    TV_ASSERT(collection, QStringLiteral("There is no collection [") + DefaultDefinitionName() + QLatin1Char(']'));
    TEntity* link = collection->CreateNewEntity(AHolder, -1, nullptr);
    SetEntityVia(AHolder, link, MasterFieldName(), FInstance);
    SetEntityVia(AHolder, link, ListFieldDef()->TransitFieldName(), AEntity);
    return;
  }
  SetEntityVia(AHolder, AEntity, MasterFieldName(), FInstance);
}

void TListField::UnlinkListEntity(TChangeHolder* AHolder, TEntity* AEntity) {
  if (!AHolder) {
    if (!ContainsItem(AEntity)) return;
    RemoveItem(AEntity);
    if (!MasterFieldName().isEmpty()) AEntity->RemoveListener(FieldName(), FInstance);
    return;
  }
  auto* master = dynamic_cast<TEntityField*>(AEntity->FindField(MasterFieldName()));
  if (!master) return;
  if (AEntity->Deleted())
    SetEntityVia(AHolder, AEntity, MasterFieldName(), NullEntity());
  else
    master->ResetToDefault(AHolder);
}

void TListField::MarkItemDeleted(TChangeHolder* AHolder, TEntity* AItem) {
  WorkingLog(Domain(), QStringLiteral("Marked for deletion: ") + AItem->ToString());
  if (TCollection* collection = AItem->Collection()) collection->MarkEntityAsDeleted(AHolder, AItem);
}

void TListField::RemoveListEntity(TChangeHolder* AHolder, TEntity* AEntity) {
  auto it = std::find_if(FList.begin(), FList.end(),
                         [this, AEntity](TEntity* AItem) { return ExtractRealEntity(AItem) == AEntity; });
  TV_ASSERT(it != FList.end(), QStringLiteral("Try to remove absent list entity"));
  TEntity* item = *it;
  if (FIsTransit || RelationPower() == rpStrong)
    MarkItemDeleted(AHolder, item);
  else
    UnlinkListEntity(AHolder, item);
}

void TListField::ClearList(TChangeHolder* AHolder) {
  if (!FIsTransit && RelationPower() != rpStrong) return;
  const std::vector<TEntity*> items = FList;
  for (auto it = items.rbegin(); it != items.rend(); ++it)
    if (ContainsItem(*it)) MarkItemDeleted(AHolder, *it);
}

void TListField::AddToList(TChangeHolder* AHolder, TEntity* AEntity) {
  if (!FItems.insert(AEntity).second) return;
  FList.push_back(AEntity);
  if (MasterFieldName().isEmpty()) return;
  AEntity->AddListener(FieldName(), FInstance);
  FInstance->ProcessFieldChanged(AHolder, dckEntityAdded, FieldName(), AEntity);
}

void TListField::DeleteFromList(TChangeHolder* AHolder, TEntity* AEntity) {
  if (!ContainsItem(AEntity)) return;
  RemoveItem(AEntity);
  if (MasterFieldName().isEmpty()) return;
  AEntity->RemoveListener(FieldName(), FInstance);
  if (!FInstance->Deleted()) FInstance->ProcessFieldChanged(AHolder, dckEntityRemoved, FieldName(), AEntity);
}

void TListField::InternalAdd(TEntity* AItem) {
  if (FItems.insert(AItem).second) FList.push_back(AItem);
}

void TListField::ForgetEntity(TEntity* AItem) {
  if (ContainsItem(AItem)) RemoveItem(AItem);
}

void TListField::RemoveItem(TEntity* AItem) {
  FItems.erase(AItem);
  // Searched from the end: the items added last usually leave first.
  auto it = std::find(FList.rbegin(), FList.rend(), AItem);
  if (it != FList.rend()) FList.erase(std::next(it).base());
}

void TListField::DoUnsubscribe() {
  if (MasterFieldName().isEmpty()) return;
  for (TEntity* item : FList) item->RemoveListener(FieldName(), FInstance);
}

Variant TListField::DoExtractFieldValue(const QString& AFieldName) const {
  if (AFieldName == QLatin1String("Count")) return Count();
  return TObjectField::DoExtractFieldValue(AFieldName);
}

int TListField::DoCompare(const Variant& AValue) const {
  (void)AValue;
  TV_FAIL(QStringLiteral("Lists comparision is not supported"));
}

bool TListField::DoCheckValuedCondition(const Variant& AValue, TConditionKind ACondition,
                                        TConditionModifier AModifier) const {
  (void)AModifier;
  switch (ACondition) {
    case ckContains: {
      auto* entity = dynamic_cast<TEntity*>(VarAsObject(AValue));
      return entity && Contains(entity);
    }
    case ckCrosses: {
      auto* other = dynamic_cast<TListField*>(VarAsObject(AValue));
      if (!other) return false;
      for (int i = 0; i < other->Count(); ++i) {
        TEntity* real = other->GetRealEntity(i);
        if (!real->IsNull() && Contains(real)) return true;
      }
      return false;
    }
    default:
      UnsupportedCondition();
  }
}

void TListField::GetEntityList(TUserSession* ASession, TEntityList* AEntityList) {
  AEntityList->Clear();
  const QString& filter = ListFieldDef()->Filter();
  for (TEntity* item : Filtered(ASession, filter, FList)) AEntityList->InternalAdd(item);
  AEntityList->Sort(SortType(), ListFieldDef()->ColorFieldName());
  AEntityList->SetFiller(this, false, AndText({MasterFieldName() + QStringLiteral("=*"), filter}));
}

void TListField::GetEntitiesForSelect(TUserSession* ASession, TEntityList* AList) {
  AList->Clear();
  const QString& filter = ListFieldDef()->Filter();
  for (TEntity* entity : SelectCandidates(ASession, filter))
    if (!Contains(entity)) AList->InternalAdd(entity);
  AList->Sort(SortType());
  // The negated master condition keeps records linked to the owner out.
  TQueryObject* query = ObjectFieldDef()->QueryObject();
  const QString notLinked = QStringLiteral("!") + MasterFieldName() + QStringLiteral("=*");
  AList->SetFiller(this, true, AndText({query ? query->QueryString() : QString(), filter, notLinked}, true));
}

void TListField::GetAllEntitiesForSelect(TUserSession* ASession, TEntityList* AList) {
  AList->Clear();
  const QString& filter = ListFieldDef()->Filter();
  for (TEntity* entity : SelectCandidates(ASession, filter)) AList->InternalAdd(entity);
  AList->Sort(SortType());
  TQueryObject* query = ObjectFieldDef()->QueryObject();
  AList->SetFiller(this, true, AndText({query ? query->QueryString() : QString(), filter}));
}
