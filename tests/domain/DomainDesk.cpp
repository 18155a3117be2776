#include "DomainDesk.h"

#include "src/Platform/Configuration/uDefinition.h"
#include "src/Platform/Configuration/uEnumeration.h"
#include "src/Platform/Configuration/uObjectFieldDef.h"
#include "src/Platform/Domain/Fields/uBaseField.h"
#include "src/Platform/Domain/uReaction.h"
#include "src/Platform/Script/uScript.h"
#include "src/Platform/uException.h"
#include "src/Platform/uJSON.h"
#include "src/Platform/uPaths.h"

namespace {

enum TDeskState : uint8_t { dsNone, dsDraft, dsSent };

QString NameOf(TEntity* AEntity) {
  if (!AEntity) return QStringLiteral("-");
  if (AEntity->IsNull()) return QStringLiteral("null");
  return AEntity->FieldExists("Name") ? VarToStr(AEntity->GetFieldValue("Name")) : QString::number(AEntity->ID());
}

TReactionProc Logging(const QString& ALabel) {
  return [ALabel](TUserSession*, TChangeHolder* AHolder, TEntity* AEntity, TEntity* AParameter) {
    DeskReactions() << ALabel + QLatin1Char(' ') + NameOf(AEntity) + QLatin1Char(' ') + NameOf(AParameter) +
                           (AHolder ? QString() : QStringLiteral(" (no holder)"));
  };
}

class TDomainDeskScript : public TScript {
 public:
  using TScript::TScript;

 protected:
  void DoInit() override {
    FAppTitle = QStringLiteral("Domain desk");
    FVersion = QStringLiteral("1.0");
  }

