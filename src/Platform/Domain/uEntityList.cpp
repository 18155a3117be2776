#include "src/Platform/Domain/uEntityList.h"

#include "src/Platform/Domain/uLink.h"
#include "src/Platform/Domain/uSession.h"

#include <QCollator>
#include <QLocale>
#include <algorithm>

#include "src/Platform/Configuration/uDefinition.h"
#include "src/Platform/Configuration/uObjectFieldDef.h"
#include "src/Platform/Configuration/uQueryObject.h"
#include "src/Platform/Domain/Fields/uEntityField.h"
#include "src/Platform/Domain/Fields/uListField.h"
#include "src/Platform/Domain/uCollection.h"
#include "src/Platform/Domain/uDomain.h"
#include "src/Platform/Domain/uEntity.h"
#include "src/Platform/Domain/uSession.h"
#include "src/Platform/uCollation.h"
#include "src/Platform/uException.h"
#include "src/Platform/uJSON.h"

static constexpr const char* cModulePath = "src/Platform/Domain/uEntityList";

namespace {

// The collection definition behind a definition or a presentation.
TDefinition* DefinitionBehind(TBaseDefinition* ADefinition) {
  if (auto* definition = dynamic_cast<TDefinition*>(ADefinition)) return definition;
  return ADefinition->Definition();
}

std::vector<TDefinition*> InnerDefinitionsOf(TDefinition* ADefinition) {
  return ADefinition ? ADefinition->InnerDefinitions() : std::vector<TDefinition*>();
}

// The value at an ID path, or none when the entity has no such path: such
// entities sort after every resolved one.
bool ExtractSortID(TEntity* AEntity, const QString& APath, int64_t& AValue) {
  if (!AEntity || AEntity->IsNull()) return false;
  if (!AEntity->FieldExists(APath.section(QLatin1Char('.'), 0, 0))) return false;
  Variant value;
  try {
    value = AEntity->ExtractFieldValue(APath);
  } catch (const Exception&) {
    return false;
  }
  if (!VarIsOrdinal(value)) return false;
  AValue = VarToInt64(value);
  return true;
}

}  // namespace

TEntityList::TEntityList(TDomain* ADomain, TUserSession* ASession) : FDomain(ADomain), FSession(ASession) {
  if (FDomain) FDomain->AddEntityList(this);
  if (FSession) FSession->AddEntityList(this);
}

TEntityList::~TEntityList() {
  StopListening();
  SetFillerField(nullptr);
  if (FSession) FSession->RemoveEntityList(this);
  if (FDomain) FDomain->RemoveEntityList(this);
}

// --- filler and definitions ---

void TEntityList::SetFiller(TBaseDefinition* ADefinition, const QString& AQuery) {
  TV_ASSERT(ADefinition, QStringLiteral("Invalid Filler for entity list"));
  if (FFiller == ADefinition) return;
  auto query = CompileQuery(AQuery, nullptr);
  StopListening();
  FSrcDefinition = ADefinition;
  FMainDefinition = DefinitionBehind(ADefinition);
  FContentDefinitions = InnerDefinitionsOf(FMainDefinition);
  SetFillerCommon(ADefinition, lfkDefinition, ADefinition, nullptr, std::move(query));
}

void TEntityList::SetFiller(TListField* AListField, bool AForSelect, const QString& AQuery) {
  TV_ASSERT(AListField, QStringLiteral("Invalid Filler for entity list"));
  if (FFiller == AListField) return;
  auto query = CompileQuery(AQuery, AListField->OwnerInstance());
  StopListening();
  FMainDefinition = AListField->ContentDefinition();
  FSrcDefinition = FMainDefinition;
  FContentDefinitions = AListField->TransitDefinitions();
  SetFillerCommon(AListField, AForSelect ? lfkSelector : lfkList, nullptr, AListField, std::move(query));
}

void TEntityList::SetFiller(TEntityField* AEntityField, const QString& AQuery) {
  TV_ASSERT(AEntityField, QStringLiteral("Invalid Filler for entity list"));
  if (FFiller == AEntityField) return;
  auto query = CompileQuery(AQuery, AEntityField->OwnerInstance());
  StopListening();
  FMainDefinition = AEntityField->ContentDefinition();
  FSrcDefinition = FMainDefinition;
  FContentDefinitions = AEntityField->ContentDefinitions();
  SetFillerCommon(AEntityField, lfkSelector, nullptr, AEntityField, std::move(query));
}

// Compiled before the old filler is left: a malformed text leaves the list
// as it was.
std::unique_ptr<TBoundQuery> TEntityList::CompileQuery(const QString& AQuery, TEntity* AInstance) const {
  return std::make_unique<TBoundQuery>(AQuery, FSession, AInstance);
}

TQueryObject* TEntityList::Query() const {
  return FQuery ? FQuery->Query.get() : nullptr;
}

