#pragma once

#include <QString>

#include "src/Platform/uRegistry.h"

class TPlatform;

// A configuration declared by a registered script.
class TConfiguration {
public:
  explicit TConfiguration(const QString& AName) : FName(AName) {}
  virtual ~TConfiguration() = default;
  const QString& Name() const { return FName; }

private:
  QString FName;
};

// The platform's configurations, one per registered script.
class TConfigurations : public TRegistry<TConfiguration> {
public:
  explicit TConfigurations(TPlatform* APlatform) : FPlatform(APlatform) {}
  void Init();
  TPlatform* Platform() const { return FPlatform; }

private:
  TPlatform* FPlatform;
};
