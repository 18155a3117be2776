#pragma once

#include <QString>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "src/Platform/uException.h"

enum TCompletionReason { crNone = 0, crDone = 1, crCancelled = 2, crError = 3 };

class TTask;
class TExecutor;
class TExecutingEngine;

using TTaskEvent = std::function<void(TTask*)>;
using TMessageEvent = std::function<void(const QString&)>;

// Shared by the tasks of one run; a task keeps it alive while it holds it.
class TCancellationToken {
 public:
  ~TCancellationToken() { Cancel(); }
  void Cancel() { FCancelled.store(true); }
  bool Cancelled() const { return FCancelled.load(); }

 private:
  std::atomic<bool> FCancelled{false};
};
using TCancellationTokenRef = std::shared_ptr<TCancellationToken>;

// Raised in a task body to end the task with a reason.
class ETaskException : public Exception {
 public:
  explicit ETaskException(TCompletionReason AReason) : Exception(QString()), FReason(AReason) {}
  TCompletionReason Reason() const { return FReason; }

 private:
  TCompletionReason FReason;
};

// A waitable kernel-like event: Wait blocks until Signal (auto-reset).
class TWaitableEvent {
 public:
  virtual ~TWaitableEvent() = default;
  // False when the wait itself failed.
  virtual bool Wait() = 0;
  virtual void Signal() = 0;
};

// In-process auto-reset event.
class TAutoResetEvent : public TWaitableEvent {
 public:
  bool Wait() override;
  void Signal() override;

 private:
  std::mutex FLock;
  std::condition_variable FChanged;
  bool FSignalled = false;
};

class TTask {
 public:
  TTask() = default;
  TTask(const TTask&) = delete;
  TTask& operator=(const TTask&) = delete;
  virtual ~TTask();

  // Runs the task on the calling thread and returns after completion.
  void Execute(TCancellationTokenRef ACancellationToken = nullptr, TTaskEvent AOnProgress = nullptr,
               TTaskEvent AOnComplete = nullptr);
  // Hands the task to the process-wide engine and returns at once.
  void ExecuteAsync(TCancellationTokenRef ACancellationToken = nullptr, TTaskEvent AOnProgress = nullptr,
                    TTaskEvent AOnComplete = nullptr);
  virtual void Cancel() { FCancelled.store(true); }

  void SetData(void* AData) { FData = AData; }
  void* Data() const { return FData; }
  QString Message() const;
  TCompletionReason CompletionReason() const { return FCompletionReason.load(); }
  uint32_t Progress() const { return FProgress.load(); }
  uint32_t Max() const { return FMax.load(); }
  bool IsBusy() const { return FIsBusy.load(); }
  // True from the start of a run until whoever ran it has stopped touching the
  // task: only then may the owner free it.
  bool IsHeld() const { return FHeld.load(std::memory_order_acquire) != 0; }

 protected:
  virtual void Complete(TCompletionReason AReason, const QString& AMessage);
  virtual void DoExecute() {}

  bool IsCancelled() const;
  void ReportProgress(uint32_t AProgress, uint32_t AMax, const QString& AMessage);
  [[noreturn]] void Abort(TCompletionReason AReason) { throw ETaskException(AReason); }
  void SetFreeOnComplete(bool AValue) { FFreeOnComplete = AValue; }
  // Runs ACallback on the main thread when the task runs on an executor.
  void CallBack(TTaskEvent ACallback);
  // True while an executor thread runs the task.
  bool RunsOnExecutor() const { return FThread.load() != nullptr; }
  // Keeps the outcome and ends the busy state: what every Complete does first.
  void StoreCompletion(TCompletionReason AReason, const QString& AMessage);

 private:
  friend class TExecutor;
  void Prepare(TCancellationTokenRef ACancellationToken, TTaskEvent AOnProgress, TTaskEvent AOnComplete);
  void Unprepare();  // undoes Prepare when the task could not be posted
  void Run();

  void* FData = nullptr;
  mutable std::mutex FMessageLock;
  QString FMessage;
  std::atomic<TCompletionReason> FCompletionReason{crNone};
  std::atomic<uint32_t> FProgress{0};
  std::atomic<uint32_t> FMax{0};
  TTaskEvent FOnProgress;
  TTaskEvent FOnComplete;
  std::atomic<bool> FCancelled{false};
  std::atomic<TExecutor*> FThread{nullptr};
  std::atomic<bool> FIsBusy{false};
  bool FFreeOnComplete = false;
  TCancellationTokenRef FCancellationToken;
  std::atomic<uint64_t> FHeld{0};  // id of the run in progress, 0 when none
  std::atomic<uint64_t> FNextRun{0};
};

// Waits on an event until cancelled; every wake-up is a progress report.
class TEventWaitTask : public TTask {
 public:
  explicit TEventWaitTask(TWaitableEvent* AEvent) : FEvent(AEvent) {}
  void Cancel() override;

 protected:
  void DoExecute() override;

 private:
  TWaitableEvent* FEvent;  // not owned
};

// A worker thread of the engine.
class TExecutor {
 public:
  explicit TExecutor(TExecutingEngine* AEngine);
  ~TExecutor();  // waits for the thread to end
  void Start();
  bool Terminated() const { return FTerminated.load(); }
  std::thread::id ThreadId() const { return FThreadId; }

 private:
  void Execute();
  void Log(const QString& AMessage) const;

  TExecutingEngine* FEngine;
  std::thread FThread;
  std::thread::id FThreadId;
  std::atomic<bool> FTerminated{false};
};

// Pool of executors fed from one FIFO queue; any thread may post.
class TExecutingEngine {
 public:
  TExecutingEngine(int ARunnableThreadCount, TMessageEvent AOnEvent);
  ~TExecutingEngine();
  TExecutingEngine(const TExecutingEngine&) = delete;
  TExecutingEngine& operator=(const TExecutingEngine&) = delete;

  // Fails (and leaves the task untouched) once the engine is shutting down.
  void ExecuteTask(TTask* ATask);
  int RunnableThreadCount() const { return FRunnableThreadCount; }
  // The larger of the requested count and the processor count.
  static int ThreadCountFor(int ARequested, int AProcessorCount);

 private:
  friend class TExecutor;
  struct TPacket {
    int Key;  // 1 = run the task, anything else = exit request
    TTask* Task;
  };
  TPacket TakePacket();
  void Log(const QString& AMessage) const;

  int FRunnableThreadCount;
  std::mutex FThreadsLock;
  std::vector<std::unique_ptr<TExecutor>> FThreads;
  TMessageEvent FOnEvent;
  std::mutex FQueueLock;
  std::condition_variable FQueueChanged;
  std::deque<TPacket> FQueue;
  bool FStopping = false;  // under FQueueLock: exit requests are posted
};

// The process-wide engine between StartTaskEngine and StopTaskEngine. It is
// reached only through ExecuteAsync, under a lock that StopTaskEngine takes
// before it frees the engine, so no thread ever holds a pointer to a freed one.
// The program's start-up owns its life; nothing else stops it.
bool TaskEngineStarted();
void StartTaskEngine(TMessageEvent AOnEvent = nullptr);
// Frees the engine (draining the main-thread queue while executors finish);
// harmless when no engine runs. Tasks posted before it still run; a later
// ExecuteAsync fails with "Task engine is not started".
void StopTaskEngine();
