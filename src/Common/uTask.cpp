#include "src/Common/uTask.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>

#include "src/Common/uMainThread.h"

static constexpr const char* cModulePath = "src/Common/uTask";

namespace {

// The process-wide engine. Whoever posts holds the lock while it posts, so
// StopTaskEngine, which takes the engine away under the lock, frees it only
// when no other thread can reach it any more.
std::mutex gTaskEngineLock;
TExecutingEngine* gTaskEngine = nullptr;

}  // namespace

// --- events ---------------------------------------------------------------

bool TAutoResetEvent::Wait() {
  std::unique_lock guard(FLock);
  FChanged.wait(guard, [this] { return FSignalled; });
  FSignalled = false;
  return true;
}

void TAutoResetEvent::Signal() {
  // Notified under the lock: a waiter that frees the event as soon as it wakes
  // cannot do so while this call still touches it.
  std::lock_guard guard(FLock);
  FSignalled = true;
  FChanged.notify_one();
}

// --- task -----------------------------------------------------------------

TTask::~TTask() {
  FData = nullptr;
  FCancellationToken.reset();
  FOnProgress = nullptr;
  FOnComplete = nullptr;
}

QString TTask::Message() const {
  std::lock_guard guard(FMessageLock);
  return FMessage;
}

void TTask::Prepare(TCancellationTokenRef ACancellationToken, TTaskEvent AOnProgress, TTaskEvent AOnComplete) {
  bool expected = false;
  if (!FIsBusy.compare_exchange_strong(expected, true)) TV_FAIL(QStringLiteral("This task is executing now"));
  FHeld.store(FNextRun.fetch_add(1) + 1, std::memory_order_release);
  FCancelled.store(false);
  FCancellationToken = std::move(ACancellationToken);
  FOnProgress = std::move(AOnProgress);
  FOnComplete = std::move(AOnComplete);
  std::lock_guard guard(FMessageLock);
  FMessage.clear();
}

void TTask::Execute(TCancellationTokenRef ACancellationToken, TTaskEvent AOnProgress, TTaskEvent AOnComplete) {
  Prepare(std::move(ACancellationToken), std::move(AOnProgress), std::move(AOnComplete));
  Run();
}

void TTask::Unprepare() {
  FCancellationToken.reset();
  FOnProgress = nullptr;
  FOnComplete = nullptr;
  FHeld.store(0, std::memory_order_release);
  FIsBusy.store(false);
}

void TTask::ExecuteAsync(TCancellationTokenRef ACancellationToken, TTaskEvent AOnProgress, TTaskEvent AOnComplete) {
  std::lock_guard guard(gTaskEngineLock);
  TV_ASSERT(gTaskEngine != nullptr, QStringLiteral("Task engine is not started"));
  Prepare(std::move(ACancellationToken), std::move(AOnProgress), std::move(AOnComplete));
  try {
    gTaskEngine->ExecuteTask(this);
  } catch (...) {
    Unprepare();
    throw;
  }
}

void TTask::Run() {
  const bool freeOnComplete = FFreeOnComplete;
  const uint64_t run = FHeld.load(std::memory_order_acquire);
  TExecutor* executor = FThread.load();
  TCompletionReason reason = crDone;
  QString message;
  try {
    DoExecute();
  } catch (const ETaskException& e) {
    reason = e.Reason();
    message = e.Message();
  } catch (const std::exception& e) {
    reason = crError;
    message = ExceptionMessage(e);
  } catch (...) {
    // A thrown non-exception would end the executor thread; it is a task error.
    reason = crError;
    message = QStringLiteral("Unknown error");
  }
  std::exception_ptr callbackError;
  try {
    Complete(reason, message);
  } catch (...) {
    callbackError = std::current_exception();
  }
  // A callback may already have started the next run: only this run's marks
  // are cleared. After the release the owner may free the task at once.
  if (executor != nullptr) FThread.compare_exchange_strong(executor, nullptr);
  if (freeOnComplete) {
    delete this;
  } else {
    uint64_t mine = run;
    FHeld.compare_exchange_strong(mine, 0, std::memory_order_acq_rel);
  }
  if (callbackError) std::rethrow_exception(callbackError);
}

void TTask::CallBack(TTaskEvent ACallback) {
  // A copy: the callback may start the next run, which replaces the task's own.
  if (FThread.load() != nullptr)
    MainThread().InvokeAndWait([&] { ACallback(this); });
  else
    ACallback(this);
}

void TTask::StoreCompletion(TCompletionReason AReason, const QString& AMessage) {
  {
    std::lock_guard guard(FMessageLock);
    FMessage = AMessage;
  }
  FCompletionReason.store(AReason);
  FIsBusy.store(false);
}

void TTask::Complete(TCompletionReason AReason, const QString& AMessage) {
  StoreCompletion(AReason, AMessage);
  if (FOnComplete) CallBack(FOnComplete);
}

bool TTask::IsCancelled() const {
  if (FCancellationToken) return FCancellationToken->Cancelled();
  return FCancelled.load();
}

void TTask::ReportProgress(uint32_t AProgress, uint32_t AMax, const QString& AMessage) {
  if (!FOnProgress) return;
  FProgress.store(AProgress);
  FMax.store(AMax);
  {
    std::lock_guard guard(FMessageLock);
    FMessage = AMessage;
  }
  CallBack(FOnProgress);
}

