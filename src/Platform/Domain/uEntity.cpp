#include "src/Platform/Domain/uEntity.h"

#include <algorithm>

#include "src/Platform/Configuration/uConfiguration.h"
#include "src/Platform/Configuration/uDefinition.h"
#include "src/Platform/Configuration/uEnumeration.h"
#include "src/Platform/Configuration/uObjectFieldDef.h"
#include "src/Platform/Configuration/uReport.h"
#include "src/Platform/Domain/Fields/uBlobField.h"
#include "src/Platform/Domain/Fields/uEntityField.h"
#include "src/Platform/Domain/Fields/uListField.h"
#include "src/Platform/Domain/Fields/uSimpleField.h"
#include "src/Platform/Domain/uChangeManager.h"
#include "src/Platform/Domain/uCollection.h"
#include "src/Platform/Domain/uDomain.h"
#include "src/Platform/Domain/uLink.h"
#include "src/Platform/Domain/uReaction.h"
#include "src/Platform/Domain/uSession.h"
#include "src/Platform/Domain/uStorage.h"
#include "src/Platform/Presenter/uLocalizator.h"
#include "src/Platform/Script/uScript.h"
#include "src/Platform/uDateUtils.h"
#include "src/Platform/uException.h"
#include "src/Platform/uFormat.h"
#include "src/Platform/uJSON.h"
#include "src/Platform/uNameList.h"

static constexpr const char* cModulePath = "src/Platform/Domain/uEntity";

// Up to this many fields FindField and FieldExists scan instead of hashing
// the name.
static constexpr size_t cScannedFieldCount = 8;

namespace {

bool IsSimpleKind(TFieldKind AKind) {
  return AKind >= fkString && AKind <= fkCurrency;
}

// A relative date keyword of a date-time default, against the domain's clock.
TDateTime RelativeDate(const QString& AKeyword, TDateTime ANow) {
  const TDateTime today = DateOf(ANow);
  if (AKeyword == QLatin1String("date")) return today;
  if (AKeyword == QLatin1String("datetime")) return ANow;
  if (AKeyword == QLatin1String("tomorrow")) return IncDay(today, 1);
  if (AKeyword == QLatin1String("+1y-1d")) return IncDay(IncMonth(today, 12), -1);
  if (AKeyword == QLatin1String("+1w")) return IncDay(today, 7);
  if (AKeyword == QLatin1String("-1w")) return IncDay(today, -7);
  if (AKeyword == QLatin1String("year_start")) return EncodeDate(YearOf(today), 1, 1);
  return TDateTime(0);
}

// The value as held: a localisable text is copied untranslated.
Variant RawValue(TBaseField* AField) {
  if (auto* text = dynamic_cast<TStringField*>(AField)) return text->Text();
  return AField->GetValue();
}

void SetValueVia(TChangeHolder* AHolder, TEntity* AEntity, const QString& AFieldName, const Variant& AValue) {
  if (AHolder)
    AHolder->SetFieldValue(AEntity, AFieldName, AValue);
  else
    AEntity->_SetFieldValue(nullptr, AFieldName, AValue);
}

void SetEntityVia(TChangeHolder* AHolder, TEntity* AEntity, const QString& AFieldName, TEntity* AValue) {
  if (AHolder)
    AHolder->SetFieldEntity(AEntity, AFieldName, AValue);
  else
    AEntity->_SetFieldEntity(nullptr, AFieldName, AValue);
}

void SetStreamVia(TChangeHolder* AHolder, TEntity* AEntity, const QString& AFieldName,
                  std::unique_ptr<TStream> AStream) {
  if (AHolder)
    AHolder->SetFieldStream(AEntity, AFieldName, std::move(AStream));
  else
    AEntity->_SetFieldStream(nullptr, AFieldName, std::move(AStream));
}

}  // namespace

TEntity* NullEntity() {
  // Built on first use and freed at program end, after every domain.
  static TEntity nullEntity(nullptr, nullptr);
  return &nullEntity;
}

TEntity* VarAsEntity(const Variant& AValue) {
  if (!AValue.IsObject()) return NullEntity();
  auto* entity = dynamic_cast<TEntity*>(AValue.RawObject());
  return entity ? entity : NullEntity();
}

// --- field plan ---

