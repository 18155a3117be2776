#pragma once

#include <QSet>
#include <QString>
#include <cstdint>
#include <memory>
#include <vector>

#include "src/Platform/Domain/uDomainUtils.h"
#include "src/Platform/Domain/uListenerList.h"
#include "src/Platform/uConsts.h"
#include "src/Platform/uVariant.h"

class TDomain;
class TCollection;
class TUserSession;
class TEntity;
class TBaseDefinition;
class TDefinition;
class TObjectFieldDef;
class TObjectField;
class TEntityField;
class TListField;
class TChangeHolder;
class TQueryObject;
struct TBoundQuery;

// What filled an entity list: the candidates for a field, the items of a list
// field, or the entities of a definition.
enum TEntityListFillerKind : uint8_t { lfkUndefined, lfkSelector, lfkList, lfkDefinition };

// The live, sorted, selectable list of entities that a list-shaped view shows.
// It listens to the collections that can contribute entities and keeps itself
// current when entities are created, changed or deleted, and tells the views
// that watch it (any TDomainListener) about every change, with Sender = the
// list, from the last registered view to the first.
//
// A filler fills the list: it clears it, adds the entities (InternalAdd), sorts
// it (Sort) and then sets itself as filler (SetFiller) with the query text that
// decides which entities announced later join the list.
//
// Lifetimes: the list points at its domain, session, filler field and the
// collections it listens to; each of them tells the list before it goes. An
// entity about to be freed leaves the list; when the domain, the session or
// the filler field goes, the list lets go of its filler and its entities.
class TEntityList : public TObject, public TDomainListener {
 public:
  // Empty, no filler, user sort, view state vsFullAccess.
  TEntityList(TDomain* ADomain, TUserSession* ASession);
  ~TEntityList() override;
  TEntityList(const TEntityList&) = delete;
  TEntityList& operator=(const TEntityList&) = delete;

  // A definition (or a presentation of one) as filler: the entities of its
  // collection and of its descendants' collections.
  void SetFiller(TBaseDefinition* ADefinition, const QString& AQuery);
  // A list field: its items (lfkList), or candidates to add (AForSelect,
  // lfkSelector). "*" in AQuery means the field's owner entity.
  void SetFiller(TListField* AListField, bool AForSelect, const QString& AQuery);
  // An entity field: candidates for the reference (lfkSelector).
  void SetFiller(TEntityField* AEntityField, const QString& AQuery);
  // Sets the definitions without changing the filler: a definition or a
  // presentation, or an entity or list field definition (its content).
  void SetDefinition(TBaseDefinition* ADefinition);
  void SetDefinition(TObjectFieldDef* AFieldDef);

  // Empties the entities and the selection.
  void Clear();
  // Appends an entity that is not yet in the list (never a remote one nor one
  // marked deleted), without notification; true when appended.
  bool InternalAdd(TEntity* AEntity);
  // InternalAdd, and the views get dckEntityAdded when appended.
  void _Add(TEntity* AEntity);
  // When present: removed (from the selection too), and the views get
  // dckEntityRemoved.
  void _Remove(TEntity* AEntity);
  // Inserts at the front without checks or notification: the empty choice.
  void AddFirst(TEntity* AEntity);
  bool Contains(TEntity* AEntity) const { return FMembers.contains(AEntity); }

  int Count() const { return static_cast<int>(FList.size()); }
  TEntity* GetEntity(int AIndex) const { return FList[static_cast<size_t>(AIndex)]; }
  const std::vector<TEntity*>& Entities() const { return FList; }
  // For the items of a list field, the item's real entity; otherwise the
  // entity itself.
  TEntity* GetRealEntity(TEntity* AEntity) const;

  // Creates a new entity in the named collection the way the filler requires.
  TEntity* AddEntity(TChangeHolder* AHolder, const QString& ACollectionName);
  // Links an entity into the filler list field; nothing for other fillers.
  void LinkEntity(TChangeHolder* AHolder, TEntity* AEntity);
  // Removes an entity the way the filler requires: marks a candidate deleted
  // through the holder, takes an item out of its list field, or marks an
  // entity of a definition deleted in an atomic modification of its own.
  void RemoveEntity(TChangeHolder* AHolder, TEntity* AEntity);
  // The filler list field's candidates; nothing for other fillers.
  void GetEntitiesForSelect(TUserSession* ASession, TEntityList* AList);