  void DoCreateDefinitions() override {
    TDefinition* catalogue = AddDefinition(2, "SysDefinitions", "", "Коллекции", "< --- >", ccSystem, clkLibrary);
    catalogue->AddSimpleFieldDef("Name", "name", "Имя", Variant::Null(), Variant::Null(), 50, fkString);
    catalogue->AddSimpleFieldDef("Caption", "caption", "Заголовок", Variant::Null(), Variant::Null(), 100, fkString);
    catalogue->AddSimpleFieldDef("StorageName", "storage_name", "Таблица", Variant::Null(), Variant::Null(), 50,
                                 fkString);
    catalogue->AddSimpleFieldDef("Kind", "kind", "Вид", 0, Variant::Null(), Variant::Null(), fkInteger);

    DeclareSystemCollections();

    TDefinition* things = AddDefinition(110, "Things", "", "Вещи", "", 0, clkLibrary);
    things->AddSimpleFieldDef("Name", "name", "Имя", Variant::Null(), Variant::Null(), 50, fkString);
    things->AddSimpleFieldDef("Qty", "qty", "Количество", 0, Variant::Null(), Variant::Null(), fkInteger);
    things->AddSimpleFieldDef("Price", "price", "Цена", 0, Variant::Null(), Variant::Null(), fkCurrency);
    things->AddSimpleFieldDef("D", "d", "Дата", Variant::Null(), Variant::Null(), Variant::Null(), fkDateTime);
    things->AddSimpleFieldDef("B", "b", "Флаг", false, Variant::Null(), Variant::Null(), fkBoolean);
    things->AddSimpleFieldDef("C", "c", "Цвет", Variant::Null(), Variant::Null(), Variant::Null(), fkColor);
    things->AddEntityFieldDef("Ref", "ref", "Ссылка", "", "Things");
    things->AddListFieldDef("Items", "Ref", "Ссылки", "Things");
    things->AddBlobFieldDef("Data", "data", "Данные");

    TDefinition* gauges = AddDefinition(111, "Gauges", "", "Датчики", "", 0, clkLibrary);
    gauges->AddSimpleFieldDef("Level", "level", "Уровень", -1, Variant::Null(), Variant::Null(), fkInteger)
        ->SetNullValue(-1);
    gauges->AddSimpleFieldDef("Title", "title", "Название", Variant::Null(), Variant::Null(), 50, fkString, "", "",
                              vsFullAccess, cfLocalizable);
    gauges->AddSimpleFieldDef("Note", "", "Заметка", Variant::Null(), Variant::Null(), 50, fkString, "", "",
                              vsFullAccess, cfNotSave);
    gauges->AddSimpleFieldDef("Start", "start", "Начало", "+1y-1d", Variant::Null(), Variant::Null(), fkDateTime);
    gauges
        ->AddSimpleFieldDef("Code", "code", "Код", Variant::Null(), Variant::Null(), 10, fkString, "", "", vsFullAccess,
                            cfRequired)
        ->SetNullValue(QString());

    TDefinition* funds = AddDefinition(120, "Funds", "", "Фонды", "", 0, clkLibrary);
    funds->AddSimpleFieldDef("Name", "name", "Имя", Variant::Null(), Variant::Null(), 50, fkString);
    funds->AddSimpleFieldDef("Department", "department", "Отдел", Variant::Null(), Variant::Null(), 50, fkString);
    funds->AddListFieldDef("Reports", "Fund", "Отчёты", "Reports");
    funds->AddListFieldDef("Docs", "Owner", "Документы", "Docs", "", "", vsFullAccess, 0, estSortByName, "", rpStrong);

    TDefinition* employees = AddDefinition(121, "Employees", "", "Сотрудники", "", 0, clkLibrary);
    employees->AddSimpleFieldDef("Name", "name", "Имя", Variant::Null(), Variant::Null(), 50, fkString);
    employees->AddEntityFieldDef("Fund", "fund", "Фонд", "", "Funds");

    TDefinition* reports = AddDefinition(122, "Reports", "", "Отчёты", "", 0, clkDocument);
    reports->SetPrefix("R-");
    reports->AddSimpleFieldDef("Name", "name", "Имя", Variant::Null(), Variant::Null(), 50, fkString);
    reports->AddEntityFieldDef("Fund", "fund", "Фонд", "", "Funds");
    reports->AddEntityFieldDef("Manager", "manager", "Менеджер", "", "Employees", 0, vsFullAccess, 0, estSortByName, "",
                               "Fund=Fund");
    reports->AddSimpleFieldDef("Amount", "amount", "Сумма", 0, Variant::Null(), Variant::Null(), fkCurrency);
    reports->AddSimpleFieldDef("DocCode", "doc_code", "Номер", Variant::Null(), Variant::Null(), 20, fkString);

    TDefinition* docs = AddDefinition(123, "Docs", "", "Документы", "", 0, clkLibrary);
    docs->AddSimpleFieldDef("Name", "name", "Имя", Variant::Null(), Variant::Null(), 50, fkString);
    docs->AddEntityFieldDef("Owner", "owner", "Владелец", "", "Funds");

    Configuration()
        ->Enums()
        ->AddStateMachine("DeskStates", EnumTypeInfo<TDeskState>("TDeskState", {"dsNone", "dsDraft", "dsSent"}))
        ->AddDisplayNames({"", "Черновик", "Отправлен"});
    docs->AddStateFieldDef("State", "state", "Состояние", 1, "DeskStates");
    docs->AddSimpleFieldDef("Kind", "kind", "Вид", 0, Variant::Null(), Variant::Null(), fkEnum, "", "", vsFullAccess, 0,
                            "Nowhere");
    docs->AddSimpleFieldDef("Month", "month", "Месяц", 2, Variant::Null(), Variant::Null(), fkEnum, "", "",
                            vsFullAccess, 0, "Months");

    TDefinition* notes = AddDefinition(124, "Notes", "", "Заметки", "", 0, clkLibrary);
    notes->AddSimpleFieldDef("Name", "name", "Имя", Variant::Null(), Variant::Null(), 50, fkString);
    notes->AddEntityFieldDef("Subject", "subject", "О чём", "", "Reports");

    TDefinition* users = AddDefinition(30, "Users", "", "Пользователи", "", 0, clkLibrary);
    users->AddSimpleFieldDef("Name", "name", "Имя", Variant::Null(), Variant::Null(), 50, fkString);
    users->AddListFieldDef("Roles", "User", "Роли", "UserRoles", "Role");
    TDefinition* roles = AddDefinition(31, "Roles", "", "Роли", "", 0, clkLibrary);
    roles->AddSimpleFieldDef("Name", "name", "Имя", Variant::Null(), Variant::Null(), 50, fkString);
    TDefinition* userRoles = AddDefinition(32, "UserRoles", "", "Роли пользователей", "", 0, clkLibrary);
    userRoles->AddEntityFieldDef("User", "user", "Пользователь", "", "Users");
    userRoles->AddEntityFieldDef("Role", "role", "Роль", "", "Roles");

    AddDefinition(50, "Partners", "", "Партнёры", "", 0, clkMixin)
        ->AddSimpleFieldDef("Name", "name", "Имя", Variant::Null(), Variant::Null(), 50, fkString);
    AddDefinition(51, "Banks", "Partners", "Банки", "", 0, clkLibrary);
    AddDefinition(52, "Shops", "Partners", "Магазины", "", 0, clkLibrary);
    notes->AddEntityFieldDef("Partner", "partner", "Партнёр", "", "Partners");

    TDefinition* settings = AddDefinition(40, "Settings", "", "Настройки", "", ccEnvSpecific, clkLibrary);
    settings->AddSimpleFieldDef("Name", "name", "Имя", Variant::Null(), Variant::Null(), 50, fkString);

    RegisterReaction("Reports", "Name.Fund", Logging("Name.Fund"));
    RegisterReaction("Notes", "Name.Subject;Name.Fund.Subject", Logging("Notes"));
    RegisterReaction("Users", "Roles;Role.Roles", Logging("Roles"));
  }