namespace {

using TMakeField = TBaseField* (*)(void* AWhere, TEntity* AEntity, TFieldDef* AFieldDef);

template <class TField>
TBaseField* MakeField(void* AWhere, TEntity* AEntity, TFieldDef* AFieldDef) {
  return new (AWhere) TField(AEntity, AFieldDef);
}

// The runtime class of a field kind.
struct TFieldClass {
  TMakeField Make = nullptr;  // none: the kind has no runtime field
  size_t Size = 0;
  size_t Align = 1;
};

template <class TField>
constexpr TFieldClass FieldClass() {
  static_assert(alignof(TField) <= alignof(TFieldPtr), "fields follow the slot array without further padding");
  return {&MakeField<TField>, sizeof(TField), alignof(TField)};
}

const TFieldClass& FieldClassOf(TFieldKind AKind) {
  static const TFieldClass cClasses[cLastFieldKind + 1] = {
      {},                            // fkNotDefined
      FieldClass<TStringField>(),    // fkString
      FieldClass<TIntegerField>(),   // fkInteger
      FieldClass<TIntegerField>(),   // fkEnum
      FieldClass<TIntegerField>(),   // fkFlag
      FieldClass<TFloatField>(),     // fkFloat
      FieldClass<TDateTimeField>(),  // fkDateTime
      FieldClass<TBooleanField>(),   // fkBoolean
      FieldClass<TColorField>(),     // fkColor
      FieldClass<TCurrencyField>(),  // fkCurrency
      FieldClass<TEntityField>(),    // fkObject
      FieldClass<TListField>(),      // fkList
      FieldClass<TBlobField>(),      // fkBlob
  };
  static const TFieldClass cNone;
  const int kind = static_cast<int>(AKind);
  const TFieldClass& result = kind >= 0 && kind <= cLastFieldKind ? cClasses[kind] : cNone;
  TV_ASSERT(result.Make, QStringLiteral("Field type is not supported!"));
  return result;
}

// An entity's head, padded so that the slot array and the fields after it
// are aligned (no field class needs more than a pointer's alignment).
constexpr size_t cEntityHead = (sizeof(TEntity) + alignof(TFieldPtr) - 1) / alignof(TFieldPtr) * alignof(TFieldPtr);

size_t AlignUp(size_t AOffset, size_t AAlign) {
  return (AOffset + AAlign - 1) / AAlign * AAlign;
}

const Variant& NullDefault() {
  static const Variant cNull = Variant::Null();
  return cNull;
}

}  // namespace

// How the entities of one definition lay out and start their fields: worked
// out once per definition instead of per record. It refers to configuration
// objects only, so the domains of one configuration share it.
class TFieldPlan {
 public:
  struct TSlot {
    TFieldDef* FieldDef;
    TMakeField Make;
    size_t Offset;                    // in the field area, after the slot array
    bool TakesDefault;                // a simple kind
    const TSimpleFieldDef* Defaults;  // may be none for a simple kind: Null
  };

  explicit TFieldPlan(const TDefinition& ADefinition) {
    FSlots.reserve(static_cast<size_t>(ADefinition.FieldCount()));
    size_t offset = static_cast<size_t>(ADefinition.FieldCount()) * sizeof(TFieldPtr);
    for (int i = 0; i < ADefinition.FieldCount(); ++i) {
      TFieldDef* fieldDef = ADefinition.Field(i);
      const TFieldClass& fieldClass = FieldClassOf(fieldDef->Kind());
      offset = AlignUp(offset, fieldClass.Align);
      const bool simple = IsSimpleKind(fieldDef->Kind());
      FSlots.push_back(
          {fieldDef, fieldClass.Make, offset, simple, simple ? dynamic_cast<TSimpleFieldDef*>(fieldDef) : nullptr});
      offset += fieldClass.Size;
    }
    FAreaSize = offset;
  }

  // The plan of ADefinition, made on first use and kept by the definition.
  static const TFieldPlan& Of(TDefinition* ADefinition) {
    if (!ADefinition->FieldPlan()) ADefinition->SetFieldPlan(std::make_shared<const TFieldPlan>(*ADefinition));
    return *ADefinition->FieldPlan();
  }

  const std::vector<TSlot>& Slots() const { return FSlots; }
  // Bytes after the entity's head: the slot array, then the fields.
  size_t AreaSize() const { return FAreaSize; }

 private:
  std::vector<TSlot> FSlots;
  size_t FAreaSize = 0;
};

// --- TFieldList ---

void TFieldDeleter::operator()(TBaseField* AField) const {
  const bool inBlock = AField->FInEntityBlock;
  AField->~TBaseField();
  if (!inBlock) ::operator delete(AField);
}

TFieldList::~TFieldList() {
  clear();
  if (FOwnsItems) ::operator delete(FItems);
}

void TFieldList::UseStorage(void* AStorage, size_t ACapacity) {
  FItems = static_cast<TFieldPtr*>(AStorage);
  FCapacity = static_cast<uint32_t>(ACapacity);
}

void TFieldList::Grow() {
  const uint32_t capacity = std::max<uint32_t>(4, FCapacity * 2);
  auto* items = static_cast<TFieldPtr*>(::operator new(capacity * sizeof(TFieldPtr)));
  for (uint32_t i = 0; i < FSize; ++i) {
    new (&items[i]) TFieldPtr(std::move(FItems[i]));
    FItems[i].~TFieldPtr();
  }
  if (FOwnsItems) ::operator delete(FItems);
  FItems = items;
  FCapacity = capacity;
  FOwnsItems = true;
}

void TFieldList::clear() {
  for (uint32_t i = 0; i < FSize; ++i) FItems[i].~TFieldPtr();
  FSize = 0;
}

std::vector<TFieldPtr> TFieldList::TakeAll() {
  std::vector<TFieldPtr> result;
  result.reserve(FSize);
  for (uint32_t i = 0; i < FSize; ++i) {
    result.push_back(std::move(FItems[i]));
    FItems[i].~TFieldPtr();
  }
  FSize = 0;
  return result;
}

// --- TEntity ---

TEntity::TEntity(TDomain* ADomain, TDefinition* ADefinition)
    : TEntity(ADomain, ADefinition, ADomain && ADefinition ? ADomain->CollectionByName(ADefinition->Name()) : nullptr,
              nullptr, nullptr) {}