void TEntityList::SetFillerCommon(const void* AFiller, TEntityListFillerKind AKind, TBaseDefinition* AFillerDefinition,
                                  TObjectField* AFillerField, std::unique_ptr<TBoundQuery> AQuery) {
  FFiller = AFiller;
  FFillerKind = AKind;
  FFillerDefinition = AFillerDefinition;
  SetFillerField(AFillerField);
  FQuery = std::move(AQuery);
  StartListening();
}

void TEntityList::SetDefinition(TBaseDefinition* ADefinition) {
  TV_ASSERT(ADefinition, QStringLiteral("Invalid definition for entity list"));
  FSrcDefinition = ADefinition;
  FMainDefinition = DefinitionBehind(ADefinition);
  FContentDefinitions = InnerDefinitionsOf(FMainDefinition);
}

void TEntityList::SetDefinition(TObjectFieldDef* AFieldDef) {
  TV_ASSERT(AFieldDef, QStringLiteral("Invalid definition for entity list"));
  FMainDefinition = AFieldDef->_ContentDefinition();
  FSrcDefinition = FMainDefinition;
  auto* listDef = dynamic_cast<TListFieldDef*>(AFieldDef);
  FContentDefinitions =
      listDef && listDef->IsTransit() ? listDef->TransitDefinitions() : AFieldDef->ContentDefinitions();
}

QString TEntityList::DefinitionName() const {
  return FSrcDefinition ? FSrcDefinition->Name() : QString();
}

void TEntityList::SetFillerField(TObjectField* AField) {
  if (FFillerField == AField) return;
  if (FFillerField) FFillerField->RemoveFilledList(this);
  FFillerField = AField;
  if (FFillerField) FFillerField->AddFilledList(this);
}

void TEntityList::StartListening() {
  if (!FFiller || !FDomain) return;
  std::vector<TDefinition*> definitions = FContentDefinitions;
  // The items of a transit list are the links, not the entities they lead to.
  if (auto* listField = dynamic_cast<TListField*>(FFillerField);
      listField && FFillerKind == lfkList && listField->IsTransit())
    for (TDefinition* definition : listField->ContentDefinitions()) definitions.push_back(definition);
  for (TDefinition* definition : definitions) {
    TCollection* collection = FDomain->CollectionByName(definition->Name());
    if (!collection ||
        std::find(FListenedCollections.begin(), FListenedCollections.end(), collection) != FListenedCollections.end())
      continue;
    collection->AddViewListener(this);
    FListenedCollections.push_back(collection);
  }
}

void TEntityList::StopListening() {
  if (!FFiller) return;
  for (TCollection* collection : FListenedCollections) collection->RemoveViewListener(this);
  FListenedCollections.clear();
  FQuery.reset();
}

void TEntityList::LetGo() {
  StopListening();
  SetFillerField(nullptr);
  FFiller = nullptr;
  FFillerDefinition = nullptr;
  FFillerKind = lfkUndefined;
  // Nothing tells an unlistened list that its entities go.
  DropEntities([](TEntity*) { return true; });
  FSelection.clear();
}

template <class TPred>
void TEntityList::DropEntities(TPred APred) {
  std::vector<TEntity*> dropped;
  for (TEntity* entity : FList)
    if (APred(entity)) dropped.push_back(entity);
  bool selectionChanged = false;
  for (TEntity* entity : FSelection)
    if (APred(entity)) selectionChanged = true;
  if (dropped.empty() && !selectionChanged) return;
  std::erase_if(FList, APred);
  for (TEntity* entity : dropped) FMembers.remove(entity);
  const bool wasFirst = !FSelection.empty() && APred(FSelection.front());
  std::erase_if(FSelection, APred);
  for (TEntity* entity : dropped) NotifyViews(dckEntityRemoved, entity);
  if (wasFirst || selectionChanged) NotifyViews(dckSelectionChanged, Selected());
}

void TEntityList::EntitiesFreeing(TCollection* ACollection, TEntity* AEntity) {
  if (AEntity)
    DropEntities([AEntity](TEntity* AItem) { return AItem == AEntity; });
  else
    DropEntities([ACollection](TEntity* AItem) { return AItem->Collection() == ACollection; });
}

void TEntityList::SenderFreeing(TObject* ASender) {
  if (ASender && ASender == FFillerField) {
    LetGo();
    return;
  }
  auto* collection = dynamic_cast<TCollection*>(ASender);
  if (!collection) return;
  std::erase(FListenedCollections, collection);
  DropEntities([collection](TEntity* AItem) { return AItem->Collection() == collection; });
}

void TEntityList::DomainFreeing() {
  LetGo();
  if (FSession) FSession->RemoveEntityList(this);
  FSession = nullptr;
  FDomain = nullptr;
}

