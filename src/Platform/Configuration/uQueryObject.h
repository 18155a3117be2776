#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "src/Platform/uConsts.h"
#include "src/Platform/uVariant.h"

class TEntity;
class TBaseField;
class TUserSession;

// The operator character of a condition ("=", "^", ...); empty for ckUndefined.
QString ConditionKindText(TConditionKind AKind);
// The modifier character ("@", "#", "%"); empty for cmNone.
QString ConditionModifierText(TConditionModifier AModifier);
// A text prepared by a modifier: upper-cased by the current locale for
// cmIgnoreCase, trimmed for cmIgnoreSpace, unchanged otherwise. Both sides of a
// text comparison go through this.
QString ApplyConditionModifier(const QString& AText, TConditionModifier AModifier);

// A named value a query is bound to. Record references are held as the
// reference itself.
class TQueryParameter {
 public:
  explicit TQueryParameter(const QString& AName) : FName(AName) {}
  const QString& Name() const { return FName; }
  const Variant& Value() const { return FValue; }
  void SetValue(const Variant& AValue) { FValue = AValue; }
  TFieldKind FieldKind() const { return FFieldKind; }
  void SetFieldKind(TFieldKind AFieldKind) { FFieldKind = AFieldKind; }

 private:
  QString FName;
  Variant FValue = Variant::Null();
  TFieldKind FFieldKind = fkNotDefined;
};

// One node of a compiled where-clause. Negations of groups are pushed down to
// the simple criteria when the query is compiled, so only simple criteria
// carry a negation when they are evaluated.
class TBaseCriteria {
 public:
  virtual ~TBaseCriteria() = default;
  TBaseCriteria(const TBaseCriteria&) = delete;
  TBaseCriteria& operator=(const TBaseCriteria&) = delete;

  // The printed form without the negation.
  virtual QString GetBodyText() const = 0;
  virtual void Negate(bool AValue);
  virtual bool Matches(TUserSession* ASession, TEntity* AEntity) const = 0;

  // "not " + body when negated.
  QString Text() const;
  bool IsNot() const { return FIsNot; }

 protected:
  TBaseCriteria() = default;
  bool FIsNot = false;
};

// A test of one variable: a field path of the record, "*" for the record
// itself, or a session variable beginning with "$".
class TSimpleCriteria : public TBaseCriteria {
 public:
  const QString& Variable() const { return FVariable; }
  bool Matches(TUserSession* ASession, TEntity* AEntity) const final;
  // A test against a resolved field, or against a session variable when
  // AField is none.
  virtual bool MatchesField(TUserSession* ASession, TEntity* AEntity, TBaseField* AField) const = 0;
  // A test of the record itself ("*").
  virtual bool MatchesEntity(TEntity* AEntity) const;

 protected:
  explicit TSimpleCriteria(const QString& AVariable);
  QString FVariable;

 private:
  // What the variable names, decided once: Matches runs for every record.
  enum TVariableKind : uint8_t { vkField, vkRecord, vkBareSession, vkSession };
  TVariableKind FVariableKind;
};

// A bare variable: a Boolean field, or "$IsAdmin$".
class TBoolCriteria : public TSimpleCriteria {
 public:
  explicit TBoolCriteria(const QString& AVariable) : TSimpleCriteria(AVariable) {}
  QString GetBodyText() const override;
  bool MatchesField(TUserSession* ASession, TEntity* AEntity, TBaseField* AField) const override;
};

class TStringCriteria : public TSimpleCriteria {
 public:
  // AValue is stored as the modifier prepares it.
  TStringCriteria(const QString& AVariable, TConditionModifier AModifier, TConditionKind ACondition,
                  const QString& AValue);
  TConditionModifier Modifier() const { return FModifier; }
  TConditionKind Condition() const { return FCondition; }
  const QString& Value() const { return FValue; }
  QString GetBodyText() const override;
  bool MatchesField(TUserSession* ASession, TEntity* AEntity, TBaseField* AField) const override;

 private:
  TConditionModifier FModifier;
  TConditionKind FCondition;
  QString FValue;
};

class TIntegerCriteria : public TSimpleCriteria {
 public:
  TIntegerCriteria(const QString& AVariable, TConditionKind ACondition, int32_t AValue)
      : TSimpleCriteria(AVariable), FCondition(ACondition), FValue(AValue) {}
  TConditionKind Condition() const { return FCondition; }
  int32_t Value() const { return FValue; }
  QString GetBodyText() const override;
  bool MatchesField(TUserSession* ASession, TEntity* AEntity, TBaseField* AField) const override;

 private:
  TConditionKind FCondition;
  int32_t FValue;
};

class TFloatCriteria : public TSimpleCriteria {
 public:
  TFloatCriteria(const QString& AVariable, TConditionKind ACondition, double AValue)
      : TSimpleCriteria(AVariable), FCondition(ACondition), FValue(AValue) {}
  TConditionKind Condition() const { return FCondition; }
  double Value() const { return FValue; }
  QString GetBodyText() const override;
  bool MatchesField(TUserSession* ASession, TEntity* AEntity, TBaseField* AField) const override;