TEntity::TEntity(TDomain* ADomain, TDefinition* ADefinition, TCollection* ACollection, const TFieldPlan* APlan,
                 std::byte* AFieldArea)
    : FIsNull(ADefinition == nullptr), FDomain(ADomain), FDefinition(ADefinition), FCollection(ACollection) {
  if (ADefinition) {
    FIsEnvSpecific = ADefinition->HasFlag(ccEnvSpecific);
    if (APlan)
      PlaceFields(*APlan, AFieldArea);
    else
      CreateFields();
  } else {
    FDisplayName = QStringLiteral("< --- >");
  }
}

std::unique_ptr<TEntity> TEntity::Make(TDomain* ADomain, TDefinition* ADefinition, TCollection* ACollection) {
  const TFieldPlan* plan = ADefinition ? &TFieldPlan::Of(ADefinition) : nullptr;
  void* block = ::operator new(cEntityHead + (plan ? plan->AreaSize() : 0));
  try {
    return std::unique_ptr<TEntity>(
        new (block) TEntity(ADomain, ADefinition, ACollection, plan, static_cast<std::byte*>(block) + cEntityHead));
  } catch (...) {
    ::operator delete(block);
    throw;
  }
}

TEntity::~TEntity() {
  // Views first: they must forget this entity rather than unsubscribe later.
  for (const auto& entry : FUIListeners)
    entry.second->ForEach([this](TDomainListener* AView) {
      try {
        AView->SenderFreeing(this);
      } catch (...) {
      }
    });
  if (!FIsNull && !(FDomain && FDomain->IsDestroying())) {
    try {
      DetachReferences();
    } catch (...) {
    }
  }
  try {
    if (FLink) FLink->UnlinkOwner();
  } catch (...) {
  }
  FUIListeners.clear();
  FListeners.Clear();
  FFieldList.clear();
  FCollection = nullptr;
  FDefinition = nullptr;
  FDomain = nullptr;
}

TEntityClass TEntity::EntityClass() {
  return [](TDomain* ADomain, TDefinition* ADefinition, TCollection* ACollection) {
    return Make(ADomain, ADefinition, ACollection);
  };
}

void TEntity::DetachReferences() {
  // Outgoing: what this entity's fields registered with others.
  for (auto& field : FFieldList) {
    if (auto* entityField = dynamic_cast<TEntityField*>(field.get()))
      entityField->Unsubscribe();
    else if (auto* listField = dynamic_cast<TListField*>(field.get()))
      listField->Unsubscribe();
  }
  // Incoming: references to this entity and list memberships.
  const std::vector<TEntityListener> listeners = FListeners.Items();
  FListeners.Clear();
  for (const TEntityListener& listener : listeners) {
    TBaseField* field = listener.Instance->FindField(listener.FieldName);
    if (auto* entityField = dynamic_cast<TEntityField*>(field))
      entityField->ForgetEntity(this);
    else if (auto* listField = dynamic_cast<TListField*>(field))
      listField->ForgetEntity(this);
  }
  // Lists without a master field hold entities without registering.
  if (FDomain) {
    for (TListFieldDef* listDef : FDefinition->OwnerLists()) {
      if (!listDef->MasterFieldName().isEmpty()) continue;
      for (TCollection* collection : FDomain->CollectionsByDefinition(listDef->Definition()))
        for (int i = 0; i < collection->Count(); ++i)
          if (auto* list = dynamic_cast<TListField*>(collection->GetEntity(i)->FindField(listDef->Name())))
            list->ForgetEntity(this);
    }
    if (!FUIListeners.empty()) {
      FUIListeners.clear();
      FDomain->RemoveViewSubscription(this);
    }
  }
}

TLinkRef TEntity::GetLink() const {
  if (!FLink) FLink = new TLink(const_cast<TEntity*>(this));
  return TLinkRef::Adopt(FLink->GetLink());
}

void TEntity::SetEnvironmentID(const QString& AEnvironmentID) {
  FEnvironmentID = AEnvironmentID;
  FIsRemote = FIsEnvSpecific && FDomain && FEnvironmentID.compare(FDomain->EnvironmentID(), Qt::CaseInsensitive) != 0;
}

const QString& TEntity::CollectionName() const {
  static const QString cNone;
  return FDefinition ? FDefinition->Name() : cNone;
}

void TEntity::SetViewState(TViewState AViewState) {
  if (FViewState == AViewState) return;
  FViewState = AViewState;
  NotifyView(dckViewStateChanged, this, QString());
}

void TEntity::CreateFields() {
  for (int i = 0; i < FDefinition->FieldCount(); ++i) CreateField(FDefinition->Field(i));
}

void TEntity::PlaceFields(const TFieldPlan& APlan, std::byte* AArea) {
  FFieldList.UseStorage(AArea, APlan.Slots().size());
  for (const TFieldPlan::TSlot& slot : APlan.Slots()) {
    TBaseField* field = slot.Make(AArea + slot.Offset, this, slot.FieldDef);
    field->FInEntityBlock = true;
    FFieldList.push_back(TFieldPtr(field));
    // A new field already holds what Null converts to for its kind.
    if (slot.TakesDefault && slot.Defaults && !slot.Defaults->DefaultValue().IsNull())
      ApplyDefault(field, slot.Defaults);
  }
}

