#include "src/Platform/Domain/uSession.h"

#include <algorithm>

#include "src/Platform/Configuration/uEnumeration.h"
#include "src/Platform/Domain/Fields/uListField.h"
#include "src/Platform/Domain/uChangeManager.h"
#include "src/Platform/Domain/uCollection.h"
#include "src/Platform/Domain/uDomain.h"
#include "src/Platform/Domain/uDomainUtils.h"
#include "src/Platform/Domain/uEntity.h"
#include "src/Platform/Domain/uEntityList.h"
#include "src/Platform/uException.h"

static constexpr const char* cModulePath = "src/Platform/Domain/uSession";

namespace {

// Leaves the lock however the write ends.
class TLockEntry {
 public:
  TLockEntry(TDomainLock* ALock, TUserSession* ASession) : FLock(ALock) { FLock->Enter(ASession); }
  ~TLockEntry() { FLock->Leave(); }
  TLockEntry(const TLockEntry&) = delete;
  TLockEntry& operator=(const TLockEntry&) = delete;

 private:
  TDomainLock* FLock;
};

}  // namespace

// --- TDomainLock ---

void TDomainLock::Enter(TUserSession* ASession) {
  FLock.lock();
  ++FLockCount;
  FCurrentSession = ASession;
}

void TDomainLock::Leave() {
  FCurrentSession = nullptr;
  --FLockCount;
  FLock.unlock();
}

// --- TUserSession ---

TUserSession::TUserSession(TDomain* ADomain, TEntity* AUser)
    : FDomain(ADomain), FUser(AUser ? AUser : NullEntity()), FIsAdmin(false) {
  if (FDomain) FDomain->AttachSession(this);
  if (FUser->IsNull()) return;
  FIsAdmin = IsUserGrantedForRole(FUser, 1);
  SetOnline(true);
}

TUserSession::~TUserSession() {
  FEntityLists.ForEach([](TEntityList* AList) { AList->SessionFreeing(); });
  if (FDomain) {
    FDomain->DetachSession(this);
    LeaveDomain();
  }
}

void TUserSession::DomainFreeing() {
  if (!FDomain) return;
  LeaveDomain();
  FDomain = nullptr;
  FUser = NullEntity();
}

void TUserSession::LeaveDomain() {
  if (!FUser->IsNull()) SetOnline(false);
  if (FHolders.empty()) return;
  // A revert changes fields, which needs the lock; whoever holds it now
  // (this thread) keeps it after.
  TDomainLock* lock = Lock();
  if (lock) lock->Enter(this);
  while (!FHolders.empty()) {
    std::unique_ptr<TChangeHolder> holder = std::move(FHolders.back());
    FHolders.pop_back();
    try {
      holder->RevertChanges();
    } catch (const std::exception& AError) {
      WorkingLog(FDomain, QString::fromUtf8(AError.what()));
    }
  }
  if (lock) lock->Leave();
}

void TUserSession::SetOnline(bool AOnline) {
  if (!FUser->FieldExists(QStringLiteral("Online"))) return;
  // Presence is local to this workstation's run: not worth a change-log record.
  AtomicModification(
      [this, AOnline](TChangeHolder* AHolder) {
        AHolder->SetFieldValue(FUser, QStringLiteral("Online"), AOnline);
        return true;
      },
      nullptr, true);
}

TDomainLock* TUserSession::Lock() const {
  return FDomain ? FDomain->Lock() : nullptr;
}

QString TUserSession::CurrentUserName() const {
  if (FUser->IsNull()) return QStringLiteral("System");
  return FUser->FieldExists(QStringLiteral("Login")) ? VarToStr(FUser->GetFieldValue(QStringLiteral("Login")))
                                                     : QString();
}

void TUserSession::CheckLocking(bool AExpectedResult) const {
  TDomainLock* lock = Lock();
  const bool locked = lock && lock->Locked();
  if (locked != AExpectedResult)
    TV_FAIL(QStringLiteral("Неожиданное состояние блокировки: ") +
            (AExpectedResult ? QStringLiteral("0") : QStringLiteral("-1")));
}

void TUserSession::AtomicWrite(const TAtomicWriteProc& AWriteProc) {
  CheckLocking(false);
  TLockEntry entry(Lock(), this);
  try {
    AWriteProc();
  } catch (const std::exception& AError) {
    WorkingLog(FDomain, QString::fromUtf8(AError.what()));
    throw;
  }
}

bool TUserSession::AtomicModification(const TAtomicModificationFunc& AModificationFunc, TChangeHolder* AParentHolder,
                                      bool ASkipLogging) {
  bool result = false;
  try {
    AtomicWrite([&] {
      TChangeHolder* holder = RetainChangeHolder(AParentHolder);
      bool answer = false;
      try {
        answer = AModificationFunc(holder);
      } catch (...) {
        ReleaseChangeHolder(holder, false, ASkipLogging);
        throw;
      }
      ReleaseChangeHolder(holder, answer, ASkipLogging);
      result = answer;
    });
  } catch (...) {
    return false;
  }
  return result;
}

