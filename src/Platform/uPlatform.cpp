#include "src/Platform/uPlatform.h"

#include <QDateTime>
#include <QLocale>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "src/Common/uTask.h"
#include "src/Platform/Configuration/uConfiguration.h"
#include "src/Platform/Domain/uDomain.h"
#include "src/Platform/Domain/uSession.h"
#include "src/Platform/Presenter/uLocalizator.h"
#include "src/Platform/Presenter/uPresenter.h"
#include "src/Platform/Presenter/uStyle.h"
#include "src/Platform/uPaths.h"
#include "src/Platform/uProcessMediator.h"
#include "src/Platform/uSettings.h"

TPlatform* ThePlatform = nullptr;

namespace {

TErrorReporter& Reporter() {
  static TErrorReporter reporter;
  return reporter;
}

// The platform owns the task engine's life: it stops it however Run is left,
// after the mediator (declared later) whose waiting task runs on it.
struct TTaskEngineGuard {
  ~TTaskEngineGuard() { StopTaskEngine(); }
};

}  // namespace

QString StartupErrorText(const QString& AMessage) {
  return QStringLiteral("Ошибка старта приложения: ") + AMessage;
}

QString RunErrorText(const QString& AMessage) {
  return QStringLiteral("Ошибка приложения: ") + AMessage + QStringLiteral("\r\nДальнейшая работа невозможна");
}

TErrorReporter TPlatform::SetErrorReporter(TErrorReporter AReporter) {
  return std::exchange(Reporter(), std::move(AReporter));
}

void TPlatform::ReportError(const QString& AText) {
  std::fprintf(stderr, "%s\n", AText.toLocal8Bit().constData());
  if (Reporter()) Reporter()(AText);
}

bool TPlatform::IsSingletonMode(const TSettings& ASettings) {
  return ASettings.GetValue(QStringLiteral("Core"), QStringLiteral("RunMode"), QString())
             .compare(QLatin1String("singleton"), Qt::CaseInsensitive) == 0;
}

int TPlatform::Run(const QStringList& AArguments) {
  const QString parameter = AArguments.isEmpty() ? QString() : AArguments.first();
  InitPaths(ExecutableDir());
  // Sorting and case-insensitive matching follow the default locale; a bare C
  // locale would order texts by code point, so the desk falls back to Russian.
  if (QLocale::system().language() == QLocale::C) QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
  auto settings = std::make_unique<TIniSettings>(AppDir + QStringLiteral("settings.ini"));
  const bool singleton = IsSingletonMode(*settings);

  TTaskEngineGuard engineGuard;
  StartTaskEngine();
  auto mediator = std::make_unique<TProcessMediator>(QStringLiteral("Tervana.Platform"), 255);
  if (singleton && mediator->AlreadyExists()) {
    // A parameter the running instance did not take is a failed start, not a
    // silent one.
    if (mediator->SendData(parameter)) return 0;
    ReportError(StartupErrorText(mediator->LastError()));
    return 1;
  }

  int status = 0;
  {
    auto platform = std::make_unique<TPlatform>(settings.get());
    ThePlatform = platform.get();
    try {
      platform->Init();
    } catch (...) {
      ThePlatform = nullptr;
      platform.reset();
      throw;
    }
    mediator->SetOnDataReceived([p = platform.get()](const QString& AData) { p->ExecuteDefaultActions(AData); });
    mediator->SetOnError([p = platform.get()](const QString& AText) { p->LogError(AText); });
    try {
      platform->DoRun(parameter);
    } catch (const std::exception& e) {
      ReportError(RunErrorText(ExceptionMessage(e)));
      status = 1;
    }
    mediator->SetOnDataReceived(nullptr);
    mediator->SetOnError(nullptr);
    platform.reset();
    ThePlatform = nullptr;
  }
  mediator.reset();
  settings.reset();
  return status;
}

TPlatform::TPlatform(TSettings* ASettings) {
  std::srand(static_cast<unsigned>(QDateTime::currentMSecsSinceEpoch()));
  FLocalizator =
      std::make_unique<TLocalizator>(AppDir + QStringLiteral("translations"), AppDir + QStringLiteral("settings.ini"));
  FTranslator = std::make_unique<TTranslator>(
      FLocalizator.get(), ASettings->GetValue(QStringLiteral("Core"), QStringLiteral("Language"), QString()));
  FSettings = ASettings;
  FConfigurations = std::make_unique<TConfigurations>(this);
  FUsers = std::make_unique<TUsers>(this);
  FDomains = std::make_unique<TDomains>(this);
  FStyles = std::make_unique<TStyles>(this);
  FStyles->AddStyle(QStringLiteral("default"), QStringLiteral("basestyle.css"));
  FStyles->AddStyle(QStringLiteral("black"), QStringLiteral("basestyle.css"));
  FStyles->AddStyle(QStringLiteral("red"), QStringLiteral("red.css"));
  FPresenters = std::make_unique<TPresenters>(this);
  SetPlatformContext(this);
}

TPlatform::~TPlatform() {
  try {
    DoStop();
  } catch (const std::exception& e) {
    ReportError(RunErrorText(ExceptionMessage(e)));
  }
  FPresenters.reset();
  FStyles.reset();
  FDomains.reset();
  FUsers.reset();
  FConfigurations.reset();
  FTranslator.reset();
  FLocalizator.reset();
  if (PlatformContext() == this) SetPlatformContext(nullptr);
}

void TPlatform::Init() {
  FUsers->Init();
  FConfigurations->Init();
  FDomains->Init();
  FPresenters->Init();
  FStyles->Init();
}

void TPlatform::DoRun(const QString& AParameter) {
  for (TDomain* domain : *FDomains) domain->Run();
  for (TPresenter* presenter : *FPresenters) presenter->Run(AParameter);
}

void TPlatform::DoStop() {
  for (TPresenter* presenter : *FPresenters) presenter->Stop();
  for (TDomain* domain : *FDomains) domain->Stop();
}

void TPlatform::ExecuteDefaultActions(const QString& AData) {
  if (AData.isEmpty()) return;
  for (TDomain* domain : *FDomains) domain->ExecuteDefaultAction(nullptr, AData);
}

void TPlatform::LogError(const QString& AText) {
  for (TDomain* domain : *FDomains)
    if (TLogger* logger = domain->Logger()) logger->AddMessage(AText, mkError);
}

QString TPlatform::Language() const {
  return FTranslator->Language();
}
void TPlatform::SetLanguage(const QString& ALanguage) {
  FTranslator->SetLanguage(ALanguage);
}

TConfiguration* TPlatform::ConfigurationByName(const QString& AName) const {
  return FConfigurations->ObjectByName(AName);
}
TUser* TPlatform::UserByName(const QString& AUserName) const {
  return FUsers->GetByName(AUserName);
}
TStyle* TPlatform::StyleByName(const QString& AName) const {
  return FStyles->GetByName(AName);
}
TPresenter* TPlatform::PresenterByName(const QString& APresenterName) const {
  return FPresenters->GetByName(APresenterName);
}
TDomain* TPlatform::DomainById(int AId) const {
  return AId >= 0 && AId < FDomains->Count() ? (*FDomains)[AId] : nullptr;
}
TDomain* TPlatform::DomainByUid(const QString& AUid) const {
  return FDomains->GetByUid(AUid);
}
QString TPlatform::Translate(const QString& AKey, const QString& ADefault) const {
  return FTranslator->Translate(AKey, ADefault);
}
