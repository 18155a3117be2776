#include "src/Platform/Domain/Fields/uBaseField.h"

#include "src/Platform/Configuration/uConfiguration.h"
#include "src/Platform/Configuration/uDefinition.h"
#include "src/Platform/Configuration/uObjectFieldDef.h"
#include "src/Platform/Domain/Fields/uEntityField.h"
#include "src/Platform/Domain/Fields/uListField.h"
#include "src/Platform/Domain/uChangeManager.h"
#include "src/Platform/Domain/uCollection.h"
#include "src/Platform/Domain/uDomain.h"
#include "src/Platform/Domain/uEntity.h"
#include "src/Platform/Domain/uStorage.h"
#include "src/Platform/Script/uScript.h"
#include "src/Platform/uDateUtils.h"
#include "src/Platform/uException.h"
#include "src/Platform/uFormat.h"
#include "src/Platform/uJSON.h"
#include "src/Platform/uMD5.h"
#include "src/Platform/uTextCodec.h"

static constexpr const char* cModulePath = "src/Platform/Domain/Fields/uBaseField";

namespace {

// Tells the owner lists that this field feeds that the entity leaves
// (before a change) or joins (after it).
void FeedOwnerLists(TBaseField* AField, TChangeHolder* AHolder, bool AJoin) {
  TEntity* entity = AField->OwnerInstance();
  TDefinition* definition = entity->Definition();
  if (!definition) return;
  if (TCollection* collection = entity->Collection()) {
    if (AJoin)
      collection->AddToSearchIndexes(entity, AField->FieldName());
    else
      collection->RemoveFromSearchIndexes(entity, AField->FieldName());
  }
  for (TListFieldDef* listDef : definition->OwnerLists()) {
    if (!listDef->IsSelectiveField(AField->FieldName())) continue;
    auto tell = [&](TEntity* AOwner) {
      if (!AOwner || AOwner->IsNull()) return;
      auto* list = dynamic_cast<TListField*>(AOwner->FindField(listDef->Name()));
      if (!list) return;
      if (AJoin)
        list->AddToList(AHolder, entity);
      else
        list->DeleteFromList(AHolder, entity);
    };
    if (!listDef->MasterFieldName().isEmpty()) {
      auto* master = dynamic_cast<TEntityField*>(entity->FindField(listDef->MasterFieldName()));
      if (master && master->IsResolved()) tell(master->Entity());
    } else if (TDomain* domain = entity->Domain()) {
      for (TCollection* collection : domain->CollectionsByDefinition(listDef->Definition()))
        for (int i = 0; i < collection->Count(); ++i) tell(collection->GetEntity(i));
    }
  }
}

QString HexColor(int64_t AValue) {
  return QStringLiteral("#") +
         QStringLiteral("%1").arg(static_cast<uint32_t>(AValue), 8, 16, QLatin1Char('0')).toUpper();
}

double NumberOf(const TJSONValue* AValue) {
  auto* number = dynamic_cast<const TJSONNumber*>(AValue);
  return number ? number->AsDouble() : 0;
}

}  // namespace

TBaseField::TBaseField(TEntity* AInstance, TFieldDef* AFieldDef)
    : FInstance(AInstance), FFieldDef(AFieldDef), FUIState(AFieldDef->UIState()) {}

TDomain* TBaseField::Domain() const {
  return FInstance->Domain();
}

std::unique_ptr<TJSONValue> TBaseField::JSON() const {
  return DoGetJSON();
}

void TBaseField::SetJSON(const TJSONValue* AValue) {
  DoBeforeChanges(nullptr);
  DoSetJSON(AValue);
  DoSubscribe();
  DoAfterChanges(nullptr);
  FInstance->ProcessFieldChanged(nullptr, dckFieldChanged, FieldName(), nullptr);
}

void TBaseField::SetFromJSON(const TJSONObject* AJSONObject, bool AIsNew) {
  if (!AJSONObject) return;
  TJSONPair* pair = AJSONObject->Get(FieldName());
  if (!pair) return;
  if (AIsNew)
    DoSetJSON(pair->JsonValue());
  else
    SetJSON(pair->JsonValue());
}

TViewState TBaseField::UIState() const {
  return FFieldDef->HasFlag(cfSystem) ? static_cast<TViewState>(FUIState & vsReadOnly) : FUIState;
}

void TBaseField::SetUIState(TViewState AUIState) {
  if (FUIState == AUIState) return;
  FUIState = AUIState;
  FInstance->NotifyView(dckViewStateChanged, nullptr, FieldName());
}

void TBaseField::SetValue(TChangeHolder* AHolder, const Variant& AValue) {
  if (IsSameValue(AValue)) return;
  DoBeforeChanges(AHolder);
  bool repeated = false;
  if (!FInstance->IsNew() && AHolder) repeated = AHolder->KeepOldData(FInstance, FieldName());
  DoSetValue(AValue);
  if (repeated) AHolder->RegisterFieldChanges(FInstance, FieldName());
  DoAfterChanges(AHolder);
  const std::vector<TDependentField> dependents = FFieldDef->DependentFields();
  for (const TDependentField& dependent : dependents)
    FInstance->ProcessMasterFieldChanged(AHolder, dependent.Field, FieldName(), dependent.FieldName);
  if (FFieldDef->HasFlag(cfRequired) && IsNull())
    FValidationStatus = vsRequiredIsNull;
  else
    FValidationStatus = DoValidate() ? vsValid : vsInvalid;
  FInstance->ProcessFieldChanged(AHolder, dckFieldChanged, FieldName(), ChangedEntityParameter());
}

