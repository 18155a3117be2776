#pragma once

#include <QString>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "src/Platform/Domain/uListenerList.h"
#include "src/Platform/uConsts.h"
#include "src/Platform/uRegistry.h"
#include "src/Platform/uVariant.h"

class TPlatformContext;
class TDomain;
class TEntity;
class TEntityList;
class TChangeHolder;
class TDomainInteractor;
class TStream;
class TState;
class TUserSession;

// true: accept the changes made through the holder.
using TAtomicModificationFunc = std::function<bool(TChangeHolder*)>;
using TAtomicWriteProc = std::function<void()>;

// The domain's data lock: re-entrant, and it counts the entries of every
// thread, so a write started while another holds it fails instead of waiting.
class TDomainLock {
 public:
  explicit TDomainLock(TDomain* ADomain) : FDomain(ADomain) {}
  TDomain* Domain() const { return FDomain; }
  void Enter(TUserSession* ASession);
  void Leave();
  bool Locked() const { return FLockCount.load() > 0; }
  TUserSession* CurrentSession() const { return FCurrentSession.load(); }

 private:
  TDomain* FDomain;  // not owned
  std::atomic<TUserSession*> FCurrentSession{nullptr};
  std::recursive_mutex FLock;
  std::atomic<int> FLockCount{0};
};

// One user's access to a domain: the only door through which data changes.
// It serialises every change under the domain lock and hands out and ends
// the change holders of edits.
class TUserSession {
 public:
  // AUser: a user record, or none for the domain's own session (the NullEntity).
  // A real user is an administrator when granted role 1, and is marked
  // "Online" (not logged to the change log).
  TUserSession(TDomain* ADomain, TEntity* AUser);
  // The entity lists made for this session let go of it first; a real user
  // is marked offline; holders still open are reverted, the last first.
  ~TUserSession();
  TUserSession(const TUserSession&) = delete;
  TUserSession& operator=(const TUserSession&) = delete;
  // None once the domain has gone.
  TDomain* Domain() const { return FDomain; }
  TEntity* CurrentUser() const { return FUser; }
  // The domain is about to free its data: the session ends its part in it
  // (user offline, open holders reverted) and keeps pointing at nothing.
  void DomainFreeing();
  // "System" for the domain's own session, else the user's "Login".
  QString CurrentUserName() const;
  bool IsAdmin() const { return FIsAdmin; }
  void AddEntityList(TEntityList* AList) { FEntityLists.AddUnique(AList); }
  void RemoveEntityList(TEntityList* AList) { FEntityLists.Remove(AList); }
  TDomainInteractor* Interactor() const { return FInteractor; }
  void SetInteractor(TDomainInteractor* AInteractor) { FInteractor = AInteractor; }
  const std::vector<std::unique_ptr<TChangeHolder>>& Holders() const { return FHolders; }

  // Atomic execution. AtomicWrite is the single entry to domain changes:
  // it refuses to start under the lock, so atomic writes do not nest.
  void AtomicWrite(const TAtomicWriteProc& AWriteProc);
  // Raises "Неожиданное состояние блокировки: " when the lock is not as expected.
  void CheckLocking(bool AExpectedResult) const;
  // A holder for the function, released with its answer; false on any failure.
  bool AtomicModification(const TAtomicModificationFunc& AModificationFunc, TChangeHolder* AParentHolder = nullptr,
                          bool ASkipLogging = false);
  // With a context holder the caller is already inside an atomic write.
  bool ContextedModification(TChangeHolder* AContext, const TAtomicModificationFunc& AModificationFunc,
                             TChangeHolder* AParentHolder = nullptr, bool ASkipLogging = false);
  void AtomicSetFieldValue(TEntity* AEntity, const QString& AFieldName, const Variant& AValue, TChangeHolder* AHolder);
  void AtomicSetFieldEntity(TEntity* AEntity, const QString& AFieldName, TEntity* AValue, TChangeHolder* AHolder);
  void AtomicSetFieldStream(TEntity* AEntity, const QString& AFieldName, std::unique_ptr<TStream> AStream,
                            TChangeHolder* AHolder);

  // Holders. Retain and Release need the lock; Edit, Save and Cancel take it.
  TChangeHolder* RetainChangeHolder(TChangeHolder* AParentHolder);
  void ReleaseChangeHolder(TChangeHolder* AHolder, bool AResult, bool ASkipLogging);
  TChangeHolder* Edit(TChangeHolder* AParentHolder);
  // Stores the holder's changes; it stays open and empty.
  void Save(TChangeHolder* AHolder);
  void Cancel(TChangeHolder* AHolder);
  // Reverts, transfers or applies; the answer is the new log ID or -1.
  int CompleteHolder(TChangeHolder* AHolder, bool AResult, bool ASkipLogging);

  // Roles: links of "SysUsersRoles" in the user's list "Roles".
  static bool IsUserGrantedForRole(TEntity* AUser, int ARoleID);
  void AddUserRole(TChangeHolder* AHolder, TEntity* AUser, int ARoleID);
  void RemoveUserRole(TChangeHolder* AHolder, TEntity* AUser, int ARoleID);

  // The view state the user has on a definition, or on a dotted name below
  // it (an action or field), in AContextState (none: every state). The
  // user's own secured objects decide first, then his roles and their parent
  // roles together, then his default rights (a dotted name: its owner's).
  TViewState GetAccessFlags(const QString& AObjectName, TState* AContextState = nullptr) const;
  TViewState GetUIState(const QString& AObjectName, TState* AContextState = nullptr) const {
    return GetAccessFlags(AObjectName, AContextState);
  }

 private:
  TDomainLock* Lock() const;
  void SetOnline(bool AOnline);
  void LeaveDomain();

  TDomain* FDomain;                          // not owned
  TDomainInteractor* FInteractor = nullptr;  // not owned
  TEntity* FUser;                            // not owned
  bool FIsAdmin;
  std::vector<std::unique_ptr<TChangeHolder>> FHolders;
  TListenerList<TEntityList*> FEntityLists;  // not owned
};

// The sessions of one domain by login (compared without regard to case);
// it owns them.
// The registry frees every session, the first registered first; logins
// compare without regard to case.
class TUserSessions : public TRegistry<TUserSession> {
 public:
  explicit TUserSessions(TDomain* ADomain) : FDomain(ADomain) {}

  TUserSession* GetSession(int AIndex) const { return (*this)[AIndex]; }
  // None for a missing user.
  TUserSession* AddSession(const QString& ALogin, TEntity* AUser);
  // Unregisters and frees the session; one not registered here is left alone.
  void RemoveSession(TUserSession* ASession);
  TUserSession* SessionByLogin(const QString& ALogin) const { return ObjectByName(ALogin); }

 private:
  TDomain* FDomain;  // not owned
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
