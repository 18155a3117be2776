#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

#include "src/Platform/uPlatformContext.h"

class TSettings;
class TConfiguration;
class TConfigurations;
class TUser;
class TUsers;
class TStyle;
class TStyles;
class TDomain;
class TDomains;
class TPresenter;
class TPresenters;
class TLocalizator;
class TTranslator;

// Shows an error text to the user; the program installs one that opens a
// message box where a display exists. The default writes to stderr.
using TErrorReporter = std::function<void(const QString&)>;

class TPlatform : public TPlatformContext {
 public:
  // The program's only entry into the platform; returns when the program is to
  // end: 0 after a clean run, 1 when the run failed (already reported).
  // Start-up failures leave as exceptions.
  static int Run(const QStringList& AArguments);
  // Returns the reporter it replaces.
  static TErrorReporter SetErrorReporter(TErrorReporter AReporter);
  static void ReportError(const QString& AText);

  // "singleton" in [Core] RunMode, in any case.
  static bool IsSingletonMode(const TSettings& ASettings);

  explicit TPlatform(TSettings* ASettings);
  ~TPlatform();
  TPlatform(const TPlatform&) = delete;
  TPlatform& operator=(const TPlatform&) = delete;

  TConfigurations* Configurations() const override { return FConfigurations.get(); }
  TUsers* Users() const override { return FUsers.get(); }
  TPresenters* Presenters() const { return FPresenters.get(); }
  TDomains* Domains() const { return FDomains.get(); }
  TStyles* Styles() const { return FStyles.get(); }
  TSettings* Settings() const override { return FSettings; }
  TLocalizator* Localizator() const { return FLocalizator.get(); }
  QString Language() const override;
  void SetLanguage(const QString& ALanguage);

  TConfiguration* ConfigurationByName(const QString& AName) const override;
  TUser* UserByName(const QString& AUserName) const;
  TStyle* StyleByName(const QString& AName) const;
  TPresenter* PresenterByName(const QString& APresenterName) const;
  TDomain* DomainById(int AId) const;
  TDomain* DomainByUid(const QString& AUid) const;
  QString Translate(const QString& AKey, const QString& ADefault) const;

  // The single-instance hand-over: every domain runs its default action.
  void ExecuteDefaultActions(const QString& AData);
  // Into the working log of every domain.
  void LogError(const QString& AText);

 private:
  void Init();
  void DoRun(const QString& AParameter);
  void DoStop();

  TSettings* FSettings;  // not owned
  std::unique_ptr<TConfigurations> FConfigurations;
  std::unique_ptr<TUsers> FUsers;
  std::unique_ptr<TStyles> FStyles;
  std::unique_ptr<TDomains> FDomains;
  std::unique_ptr<TPresenters> FPresenters;
  std::unique_ptr<TLocalizator> FLocalizator;
  std::unique_ptr<TTranslator> FTranslator;
};

extern TPlatform* ThePlatform;

// The two fixed texts of failures that end the program.
QString StartupErrorText(const QString& AMessage);
QString RunErrorText(const QString& AMessage);