void TEntityList::SessionFreeing() {
  // The query and the fill were made for this session.
  LetGo();
  FSession = nullptr;
}

// --- content ---

void TEntityList::Clear() {
  FList.clear();
  FMembers.clear();
  FSelection.clear();
}

bool TEntityList::InternalAdd(TEntity* AEntity) {
  // Nobody may choose or see an entity on its way out: every fill and every
  // later addition passes here.
  if (!AEntity || AEntity->IsRemote() || AEntity->Deleted() || FMembers.contains(AEntity)) return false;
  FList.push_back(AEntity);
  FMembers.insert(AEntity);
  return true;
}

void TEntityList::_Add(TEntity* AEntity) {
  if (InternalAdd(AEntity)) NotifyViews(dckEntityAdded, AEntity);
}

void TEntityList::_Remove(TEntity* AEntity) {
  if (!FMembers.contains(AEntity)) return;
  FList.erase(std::remove(FList.begin(), FList.end(), AEntity), FList.end());
  FMembers.remove(AEntity);
  const bool wasSelected = RemoveFromSelection(AEntity);
  NotifyViews(dckEntityRemoved, AEntity);
  if (wasSelected) NotifyViews(dckSelectionChanged, Selected());
}

void TEntityList::AddFirst(TEntity* AEntity) {
  FList.insert(FList.begin(), AEntity);
  FMembers.insert(AEntity);
}

TEntity* TEntityList::GetRealEntity(TEntity* AEntity) const {
  if (FFillerKind == lfkList)
    if (auto* listField = dynamic_cast<TListField*>(FFillerField)) return listField->ExtractRealEntity(AEntity);
  return AEntity;
}

// --- editing through the filler ---

TEntity* TEntityList::AddEntity(TChangeHolder* AHolder, const QString& ACollectionName) {
  switch (FFillerKind) {
    case lfkList:
      return static_cast<TListField*>(FFillerField)->AddListEntity(AHolder, ACollectionName);
    case lfkSelector:
    case lfkDefinition: {
      TCollection* collection = FDomain ? FDomain->CollectionByName(ACollectionName) : nullptr;
      TV_ASSERT(collection, QStringLiteral("There is no collection [") + ACollectionName + QLatin1Char(']'));
      return collection->CreateNewEntity(AHolder, -1, FFillerKind == lfkSelector ? FFillerField : nullptr);
    }
    default:
      TV_FAIL(QStringLiteral("Unknown component filled this list"));
  }
}

void TEntityList::LinkEntity(TChangeHolder* AHolder, TEntity* AEntity) {
  // A selector of an entity field has no list to link into.
  if (auto* listField = dynamic_cast<TListField*>(FFillerField)) listField->LinkListEntity(AHolder, AEntity);
}

void TEntityList::RemoveEntity(TChangeHolder* AHolder, TEntity* AEntity) {
  switch (FFillerKind) {
    case lfkSelector:
      AEntity->Delete(AHolder);
      break;
    case lfkList:
      static_cast<TListField*>(FFillerField)->RemoveListEntity(AHolder, AEntity);
      break;
    case lfkDefinition: {
      // Stored at once, in a modification of its own.
      TUserSession* session = FSession ? FSession : (FDomain ? FDomain->DomainSession() : nullptr);
      if (!session) break;
      const TLinkRef link = AEntity->GetLink();
      session->AtomicModification([&link](TChangeHolder* AModification) {
        if (TEntity* entity = link.Owner()) entity->Delete(AModification);
        return true;
      });
      break;
    }
    default:
      break;
  }
}

void TEntityList::GetEntitiesForSelect(TUserSession* ASession, TEntityList* AList) {
  if (auto* listField = dynamic_cast<TListField*>(FFillerField)) listField->GetEntitiesForSelect(ASession, AList);
}

// --- selection ---

TEntity* TEntityList::SelectEntity(TEntity* AEntity) {
  TEntity* previous = Selected();
  if (previous == AEntity) return previous;
  FSelection.clear();
  if (AEntity && !AEntity->IsNull()) FSelection.push_back(AEntity);
  NotifyViews(dckSelectionChanged, AEntity);
  return previous;
}

void TEntityList::SelectEntities(const std::vector<TEntity*>& AList) {
  FSelection = AList;
  NotifyViews(dckSelectionChanged, Selected());
}

bool TEntityList::RemoveFromSelection(TEntity* AEntity) {
  const auto it = std::remove(FSelection.begin(), FSelection.end(), AEntity);
  if (it == FSelection.end()) return false;
  FSelection.erase(it, FSelection.end());
  return true;
}

// --- views ---

void TEntityList::AddUIListener(TDomainListener* AView) {
  if (AView) FUIListeners.AddUnique(AView);
}

