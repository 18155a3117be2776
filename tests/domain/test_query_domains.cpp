// The compiled queries of a configuration serve every domain of it: what one
// domain binds for a lookup never reaches another domain's lookup, and
// nothing of a domain stays in them once the domain is gone.
#include <gtest/gtest.h>

#include "DomainDesk.h"

#include "src/Platform/Configuration/uDefinition.h"
#include "src/Platform/Configuration/uObjectFieldDef.h"
#include "src/Platform/Configuration/uQueryObject.h"
#include "src/Platform/Domain/Fields/uEntityField.h"
#include "src/Platform/Domain/uEntityList.h"
#include "src/Platform/Script/uScript.h"
#include "src/Platform/uPaths.h"

namespace {

// Staff: Name, Dept -> Depts, Buddy -> Staff of the same department; a
// record is unique by name within its department.
class TTwinDeskScript : public TScript {
 public:
  using TScript::TScript;

 protected:
  void DoInit() override { FAppTitle = QStringLiteral("TwinDesk"); }

  void DoCreateDefinitions() override {
    AddDefinition(1, "SysDefinitions", "", "Definitions", "", ccSystem, clkLibrary)
        ->AddSimpleFieldDef("Name", "name", "Name", Variant::Null(), Variant::Null(), 100, fkString);
    TDefinition* users = AddDefinition(11, "SysUsers", "", "Users", "", 0, clkLibrary);
    users->AddSimpleFieldDef("Login", "login", "Login", Variant::Null(), Variant::Null(), 30, fkString);
    users->AddSimpleFieldDef("Name", "name", "Name", Variant::Null(), Variant::Null(), 100, fkString);
    AddDefinition(10, "Depts", "", "Departments", "", 0, clkLibrary)
        ->AddSimpleFieldDef("Name", "name", "Name", Variant::Null(), Variant::Null(), 100, fkString);
    TDefinition* staff = AddDefinition(20, "Staff", "", "Staff", "", 0, clkLibrary);
    staff->AddSimpleFieldDef("Name", "name", "Name", Variant::Null(), Variant::Null(), 100, fkString);
    staff->AddEntityFieldDef("Dept", "dept", "Department", "", "Depts");
    staff->AddEntityFieldDef("Buddy", "buddy", "Buddy", "", "Staff", 0, vsFullAccess, 0, estSortByName, "",
                             "Dept=Dept");
    staff->AddUniqueIndex("Name,Dept");
  }
};

// One domain of the shared configuration, with a user session.
struct TTwin {
  explicit TTwin(TConfiguration* AConfiguration)
      : Domain(std::make_unique<TDomain>(nullptr, AConfiguration, nullptr, QString(), QString())) {
    TTestHolder setup(Domain->DomainSession());
    TEntity* user = Domain->CollectionByName("SysUsers")->CreateNewEntity(&setup);
    setup.SetFieldValue(user, "Login", "user");
    Session = std::make_unique<TUserSession>(Domain.get(), user);
    Holder = std::make_unique<TTestHolder>(Session.get());
  }
  ~TTwin() {
    Holder.reset();
    Session.reset();
    Domain.reset();
  }
  TEntity* Add(const QString& ACollection, const QString& AName, TEntity* ADept = nullptr) {
    TEntity* entity = Domain->CollectionByName(ACollection)->CreateNewEntity(Holder.get());
    Holder->SetFieldValue(entity, "Name", AName);
    if (ADept) Holder->SetFieldEntity(entity, "Dept", ADept);
    return entity;
  }
  // The records offered for the Buddy field of AEntity, the empty choice left out.
  QStringList BuddyCandidates(TEntity* AEntity) {
    TEntityList list(Domain.get(), Session.get());
    dynamic_cast<TEntityField*>(AEntity->FindField("Buddy"))->GetEntitiesForSelect(Session.get(), &list);
    QStringList names;
    for (TEntity* entity : list.Entities())
      if (!entity->IsNull()) names << entity->DisplayName();
    return names;
  }

