#include "src/Platform/Configuration/uDefinition.h"

#include <QFileInfo>
#include <algorithm>

#include "src/Platform/Configuration/uConfiguration.h"
#include "src/Platform/Configuration/uObjectFieldDef.h"
#include "src/Platform/Configuration/uQueryObject.h"
#include "src/Platform/Configuration/uReport.h"
#include "src/Platform/Domain/uReaction.h"
#include "src/Platform/Domain/uStorageStructure.h"
#include "src/Platform/uException.h"

static constexpr const char* cModulePath = "src/Platform/Configuration/uDefinition";

QString ToStorageName(const QString& AName) {
  QString result;
  QString run;  // pending capitals, already lower-cased
  auto appendSeparated = [&result](const QString& APart) {
    if (!result.isEmpty() && !result.endsWith(QLatin1Char('_'))) result += QLatin1Char('_');
    result += APart;
  };
  for (const QChar ch : AName) {
    if (ch >= QLatin1Char('A') && ch <= QLatin1Char('Z')) {
      run += ch.toLower();
      continue;
    }
    // An acronym ends where a lower-case word starts: its last capital
    // begins that word ("HTTPServer" -> "http_server").
    if (run.size() > 1) {
      appendSeparated(run.left(run.size() - 1));
      run = run.right(1);
    }
    if (!run.isEmpty()) {
      appendSeparated(run);
      run.clear();
    }
    result += ch;
  }
  if (!run.isEmpty()) appendSeparated(run);
  return result;
}

// --- TBaseDefinition ---

TBaseDefinition::TBaseDefinition(TConfiguration* AConfiguration, const QString& AName)
    : FName(AName), FConfiguration(AConfiguration), FFullName(AName) {}

void TBaseDefinition::DoSetFlags(int AFlags) {
  FFlags = AFlags;
  FUIState = vsFullAccess;
  if (HasFlag(ccReadOnly)) FUIState &= vsReadOnly;
}

// --- TFilter ---

TFilter::TFilter(TDefinition* AOwner, const QString& AName, const QString& ACaption, const QString& AQuery)
    : FOwner(AOwner),
      FName(AName),
      FFullName(AOwner->Name() + QStringLiteral(".fil") + AName),
      FCaption(ACaption),
      FQuery(AQuery),
      FQueryObject(std::make_unique<TQueryObject>(AOwner->Name(), AQuery, QString())) {}

TFilter::~TFilter() = default;

// --- TDefinition ---

TDefinition::TDefinition(TConfiguration* AConfiguration, int AID, const QString& AName, const QString& AAncestors,
                         TCollectionKind AKind)
    : TDefinition(AConfiguration, AID, AName, AName, AAncestors, AKind) {}

TDefinition::TDefinition(TConfiguration* AConfiguration, int AID, const QString& AName, const QString& AFullName,
                         const QString& AAncestors, TCollectionKind AKind)
    : TBaseDefinition(AConfiguration, AName),
      FID(AID),
      FKind(AKind),
      FStorageName(ToStorageName(AName)),
      FReactions(std::make_unique<TReactions>()) {
  FFullName = AFullName;
  if (!AAncestors.isEmpty()) FAncestors = AAncestors.split(QLatin1Char(';'));
  AddServiceFieldDef(QStringLiteral("ID"), QStringLiteral("id"), QStringLiteral("Идентификатор"), fkInteger, 0);
  AddServiceFieldDef(QStringLiteral("LogID"), QStringLiteral("log_id"), QStringLiteral("Ссылка на последнее изменение"),
                     fkInteger, 0);

  std::vector<TDefinition*> inherited;
  for (const QString& ancestorName : FAncestors) {
    const QString name = ancestorName.trimmed();
    if (name.isEmpty() || !FConfiguration) continue;
    TDefinition* ancestor = FConfiguration->DefinitionByName(name);
    if (!ancestor || ancestor == this || std::find(inherited.begin(), inherited.end(), ancestor) != inherited.end())
      continue;
    Inherit(ancestor, inherited.empty());
    inherited.push_back(ancestor);
  }

  if (FKind != clkMixin && FIsHierarchical) {
    AddEntityFieldDef(QStringLiteral("Parent"), QStringLiteral("parent"), QStringLiteral("Объект-родитель"), QString(),
                      FName, 0, vsHidden, cfSystem, estSortByName, QString(), QString(), QString(), stSearchEverywhere);
    AddListFieldDef(QStringLiteral("Children"), QStringLiteral("Parent"), QStringLiteral("Дочерние объекты"), FName,
                    QString(), QString(), vsHidden, cfSystem);
  }
}

