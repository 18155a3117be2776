// Enumerations and state machines: descriptors, codes, the built-in registry
// with its texts, widths, and the lookup that shows a field's value.
#include <gtest/gtest.h>

#include "TestDesk.h"
#include "src/Platform/Configuration/uEnumeration.h"
#include "src/Platform/Presenter/uLocalizator.h"
#include "src/Platform/uVariant.h"

namespace {

// Answers one translation and the default for everything else.
class TOneWordLocalizator : public TLocalizator {
 public:
  TOneWordLocalizator() : TLocalizator(QString(), QString()) {}
  QString Translate(const QString& ALanguage, const QString& AKey, const QString& ADefault) const override {
    return ALanguage == "english" && AKey == "TMonth.mnMay" ? QStringLiteral("May") : ADefault;
  }
};

}  // namespace

TEST(EnumMemberCode, DropsTheLowerCasePrefix) {
  const struct {
    const char* Member;
    const char* Code;
  } cases[] = {{"ptCurrentYear", "CurrentYear"},
               {"mnJanuary", "January"},
               {"Alpha", "Alpha"},
               {"x_y", "_y"},
               {"a1b", "1b"},
               {"abc", ""},
               {"rssRESTMessageCreated", "RESTMessageCreated"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Member);
    EXPECT_EQ(EnumMemberCode(c.Member), c.Code);
  }
}

TEST(BuiltInEnumerations, NamesTypesAndRussianTexts) {
  const struct {
    const char* Name;
    const char* TypeName;
    QStringList Texts;
  } cases[] = {
      {"PeriodTypes",
       "TPeriodType",
       {"За всё время", "За этот год", "За этот месяц", "За эту неделю", "За сегодня", "За прошлый год",
        "За прошлый месяц", "За прошлую неделю", "За вчерашний день"}},
      {"BrushStyles",
       "TBrushStyle",
       {"Сплошная", "Нет заливки", "Горизонтальная", "Вертикальная", "Прямая диагональная", "Обратная диагональная",
        "Перекрестная", "Диаг. перекрестная"}},
      {"PenStyles", "TPenStyle", {"", "", "", "", "", "", "Внутри", "", ""}},
      {"TextPositions",
       "TTextPosition",
       {"<по умолчанию>", "Внутри", "Слева", "Справа", "Сверху", "Снизу", "По центру"}},
      {"Months",
       "TMonth",
       {"Январь", "Февраль", "Март", "Апрель", "Май", "Июнь", "Июль", "Август", "Сентябрь", "Октябрь", "Ноябрь",
        "Декабрь"}},
      {"UserKinds", "TUserKind", {"Гость", "Система", "Пользователь", "Администратор"}},
  };
  TEnumerations& registry = BuiltInEnumerations();
  ASSERT_EQ(registry.Count(), 6);
  for (int i = 0; i < 6; ++i) {
    const auto& c = cases[i];
    SCOPED_TRACE(c.Name);
    TEnumeration* enumeration = registry[i];
    EXPECT_EQ(enumeration->Name(), c.Name);
    EXPECT_EQ(registry.EnumByName(QString(c.Name).toUpper()), enumeration);
    EXPECT_EQ(enumeration->TypeInfo().TypeName, c.TypeName);
    EXPECT_EQ(enumeration->OrdType(), otUByte);
    EXPECT_EQ(enumeration->Count(), c.Texts.size());
    if (enumeration->Count() != c.Texts.size()) continue;
    for (int id = 0; id < enumeration->Count(); ++id) {
      EXPECT_EQ(enumeration->Item(id)->ID(), id);
      EXPECT_EQ(enumeration->Text(nullptr, id), c.Texts[id]) << c.Name << " " << id;
      EXPECT_TRUE(enumeration->Item(id)->FullName().startsWith(QString(c.TypeName) + '.'));
    }
  }
  TEnumeration* months = registry.EnumByName("Months");
  EXPECT_EQ(months->Item(mnMay)->FullName(), "TMonth.mnMay");
  EXPECT_EQ(months->Item(mnMay)->Code(), "May");
  EXPECT_EQ(registry.EnumByName("PeriodTypes")->Item(ptCurrentYear)->Code(), "CurrentYear");
  EXPECT_EQ(registry.EnumByName("UserKinds")->Item(ukAdmin)->FullName(), "TUserKind.ukAdmin");
  EXPECT_EQ(registry.StateMachineByName("Months"), nullptr);  // a plain enumeration
}

