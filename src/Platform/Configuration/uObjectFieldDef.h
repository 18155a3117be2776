#pragma once

#include <QSet>
#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

#include "src/Platform/uConsts.h"
#include "src/Platform/uVariant.h"

class TDefinition;
class TObjectFieldDef;
class TQueryObject;

// A reference field that depends on a field: a change of the field can clear
// or re-check the reference. FieldName is the candidate's field compared.
struct TDependentField {
  QString FieldName;
  TObjectFieldDef* Field;  // not owned
};

// One field of a definition or action.
class TFieldDef {
 public:
  TFieldDef(TDefinition* AOwner, const QString& AName, TFieldKind AKind, TViewState AUIState, int AFlags, int ASize);
  // Size -1; the storage name is taken as given, an empty one stays empty.
  TFieldDef(TDefinition* AOwner, TFieldKind AFieldKind, const QString& AFieldName, const QString& AStorageName,
            const QString& ACaption, const QString& AHint, const QString& AViewName, TViewState AUIState, int AFlags);
  virtual ~TFieldDef();
  TFieldDef(const TFieldDef&) = delete;
  TFieldDef& operator=(const TFieldDef&) = delete;

  const QString& Name() const { return FName; }
  // Owner's full name + "." + name: the key of translations and access rights.
  const QString& FullName() const { return FFullName; }
  TFieldKind Kind() const { return FKind; }
  const QString& StorageName() const { return FStorageName; }
  int Size() const { return FSize; }
  const QString& _Caption() const { return FCaption; }
  const QString& _Hint() const { return FHint; }
  const QString& StyleName() const { return FStyleName; }
  TViewState UIState() const { return FUIState; }
  int Flags() const { return FFlags; }
  TDefinition* Definition() const { return FOwner; }
  const std::vector<TDependentField>& DependentFields() const { return FDependentFields; }
  bool HasFlag(int AFlag) const { return (FFlags & AFlag) != 0; }
  bool IsReference() const { return FKind == fkObject || FKind == fkList; }

  TFieldDef* SetCaption(const QString& ACaption);
  TFieldDef* SetHint(const QString& AHint);
  TFieldDef* SetStorageName(const QString& AStorageName);
  TFieldDef* SetStyleName(const QString& AStyleName);
  TFieldDef* SetFlags(int AFlags);
  TFieldDef* SetUIState(TViewState AUIState);

  void AddDependentField(const QString& AFieldName, TObjectFieldDef* AField);
  // Drops the entries of reference fields that ADefinition declared.
  void ForgetDependentFieldsOf(const TDefinition* ADefinition);

 private:
  QString FName;
  TFieldKind FKind;
  int FSize;
  QString FFullName;
  QString FCaption;
  QString FHint;
  QString FStyleName;
  std::vector<TDependentField> FDependentFields;
  QString FStorageName;
  int FFlags;
  TViewState FUIState;
  TDefinition* FOwner;  // not owned
};

// "ID", "LogID", "GUID": kept apart from a definition's fields.
class TServiceFieldDef : public TFieldDef {
 public:
  TServiceFieldDef(TDefinition* AOwner, const QString& AName, TFieldKind AKind, int ASize, const QString& ACaption);
};

class TSimpleFieldDef : public TFieldDef {
 public:
  // ADictionary: an enumeration name, or "Collection.Field" or
  // "Collection.Field&RankField" for offers taken from a collection.
  TSimpleFieldDef(TDefinition* ACollection, TFieldKind AFieldKind, const QString& AFieldName,
                  const QString& AStorageName, const QString& ACaption, const QString& AHint, const QString& AViewName,
                  const Variant& AMinValue, const Variant& AMaxValue, const Variant& ADefaultValue, TViewState AUIState,
                  int AFlags, const QString& ADictionary, TSearchType ASearchType);

  const Variant& MinValue() const { return FMinValue; }
  // For a string field, its maximum length in characters.
  const Variant& MaxValue() const { return FMaxValue; }
  const Variant& DefaultValue() const { return FDefaultValue; }
  bool CanBeNull() const { return FCanBeNull; }
  const Variant& NullValue() const { return FNullValue; }
  const QString& Dictionary() const { return FDictionary; }
  const QString& DictionaryField() const { return FDictionaryField; }
  const QString& RankField() const { return FRankField; }
  // The declared search type, but only when a dictionary field is set.
  TSearchType SearchType() const { return FSearchType; }
  TSearchType InitialSearchType() const { return FInitialSearchType; }

  TSimpleFieldDef* SetDefaultValue(const Variant& AValue);
  // Also marks the field as able to be null.
  TSimpleFieldDef* SetNullValue(const Variant& ANullValue);

 private:
  Variant FMinValue;
  Variant FMaxValue;
  Variant FDefaultValue;
  bool FCanBeNull = false;
  Variant FNullValue = Variant::Null();
  QString FDictionary;
  QString FDictionaryField;
  QString FRankField;
  TSearchType FSearchType;
  TSearchType FInitialSearchType;
};

class TBlobFieldDef : public TFieldDef {
 public:
  TBlobFieldDef(TDefinition* ACollection, const QString& AFieldName, const QString& AStorageName,
                const QString& ACaption, const QString& AHint, const QString& ANullString, const QString& AViewName,
                TViewState AUIState, int AFlags);
  TBlobFormat BlobFormat() const { return FBlobFormat; }
  void SetBlobFormat(TBlobFormat AFormat) { FBlobFormat = AFormat; }
  const QString& NullString() const { return FNullString; }