TDefinition::~TDefinition() {
  FCheckUniqueQuery.reset();
  FOwnerLists.clear();
  FSysReports.clear();
  FActions.clear();
  FFilters.clear();
  FRTFReports.clear();
  FAggregations.clear();
  FStateFieldDef = nullptr;
  FFields.Clear();
  FOwnFields.clear();
  FServiceFields.Clear();
}

void TDefinition::Inherit(TDefinition* AAncestor, bool AIsFirst) {
  if (AIsFirst) {
    FCaption = AAncestor->FCaption;
    FEmptyValue = AAncestor->FEmptyValue;
    FPrefix = AAncestor->FPrefix;
    FFlags = AAncestor->FFlags;
    // Records of an installation-specific ancestor stay installation-specific
    // here, so they need the same service field.
    if (HasFlag(ccEnvSpecific)) EnsureGuidField();
    FUIState = AAncestor->FUIState;
    FIsHierarchical = AAncestor->FIsHierarchical;
    FColorFieldName = AAncestor->FColorFieldName;
    FColorTarget = AAncestor->FColorTarget;
    FImageID = AAncestor->FImageID;
    FOrderNum = AAncestor->FOrderNum;
    FBackground = AAncestor->FBackground;
    FGroupFieldName = AAncestor->FGroupFieldName;
  }
  AAncestor->AddDescendant(this);
  for (const auto& [name, field] : AAncestor->FFields) FFields.AddOrSetValue(name, field);
  FFieldPlan.reset();
  // The inherited state field keeps its role: records of a descendant have a state too.
  if (!FStateFieldDef) FStateFieldDef = AAncestor->FStateFieldDef;
  if (FIndexString.isEmpty() && !AAncestor->FIndexString.isEmpty()) AddUniqueIndex(AAncestor->FIndexString);
  FAggregations += AAncestor->FAggregations;
  for (const auto& filter : AAncestor->FFilters) AddFilter(filter->Name(), filter->_Caption(), filter->Query());
  for (const auto& action : AAncestor->FActions) ShareAction(action);
  for (const auto& report : AAncestor->FRTFReports) ShareRTFReport(report);
  for (const auto& report : AAncestor->FSysReports) ShareSysReport(report);
  FReactions->CopyFrom(*AAncestor->FReactions);
}

TDefinition* TDefinition::SetStorageName(const QString& AStorageName) {
  FStorageName = AStorageName;
  return this;
}
TDefinition* TDefinition::SetCaption(const QString& ACaption) {
  FCaption = ACaption;
  return this;
}
TDefinition* TDefinition::SetEmptyValue(const QString& AEmptyValue) {
  FEmptyValue = AEmptyValue;
  return this;
}
TDefinition* TDefinition::SetPrefix(const QString& APrefix) {
  FPrefix = APrefix;
  return this;
}
TDefinition* TDefinition::SetFlags(int AFlags) {
  DoSetFlags(AFlags);
  if (HasFlag(ccEnvSpecific)) EnsureGuidField();
  return this;
}
TDefinition* TDefinition::SetIsHierarchical(bool AIsHierarchical) {
  FIsHierarchical = AIsHierarchical;
  return this;
}
TDefinition* TDefinition::SetColorFieldName(const QString& AColorFieldName) {
  FColorFieldName = AColorFieldName;
  return this;
}
TDefinition* TDefinition::SetColorTarget(TColorTarget AColorTarget) {
  FColorTarget = AColorTarget;
  return this;
}
TDefinition* TDefinition::SetImageID(int AImageID) {
  FImageID = AImageID;
  return this;
}
TDefinition* TDefinition::SetOrderNum(int AOrderNum) {
  FOrderNum = AOrderNum;
  return this;
}
TDefinition* TDefinition::SetBackground(TColor AColor, int16_t ARedOffset, int16_t AGreenOffset, int16_t ABlueOffset) {
  FBackground = TBackground{AColor, ARedOffset, AGreenOffset, ABlueOffset};
  return this;
}
TDefinition* TDefinition::SetGroupFieldName(const QString& AGroupFieldName) {
  FGroupFieldName = AGroupFieldName;
  return this;
}
TDefinition* TDefinition::SetSize(int ASize) {
  FSize = ASize;
  return this;
}

