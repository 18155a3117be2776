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

class TQueryObject;
class TQueryBindings;

// A parameter a where-clause names. Part of the compiled query: its name and
// kind never change, and it holds no value (values live in TQueryBindings).
class TQueryParameter {
 public:
  TQueryParameter(const QString& AName, int AIndex) : FName(AName), FIndex(AIndex) {}
  const QString& Name() const { return FName; }
  // The position in the query's parameter list, where bindings keep its value.
  int Index() const { return FIndex; }
  TFieldKind FieldKind() const { return FFieldKind; }

 private:
  QString FName;
  int FIndex;
  TFieldKind FFieldKind = fkNotDefined;
};

// One node of a compiled where-clause. Negations of groups are pushed down to
// the simple criteria when the query is compiled, so only simple criteria
// carry a negation when they are evaluated. ABindings holds the parameter
// values of one evaluation; none means every parameter is Null.
class TBaseCriteria {
 public:
  virtual ~TBaseCriteria() = default;
  TBaseCriteria(const TBaseCriteria&) = delete;
  TBaseCriteria& operator=(const TBaseCriteria&) = delete;

  // The printed form without the negation.
  virtual QString GetBodyText() const = 0;
  virtual void Negate(bool AValue);
  virtual bool Matches(TUserSession* ASession, TEntity* AEntity, const TQueryBindings* ABindings) const = 0;

  // "not " + body when negated.
  QString Text() const;
  bool IsNot() const { return FIsNot; }

 protected:
  TBaseCriteria() = default;
  bool FIsNot = false;

 private:
  friend class TComplexCriteria;
  friend class TQueryParser;
  // Marks the negation without pushing it down; the parser pushes all marks
  // down in one walk at the end.
  void MarkNegated() { FIsNot = !FIsNot; }
};

// A test of one variable: a field path of the record, "*" for the record
// itself, or a session variable beginning with "$".
class TSimpleCriteria : public TBaseCriteria {
 public:
  const QString& Variable() const { return FVariable; }
  bool Matches(TUserSession* ASession, TEntity* AEntity, const TQueryBindings* ABindings) const final;
  // A test against a resolved field, or against a session variable when
  // AField is none.
  virtual bool MatchesField(TUserSession* ASession, TEntity* AEntity, TBaseField* AField,
                            const TQueryBindings* ABindings) const = 0;
  // A test of the record itself ("*").
  virtual bool MatchesEntity(TEntity* AEntity, const TQueryBindings* ABindings) const;

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
  bool MatchesField(TUserSession* ASession, TEntity* AEntity, TBaseField* AField,
                    const TQueryBindings* ABindings) const override;
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
  bool MatchesField(TUserSession* ASession, TEntity* AEntity, TBaseField* AField,
                    const TQueryBindings* ABindings) const override;

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
  bool MatchesField(TUserSession* ASession, TEntity* AEntity, TBaseField* AField,
                    const TQueryBindings* ABindings) const override;

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
  bool MatchesField(TUserSession* ASession, TEntity* AEntity, TBaseField* AField,
                    const TQueryBindings* ABindings) const override;

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
                 const TQueryParameter* AParam);
  TConditionModifier Modifier() const { return FModifier; }
  TConditionKind Condition() const { return FCondition; }
  const QString& ParamName() const { return FParamName; }
  const TQueryParameter* ParamValue() const { return FParamValue; }
  QString GetBodyText() const override;
  bool MatchesField(TUserSession* ASession, TEntity* AEntity, TBaseField* AField,
                    const TQueryBindings* ABindings) const override;
  bool MatchesEntity(TEntity* AEntity, const TQueryBindings* ABindings) const override;

 private:
  const Variant& BoundValue(const TQueryBindings* ABindings) const;

  TConditionModifier FModifier;
  TConditionKind FCondition;
  QString FParamName;
  const TQueryParameter* FParamValue;  // not owned
};

// An and-group or an or-group of criteria in text order.
class TComplexCriteria : public TBaseCriteria {
 public:
  explicit TComplexCriteria(bool AIsAnd) : FIsAnd(AIsAnd) {}
  // Frees the members without recursion: a deep tree must not exhaust the stack.
  ~TComplexCriteria() override;
  bool IsAnd() const { return FIsAnd; }
  const std::vector<std::unique_ptr<TBaseCriteria>>& Criterias() const { return FCriterias; }
  void AddCriteria(std::unique_ptr<TBaseCriteria> ACriteria) { FCriterias.push_back(std::move(ACriteria)); }
  // Built without recursion, like the destructor.
  QString GetBodyText() const override;
  // De Morgan: a negated group swaps and/or and negates every member, in one
  // walk over the group.
  void Negate(bool AValue) override;
  bool Matches(TUserSession* ASession, TEntity* AEntity, const TQueryBindings* ABindings) const override;

