#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QProcess>

#include "src/Common/uTask.h"
#include "src/Platform/Domain/uDomain.h"
#include "src/Platform/Domain/uSession.h"
#include "src/Platform/Presenter/uPresenter.h"
#include "src/Platform/Presenter/uStyle.h"
#include "src/Platform/uPaths.h"
#include "src/Platform/uPlatform.h"
#include "src/Platform/uSettings.h"
#include "support/TestEnv.h"

namespace {

QStringList gEvents;

class TFakePresenter : public TPresenter {
 public:
  explicit TFakePresenter(QString AName, bool AFail = false) : FName(std::move(AName)), FFail(AFail) {}
  ~TFakePresenter() override { gEvents << "free " + FName; }
  void Run(const QString& AParameter) override {
    gEvents << QString("run %1 [%2]").arg(FName, AParameter);
    if (FFail) throw EInOutError("boom");
  }
  void Stop() override { gEvents << "stop " + FName; }

 private:
  QString FName;
  bool FFail;
};

class TFakeDomain : public TDomain {
 public:
  explicit TFakeDomain(QString AName) : TDomain(nullptr, nullptr, nullptr, "black", AName), FName(AName) {}
  ~TFakeDomain() override { gEvents << "free domain " + FName; }
  void Run() override { gEvents << "run domain " + FName; }
  void Stop() override { gEvents << "stop domain " + FName; }
  void ExecuteDefaultAction(TUserSession* ASession, const QString& AParameter) override {
    gEvents << QString("default %1 [%2] session=%3").arg(FName, AParameter).arg(ASession != nullptr);
  }

 private:
  QString FName;
};

// Sets the error reporter for its life and puts the previous one back.
class TErrorReporterGuard {
 public:
  explicit TErrorReporterGuard(TErrorReporter AReporter) : FSaved(TPlatform::SetErrorReporter(std::move(AReporter))) {}
  ~TErrorReporterGuard() { TPlatform::SetErrorReporter(std::move(FSaved)); }

 private:
  TErrorReporter FSaved;
};

// A run moves the folder globals, the current folder and the default locale.
class Platform : public ::testing::Test {
 protected:
  void SetUp() override {
    gEvents.clear();
    ClearPresenterKinds();
  }
  void TearDown() override { ClearPresenterKinds(); }

 private:
  TPathsGuard FPathsGuard;
  TLocaleGuard FLocaleGuard;
};

}  // namespace

TEST_F(Platform, CreatesItsRegistriesAndInitialisesThemInOrder) {
  RegisterPresenterKind("WinVCL", [] { return std::make_unique<TFakePresenter>("WinVCL"); });
  RegisterPresenterKind("Web", [] { return std::make_unique<TFakePresenter>("Web"); });
  RegisterPresenterKind("Console", [] { return std::make_unique<TFakePresenter>("Console"); });
  TTempFolder folder;
  TIniSettings settings(folder.File("settings.ini"));
  {
    TPlatform platform(&settings);
    EXPECT_EQ(platform.StyleByName("BLACK")->StyleSheet(), "basestyle.css");
    EXPECT_EQ(platform.StyleByName("red")->StyleSheet(), "red.css");
    EXPECT_EQ(platform.Styles()->Count(), 3);
    EXPECT_EQ(platform.Settings(), &settings);
    EXPECT_EQ(platform.Translate("@TLoginForm@Caption", "Вход"), "Вход");
  }
  EXPECT_EQ(gEvents, QStringList());
}

// The platform's life as the entry drives it, with fakes for the parts
// registered later: run order, the hand-over handler, stop and free order.
TEST_F(Platform, RunsDomainsThenPresentersAndStopsAndFreesInOrder) {
  RegisterPresenterKind("WinVCL", [] { return std::make_unique<TFakePresenter>("WinVCL"); });
  RegisterPresenterKind("Web", [] { return std::make_unique<TFakePresenter>("Web"); });
  TTempFolder folder;
  TIniSettings settings(folder.File("settings.ini"));
  auto platform = std::make_unique<TPlatform>(&settings);
  platform->Users()->Init();
  platform->Presenters()->Init();
  platform->Domains()->Add("d1", std::make_unique<TFakeDomain>("d1"));
  platform->Domains()->Add("d2", std::make_unique<TFakeDomain>("d2"));
  EXPECT_EQ(platform->UserByName("ADMIN")->UserName(), "admin");
  EXPECT_EQ(platform->DomainById(1), platform->DomainByUid("D2"));
  EXPECT_EQ(platform->DomainById(2), nullptr);

  platform->ExecuteDefaultActions("");
  platform->ExecuteDefaultActions("C:/in/report.xtdd");
  for (TDomain* domain : *platform->Domains()) domain->Run();
  for (TPresenter* presenter : *platform->Presenters()) presenter->Run("p");
  platform.reset();
  EXPECT_EQ(gEvents, QStringList({"default d1 [C:/in/report.xtdd] session=0",
                                  "default d2 [C:/in/report.xtdd] session=0", "run domain d1", "run domain d2",
                                  "run WinVCL [p]", "run Web [p]", "stop WinVCL", "stop Web", "stop domain d1",
                                  "stop domain d2", "free WinVCL", "free Web", "free domain d1", "free domain d2"}));
}