 private:
  // The system collections as every configuration declares them: the ids,
  // names, storage names and field order are stored data.
  void DeclareSystemCollections() {
    const Variant null = Variant::Null();
    TDefinition* subjects = AddDefinition(5, "SysSubjects", "", "Действующие субъекты", "< не указана >", 0, clkMixin);
    subjects->AddSimpleFieldDef("Name", "name", "Имя", null, null, 50, fkString, "", "", vsFullAccess, 0x10001);
    subjects->AddSimpleFieldDef("AccessFlags", "access_flags", "Доступ по умолчанию", 15, 0, 15, fkFlag, "", "",
                                vsFullAccess, 0x1001);
    subjects->AddListFieldDef("SecuredObjects", "Subject", "Объекты с уникальными правами доступа", "SysSecuredObjects",
                              "", "", vsHidden, 64, estSortByID, "", rpStrong);

    TDefinition* users = AddDefinition(10, "SysUsers", "SysSubjects", "Пользователи", "[Система]", 96, clkLibrary);
    users->AddSimpleFieldDef("Login", "login", "Логин", null, null, 50, fkString, "", "", vsFullAccess, 1);
    users->AddSimpleFieldDef("PasswordText", "", "Пароль", null, null, 50, fkString, "mask", "", vsFullAccess, 0x9000);
    users->AddSimpleFieldDef("Password", "user_password", "Пароль (хэш)", "D41D8CD98F00B204E9800998ECF8427E", null, 32,
                             fkString, "", "", vsHidden);
    users->AddSimpleFieldDef("RFID", "rf_id", "Радиометка", null, null, 50, fkString, "", "", vsReadOnly);
    users->AddSimpleFieldDef("Online", "online", "В системе", false, null, null, fkBoolean, "", "", vsReadOnly);
    users->AddListFieldDef("Roles", "User", "Роли пользователя", "SysUsersRoles", "", "", vsFullAccess, 0,
                           estSortByName, "", rpStrong);
    users->AddUniqueIndex("Login");
    users->AddAction("GeneratePassword", "Сгенерировать пароль", 24, 0);

    TDefinition* roles = AddDefinition(11, "SysRoles", "SysSubjects", "Роли", "< --- >", 32, clkLibrary);
    roles->AddEntityFieldDef("ParentRole", "parent", "Родительская роль", "", "SysRoles");
    roles->AddSimpleFieldDef("Code", "code", "Код", null, null, 50, fkString, "", "", vsFullAccess, 1);
    roles->AddListFieldDef("Users", "Role", "Пользователи", "SysUsersRoles", "", "", vsFullAccess, 0, estSortByName, "",
                           rpStrong);
    roles->AddUniqueIndex("Code");

    TDefinition* usersRoles = AddDefinition(12, "SysUsersRoles", "", "Роли пользователей", "< --- >", 32, clkLibrary);
    usersRoles->AddEntityFieldDef("User", "user", "Пользователь", "", "SysUsers", 0, vsHidden);
    usersRoles->AddEntityFieldDef("Role", "role", "Роль", "", "SysRoles", 0, vsSelectOnly, 1);

    TDefinition* secured =
        AddDefinition(13, "SysSecuredObjects", "", "Настройки безопасности", "< --- >", 1056, clkLibrary);
    secured->AddEntityFieldDef("Subject", "subject", "Субъект", "", "SysSubjects", 0, vsFullAccess, 0x8000);
    secured->AddSimpleFieldDef("ObjectName", "object_name", "Объект", null, null, 100, fkString, "", "", vsFullAccess,
                               0x8000);
    secured->AddSimpleFieldDef("StateName", "state_name", "Состояние", null, null, 100, fkString, "", "", vsFullAccess,
                               0x8000);
    secured->AddSimpleFieldDef("AccessFlags", "access_flags", "Доступ", 0, 15, 0, fkFlag, "", "", vsFullAccess, 0x8000);
    secured->AddUniqueIndex("Subject,ObjectName");

    TDefinition* kinds = AddDefinition(20, "SysLogActionKinds", "", "Виды действий", "< --- >", 33, clkLibrary);
    kinds->AddSimpleFieldDef("Name", "name", "Наименование", "", 1, 50, fkString, "", "", vsFullAccess, 0x10000);
    kinds->AddSimpleFieldDef("Code", "code", "Код", "", 1, 10, fkString);

    TDefinition* log = AddDefinition(21, "SysLog", "", "Системный журнал", "< --- >", 161, clkLibrary);
    log->AddSimpleFieldDef("LogTime", "log_time", "Время", "datetime", null, null, fkDateTime, "datetime");
    log->AddSimpleFieldDef("UserName", "user_name", "Пользователь", null, null, 50, fkString);
    log->AddSimpleFieldDef("Description", "description", "Описание", null, null, -1, fkString, "memo", "", vsReadOnly);
    log->AddListFieldDef("SysLogActions", "SysLog", "Действия", "SysLogActions", "", "", vsFullAccess, 0, estSortByName,
                         "", rpStrong);

    TDefinition* actions = AddDefinition(22, "SysLogActions", "", "Действия пользователей", "< --- >", 161, clkLibrary);
    actions->AddEntityFieldDef("SysLog", "sys_log", "Номер в журнале", "", "SysLog", 0, vsHidden);
    actions->AddSimpleFieldDef("CollectionName", "collection", "Коллекция", null, null, 50, fkString, "", "",
                               vsReadOnly);
    actions->AddSimpleFieldDef("EntityID", "entity_id", "ID", null, null, null, fkInteger, "", "", vsReadOnly);
    actions->AddEntityFieldDef("ActionKind", "action_kind", "Вид действия", "", "SysLogActionKinds", 0, vsReadOnly);
    actions->AddSimpleFieldDef("Description", "description", "Описание", null, null, -1, fkString, "memo", "",
                               vsReadOnly);
    actions->AddSimpleFieldDef("JSON", "json", "Актуальные значения", null, null, -1, fkString, "memo", "", vsReadOnly);
  }
};

class TQueryDeskScript : public TScript {
 public:
  using TScript::TScript;

