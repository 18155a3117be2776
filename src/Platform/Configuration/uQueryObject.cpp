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

bool TSimpleCriteria::Matches(TUserSession* ASession, TEntity* AEntity) const {
  bool result;
  switch (FVariableKind) {
    case vkRecord:
      result = MatchesEntity(AEntity);
      break;
    case vkBareSession:
      TV_FAIL(QStringLiteral("Such a query can't be handled"));
    case vkSession:
      result = MatchesField(ASession, AEntity, nullptr);
      break;
    default: {
      TBaseField* field = ResolveFieldPath(AEntity, FVariable);
      // A record without the field never matches, negated or not.
      if (!field) return false;
      result = MatchesField(ASession, AEntity, field);
      break;
    }
  }
  return result != FIsNot;
}

bool TSimpleCriteria::MatchesEntity(TEntity* AEntity) const {
  (void)AEntity;
  TV_FAIL(QStringLiteral("Wrong field type for comparision"));
}

QString TBoolCriteria::GetBodyText() const {
  return FVariable;
}

bool TBoolCriteria::MatchesField(TUserSession* ASession, TEntity* AEntity, TBaseField* AField) const {
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

bool TStringCriteria::MatchesField(TUserSession* ASession, TEntity* AEntity, TBaseField* AField) const {
  (void)ASession;
  (void)AEntity;
  if (!AField) TV_FAIL(QStringLiteral("Such a query can't be handled"));
  return AField->CheckValuedCondition(Variant(FValue), FCondition, FModifier);
}

QString TIntegerCriteria::GetBodyText() const {
  return FVariable + QLatin1Char(' ') + ConditionKindText(FCondition) + QLatin1Char(' ') + QString::number(FValue);
}

bool TIntegerCriteria::MatchesField(TUserSession* ASession, TEntity* AEntity, TBaseField* AField) const {
  (void)ASession;
  (void)AEntity;
  if (!AField) TV_FAIL(QStringLiteral("Such a query can't be handled"));
  return AField->CheckValuedCondition(Variant(FValue), FCondition, cmNone);
}

QString TFloatCriteria::GetBodyText() const {
  return FVariable + QLatin1Char(' ') + ConditionKindText(FCondition) + QLatin1Char(' ') + FloatToStr(FValue);
}

bool TFloatCriteria::MatchesField(TUserSession* ASession, TEntity* AEntity, TBaseField* AField) const {
  (void)ASession;
  (void)AEntity;
  if (!AField) TV_FAIL(QStringLiteral("Such a query can't be handled"));
  return AField->CheckValuedCondition(Variant(FValue), FCondition, cmNone);
}

TParamCriteria::TParamCriteria(const QString& AVariable, TConditionModifier AModifier, TConditionKind ACondition,
                               TQueryParameter* AParam)
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

bool TParamCriteria::MatchesField(TUserSession* ASession, TEntity* AEntity, TBaseField* AField) const {
  (void)ASession;
  if (!AField) TV_FAIL(QStringLiteral("Such a query can't be handled"));
  const Variant& value = FParamValue->Value();
  if (value.IsNull() && FParamValue->FieldKind() == fkNotDefined) {
    // No value: the name is a field of the same record.
    TBaseField* other = ResolveFieldPath(AEntity, FParamName);
    if (!other || other->FieldKind() < fkString || other->FieldKind() > fkObject) return false;
    return AField->CheckValuedCondition(other->Value(), FCondition, FModifier);
  }
  return AField->CheckValuedCondition(value, FCondition, FModifier);
}

bool TParamCriteria::MatchesEntity(TEntity* AEntity) const {
  const Variant& value = FParamValue->Value();
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

QString TComplexCriteria::GetBodyText() const {
  QStringList parts;
  for (const auto& criteria : FCriterias) parts << criteria->Text();
  return QLatin1Char('(') + parts.join(FIsAnd ? QStringLiteral(" and ") : QStringLiteral(" or ")) + QLatin1Char(')');
}

void TComplexCriteria::Negate(bool AValue) {
  TBaseCriteria::Negate(AValue);
  if (!FIsNot) return;
  FIsNot = false;
  FIsAnd = !FIsAnd;
  for (auto& criteria : FCriterias) criteria->Negate(true);
}

bool TComplexCriteria::Matches(TUserSession* ASession, TEntity* AEntity) const {
  for (const auto& criteria : FCriterias) {
    const bool matches = criteria->Matches(ASession, AEntity);
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
    if (ANegated) group->Negate(true);
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
        TQueryParameter* param = FQuery->FindOrAddParameter(value.left(n));
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
};

// --- TQueryObject ---

TQueryObject::TQueryObject(const QString& AFromClause, const QString& AWhereClause, const QString& AOrderClause)
    : FQueryString(AWhereClause) {
  if (!AWhereClause.isEmpty()) FRootCriteria = TQueryParser(this, AWhereClause).ParseCriteria();
  FCollectionNames = SplitNameList(AFromClause);
  if (!AOrderClause.isEmpty()) {
    FSortFields = SplitNameList(AOrderClause);
    FHasSortFields = true;
  }
}

TQueryObject::~TQueryObject() = default;

TQueryParameter* TQueryObject::ParameterByName(const QString& AName) const {
  for (const auto& param : FParameters)
    if (param->Name().compare(AName, Qt::CaseInsensitive) == 0) return param.get();
  return nullptr;
}

TQueryParameter* TQueryObject::FindOrAddParameter(const QString& AName) {
  if (TQueryParameter* param = ParameterByName(AName)) return param;
  FParameters.push_back(std::make_unique<TQueryParameter>(AName));
  return FParameters.back().get();
}

bool TQueryObject::IsMatch(TUserSession* ASession, TEntity* AEntity) const {
  return !FRootCriteria || FRootCriteria->Matches(ASession, AEntity);
}

void TQueryObject::SetParameter(const QString& AKey, const Variant& AValue) {
  FindOrAddParameter(AKey)->SetValue(AValue);
}

void TQueryObject::SetParameters(TUserSession* ASession, TEntity* AInstance) {
  for (const auto& param : FParameters) {
    param->SetValue(Variant::Null());
    const QString& name = param->Name();
    if (name == QLatin1String("*")) {
      param->SetValue(Variant(static_cast<TObject*>(AInstance)));
    } else if (name == QLatin1String("@")) {
      param->SetValue(Variant(static_cast<TObject*>(NullEntity())));
    } else if (name == QLatin1String("$")) {
      TEntity* user = ASession ? ASession->CurrentUser() : nullptr;
      param->SetValue(Variant(static_cast<TObject*>(user ? user : NullEntity())));
    } else if (AInstance) {
      if (TBaseField* field = ResolveFieldPath(AInstance, name)) param->SetValue(field->Value());
    }
  }
}

namespace {

// Restores the parameter values a parameter function set, so that they hold
// for one Select only, also when it raises.
class TParameterValuesGuard {
 public:
  explicit TParameterValuesGuard(const std::vector<std::unique_ptr<TQueryParameter>>& AParameters)
      : FParameters(AParameters) {
    FSaved.reserve(AParameters.size());
    for (const auto& param : AParameters) FSaved.push_back(param->Value());
  }
  ~TParameterValuesGuard() {
    for (size_t i = 0; i < FSaved.size() && i < FParameters.size(); ++i) FParameters[i]->SetValue(FSaved[i]);
  }
  TParameterValuesGuard(const TParameterValuesGuard&) = delete;
  TParameterValuesGuard& operator=(const TParameterValuesGuard&) = delete;

 private:
  const std::vector<std::unique_ptr<TQueryParameter>>& FParameters;
  std::vector<Variant> FSaved;
};

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

std::vector<TEntity*> TQueryObject::Select(TUserSession* ASession, const TGetParameterFunc& AGetParameterFunc) {
  std::unique_ptr<TParameterValuesGuard> guard;
  if (AGetParameterFunc) {
    guard = std::make_unique<TParameterValuesGuard>(FParameters);
    for (const auto& param : FParameters) param->SetValue(AGetParameterFunc(param->Name()));
  }

  TDomain* domain = ASession ? ASession->Domain() : nullptr;
  for (const auto& param : FParameters) {
    if (param->Name().isEmpty() && param->Value().IsNull()) {
      if (domain)
        domain->Log(
            QStringLiteral("Error: Parameter [%1] is not assigned. Query: [%2]").arg(param->Name(), FQueryString));
      FResults.clear();
      return {};
    }
  }

  // Built aside and stored at the end: a Select run from inside this one
  // leaves this result alone.
  std::vector<TEntity*> results;
  if (domain) {
    for (const QString& collectionName : FCollectionNames) {
      TCollection* collection = domain->CollectionByName(collectionName);
      if (!collection) continue;
      const size_t first = results.size();
      const int count = collection->Count();
      for (int i = 0; i < count; ++i) {
        TEntity* entity = collection->GetEntity(i);
        if (IsMatch(ASession, entity)) results.push_back(entity);
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
  FResults = results;
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