void TDefinition::EnsureGuidField() {
  if (FServiceFields.ContainsKey(QStringLiteral("GUID"))) return;
  AddServiceFieldDef(QStringLiteral("GUID"), QStringLiteral("guid"), QStringLiteral("Уникальный идентификатор"),
                     fkString, 38);
}

template <class T>
T* TDefinition::StoreField(std::shared_ptr<T> AField) {
  T* result = AField.get();
  FOwnFields.push_back(AField);
  FFields.AddOrSetValue(result->Name(), std::move(AField));
  FFieldPlan.reset();
  return result;
}

TSimpleFieldDef* TDefinition::AddSimpleFieldDef(const QString& AFieldName, const QString& AStorageName,
                                                const QString& ACaption, const Variant& ADefaultValue,
                                                const Variant& AMinValue, const Variant& AMaxValue,
                                                TFieldKind AFieldKind, const QString& AViewName, const QString& AHint,
                                                TViewState AUIState, int AFlags, const QString& ADictionary,
                                                TSearchType ASearchType) {
  TV_ASSERT(AFieldKind != fkString || !(AMaxValue.IsNull() || AMaxValue.IsUnassigned()),
            QStringLiteral("Undefined field length"));
  return StoreField(std::make_shared<TSimpleFieldDef>(this, AFieldKind, AFieldName, AStorageName, ACaption, AHint,
                                                      AViewName, AMinValue, AMaxValue, ADefaultValue, AUIState, AFlags,
                                                      ADictionary, ASearchType));
}

TSimpleFieldDef* TDefinition::AddStateFieldDef(const QString& AFieldName, const QString& AStorageName,
                                               const QString& ACaption, const Variant& ADefaultValue,
                                               const QString& AEnumName) {
  FStateFieldDef = StoreField(std::make_shared<TSimpleFieldDef>(this, fkEnum, AFieldName, AStorageName, ACaption,
                                                                QString(), QString(), Variant(0), Variant::Null(),
                                                                ADefaultValue, vsReadOnly, 0, AEnumName, stSearchNone));
  return FStateFieldDef;
}

TEntityFieldDef* TDefinition::AddEntityFieldDef(const QString& AFieldName, const QString& AStorageName,
                                                const QString& ACaption, const QString& AHint,
                                                const QString& AContentTypeName, int ADefaultEntityID,
                                                TViewState AUIState, int AFlags, TEntitySortType ASortType,
                                                const QString& AViewName, const QString& ADependencies,
                                                const QString& AHiddenFields, TSearchType ASearchType,
                                                const QString& AFilter) {
  return StoreField(std::make_shared<TEntityFieldDef>(
      this, AFieldName, AStorageName, ACaption, AHint, QStringLiteral("< --- >"), AContentTypeName, AViewName,
      ADefaultEntityID, AUIState, AFlags, ASortType, ADependencies, AHiddenFields, ASearchType, AFilter));
}

TListFieldDef* TDefinition::AddListFieldDef(const QString& AFieldName, const QString& AOwnerFieldName,
                                            const QString& ACaption, const QString& AContentTypeName,
                                            const QString& ASlaveFieldName, const QString& AViewName,
                                            TViewState AUIState, int AFlags, TEntitySortType ASortType,
                                            const QString& AColorFieldName, TRelationPower ARelationPower,
                                            const QString& AHiddenFields, const QString& ADependencies,
                                            const QString& AFilter) {
  return StoreField(std::make_shared<TListFieldDef>(this, AFieldName, AOwnerFieldName, ACaption, QString(), QString(),
                                                    AContentTypeName, ASlaveFieldName, AViewName, AUIState, AFlags,
                                                    ASortType, AColorFieldName, ARelationPower, AHiddenFields,
                                                    ADependencies, stSearchNone, AFilter));
}

