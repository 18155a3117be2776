#include "src/Platform/Configuration/uQueryObject.h"

#include <QLocale>
#include <algorithm>

#include "src/Platform/Domain/Fields/uBaseField.h"
#include "src/Platform/Domain/uCollection.h"
#include "src/Platform/Domain/uDomain.h"
#include "src/Platform/Domain/uDomainUtils.h"
#include "src/Platform/Domain/uEntity.h"
#include "src/Platform/Domain/uSession.h"
#include "src/Platform/uException.h"
#include "src/Platform/uFormat.h"
#include "src/Platform/uJSON.h"
#include "src/Platform/uLogger.h"
#include "src/Platform/uNameList.h"

static constexpr const char* cModulePath = "src/Platform/Configuration/uQueryObject";

namespace {

bool IsVariableChar(QChar ACh) {
  const char16_t c = ACh.unicode();
  return c == u'$' || c == u'*' || c == u'.' || c == u':' || (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z') ||
         (c >= u'a' && c <= u'z');
}

bool IsParamNameChar(QChar ACh) {
  return ACh != QLatin1Char('$') && ACh != QLatin1Char('*') && IsVariableChar(ACh);
}

bool IsDigit(QChar ACh) {
  return ACh.unicode() >= u'0' && ACh.unicode() <= u'9';
}

TConditionModifier ModifierByChar(QChar ACh) {
  switch (ACh.unicode()) {
    case u'@':
      return cmIgnoreCase;
    case u'#':
      return cmIgnoreSpace;
    case u'%':
      return cmIgnoreLanguage;
    default:
      return cmNone;
  }
}

bool IsOperatorChar(QChar ACh) {
  return QStringLiteral("+<=>^{}").contains(ACh);
}

// The field at a dotted path of the record, or none when the record lacks a
// field on the way or a reference on the way is empty.
TBaseField* ResolveFieldPath(TEntity* AEntity, const QString& APath) {
  if (!AEntity || AEntity->IsNull() || APath.isEmpty()) return nullptr;
  const qsizetype dot = APath.indexOf(QLatin1Char('.'));
  if (dot < 0) return AEntity->FindField(APath);
  TBaseField* head = AEntity->FindField(APath.left(dot));
  if (!head) return nullptr;
  // A step that is no reference is the entity's own error.
  if (head->FieldKind() != fkObject) return AEntity->ExtractFieldFromPath(APath);
  return ResolveFieldPath(AEntity->ExtractEntity(head->FieldName()), APath.mid(dot + 1));
}

TEntity* EntityOfVariant(const Variant& AValue) {
  if (!AValue.IsObject()) return nullptr;
  return dynamic_cast<TEntity*>(AValue.RawObject());
}

const Variant& NullVariant() {
  static const Variant null = Variant::Null();
  return null;
}

}  // namespace

QString ConditionKindText(TConditionKind AKind) {
  static const char16_t cChars[] = u" =^><}{+";
  if (AKind == ckUndefined || AKind > ckCrosses) return QString();
  return QString(QChar(cChars[AKind]));
}

QString ConditionModifierText(TConditionModifier AModifier) {
  switch (AModifier) {
    case cmIgnoreCase:
      return QStringLiteral("@");
    case cmIgnoreSpace:
      return QStringLiteral("#");
    case cmIgnoreLanguage:
      return QStringLiteral("%");
    default:
      return QString();
  }
}

QString ApplyConditionModifier(const QString& AText, TConditionModifier AModifier) {
  switch (AModifier) {
    case cmIgnoreCase:
      return QLocale().toUpper(AText);
    case cmIgnoreSpace:
      return AText.trimmed();
    default:
      return AText;
  }
}

// --- criteria ---

void TBaseCriteria::Negate(bool AValue) {
  FIsNot = FIsNot != AValue;
}

QString TBaseCriteria::Text() const {
  return FIsNot ? QStringLiteral("not ") + GetBodyText() : GetBodyText();
}

TSimpleCriteria::TSimpleCriteria(const QString& AVariable) : FVariable(AVariable) {
  if (FVariable == QLatin1String("*"))
    FVariableKind = vkRecord;
  else if (FVariable == QLatin1String("$"))
    FVariableKind = vkBareSession;
  else if (FVariable.startsWith(QLatin1Char('$')))
    FVariableKind = vkSession;
  else
    FVariableKind = vkField;
}

bool TSimpleCriteria::Matches(TUserSession* ASession, TEntity* AEntity, const TQueryBindings* ABindings) const {
  bool result;
  switch (FVariableKind) {
    case vkRecord:
      result = MatchesEntity(AEntity, ABindings);
      break;
    case vkBareSession:
      TV_FAIL(QStringLiteral("Such a query can't be handled"));
    case vkSession:
      result = MatchesField(ASession, AEntity, nullptr, ABindings);
      break;
    default: {
      TBaseField* field = ResolveFieldPath(AEntity, FVariable);
      // A record without the field never matches, negated or not.
      if (!field) return false;
      result = MatchesField(ASession, AEntity, field, ABindings);
      break;
    }
  }
  return result != FIsNot;
}

bool TSimpleCriteria::MatchesEntity(TEntity* AEntity, const TQueryBindings* ABindings) const {
  (void)AEntity;
  (void)ABindings;
  TV_FAIL(QStringLiteral("Wrong field type for comparision"));
}

QString TBoolCriteria::GetBodyText() const {
  return FVariable;
}

bool TBoolCriteria::MatchesField(TUserSession* ASession, TEntity* AEntity, TBaseField* AField,
                                 const TQueryBindings* ABindings) const {
  (void)ABindings;
  (void)AEntity;
  if (AField) return AField->CheckValuedCondition(Variant(true), ckEqualTo, cmNone);
  if (FVariable == QLatin1String("$IsAdmin$")) return ASession && ASession->IsAdmin();
  TV_FAIL(QStringLiteral("Such a query can't be handled"));
}

TStringCriteria::TStringCriteria(const QString& AVariable, TConditionModifier AModifier, TConditionKind ACondition,
                                 const QString& AValue)
    : TSimpleCriteria(AVariable),
      FModifier(AModifier),
      FCondition(ACondition),
      FValue(ApplyConditionModifier(AValue, AModifier)) {}

QString TStringCriteria::GetBodyText() const {
  return FVariable + ConditionModifierText(FModifier) + QLatin1Char(' ') + ConditionKindText(FCondition) +
         QStringLiteral(" \"") + FValue + QLatin1Char('"');
}

bool TStringCriteria::MatchesField(TUserSession* ASession, TEntity* AEntity, TBaseField* AField,
                                   const TQueryBindings* ABindings) const {
  (void)ABindings;
  (void)ASession;
  (void)AEntity;
  if (!AField) TV_FAIL(QStringLiteral("Such a query can't be handled"));
  return AField->CheckValuedCondition(Variant(FValue), FCondition, FModifier);
}

QString TIntegerCriteria::GetBodyText() const {
  return FVariable + QLatin1Char(' ') + ConditionKindText(FCondition) + QLatin1Char(' ') + QString::number(FValue);
}

bool TIntegerCriteria::MatchesField(TUserSession* ASession, TEntity* AEntity, TBaseField* AField,
                                    const TQueryBindings* ABindings) const {
  (void)ABindings;
  (void)ASession;
  (void)AEntity;
  if (!AField) TV_FAIL(QStringLiteral("Such a query can't be handled"));
  return AField->CheckValuedCondition(Variant(FValue), FCondition, cmNone);
}

QString TFloatCriteria::GetBodyText() const {
  return FVariable + QLatin1Char(' ') + ConditionKindText(FCondition) + QLatin1Char(' ') + FloatToStr(FValue);
}

bool TFloatCriteria::MatchesField(TUserSession* ASession, TEntity* AEntity, TBaseField* AField,
                                  const TQueryBindings* ABindings) const {
  (void)ABindings;
  (void)ASession;
  (void)AEntity;
  if (!AField) TV_FAIL(QStringLiteral("Such a query can't be handled"));
  return AField->CheckValuedCondition(Variant(FValue), FCondition, cmNone);
}

TParamCriteria::TParamCriteria(const QString& AVariable, TConditionModifier AModifier, TConditionKind ACondition,
                               const TQueryParameter* AParam)
    : TSimpleCriteria(AVariable),
      FModifier(AModifier),
      FCondition(ACondition),
      FParamName(AParam->Name()),
      FParamValue(AParam) {}

QString TParamCriteria::GetBodyText() const {
  const QString modifier = ConditionModifierText(FModifier);
  return FVariable + modifier + QLatin1Char(' ') + ConditionKindText(FCondition) + QLatin1Char(' ') + FParamName +
         modifier;
}

const Variant& TParamCriteria::BoundValue(const TQueryBindings* ABindings) const {
  return ABindings ? ABindings->ValueAt(FParamValue->Index()) : NullVariant();
}

bool TParamCriteria::MatchesField(TUserSession* ASession, TEntity* AEntity, TBaseField* AField,
                                  const TQueryBindings* ABindings) const {
  (void)ASession;
  if (!AField) TV_FAIL(QStringLiteral("Such a query can't be handled"));
  const Variant& value = BoundValue(ABindings);
  if (value.IsNull() && FParamValue->FieldKind() == fkNotDefined) {
    // No value: the name is a field of the same record.
    TBaseField* other = ResolveFieldPath(AEntity, FParamName);
    if (!other || other->FieldKind() < fkString || other->FieldKind() > fkObject) return false;
    return AField->CheckValuedCondition(other->Value(), FCondition, FModifier);
  }
  return AField->CheckValuedCondition(value, FCondition, FModifier);
}

bool TParamCriteria::MatchesEntity(TEntity* AEntity, const TQueryBindings* ABindings) const {
  const Variant& value = BoundValue(ABindings);
  if (FParamName == QLatin1String("*")) {
    TV_ASSERT(FCondition == ckEqualTo, QStringLiteral("Invalid comparision"));
    TEntity* held = EntityOfVariant(value);
    return AEntity == (held ? held : NullEntity());
  }
  TV_ASSERT(!value.IsNull(), QStringLiteral("Entity can be compared to fields only!"));
  TObject* object = value.IsObject() ? value.RawObject() : nullptr;
  if (auto* field = dynamic_cast<TBaseField*>(object)) {
    if (field->FieldKind() == fkObject && FCondition == ckEqualTo)
      return field->CheckValuedCondition(Variant(AEntity), ckEqualTo, cmNone);
    if (field->FieldKind() == fkList && FCondition == ckPartOf)
      return field->CheckValuedCondition(Variant(AEntity), ckContains, cmNone);
  } else if (auto* entity = dynamic_cast<TEntity*>(object)) {
    // What SetParameters binds for an object field of the instance.
    if (FCondition == ckEqualTo) return AEntity == entity;
  }
  TV_FAIL(QStringLiteral("Wrong behaviour.."));
}

TComplexCriteria::~TComplexCriteria() {
  std::vector<std::unique_ptr<TBaseCriteria>> pending = std::move(FCriterias);
  while (!pending.empty()) {
    std::unique_ptr<TBaseCriteria> item = std::move(pending.back());
    pending.pop_back();
    if (auto* group = dynamic_cast<TComplexCriteria*>(item.get())) {
      for (auto& member : group->FCriterias) pending.push_back(std::move(member));
      group->FCriterias.clear();
    }
  }
}

QString TComplexCriteria::GetBodyText() const {
  // Written into one text in a single walk: a deep tree costs its size, not
  // its size times its depth, and no stack.
  struct TFrame {
    const TComplexCriteria* Group;
    size_t Next;
  };
  QString text(QLatin1Char('('));
  std::vector<TFrame> stack{{this, 0}};
  while (!stack.empty()) {
    TFrame& top = stack.back();
    const auto& members = top.Group->FCriterias;
    if (top.Next == members.size()) {
      text += QLatin1Char(')');
      stack.pop_back();
      continue;
    }
    if (top.Next > 0) text += top.Group->FIsAnd ? QStringLiteral(" and ") : QStringLiteral(" or ");
    const TBaseCriteria* member = members[top.Next++].get();
    if (auto* group = dynamic_cast<const TComplexCriteria*>(member)) {
      if (group->FIsNot) text += QStringLiteral("not ");
      text += QLatin1Char('(');
      stack.push_back({group, 0});  // top is not used after this
    } else {
      text += member->Text();
    }
  }
  return text;
}

void TComplexCriteria::Negate(bool AValue) {
  TBaseCriteria::Negate(AValue);
  if (FIsNot) PushDownNegations(this);
}

void TComplexCriteria::PushDownNegations(TBaseCriteria* ARoot) {
  // A node is negated by its own mark xor the negations of the groups above
  // it; a negated group swaps and/or and hands the negation to its members.
  std::vector<std::pair<TBaseCriteria*, bool>> pending{{ARoot, false}};
  while (!pending.empty()) {
    auto [node, inherited] = pending.back();
    pending.pop_back();
    auto* group = dynamic_cast<TComplexCriteria*>(node);
    if (!group) {
      if (inherited) node->FIsNot = !node->FIsNot;
      continue;
    }
    const bool negated = group->FIsNot != inherited;
    group->FIsNot = false;
    if (negated) group->FIsAnd = !group->FIsAnd;
    for (const auto& member : group->FCriterias) pending.push_back({member.get(), negated});
  }
}

bool TComplexCriteria::Matches(TUserSession* ASession, TEntity* AEntity, const TQueryBindings* ABindings) const {
  for (const auto& criteria : FCriterias) {
    const bool matches = criteria->Matches(ASession, AEntity, ABindings);
    if (FIsAnd && !matches) return false;
    if (!FIsAnd && matches) return true;
  }
  return FIsAnd || FCriterias.empty();
}

// --- parser ---

// Walks a where-clause with one position. Every read is bounded by the text's
// length: a clause cut short is an error or the end of a group, never a read
// past its end.
class TQueryParser {
 public:
  TQueryParser(TQueryObject* AQuery, const QString& AText) : FQuery(AQuery), FText(AText) {}

