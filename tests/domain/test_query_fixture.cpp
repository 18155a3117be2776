#include "test_query_fixture.h"

#include "src/Platform/Configuration/uDefinition.h"
#include "src/Platform/Configuration/uObjectFieldDef.h"
#include "src/Platform/Script/uScript.h"
#include "src/Platform/uPaths.h"

namespace {

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

void TQueryTestHolder::SetFieldValue(TEntity* AEntity, const QString& AFieldName, const Variant& AValue) {
  AEntity->_SetFieldValue(this, AFieldName, AValue);
}

void TQueryTestHolder::SetFieldEntity(TEntity* AEntity, const QString& AFieldName, TEntity* AValue) {
  AEntity->_SetFieldEntity(this, AFieldName, AValue);
}

void TQueryTestHolder::SetFieldStream(TEntity* AEntity, const QString& AFieldName, std::unique_ptr<TStream> AStream) {
  AEntity->_SetFieldStream(this, AFieldName, std::move(AStream));
}

void TRecordingListener::DomainChanged(const TDomainChangeMessage& AMessage) {
  auto* entity = dynamic_cast<TEntity*>(AMessage.Parameter);
  QString name = entity ? (entity->IsNull() ? QStringLiteral("<null>") : entity->DisplayName()) : QStringLiteral("-");
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
  Messages << kind + QLatin1Char(':') + name;
  Senders.push_back(AMessage.Sender);
}

void TQueryDomainTest::SetUp() {
  FSavedConfigurationsDir = ConfigurationsDir;
  FSavedDomainsDir = DomainsDir;
  FSavedLocalAppDataDir = LocalAppDataDir;
  FSavedFormat = FormatSettings();
  FormatSettings() = TFormatSettings::Invariant();
  FSavedLocale = QLocale();
  QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
  ConfigurationsDir = FTemp.Path() + QStringLiteral("/solutions/");
  DomainsDir = ConfigurationsDir;
  LocalAppDataDir = FTemp.Path() + QStringLiteral("/data");
  TScript::ClearScripts();
  TScript::RegisterScript<TQueryDeskScript>("QueryDesk");
  FConfigurations = std::make_unique<TConfigurations>(nullptr);
  FConfigurations->Init();
  FDomain = std::make_unique<TDomain>(nullptr, FConfigurations->GetByName("QueryDesk"), nullptr, QString(), QString());

  TQueryTestHolder setup(FDomain->DomainSession());
  FUser = Collection("SysUsers")->CreateNewEntity(&setup);
  setup.SetFieldValue(FUser, "Login", "user");
  setup.SetFieldValue(FUser, "Name", "User");
  FAdmin = Collection("SysUsers")->CreateNewEntity(&setup);
  setup.SetFieldValue(FAdmin, "Login", "admin");
  setup.SetFieldValue(FAdmin, "Name", "Admin");
  FSession = std::make_unique<TUserSession>(FDomain.get(), FUser, false);
  FAdminSession = std::make_unique<TUserSession>(FDomain.get(), FAdmin, true);
  FHolder = std::make_unique<TQueryTestHolder>(FSession.get());
}

void TQueryDomainTest::TearDown() {
  FHolder.reset();
  FSession.reset();
  FAdminSession.reset();
  FDomain.reset();
  FConfigurations.reset();
  TScript::ClearScripts();
  FormatSettings() = FSavedFormat;
  QLocale::setDefault(FSavedLocale);
  LocalAppDataDir = FSavedLocalAppDataDir;
  DomainsDir = FSavedDomainsDir;
  ConfigurationsDir = FSavedConfigurationsDir;
}

TEntity* TQueryDomainTest::Add(const QString& ACollection, const QString& AName, int AKind, double ATotal,
                               TEntity* ADept) {
  TEntity* entity = Collection(ACollection)->CreateNewEntity(FHolder.get());
  Set(entity, "Name", AName);
  if (entity->FieldExists("Kind")) {
    Set(entity, "Kind", AKind);
    Set(entity, "Total", ATotal);
    if (ADept) SetEntity(entity, "Dept", ADept);
  }
  return entity;
}

void TQueryDomainTest::Set(TEntity* AEntity, const QString& AFieldName, const Variant& AValue) {
  FHolder->SetFieldValue(AEntity, AFieldName, AValue);
}

void TQueryDomainTest::SetEntity(TEntity* AEntity, const QString& AFieldName, TEntity* AValue) {
  FHolder->SetFieldEntity(AEntity, AFieldName, AValue);
}

QStringList TQueryDomainTest::Names(const std::vector<TEntity*>& AEntities) {
  QStringList names;
  for (TEntity* entity : AEntities) names << (entity->IsNull() ? QStringLiteral("<null>") : entity->DisplayName());
  return names;
}