TBlobFieldDef* TDefinition::AddBlobFieldDef(const QString& AFieldName, const QString& AStorageName,
                                            const QString& ACaption, const QString& AViewName, TViewState AUIState,
                                            int AFlags) {
  return StoreField(std::make_shared<TBlobFieldDef>(this, AFieldName, AStorageName, ACaption, QString(),
                                                    QStringLiteral("< --- >"), AViewName, AUIState, AFlags));
}

TServiceFieldDef* TDefinition::AddServiceFieldDef(const QString& AFieldName, const QString& AStorageName,
                                                  const QString& ACaption, TFieldKind AFieldKind, int ASize) {
  (void)AStorageName;  // the column is always named after the field
  auto field = std::make_unique<TServiceFieldDef>(this, AFieldName, AFieldKind, ASize, ACaption);
  TServiceFieldDef* result = field.get();
  FServiceFields.AddOrSetValue(AFieldName, std::move(field));
  return result;
}

TFieldDef* TDefinition::FieldByName(const QString& AFieldName) const {
  const auto* field = FFields.Find(AFieldName);
  return field ? field->get() : nullptr;
}

TServiceFieldDef* TDefinition::ServiceFieldByName(const QString& AFieldName) const {
  const auto* field = FServiceFields.Find(AFieldName);
  return field ? field->get() : nullptr;
}

TFieldDef* TDefinition::ExtractFieldDef(const QString& AFieldPath) const {
  const int point = AFieldPath.indexOf(QLatin1Char('.'));
  if (point < 0) return FieldByName(AFieldPath);
  auto* reference = dynamic_cast<TObjectFieldDef*>(FieldByName(AFieldPath.left(point)));
  if (!reference) return nullptr;
  TDefinition* content = reference->_ContentDefinition();
  if (!content && FConfiguration) content = FConfiguration->DefinitionByName(reference->ContentDefinitionName());
  return content ? content->ExtractFieldDef(AFieldPath.mid(point + 1)) : nullptr;
}

QString TDefinition::FieldNameByStorageName(const QString& AStorageName) const {
  for (const auto& [name, field] : FFields)
    if (field->StorageName().compare(AStorageName, Qt::CaseInsensitive) == 0) return name;
  return QString();
}

namespace {

template <class TList>
auto FindByName(TList& AList, const QString& AName) {
  return std::find_if(AList.begin(), AList.end(),
                      [&AName](const auto& AItem) { return AItem->Name().compare(AName, Qt::CaseInsensitive) == 0; });
}

}  // namespace

void TDefinition::ShareAction(const std::shared_ptr<TSysAction>& AAction) {
  auto it = FindByName(FActions, AAction->Name());
  if (it != FActions.end()) FActions.erase(it);
  FActions.push_back(AAction);
}

void TDefinition::ShareRTFReport(const std::shared_ptr<TRTFReport>& AReport) {
  const QString key = QFileInfo(AReport->FileName()).fileName();
  auto it = std::find_if(FRTFReports.begin(), FRTFReports.end(), [&key](const std::shared_ptr<TRTFReport>& AItem) {
    return QFileInfo(AItem->FileName()).fileName() == key;
  });
  if (it != FRTFReports.end())
    *it = AReport;
  else
    FRTFReports.push_back(AReport);
}

void TDefinition::ShareSysReport(const std::shared_ptr<TSysReport>& AReport) {
  if (std::find(FSysReports.begin(), FSysReports.end(), AReport) == FSysReports.end()) FSysReports.push_back(AReport);
}

TSysAction* TDefinition::AddAction(const QString& AName, const QString& ACaption, int AImageID, int AFlags) {
  auto action = std::make_shared<TSysAction>(this, AName, ACaption, AImageID);
  action->SetFlags(AFlags | ccContextAction);
  ShareAction(action);
  return action.get();
}

TSysAction* TDefinition::ActionByName(const QString& AName) const {
  auto it = FindByName(FActions, AName);
  if (it != FActions.end()) return it->get();
  for (TDefinition* descendant : FDescendants)
    if (TSysAction* action = descendant->ActionByName(AName)) return action;
  return nullptr;
}