  // Resolves every negation mark below ARoot (ARoot included) in one walk.
  static void PushDownNegations(TBaseCriteria* ARoot);

 private:
  bool FIsAnd;
  std::vector<std::unique_ptr<TBaseCriteria>> FCriterias;
};

// The value of a parameter by its name, asked for every parameter by Select.
using TGetParameterFunc = std::function<Variant(const QString& AParamName)>;

// A selection of records written in the query language: the collections it
// scans, the where-clause and the sort order. Compiled once and then never
// changed by an evaluation: a compiled query may be shared (the queries of a
// configuration serve every domain of it) and holds no record of any domain.
// The parameter values of one evaluation are a TQueryBindings made by the
// caller for that evaluation.
class TQueryObject {
 public:
  // Any clause may be empty; a query without from-clause serves IsMatch only.
  // A malformed where-clause raises an assertion failure, and so does one
  // nested deeper than cMaxDepth groups.
  TQueryObject(const QString& AFromClause, const QString& AWhereClause, const QString& AOrderClause);
  ~TQueryObject();
  TQueryObject(const TQueryObject&) = delete;
  TQueryObject& operator=(const TQueryObject&) = delete;

  // The deepest nesting of groups a where-clause may have, as for JSON.
  static constexpr int cMaxDepth = 512;

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
  const TQueryParameter* ParameterByName(const QString& AName) const;

  // Without bindings every parameter is Null. Bindings made for another
  // query are an assertion failure.
  bool IsMatch(TUserSession* ASession, TEntity* AEntity) const;
  bool IsMatch(TUserSession* ASession, TEntity* AEntity, const TQueryBindings& ABindings) const;
  // The matching records of the from-collections, in collection order and,
  // within a collection, sorted by the sort fields. The list is the caller's
  // own. Values a parameter function gives replace the bindings' values for
  // this call only.
  std::vector<TEntity*> Select(TUserSession* ASession, const TQueryBindings& ABindings,
                               const TGetParameterFunc& AGetParameterFunc = nullptr) const;
  std::vector<TEntity*> Select(TUserSession* ASession, const TGetParameterFunc& AGetParameterFunc = nullptr) const;
  // Puts sort fields (";"-separated) in front of the existing ones. For a
  // query its creator owns: part of the compiled query, not of an evaluation.
  void SetSorting(const QString& ASortFields);
  // The readable form of the where-clause.
  QString PrintText() const;

 private:
  friend class TQueryParser;
  const TQueryParameter* FindOrAddParameter(const QString& AName);
  std::vector<TEntity*> DoSelect(TUserSession* ASession, const TQueryBindings& ABindings) const;

  QStringList FCollectionNames;
  QStringList FSortFields;
  bool FHasSortFields = false;
  std::vector<std::unique_ptr<TQueryParameter>> FParameters;
  QString FQueryString;
  std::unique_ptr<TBaseCriteria> FRootCriteria;
};

// The parameter values of one evaluation of a compiled query: made per call
// (or kept by an owner that compiled the query for itself, beside it) and
// passed to IsMatch and Select. The query must outlive its bindings. Values
// may refer to records of one domain: bindings never outlive the call or the
// owner they were made for.
class TQueryBindings {
 public:
  // Every parameter Null.
  explicit TQueryBindings(const TQueryObject& AQuery);
  const TQueryObject& Query() const { return *FQuery; }

  // Binds every parameter: "*" the instance, "@" the NullEntity, "$" the
  // session's user, any other name the instance's field of that path (Null
  // when there is no instance or no such field).
  void SetParameters(TUserSession* ASession, TEntity* AInstance);
  // A name the where-clause does not name is kept aside: no criterion reads it.
  void SetParameter(const QString& AKey, const Variant& AValue);
  // Null when unbound or unknown; names without regard to case.
  const Variant& Value(const QString& AName) const;
  const Variant& ValueAt(int AIndex) const;
  void SetValueAt(int AIndex, const Variant& AValue);

 private:
  const TQueryObject* FQuery;    // not owned
  std::vector<Variant> FValues;  // by parameter index
  std::vector<std::pair<QString, Variant>> FOthers;
};

// A query an owner compiles for itself, with the values it was bound to.
struct TBoundQuery {
  // Compiles AWhereClause and binds it from the session and the instance.
  TBoundQuery(const QString& AWhereClause, TUserSession* ASession, TEntity* AInstance);
  const QString& QueryString() const { return Query->QueryString(); }
  bool IsMatch(TUserSession* ASession, TEntity* AEntity) const { return Query->IsMatch(ASession, AEntity, Bindings); }

  std::unique_ptr<TQueryObject> Query;
  TQueryBindings Bindings;  // after Query: it goes first
};
