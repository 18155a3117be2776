#pragma once

#include <unordered_set>
#include <vector>

#include "src/Platform/Domain/Fields/uObjectField.h"

class TListFieldDef;
class TEntityList;

// The other end of references (fkList): the entities whose master field
// points to the owner, or for a transit list the link entities of a
// many-to-many relation. Never stored: rebuilt through the owner lists.
class TListField : public TObjectField {
 public:
  TListField(TEntity* AInstance, TFieldDef* AFieldDef);
  ~TListField() override;
  TListFieldDef* ListFieldDef() const;

  int Count() const { return static_cast<int>(FList.size()); }
  bool IsTransit() const { return FIsTransit; }
  const std::vector<TDefinition*>& TransitDefinitions() const;
  const QString& MasterFieldName() const;
  TRelationPower RelationPower() const;
  const std::vector<TEntity*>& Items() const { return FList; }

  // The reference of the list field itself.
  Variant GetValue() const override;
  bool IsNull() const override { return FList.empty(); }

  TEntity* GetEntity(int AIndex) const;
  TEntity* GetRealEntity(int AIndex) const;
  // The item itself, or for a transit list the entity its transit field
  // references; "List field contains Nil value" when missing.
  TEntity* ExtractRealEntity(TEntity* AItem) const;
  bool Contains(TEntity* AEntity) const;
  bool ContainsItem(TEntity* AItem) const { return FItems.count(AItem) != 0; }
  TColor GetEntityColor(TEntity* AEntity) const;

  TEntity* AddListEntity(TChangeHolder* AHolder, const QString& ACollectionName);
  void LinkListEntity(TChangeHolder* AHolder, TEntity* AEntity);
  void UnlinkListEntity(TChangeHolder* AHolder, TEntity* AEntity);
  void RemoveListEntity(TChangeHolder* AHolder, TEntity* AEntity);
  void ClearList(TChangeHolder* AHolder);

  // Membership, driven by the items' fields through the owner lists.
  void AddToList(TChangeHolder* AHolder, TEntity* AEntity);
  void DeleteFromList(TChangeHolder* AHolder, TEntity* AEntity);
  void InternalAdd(TEntity* AItem);
  // The item going away: it leaves the list without any notification.
  void ForgetEntity(TEntity* AItem);

  void GetEntityList(TUserSession* ASession, TEntityList* AEntityList);
  void GetEntitiesForSelect(TUserSession* ASession, TEntityList* AList);
  void GetAllEntitiesForSelect(TUserSession* ASession, TEntityList* AList);

 protected:
  void DoLoad(TStorage* AStorage) override { (void)AStorage; }
  void DoTransfer(TStorage* AStorage) override { (void)AStorage; }
  void DoUnsubscribe() override;
  bool DoValidate() const override { return true; }
  Variant DoExtractFieldValue(const QString& AFieldName) const override;
  int DoCompare(const Variant& AValue) const override;
  bool DoCheckValuedCondition(const Variant& AValue, TConditionKind ACondition,
                              TConditionModifier AModifier) const override;

 private:
  void RemoveItem(TEntity* AItem);
  void MarkItemDeleted(TChangeHolder* AHolder, TEntity* AItem);

  std::vector<TEntity*> FList;          // not owned
  std::unordered_set<TEntity*> FItems;  // the same items, for membership tests
  bool FIsTransit;
};
