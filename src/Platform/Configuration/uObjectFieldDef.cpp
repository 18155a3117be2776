#include "src/Platform/Configuration/uObjectFieldDef.h"

#include <QRegularExpression>
#include <algorithm>

#include "src/Platform/Configuration/uConfiguration.h"
#include "src/Platform/Configuration/uDefinition.h"
#include "src/Platform/Configuration/uQueryObject.h"
#include "src/Platform/uException.h"
#include "src/Platform/uNameList.h"

static constexpr const char* cModulePath = "src/Platform/Configuration/uObjectFieldDef";

namespace {

QString BuildFullName(const TDefinition* AOwner, const QString& AName) {
  if (!AOwner || AOwner->FullName().isEmpty()) return AName;
  return AOwner->FullName() + QLatin1Char('.') + AName;
}

bool IsNameChar(QChar ACh) {
  return ACh.isLetterOrNumber() || ACh == QLatin1Char('.');
}

}  // namespace

// --- TFieldDef ---

TFieldDef::TFieldDef(TDefinition* AOwner, const QString& AName, TFieldKind AKind, TViewState AUIState, int AFlags,
                     int ASize)
    : FName(AName),
      FKind(AKind),
      FSize(ASize),
      FFullName(BuildFullName(AOwner, AName)),
      FStorageName(ToStorageName(AName)),
      FFlags(AFlags),
      FUIState(AUIState),
      FOwner(AOwner) {}

TFieldDef::TFieldDef(TDefinition* AOwner, TFieldKind AFieldKind, const QString& AFieldName, const QString& AStorageName,
                     const QString& ACaption, const QString& AHint, const QString& AViewName, TViewState AUIState,
                     int AFlags)
    : TFieldDef(AOwner, AFieldName, AFieldKind, AUIState, AFlags, -1) {
  FCaption = ACaption;
  FHint = AHint;
  FStyleName = AViewName;
  FStorageName = AStorageName;
}

TFieldDef::~TFieldDef() = default;

TFieldDef* TFieldDef::SetCaption(const QString& ACaption) {
  FCaption = ACaption;
  return this;
}
TFieldDef* TFieldDef::SetHint(const QString& AHint) {
  FHint = AHint;
  return this;
}
TFieldDef* TFieldDef::SetStorageName(const QString& AStorageName) {
  FStorageName = AStorageName;
  return this;
}
TFieldDef* TFieldDef::SetStyleName(const QString& AStyleName) {
  FStyleName = AStyleName;
  return this;
}
TFieldDef* TFieldDef::SetFlags(int AFlags) {
  FFlags = AFlags;
  return this;
}
TFieldDef* TFieldDef::SetUIState(TViewState AUIState) {
  FUIState = AUIState;
  return this;
}

void TFieldDef::AddDependentField(const QString& AFieldName, TObjectFieldDef* AField) {
  FDependentFields.push_back({AFieldName, AField});
}

void TFieldDef::ForgetDependentFieldsOf(const TDefinition* ADefinition) {
  std::erase_if(FDependentFields,
                [ADefinition](const TDependentField& AEntry) { return AEntry.Field->Definition() == ADefinition; });
}

// --- TServiceFieldDef ---

TServiceFieldDef::TServiceFieldDef(TDefinition* AOwner, const QString& AName, TFieldKind AKind, int ASize,
                                   const QString& ACaption)
    : TFieldDef(AOwner, AName, AKind, vsHidden, cfSystem, ASize) {
  SetCaption(ACaption);
}

// --- TSimpleFieldDef ---

TSimpleFieldDef::TSimpleFieldDef(TDefinition* ACollection, TFieldKind AFieldKind, const QString& AFieldName,
                                 const QString& AStorageName, const QString& ACaption, const QString& AHint,
                                 const QString& AViewName, const Variant& AMinValue, const Variant& AMaxValue,
                                 const Variant& ADefaultValue, TViewState AUIState, int AFlags,
                                 const QString& ADictionary, TSearchType ASearchType)
    : TFieldDef(ACollection, AFieldKind, AFieldName, AStorageName, ACaption, AHint, AViewName, AUIState, AFlags),
      FMinValue(AMinValue),
      FMaxValue(AMaxValue),
      FDefaultValue(ADefaultValue),
      FSearchType(stSearchNone),
      FInitialSearchType(ASearchType) {
  const int point = ADictionary.indexOf(QLatin1Char('.'));
  if (point < 0) {
    FDictionary = ADictionary;
  } else {
    FDictionary = ADictionary.left(point);
    const QString rest = ADictionary.mid(point + 1);
    const int amp = rest.indexOf(QLatin1Char('&'));
    FDictionaryField = amp < 0 ? rest : rest.left(amp);
    if (amp >= 0) FRankField = rest.mid(amp + 1);
  }
  if (!FDictionaryField.isEmpty()) FSearchType = ASearchType;
}

