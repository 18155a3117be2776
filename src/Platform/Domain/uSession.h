#pragma once

#include <QString>

#include "src/Platform/uRegistry.h"

class TPlatformContext;
class TDomain;
class TEntity;

// One user's access to a domain. For now only what the domain model asks of
// it: the domain, the user record and the administrator mark; rights, holders
// and the domain lock come with the sessions themselves.
class TUserSession {
 public:
  // AUser: a user record, or none for the domain's own session (the NullEntity).
  TUserSession(TDomain* ADomain, TEntity* AUser, bool AIsAdmin = false);
  TDomain* Domain() const { return FDomain; }
  TEntity* CurrentUser() const { return FUser; }
  // "System" for the domain's own session, else the user's "Login".
  QString CurrentUserName() const;
  bool IsAdmin() const { return FIsAdmin; }

 private:
  TDomain* FDomain;  // not owned
  TEntity* FUser;    // not owned
  bool FIsAdmin;
};

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
  explicit TUsers(TPlatformContext* APlatform) : FPlatform(APlatform) {}
  // The user of that name, created when missing.
  TUser* AddUser(const QString& AUserName);
  TUser* GetByName(const QString& AName) const { return ObjectByName(AName.toLower()); }
  // Adds the user "admin".
  void Init() { AddUser(QStringLiteral("admin")); }

 private:
  TPlatformContext* FPlatform;
};