TEST(Enumeration, TextTranslatesFillListSkipsItemZero) {
  TEnumeration* months = BuiltInEnumerations().EnumByName("Months");
  TOneWordLocalizator localizator;
  TTranslator english(&localizator, "english");
  TTranslator russian(&localizator, "russian");
  EXPECT_EQ(months->Text(&english, mnMay), "May");
  EXPECT_EQ(months->Text(&english, mnJune), "Июнь");  // no entry: the display text
  EXPECT_EQ(months->Text(&russian, mnMay), "Май");
  EXPECT_EQ(months->Text(nullptr, 12), "");  // a stored value outside the type
  EXPECT_EQ(months->Text(nullptr, -1), "");

  QList<TEnumListEntry> list = {{"stale", 99}};
  BuiltInEnumerations().EnumByName("UserKinds")->FillList(nullptr, list);
  const QList<TEnumListEntry> expected = {{"Система", 1}, {"Пользователь", 2}, {"Администратор", 3}};
  EXPECT_EQ(list, expected);
}

namespace {
enum class TS8 : int8_t {};
enum class TU8 : uint8_t {};
enum class TS16 : int16_t {};
enum class TU16 : uint16_t {};
enum class TS32 : int32_t {};
enum class TU32 : uint32_t {};
enum class TS64 : int64_t {};
}  // namespace

TEST(StateMachine, GetConvertsThroughTheTypesWidth) {
  const QStringList members = {"aZero", "aOne", "aTwo", "aThree"};
  const struct {
    TEnumTypeInfo Info;
    TOrdType Width;
    int64_t Value;
    int Expected;
  } cases[] = {
      {EnumTypeInfo<TU8>("TU8", members), otUByte, 3, 3},
      {EnumTypeInfo<TU8>("TU8", members), otUByte, 256, 0},
      {EnumTypeInfo<TS8>("TS8", members), otSByte, 255, -1},
      {EnumTypeInfo<TU16>("TU16", members), otUWord, 65537, 1},
      {EnumTypeInfo<TS16>("TS16", members), otSWord, 65535, -1},
      {EnumTypeInfo<TS32>("TS32", members), otSLong, -7, -7},
      {EnumTypeInfo<TU32>("TU32", members), otULong, 4294967295LL, -1},
      {EnumTypeInfo<TS64>("TS64", members), otNotOrdinal, 3, -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Info.TypeName.toStdString() + " " + std::to_string(c.Value));
    TStateMachine machine("M", c.Info);
    EXPECT_EQ(machine.OrdType(), c.Width);
    EXPECT_EQ(machine.Get(Variant(c.Value)), c.Expected);
  }
  TStateMachine byte("M", EnumTypeInfo<TU8>("TU8", members));
  EXPECT_EQ(byte.Get(Variant(3)), 3);
  EXPECT_EQ(byte.Get(Variant("3")), 3);
}

