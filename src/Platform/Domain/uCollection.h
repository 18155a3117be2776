#pragma once

#include <QHash>
#include <QString>
#include <QStringList>
#include <map>
#include <memory>
#include <vector>

#include "src/Platform/Domain/uEntity.h"
#include "src/Platform/Domain/uListenerList.h"

class TJSONArray;
class TJSONValue;
class TBaseField;
class TCollection;

// ID -> entity: a radix tree over stored IDs plus the provisional IDs of
// entities created in memory.
class TIndexMap {
 public:
  TIndexMap(TCollection* ACollection, int ANodePower);
  ~TIndexMap();
  TIndexMap(const TIndexMap&) = delete;
  TIndexMap& operator=(const TIndexMap&) = delete;

  // A negative AID gives the entity a new provisional ID.
  void AddEntity(int32_t AID, TEntity* AEntity);
  // 0: the NullEntity; negative: the provisional entity ("Wrong behaviour"
  // for an ID never given out; none once it left); positive: none beyond the
  // capacity or on a missing node.
  TEntity* GetEntity(int32_t AID) const;
  void DeleteEntity(int32_t AID);
  // Forgets every entity; provisional IDs go on from where they were, so
  // none is given out twice in the collection's life.
  void Clear();

  int LevelCount() const { return FLevelCount; }
  // The highest ID the current levels hold.
  int32_t MaxID() const { return FMaxID; }
  // Provisional entities still held.
  int JustCreatedCount() const { return FJustCreatedLive; }

 private:
  // A node is an array of FNodeSize slots: child nodes above the leaves,
  // entities in the leaves.
  using TNode = void*;
  static TNode* NewNode(int ASize);
  void FreeNode(TNode* ANode, int ALevel);

  TCollection* FCollection;  // not owned
  int FNodePower;
  int FCutMask;
  int FIndexNodeSize;
  int FNodeSize;
  int FLevelCount = 1;
  int32_t FMaxID;
  TNode* FRoot;
  // Provisional entities by position p (ID -(p + 1)), in the order positions
  // are given out, so that creating one only appends. Emptied entries are
  // dropped once they outnumber the live ones: a long run does not
  // accumulate them. Positions are never given out twice.
  struct TJustCreated {
    int32_t Position;
    TEntity* Entity;  // none once it left
  };
  std::vector<TJustCreated>::const_iterator FindJustCreated(int32_t APosition) const;
  std::vector<TJustCreated> FJustCreated;
  int32_t FJustCreatedLive = 0;
  int32_t FJustCreatedCount = 0;
};

// The entities of one search index that share a key.
class TSearchIndexBucket {
 public:
  explicit TSearchIndexBucket(std::unique_ptr<TJSONValue> AIndexValue);
  ~TSearchIndexBucket();
  const TJSONValue* IndexValue() const { return FIndexValue.get(); }
  const std::vector<TEntity*>& List() const { return FList; }
  void Add(TEntity* AEntity);
  void Remove(TEntity* AEntity);

 private:
  std::unique_ptr<TJSONValue> FIndexValue;
  std::vector<TEntity*> FList;  // not owned, no duplicates
};

// Entities grouped by the values of one or more fields.
class TSearchIndex {
 public:
  // Names split at ";"; "Assertion failure" when none is given.
  explicit TSearchIndex(const QString& AFieldNames);
  ~TSearchIndex();
  const QString& FieldNames() const { return FFieldNames; }
  const QStringList& Fields() const { return FFields; }
  bool ContainsField(const QString& AFieldName) const { return FFields.contains(AFieldName); }

  void AddEntity(TEntity* AEntity);
  void RemoveEntity(TEntity* AEntity);
  // The bucket of the entity's current key; none when there is none.
  TSearchIndexBucket* FindBucket(TEntity* AEntity) const;
  TSearchIndexBucket* FindBucketByKey(const QString& AKeyText) const;
  // The key: one field's JSON value, or an object of field name -> value.
  std::unique_ptr<TJSONValue> MakeKey(TEntity* AEntity) const;
  QString GetText() const;

 private:
  TSearchIndexBucket* BucketOf(TEntity* AEntity, bool ACreate);

  QString FFieldNames;
  QStringList FFields;
  std::map<QString, std::unique_ptr<TSearchIndexBucket>> FBuckets;  // sorted by key text
  std::unique_ptr<TSearchIndexBucket> FEmptyIndexBucket;
  QHash<TEntity*, TSearchIndexBucket*> FPlaced;  // where each entity was put
};

// All entities of one collection definition in a domain. A collection is
// itself an entity: a row of the collection catalogue.
class TCollection : public TEntity {
 public:
  TCollection(TDomain* ADomain, TDefinition* ADefinition);
  ~TCollection() override;

  static TEntityClass CollectionClass();

