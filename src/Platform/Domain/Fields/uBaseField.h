#pragma once

#include <QString>
#include <memory>

#include "src/Platform/Configuration/uObjectFieldDef.h"
#include "src/Platform/uConsts.h"
#include "src/Platform/uJSON.h"
#include "src/Platform/uVariant.h"

class TDomain;
class TEntity;
class TFieldDef;
class TChangeHolder;
class TUserSession;
class TStorage;
class TJSONValue;
class TJSONObject;

enum TValidateStatus : uint8_t { vsValid, vsInvalid, vsRequiredIsNull };

// One value of an entity. SetValue is the single path through which a
// change reaches the change holder and the notifications.
class TBaseField : public TObject {
 public:
  TBaseField(TEntity* AInstance, TFieldDef* AFieldDef);
  ~TBaseField() override = default;
  TBaseField(const TBaseField&) = delete;
  TBaseField& operator=(const TBaseField&) = delete;

  // The owner's domain: a field never outlives or changes its owner.
  TDomain* Domain() const;
  const QString& FieldName() const { return FFieldDef->Name(); }
  const QString& StorageName() const { return FFieldDef->StorageName(); }
  TFieldKind FieldKind() const { return FFieldDef->Kind(); }
  TEntity* OwnerInstance() const { return FInstance; }
  TFieldDef* FieldDef() const { return FFieldDef; }
  virtual bool IsNull() const { return false; }
  // The value as the application sees it (a localisable text translated).
  virtual Variant GetValue() const { return Variant::Null(); }
  Variant Value() const { return GetValue(); }

  // The field's JSON value, or none; the caller owns it.
  std::unique_ptr<TJSONValue> JSON() const;
  // An outside change without holder (synchronisation, revert): detaches,
  // takes the value, resolves, attaches and runs the entity's change processing.
  void SetJSON(const TJSONValue* AValue);
  // Raises what SetJSON would raise for AValue, changing nothing: an entity
  // checks all its received values before any field takes one.
  virtual void CheckJSON(const TJSONValue* AValue) const { (void)AValue; }
  // With AIsNew the value is only stored; otherwise as SetJSON. Nothing
  // without a pair of the field's name.
  void SetFromJSON(const TJSONObject* AJSONObject, bool AIsNew);

  TViewState UIState() const;
  void SetUIState(TViewState AUIState);
  TValidateStatus ValidationStatus() const { return FValidationStatus; }
  void SetValidationStatus(TValidateStatus AStatus) { FValidationStatus = AStatus; }

  void SetValue(TChangeHolder* AHolder, const Variant& AValue);
  void AfterChanges(TChangeHolder* AHolder) { DoAfterChanges(AHolder); }
  // Stores a value without holder or notification (defaults, Populate).
  virtual void InternalSetValue(const Variant& AValue) { DoSetValue(AValue); }

  void Load(TStorage* AStorage);
  void Transfer(TStorage* AStorage);
  void Subscribe() { DoSubscribe(); }
  void Unsubscribe() { DoUnsubscribe(); }

  Variant ExtractFieldValue(const QString& AFieldName) const { return DoExtractFieldValue(AFieldName); }
  // Negative, 0 or positive.
  int Compare(const Variant& AValue) const { return DoCompare(AValue); }
  // The field's value on the left, AValue on the right; "Compare criteria
  // doesn't supported" for a combination the kind does not know.
  bool CheckValuedCondition(const Variant& AValue, TConditionKind ACondition, TConditionModifier AModifier) const {
    return DoCheckValuedCondition(AValue, ACondition, AModifier);
  }
  bool InUIState(TUserSession* ASession, TViewState AState) const;
  QString GetCaption() const;
  QString GetHint() const;
  // "[caption]: old => new\r\n"; empty for not-stored and list fields.
  QString LogInfo(const TJSONValue* AOldValue = nullptr) const;
  // The text of a JSON value of this field's kind in change descriptions.
  QString LogText(const TJSONValue* AValue) const;

 protected:
  virtual void DoSetValue(const Variant& AValue) { (void)AValue; }
  virtual void DoBeforeChanges(TChangeHolder* AHolder);
  virtual void DoAfterChanges(TChangeHolder* AHolder);
  virtual std::unique_ptr<TJSONValue> DoGetJSON() const;
  virtual void DoSetJSON(const TJSONValue* AValue) { (void)AValue; }
  virtual void DoLoad(TStorage* AStorage) = 0;
  virtual void DoTransfer(TStorage* AStorage) = 0;
  virtual void DoSubscribe() {}
  virtual void DoUnsubscribe() {}
  virtual bool DoValidate() const;
  virtual Variant DoExtractFieldValue(const QString& AFieldName) const;
  virtual int DoCompare(const Variant& AValue) const = 0;
  virtual bool DoCheckValuedCondition(const Variant& AValue, TConditionKind ACondition,
                                      TConditionModifier AModifier) const = 0;
  // The "value did not change" test of SetValue; exact for every kind.
  virtual bool IsSameValue(const Variant& AValue) const;
  // The entity SetValue passes on to the change processing.
  virtual TEntity* ChangedEntityParameter() const { return nullptr; }

  [[noreturn]] void UnsupportedCondition() const;

  TEntity* FInstance;    // not owned
  TFieldDef* FFieldDef;  // not owned
  TValidateStatus FValidationStatus = vsValid;
  TViewState FUIState;
  // Made inside its entity's own block, so freed with it (set by the entity).
  bool FInEntityBlock = false;

  friend class TEntity;
  friend struct TFieldDeleter;
};
