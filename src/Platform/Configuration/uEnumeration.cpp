#include "src/Platform/Configuration/uEnumeration.h"

#include <algorithm>

#include "src/Platform/Configuration/uConfiguration.h"
#include "src/Platform/Presenter/uLocalizator.h"
#include "src/Platform/uException.h"
#include "src/Platform/uVariant.h"

static constexpr const char* cModulePath = "src/Platform/Configuration/uEnumeration";

QString EnumMemberCode(const QString& AMemberName) {
  for (int i = 0; i < AMemberName.size(); ++i) {
    const QChar ch = AMemberName[i];
    if ((ch >= QLatin1Char('A') && ch <= QLatin1Char('Z')) || (ch >= QLatin1Char('0') && ch <= QLatin1Char('9')) ||
        ch == QLatin1Char('_'))
      return AMemberName.mid(i);
  }
  return QString();
}

TEnumItem::TEnumItem(int AID, const QString& ATypeName, const QString& AMemberName)
    : FID(AID), FCode(EnumMemberCode(AMemberName)), FFullName(ATypeName + QLatin1Char('.') + AMemberName) {}

void TState::AddAvailableTransition(int AAvailableState) {
  if (std::find(FAvailableTransitions.begin(), FAvailableTransitions.end(), AAvailableState) ==
      FAvailableTransitions.end())
    FAvailableTransitions.push_back(AAvailableState);
}

TEnumeration::TEnumeration(const QString& AName, const TEnumTypeInfo& ATypeInfo)
    : TEnumeration(AName, ATypeInfo, false) {}

TEnumeration::TEnumeration(const QString& AName, const TEnumTypeInfo& ATypeInfo, bool AStates)
    : FName(AName), FTypeInfo(ATypeInfo) {
  for (int id = 0; id < ATypeInfo.MemberNames.size(); ++id) {
    const QString& member = ATypeInfo.MemberNames[id];
    if (AStates)
      FItems.push_back(std::make_unique<TState>(id, ATypeInfo.TypeName, member));
    else
      FItems.push_back(std::make_unique<TEnumData>(id, ATypeInfo.TypeName, member));
  }
}

TEnumItem* TEnumeration::Item(int AIndex) const {
  return AIndex >= 0 && AIndex < Count() ? FItems[static_cast<size_t>(AIndex)].get() : nullptr;
}

TEnumeration* TEnumeration::AddDisplayNames(const QStringList& ADefaultValues) {
  const int count = std::min(Count(), static_cast<int>(ADefaultValues.size()));
  for (int i = 0; i < count; ++i) FItems[static_cast<size_t>(i)]->SetDisplayText(ADefaultValues[i]);
  return this;
}

QString TEnumeration::Text(const TTranslator* ATranslator, int AEnumID) const {
  const TEnumItem* item = Item(AEnumID);
  if (!item) return QString();
  return ATranslator ? ATranslator->Translate(item->FullName(), item->DisplayText()) : item->DisplayText();
}

void TEnumeration::FillList(const TTranslator* ATranslator, QList<TEnumListEntry>& AList) const {
  AList.clear();
  for (int i = 1; i < Count(); ++i) AList.append(TEnumListEntry(Text(ATranslator, i), i));
}

TStateMachine* TStateMachine::AddColors(const QList<TColor>& AColors) {
  const int count = std::min(Count(), static_cast<int>(AColors.size()));
  for (int i = 0; i < count; ++i) StateByID(i)->SetColor(AColors[i]);
  return this;
}

int TStateMachine::Get(const Variant& AValue) const {
  const int64_t value = VarToInt64(AValue);
  switch (OrdType()) {
    case otSByte:
      return static_cast<int8_t>(value);
    case otUByte:
      return static_cast<uint8_t>(value);
    case otSWord:
      return static_cast<int16_t>(value);
    case otUWord:
      return static_cast<uint16_t>(value);
    case otSLong:
      return static_cast<int32_t>(value);
    case otULong:
      return static_cast<int32_t>(static_cast<uint32_t>(value));
    case otNotOrdinal:
      break;
  }
  return -1;
}

TEnumeration* TEnumerations::AddEnum(const QString& AName, const TEnumTypeInfo& ATypeInfo) {
  return FItems.Add(AName, std::make_unique<TEnumeration>(AName, ATypeInfo));
}

TStateMachine* TEnumerations::AddStateMachine(const QString& AName, const TEnumTypeInfo& ATypeInfo) {
  auto machine = std::make_unique<TStateMachine>(AName, ATypeInfo);
  TStateMachine* result = machine.get();
  FItems.Add(AName, std::move(machine));
  return result;
}