void TEntityList::RemoveUIListener(TDomainListener* AView) {
  FUIListeners.Remove(AView);
}

void TEntityList::NotifyViews(int AKind, TObject* AParameter) {
  if (FUIListeners.IsEmpty()) return;
  const TDomainChangeMessage message{DM_DOMAIN_CHANGED, AKind, this, AParameter};
  FUIListeners.ForEachReverse([&message](TDomainListener* AView) { AView->DomainChanged(message); });
}

void TEntityList::DomainChanged(const TDomainChangeMessage& AMessage) {
  if (!AMessage.Parameter) return;
  auto* entity = dynamic_cast<TEntity*>(AMessage.Parameter);
  switch (AMessage.Kind) {
    case dckEntityChanged:
      if (!entity) return;
      if (Contains(entity))
        NotifyViews(dckEntityChanged, entity);
      else if (!FQuery || FQuery->IsMatch(FSession, entity))
        _Add(entity);
      break;
    case dckEntityAdded:
      if (!entity || Contains(entity)) return;
      if (!FQuery || FQuery->IsMatch(FSession, entity)) _Add(entity);
      break;
    case dckEntityRemoved:
      if (entity) _Remove(entity);
      break;
    case dckViewStateChanged:
      if (auto* sender = dynamic_cast<TEntity*>(AMessage.Sender)) FViewState = sender->ViewState();
      NotifyViews(dckViewStateChanged, AMessage.Parameter);
      break;
    default:
      NotifyViews(AMessage.Kind, AMessage.Parameter);
      break;
  }
}

// --- sorting ---

void TEntityList::Sort(TEntitySortType ASortType, const QString& ASortFieldName) {
  FSortType = ASortType;
  switch (ASortType) {
    case estUserSort:
      return;
    case estSortByID:
      // Compared, not subtracted: IDs of opposite signs would overflow.
      std::stable_sort(FList.begin(), FList.end(), [](TEntity* A, TEntity* B) { return A->ID() < B->ID(); });
      return;
    case estSortByName: {
      const QCollator& collator = LocaleCollator(Qt::CaseInsensitive);
      std::vector<std::pair<QCollatorSortKey, TEntity*>> keyed;
      keyed.reserve(FList.size());
      for (TEntity* entity : FList) keyed.emplace_back(collator.sortKey(entity->DisplayName()), entity);
      std::stable_sort(keyed.begin(), keyed.end(),
                       [](const auto& A, const auto& B) { return A.first.compare(B.first) < 0; });
      for (size_t i = 0; i < keyed.size(); ++i) FList[i] = keyed[i].second;
      return;
    }
    case estSortByTypeAndName: {
      const QCollator& collator = LocaleCollator(Qt::CaseInsensitive);
      struct TKeyed {
        bool IsNull;
        QCollatorSortKey Type;
        QCollatorSortKey Name;
        TEntity* Entity;
      };
      std::vector<TKeyed> keyed;
      keyed.reserve(FList.size());
      for (TEntity* entity : FList)
        keyed.push_back({entity->IsNull(), collator.sortKey(entity->CollectionName()),
                         collator.sortKey(entity->DisplayName()), entity});
      std::stable_sort(keyed.begin(), keyed.end(), [](const TKeyed& A, const TKeyed& B) {
        if (A.IsNull != B.IsNull) return A.IsNull;
        const int byType = A.Type.compare(B.Type);
        if (byType != 0) return byType < 0;
        return A.Name.compare(B.Name) < 0;
      });
      for (size_t i = 0; i < keyed.size(); ++i) FList[i] = keyed[i].Entity;
      return;
    }
    case estSortByColorFieldID: {
      if (ASortFieldName.isEmpty()) return;
      const qsizetype dot = ASortFieldName.lastIndexOf(QLatin1Char('.'));
      FSortFieldName = (dot < 0 ? ASortFieldName : ASortFieldName.left(dot)) + QStringLiteral(".ID");
      struct TKeyed {
        bool Resolved;
        int64_t ID;
        TEntity* Entity;
      };
      std::vector<TKeyed> keyed;
      keyed.reserve(FList.size());
      for (TEntity* entity : FList) {
        TKeyed item{false, 0, entity};
        item.Resolved = ExtractSortID(entity, FSortFieldName, item.ID);
        keyed.push_back(item);
      }
      std::stable_sort(keyed.begin(), keyed.end(), [](const TKeyed& A, const TKeyed& B) {
        if (A.Resolved != B.Resolved) return A.Resolved;
        return A.ID < B.ID;
      });
      for (size_t i = 0; i < keyed.size(); ++i) FList[i] = keyed[i].Entity;
      return;
    }
    default:
      TV_FAIL(QStringLiteral("The sorting isn't supported"));
  }
}

void TEntityList::Resort() {
  Sort(FSortType, FSortFieldName);
}
