#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "src/Platform/uConsts.h"
#include "src/Platform/uStringDictionary.h"
#include "src/Platform/uVariant.h"

class TConfiguration;
class TFieldDef;
class TServiceFieldDef;
class TSimpleFieldDef;
class TBlobFieldDef;
class TObjectFieldDef;
class TEntityFieldDef;
class TListFieldDef;
class TQueryObject;
class TReactions;
class TRTFReport;
class TSysReport;
class TSysAction;
class TDefinition;
class TStorageStructure;
struct TStorageColumn;
class TFieldPlan;

// A mixed-case name as a table or column name: "LogID" -> "log_id",
// "StorageName" -> "storage_name", "HTTPServer" -> "http_server".
QString ToStorageName(const QString& AName);

// A colour and relative red, green and blue offsets.
struct TBackground {
  TColor Color = 1;
  int16_t RedOffset = 0;
  int16_t GreenOffset = 0;
  int16_t BlueOffset = 0;
};

// What definitions, presentations and actions share.
class TBaseDefinition {
 public:
  TBaseDefinition(TConfiguration* AConfiguration, const QString& AName);
  virtual ~TBaseDefinition() = default;
  TBaseDefinition(const TBaseDefinition&) = delete;
  TBaseDefinition& operator=(const TBaseDefinition&) = delete;

  const QString& Name() const { return FName; }
  const QString& FullName() const { return FFullName; }
  const QString& _Caption() const { return FCaption; }
  int _ImageID() const { return FImageID; }
  const QString& GroupFieldName() const { return FGroupFieldName; }
  const QString& ColorFieldName() const { return FColorFieldName; }
  TColorTarget ColorTarget() const { return FColorTarget; }
  TViewState UIState() const { return FUIState; }
  int Flags() const { return FFlags; }
  int OrderNum() const { return FOrderNum; }
  TConfiguration* Configuration() const { return FConfiguration; }
  // None for a collection definition; the presented definition for a
  // presentation; the owning definition for a definition's action.
  virtual TDefinition* Definition() const { return nullptr; }
  bool HasFlag(int AFlag) const { return (FFlags & AFlag) != 0; }

 protected:
  // Stores the flags; the UI state is reset to full access and capped at
  // read-only for ccReadOnly.
  void DoSetFlags(int AFlags);

  QString FName;
  TConfiguration* FConfiguration;  // not owned
  QString FFullName;
  QString FCaption;
  int FImageID = -1;
  QString FGroupFieldName;
  QString FColorFieldName;
  TColorTarget FColorTarget = ctNone;
  TViewState FUIState = vsFullAccess;
  int FFlags = 0;
  int FOrderNum = 0;
};

// A named query of a definition's records.
class TFilter {
 public:
  TFilter(TDefinition* AOwner, const QString& AName, const QString& ACaption, const QString& AQuery);
  ~TFilter();
  TDefinition* Owner() const { return FOwner; }
  const QString& Name() const { return FName; }
  // Owner name + ".fil" + filter name.
  const QString& FullName() const { return FFullName; }
  const QString& _Caption() const { return FCaption; }
  const QString& Hint() const { return FHint; }
  const QString& Query() const { return FQuery; }
  TQueryObject* QueryObject() const { return FQueryObject.get(); }

 private:
  TDefinition* FOwner;  // not owned
  QString FName;
  QString FFullName;
  QString FCaption;
  QString FHint;
  QString FQuery;
  std::unique_ptr<TQueryObject> FQueryObject;
};

// A collection definition: the fields, inheritance, actions, reports,
// filters and storage rules of one kind of record.
class TDefinition : public TBaseDefinition {
 public:
  // AAncestors: names split at ";"; those not (yet) declared are skipped.
  TDefinition(TConfiguration* AConfiguration, int AID, const QString& AName, const QString& AAncestors,
              TCollectionKind AKind);
  ~TDefinition() override;

 protected:
  // For actions and report definitions, whose full names differ from their names.
  TDefinition(TConfiguration* AConfiguration, int AID, const QString& AName, const QString& AFullName,
              const QString& AAncestors, TCollectionKind AKind);