 protected:
  void DoInit() override { FAppTitle = QStringLiteral("QueryDesk"); }

  void DoCreateDefinitions() override {
    TDefinition* root = AddDefinition(1, "SysDefinitions", "", "Definitions", "", ccSystem, clkLibrary);
    root->AddSimpleFieldDef("Name", "name", "Name", Variant::Null(), Variant::Null(), 100, fkString);

    TDefinition* departments = AddDefinition(10, "Departments", "", "Departments", "", 0, clkLibrary);
    departments->AddSimpleFieldDef("Name", "name", "Name", Variant::Null(), Variant::Null(), 100, fkString);

    TDefinition* users = AddDefinition(11, "SysUsers", "", "Users", "", 0, clkLibrary);
    users->AddSimpleFieldDef("Login", "login", "Login", Variant::Null(), Variant::Null(), 30, fkString);
    users->AddSimpleFieldDef("Name", "name", "Name", Variant::Null(), Variant::Null(), 100, fkString);
    users->AddListFieldDef("Roles", "User", "Roles", "SysUsersRoles");
    AddDefinition(12, "SysRoles", "", "Roles", "", 0, clkLibrary)
        ->AddSimpleFieldDef("Name", "name", "Name", Variant::Null(), Variant::Null(), 100, fkString);
    TDefinition* usersRoles = AddDefinition(13, "SysUsersRoles", "", "User roles", "", 0, clkLibrary);
    usersRoles->AddEntityFieldDef("User", "user", "User", "", "SysUsers");
    usersRoles->AddEntityFieldDef("Role", "role", "Role", "", "SysRoles");

    TDefinition* persons = AddDefinition(20, "Persons", "", "Persons", "", 0, clkMixin);
    persons->AddSimpleFieldDef("Name", "name", "Name", Variant::Null(), Variant::Null(), 100, fkString);
    persons->AddSimpleFieldDef("Kind", "kind", "Kind", 0, Variant::Null(), Variant::Null(), fkInteger);
    persons->AddSimpleFieldDef("Total", "total", "Total", 0.0, Variant::Null(), Variant::Null(), fkFloat);
    persons->AddSimpleFieldDef("Paid", "paid", "Paid", 0.0, Variant::Null(), Variant::Null(), fkFloat);
    persons->AddSimpleFieldDef("Active", "active", "Active", false, Variant::Null(), Variant::Null(), fkBoolean);
    persons->AddEntityFieldDef("Dept", "dept", "Department", "", "Departments");
    persons->AddEntityFieldDef("Author", "author", "Author", "", "SysUsers");
    AddDefinition(21, "Employees", "Persons", "Employees", "", 0, clkLibrary);
    AddDefinition(22, "Contractors", "Persons", "Contractors", "", 0, clkLibrary);

    departments->AddListFieldDef("Staff", "Dept", "Staff", "Employees");
  }
};

}  // namespace