TSimpleFieldDef* TSimpleFieldDef::SetDefaultValue(const Variant& AValue) {
  FDefaultValue = AValue;
  return this;
}

TSimpleFieldDef* TSimpleFieldDef::SetNullValue(const Variant& ANullValue) {
  FNullValue = ANullValue;
  FCanBeNull = true;
  return this;
}

// --- TBlobFieldDef ---

TBlobFieldDef::TBlobFieldDef(TDefinition* ACollection, const QString& AFieldName, const QString& AStorageName,
                             const QString& ACaption, const QString& AHint, const QString& ANullString,
                             const QString& AViewName, TViewState AUIState, int AFlags)
    : TFieldDef(ACollection, fkBlob, AFieldName, AStorageName, ACaption, AHint, AViewName, AUIState, AFlags),
      FNullString(ANullString) {}

// --- TObjectFieldDef ---

TObjectFieldDef::TObjectFieldDef(TDefinition* AOwner, TFieldKind AFieldKind, const QString& AFieldName,
                                 const QString& AStorageName, const QString& ACaption, const QString& AHint,
                                 const QString& ANullString, const QString& AContentTypeName, const QString& AViewName,
                                 TViewState AUIState, int AFlags, TEntitySortType ASortType,
                                 const QString& AHiddenFields, const QString& ADependencies, TSearchType ASearchType)
    : TFieldDef(AOwner, AFieldKind, AFieldName, AStorageName, ACaption, AHint, AViewName, AUIState, AFlags),
      FHiddenFields(SplitNameList(AHiddenFields)),
      FContentDefinitionName(AContentTypeName.trimmed()),
      FNullString(ANullString),
      FHiddenFieldsText(AHiddenFields),
      FDependenciesText(ADependencies),
      FSortType(ASortType),
      FSearchType(ASearchType) {
  ProcessDependencies();
}

TObjectFieldDef::~TObjectFieldDef() = default;

void TObjectFieldDef::ProcessDependencies() {
  static const QRegularExpression separators(QStringLiteral("[;\\s]+"));
  FDependencies = FDependenciesText.split(separators, Qt::SkipEmptyParts);
  if (FDependencies.isEmpty()) return;
  FQueryString = FDependencies.join(QLatin1Char(','));
  if (FDependencies.size() > 1) FQueryString = QStringLiteral("&(") + FQueryString + QLatin1Char(')');

  for (const QString& dependency : FDependencies) {
    QString entry = dependency.trimmed();
    if (entry.startsWith(QLatin1Char('!'))) entry.remove(0, 1);
    int pos = 0;
    while (pos < entry.size() && IsNameChar(entry[pos])) ++pos;
    const QString left = entry.left(pos);
    TV_ASSERT(!left.contains(QLatin1Char('.')), QStringLiteral("Selection fields can't be multilevel!"));
    while (pos < entry.size() && !entry[pos].isLetter()) ++pos;
    const QString right = entry.mid(pos).trimmed();
    TV_ASSERT(!right.contains(QLatin1Char('.')), QStringLiteral("Selection fields can't be multilevel!"));
    // A bare condition ("IsActive") only narrows the query: nothing to link.
    if (right.isEmpty()) continue;
    TFieldDef* ownerField = Definition() ? Definition()->FieldByName(right) : nullptr;
    TV_ASSERT(ownerField, QStringLiteral("Dependency [") + dependency + QStringLiteral("] of field [") + FullName() +
                              QStringLiteral("] does not name a field of [") +
                              (Definition() ? Definition()->Name() : QString()) + QLatin1Char(']'));
    ownerField->AddDependentField(left, this);
    FSelectiveFields << left + QLatin1Char('=') + right;
  }
}

const std::vector<TDefinition*>& TObjectFieldDef::ContentDefinitions() const {
  static const std::vector<TDefinition*> none;
  return FContentDefinition ? FContentDefinition->InnerDefinitions() : none;
}

QString TObjectFieldDef::ContentDefinitionsText() const {
  QStringList names;
  for (TDefinition* definition : ContentDefinitions()) names << definition->Name();
  return names.join(QLatin1Char(';'));
}

QString TObjectFieldDef::DefaultDefinitionName() const {
  const auto& definitions = ContentDefinitions();
  return definitions.empty() ? QString() : definitions.front()->Name();
}