 public:
  int ID() const { return FID; }
  TCollectionKind Kind() const { return FKind; }
  const QString& StorageName() const { return FStorageName; }
  const QString& _EmptyValue() const { return FEmptyValue; }
  const QString& _Prefix() const { return FPrefix; }
  bool IsHierarchical() const { return FIsHierarchical; }
  int Size() const { return FSize; }
  const TBackground& Background() const { return FBackground; }
  const QString& IndexString() const { return FIndexString; }
  TQueryObject* CheckUniqueQuery() const { return FCheckUniqueQuery.get(); }
  const QStringList& Ancestors() const { return FAncestors; }
  const std::vector<TDefinition*>& Descendants() const { return FDescendants; }
  // This definition (unless a mixin) and its descendants, depth first; filled
  // by the configuration's Init.
  const std::vector<TDefinition*>& InnerDefinitions() const { return FInnerDefinitions; }
  TSimpleFieldDef* StateFieldDef() const { return FStateFieldDef; }
  // List fields of other definitions whose records list records of this one.
  const std::vector<TListFieldDef*>& OwnerLists() const { return FOwnerLists; }
  TReactions* Reactions() const { return FReactions.get(); }
  const QStringList& Aggregations() const { return FAggregations; }

  TDefinition* SetStorageName(const QString& AStorageName);
  TDefinition* SetCaption(const QString& ACaption);
  TDefinition* SetEmptyValue(const QString& AEmptyValue);
  TDefinition* SetPrefix(const QString& APrefix);
  // ccEnvSpecific adds the service field "GUID" once.
  TDefinition* SetFlags(int AFlags);
  TDefinition* SetIsHierarchical(bool AIsHierarchical);
  TDefinition* SetColorFieldName(const QString& AColorFieldName);
  TDefinition* SetColorTarget(TColorTarget AColorTarget);
  TDefinition* SetImageID(int AImageID);
  TDefinition* SetOrderNum(int AOrderNum);
  TDefinition* SetBackground(TColor AColor, int16_t ARedOffset = 0, int16_t AGreenOffset = 0, int16_t ABlueOffset = 0);
  TDefinition* SetGroupFieldName(const QString& AGroupFieldName);
  TDefinition* SetSize(int ASize);

  // Field declarations. A field of the same name (an inherited one, say) is
  // replaced at its old position.
  TSimpleFieldDef* AddSimpleFieldDef(const QString& AFieldName, const QString& AStorageName, const QString& ACaption,
                                     const Variant& ADefaultValue, const Variant& AMinValue, const Variant& AMaxValue,
                                     TFieldKind AFieldKind, const QString& AViewName = QString(),
                                     const QString& AHint = QString(), TViewState AUIState = vsFullAccess,
                                     int AFlags = 0, const QString& ADictionary = QString(),
                                     TSearchType ASearchType = stSearchNone);
  // An fkEnum field over the state machine AEnumName that holds the record's state.
  TSimpleFieldDef* AddStateFieldDef(const QString& AFieldName, const QString& AStorageName, const QString& ACaption,
                                    const Variant& ADefaultValue, const QString& AEnumName);
  TEntityFieldDef* AddEntityFieldDef(const QString& AFieldName, const QString& AStorageName, const QString& ACaption,
                                     const QString& AHint, const QString& AContentTypeName, int ADefaultEntityID = 0,
                                     TViewState AUIState = vsFullAccess, int AFlags = 0,
                                     TEntitySortType ASortType = estSortByName, const QString& AViewName = QString(),
                                     const QString& ADependencies = QString(), const QString& AHiddenFields = QString(),
                                     TSearchType ASearchType = stSearchEverywhere, const QString& AFilter = QString());
  TListFieldDef* AddListFieldDef(const QString& AFieldName, const QString& AOwnerFieldName, const QString& ACaption,
                                 const QString& AContentTypeName, const QString& ASlaveFieldName = QString(),
                                 const QString& AViewName = QString(), TViewState AUIState = vsFullAccess,
                                 int AFlags = 0, TEntitySortType ASortType = estSortByName,
                                 const QString& AColorFieldName = QString(), TRelationPower ARelationPower = rpWeak,
                                 const QString& AHiddenFields = QString(), const QString& ADependencies = QString(),
                                 const QString& AFilter = QString());
  TBlobFieldDef* AddBlobFieldDef(const QString& AFieldName, const QString& AStorageName, const QString& ACaption,
                                 const QString& AViewName = QString(), TViewState AUIState = vsFullAccess,
                                 int AFlags = 0);
  // Kept among the service fields; the storage name comes from the field name.
  TServiceFieldDef* AddServiceFieldDef(const QString& AFieldName, const QString& AStorageName, const QString& ACaption,
                                       TFieldKind AFieldKind, int ASize);

