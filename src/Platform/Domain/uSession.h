#pragma once

#include <QString>

#include "src/Platform/uRegistry.h"

class TPlatform;

// A platform user: the owner of domains, nothing but a lower-case name.
class TUser {
public:
  explicit TUser(const QString& AUserName) : FUserName(AUserName.toLower()) {}
  const QString& UserName() const { return FUserName; }

private:
  QString FUserName;
};

class TUsers : public TRegistry<TUser> {
public:
  explicit TUsers(TPlatform* APlatform) : FPlatform(APlatform) {}
  // The user of that name, created when missing.
  TUser* AddUser(const QString& AUserName);
  TUser* GetByName(const QString& AName) const { return ObjectByName(AName.toLower()); }
  // Adds the user "admin".
  void Init() { AddUser(QStringLiteral("admin")); }

private:
  TPlatform* FPlatform;
};