bool TBaseField::IsSameValue(const Variant& AValue) const {
  return DoCheckValuedCondition(AValue, ckEqualTo, cmNone);
}

void TBaseField::Load(TStorage* AStorage) {
  if (!FFieldDef->HasFlag(cfNotSave)) DoLoad(AStorage);
}

void TBaseField::Transfer(TStorage* AStorage) {
  if (FFieldDef->HasFlag(cfNotSave)) return;
  if (Domain() && Domain()->Logger())
    Domain()->Logger()->AddMessage(QStringLiteral(">> ") + FieldName() + QStringLiteral(": ") +
                                   FieldKindName(FieldKind()));
  DoTransfer(AStorage);
}

bool TBaseField::InUIState(TUserSession* ASession, TViewState AState) const {
  // Access rights per session come with the sessions; until then the
  // definition's state and the field's own state decide.
  (void)ASession;
  return static_cast<TViewState>(FFieldDef->UIState() & UIState()) == AState;
}

QString TBaseField::GetCaption() const {
  return FFieldDef->_Caption();
}

QString TBaseField::GetHint() const {
  return FFieldDef->_Hint();
}

void TBaseField::DoBeforeChanges(TChangeHolder* AHolder) {
  FeedOwnerLists(this, AHolder, false);
}

void TBaseField::DoAfterChanges(TChangeHolder* AHolder) {
  FeedOwnerLists(this, AHolder, true);
}

std::unique_ptr<TJSONValue> TBaseField::DoGetJSON() const {
  return nullptr;
}

bool TBaseField::DoValidate() const {
  TScript* script = Domain() && Domain()->Configuration() ? Domain()->Configuration()->Script() : nullptr;
  return !script || script->CheckField(FInstance, FieldName());
}

Variant TBaseField::DoExtractFieldValue(const QString& AFieldName) const {
  TV_FAIL(QStringLiteral("There is no field value \"%1\"").arg(AFieldName));
}

void TBaseField::UnsupportedCondition() const {
  TV_FAIL(QStringLiteral("Compare criteria doesn't supported"));
}

QString TBaseField::LogText(const TJSONValue* AValue) const {
  switch (FieldKind()) {
    case fkString:
      return AValue ? AValue->Value() : QString();
    case fkInteger:
    case fkEnum:
    case fkFlag: {
      auto* number = dynamic_cast<const TJSONNumber*>(AValue);
      return number ? number->NumberText() : QString();
    }
    case fkFloat:
      return AValue ? FormatFloat(QStringLiteral("0.######"), NumberOf(AValue)) : QString();
    case fkDateTime:
      return AValue ? FormatDateTime(QStringLiteral("dd.mm.yyyy"), TDateTime(NumberOf(AValue))) : QString();
    case fkBoolean:
      return AValue ? (NumberOf(AValue) != 0 ? QStringLiteral("Yes") : QStringLiteral("No")) : QString();
    case fkColor:
      return AValue ? HexColor(static_cast<int64_t>(NumberOf(AValue))) : QString();
    case fkCurrency:
      return AValue ? CurrToStr(Currency::FromDouble(NumberOf(AValue))) : QString();
    case fkObject: {
      if (auto* object = dynamic_cast<const TJSONObject*>(AValue)) {
        const int id = object->ExtractInteger(QStringLiteral("id"));
        if (id <= 0) return QStringLiteral("[EMPTY]");
        const int typeID = object->ExtractInteger(QStringLiteral("type_id"));
        TCollection* collection = Domain() ? Domain()->CollectionByID(typeID) : nullptr;
        return QStringLiteral("[%1: %2]").arg(collection ? collection->Name() : QString()).arg(id);
      }
      return QStringLiteral("[ID: %1]").arg(static_cast<int64_t>(NumberOf(AValue)));
    }
    case fkBlob:
      return AValue ? QStringLiteral("md5(") + MD5Hex(EncodeWin1251(AValue->ToString())) + QLatin1Char(')')
                    : QStringLiteral("[empty]");
    default:
      return QString();
  }
}

QString TBaseField::LogInfo(const TJSONValue* AOldValue) const {
  if (FFieldDef->HasFlag(cfNotSave) || FieldKind() == fkList) return QString();
  const std::unique_ptr<TJSONValue> current = DoGetJSON();
  QString text = QLatin1Char('[') + FFieldDef->_Caption() + QStringLiteral("]: ");
  if (AOldValue) text += LogText(AOldValue) + QStringLiteral(" => ");
  return text + LogText(current.get()) + QStringLiteral("\r\n");
}
