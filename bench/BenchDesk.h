#pragma once

// A domain of one bench script, in a temporary folder of its own: what every
// benchmark over records starts from.
#include <QTemporaryDir>
#include <memory>

#include "src/Platform/Configuration/uConfiguration.h"
#include "src/Platform/Domain/uDomain.h"
#include "src/Platform/Script/uScript.h"
#include "src/Platform/uPaths.h"

template <class TBenchScript>
struct TBenchDesk {
  explicit TBenchDesk(const char* AName) {
    ConfigurationsDir = Temp.path() + QStringLiteral("/solutions/");
    DomainsDir = ConfigurationsDir;
    LocalAppDataDir = Temp.path() + QStringLiteral("/data");
    TScript::RegisterScript<TBenchScript>(AName);
    Configurations = std::make_unique<TConfigurations>(nullptr);
    Configurations->Init();
    Domain = std::make_unique<TDomain>(nullptr, Configurations->GetByName(AName), nullptr, QString(), QString());
  }

  QTemporaryDir Temp;
  std::unique_ptr<TConfigurations> Configurations;
  std::unique_ptr<TDomain> Domain;
};