  std::unique_ptr<TBaseCriteria> ParseCriteria() {
    bool negated = false;
    if (At(u'!')) {
      negated = true;
      ++FPos;
    }
    if (At(u'&') || At(u'|')) return ParseGroup(negated);
    return ParseSimple(negated);
  }

 private:
  bool At(char16_t ACh) const { return FPos < FText.size() && FText.at(FPos).unicode() == ACh; }

  std::unique_ptr<TBaseCriteria> ParseGroup(bool ANegated) {
    // Parsing recurses once per level; so do evaluation and the callers'
    // walks over a tree.
    TV_ASSERT(++FDepth <= TQueryObject::cMaxDepth,
              QStringLiteral("Query is nested deeper than %1 levels").arg(TQueryObject::cMaxDepth));
    const QChar op = FText.at(FPos);
    TV_ASSERT(FPos + 1 < FText.size() && FText.at(FPos + 1) == QLatin1Char('('),
              QStringLiteral("Group operator \"") + op + QStringLiteral("\" must be followed by \"(\". Query: [") +
                  FText + QLatin1Char(']'));
    FPos += 2;
    auto group = std::make_unique<TComplexCriteria>(op == QLatin1Char('&'));
    while (FPos < FText.size()) {
      if (At(u')')) {
        ++FPos;
        break;
      }
      if (At(u',')) ++FPos;
      group->AddCriteria(ParseCriteria());
    }
    --FDepth;
    // Pushed down once for the whole tree when parsing ends.
    if (ANegated) group->MarkNegated();
    return group;
  }