 private:
  TConditionKind FCondition;
  double FValue;
};

// A comparison with a parameter of the query object. A parameter without value
// names a field of the same record (field-to-field comparison).
class TParamCriteria : public TSimpleCriteria {
 public:
  // AParam belongs to the query object and may be shared by several criteria.
  TParamCriteria(const QString& AVariable, TConditionModifier AModifier, TConditionKind ACondition,
                 TQueryParameter* AParam);
  TConditionModifier Modifier() const { return FModifier; }
  TConditionKind Condition() const { return FCondition; }
  const QString& ParamName() const { return FParamName; }
  TQueryParameter* ParamValue() const { return FParamValue; }
  QString GetBodyText() const override;
  bool MatchesField(TUserSession* ASession, TEntity* AEntity, TBaseField* AField) const override;
  bool MatchesEntity(TEntity* AEntity) const override;

 private:
  TConditionModifier FModifier;
  TConditionKind FCondition;
  QString FParamName;
  TQueryParameter* FParamValue;  // not owned
};

// An and-group or an or-group of criteria in text order.
class TComplexCriteria : public TBaseCriteria {
 public:
  explicit TComplexCriteria(bool AIsAnd) : FIsAnd(AIsAnd) {}
  bool IsAnd() const { return FIsAnd; }
  const std::vector<std::unique_ptr<TBaseCriteria>>& Criterias() const { return FCriterias; }
  void AddCriteria(std::unique_ptr<TBaseCriteria> ACriteria) { FCriterias.push_back(std::move(ACriteria)); }
  QString GetBodyText() const override;
  // De Morgan: a negated group swaps and/or and negates every member.
  void Negate(bool AValue) override;
  bool Matches(TUserSession* ASession, TEntity* AEntity) const override;

 private:
  bool FIsAnd;
  std::vector<std::unique_ptr<TBaseCriteria>> FCriterias;
};

// The value of a parameter by its name, asked for every parameter by Select.
using TGetParameterFunc = std::function<Variant(const QString& AParamName)>;

// A selection of records written in the query language: the collections it
// scans, the where-clause and the sort order. Compiled once; then bound to
// parameters and used to test single records or to select from collections.
class TQueryObject {
 public:
  // Any clause may be empty; a query without from-clause serves IsMatch only.
  // A malformed where-clause raises an assertion failure.
  TQueryObject(const QString& AFromClause, const QString& AWhereClause, const QString& AOrderClause);
  ~TQueryObject();
  TQueryObject(const TQueryObject&) = delete;
  TQueryObject& operator=(const TQueryObject&) = delete;

  const QStringList& CollectionNames() const { return FCollectionNames; }
  // Empty when no order clause was given.
  const QStringList& SortFields() const { return FSortFields; }
  bool HasSortFields() const { return FHasSortFields; }
  const QString& QueryString() const { return FQueryString; }
  // None for an empty where-clause.
  TBaseCriteria* RootCriteria() const { return FRootCriteria.get(); }
  // Every parameter named in the where-clause, once each, in order of first
  // appearance.
  const std::vector<std::unique_ptr<TQueryParameter>>& Parameters() const { return FParameters; }
  // Compared without regard to case; none when the clause does not name it.
  TQueryParameter* ParameterByName(const QString& AName) const;
  // The result of the last Select.
  const std::vector<TEntity*>& Results() const { return FResults; }

  bool IsMatch(TUserSession* ASession, TEntity* AEntity) const;
  // Creates the parameter when the clause does not name it.
  void SetParameter(const QString& AKey, const Variant& AValue);
  // Binds every parameter: "*" the instance, "@" the NullEntity, "$" the
  // session's user, any other name the instance's field of that path (Null
  // when there is no instance or no such field).
  void SetParameters(TUserSession* ASession, TEntity* AInstance);
  // The matching records of the from-collections, in collection order and,
  // within a collection, sorted by the sort fields. The returned list is the
  // caller's own: a Select run meanwhile on this query object (a reaction
  // doing a lookup) does not change it. Values a parameter function gives
  // hold for this call only.
  std::vector<TEntity*> Select(TUserSession* ASession, const TGetParameterFunc& AGetParameterFunc = nullptr);
  // Puts sort fields (";"-separated) in front of the existing ones.
  void SetSorting(const QString& ASortFields);
  // The readable form of the where-clause.
  QString PrintText() const;

 private:
  friend class TQueryParser;
  TQueryParameter* FindOrAddParameter(const QString& AName);

  QStringList FCollectionNames;
  QStringList FSortFields;
  bool FHasSortFields = false;
  std::vector<std::unique_ptr<TQueryParameter>> FParameters;
  std::vector<TEntity*> FResults;  // the records belong to their collections
  QString FQueryString;
  std::unique_ptr<TBaseCriteria> FRootCriteria;
};