bool TUserSession::ContextedModification(TChangeHolder* AContext, const TAtomicModificationFunc& AModificationFunc,
                                         TChangeHolder* AParentHolder, bool ASkipLogging) {
  if (AContext) return AModificationFunc(AContext);
  return AtomicModification(AModificationFunc, AParentHolder, ASkipLogging);
}

void TUserSession::AtomicSetFieldValue(TEntity* AEntity, const QString& AFieldName, const Variant& AValue,
                                       TChangeHolder* AHolder) {
  AtomicWrite([&] { AEntity->_SetFieldValue(AHolder, AFieldName, AValue); });
}

void TUserSession::AtomicSetFieldEntity(TEntity* AEntity, const QString& AFieldName, TEntity* AValue,
                                        TChangeHolder* AHolder) {
  AtomicWrite([&] { AEntity->_SetFieldEntity(AHolder, AFieldName, AValue); });
}

void TUserSession::AtomicSetFieldStream(TEntity* AEntity, const QString& AFieldName, std::unique_ptr<TStream> AStream,
                                        TChangeHolder* AHolder) {
  AtomicWrite([&] { AEntity->_SetFieldStream(AHolder, AFieldName, std::move(AStream)); });
}

TChangeHolder* TUserSession::RetainChangeHolder(TChangeHolder* AParentHolder) {
  CheckLocking(true);
  WorkingLogEnter(FDomain, QStringLiteral("$$$ RETAIN HOLDER"));
  FHolders.push_back(std::make_unique<TChangeHolder>(this, AParentHolder));
  return FHolders.back().get();
}

void TUserSession::ReleaseChangeHolder(TChangeHolder* AHolder, bool AResult, bool ASkipLogging) {
  auto drop = [this, AHolder] {
    auto it = std::find_if(FHolders.begin(), FHolders.end(),
                           [AHolder](const std::unique_ptr<TChangeHolder>& AItem) { return AItem.get() == AHolder; });
    if (it != FHolders.end()) FHolders.erase(it);
  };
  try {
    CompleteHolder(AHolder, AResult, ASkipLogging);
  } catch (...) {
    drop();
    throw;
  }
  drop();
}

TChangeHolder* TUserSession::Edit(TChangeHolder* AParentHolder) {
  TChangeHolder* holder = nullptr;
  AtomicWrite([&] { holder = RetainChangeHolder(AParentHolder); });
  return holder;
}

void TUserSession::Save(TChangeHolder* AHolder) {
  AtomicWrite([&] { CompleteHolder(AHolder, true, false); });
}

void TUserSession::Cancel(TChangeHolder* AHolder) {
  AtomicWrite([&] { ReleaseChangeHolder(AHolder, false, true); });
}

int TUserSession::CompleteHolder(TChangeHolder* AHolder, bool AResult, bool ASkipLogging) {
  TV_ASSERT(AHolder, QStringLiteral("There is no holder to complete"));
  try {
    CheckLocking(true);
  } catch (...) {
    AHolder->RevertChanges();
    TV_FAIL(QStringLiteral("Ошибка сохранения записи. Неверное состояние блокировки"));
  }
  int newLogID = -1;
  if (!AResult) {
    AHolder->RevertChanges();
  } else if (AHolder->ParentHolder()) {
    AHolder->TransferChanges();
  } else {
    AHolder->ProcessCalculations();
    if (!ASkipLogging && FDomain) FDomain->ReloadChanges(FInteractor, AHolder);
    if (AHolder->IsModified()) {
      try {
        newLogID = AHolder->ApplyChanges(ASkipLogging);
      } catch (...) {
        AHolder->RevertChanges();
        throw;
      }
    }
  }
  if (FDomain) FDomain->UpdateLogID(newLogID);
  WorkingLogExit(FDomain, QStringLiteral("$$$ RELEASE HOLDER"));
  return newLogID;
}

// --- roles and rights ---

namespace {

// Inside the rights walk: the subject says nothing about the object.
constexpr int cNoAnswer = 128;
// Parent-role chains deeper than this are taken as a loop in the data.
constexpr int cMaxRoleDepth = 64;

TViewState StoredFlags(const Variant& AValue) {
  const int flags = VarAsInteger(AValue);
  // 14 was written for full access by older set-ups; other bits are not rights.
  return static_cast<TViewState>((flags == 14 ? 15 : flags) & vsFullAccess);
}

TEntity* EntityOrNull(TEntity* AEntity, const QString& AFieldName) {
  if (!AEntity || AEntity->IsNull() || !AEntity->FieldExists(AFieldName)) return nullptr;
  TEntity* value = AEntity->GetFieldEntity(AFieldName);
  return value && !value->IsNull() ? value : nullptr;
}

int AccessForEntity(TEntity* AEntity, const QString& AObjectName, const QString& AStateCode) {
  if (!AEntity || AEntity->IsNull()) return 0;
  if (!AEntity->FieldExists(QStringLiteral("SecuredObjects"))) return cNoAnswer;
  for (TEntity* item : AEntity->GetFieldList(QStringLiteral("SecuredObjects"))) {
    if (VarToStr(item->GetFieldValue(QStringLiteral("ObjectName"))).compare(AObjectName, Qt::CaseInsensitive) != 0)
      continue;
    const QString stateName = VarToStr(item->GetFieldValue(QStringLiteral("StateName")));
    if (stateName.isEmpty() || stateName.compare(AStateCode, Qt::CaseInsensitive) == 0)
      return StoredFlags(item->GetFieldValue(QStringLiteral("AccessFlags")));
  }
  return cNoAnswer;
}

}  // namespace