  std::unique_ptr<TBaseCriteria> ParseSimple(bool ANegated) {
    const qsizetype start = FPos;
    while (FPos < FText.size() && FText.at(FPos) != QLatin1Char(',') && FText.at(FPos) != QLatin1Char(')')) ++FPos;
    const QString text = FText.mid(start, FPos - start).trimmed();

    qsizetype i = 0;
    while (i < text.size() && IsVariableChar(text.at(i))) ++i;
    QString variable = text.left(i);
    if (variable.startsWith(QLatin1Char('*'))) variable = QStringLiteral("*");

    TConditionModifier modifier = cmNone;
    if (i < text.size() && ModifierByChar(text.at(i)) != cmNone) modifier = ModifierByChar(text.at(i++));
    if (i < text.size() && text.at(i) == QLatin1Char('!')) {
      ANegated = !ANegated;
      ++i;
    }
    QString op;
    if (i < text.size() && IsOperatorChar(text.at(i))) op = text.at(i++);
    const QString value = text.mid(i);

    std::unique_ptr<TSimpleCriteria> criteria;
    if (value.isEmpty()) {
      criteria = std::make_unique<TBoolCriteria>(variable);
    } else {
      const TConditionKind condition = ConditionKindByOperator(op);
      if (value.at(0) == QLatin1Char('"')) {
        const qsizetype close = value.indexOf(QLatin1Char('"'), 1);
        const QString string = close < 0 ? value.mid(1) : value.mid(1, close - 1);
        criteria = std::make_unique<TStringCriteria>(variable, modifier, condition, string);
      } else if (IsDigit(value.at(0))) {
        criteria = ParseNumber(variable, condition, value);
      } else {
        qsizetype n = 0;
        if (value.at(0) == QLatin1Char('$') || value.at(0) == QLatin1Char('*') || value.at(0) == QLatin1Char('@'))
          n = 1;
        else
          while (n < value.size() && IsParamNameChar(value.at(n))) ++n;
        const TQueryParameter* param = FQuery->FindOrAddParameter(value.left(n));
        criteria = std::make_unique<TParamCriteria>(variable, modifier, condition, param);
      }
    }
    if (ANegated) criteria->Negate(true);
    return criteria;
  }

