#include "src/Platform/Domain/uSession.h"

#include <algorithm>

#include "src/Platform/Domain/uChangeManager.h"
#include "src/Platform/Domain/uDomain.h"
#include "src/Platform/Domain/uDomainUtils.h"
#include "src/Platform/Domain/uEntity.h"
#include "src/Platform/Domain/uEntityList.h"
#include "src/Platform/uException.h"

static constexpr const char* cModulePath = "src/Platform/Domain/uSession";

namespace {

void LogMessage(TDomain* ADomain, const QString& AMessage) {
  if (ADomain && ADomain->Logger()) ADomain->Logger()->AddMessage(AMessage);
}

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

TUserSession::TUserSession(TDomain* ADomain, TEntity* AUser, bool AIsAdmin)
    : FDomain(ADomain), FUser(AUser ? AUser : NullEntity()), FIsAdmin(AIsAdmin) {}

TUserSession::~TUserSession() {
  FEntityLists.ForEach([](TEntityList* AList) { AList->SessionFreeing(); });
  if (!FHolders.empty()) {
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
        LogMessage(FDomain, QString::fromUtf8(AError.what()));
      }
    }
    if (lock) lock->Leave();
  }
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
    LogMessage(FDomain, QString::fromUtf8(AError.what()));
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
  if (FDomain && FDomain->Logger()) FDomain->Logger()->AddEnterMessage(QStringLiteral("$$$ RETAIN HOLDER"));
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
  if (FDomain && FDomain->Logger()) FDomain->Logger()->AddExitMessage(QStringLiteral("$$$ RELEASE HOLDER"));
  return newLogID;
}

TUser* TUsers::AddUser(const QString& AUserName) {
  if (TUser* user = GetByName(AUserName)) return user;
  const QString name = AUserName.toLower();
  return Add(name, std::make_unique<TUser>(name));
}