TBaseField* TEntity::CreateField(TFieldDef* AFieldDef) {
  const TFieldClass& fieldClass = FieldClassOf(AFieldDef->Kind());
  void* memory = ::operator new(fieldClass.Size);
  TFieldPtr field;
  try {
    field = TFieldPtr(fieldClass.Make(memory, this, AFieldDef));
  } catch (...) {
    ::operator delete(memory);
    throw;
  }
  TBaseField* result = field.get();
  FFieldList.push_back(std::move(field));
  FieldInitialize(result);
  return result;
}

void TEntity::UpdateFields() {
  if (FIsNull) return;
  std::vector<TFieldPtr> fields = FFieldList.TakeAll();
  std::vector<TFieldPtr> removed;
  for (TFieldPtr& field : fields) {
    if (FDefinition->FieldByName(field->FieldName()) == field->FieldDef())
      FFieldList.push_back(std::move(field));
    else
      removed.push_back(std::move(field));
  }
  for (int i = 0; i < FDefinition->FieldCount(); ++i) {
    TFieldDef* fieldDef = FDefinition->Field(i);
    const bool exists = std::any_of(FFieldList.begin(), FFieldList.end(),
                                    [fieldDef](const TFieldPtr& AField) { return AField->FieldDef() == fieldDef; });
    if (!exists) CreateField(fieldDef);
  }
  for (auto& field : removed) field->Unsubscribe();
}

void TEntity::ResetToDefault() {
  for (auto& field : FFieldList) FieldInitialize(field.get());
}

void TEntity::FieldInitialize(TBaseField* AField) {
  if (IsSimpleKind(AField->FieldKind())) ApplyDefault(AField, dynamic_cast<TSimpleFieldDef*>(AField->FieldDef()));
}

void TEntity::ApplyDefault(TBaseField* AField, const TSimpleFieldDef* AFieldDef) {
  const Variant& defaultValue = AFieldDef ? AFieldDef->DefaultValue() : NullDefault();
  if (AField->FieldDef()->Kind() == fkDateTime && VarIsStr(defaultValue)) {
    const TDateTime now = FDomain ? FDomain->Now() : ::Now();
    AField->InternalSetValue(RelativeDate(defaultValue.RawString(), now));
    return;
  }
  AField->InternalSetValue(defaultValue);
}

void TEntity::SubscribeFields() {
  for (auto& field : FFieldList) field->Subscribe();
}

void TEntity::UnsubscribeFields() {
  for (auto& field : FFieldList) field->Unsubscribe();
}

void TEntity::ProcessFields() {
  for (auto& field : FFieldList) field->AfterChanges(nullptr);
  UpdateDisplayName();
}

TBaseField* TEntity::FindField(const QString& AFieldName) const {
  if (FIsNull) return nullptr;
  // Over a few fields a scan is cheaper than hashing the name; names are
  // unique in an entity as in its definition.
  if (FFieldList.size() <= cScannedFieldCount) {
    for (const auto& field : FFieldList)
      if (field->FieldName() == AFieldName) return field.get();
    return nullptr;
  }
  const int index = FDefinition->IndexOfField(AFieldName);
  if (index < 0) return nullptr;
  // Fields follow the definition's order unless a restructuring appended some.
  if (index < FieldCount() && FFieldList[static_cast<size_t>(index)]->FieldName() == AFieldName)
    return FFieldList[static_cast<size_t>(index)].get();
  for (const auto& field : FFieldList)
    if (field->FieldName() == AFieldName) return field.get();
  return nullptr;
}

TBaseField* TEntity::FieldByName(const QString& AFieldName) const {
  TBaseField* field = FindField(AFieldName);
  if (!field)
    throw Exception(QStringLiteral("Запрашиваемое поле [%1] отсутствует в объекте из коллекции [%2]")
                        .arg(AFieldName, CollectionName()));
  return field;
}

bool TEntity::FieldExists(const QString& AFieldName) const {
  if (!FDefinition) return false;
  if (static_cast<size_t>(FDefinition->FieldCount()) > cScannedFieldCount) return FDefinition->FieldExists(AFieldName);
  for (int i = 0; i < FDefinition->FieldCount(); ++i)
    if (FDefinition->Field(i)->Name() == AFieldName) return true;
  return false;
}

Variant TEntity::GetFieldValue(const QString& AFieldName) const {
  return FieldByName(AFieldName)->GetValue();
}

Variant TEntity::GetAnyFieldValue(const QString& AFieldName) const {
  TBaseField* field = FieldByName(AFieldName);
  // The kind names the class: display names run this for every record.
  switch (field->FieldDef()->Kind()) {
    case fkObject: {
      auto* entityField = static_cast<TEntityField*>(field);
      return entityField->IsResolved() ? entityField->Entity()->DisplayName() : QString();
    }
    case fkList:
      return QString();
    default:
      return field->GetValue();
  }
}

TEntity* TEntity::GetFieldEntity(const QString& AFieldName) const {
  return ExtractEntity(AFieldName);
}

TStream* TEntity::GetFieldBlob(const QString& AFieldName) const {
  auto* blob = dynamic_cast<TBlobField*>(FieldByName(AFieldName));
  return blob ? blob->Stream() : nullptr;
}

std::vector<TEntity*> TEntity::GetFieldList(const QString& AFieldName) const {
  std::vector<TEntity*> result;
  if (auto* list = dynamic_cast<TListField*>(FieldByName(AFieldName))) {
    for (int i = 0; i < list->Count(); ++i) {
      TEntity* real = list->GetRealEntity(i);
      if (!real->IsNull()) result.push_back(real);
    }
  }
  return result;
}