void RegisterDesk(const QString& AConfiguration) {
  if (AConfiguration == QLatin1String("QueryDesk"))
    TScript::RegisterScript<TQueryDeskScript>("QueryDesk");
  else
    TScript::RegisterScript<TDomainDeskScript>("DomainDesk");
}

QStringList& DeskReactions() {
  static QStringList log;
  return log;
}

// --- TTestHolder ---

void TTestHolder::SetFieldValue(TEntity* AEntity, const QString& AFieldName, const Variant& AValue) {
  AEntity->_SetFieldValue(this, AFieldName, AValue);
}

void TTestHolder::SetFieldEntity(TEntity* AEntity, const QString& AFieldName, TEntity* AValue) {
  Calls << QStringLiteral("set %1.%2").arg(AEntity->CollectionName(), AFieldName);
  AEntity->_SetFieldEntity(this, AFieldName, AValue);
}

void TTestHolder::SetFieldStream(TEntity* AEntity, const QString& AFieldName, std::unique_ptr<TStream> AStream) {
  AEntity->_SetFieldStream(this, AFieldName, std::move(AStream));
}

void TTestHolder::RegisterEntityCreating(TEntity* AEntity) {
  Created.push_back(AEntity);
  Calls << QStringLiteral("create ") + AEntity->CollectionName();
}