  // Field names are compared with case.
  TFieldDef* FieldByName(const QString& AFieldName) const;
  bool FieldExists(const QString& AFieldName) const { return FFields.ContainsKey(AFieldName); }
  int IndexOfField(const QString& AFieldName) const { return FFields.IndexOf(AFieldName); }
  int FieldCount() const { return FFields.Count(); }
  TFieldDef* Field(int AIndex) const { return FFields.ValueAt(AIndex).get(); }
  int ServiceFieldCount() const { return FServiceFields.Count(); }
  TServiceFieldDef* ServiceField(int AIndex) const { return FServiceFields.ValueAt(AIndex).get(); }
  TServiceFieldDef* ServiceFieldByName(const QString& AFieldName) const;
  // "A.B.C": A must be an object or list field; B.C is resolved in its
  // content definition. None when a step is missing or not a reference.
  TFieldDef* ExtractFieldDef(const QString& AFieldPath) const;
  // The first field whose storage name matches without regard to case.
  QString FieldNameByStorageName(const QString& AStorageName) const;
  // Fields stay once declared.
  void RemoveField(const QString& AFieldName) { (void)AFieldName; }
  // How the domain lays out the fields of this definition's entities: made by
  // the domain on first use, dropped whenever the fields change. It holds no
  // domain data, so the domains of one configuration share it.
  const std::shared_ptr<const TFieldPlan>& FieldPlan() const { return FFieldPlan; }
  void SetFieldPlan(std::shared_ptr<const TFieldPlan> APlan) { FFieldPlan = std::move(APlan); }

  // An action of this definition (flags plus ccContextAction); one of the
  // same name leaves the list and the new one is appended.
  TSysAction* AddAction(const QString& AName, const QString& ACaption, int AImageID, int AFlags);
  // Own or inherited, else the first found in the descendants, depth first.
  TSysAction* ActionByName(const QString& AName) const;
  int ActionCount() const { return static_cast<int>(FActions.size()); }
  TSysAction* Action(int AIndex) const { return FActions[static_cast<size_t>(AIndex)].get(); }
  // This definition's actions (unless a mixin), then the descendants', each once.
  void GetAllActions(std::vector<TSysAction*>& AList) const;

  // A filter of the same name is replaced.
  TFilter* AddFilter(const QString& AName, const QString& ACaption, const QString& AQuery);
  int FilterCount() const { return static_cast<int>(FFilters.size()); }
  TFilter* Filter(int AIndex) const { return FFilters[static_cast<size_t>(AIndex)].get(); }
  TFilter* FilterByName(const QString& AName) const;

  TDefinition* AddAggregation(const QString& AFieldName, TAggregationKind AAggType);
  TAggregationKind AggregationForField(const QString& AFieldName) const;

  // Keyed by file name; a template of a file name already present replaces it.
  TRTFReport* AddRTFReport(const QString& AFileName);
  int RTFReportCount() const { return static_cast<int>(FRTFReports.size()); }
  TRTFReport* RTFReport(int AIndex) const { return FRTFReports[static_cast<size_t>(AIndex)].get(); }
  TSysReport* AddSysReport(const QString& AReportName, const QString& ACaption, const QString& AFileName,
                           const QString& AOutputFileMask);
  int SysReportCount() const { return static_cast<int>(FSysReports.size()); }
  TSysReport* SysReport(int AIndex) const { return FSysReports[static_cast<size_t>(AIndex)].get(); }

  // Keys separated by ";", fields of a key by ","; compiles the query that
  // finds another record with the same key.
  TDefinition* AddUniqueIndex(const QString& AFullIndexString);

  void AddDescendant(TDefinition* ADefinition);
  // True for this definition's own name or, recursively, an ancestor's.
  bool IsDescendantOf(const QString& ADefinitionName) const;

  // Relation steps of the configuration's Init.
  void FillContentDefinitions(std::vector<TDefinition*>* AContentDefinitions = nullptr);
  void CreateObjectRelations();
  void CreateListRelations();
  // Registers a list field once.
  void AddOwnerList(TListFieldDef* AListField);
  // Forgets every pointer to ADefinition, which is being removed, and to
  // what is freed with it (AFreed: it, and its actions and reports that no
  // other definition shares). What this definition shares of it loses its
  // owner.
  void ForgetDefinition(const TDefinition* ADefinition, const std::vector<const TDefinition*>& AFreed);
  // The first field this definition, its actions or its reports hold that
  // would be left without its definition if ADefinition went: a field
  // ADefinition declared, or a reference to it. Empty when there is none.
  QString FindUseOf(const TDefinition* ADefinition) const;
  // True when this definition holds the action or report.
  bool Shares(const TDefinition* AActionOrReport) const;

