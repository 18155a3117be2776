#include "src/Platform/Domain/uDomain.h"

#include "src/Platform/Configuration/uConfiguration.h"
#include "src/Platform/Domain/uSession.h"
#include "src/Platform/uPlatform.h"

TDomain::TDomain(TUser* AOwner, TConfiguration* AConfiguration, TSettings* ASettings, const QString& AStyleName,
                 const QString& AUid)
    : FOwner(AOwner), FConfiguration(AConfiguration), FSettings(ASettings), FStyleName(AStyleName), FUid(AUid) {}

void TDomains::Init() {
  TUser* admin = FPlatform->Users()->GetByName(QStringLiteral("admin"));
  for (TConfiguration* configuration : *FPlatform->Configurations())
    AddDomain(admin, configuration, FPlatform->Settings(), QStringLiteral("black"), QString());
}

TDomain* TDomains::AddDomain(TUser* AOwner, TConfiguration* AConfiguration, TSettings* ASettings,
                             const QString& AStyleName, const QString& AUid) {
  return Add(AUid.toLower(), std::make_unique<TDomain>(AOwner, AConfiguration, ASettings, AStyleName, AUid));
}