  void SetCollectionAttributes(TEntityClass AEntityClass, TDefinition* AContentDefinition);
  void SetViewState(TViewState AViewState) override;
  // Frees every search index and entity; the ID map starts empty again
  // (provisional IDs are not given out again). The listeners hear of it first.
  void Clear();

  int Count() const { return static_cast<int>(FList.size()); }
  TDefinition* ContentDefinition() const { return FContentDefinition; }
  QString Name() const;
  int32_t MaxID() const { return FMaxID; }
  TIndexMap* IndexMap() const { return FIndexMap.get(); }
  bool Loaded() const { return FLoaded; }
  QString GetCaption() const;

  // Lookup.
  TEntity* EntityByID(int32_t AID) const { return FIndexMap->GetEntity(AID); }
  TEntity* NullableEntityByID(int32_t AID) const;
  TEntity* GetEntity(int AIndex) const { return FList[static_cast<size_t>(AIndex)].get(); }
  // The first entity that is not remote, or none.
  TEntity* First() const;
  // The non-remote entities that match the query; ":"-parameters take AParams in order.
  std::vector<TEntity*> Find(TUserSession* ASession, const QString& AQuery,
                             const std::vector<Variant>& AParams = {}) const;
  TEntity* FindOne(TUserSession* ASession, const QString& AQuery, const std::vector<Variant>& AParams = {}) const;
  TEntity* FindSimilarEntity(TUserSession* ASession, TEntity* AEntity) const;
  TEntity* EntityByNameAndGrouping(const QString& AFieldName, const QString& AValue, int32_t AGroupID = 0,
                                   const QString& AGroupFieldName = QString()) const;
  int IndexOfField(const QString& AFieldName) const;

  // Creation.
  TEntity* InternalCreateEntity(int32_t AID, bool AIsNew);
  // AID -1 for a provisional ID. AFieldContext: the field the entity is
  // created for (its selective fields fill the new entity), or none.
  TEntity* CreateNewEntity(TChangeHolder* AHolder, int32_t AID = -1, TBaseField* AFieldContext = nullptr);
  TEntity* CreateEntityFromJSON(int32_t AID, const TJSONObject* AJSONObject);
  TEntity* CreateDefaultEntity(TChangeHolder* AHolder, int32_t AID, bool AIsService, const QString& AFieldNames,
                               const std::vector<Variant>& AValues);
  TEntity* CloneEntity(TChangeHolder* AHolder, TEntity* ASourceEntity);

  // Loading, exporting.
  void LoadAll(TStorage* AStorage);
  void Subscribe();
  void Unsubscribe();
  void ExportAll(TJSONArray* AJSONArray) const;
  void FillEntityFromJSON(TEntity* AEntity, const TJSONObject* AJSONObject, bool AIsNew);

  // IDs.
  void GenerateEntityID(TEntity* AEntity);

  // Deletion.
  void MarkEntityAsDeleted(TChangeHolder* AHolder, TEntity* AEntity);
  // The real deletion of an entity marked deleted: the listeners hear of it,
  // then it leaves the collection and is freed.
  void RemoveEntity(TEntity* AEntity);

  // Listeners (entity lists).
  void AddViewListener(TDomainListener* AListener);
  void RemoveViewListener(TDomainListener* AListener);
  int ViewListenerCount() const { return FViewListeners.Count(); }
  void NotifyListeners(int AChangeKind, TObject* AParameter);

  // Search indexes.
  TSearchIndex* AddSearchIndex(const QString& AFieldNames);
  void AddToSearchIndexes(TEntity* AEntity, const QString& AFieldName);
  void RemoveFromSearchIndexes(TEntity* AEntity, const QString& AFieldName);
  TSearchIndexBucket* FindIndexBucket(const QString& AFieldName, TEntity* AEntity) const;
  QString ShowSearchIndexInfo() const;

 private:
  void InternalAdd(TEntity* AEntity);
  // The catalogue: its content definition is its own definition.
  bool IsRoot() const { return FContentDefinition && FContentDefinition == Definition(); }
  void ReadAll(TStorage* AStorage, std::vector<TEntity*>& ALoaded);
  void LoadItem(TStorage* AStorage, std::vector<TEntity*>& ALoaded);
  void DiscardLoaded(const std::vector<TEntity*>& ALoaded);
  int IndexOfEntity(TEntity* AEntity) const;
  // AEntity none: all of them.
  void TellEntitiesFreeing(TEntity* AEntity);

  TEntityClass FEntityClass;
  std::vector<std::unique_ptr<TEntity>> FList;
  std::vector<std::unique_ptr<TSearchIndex>> FSearchIndexes;
  std::unique_ptr<TIndexMap> FIndexMap;
  bool FLoaded = false;
  int32_t FMaxID = -1;
  TListenerList<TDomainListener*> FViewListeners;  // not owned
  TDefinition* FContentDefinition = nullptr;       // not owned
};