bool TUserSession::IsUserGrantedForRole(TEntity* AUser, int ARoleID) {
  if (!AUser || AUser->IsNull() || !AUser->FieldExists(QStringLiteral("Roles"))) return false;
  for (TEntity* item : AUser->GetFieldList(QStringLiteral("Roles"))) {
    TEntity* role = EntityOrNull(item, QStringLiteral("Role"));
    if (role && role->ID() == ARoleID) return true;
  }
  return false;
}

void TUserSession::AddUserRole(TChangeHolder* AHolder, TEntity* AUser, int ARoleID) {
  if (!AUser || AUser->IsNull() || IsUserGrantedForRole(AUser, ARoleID)) return;
  TCollection* roles = FDomain ? FDomain->CollectionByName(QStringLiteral("SysRoles")) : nullptr;
  TEntity* role = roles ? roles->EntityByID(ARoleID) : nullptr;
  if (!role || role->IsNull()) return;
  auto* list = dynamic_cast<TListField*>(AUser->FieldByName(QStringLiteral("Roles")));
  TV_ASSERT(list, QStringLiteral("The user has no list of roles"));
  TEntity* link = list->AddListEntity(AHolder, QStringLiteral("SysUsersRoles"));
  AHolder->SetFieldEntity(link, QStringLiteral("Role"), role);
}

void TUserSession::RemoveUserRole(TChangeHolder* AHolder, TEntity* AUser, int ARoleID) {
  if (!AUser || AUser->IsNull()) return;
  auto* list = dynamic_cast<TListField*>(AUser->FieldByName(QStringLiteral("Roles")));
  if (!list) return;
  const std::vector<TEntity*> items = AUser->GetFieldList(QStringLiteral("Roles"));
  for (auto it = items.rbegin(); it != items.rend(); ++it) {
    TEntity* role = EntityOrNull(*it, QStringLiteral("Role"));
    if (role && role->ID() == ARoleID) list->RemoveListEntity(AHolder, *it);
  }
}

TViewState TUserSession::GetAccessFlags(const QString& AObjectName, TState* AContextState) const {
  const QString stateCode = AContextState ? AContextState->Code() : QString();
  const int own = AccessForEntity(FUser, AObjectName, stateCode);
  if (own != cNoAnswer) return static_cast<TViewState>(own);

  int combined = cNoAnswer;
  for (TEntity* item : FUser->GetFieldList(QStringLiteral("Roles"))) {
    int depth = 0;
    for (TEntity* role = EntityOrNull(item, QStringLiteral("Role")); role && depth < cMaxRoleDepth;
         role = EntityOrNull(role, QStringLiteral("ParentRole")), ++depth) {
      const int answer = AccessForEntity(role, AObjectName, stateCode);
      if (answer == cNoAnswer) continue;
      combined = combined == cNoAnswer ? answer : (combined | answer);
      break;
    }
  }
  if (combined != cNoAnswer) return static_cast<TViewState>(combined);

  const qsizetype dot = AObjectName.indexOf(QLatin1Char('.'));
  if (dot >= 0) return GetAccessFlags(AObjectName.left(dot), AContextState);
  return FUser->FieldExists(QStringLiteral("AccessFlags"))
             ? StoredFlags(FUser->GetFieldValue(QStringLiteral("AccessFlags")))
             : static_cast<TViewState>(vsHidden);
}

// --- TUserSessions ---

TUserSession* TUserSessions::AddSession(const QString& ALogin, TEntity* AUser) {
  if (!AUser) return nullptr;
  return Add(ALogin, std::make_unique<TUserSession>(FDomain, AUser));
}

void TUserSessions::RemoveSession(TUserSession* ASession) {
  for (int i = 0; i < Count(); ++i)
    if ((*this)[i] == ASession) {
      // Unregistered first: the session's last changes must not find it by login.
      Extract(i).reset();
      return;
    }
}

TUser* TUsers::AddUser(const QString& AUserName) {
  if (TUser* user = GetByName(AUserName)) return user;
  const QString name = AUserName.toLower();
  return Add(name, std::make_unique<TUser>(name));
}
