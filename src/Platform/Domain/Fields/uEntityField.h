#pragma once

#include <optional>
#include <utility>

#include "src/Platform/Domain/Fields/uObjectField.h"

class TEntityFieldDef;
class TEntityList;

// A reference to one entity (fkObject). Unresolved (holding only the IDs as
// loaded or received) until Subscribe; then a real entity or the NullEntity.
class TEntityField : public TObjectField {
 public:
  TEntityField(TEntity* AInstance, TFieldDef* AFieldDef);
  ~TEntityField() override;
  TEntityFieldDef* EntityFieldDef() const;
  void CheckJSON(const TJSONValue* AValue) const override;

  int32_t CollectionID() const { return FCollectionID; }
  // The resolved entity's ID.
  int32_t EntityID() const;
  QString ContentCollectionName() const;
  bool IsResolved() const { return FEntity != nullptr; }
  // "Too early getting of entity" while unresolved.
  TEntity* Entity() const;
  TEntity* GetEntity() const { return Entity(); }

  Variant GetValue() const override;
  bool IsNull() const override;
  void InternalSetValue(const Variant& AValue) override;
  // A selector takes the collection of a real entity, then SetValue.
  void SetEntity(TChangeHolder* AHolder, TEntity* AValue);
  void ResetToDefault(TChangeHolder* AHolder);
  // The candidates for this reference, the empty choice first unless required.
  void GetEntitiesForSelect(TUserSession* ASession, TEntityList* AList);

  // The entity going away: the reference becomes the NullEntity without any
  // notification (it is being freed, nothing may point at it).
  void ForgetEntity(TEntity* AEntity);

 protected:
  void DoSetValue(const Variant& AValue) override;
  void DoBeforeChanges(TChangeHolder* AHolder) override;
  void DoAfterChanges(TChangeHolder* AHolder) override;
  std::unique_ptr<TJSONValue> DoGetJSON() const override;
  void DoSetJSON(const TJSONValue* AValue) override;
  void DoLoad(TStorage* AStorage) override;
  void DoTransfer(TStorage* AStorage) override;
  void DoSubscribe() override;
  void DoUnsubscribe() override;
  Variant DoExtractFieldValue(const QString& AFieldName) const override;
  int DoCompare(const Variant& AValue) const override;
  bool DoCheckValuedCondition(const Variant& AValue, TConditionKind ACondition,
                              TConditionModifier AModifier) const override;
  bool IsSameValue(const Variant& AValue) const override;
  TEntity* ChangedEntityParameter() const override { return FEntity; }

 private:
  std::pair<int32_t, std::optional<int32_t>> JSONIDs(const TJSONValue* AValue) const;
  // Keeps the owner registered as listener of exactly the referenced entity.
  void Listen(TEntity* AEntity);

  int32_t FCollectionID;
  int32_t FEntityID;
  TEntity* FEntity = nullptr;     // not owned; none while unresolved
  TEntity* FListening = nullptr;  // the entity the owner is registered with
};