 private:
  TBlobFormat FBlobFormat = bffRaw;
  QString FNullString;
};

// Base of entity and list fields: a reference to records of a content
// definition (or any of its concrete descendants).
class TObjectFieldDef : public TFieldDef {
 public:
  // AHiddenFields: names split at ";". ADependencies: conditions split at ";"
  // and blanks, each "CandidateField<op>OwnerField" (or a bare condition).
  TObjectFieldDef(TDefinition* AOwner, TFieldKind AFieldKind, const QString& AFieldName, const QString& AStorageName,
                  const QString& ACaption, const QString& AHint, const QString& ANullString,
                  const QString& AContentTypeName, const QString& AViewName, TViewState AUIState, int AFlags,
                  TEntitySortType ASortType, const QString& AHiddenFields, const QString& ADependencies,
                  TSearchType ASearchType);
  ~TObjectFieldDef() override;

  bool IsFieldHidden(const QString& AFieldName) const { return FHiddenFields.contains(AFieldName); }
  // Resolves the content definition, the default type and the selector mark,
  // and builds the query of candidate records once.
  void CreateRelations();

  const QString& ContentDefinitionName() const { return FContentDefinitionName; }
  TDefinition* _ContentDefinition() const { return FContentDefinition; }
  // The concrete definitions whose records the field can refer to.
  const std::vector<TDefinition*>& ContentDefinitions() const;
  QString ContentDefinitionsText() const;
  QString DefaultDefinitionName() const;
  bool IsSelector() const { return FIsSelector; }
  int DefaultTypeID() const { return FDefaultTypeID; }
  TEntitySortType SortType() const { return FSortType; }
  TSearchType SearchType() const { return FSearchType; }
  // Lines "CandidateField=OwnerField".
  const QStringList& SelectiveFields() const { return FSelectiveFields; }
  const QStringList& Dependencies() const { return FDependencies; }
  const QStringList& HiddenFields() const { return FHiddenFields; }
  const QString& QueryString() const { return FQueryString; }
  TQueryObject* QueryObject() const { return FQueryObject.get(); }
  const QString& NullString() const { return FNullString; }
  const QString& HiddenFieldsText() const { return FHiddenFieldsText; }
  const QString& DependenciesText() const { return FDependenciesText; }

 protected:
  // The query of candidate records; a transit list builds its own.
  virtual std::unique_ptr<TQueryObject> CreateQueryObject();

 private:
  void ProcessDependencies();

  bool FIsSelector = false;
  int FDefaultTypeID = 0;
  QStringList FHiddenFields;
  QStringList FDependencies;
  QString FQueryString;
  std::unique_ptr<TQueryObject> FQueryObject;
  QString FContentDefinitionName;
  TDefinition* FContentDefinition = nullptr;  // not owned
  QString FNullString;
  QString FHiddenFieldsText;
  QString FDependenciesText;
  TEntitySortType FSortType;
  TSearchType FSearchType;
  QStringList FSelectiveFields;
};

// A reference to one record (kind fkObject).
class TEntityFieldDef : public TObjectFieldDef {
 public:
  TEntityFieldDef(TDefinition* AOwner, const QString& AFieldName, const QString& AStorageName, const QString& ACaption,
                  const QString& AHint, const QString& ANullString, const QString& AContentTypeName,
                  const QString& AViewName, int ADefaultEntityID, TViewState AUIState, int AFlags,
                  TEntitySortType ASortType, const QString& ADependencies, const QString& AHiddenFields,
                  TSearchType ASearchType, const QString& AFilter);
  int DefaultEntityID() const { return FDefaultEntityID; }
  // Storage name + "_typeid": where a selector keeps the referred record's definition.
  const QString& SelectorStorageName() const { return FSelectorStorageName; }
  const QString& Filter() const { return FFilter; }

 private:
  int FDefaultEntityID;
  QString FSelectorStorageName;
  QString FFilter;
};

// The records that refer back to the owner through their master field
// (kind fkList); a transit list shows the targets of a further field.
class TListFieldDef : public TObjectFieldDef {
 public:
  TListFieldDef(TDefinition* AOwner, const QString& AFieldName, const QString& AMasterFieldName,
                const QString& ACaption, const QString& AHint, const QString& ANullString,
                const QString& AContentTypeName, const QString& ATransitFieldName, const QString& AViewName,
                TViewState AUIState, int AFlags, TEntitySortType ASortType, const QString& AColorFieldName,
                TRelationPower ARelationPower, const QString& AHiddenFields, const QString& ADependencies,
                TSearchType ASearchType, const QString& AFilter);

  const QString& MasterFieldName() const { return FMasterFieldName; }
  const QString& TransitFieldName() const { return FTransitFieldName; }
  bool IsTransit() const { return FIsTransit; }
  const std::vector<TDefinition*>& TransitDefinitions() const { return FTransitDefinitions; }
  const QString& ColorFieldName() const { return FColorFieldName; }
  TRelationPower RelationPower() const { return FRelationPower; }
  const QString& Filter() const { return FFilter; }
  // The master field and the candidate fields of the dependencies.
  bool IsSelectiveField(const QString& AFieldName) const { return FCachedSelectiveFields.contains(AFieldName); }

 protected:
  std::unique_ptr<TQueryObject> CreateQueryObject() override;

 private:
  std::vector<TDefinition*> FTransitDefinitions;  // not owned
  QString FMasterFieldName;
  QString FTransitFieldName;
  QString FColorFieldName;
  TRelationPower FRelationPower;
  QString FFilter;
  QSet<QString> FCachedSelectiveFields;
  bool FIsTransit;
};