void TDefinition::GetAllActions(std::vector<TSysAction*>& AList) const {
  if (FKind != clkMixin)
    for (const auto& action : FActions)
      if (std::find(AList.begin(), AList.end(), action.get()) == AList.end()) AList.push_back(action.get());
  for (TDefinition* descendant : FDescendants) descendant->GetAllActions(AList);
}

TFilter* TDefinition::AddFilter(const QString& AName, const QString& ACaption, const QString& AQuery) {
  auto filter = std::make_unique<TFilter>(this, AName, ACaption, AQuery);
  TFilter* result = filter.get();
  auto it = FindByName(FFilters, AName);
  if (it != FFilters.end())
    *it = std::move(filter);
  else
    FFilters.push_back(std::move(filter));
  return result;
}

TFilter* TDefinition::FilterByName(const QString& AName) const {
  auto it = FindByName(FFilters, AName);
  return it == FFilters.end() ? nullptr : it->get();
}

TDefinition* TDefinition::AddAggregation(const QString& AFieldName, TAggregationKind AAggType) {
  FAggregations << AFieldName + QLatin1Char('=') + AggregationKeyword(AAggType);
  return this;
}

TAggregationKind TDefinition::AggregationForField(const QString& AFieldName) const {
  const QString prefix = AFieldName + QLatin1Char('=');
  for (const QString& line : FAggregations)
    if (line.startsWith(prefix)) return AggregationKindByKeyword(line.mid(prefix.size()));
  return akNotDefined;
}

TRTFReport* TDefinition::AddRTFReport(const QString& AFileName) {
  auto report = std::make_shared<TRTFReport>(this, AFileName);
  ShareRTFReport(report);
  return report.get();
}

TSysReport* TDefinition::AddSysReport(const QString& AReportName, const QString& ACaption, const QString& AFileName,
                                      const QString& AOutputFileMask) {
  auto report = std::make_shared<TSysReport>(this, AReportName, ACaption, AFileName, AOutputFileMask);
  ShareSysReport(report);
  return report.get();
}

TDefinition* TDefinition::AddUniqueIndex(const QString& AFullIndexString) {
  FCheckUniqueQuery.reset();
  FIndexString = AFullIndexString;
  QStringList keys;
  for (const QString& key : AFullIndexString.split(QLatin1Char(';'))) {
    QStringList conditions;
    for (const QString& part : key.split(QLatin1Char(','))) {
      const QString field = part.trimmed();
      if (!field.isEmpty()) conditions << field + QLatin1Char('=') + field;
    }
    if (conditions.isEmpty()) continue;
    QString text = conditions.join(QLatin1Char(','));
    if (conditions.size() > 1) text = QStringLiteral("&(") + text + QLatin1Char(')');
    keys << text;
  }
  // An index text without any field name declares no index.
  if (keys.isEmpty()) return this;
  QString body = keys.join(QLatin1Char(','));
  if (keys.size() > 1) body = QStringLiteral("|(") + body + QLatin1Char(')');
  FCheckUniqueQuery =
      std::make_unique<TQueryObject>(FName, QStringLiteral("&(*!=*,") + body + QLatin1Char(')'), QString());
  return this;
}

void TDefinition::AddDescendant(TDefinition* ADefinition) {
  if (std::find(FDescendants.begin(), FDescendants.end(), ADefinition) == FDescendants.end())
    FDescendants.push_back(ADefinition);
}

bool TDefinition::IsDescendantOf(const QString& ADefinitionName) const {
  std::vector<const TDefinition*> visited;
  return IsDescendantOf(ADefinitionName, visited);
}

bool TDefinition::IsDescendantOf(const QString& ADefinitionName, std::vector<const TDefinition*>& AVisited) const {
  if (FName.compare(ADefinitionName, Qt::CaseInsensitive) == 0) return true;
  // Ancestor names are looked up by name, so a name declared later can close
  // a loop.
  if (std::find(AVisited.begin(), AVisited.end(), this) != AVisited.end()) return false;
  AVisited.push_back(this);
  if (!FConfiguration) return false;
  for (const QString& ancestorName : FAncestors) {
    const QString name = ancestorName.trimmed();
    if (name.isEmpty()) continue;
    const TDefinition* ancestor = FConfiguration->DefinitionByName(name);
    if (ancestor && ancestor->IsDescendantOf(ADefinitionName, AVisited)) return true;
  }
  return false;
}