// --- event wait task --------------------------------------------------------

void TEventWaitTask::DoExecute() {
  while (!IsCancelled()) {
    if (FEvent->Wait() && !IsCancelled()) ReportProgress(0, 0, QString());
  }
}

void TEventWaitTask::Cancel() {
  TTask::Cancel();
  FEvent->Signal();
}

// --- executor ---------------------------------------------------------------

TExecutor::TExecutor(TExecutingEngine* AEngine) : FEngine(AEngine) {}

TExecutor::~TExecutor() {
  if (FThread.joinable()) FThread.join();
  Log(QStringLiteral("Executor destroyed"));
}

void TExecutor::Start() {
  FThread = std::thread([this] { Execute(); });
  FThreadId = FThread.get_id();
}

void TExecutor::Log(const QString& AMessage) const {
  if (!FEngine->FOnEvent) return;
  const auto id = std::hash<std::thread::id>()(FThreadId);
  FEngine->FOnEvent(QStringLiteral("THREAD #%1 %2").arg(static_cast<qulonglong>(id)).arg(AMessage));
}

void TExecutor::Execute() {
  FThreadId = std::this_thread::get_id();
  Log(QStringLiteral("Executor created"));
  while (!FTerminated.load()) {
    const TExecutingEngine::TPacket packet = FEngine->TakePacket();
    if (packet.Key != 1 || packet.Task == nullptr) {
      Log(QStringLiteral("request of exit"));
      FTerminated.store(true);
      break;
    }
    Log(QStringLiteral("takes a task"));
    packet.Task->FThread.store(this);
    try {
      packet.Task->Run();  // Run clears FThread itself; the task may be freed by now
    } catch (const std::exception& e) {
      Log(QStringLiteral("task callback failed: %1").arg(ExceptionMessage(e)));
    } catch (...) {
      Log(QStringLiteral("task callback failed"));
    }
    Log(QStringLiteral("task executed"));
  }
}

// --- engine -----------------------------------------------------------------

int TExecutingEngine::ThreadCountFor(int ARequested, int AProcessorCount) {
  return std::max(ARequested, AProcessorCount);
}

TExecutingEngine::TExecutingEngine(int ARunnableThreadCount, TMessageEvent AOnEvent)
    : FRunnableThreadCount(ThreadCountFor(ARunnableThreadCount, static_cast<int>(std::thread::hardware_concurrency()))),
      FOnEvent(std::move(AOnEvent)) {
  Log(QStringLiteral("ENGINE CREATED"));
  std::lock_guard guard(FThreadsLock);
  for (int i = 0; i < FRunnableThreadCount; ++i) {
    FThreads.push_back(std::make_unique<TExecutor>(this));
    FThreads.back()->Start();
  }
}

TExecutingEngine::~TExecutingEngine() {
  std::unique_lock guard(FThreadsLock);
  {
    // A task queued behind the exit requests would never run and stay busy.
    std::lock_guard queueGuard(FQueueLock);
    FStopping = true;
    for (size_t i = 0; i < FThreads.size(); ++i) FQueue.push_back({0, nullptr});
  }
  FQueueChanged.notify_all();
  auto allEnded = [this] {
    for (auto it = FThreads.end(); it != FThreads.begin();) {
      --it;
      if ((*it)->Terminated()) it = FThreads.erase(it);  // joins the thread
    }
    return FThreads.empty();
  };
  // Tasks posted before the exit requests still run; their callbacks need the
  // main thread, so it keeps draining its queue while it waits.
  if (MainThread().IsMainThread()) {
    MainThread().WaitUntil(allEnded);
  } else {
    while (!allEnded()) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  Log(QStringLiteral("ENGINE DESTROYED"));
}

void TExecutingEngine::Log(const QString& AMessage) const {
  if (FOnEvent) FOnEvent(QStringLiteral("INPUT/OUTPUT PORT: ") + AMessage);
}

void TExecutingEngine::ExecuteTask(TTask* ATask) {
  {
    std::lock_guard guard(FQueueLock);
    TV_ASSERT(!FStopping, QStringLiteral("Task engine is not started"));
    FQueue.push_back({1, ATask});
  }
  FQueueChanged.notify_one();
}

TExecutingEngine::TPacket TExecutingEngine::TakePacket() {
  std::unique_lock guard(FQueueLock);
  FQueueChanged.wait(guard, [this] { return !FQueue.empty(); });
  TPacket packet = FQueue.front();
  FQueue.pop_front();
  return packet;
}

// --- global engine ----------------------------------------------------------

bool TaskEngineStarted() {
  std::lock_guard guard(gTaskEngineLock);
  return gTaskEngine != nullptr;
}

void StartTaskEngine(TMessageEvent AOnEvent) {
  std::lock_guard guard(gTaskEngineLock);
  if (gTaskEngine == nullptr) gTaskEngine = new TExecutingEngine(6, std::move(AOnEvent));
}

void StopTaskEngine() {
  TExecutingEngine* engine = nullptr;
  {
    std::lock_guard guard(gTaskEngineLock);
    std::swap(engine, gTaskEngine);
  }
  // Freed outside the lock: callbacks drained meanwhile may try to start tasks,
  // and are refused rather than blocked.
  delete engine;
}