void TObjectFieldDef::CreateRelations() {
  // Without a concrete content definition there is no type to default to and
  // no collection to choose from: a declaration error, not a silent null.
  TV_ASSERT(!FContentDefinitionName.isEmpty(),
            QStringLiteral("Content type is not defined for field [") + FullName() + QLatin1Char(']'));
  FContentDefinition = Definition()->Configuration()->DefinitionByName(FContentDefinitionName);
  TV_ASSERT(FContentDefinition,
            QStringLiteral("Wrong content type name [") + FContentDefinitionName + QLatin1Char(']'));
  const auto& inner = FContentDefinition->InnerDefinitions();
  TV_ASSERT(!inner.empty(), QStringLiteral("Content type [") + FContentDefinitionName + QStringLiteral("] of field [") +
                                FullName() + QStringLiteral("] has no concrete definition"));
  FDefaultTypeID = inner.front()->ID();
  FIsSelector = inner.size() > 1;
  if (!FQueryObject) FQueryObject = CreateQueryObject();
}

std::unique_ptr<TQueryObject> TObjectFieldDef::CreateQueryObject() {
  return std::make_unique<TQueryObject>(ContentDefinitionsText(), FQueryString, QString());
}

// --- TEntityFieldDef ---

TEntityFieldDef::TEntityFieldDef(TDefinition* AOwner, const QString& AFieldName, const QString& AStorageName,
                                 const QString& ACaption, const QString& AHint, const QString& ANullString,
                                 const QString& AContentTypeName, const QString& AViewName, int ADefaultEntityID,
                                 TViewState AUIState, int AFlags, TEntitySortType ASortType,
                                 const QString& ADependencies, const QString& AHiddenFields, TSearchType ASearchType,
                                 const QString& AFilter)
    : TObjectFieldDef(AOwner, fkObject, AFieldName, AStorageName, ACaption, AHint, ANullString, AContentTypeName,
                      AViewName, AUIState, AFlags, ASortType, AHiddenFields, ADependencies, ASearchType),
      FDefaultEntityID(ADefaultEntityID),
      FSelectorStorageName(AStorageName + QStringLiteral("_typeid")),
      FFilter(AFilter) {}

// --- TListFieldDef ---

TListFieldDef::TListFieldDef(TDefinition* AOwner, const QString& AFieldName, const QString& AMasterFieldName,
                             const QString& ACaption, const QString& AHint, const QString& ANullString,
                             const QString& AContentTypeName, const QString& ATransitFieldName,
                             const QString& AViewName, TViewState AUIState, int AFlags, TEntitySortType ASortType,
                             const QString& AColorFieldName, TRelationPower ARelationPower,
                             const QString& AHiddenFields, const QString& ADependencies, TSearchType ASearchType,
                             const QString& AFilter)
    : TObjectFieldDef(AOwner, fkList, AFieldName, QString(), ACaption, AHint, ANullString, AContentTypeName, AViewName,
                      AUIState, AFlags, ASortType, AHiddenFields, ADependencies, ASearchType),
      FMasterFieldName(AMasterFieldName),
      FTransitFieldName(ATransitFieldName),
      FColorFieldName(AColorFieldName),
      FRelationPower(ARelationPower),
      FFilter(AFilter),
      FIsTransit(!ATransitFieldName.isEmpty()) {
  FCachedSelectiveFields.insert(FMasterFieldName);
  for (const QString& line : SelectiveFields()) FCachedSelectiveFields.insert(line.section(QLatin1Char('='), 0, 0));
}

std::unique_ptr<TQueryObject> TListFieldDef::CreateQueryObject() {
  if (!FIsTransit) return TObjectFieldDef::CreateQueryObject();
  FTransitDefinitions.clear();
  for (TDefinition* definition : ContentDefinitions()) {
    auto* transit = dynamic_cast<TObjectFieldDef*>(definition->FieldByName(FTransitFieldName));
    TV_ASSERT(transit, QStringLiteral("Transit field [") + FTransitFieldName + QStringLiteral("] of field [") +
                           FullName() + QStringLiteral("] is not a reference of [") + definition->Name() +
                           QLatin1Char(']'));
    TDefinition* target = transit->_ContentDefinition();
    if (!target) target = definition->Configuration()->DefinitionByName(transit->ContentDefinitionName());
    if (target &&
        std::find(FTransitDefinitions.begin(), FTransitDefinitions.end(), target) == FTransitDefinitions.end())
      FTransitDefinitions.push_back(target);
  }
  QStringList names;
  for (TDefinition* definition : FTransitDefinitions) names << definition->Name();
  return std::make_unique<TQueryObject>(names.join(QLatin1Char(';')), QueryString(), QString());
}
