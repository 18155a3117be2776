#include "TestDesk.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "src/Platform/Configuration/uDefinition.h"
#include "src/Platform/Configuration/uEnumeration.h"
#include "src/Platform/Configuration/uObjectFieldDef.h"
#include "src/Platform/Domain/uReaction.h"
#include "src/Platform/uException.h"
#include "src/Platform/uExtension.h"
#include "src/Platform/uPaths.h"

namespace {

class TTestService : public TBaseExtension {
 public:
  using TBaseExtension::TBaseExtension;
};

TReactionProc LogReaction(const QString& AName) {
  return [AName](TUserSession*, TChangeHolder*, TEntity*, TEntity*) { TestDeskReactionLog() << AName; };
}

class TTestDeskScript : public TScript {
 public:
  using TScript::TScript;

 protected:
  void DoInit() override {
    FAppTitle = QStringLiteral("Тестовый стол");
    FVersion = QStringLiteral("1.2");
  }

  void DoCreateDefinitions() override {
    TConfiguration* config = Configuration();
    config->Enums()
        ->AddStateMachine("SendingStates",
                          EnumTypeInfo<TTestSendingState>(
                              "TTestSendingState", {"tssUnknown", "tssNew", "tssSent", "tssRegistered", "tssError"}))
        ->AddColors({1, 1, 0x00A8D9, 0x408000, 0x0000FF})
        ->AddDisplayNames({"", "Новое", "Отправлено", "Принято банком", "Ошибка"});
    config->Enums()
        ->AddEnum("Priorities", EnumTypeInfo<TTestPriority>("TTestPriority", {"prNone", "prLow", "prHigh"}))
        ->AddDisplayNames({"< нет >", "Низкий", "Высокий"});

    AddDefinition(1, "SysDefinitions", "", "Определения", "", ccSystem, clkLibrary);

    TDefinition* base = AddDefinition(5, "Base", "", "Основа", "", 0, clkMixin);
    base->AddSimpleFieldDef("Note", "note", "Примечание", Variant::Null(), Variant::Null(), 200, fkString);
    base->AddAction("Print", "Печать", 3, 0);

    TDefinition* named = AddDefinition(6, "Named", "Base", "Именованный", "< нет >", 0, clkMixin);
    named->SetIsHierarchical(true);
    named->AddSimpleFieldDef("Name", "name", "Наименование", Variant::Null(), Variant::Null(), 50, fkString);
    named->AddUniqueIndex("Name");
    named->AddFilter("Active", "Активные", "!Disabled");

    TDefinition* colored = AddDefinition(7, "Colored", "Base", "Цветной", "", 0, clkMixin);
    colored->AddSimpleFieldDef("Name", "title", "Заголовок", Variant::Null(), Variant::Null(), 100, fkString);
    colored->AddSimpleFieldDef("Color", "color", "Цвет", 1, Variant::Null(), Variant::Null(), fkColor);
    colored->AddSimpleFieldDef("Priority", "priority", "Приоритет", 0, 0, Variant::Null(), fkEnum, "", "", vsFullAccess,
                               0, "Priorities");
    colored->AddFilter("Visible", "Видимые", "!Hidden");

    AddDefinition(10, "Folders", "Named", "Папки", "", 0, clkLibrary);

    TDefinition* employees = AddDefinition(20, "Employees", "", "Сотрудники", "< не указан >", 0, clkLibrary);
    employees->AddSimpleFieldDef("Login", "login", "Логин", Variant::Null(), Variant::Null(), 30, fkString, "", "",
                                 vsFullAccess, cfRequired);
    employees->AddSimpleFieldDef("Department", "department", "Отдел", Variant::Null(), Variant::Null(), 50, fkString);
    employees->AddUniqueIndex("Login");
    // Reports has three concrete definitions: a selector.
    employees->AddEntityFieldDef("LastReport", "last_report", "Последний отчёт", "", "Reports");

    TDefinition* funds =
        AddDefinition(21, "Funds", "Named;Colored", "Фонды", "< не указан >", ccEnvSpecific, clkLibrary);
    funds->AddSimpleFieldDef("Department", "department", "Отдел", Variant::Null(), Variant::Null(), 50, fkString);
    funds->AddSimpleFieldDef("Kind", "kind", "Вид", Variant::Null(), Variant::Null(), 20, fkString, "", "",
                             vsFullAccess, 0, "Employees.Department&Login", stSearchFromBegin);
    funds->AddSimpleFieldDef("Balance", "balance", "Остаток", Variant::Null(), Variant::Null(), Variant::Null(),
                             fkCurrency);
    funds->AddSimpleFieldDef("Opened", "opened", "Открыт", Variant::Null(), Variant::Null(), Variant::Null(),
                             fkDateTime);
    funds->AddSimpleFieldDef("Rate", "rate", "Ставка", 0.5, 0.0, 1.0, fkFloat);
    funds->AddSimpleFieldDef("Shares", "shares", "Паи", 0, 0, Variant::Null(), fkInteger);
    funds->AddSimpleFieldDef("IsActive", "is_active", "Действует", true, Variant::Null(), Variant::Null(), fkBoolean);
    funds->AddSimpleFieldDef("Rights", "rights", "Права", 0, Variant::Null(), Variant::Null(), fkFlag, "", "",
                             vsFullAccess, 0, "UserKinds");
    funds->AddBlobFieldDef("Logo", "logo", "Логотип");
    funds->AddSimpleFieldDef("Scratch", "", "Черновик", Variant::Null(), Variant::Null(), 10, fkString, "", "",
                             vsHidden, cfNotSave);
    funds->AddEntityFieldDef("Manager", "manager", "Менеджер", "", "Employees", 0, vsFullAccess, 0, estSortByName, "",
                             "Department=Department", "Login");
    funds->AddListFieldDef("Reports", "Fund", "Отчёты", "Reports");
    funds->AddListFieldDef("Managers", "Fund", "Менеджеры отчётов", "Reports", "Manager");
    funds->AddAction("Recalculate", "Пересчитать", 7, ccListAction);

    TDefinition* documents = AddDefinition(30, "Documents", "", "Документы", "", 0, clkMixin);
    documents->AddSimpleFieldDef("DocDate", "doc_date", "Дата", Variant::Null(), Variant::Null(), Variant::Null(),
                                 fkDateTime);
    documents->AddStateFieldDef("State", "state", "Состояние", static_cast<int>(tssNew), "SendingStates");

    TDefinition* reports = AddDefinition(31, "Reports", "Documents", "Отчёты", "< не указано >", 0, clkDocument);
    reports->AddEntityFieldDef("Fund", "fund", "Фонд", "", "Funds");
    reports->AddEntityFieldDef("Manager", "manager", "Менеджер", "", "Employees");
    reports->AddSimpleFieldDef("Amount", "amount", "Сумма", Variant::Null(), Variant::Null(), Variant::Null(),
                               fkCurrency);
    reports->AddAggregation("Amount", akSum);
    reports->AddFilter("Sent", "Отправленные", "State=2");
    reports->AddAction("Send", "Отправить", 12, 0);
    AddDefinition(32, "AnnualReports", "Reports", "Годовые", "", 0, clkDocument);
    AddDefinition(33, "QuarterlyReports", "Reports", "Квартальные", "", 0, clkDocument);

    TDefinition* notes = AddDefinition(40, "Notes", "", "Заметки", "", ccNotSave, clkLibrary);
    notes->AddEntityFieldDef("Subject", "subject", "О чём", "", "Reports");

    config->AddPresentation("ActiveFunds", "Funds")->SetCaption("Активные фонды")->SetFlags(ccReadOnly);

    AddAction("CreateReport", "Создать сообщение", 100, 0)
        ->AddSimpleFieldDef("ReportFile", "report_file", "Путь к файлу", Variant::Null(), Variant::Null(), 255,
                            fkString, "file?filter=Файлы отчётов (.xtdd)|*.xtdd", "", vsSelectOnly, cfRequired)
        ->SetNullValue(QString(""));
    AddAction("CheckSendingStatus", "Проверка состояния", 114, ccInstantExecution)
        ->AddSimpleFieldDef("Date", "date", "Дата", "date", Variant::Null(), Variant::Null(), fkDateTime);

    // "Funds" is reached through "Named" and "Colored"; the blank entry is skipped.
    RegisterReaction("Base;  ;Reports", "State;Fund.Name", LogReaction("late"));
    RegisterReaction("CreateReport;Nothing", "ReportFile", LogReaction("action"));

    TExtension* bank = AddExtension("BankService");
    bank->AddResolver("prod", ExtensionClass<TTestService>());
    bank->AddResolver("dev", ExtensionClass<TTestService>());
    AddPlannedTask(50, [](TDomain*) { return 0; });
    AddPlannedTask(90, [](TDomain*) { return -1; });
  }