TEST(StateMachine, ColorsTransitionsAndRegistryRules) {
  TEnumerations registry;
  TStateMachine* machine = registry.AddStateMachine(
      "Flow", EnumTypeInfo<TTestSendingState>("TTestSendingState",
                                              {"tssUnknown", "tssNew", "tssSent", "tssRegistered", "tssError"}));
  EXPECT_EQ(machine->AddColors({1, 2, 3}), machine);
  EXPECT_EQ(machine->StateByID(2)->Color(), 3);
  EXPECT_EQ(machine->StateByID(4)->Color(), 1);  // not given: no colour
  EXPECT_EQ(machine->StateByID(5), nullptr);
  TState* sent = machine->StateByID(tssSent);
  sent->AddAvailableTransition(tssRegistered);
  sent->AddAvailableTransition(tssRegistered);
  sent->AddAvailableTransition(tssError);
  EXPECT_EQ(sent->AvailableTransitions(), (std::vector<int>{tssRegistered, tssError}));
  for (int target : {tssUnknown, tssNew, tssSent, tssError}) EXPECT_TRUE(sent->CanTransitToState(target));

  // Texts beyond the last item are ignored.
  machine->AddDisplayNames({"", "Новое", "Отправлено", "Принято", "Ошибка", "лишнее"});
  EXPECT_EQ(machine->Text(nullptr, tssError), "Ошибка");

  // A later registration of a name stays beside the first, which lookups find.
  TEnumeration* second = registry.AddEnum("FLOW", EnumTypeInfo<TTestPriority>("TTestPriority", {"prNone"}));
  EXPECT_EQ(registry.Count(), 2);
  EXPECT_EQ(registry[1], second);
  EXPECT_EQ(registry.EnumByName("flow"), machine);
  EXPECT_EQ(registry.StateMachineByName("fLoW"), machine);
  EXPECT_EQ(EnumTypeInfo<TTestPriority>("TTestPriority", {}).OrdType, otSWord);
}

TEST_F(TConfigTest, ApplicationEnumerationsAreShownThroughTheConfiguration) {
  RegisterTestDesk();
  auto configurations = InitConfigurations();
  TConfiguration* desk = configurations->GetByName("TestDesk");
  // The built-in registry lacks the application's state machine: the
  // configuration's own registry answers instead of an error.
  EXPECT_EQ(EnumerationText(desk, "SendingStates", tssSent), "Отправлено");
  EXPECT_EQ(EnumerationText(desk, "sendingstates", tssRegistered), "Принято банком");
  EXPECT_EQ(EnumerationText(desk, "Priorities", prHigh), "Высокий");
  EXPECT_EQ(EnumerationText(desk, "Months", mnMay), "Май");
  EXPECT_EQ(EnumerationText(nullptr, "Months", mnMay), "Май");
  EXPECT_EQ(FindStateMachine(desk, "SendingStates")->StateByID(tssSent)->Color(), 0x00A8D9);

  EXPECT_EQ(MessageUpToLine([&] { EnumerationText(desk, "", 1); }),
            "There is no enumeration type name! (src/Platform/Configuration/uEnumeration");
  EXPECT_EQ(MessageUpToLine([&] { EnumerationText(desk, "Colours", 1); }),
            "There is no enumeration [Colours] (src/Platform/Configuration/uEnumeration");
  EXPECT_EQ(MessageUpToLine([&] { FindStateMachine(desk, ""); }),
            "There is no enumeration type name! (src/Platform/Configuration/uEnumeration");
  // State machines come from the configuration only; a plain enumeration is none.
  EXPECT_EQ(MessageUpToLine([&] { FindStateMachine(desk, "Months"); }),
            "There is no enumeration [Months] (src/Platform/Configuration/uEnumeration");
  EXPECT_EQ(MessageUpToLine([&] { FindStateMachine(desk, "Priorities"); }),
            "There is no enumeration [Priorities] (src/Platform/Configuration/uEnumeration");
}

TEST_F(TConfigTest, TheBuiltInEnumerationWinsOverAnApplicationOneOfTheSameName) {
  RegisterDeclaringScript("Shadow", [](TConfiguration* AConfiguration) {
    AConfiguration->Enums()
        ->AddEnum("Months", EnumTypeInfo<TTestPriority>("TTestPriority", {"prNone", "prLow", "prHigh"}))
        ->AddDisplayNames({"-", "low", "high"});
  });
  auto configurations = InitConfigurations();
  EXPECT_EQ(EnumerationText(configurations->GetByName("shadow"), "Months", 1), "Февраль");
}