  // The first selected entity, or none.
  TEntity* Selected() const { return FSelection.empty() ? nullptr : FSelection.front(); }
  const std::vector<TEntity*>& Selection() const { return FSelection; }
  // The selection becomes AEntity alone (empty for none or the NullEntity)
  // unless it is already the first selected. Returns the previous first
  // selected entity.
  TEntity* SelectEntity(TEntity* AEntity);
  void SelectEntities(const std::vector<TEntity*>& AList);

  void AddUIListener(TDomainListener* AView);
  void RemoveUIListener(TDomainListener* AView);

  // Stores the sort type (and, for the colour-field sort, the ID path derived
  // from AFieldName), then sorts.
  void Sort(TEntitySortType ASortType, const QString& ASortFieldName = QString());
  // Sorts again with the stored type and field name.
  void Resort();

  // Notifications of the collections the list listens to.
  void DomainChanged(const TDomainChangeMessage& AMessage) override;
  void EntitiesFreeing(TCollection* ACollection, TEntity* AEntity) override;
  // A collection it listens to, or the filler field.
  void SenderFreeing(TObject* ASender) override;
  // The domain or the session is about to be freed.
  void DomainFreeing();
  void SessionFreeing();

  TDomain* Domain() const { return FDomain; }
  TUserSession* Session() const { return FSession; }
  TEntityListFillerKind FillerKind() const { return FFillerKind; }
  // What filled the list (a definition, a list field or an entity field),
  // for identity checks only; the typed accessors give the object.
  const void* Filler() const { return FFiller; }
  TBaseDefinition* FillerDefinition() const { return FFillerDefinition; }
  TObjectField* FillerField() const { return FFillerField; }
  TDefinition* MainDefinition() const { return FMainDefinition; }
  TBaseDefinition* SrcDefinition() const { return FSrcDefinition; }
  QString DefinitionName() const;
  TEntitySortType SortType() const { return FSortType; }
  const QString& SortFieldName() const { return FSortFieldName; }
  const std::vector<TDefinition*>& ContentDefinitions() const { return FContentDefinitions; }
  TViewState ViewState() const { return FViewState; }
  // The test that decides whether an announced entity joins; none without
  // filler.
  TQueryObject* Query() const;

 private:
  std::unique_ptr<TBoundQuery> CompileQuery(const QString& AQuery, TEntity* AInstance) const;
  void SetFillerCommon(const void* AFiller, TEntityListFillerKind AKind, TBaseDefinition* AFillerDefinition,
                       TObjectField* AFillerField, std::unique_ptr<TBoundQuery> AQuery);
  void StartListening();
  void StopListening();
  // No filler any more: nothing listened to, no query, no entities.
  void LetGo();
  void SetFillerField(TObjectField* AField);
  // Removes the entities that match (and from the selection), telling the views.
  template <class TPred>
  void DropEntities(TPred APred);
  void NotifyViews(int AKind, TObject* AParameter);
  bool RemoveFromSelection(TEntity* AEntity);

  std::vector<TEntity*> FList;  // not owned
  QSet<TEntity*> FMembers;      // what FList holds, so adding is not a linear search
  TListenerList<TDomainListener*> FUIListeners;
  TDomain* FDomain;
  TUserSession* FSession;
  const void* FFiller = nullptr;
  TBaseDefinition* FFillerDefinition = nullptr;
  TObjectField* FFillerField = nullptr;
  TEntityListFillerKind FFillerKind = lfkUndefined;
  std::vector<TDefinition*> FContentDefinitions;
  std::vector<TCollection*> FListenedCollections;  // what StartListening registered with
  TEntitySortType FSortType = estUserSort;
  QString FSortFieldName;
  std::unique_ptr<TBoundQuery> FQuery;  // compiled for this list, with its values
  TBaseDefinition* FSrcDefinition = nullptr;
  TDefinition* FMainDefinition = nullptr;
  std::vector<TEntity*> FSelection;
  TViewState FViewState = vsFullAccess;
};