  // The columns of this definition's table (none for a mixin or ccNotSave):
  // fields first, then service fields. A column without a name is an
  // assertion failure.
  std::vector<TStorageColumn> StorageColumns() const;
  bool SyncWithStorage(TStorageStructure* AStorage) const;

 private:
  void Inherit(TDefinition* AAncestor, bool AIsFirst);
  void EnsureGuidField();
  template <class T>
  T* StoreField(std::shared_ptr<T> AField);
  void ShareAction(const std::shared_ptr<TSysAction>& AAction);
  void ShareRTFReport(const std::shared_ptr<TRTFReport>& AReport);
  void ShareSysReport(const std::shared_ptr<TSysReport>& AReport);
  bool IsDescendantOf(const QString& ADefinitionName, std::vector<const TDefinition*>& AVisited) const;

  int FID;
  TCollectionKind FKind;
  QString FStorageName;
  QString FEmptyValue;
  QString FPrefix;
  bool FIsHierarchical = false;
  int FSize = 0;
  TBackground FBackground;
  QString FIndexString;
  std::unique_ptr<TQueryObject> FCheckUniqueQuery;
  // Actions, reports and fields are shared with descendants, which keep what
  // they inherited alive even when the owner replaces it.
  std::vector<std::shared_ptr<TSysAction>> FActions;
  std::unique_ptr<TReactions> FReactions;
  std::vector<std::shared_ptr<TSysReport>> FSysReports;
  std::vector<std::shared_ptr<TRTFReport>> FRTFReports;
  QStringList FAggregations;
  std::vector<std::unique_ptr<TFilter>> FFilters;
  QStringList FAncestors;
  std::vector<TDefinition*> FDescendants;       // not owned
  std::vector<TDefinition*> FInnerDefinitions;  // not owned
  TStringDictionary<std::shared_ptr<TFieldDef>> FFields;
  // Every field this definition declared, also replaced ones, which other
  // fields' dependency lists may still name.
  std::vector<std::shared_ptr<TFieldDef>> FOwnFields;
  TStringDictionary<std::unique_ptr<TServiceFieldDef>> FServiceFields;
  TSimpleFieldDef* FStateFieldDef = nullptr;  // not owned
  std::vector<TListFieldDef*> FOwnerLists;    // not owned
  std::shared_ptr<const TFieldPlan> FFieldPlan;
};

// A named alternative view of a definition with its own caption, image and
// colouring.
class TPresentation : public TBaseDefinition {
 public:
  TPresentation(TConfiguration* AConfiguration, const QString& AName, TDefinition* ADefinition);
  TDefinition* Definition() const override { return FDefinition; }
  void ForgetDefinition(const TDefinition* ADefinition) {
    if (FDefinition == ADefinition) FDefinition = nullptr;
  }
  TPresentation* SetCaption(const QString& ACaption);
  TPresentation* SetImageID(int AImageID);
  TPresentation* SetOrderNum(int AOrderNum);
  TPresentation* SetGroupFieldName(const QString& AGroupFieldName);
  TPresentation* SetColorFieldName(const QString& AColorFieldName);
  TPresentation* SetColorTarget(TColorTarget AColorTarget);
  TPresentation* SetFlags(int AFlags);

 private:
  TDefinition* FDefinition;  // not owned, may be none
};

// A command the user interface offers and the script executes; its fields
// are its parameters.
class TSysAction : public TDefinition {
 public:
  // An action of a definition: full name "Definition.Action".
  TSysAction(TDefinition* AOwner, const QString& AName, const QString& ACaption, int AImageID);
  // A configuration-wide action: full name = its name.
  TSysAction(TConfiguration* AOwner, const QString& AName, const QString& ACaption, int AImageID);
  TDefinition* Definition() const override { return FDefinition; }
  // The owning definition was removed while others still share the action.
  void ForgetOwner(const TDefinition* AOwner) {
    if (FDefinition == AOwner) FDefinition = nullptr;
  }

 private:
  // Not owned; none for a configuration-wide action and once the owner was removed.
  TDefinition* FDefinition;
};