void TTestHolder::RegisterEntityDeleting(TEntity* AEntity) {
  Deleted.push_back(AEntity);
  Calls << QStringLiteral("delete ") + AEntity->CollectionName();
}

bool TTestHolder::KeepOldData(TEntity* AEntity, const QString& AFieldName) {
  const auto key = std::make_pair(AEntity, AFieldName);
  if (FKept.count(key)) return true;
  std::unique_ptr<TJSONValue> old = AEntity->FieldByName(AFieldName)->JSON();
  FKept[key] = old ? old->ToString() : QString();
  Calls << QStringLiteral("keep ") + AFieldName;
  return false;
}

void TTestHolder::RegisterFieldChanges(TEntity* AEntity, const QString& AFieldName) {
  Calls << QStringLiteral("recheck ") + AFieldName;
  auto it = FKept.find({AEntity, AFieldName});
  if (it == FKept.end()) return;
  std::unique_ptr<TJSONValue> now = AEntity->FieldByName(AFieldName)->JSON();
  if ((now ? now->ToString() : QString()) == it->second) FKept.erase(it);
}

void TTestHolder::ScheduleCalculation(const QString& AFieldChain, TEntity* AInstance, TEntity* AParameter) {
  Calls << QStringLiteral("schedule ") + AFieldChain;
  const std::vector<TReactionRef>* reactions = AInstance->Definition()->Reactions()->FindReactions(AFieldChain);
  if (!reactions) return;
  for (const TReactionRef& reaction : *reactions) reaction->Proc(Session(), this, AInstance, AParameter);
}

// --- TMemoryStorage ---

TMemoryStorage::TRow& TMemoryStorage::Row(const QString& ATable, int AID) {
  TRow& row = Tables[ATable][AID];
  row.Values.insert(QStringLiteral("id"), AID);
  return row;
}

Variant TMemoryStorage::ReadValue(const QString& ATag, TFieldKind AFieldKind) {
  (void)AFieldKind;
  return FCurrent ? FCurrent->Values.value(ATag, Variant::Null()) : Variant::Null();
}

void TMemoryStorage::WriteValue(const QString& ATag, TFieldKind AFieldKind, const Variant& AValue, bool AIsKey) {
  (void)AFieldKind;
  (void)AIsKey;
  if (FCurrent) FCurrent->Values.insert(ATag, AValue);
}

std::unique_ptr<TStream> TMemoryStorage::ReadStream(const QString& ATag) {
  if (!FCurrent || !FCurrent->Streams.contains(ATag)) return nullptr;
  return std::make_unique<TStream>(FCurrent->Streams.value(ATag));
}

void TMemoryStorage::WriteStream(const QString& ATag, const TStream* AStream) {
  if (!FCurrent) return;
  if (AStream)
    FCurrent->Streams.insert(ATag, AStream->Data());
  else
    FCurrent->Streams.remove(ATag);
}

void TMemoryStorage::ReadGroup(const QString& ATag, const TStorageFunc& AReadFunc) {
  int read = 0;
  for (TRow& row : Tables[ATag]) {
    if (FailAfterRows >= 0 && read == FailAfterRows) {
      FCurrent = nullptr;
      throw Exception(QStringLiteral("no such column"));
    }
    FCurrent = &row;
    AReadFunc(this);
    ++read;
  }
  FCurrent = nullptr;
}