void TDefinition::FillContentDefinitions(std::vector<TDefinition*>* AContentDefinitions) {
  std::vector<TDefinition*>& list = AContentDefinitions ? *AContentDefinitions : FInnerDefinitions;
  if (FKind != clkMixin && std::find(list.begin(), list.end(), this) == list.end()) list.push_back(this);
  for (TDefinition* descendant : FDescendants) descendant->FillContentDefinitions(&list);
}

void TDefinition::CreateObjectRelations() {
  for (const auto& [name, field] : FFields)
    if (field->Kind() == fkObject) static_cast<TObjectFieldDef*>(field.get())->CreateRelations();
  for (const auto& report : FSysReports) report->CreateObjectRelations();
  for (const auto& action : FActions) action->CreateObjectRelations();
}

void TDefinition::CreateListRelations() {
  for (const auto& [name, field] : FFields) {
    if (field->Kind() != fkList) continue;
    auto* list = static_cast<TListFieldDef*>(field.get());
    list->CreateRelations();
    for (TDefinition* inner : list->ContentDefinitions()) inner->AddOwnerList(list);
  }
  for (const auto& report : FSysReports) report->CreateListRelations();
  for (const auto& action : FActions) action->CreateListRelations();
}

void TDefinition::AddOwnerList(TListFieldDef* AListField) {
  // A list field inherited by descendants is related once per definition
  // that holds it; records must still be listed once.
  if (std::find(FOwnerLists.begin(), FOwnerLists.end(), AListField) == FOwnerLists.end())
    FOwnerLists.push_back(AListField);
}

void TDefinition::ForgetDefinition(const TDefinition* ADefinition, const std::vector<const TDefinition*>& AFreed) {
  std::erase(FDescendants, ADefinition);
  std::erase(FInnerDefinitions, ADefinition);
  std::erase_if(FOwnerLists, [&AFreed](TListFieldDef* AList) {
    return std::find(AFreed.begin(), AFreed.end(), AList->Definition()) != AFreed.end();
  });
  // Fields ADefinition declared with a dependency on a field of this one.
  for (const auto& field : FOwnFields) field->ForgetDependentFieldsOf(ADefinition);
  for (const auto& [name, field] : FFields) field->ForgetDependentFieldsOf(ADefinition);
  for (const auto& action : FActions) {
    action->ForgetOwner(ADefinition);
    action->ForgetDefinition(ADefinition, AFreed);
  }
  for (const auto& report : FSysReports) {
    report->ForgetOwner(ADefinition);
    report->ForgetDefinition(ADefinition, AFreed);
  }
  for (const auto& report : FRTFReports) report->ForgetOwner(ADefinition);
}

QString TDefinition::FindUseOf(const TDefinition* ADefinition) const {
  const auto fieldUse = [this, ADefinition](const TFieldDef* AField) -> QString {
    const QString user = FFullName + QLatin1Char('.') + AField->Name();
    if (AField->Definition() == ADefinition) return user;
    auto* reference = dynamic_cast<const TObjectFieldDef*>(AField);
    if (reference && reference->_ContentDefinition() == ADefinition) return user;
    auto* list = dynamic_cast<const TListFieldDef*>(AField);
    if (list && std::find(list->TransitDefinitions().begin(), list->TransitDefinitions().end(), ADefinition) !=
                    list->TransitDefinitions().end())
      return user;
    return QString();
  };
  for (const auto& [name, field] : FFields) {
    const QString user = fieldUse(field.get());
    if (!user.isEmpty()) return user;
  }
  if (FStateFieldDef && FStateFieldDef->Definition() == ADefinition)
    return FFullName + QLatin1Char('.') + FStateFieldDef->Name();
  for (const auto& action : FActions) {
    const QString user = action->FindUseOf(ADefinition);
    if (!user.isEmpty()) return user;
  }
  for (const auto& report : FSysReports) {
    const QString user = report->FindUseOf(ADefinition);
    if (!user.isEmpty()) return user;
  }
  return QString();
}

