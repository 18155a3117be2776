#pragma once

#include <QString>

#include "src/Platform/uRegistry.h"

class TPlatform;
class TConfiguration;
class TSettings;
class TUser;
class TUserSession;

// The running instance of one configuration.
class TDomain {
public:
  TDomain(TUser* AOwner, TConfiguration* AConfiguration, TSettings* ASettings, const QString& AStyleName,
          const QString& AUid);
  virtual ~TDomain() = default;

  TConfiguration* Configuration() const { return FConfiguration; }
  TUser* Owner() const { return FOwner; }
  const QString& Uid() const { return FUid; }
  const QString& StyleName() const { return FStyleName; }

  virtual void Run() {}
  virtual void Stop() {}
  virtual void ExecuteDefaultAction(TUserSession* ASession, const QString& AParameter) {
    (void)ASession;
    (void)AParameter;
  }

private:
  TUser* FOwner;
  TConfiguration* FConfiguration;
  TSettings* FSettings;
  QString FStyleName;
  QString FUid;
};

// The platform's domains, keyed by lower-cased uid.
class TDomains : public TRegistry<TDomain> {
public:
  explicit TDomains(TPlatform* APlatform) : FPlatform(APlatform) {}
  // One domain per configuration, owned by "admin", style "black", empty uid.
  void Init();
  TDomain* AddDomain(TUser* AOwner, TConfiguration* AConfiguration, TSettings* ASettings, const QString& AStyleName,
                     const QString& AUid);
  TDomain* GetByUid(const QString& AUid) const { return ObjectByName(AUid.toLower()); }

private:
  TPlatform* FPlatform;
};