  void DoFinishConfiguration() override {
    // Runs after every definition exists.
    DefinitionByName("Folders")->SetOrderNum(DefinitionByName("Funds") ? 9 : -9);
  }
};

class TDeclaringScript : public TScript {
 public:
  TDeclaringScript(TConfiguration* AConfiguration, TDeclareFunc ADeclare, QString AAppTitle)
      : TScript(AConfiguration), FDeclare(std::move(ADeclare)), FTitle(std::move(AAppTitle)) {}

 protected:
  void DoInit() override { FAppTitle = FTitle; }
  void DoCreateDefinitions() override {
    if (FDeclare) FDeclare(Configuration());
  }

 private:
  TDeclareFunc FDeclare;
  QString FTitle;
};

}  // namespace

void RegisterTestDesk() {
  TScript::RegisterScript<TTestDeskScript>("TestDesk");
}

QStringList& TestDeskReactionLog() {
  static QStringList log;
  return log;
}

void RegisterDeclaringScript(const QString& AName, TDeclareFunc ADeclare, const QString& AAppTitle) {
  TScript::RegisterScript(AName, [ADeclare, AAppTitle](TConfiguration* AConfiguration) -> std::unique_ptr<TScript> {
    return std::make_unique<TDeclaringScript>(AConfiguration, ADeclare, AAppTitle);
  });
}

void TConfigTest::SetUp() {
  ConfigurationsDir = FTemp.Path() + QLatin1Char('/');
  TScript::ClearScripts();
  TestDeskReactionLog().clear();
}

void TConfigTest::TearDown() {
  TScript::ClearScripts();
}

std::unique_ptr<TConfigurations> TConfigTest::InitConfigurations() {
  auto configurations = std::make_unique<TConfigurations>(nullptr);
  configurations->Init();
  return configurations;
}

void TConfigTest::WriteFile(const QString& ARelativePath, const QByteArray& ABytes) {
  const QString path = FTemp.File(ARelativePath);
  QDir().mkpath(QFileInfo(path).absolutePath());
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(ABytes);
}