bool TDefinition::Shares(const TDefinition* AActionOrReport) const {
  return std::any_of(FActions.begin(), FActions.end(),
                     [AActionOrReport](const auto& AAction) { return AAction.get() == AActionOrReport; }) ||
         std::any_of(FSysReports.begin(), FSysReports.end(),
                     [AActionOrReport](const auto& AReport) { return AReport.get() == AActionOrReport; });
}

std::vector<TStorageColumn> TDefinition::StorageColumns() const {
  std::vector<TStorageColumn> columns;
  if (FKind == clkMixin || HasFlag(ccNotSave)) return columns;
  auto addColumn = [&columns](const TFieldDef* AField) {
    if (AField->HasFlag(cfNotSave) || AField->Kind() == fkList) return;
    TV_ASSERT(!AField->StorageName().isEmpty(),
              QStringLiteral("Field [") + AField->FullName() + QStringLiteral("] has no storage name"));
    switch (AField->Kind()) {
      case fkObject: {
        columns.push_back({AField->StorageName() + QStringLiteral("_id"), fkObject, 0});
        auto* entity = dynamic_cast<const TEntityFieldDef*>(AField);
        if (entity && entity->IsSelector()) columns.push_back({entity->SelectorStorageName(), fkInteger, 0});
        break;
      }
      case fkString: {
        int size = AField->Size();
        if (size <= 0) {
          auto* simple = dynamic_cast<const TSimpleFieldDef*>(AField);
          size = simple && VarIsNumeric(simple->MaxValue()) ? VarToInt(simple->MaxValue()) : 0;
        }
        columns.push_back({AField->StorageName(), fkString, size > 0 ? size : 50});
        break;
      }
      default:
        columns.push_back({AField->StorageName(), AField->Kind(), 0});
    }
  };
  for (const auto& [name, field] : FFields) addColumn(field.get());
  for (const auto& [name, field] : FServiceFields) addColumn(field.get());
  return columns;
}

bool TDefinition::SyncWithStorage(TStorageStructure* AStorage) const {
  if (FKind == clkMixin || HasFlag(ccNotSave)) return true;
  TV_ASSERT(!FStorageName.isEmpty(), QStringLiteral("Definition [") + FName + QStringLiteral("] has no storage name"));
  const std::vector<TStorageColumn> columns = StorageColumns();
  return AStorage->SyncGroupDef(FStorageName, [&columns, AStorage] {
    for (const TStorageColumn& column : columns) AStorage->SyncItemDef(column.Name, column.Kind, column.Size);
  });
}

// --- TPresentation ---

TPresentation::TPresentation(TConfiguration* AConfiguration, const QString& AName, TDefinition* ADefinition)
    : TBaseDefinition(AConfiguration, AName), FDefinition(ADefinition) {}

TPresentation* TPresentation::SetCaption(const QString& ACaption) {
  FCaption = ACaption;
  return this;
}
TPresentation* TPresentation::SetImageID(int AImageID) {
  FImageID = AImageID;
  return this;
}
TPresentation* TPresentation::SetOrderNum(int AOrderNum) {
  FOrderNum = AOrderNum;
  return this;
}
TPresentation* TPresentation::SetGroupFieldName(const QString& AGroupFieldName) {
  FGroupFieldName = AGroupFieldName;
  return this;
}
TPresentation* TPresentation::SetColorFieldName(const QString& AColorFieldName) {
  FColorFieldName = AColorFieldName;
  return this;
}
TPresentation* TPresentation::SetColorTarget(TColorTarget AColorTarget) {
  FColorTarget = AColorTarget;
  return this;
}
TPresentation* TPresentation::SetFlags(int AFlags) {
  DoSetFlags(AFlags);
  return this;
}

// --- TSysAction ---

TSysAction::TSysAction(TDefinition* AOwner, const QString& AName, const QString& ACaption, int AImageID)
    : TDefinition(AOwner->Configuration(), 0, AName, AOwner->Name() + QLatin1Char('.') + AName, QString(), clkLibrary),
      FDefinition(AOwner) {
  FCaption = ACaption;
  FImageID = AImageID;
}

TSysAction::TSysAction(TConfiguration* AOwner, const QString& AName, const QString& ACaption, int AImageID)
    : TDefinition(AOwner, 0, AName, QString(), clkLibrary), FDefinition(nullptr) {
  FCaption = ACaption;
  FImageID = AImageID;
}