  std::unique_ptr<TSimpleCriteria> ParseNumber(const QString& AVariable, TConditionKind ACondition,
                                               const QString& AValue) {
    qsizetype n = 0;
    bool isFloat = false;
    while (n < AValue.size()) {
      const QChar ch = AValue.at(n);
      if (ch == QLatin1Char('.')) {
        if (isFloat) break;
        isFloat = true;
      } else if (!IsDigit(ch)) {
        break;
      }
      ++n;
    }
    const QString number = AValue.left(n);
    bool ok = false;
    if (isFloat) {
      // The point is the decimal separator whatever the locale.
      const double value =
          QLocale::c().toDouble(number.endsWith(QLatin1Char('.')) ? number + QLatin1Char('0') : number, &ok);
      TV_ASSERT(ok, QStringLiteral("Wrong number [") + number + QLatin1Char(']'));
      return std::make_unique<TFloatCriteria>(AVariable, ACondition, value);
    }
    const int32_t value = QLocale::c().toInt(number, &ok);
    TV_ASSERT(ok, QStringLiteral("Wrong number [") + number + QLatin1Char(']'));
    return std::make_unique<TIntegerCriteria>(AVariable, ACondition, value);
  }

  TQueryObject* FQuery;
  const QString& FText;
  qsizetype FPos = 0;
  int FDepth = 0;
};

// --- TQueryObject ---

TQueryObject::TQueryObject(const QString& AFromClause, const QString& AWhereClause, const QString& AOrderClause)
    : FQueryString(AWhereClause) {
  if (!AWhereClause.isEmpty()) {
    FRootCriteria = TQueryParser(this, AWhereClause).ParseCriteria();
    TComplexCriteria::PushDownNegations(FRootCriteria.get());
  }
  FCollectionNames = SplitNameList(AFromClause);
  if (!AOrderClause.isEmpty()) {
    FSortFields = SplitNameList(AOrderClause);
    FHasSortFields = true;
  }
}

TQueryObject::~TQueryObject() = default;

const TQueryParameter* TQueryObject::ParameterByName(const QString& AName) const {
  for (const auto& param : FParameters)
    if (param->Name().compare(AName, Qt::CaseInsensitive) == 0) return param.get();
  return nullptr;
}

const TQueryParameter* TQueryObject::FindOrAddParameter(const QString& AName) {
  if (const TQueryParameter* param = ParameterByName(AName)) return param;
  FParameters.push_back(std::make_unique<TQueryParameter>(AName, static_cast<int>(FParameters.size())));
  return FParameters.back().get();
}

bool TQueryObject::IsMatch(TUserSession* ASession, TEntity* AEntity) const {
  return !FRootCriteria || FRootCriteria->Matches(ASession, AEntity, nullptr);
}

bool TQueryObject::IsMatch(TUserSession* ASession, TEntity* AEntity, const TQueryBindings& ABindings) const {
  TV_ASSERT(&ABindings.Query() == this, QStringLiteral("Query bindings belong to another query"));
  return !FRootCriteria || FRootCriteria->Matches(ASession, AEntity, &ABindings);
}

// --- TQueryBindings ---

TQueryBindings::TQueryBindings(const TQueryObject& AQuery)
    : FQuery(&AQuery), FValues(AQuery.Parameters().size(), Variant::Null()) {}

void TQueryBindings::SetParameters(TUserSession* ASession, TEntity* AInstance) {
  FOthers.clear();
  const auto& parameters = FQuery->Parameters();
  for (size_t i = 0; i < parameters.size(); ++i) {
    Variant& value = FValues[i];
    value = Variant::Null();
    const QString& name = parameters[i]->Name();
    if (name == QLatin1String("*")) {
      value = Variant(static_cast<TObject*>(AInstance));
    } else if (name == QLatin1String("@")) {
      value = Variant(static_cast<TObject*>(NullEntity()));
    } else if (name == QLatin1String("$")) {
      TEntity* user = ASession ? ASession->CurrentUser() : nullptr;
      value = Variant(static_cast<TObject*>(user ? user : NullEntity()));
    } else if (AInstance) {
      if (TBaseField* field = ResolveFieldPath(AInstance, name)) value = field->Value();
    }
  }
}

void TQueryBindings::SetParameter(const QString& AKey, const Variant& AValue) {
  if (const TQueryParameter* param = FQuery->ParameterByName(AKey)) {
    FValues[static_cast<size_t>(param->Index())] = AValue;
    return;
  }
  for (auto& [name, value] : FOthers)
    if (name.compare(AKey, Qt::CaseInsensitive) == 0) {
      value = AValue;
      return;
    }
  FOthers.emplace_back(AKey, AValue);
}

const Variant& TQueryBindings::Value(const QString& AName) const {
  if (const TQueryParameter* param = FQuery->ParameterByName(AName)) return ValueAt(param->Index());
  for (const auto& [name, value] : FOthers)
    if (name.compare(AName, Qt::CaseInsensitive) == 0) return value;
  return NullVariant();
}

const Variant& TQueryBindings::ValueAt(int AIndex) const {
  if (AIndex < 0 || static_cast<size_t>(AIndex) >= FValues.size()) return NullVariant();
  return FValues[static_cast<size_t>(AIndex)];
}

void TQueryBindings::SetValueAt(int AIndex, const Variant& AValue) {
  TV_ASSERT(AIndex >= 0 && static_cast<size_t>(AIndex) < FValues.size(),
            QStringLiteral("Query parameter index %1 out of range").arg(AIndex));
  FValues[static_cast<size_t>(AIndex)] = AValue;
}

TBoundQuery::TBoundQuery(const QString& AWhereClause, TUserSession* ASession, TEntity* AInstance)
    : Query(std::make_unique<TQueryObject>(QString(), AWhereClause, QString())), Bindings(*Query) {
  Bindings.SetParameters(ASession, AInstance);
}

namespace {

// The sort fields of one record, resolved once.
struct TSortRow {
  TEntity* Entity;
  std::vector<TBaseField*> Fields;  // none where the path does not resolve
};

// A field that does not resolve sorts after every resolved one; two such are
// equal on that field, so the order stays deterministic.
int CompareSortRows(const TSortRow& A, const TSortRow& B) {
  for (size_t i = 0; i < A.Fields.size(); ++i) {
    TBaseField* a = A.Fields[i];
    TBaseField* b = B.Fields[i];
    if (!a || !b) {
      if (a == b) continue;
      return a ? -1 : 1;
    }
    const int result = a->Compare(b->Value());
    if (result != 0) return result;
  }
  return 0;
}

}  // namespace

std::vector<TEntity*> TQueryObject::Select(TUserSession* ASession, const TGetParameterFunc& AGetParameterFunc) const {
  return Select(ASession, TQueryBindings(*this), AGetParameterFunc);
}

std::vector<TEntity*> TQueryObject::Select(TUserSession* ASession, const TQueryBindings& ABindings,
                                           const TGetParameterFunc& AGetParameterFunc) const {
  TV_ASSERT(&ABindings.Query() == this, QStringLiteral("Query bindings belong to another query"));
  if (!AGetParameterFunc) return DoSelect(ASession, ABindings);
  TQueryBindings bindings(ABindings);
  for (const auto& param : FParameters) bindings.SetValueAt(param->Index(), AGetParameterFunc(param->Name()));
  return DoSelect(ASession, bindings);
}

std::vector<TEntity*> TQueryObject::DoSelect(TUserSession* ASession, const TQueryBindings& ABindings) const {
  TDomain* domain = ASession ? ASession->Domain() : nullptr;
  for (const auto& param : FParameters) {
    if (param->Name().isEmpty() && ABindings.ValueAt(param->Index()).IsNull()) {
      if (domain)
        domain->Log(
            QStringLiteral("Error: Parameter [%1] is not assigned. Query: [%2]").arg(param->Name(), FQueryString));
      return {};
    }
  }

  std::vector<TEntity*> results;
  if (domain) {
    for (const QString& collectionName : FCollectionNames) {
      TCollection* collection = domain->CollectionByName(collectionName);
      if (!collection) continue;
      const size_t first = results.size();
      const int count = collection->Count();
      for (int i = 0; i < count; ++i) {
        TEntity* entity = collection->GetEntity(i);
        if (IsMatch(ASession, entity, ABindings)) results.push_back(entity);
      }
      if (FSortFields.isEmpty() || results.size() - first < 2) continue;
      std::vector<TSortRow> rows;
      rows.reserve(results.size() - first);
      for (size_t i = first; i < results.size(); ++i) {
        TSortRow row{results[i], {}};
        row.Fields.reserve(static_cast<size_t>(FSortFields.size()));
        for (const QString& path : FSortFields) row.Fields.push_back(ResolveFieldPath(results[i], path));
        rows.push_back(std::move(row));
      }
      // Stable: records equal on every field keep their order of arrival.
      std::stable_sort(rows.begin(), rows.end(),
                       [](const TSortRow& A, const TSortRow& B) { return CompareSortRows(A, B) < 0; });
      for (size_t i = 0; i < rows.size(); ++i) results[first + i] = rows[i].Entity;
    }
  }
  return results;
}

void TQueryObject::SetSorting(const QString& ASortFields) {
  if (ASortFields.isEmpty()) return;
  const QStringList fields = SplitNameList(ASortFields);
  if (!FHasSortFields) {
    FSortFields = fields;
    FHasSortFields = true;
    return;
  }
  QStringList sortFields = fields;
  for (const QString& old : FSortFields)
    if (!fields.contains(old, Qt::CaseInsensitive)) sortFields << old;
  FSortFields = sortFields;
}

QString TQueryObject::PrintText() const {
  return FRootCriteria ? FRootCriteria->Text() : QString();
}