void TMemoryStorage::WriteItem(int AID, int ALogID, TEntitySaveAction ASaveAction, const TStorageFunc& AWriteFunc) {
  ++Writes;
  if (FailOnWrite > 0 && Writes == FailOnWrite) throw Exception(QStringLiteral("disk full"));
  static const char* const actions[] = {"none", "insert", "update", "delete"};
  WriteTrace << QStringLiteral("%1 %2 %3").arg(QLatin1String(actions[ASaveAction]), Active).arg(AID);
  if (ASaveAction == esaDelete) {
    Tables[Active].remove(AID);
    return;
  }
  BeginRow(Active, AID);
  FCurrent->Values.insert(QStringLiteral("log_id"), ALogID);
  if (AWriteFunc) AWriteFunc(this);
  FCurrent = nullptr;
}

int TMemoryStorage::BeginTransaction() {
  FSnapshot = Tables;
  return 1;
}

void TMemoryStorage::CommitTransaction(int ATransactionID) {
  (void)ATransactionID;
  FSnapshot.reset();
  ++Commits;
}

void TMemoryStorage::RollbackTransaction(int ATransactionID) {
  (void)ATransactionID;
  if (FSnapshot) Tables = std::move(*FSnapshot);
  FSnapshot.reset();
  ++Rollbacks;
}

bool TMemoryStorage::SyncGroupDef(const QString& ATag, const std::function<void()>& ASyncFunc) {
  (void)ATag;
  if (ASyncFunc) ASyncFunc();
  return StructureInOrder;
}

void TMemoryStorage::SyncItemDef(const QString& ATag, TFieldKind AKind, int ASize) {
  (void)ATag;
  (void)AKind;
  (void)ASize;
}

// --- TTestView ---

void TTestView::DomainChanged(const TDomainChangeMessage& AMessage) {
  Messages.push_back(AMessage);
  Senders.push_back(AMessage.Sender);
  auto* entity = dynamic_cast<TEntity*>(AMessage.Parameter);
  const QString name =
      entity ? (entity->IsNull() ? QStringLiteral("<null>") : entity->DisplayName()) : QStringLiteral("-");
  QString kind;
  switch (AMessage.Kind) {
    case dckEntityAdded:
      kind = QStringLiteral("added");
      break;
    case dckEntityRemoved:
      kind = QStringLiteral("removed");
      break;
    case dckEntityChanged:
      kind = QStringLiteral("changed");
      break;
    case dckSelectionChanged:
      kind = QStringLiteral("selected");
      break;
    case dckViewStateChanged:
      kind = QStringLiteral("state");
      break;
    default:
      kind = QString::number(AMessage.Kind);
      break;
  }
  Texts << kind + QLatin1Char(':') + name;
}

int TTestView::Count(int AKind) const {
  int count = 0;
  for (const TDomainChangeMessage& message : Messages)
    if (message.Kind == AKind) ++count;
  return count;
}

// --- TDomainTest ---

TDomainTest::TDomainTest(const QString& AConfiguration)
    : FConfigurationName(AConfiguration),
      FConfigurationsDirGuard(ConfigurationsDir),
      FDomainsDirGuard(DomainsDir),
      FLocalAppDataDirGuard(LocalAppDataDir),
      FFormatGuard(FormatSettings()) {}