TEntity* TEntity::ExtractEntity(const QString& AFieldName) const {
  auto* field = dynamic_cast<TEntityField*>(FieldByName(AFieldName));
  TV_ASSERT(field, QStringLiteral("Not object field used for extraction"));
  return field->Entity();
}

TBaseField* TEntity::ExtractFieldFromPath(const QString& AFieldPath) const {
  const QStringList parts = AFieldPath.split(QLatin1Char('.'));
  const TEntity* entity = this;
  for (qsizetype i = 0; i + 1 < parts.size(); ++i) {
    auto* field = dynamic_cast<TEntityField*>(entity->FindField(parts[i]));
    TV_ASSERT(field, QStringLiteral("Wrong name for field path"));
    entity = field->IsResolved() ? field->Entity() : nullptr;
    if (!entity || entity->IsNull()) return nullptr;
  }
  return entity->FieldByName(parts.last());
}

Variant TEntity::ExtractFieldValue(const QString& AFieldName) const {
  const qsizetype dot = AFieldName.indexOf(QLatin1Char('.'));
  if (dot < 0) {
    if (AFieldName == QLatin1String("IsNull")) return FIsNull;
    if (FIsNull) return Variant::Null();
    return GetAnyFieldValue(AFieldName);
  }
  // A path through an empty reference ends here instead of failing.
  if (FIsNull) return Variant::Null();
  return FieldByName(AFieldName.left(dot))->ExtractFieldValue(AFieldName.mid(dot + 1));
}

bool TEntity::InstanceOf(const QString& ATypeName) const {
  return FDefinition && FDefinition->IsDescendantOf(ATypeName);
}

bool TEntity::IsParam() const {
  return dynamic_cast<TSysAction*>(FDefinition) || dynamic_cast<TSysReport*>(FDefinition);
}

bool TEntity::IsValid() const {
  for (const auto& field : FFieldList)
    if (field->FieldDef()->HasFlag(cfRequired) && field->IsNull()) return false;
  return true;
}

int TEntity::VisibleFieldCount(TUserSession* ASession) const {
  int count = 0;
  for (const auto& field : FFieldList)
    if (!field->InUIState(ASession, vsHidden)) ++count;
  return count;
}

QString TEntity::GetCaption() const {
  return FDefinition ? FDefinition->_Caption() : QString();
}

QString TEntity::FullText() const {
  if (FIsNull || !FDomain || !FDomain->Configuration() || !FDomain->Configuration()->Script()) return QString();
  return FDomain->Configuration()->Script()->FullText(const_cast<TEntity*>(this));
}

TEntity* TEntity::FindSimilar(TUserSession* ASession) const {
  return FCollection ? FCollection->FindSimilarEntity(ASession, const_cast<TEntity*>(this)) : nullptr;
}

void TEntity::UpdateDisplayName() {
  if (FIsNull || !FDomain || !FDomain->Configuration() || !FDomain->Configuration()->Script()) return;
  FDisplayName = FDomain->Configuration()->Script()->DisplayName(this);
}

QString TEntity::ToString() const {
  const auto address = reinterpret_cast<quintptr>(this);
  const auto identity = static_cast<uint32_t>(address ^ (static_cast<quint64>(address) >> 32));
  const QString tail = QStringLiteral(" [%1]").arg(identity, 8, 16, QLatin1Char('0')).toUpper();
  if (FIsNull) return QStringLiteral("{{EMPTY}}") + tail;
  return QStringLiteral("(%1) %2: %3").arg(FDefinition->Name()).arg(FID).arg(FDisplayName) + tail;
}

QString TEntity::FieldText(const QString& AFieldName) const {
  TBaseField* field = FindField(AFieldName);
  if (!field) return FDisplayName;
  const Variant value = field->GetValue();
  switch (field->FieldKind()) {
    case fkCurrency:
      return FormatCurr(QStringLiteral("#,##0.00;;0"), VarAsCurrency(value));
    case fkDateTime: {
      const TDateTime date = VarAsDateTime(value);
      if (date < 2) return QStringLiteral(" -");
      const QString& style = field->FieldDef()->StyleName();
      const bool withTime = !style.isEmpty() && QStringLiteral("datetime").contains(style);
      return FormatDateTime(withTime ? QStringLiteral("dd.mm.yyyy  h:nn:ss") : QStringLiteral("dd.mm.yyyy"), date);
    }
    case fkBoolean:
      return QString();
    case fkObject: {
      auto* entityField = static_cast<TEntityField*>(field);
      if (!entityField->IsResolved() || entityField->Entity()->IsNull()) return QString();
      return entityField->Entity()->DisplayName();
    }
    case fkList:
    case fkBlob:
      // Object references have no text of their own.
      return QString();
    default:
      return VarToStr(value);
  }
}

