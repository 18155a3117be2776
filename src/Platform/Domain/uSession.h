#pragma once

#include <QString>

#include "src/Platform/Domain/uListenerList.h"
#include "src/Platform/uRegistry.h"

class TPlatformContext;
class TDomain;
class TEntity;
class TEntityList;

// One user's access to a domain. For now only what the domain model asks of
// it: the domain, the user record and the administrator mark; rights, holders
// and the domain lock come with the sessions themselves.
class TUserSession {
 public:
  // AUser: a user record, or none for the domain's own session (the NullEntity).
  TUserSession(TDomain* ADomain, TEntity* AUser, bool AIsAdmin = false);
  // The entity lists made for this session let go of it first.
  ~TUserSession();
  TUserSession(const TUserSession&) = delete;
  TUserSession& operator=(const TUserSession&) = delete;
  TDomain* Domain() const { return FDomain; }
  TEntity* CurrentUser() const { return FUser; }
  // "System" for the domain's own session, else the user's "Login".
  QString CurrentUserName() const;
  bool IsAdmin() const { return FIsAdmin; }
  void AddEntityList(TEntityList* AList) { FEntityLists.AddUnique(AList); }
  void RemoveEntityList(TEntityList* AList) { FEntityLists.Remove(AList); }

 private:
  TDomain* FDomain;  // not owned
  TEntity* FUser;    // not owned
  bool FIsAdmin;
  TListenerList<TEntityList*> FEntityLists;  // not owned
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