void TDomainTest::SetUp() {
  ConfigurationsDir = DomainsDir = FTemp.Path() + QStringLiteral("/solutions/");
  LocalAppDataDir = FTemp.Path() + QStringLiteral("/data");
  if (FConfigurationName == QLatin1String("QueryDesk")) {
    FormatSettings() = TFormatSettings::Invariant();
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
  }
  TScript::ClearScripts();
  DeskReactions().clear();
  RegisterDesk(FConfigurationName);
  FConfigurations = std::make_unique<TConfigurations>(nullptr);
  FConfigurations->Init();
  FConfiguration = FConfigurations->GetByName(FConfigurationName);
  ASSERT_NE(FConfiguration, nullptr);
  FDomain = std::make_unique<TDomain>(nullptr, FConfiguration, nullptr, "black", "");
  auto storage = std::make_unique<TMemoryStorage>();
  FStorage = storage.get();
  FDomain->SetStorage(std::move(storage));

  if (Coll("SysUsers")) {
    TTestHolder setup(FDomain->DomainSession());
    FUser = Coll("SysUsers")->CreateNewEntity(&setup);
    setup.SetFieldValue(FUser, "Login", "user");
    setup.SetFieldValue(FUser, "Name", "User");
    FAdmin = Coll("SysUsers")->CreateNewEntity(&setup);
    setup.SetFieldValue(FAdmin, "Login", "admin");
    setup.SetFieldValue(FAdmin, "Name", "Admin");
  }
  if (Coll("SysRoles")) {
    // The administrators' role, as every domain has it.
    Stored("SysRoles", 1, "Администраторы");
    TTestHolder setup(FDomain->DomainSession());
    FDomain->DomainSession()->AddUserRole(&setup, FAdmin, 1);
  }
  FSession = std::make_unique<TUserSession>(FDomain.get(), FUser);
  FAdminSession = std::make_unique<TUserSession>(FDomain.get(), FAdmin);
  FHolder = std::make_unique<TTestHolder>(FSession.get());
}

void TDomainTest::TearDown() {
  FHolder.reset();
  FSession.reset();
  FAdminSession.reset();
  FDomain.reset();
  FConfigurations.reset();
  TScript::ClearScripts();
}

TEntity* TDomainTest::New(const QString& ACollection, const QString& AName, TChangeHolder* AHolder) {
  TEntity* entity = Coll(ACollection)->CreateNewEntity(AHolder, -1, nullptr);
  if (!AName.isEmpty()) entity->_SetFieldValue(nullptr, "Name", AName);
  return entity;
}

TEntity* TDomainTest::Stored(const QString& ACollection, int AID, const QString& AName) {
  TEntity* entity = Coll(ACollection)->InternalCreateEntity(AID, false);
  entity->SubscribeFields();
  entity->ProcessFields();
  if (!AName.isEmpty()) entity->FieldInternalSetValue("Name", AName);
  entity->UpdateDisplayName();
  return entity;
}

TEntity* TDomainTest::Add(const QString& ACollection, const QString& AName, int AKind, double ATotal, TEntity* ADept) {
  TEntity* entity = Coll(ACollection)->CreateNewEntity(FHolder.get());
  Set(entity, "Name", AName);
  if (entity->FieldExists("Kind")) {
    Set(entity, "Kind", AKind);
    Set(entity, "Total", ATotal);
    if (ADept) SetEntity(entity, "Dept", ADept);
  }
  return entity;
}

void TDomainTest::Set(TEntity* AEntity, const QString& AFieldName, const Variant& AValue) {
  FHolder->SetFieldValue(AEntity, AFieldName, AValue);
}

void TDomainTest::SetEntity(TEntity* AEntity, const QString& AFieldName, TEntity* AValue) {
  FHolder->SetFieldEntity(AEntity, AFieldName, AValue);
}

QStringList TDomainTest::Names(const std::vector<TEntity*>& AEntities) {
  QStringList names;
  for (TEntity* entity : AEntities) names << (entity->IsNull() ? QStringLiteral("<null>") : entity->DisplayName());
  return names;
}

QStringList TDomainTest::LogLines() const {
  QStringList lines;
  TLogger* logger = FDomain->Logger();
  // "hh:nn:ss.zzz [ ] " before the message.
  for (int i = 0; i < logger->Count(); ++i) lines << logger->Items(i).mid(17).trimmed();
  return lines;
}

QString AssertionText(const std::function<void()>& AAction) {
  const QString text = MessageUpToLine(AAction);
  const qsizetype at = text.lastIndexOf(QStringLiteral(" (src/"));
  return at < 0 ? text : text.left(at);
}