QString TEntity::FieldToString(const QString& AFieldName) const {
  TBaseField* field = FieldByName(AFieldName);
  const Variant value = field->GetValue();
  switch (field->FieldKind()) {
    case fkString:
      return VarToStr(value);
    case fkInteger:
    case fkFlag:
      return QString::number(VarAsInteger(value));
    case fkEnum: {
      auto* fieldDef = static_cast<TSimpleFieldDef*>(field->FieldDef());
      return EnumerationText(FDomain ? FDomain->Configuration() : nullptr, fieldDef->Dictionary(), VarAsInteger(value),
                             FDomain ? FDomain->Translator() : nullptr);
    }
    case fkFloat:
      return FloatToStr(VarAsFloat(value));
    case fkDateTime:
      return FormatDateTime(QStringLiteral("dd.mm.yyyy"), VarAsDateTime(value));
    case fkBoolean:
      return VarAsBoolean(value) ? QStringLiteral("Yes") : QStringLiteral("No");
    case fkColor:
      return QStringLiteral("%1").arg(static_cast<uint32_t>(VarAsColor(value)), 8, 16, QLatin1Char('0')).toUpper();
    case fkCurrency:
      return CurrToStr(VarAsCurrency(value));
    case fkObject: {
      auto* entityField = static_cast<TEntityField*>(field);
      if (!entityField->IsResolved() || entityField->Entity()->IsNull()) return QString();
      return entityField->Entity()->DisplayName();
    }
    case fkBlob: {
      TStream* stream = static_cast<TBlobField*>(field)->Stream();
      return QStringLiteral("size=") + QString::number(stream ? stream->Size() : 0);
    }
    default:
      return QString();
  }
}

QString TEntity::UIListenerCount() const {
  QStringList parts;
  for (const auto& entry : FUIListeners)
    if (!entry.second->IsEmpty()) parts << QStringLiteral("\"%1\": %2").arg(entry.first).arg(entry.second->Count());
  return parts.join(QStringLiteral(", "));
}

TState* TEntity::EntityState(const QString& AFieldName) const {
  if (FIsNull) return nullptr;
  try {
    TFieldDef* fieldDef = AFieldName.isEmpty() ? FDefinition->StateFieldDef() : FDefinition->FieldByName(AFieldName);
    if (!fieldDef || fieldDef->Kind() != fkEnum) return nullptr;
    TStateMachine* machine = FindStateMachine(FDomain ? FDomain->Configuration() : nullptr,
                                              static_cast<TSimpleFieldDef*>(fieldDef)->Dictionary());
    return machine->StateByID(VarAsInteger(GetFieldValue(fieldDef->Name())));
  } catch (const std::exception& e) {
    WorkingLog(FDomain, QStringLiteral("Ошибка получения состояния: ") + ExceptionMessage(e));
    return nullptr;
  }
}

QString TEntity::GetStateCaption(const QString& AFieldName) const {
  TState* state = EntityState(AFieldName);
  if (!state) return QStringLiteral("не определено");
  return FDomain ? FDomain->Translate(state->FullName(), state->DisplayText()) : state->DisplayText();
}

bool TEntity::_SetState(TChangeHolder* AHolder, int ANewState) {
  TState* state = EntityState();
  if (!state) return false;
  if (!state->CanTransitToState(ANewState)) {
    WorkingLog(FDomain, FDefinition->Name() + QStringLiteral(": попытка перейти из состояния ") + state->FullName() +
                            QStringLiteral(" в ") + QString::number(ANewState));
    return false;
  }
  SetValueVia(AHolder, this, FDefinition->StateFieldDef()->Name(), ANewState);
  return true;
}

void TEntity::_SetFieldValue(TChangeHolder* AHolder, const QString& AFieldName, const Variant& AValue) {
  TBaseField* field = FindField(AFieldName);
  if (field && IsSimpleKind(field->FieldKind())) field->SetValue(AHolder, AValue);
}

void TEntity::_SetFieldEntity(TChangeHolder* AHolder, const QString& AFieldName, TEntity* AEntity) {
  if (auto* field = dynamic_cast<TEntityField*>(FindField(AFieldName)))
    field->SetEntity(AHolder, AEntity ? AEntity : NullEntity());
}

void TEntity::_SetFieldStream(TChangeHolder* AHolder, const QString& AFieldName, std::unique_ptr<TStream> AStream) {
  if (auto* field = dynamic_cast<TBlobField*>(FindField(AFieldName))) field->SetStream(AHolder, std::move(AStream));
}

void TEntity::Populate(const QString& AFieldNames, const std::vector<Variant>& AValues, bool APopulateAll) {
  if (FIsNull) return;
  const QStringList names = AFieldNames.split(QLatin1Char(';'));
  const size_t count = std::min(static_cast<size_t>(names.size()), AValues.size());
  for (size_t i = 0; i < count; ++i) {
    QString name = names[static_cast<qsizetype>(i)].trimmed();
    if (name.isEmpty()) continue;
    const bool forced = name.startsWith(QLatin1Char('!'));
    if (forced) name = name.mid(1);
    TBaseField* field = FindField(name);
    if (!field)
      throw Exception(QStringLiteral("Поле [%1] не существует в коллекции [%2]").arg(name, FDefinition->Name()));
    if (APopulateAll || forced || field->FieldDef()->HasFlag(cfNotSave)) field->InternalSetValue(AValues[i]);
  }
}

TEntity* TEntity::Clone(TChangeHolder* AHolder, const QString& AIgnoreFields) {
  if (!FCollection) return nullptr;
  TEntity* clone = FCollection->CreateNewEntity(AHolder, -1, nullptr);
  FillEntity(AHolder, clone, AIgnoreFields);
  return clone;
}

