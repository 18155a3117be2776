#pragma once

// Guards that put process-wide state back when a test ends, also when it
// fails half-way.

#include <QByteArray>
#include <QLocale>
#include <QString>
#include <QStringList>
#include <optional>
#include <utility>

#include "src/Platform/uFormat.h"

// Keeps a global's value and puts it back when it goes out of scope, also
// when a test fails half-way; optionally sets a value meanwhile.
template <class T>
class TRestoreOnExit {
 public:
  explicit TRestoreOnExit(T& AGlobal) : FGlobal(AGlobal), FSaved(AGlobal) {}
  TRestoreOnExit(T& AGlobal, T AValue) : TRestoreOnExit(AGlobal) { FGlobal = std::move(AValue); }
  ~TRestoreOnExit() { FGlobal = FSaved; }
  TRestoreOnExit(const TRestoreOnExit&) = delete;
  TRestoreOnExit& operator=(const TRestoreOnExit&) = delete;

 private:
  T& FGlobal;
  T FSaved;
};

// The same for the default locale, which has a setter rather than a global.
class TLocaleGuard {
 public:
  TLocaleGuard() = default;
  explicit TLocaleGuard(const QLocale& ALocale) { QLocale::setDefault(ALocale); }
  ~TLocaleGuard() { QLocale::setDefault(FSaved); }
  TLocaleGuard(const TLocaleGuard&) = delete;
  TLocaleGuard& operator=(const TLocaleGuard&) = delete;

 private:
  QLocale FSaved;
};

// One environment variable, set or unset for the guard's life.
class TEnvironmentGuard {
 public:
  TEnvironmentGuard(const char* AName, const std::optional<QByteArray>& AValue);
  ~TEnvironmentGuard();
  TEnvironmentGuard(const TEnvironmentGuard&) = delete;
  TEnvironmentGuard& operator=(const TEnvironmentGuard&) = delete;

 private:
  QByteArray FName;
  std::optional<QByteArray> FSaved;
};

class TFormatSettingsGuard : public TRestoreOnExit<TFormatSettings> {
 public:
  TFormatSettingsGuard() : TRestoreOnExit(FormatSettings()) {}
};

// The folder globals and the current folder of the process.
class TPathsGuard {
 public:
  TPathsGuard();
  ~TPathsGuard();
  TPathsGuard(const TPathsGuard&) = delete;
  TPathsGuard& operator=(const TPathsGuard&) = delete;

 private:
  QStringList FSaved;
  QString FCurrentDir;
};
