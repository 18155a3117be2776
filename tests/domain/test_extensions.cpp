// Extensions a domain makes on demand: one instance per name, chosen by the
// domain's deployment type, freed with the domain before its data.
#include <gtest/gtest.h>

#include "DomainDesk.h"
#include "src/Platform/Configuration/uDefinition.h"
#include "src/Platform/Domain/uCollection.h"
#include "src/Platform/Script/uScript.h"
#include "src/Platform/uException.h"
#include "src/Platform/uExtension.h"
#include "src/Platform/uPaths.h"

namespace {

class TNamedService : public TBaseExtension {
 public:
  TNamedService(TDomain* ADomain, const QString& AParams, const char* AKind)
      : TBaseExtension(ADomain, AParams), Params(AParams), Kind(AKind) {}
  // Still able to reach the domain's data when freed with it.
  ~TNamedService() override {
    TCollection* root = Domain()->RootCollection();
    FreedWithCollections() = root ? root->Count() : -2;
  }
  static int& FreedWithCollections() {
    static int count = -1;
    return count;
  }
  QString Params;
  QString Kind;
};

class TProdService : public TNamedService {
 public:
  TProdService(TDomain* ADomain, const QString& AParams) : TNamedService(ADomain, AParams, "prod") {}
};

class TDevService : public TNamedService {
 public:
  TDevService(TDomain* ADomain, const QString& AParams) : TNamedService(ADomain, AParams, "dev") {}
};

class TExtensionDeskScript : public TScript {
 public:
  using TScript::TScript;

 protected:
  void DoInit() override { FAppTitle = QStringLiteral("ExtensionDesk"); }
  void DoCreateDefinitions() override {
    AddDefinition(1, "SysDefinitions", "", "Definitions", "", ccSystem, clkLibrary)
        ->AddSimpleFieldDef("Name", "name", "Name", Variant::Null(), Variant::Null(), 100, fkString);
    TExtension* bank = AddExtension("BankService");
    bank->AddResolver("PROD", ExtensionClass<TProdService>());
    bank->AddResolver("Dev", ExtensionClass<TDevService>());
    AddExtension("CryptoService")->AddResolver("prod", ExtensionClass<TProdService>());
    TExtension* probe = AddExtension("ProbePrepares");
    probe->AddResolver("prod", ExtensionClass<TProdService>());
    probe->AddResolver("dev", ExtensionClass<TDevService>());
  }
};

class Extensions : public ::testing::Test {
 protected:
  void SetUp() override {
    ConfigurationsDir = DomainsDir = FTemp.Path() + QStringLiteral("/solutions/");
    LocalAppDataDir = FTemp.Path() + QStringLiteral("/data");
    TScript::ClearScripts();
    TScript::RegisterScript<TExtensionDeskScript>("ExtensionDesk");
    FConfigurations = std::make_unique<TConfigurations>(nullptr);
    FConfigurations->Init();
    FConfiguration = FConfigurations->GetByName("ExtensionDesk");
    ASSERT_NE(FConfiguration, nullptr);
  }
  void TearDown() override {
    FConfigurations.reset();
    TScript::ClearScripts();
  }
  // A domain whose settings hold ASettings (none: no settings file).
  std::unique_ptr<TDomain> NewDomain(const QByteArray& ASettings = QByteArray()) {
    if (!ASettings.isNull()) {
      QDir().mkpath(WorkDir());
      QFile file(WorkDir() + "/settings.ini");
      EXPECT_TRUE(file.open(QIODevice::WriteOnly));
      file.write(ASettings);
    }
    return std::make_unique<TDomain>(nullptr, FConfiguration, nullptr, "black", "");
  }
  QString WorkDir() const { return DomainsDir + FConfiguration->Name(); }
  static TNamedService* Service(TBaseExtension* AExtension) { return dynamic_cast<TNamedService*>(AExtension); }

  TRestoreOnExit<QString> FConfigurationsDirGuard{ConfigurationsDir};
  TRestoreOnExit<QString> FDomainsDirGuard{DomainsDir};
  TRestoreOnExit<QString> FLocalAppDataDirGuard{LocalAppDataDir};
  TTempFolder FTemp;
  std::unique_ptr<TConfigurations> FConfigurations;
  TConfiguration* FConfiguration = nullptr;
};

}  // namespace

TEST_F(Extensions, OneInstancePerNameWhateverTheParameters) {
  auto domain = NewDomain();
  TBaseExtension* first = domain->ResolveExtension("BankService", "first");
  ASSERT_NE(Service(first), nullptr);
  EXPECT_EQ(domain->ResolveExtension("bankservice", "second"), first);
  EXPECT_EQ(Service(first)->Params, "first");
  EXPECT_EQ(first->Domain(), domain.get());
  // Another domain of the same configuration has its own.
  auto other = NewDomain();
  EXPECT_NE(other->ResolveExtension("BankService", "x"), first);
}

TEST_F(Extensions, TheDeploymentTypeChoosesTheResolverWithoutRegardToCase) {
  const struct {
    const char* Settings;  // none: no settings file
    const char* Deployment;
    const char* Kind;
  } cases[] = {
      {nullptr, "prod", "prod"},
      {"[Core]\nDeployment=dev\n", "dev", "dev"},
      {"[core]\ndeployment=DEV\n", "DEV", "dev"},
      {"[Core]\nDeployment=Prod\n", "Prod", "prod"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Deployment);
    auto domain = NewDomain(c.Settings ? QByteArray(c.Settings) : QByteArray());
    EXPECT_EQ(domain->DeploymentType(), c.Deployment);
    TNamedService* service = Service(domain->ResolveExtension("BANKSERVICE"));
    EXPECT_TRUE(service && service->Kind == c.Kind);
    domain.reset();
    QFile::remove(WorkDir() + "/settings.ini");
  }
}

TEST_F(Extensions, UndeclaredGivesNoneAndAMissingResolverIsAnAssertion) {
  auto domain = NewDomain("[Core]\nDeployment=dev\n");
  EXPECT_EQ(domain->ResolveExtension("NoSuchService"), nullptr);
  EXPECT_EQ(MessageUpToLine([&] { domain->ResolveExtension("CryptoService"); }),
            "Расширение домена [CryptoService] для режима [dev] не зарегистрировано в системе "
            "(src/Platform/Domain/uDomain");
  // Nothing half-made is kept: the next call fails the same way.
  EXPECT_ANY_THROW(domain->ResolveExtension("CryptoService"));
}

TEST_F(Extensions, TheCardReaderHandlerGoesToProbePrepares) {
  auto domain = NewDomain();
  QString card;
  domain->SetRFIDHandler([&card](const QString& ACard) { card = ACard; });
  TBaseExtension* probe = domain->ResolveExtension("ProbePrepares");
  ASSERT_TRUE(probe && probe->RFIDHandler());
  probe->RFIDHandler()("04A1B2");
  EXPECT_EQ(card, "04A1B2");
  domain->SetRFIDHandler(nullptr);
  EXPECT_FALSE(probe->RFIDHandler());
}

TEST_F(Extensions, InstancesGoWithTheirDomainBeforeItsData) {
  auto domain = NewDomain();
  ASSERT_NE(domain->ResolveExtension("BankService"), nullptr);
  const int collections = domain->RootCollection()->Count();
  TNamedService::FreedWithCollections() = -1;
  domain.reset();
  EXPECT_EQ(TNamedService::FreedWithCollections(), collections);
}