void TEntity::FillEntity(TChangeHolder* AHolder, TEntity* ATargetEntity, const QString& AIgnoreFields) {
  if (FIsNull || !ATargetEntity || ATargetEntity->IsNull()) return;
  const QStringList ignored = SplitNameList(AIgnoreFields);
  for (const auto& field : FFieldList) {
    const QString& name = field->FieldName();
    if (ignored.contains(name) || !ATargetEntity->FieldExists(name)) continue;
    const TFieldKind kind = field->FieldKind();
    if (IsSimpleKind(kind)) {
      SetValueVia(AHolder, ATargetEntity, name, RawValue(field.get()));
    } else if (kind == fkObject) {
      auto* entityField = static_cast<TEntityField*>(field.get());
      if (entityField->IsResolved()) SetEntityVia(AHolder, ATargetEntity, name, entityField->Entity());
    } else if (kind == fkBlob) {
      TStream* stream = static_cast<TBlobField*>(field.get())->Stream();
      SetStreamVia(AHolder, ATargetEntity, name, stream ? stream->Clone() : nullptr);
    } else if (kind == fkList) {
      auto* list = static_cast<TListField*>(field.get());
      auto* targetList = dynamic_cast<TListField*>(ATargetEntity->FindField(name));
      if (!targetList || list->RelationPower() != rpStrong) continue;
      // The list may grow while we link (a self-referencing definition).
      std::vector<TEntity*> reals;
      for (int i = 0; i < list->Count(); ++i) reals.push_back(list->GetRealEntity(i));
      for (TEntity* real : reals) {
        if (real->IsNull()) continue;
        if (TEntity* clone = real->Clone(AHolder, list->MasterFieldName())) targetList->LinkListEntity(AHolder, clone);
      }
    }
  }
}

void TEntity::Delete(TChangeHolder* AHolder) {
  if (FCollection) FCollection->MarkEntityAsDeleted(AHolder, this);
}

void TEntity::SetDeleted(TChangeHolder* AHolder) {
  if (FIsNull || FDeleted) return;
  FDeleted = true;
  if (AHolder) AHolder->RegisterEntityDeleting(this);
  // Referrers change their own fields meanwhile: the walk skips those that left.
  FListeners.ForEachReverse([this, AHolder](const TEntityListener& AEntry) {
    AEntry.Instance->ProcessLinkedEntityDeleted(AHolder, AEntry.FieldName, this);
  });
  NotifyView(dckEntityDeleted, this, QString());
  // The entity keeps its own references registered: they still hold (a
  // cancelled deletion brings them back into use) and must be cleared when a
  // referenced entity goes.
  WorkingLog(FDomain, QStringLiteral("Entity is marked for deletion: %1[%2]").arg(FDefinition->Name()).arg(FID));
}

void TEntity::GenerateID() {
  TV_ASSERT(FCollection, QStringLiteral("Generation of new ID for already existed entity"));
  FCollection->GenerateEntityID(this);
  if (FIsEnvSpecific && FDomain) SetEnvironmentID(FDomain->EnvironmentID());
}

void TEntity::LoadFromStorage(TStorage* AStorage) {
  FIsNew = false;
  if (FIsEnvSpecific) SetEnvironmentID(VarToStr(AStorage->ReadValue(QStringLiteral("guid"), fkString)));
  for (auto& field : FFieldList) field->Load(AStorage);
}

void TEntity::FieldInternalSetValue(const QString& AFieldName, const Variant& AValue) {
  if (TBaseField* field = FindField(AFieldName)) field->InternalSetValue(AValue);
}

void TEntity::ExportToJSON(TJSONObject* AJSONObject) const {
  AJSONObject->AddPair(QStringLiteral("id"), std::make_unique<TJSONNumber>(FID));
  if (FIsEnvSpecific) AJSONObject->AddPair(QStringLiteral("guid"), std::make_unique<TJSONString>(FEnvironmentID));
  for (const auto& field : FFieldList)
    if (std::unique_ptr<TJSONValue> value = field->JSON()) AJSONObject->AddPair(field->FieldName(), std::move(value));
}

void TEntity::FillFromJSON(const TJSONObject* AJSONObject, bool AIsNew) {
  TV_ASSERT(!FIsNull, QStringLiteral("Attempt to load NullEntity"));
  TV_ASSERT(AJSONObject, QStringLiteral("Attempt to load from empty JSON object"));
  // Everything is checked before anything changes: a refused value leaves
  // the entity as it was.
  for (auto& field : FFieldList)
    if (TJSONPair* pair = AJSONObject->Get(field->FieldName())) field->CheckJSON(pair->JsonValue());
  if (FIsEnvSpecific) SetEnvironmentID(AJSONObject->ExtractString(QStringLiteral("guid")));
  for (auto& field : FFieldList) field->SetFromJSON(AJSONObject, AIsNew);
}

void TEntity::AddListener(const QString& AFieldName, TEntity* AInstance) {
  FListeners.Add({AFieldName, AInstance});
}

void TEntity::RemoveListener(const QString& AFieldName, TEntity* AInstance) {
  // Searched from the end: references taken last are usually dropped first.
  FListeners.RemoveLastIf([&](const TEntityListener& AEntry) {
    return AEntry.Instance == AInstance && AEntry.FieldName.compare(AFieldName, Qt::CaseInsensitive) == 0;
  });
}

TListenerList<TDomainListener*>* TEntity::UIListenersOf(const QString& AFieldName) const {
  for (const auto& entry : FUIListeners)
    if (entry.first == AFieldName) return entry.second.get();
  return nullptr;
}

