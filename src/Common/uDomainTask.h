#pragma once

#include <QString>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>

#include "src/Common/uTask.h"
#include "src/Platform/Domain/uSession.h"
#include "src/Platform/uVariant.h"

class TChangeHolder;
class TDomain;
class TDomainTask;
class TEntity;
class TStream;

using TExecutionProc = std::function<void(TDomainTask*)>;

// What a domain shares with the tasks it started: how many of them run, the
// token that cancels them, and whether the domain has stopped. A task holds it
// by reference count, so a worker asks a stopped domain's state, never a freed
// domain.
class TDomainTasks {
 public:
  TDomainTasks() : FToken(std::make_shared<TCancellationToken>()) {}
  TDomainTasks(const TDomainTasks&) = delete;
  TDomainTasks& operator=(const TDomainTasks&) = delete;

  // Counts a starting task in; false once the domain has stopped.
  bool Enter();
  void Leave();
  bool Stopped() const { return FStopped.load(); }
  int RunningCount() const;
  const TCancellationTokenRef& Token() const { return FToken; }
  // Main thread: refuses new tasks and safe operations, cancels the running
  // ones and waits for them to end, running their main-thread calls meanwhile.
  void StopAndWait();

 private:
  mutable std::mutex FLock;
  std::atomic<bool> FStopped{false};
  int FRunning = 0;  // under FLock
  TCancellationTokenRef FToken;
};
using TDomainTasksRef = std::shared_ptr<TDomainTasks>;

// How a domain task ended.
class TPromise {
 public:
  TPromise();
  ~TPromise();
  TPromise(const TPromise&) = delete;
  TPromise& operator=(const TPromise&) = delete;

  TTask* Task() const { return FTask.load(); }
  TWaitableEvent* Event() const { return FEvent.get(); }
  QString Message() const;
  TCompletionReason CompletionReason() const { return FCompletionReason.load(); }
  bool Awaited() const { return FAwaited.load(); }
  // Set before the task runs: the task then signals the event and leaves the
  // promise to whoever waits for it, instead of freeing it.
  void SetAwaited(bool AValue) { FAwaited.store(AValue); }
  void SetResults(TCompletionReason ACompletionReason, const QString& AMessage);
  // Waits until the task has completed; the main thread runs the task's
  // main-thread calls meanwhile. False when ATimeout passed first (zero = no
  // limit). Needs SetAwaited(true) before the run.
  bool Await(std::chrono::milliseconds ATimeout = std::chrono::milliseconds(0));

 private:
  friend class TDomainTask;
  std::atomic<TTask*> FTask{nullptr};
  std::unique_ptr<TWaitableEvent> FEvent;
  mutable std::mutex FLock;
  QString FMessage;
  std::atomic<TCompletionReason> FCompletionReason{crNone};
  std::atomic<bool> FAwaited{false};
  std::atomic<bool> FCompleted{false};
};

// A closure run on an executor thread that changes the domain only through
// safe operations: each runs on the main thread while the worker waits.
// The task frees itself when it has completed.
class TDomainTask : public TTask {
 public:
  // With ADomain the task counts as one the domain started: the domain waits
  // for it before it frees its data, and a safe operation after the domain
  // stopped raises in the worker.
  TDomainTask(TPromise* APromise, TExecutionProc AExecutionProc, TDomain* ADomain = nullptr);
  ~TDomainTask() override;

  TPromise* Promise() const { return FPromise; }
  // True when the run's token (the domain's, for a domain's task) or the task
  // itself was cancelled; closures poll it between steps.
  using TTask::IsCancelled;

  // On an executor, runs AProc on the main thread and waits for it (its
  // exception is raised here); otherwise runs it directly.
  void SafeInvoke(const std::function<void()>& AProc);

  // The session's atomic operations, each run through SafeInvoke.
  void SafeSetFieldValue(TUserSession* ASession, TEntity* AEntity, const QString& AFieldName, const Variant& AValue,
                         TChangeHolder* AHolder);
  void SafeSetFieldEntity(TUserSession* ASession, TEntity* AEntity, const QString& AFieldName, TEntity* AValue,
                          TChangeHolder* AHolder);
  void SafeSetFieldStream(TUserSession* ASession, TEntity* AEntity, const QString& AFieldName,
                          std::unique_ptr<TStream> AStream, TChangeHolder* AHolder);
  // The modification's answer: false when it refused or raised.
  bool SafeAtomicModification(TUserSession* ASession, const TAtomicModificationFunc& AModificationFunc,
                              TChangeHolder* AParentHolder = nullptr, bool ASkipLogging = false);
  void SafeAtomicWrite(TUserSession* ASession, const TAtomicWriteProc& AWriteProc);

 protected:
  void Complete(TCompletionReason AReason, const QString& AMessage) override;
  void DoExecute() override;

 private:
  void CheckDomainRunning() const;

  TExecutionProc FExecutionProc;
  TPromise* FPromise;
  TDomainTasksRef FDomainTasks;  // none for a task of no domain
};

// A promise and a domain task bound to it; nothing runs yet.
TPromise* CreateDomainTask(TExecutionProc AExecutionProc, TDomain* ADomain = nullptr);
// Runs a new domain task asynchronously; the promise and the task end their
// lives by themselves.
void RunDomainTask(TExecutionProc AExecutionProc);
// The same for a task of ADomain, which the domain cancels through its token
// and waits for before it frees its data.
void RunDomainTask(TDomain* ADomain, TExecutionProc AExecutionProc);
// Runs a task of ADomain and hands its promise to the caller, who may Await it.
std::unique_ptr<TPromise> RunAwaitedDomainTask(TDomain* ADomain, TExecutionProc AExecutionProc);