  std::unique_ptr<TDomain> Domain;
  std::unique_ptr<TUserSession> Session;
  std::unique_ptr<TTestHolder> Holder;
};

class TTwinDomainsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ConfigurationsDir = FTemp.Path() + QStringLiteral("/solutions/");
    DomainsDir = ConfigurationsDir;
    LocalAppDataDir = FTemp.Path() + QStringLiteral("/data");
    TScript::ClearScripts();
    TScript::RegisterScript<TTwinDeskScript>("TwinDesk");
    FConfigurations = std::make_unique<TConfigurations>(nullptr);
    FConfigurations->Init();
    FConfiguration = FConfigurations->GetByName("TwinDesk");
    FA = std::make_unique<TTwin>(FConfiguration);
    FB = std::make_unique<TTwin>(FConfiguration);
  }
  void TearDown() override {
    FA.reset();
    FB.reset();
    FConfigurations.reset();
    TScript::ClearScripts();
  }
  TDefinition* Staff() const { return FConfiguration->DefinitionByName("Staff"); }
  TQueryObject* BuddyQuery() const {
    return static_cast<TObjectFieldDef*>(Staff()->FieldByName("Buddy"))->QueryObject();
  }
  static QStringList Names(const std::vector<TEntity*>& AEntities) {
    QStringList names;
    for (TEntity* entity : AEntities) names << entity->DisplayName();
    return names;
  }

  TRestoreOnExit<QString> FConfigurationsDirGuard{ConfigurationsDir};
  TRestoreOnExit<QString> FDomainsDirGuard{DomainsDir};
  TRestoreOnExit<QString> FLocalAppDataDirGuard{LocalAppDataDir};
  TRestoreOnExit<TFormatSettings> FFormatGuard{FormatSettings(), TFormatSettings::Invariant()};
  TLocaleGuard FLocaleGuard{QLocale(QLocale::Russian, QLocale::Russia)};
  TTempFolder FTemp;
  std::unique_ptr<TConfigurations> FConfigurations;
  TConfiguration* FConfiguration = nullptr;
  std::unique_ptr<TTwin> FA;
  std::unique_ptr<TTwin> FB;
};

}  // namespace

TEST_F(TTwinDomainsTest, SelectionQueryOfAFieldServesBothDomains) {
  TEntity* salesA = FA->Add("Depts", "Sales");
  TEntity* anna = FA->Add("Staff", "Anna", salesA);
  FA->Add("Staff", "Bob", salesA);
  FA->Add("Staff", "Olga", FA->Add("Depts", "Office"));
  TEntity* carl = FB->Add("Staff", "Carl", FB->Add("Depts", "Sales"));

  TQueryObject* query = BuddyQuery();
  ASSERT_NE(query, nullptr);
  TQueryBindings bindings(*query);
  bindings.SetParameters(FA->Session.get(), anna);
  // Domain B picks candidates with the same compiled query meanwhile.
  EXPECT_EQ(FB->BuddyCandidates(carl), QStringList{"Carl"});
  EXPECT_EQ(Names(query->Select(FA->Session.get(), bindings)), QStringList({"Anna", "Bob"}));
  EXPECT_EQ(FA->BuddyCandidates(anna), QStringList({"Anna", "Bob"}));

  // B goes first; A keeps using the configuration's query.
  FB.reset();
  EXPECT_EQ(Names(query->Select(FA->Session.get(), bindings)), QStringList({"Anna", "Bob"}));
  EXPECT_EQ(FA->BuddyCandidates(anna), QStringList({"Anna", "Bob"}));
}

TEST_F(TTwinDomainsTest, UniqueIndexCheckServesBothDomains) {
  TEntity* salesA = FA->Add("Depts", "Sales");
  TEntity* anna = FA->Add("Staff", "Anna", salesA);
  TEntity* twin = FA->Add("Staff", "Anna", salesA);
  FA->Add("Staff", "Anna", FA->Add("Depts", "Office"));
  TEntity* salesB = FB->Add("Depts", "Sales");
  TEntity* annaB = FB->Add("Staff", "Anna", salesB);
  FB->Add("Staff", "Bob", salesB);

  TQueryObject* unique = Staff()->CheckUniqueQuery();
  ASSERT_NE(unique, nullptr);
  TQueryBindings bindings(*unique);
  bindings.SetParameters(FA->Session.get(), anna);
  // B checks one of its records with the same compiled query meanwhile.
  EXPECT_EQ(annaB->FindSimilar(FB->Session.get()), nullptr);
  EXPECT_TRUE(unique->IsMatch(FA->Session.get(), twin, bindings));
  EXPECT_EQ(anna->FindSimilar(FA->Session.get()), twin);

  // B goes first: nothing of it may be left in the query.
  EXPECT_EQ(annaB->FindSimilar(FB->Session.get()), nullptr);
  FB.reset();
  EXPECT_TRUE(unique->IsMatch(FA->Session.get(), twin, bindings));
  EXPECT_EQ(twin->FindSimilar(FA->Session.get()), anna);
}