void TEntity::AddUIListener(const QString& AFieldName, TDomainListener* AView) {
  if (FIsNull || !AView) return;
  TListenerList<TDomainListener*>* views = UIListenersOf(AFieldName);
  if (!views) {
    FUIListeners.emplace_back(AFieldName, std::make_unique<TListenerList<TDomainListener*>>());
    views = FUIListeners.back().second.get();
  }
  if (!views->AddUnique(AView)) return;
  if (FDomain) FDomain->AddViewSubscription(this);
}

void TEntity::RemoveUIListener(const QString& AFieldName, TDomainListener* AView) {
  if (FIsNull) return;
  TListenerList<TDomainListener*>* views = UIListenersOf(AFieldName);
  if (!views || !views->Remove(AView)) return;
  if (FDomain) FDomain->RemoveViewSubscription(this);
}

bool TEntity::HasUIListeners() const {
  return std::any_of(FUIListeners.begin(), FUIListeners.end(),
                     [](const auto& AEntry) { return !AEntry.second->IsEmpty(); });
}

void TEntity::NotifyView(int AChangeKind, TObject* AParameter, const QString& AFieldName) {
  TListenerList<TDomainListener*>* views = UIListenersOf(AFieldName);
  if (!views || views->IsEmpty()) return;
  const TDomainChangeMessage message{DM_DOMAIN_CHANGED, AChangeKind, this, AParameter};
  views->ForEachReverse([&message](TDomainListener* AView) { AView->DomainChanged(message); });
}

void TEntity::ProcessFieldChanged(TChangeHolder* AHolder, int AChangeKind, const QString& AFieldName,
                                  TEntity* AInstance) {
  ProcessLinkedEntityChanged(AHolder, AChangeKind, AFieldName, AFieldName, 1, AInstance);
}

void TEntity::ProcessLinkedEntityChanged(TChangeHolder* AHolder, int AChangeKind, const QString& AFieldChain,
                                         const QString& AFieldName, int ADepth, TEntity* AInstance) {
  if (FIsNull || FDeleted) return;
  if (TReactions* reactions = FDefinition->Reactions()) {
    if (const std::vector<TReactionRef>* found = reactions->FindReactions(AFieldChain)) {
      if (AHolder) {
        AHolder->ScheduleCalculation(AFieldChain, this, AInstance);
      } else {
        const std::vector<TReactionRef> procs = *found;
        TUserSession* session = FDomain ? FDomain->DomainSession() : nullptr;
        for (const TReactionRef& reaction : procs) reaction->Proc(session, nullptr, this, AInstance);
      }
    }
  }
  UpdateDisplayName();
  NotifyView(AChangeKind, AInstance, AFieldName);
  TBaseField* field = FindField(AFieldName);
  if (field && field->FieldKind() == fkList) return;
  if (FCollection) FCollection->NotifyListeners(dckEntityChanged, this);
  if (FDefinition->HasFlag(ccNoPropagation) || ADepth >= 2) return;
  FListeners.ForEachReverse([&](const TEntityListener& AEntry) {
    AEntry.Instance->ProcessLinkedEntityChanged(AHolder, dckEntityChanged,
                                                AFieldChain + QLatin1Char('.') + AEntry.FieldName, AEntry.FieldName,
                                                ADepth + 1, this);
  });
}

void TEntity::ProcessLinkedEntityDeleted(TChangeHolder* AHolder, const QString& AFieldName, TEntity* AInstance) {
  TBaseField* field = FindField(AFieldName);
  if (auto* entityField = dynamic_cast<TEntityField*>(field)) {
    WorkingLog(FDomain, QStringLiteral("DELETE notification ") + AFieldName);
    if (AHolder)
      AHolder->SetFieldEntity(this, AFieldName, NullEntity());
    else if (entityField->IsResolved() && entityField->Entity() == AInstance)
      // A deletion without holder is final: the reference must not outlive it.
      entityField->SetEntity(nullptr, NullEntity());
  } else if (auto* listField = dynamic_cast<TListField*>(field)) {
    listField->UnlinkListEntity(AHolder, AInstance);
  }
}

void TEntity::ProcessMasterFieldChanged(TChangeHolder* AHolder, TObjectFieldDef* ADependentFieldDef,
                                        const QString& AMasterFieldName, const QString& ALinkFieldName) {
  if (!ADependentFieldDef || ADependentFieldDef->Kind() != fkObject) return;
  auto* dependent = dynamic_cast<TEntityField*>(FindField(ADependentFieldDef->Name()));
  if (!dependent || !dependent->IsResolved()) return;
  TEntity* chosen = dependent->Entity();
  if (chosen->IsNull()) return;
  TBaseField* master = FindField(AMasterFieldName);
  TBaseField* link = chosen->FindField(ALinkFieldName);
  if (!master || !link) return;
  bool belongs;
  if (auto* masterEntity = dynamic_cast<TEntityField*>(master)) {
    auto* linkEntity = dynamic_cast<TEntityField*>(link);
    belongs = linkEntity && linkEntity->IsResolved() && linkEntity->Entity() == masterEntity->Entity();
  } else {
    // A plain master field: the chosen entity must hold the same value.
    belongs = link->FieldKind() == master->FieldKind() && link->Compare(RawValue(master)) == 0;
  }
  if (!belongs) SetEntityVia(AHolder, this, ADependentFieldDef->Name(), NullEntity());
}