TStateMachine* TEnumerations::StateMachineByName(const QString& AName) const {
  return dynamic_cast<TStateMachine*>(FItems.ObjectByName(AName));
}

namespace {

void FillBuiltIns(TEnumerations& ARegistry) {
  ARegistry
      .AddEnum(QStringLiteral("PeriodTypes"),
               EnumTypeInfo<TPeriodType>(QStringLiteral("TPeriodType"),
                                         {"ptAll", "ptCurrentYear", "ptCurrentMonth", "ptCurrentWeek", "ptCurrentDay",
                                          "ptPastYear", "ptPastMonth", "ptPastWeek", "ptYesterday"}))
      ->AddDisplayNames({"За всё время", "За этот год", "За этот месяц", "За эту неделю", "За сегодня",
                         "За прошлый год", "За прошлый месяц", "За прошлую неделю", "За вчерашний день"});
  ARegistry
      .AddEnum(QStringLiteral("BrushStyles"),
               EnumTypeInfo<TBrushStyle>(QStringLiteral("TBrushStyle"),
                                         {"bsSolid", "bsClear", "bsHorizontal", "bsVertical", "bsFDiagonal",
                                          "bsBDiagonal", "bsCross", "bsDiagCross"}))
      ->AddDisplayNames({"Сплошная", "Нет заливки", "Горизонтальная", "Вертикальная", "Прямая диагональная",
                         "Обратная диагональная", "Перекрестная", "Диаг. перекрестная"});
  ARegistry
      .AddEnum(QStringLiteral("PenStyles"),
               EnumTypeInfo<TPenStyle>(QStringLiteral("TPenStyle"),
                                       {"psSolid", "psDash", "psDot", "psDashDot", "psDashDotDot", "psClear",
                                        "psInsideFrame", "psUserStyle", "psAlternate"}))
      ->AddDisplayNames({"", "", "", "", "", "", "Внутри", "", ""});
  ARegistry
      .AddEnum(QStringLiteral("TextPositions"),
               EnumTypeInfo<TTextPosition>(QStringLiteral("TTextPosition"),
                                           {"tpDefault", "tpIn", "tpLeft", "tpRight", "tpTop", "tpBottom", "tpCenter"}))
      ->AddDisplayNames({"<по умолчанию>", "Внутри", "Слева", "Справа", "Сверху", "Снизу", "По центру"});
  ARegistry
      .AddEnum(QStringLiteral("Months"),
               EnumTypeInfo<TMonth>(QStringLiteral("TMonth"),
                                    {"mnJanuary", "mnFebruary", "mnMarch", "mnApril", "mnMay", "mnJune", "mnJuly",
                                     "mnAugust", "mnSeptember", "mnOctober", "mnNovember", "mnDecember"}))
      ->AddDisplayNames({"Январь", "Февраль", "Март", "Апрель", "Май", "Июнь", "Июль", "Август", "Сентябрь", "Октябрь",
                         "Ноябрь", "Декабрь"});
  ARegistry
      .AddEnum(QStringLiteral("UserKinds"),
               EnumTypeInfo<TUserKind>(QStringLiteral("TUserKind"), {"ukGuest", "ukSystem", "ukUser", "ukAdmin"}))
      ->AddDisplayNames({"Гость", "Система", "Пользователь", "Администратор"});
}

}  // namespace

TEnumerations& BuiltInEnumerations() {
  static const std::unique_ptr<TEnumerations> registry = [] {
    auto result = std::make_unique<TEnumerations>();
    FillBuiltIns(*result);
    return result;
  }();
  return *registry;
}

TEnumeration* FindEnumeration(const TConfiguration* AConfiguration, const QString& AName) {
  TV_ASSERT(!AName.isEmpty(), QStringLiteral("There is no enumeration type name!"));
  TEnumeration* result = BuiltInEnumerations().EnumByName(AName);
  if (!result && AConfiguration) result = AConfiguration->Enums()->EnumByName(AName);
  TV_ASSERT(result, QStringLiteral("There is no enumeration [") + AName + QLatin1Char(']'));
  return result;
}

QString EnumerationText(const TConfiguration* AConfiguration, const QString& AName, int AValue,
                        const TTranslator* ATranslator) {
  return FindEnumeration(AConfiguration, AName)->Text(ATranslator, AValue);
}

TStateMachine* FindStateMachine(const TConfiguration* AConfiguration, const QString& AName) {
  TV_ASSERT(!AName.isEmpty(), QStringLiteral("There is no enumeration type name!"));
  TStateMachine* result = AConfiguration ? AConfiguration->Enums()->StateMachineByName(AName) : nullptr;
  TV_ASSERT(result, QStringLiteral("There is no enumeration [") + AName + QLatin1Char(']'));
  return result;
}
