#include "src/Common/uDomainTask.h"

#include <thread>

#include "src/Common/uMainThread.h"
#include "src/Platform/Domain/uDomain.h"
#include "src/Platform/Domain/uDomainUtils.h"

static constexpr const char* cModulePath = "src/Common/uDomainTask";

// --- domain's tasks -----------------------------------------------------------

bool TDomainTasks::Enter() {
  std::lock_guard guard(FLock);
  if (FStopped.load()) return false;
  ++FRunning;
  return true;
}

void TDomainTasks::Leave() {
  std::lock_guard guard(FLock);
  --FRunning;
}

int TDomainTasks::RunningCount() const {
  std::lock_guard guard(FLock);
  return FRunning;
}

void TDomainTasks::StopAndWait() {
  {
    std::lock_guard guard(FLock);
    FStopped.store(true);
  }
  FToken->Cancel();
  auto ended = [this] { return RunningCount() == 0; };
  // A worker may be waiting for the main thread right now: its call must run
  // (and be refused) for the worker to get on and end.
  if (MainThread().IsMainThread()) {
    MainThread().WaitUntil(ended, std::chrono::milliseconds(5));
  } else {
    while (!ended()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

// --- promise ----------------------------------------------------------------

TPromise::TPromise() : FEvent(std::make_unique<TAutoResetEvent>()) {}

TPromise::~TPromise() = default;

QString TPromise::Message() const {
  std::lock_guard guard(FLock);
  return FMessage;
}

void TPromise::SetResults(TCompletionReason ACompletionReason, const QString& AMessage) {
  {
    std::lock_guard guard(FLock);
    FMessage = AMessage;
  }
  FCompletionReason.store(ACompletionReason);
  FTask.store(nullptr);
}

bool TPromise::Await(std::chrono::milliseconds ATimeout) {
  TV_ASSERT(FAwaited.load(), QStringLiteral("The promise is not awaited"));
  auto completed = [this] { return FCompleted.load(std::memory_order_acquire); };
  if (MainThread().IsMainThread()) return MainThread().WaitUntil(completed, std::chrono::milliseconds(5), ATimeout);
  const auto deadline = std::chrono::steady_clock::now() + ATimeout;
  while (!completed()) {
    if (ATimeout.count() > 0 && std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// --- domain task --------------------------------------------------------------

TDomainTask::TDomainTask(TPromise* APromise, TExecutionProc AExecutionProc, TDomain* ADomain)
    : FExecutionProc(std::move(AExecutionProc)),
      FPromise(APromise),
      FDomainTasks(ADomain ? ADomain->Tasks() : nullptr) {
  SetFreeOnComplete(true);
  if (FPromise) FPromise->FTask.store(this);
}

TDomainTask::~TDomainTask() = default;

void TDomainTask::DoExecute() {
  if (!FDomainTasks) {
    if (FExecutionProc) FExecutionProc(this);
    return;
  }
  // A task that starts after its domain stopped never looks at the domain.
  if (!FDomainTasks->Enter()) Abort(crCancelled);
  struct TLeave {
    TDomainTasks* Tasks;
    ~TLeave() { Tasks->Leave(); }
  } leave{FDomainTasks.get()};
  // Whatever the closure holds goes before the domain may go.
  const TExecutionProc proc = std::move(FExecutionProc);
  FExecutionProc = nullptr;
  if (proc) proc(this);
}

void TDomainTask::Complete(TCompletionReason AReason, const QString& AMessage) {
  StoreCompletion(AReason, AMessage);
  TPromise* promise = FPromise;
  FPromise = nullptr;
  if (!promise) return;
  promise->SetResults(AReason, AMessage);
  if (promise->Awaited()) {
    promise->FEvent->Signal();
    // The last touch: from here the awaiting party owns and may free it.
    promise->FCompleted.store(true, std::memory_order_release);
  } else {
    delete promise;
  }
}

void TDomainTask::CheckDomainRunning() const {
  if (FDomainTasks && FDomainTasks->Stopped()) throw Exception(QStringLiteral("The domain is stopped"));
}

void TDomainTask::SafeInvoke(const std::function<void()>& AProc) {
  // Checked on the main thread, where the domain stops: between the check and
  // the call nothing can free it.
  auto guarded = [this, &AProc] {
    CheckDomainRunning();
    AProc();
  };
  if (RunsOnExecutor())
    MainThread().InvokeAndWait(guarded);
  else
    guarded();
}

void TDomainTask::SafeSetFieldValue(TUserSession* ASession, TEntity* AEntity, const QString& AFieldName,
                                    const Variant& AValue, TChangeHolder* AHolder) {
  SafeInvoke([&] { ASession->AtomicSetFieldValue(AEntity, AFieldName, AValue, AHolder); });
}

void TDomainTask::SafeSetFieldEntity(TUserSession* ASession, TEntity* AEntity, const QString& AFieldName,
                                     TEntity* AValue, TChangeHolder* AHolder) {
  SafeInvoke([&] { ASession->AtomicSetFieldEntity(AEntity, AFieldName, AValue, AHolder); });
}

void TDomainTask::SafeSetFieldStream(TUserSession* ASession, TEntity* AEntity, const QString& AFieldName,
                                     std::unique_ptr<TStream> AStream, TChangeHolder* AHolder) {
  SafeInvoke([&] { ASession->AtomicSetFieldStream(AEntity, AFieldName, std::move(AStream), AHolder); });
}

bool TDomainTask::SafeAtomicModification(TUserSession* ASession, const TAtomicModificationFunc& AModificationFunc,
                                         TChangeHolder* AParentHolder, bool ASkipLogging) {
  bool result = false;
  SafeInvoke([&] { result = ASession->AtomicModification(AModificationFunc, AParentHolder, ASkipLogging); });
  return result;
}

void TDomainTask::SafeAtomicWrite(TUserSession* ASession, const TAtomicWriteProc& AWriteProc) {
  SafeInvoke([&] { ASession->AtomicWrite(AWriteProc); });
}

// --- running ------------------------------------------------------------------

TPromise* CreateDomainTask(TExecutionProc AExecutionProc, TDomain* ADomain) {
  auto promise = std::make_unique<TPromise>();
  new TDomainTask(promise.get(), std::move(AExecutionProc), ADomain);
  return promise.release();
}

namespace {

void StartAsync(TPromise* APromise, TDomain* ADomain) {
  TTask* task = APromise->Task();
  try {
    task->ExecuteAsync(ADomain ? ADomain->Tasks()->Token() : nullptr);
  } catch (...) {
    // Never posted: neither ends its life by itself.
    delete task;
    if (!APromise->Awaited()) delete APromise;
    throw;
  }
}

}  // namespace

void RunDomainTask(TExecutionProc AExecutionProc) {
  StartAsync(CreateDomainTask(std::move(AExecutionProc)), nullptr);
}

void RunDomainTask(TDomain* ADomain, TExecutionProc AExecutionProc) {
  StartAsync(CreateDomainTask(std::move(AExecutionProc), ADomain), ADomain);
}

std::unique_ptr<TPromise> RunAwaitedDomainTask(TDomain* ADomain, TExecutionProc AExecutionProc) {
  std::unique_ptr<TPromise> promise(CreateDomainTask(std::move(AExecutionProc), ADomain));
  promise->SetAwaited(true);
  StartAsync(promise.get(), ADomain);
  return promise;
}