TEST_F(Platform, RunReportsARunFailureShutsDownAndStopsTheEngine) {
  RegisterPresenterKind("WinVCL", [] { return std::make_unique<TFakePresenter>("WinVCL", true); });
  QStringList reported;
  int status = 0;
  {
    TErrorReporterGuard reporter([&](const QString& AText) { reported << AText; });
    status = TPlatform::Run({"first", "ignored"});
  }
  EXPECT_EQ(status, 1);
  EXPECT_EQ(reported, QStringList({"Ошибка приложения: boom\r\nДальнейшая работа невозможна"}));
  EXPECT_EQ(gEvents, QStringList({"run WinVCL [first]", "stop WinVCL", "free WinVCL"}));
  EXPECT_EQ(ThePlatform, nullptr);
  EXPECT_FALSE(TaskEngineStarted());
  EXPECT_EQ(AppDir, ExecutableDir() + "/");
  EXPECT_EQ(ConfigurationsDir, AppDir + "solutions/");
  EXPECT_TRUE(DesktopDir.endsWith("/"));
}

TEST(PlatformTexts, FixedFailureMessages) {
  EXPECT_EQ(StartupErrorText("Storage type is not supported"),
            "Ошибка старта приложения: Storage type is not supported");
  EXPECT_EQ(RunErrorText("x"), "Ошибка приложения: x\r\nДальнейшая работа невозможна");
}

TEST(Paths, UserDataFolderIsCreatedWithItsLayouts) {
  TTempFolder folder;
  TPathsGuard paths;
  LocalAppDataDir = folder.Path();
  const QString dir = GetUserDataDir("corvalisdemo");
  EXPECT_EQ(dir, folder.Path() + "/Tervana/corvalisdemo");
  EXPECT_TRUE(QFileInfo(dir + "/layouts").isDir());
  ConfigurationsDir = "/opt/desk/solutions/";
  EXPECT_EQ(GetConfigurationDir("CorvalisDemo"), "/opt/desk/solutions/corvalisdemo");
}

// The program itself, from a folder of its own: with nothing registered it
// starts and ends cleanly.
TEST(Program, StartsAndEndsCleanlyWithNothingRegistered) {
  TTempFolder folder;
  const QString exe = folder.File("CorvalisDemo");
  ASSERT_TRUE(QFile::copy(QStringLiteral(CORVALIS_EXE), exe));
  QProcess process;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.remove("DISPLAY");
  env.remove("WAYLAND_DISPLAY");
  env.insert("XDG_DATA_HOME", folder.File("data"));
  process.setProcessEnvironment(env);
  process.start(exe, {"C:/reports/fund.xtdd"});
  ASSERT_TRUE(process.waitForFinished(30000));
  EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().constData();
}

// The guards put back what was there, including an unset variable.
TEST(TestGuards, RestoreWhatWasThereBefore) {
  TEnvironmentGuard outer("CORVALIS_GUARD_PROBE", QByteArray("before"));
  const QString currentDir = QDir::currentPath();
  const QString appDir = AppDir;
  const QLocale locale;
  {
    TEnvironmentGuard unset("CORVALIS_GUARD_PROBE", std::nullopt);
    TEnvironmentGuard fresh("CORVALIS_GUARD_FRESH", QByteArray("x"));
    TPathsGuard paths;
    TLocaleGuard localeGuard;
    EXPECT_FALSE(qEnvironmentVariableIsSet("CORVALIS_GUARD_PROBE"));
    TTempFolder folder;
    InitPaths(folder.Path());
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  }
  EXPECT_EQ(qgetenv("CORVALIS_GUARD_PROBE"), "before");
  EXPECT_FALSE(qEnvironmentVariableIsSet("CORVALIS_GUARD_FRESH"));
  EXPECT_EQ(QDir::currentPath(), currentDir);
  EXPECT_EQ(AppDir, appDir);
  EXPECT_EQ(QLocale(), locale);
}
