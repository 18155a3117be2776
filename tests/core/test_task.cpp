#include <gtest/gtest.h>

#include <QMutex>
#include <QRegularExpression>
#include <QStringList>
#include <atomic>
#include <stdexcept>

#include "src/Common/uMainThread.h"
#include "src/Common/uTask.h"
#include "support/TestEnv.h"

namespace {

// A task whose body is a closure; it can report progress from inside.
class TProbeTask : public TTask {
 public:
  explicit TProbeTask(std::function<void(TProbeTask&)> ABody) : FBody(std::move(ABody)) {}
  void Report(uint32_t AProgress) { ReportProgress(AProgress, 10, QString("step %1").arg(AProgress)); }
  bool Cancelled() const { return IsCancelled(); }
  [[noreturn]] void Stop(TCompletionReason AReason) { Abort(AReason); }
  void FreeOnComplete() { SetFreeOnComplete(true); }
  std::function<void()> OnDestroy;
  ~TProbeTask() override {
    if (OnDestroy) OnDestroy();
  }

 protected:
  void DoExecute() override {
    if (FBody) FBody(*this);
  }

 private:
  std::function<void(TProbeTask&)> FBody;
};

class TaskEngineTest : public ::testing::Test {
 protected:
  void SetUp() override { StartTaskEngine(); }
  void TearDown() override { StopTaskEngine(); }
  static bool Wait(const std::function<bool()>& ADone) {
    return MainThread().WaitUntil(ADone, std::chrono::milliseconds(5), std::chrono::milliseconds(10000));
  }
};

}  // namespace

TEST(Task, ExecuteTurnsFailuresIntoReasonAndMessage) {
  const struct {
    const char* Name;
    std::function<void(TProbeTask&)> Body;
    TCompletionReason Reason;
    QString Message;
  } cases[] = {
      {"done", [](TProbeTask&) {}, crDone, ""},
      {"std exception", [](TProbeTask&) { throw std::runtime_error("disk is full"); }, crError, "disk is full"},
      {"platform exception", [](TProbeTask&) { throw EInOutError("Нет файла"); }, crError, "Нет файла"},
      {"abort", [](TProbeTask& t) { t.Stop(crCancelled); }, crCancelled, ""},
      {"non-exception", [](TProbeTask&) { throw 42; }, crError, "Unknown error"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TProbeTask task(c.Body);
    bool busyInCallback = true;
    int completions = 0;
    task.Execute(nullptr, nullptr, [&](TTask* t) {
      busyInCallback = t->IsBusy();
      ++completions;
    });
    EXPECT_EQ(task.CompletionReason(), c.Reason) << c.Name;
    EXPECT_EQ(task.Message(), c.Message) << c.Name;
    EXPECT_EQ(completions, 1) << c.Name;
    EXPECT_FALSE(busyInCallback) << c.Name;
    EXPECT_FALSE(task.IsHeld()) << c.Name;
  }
}

TEST(Task, ExecutorCountIsAtLeastSix) {
  EXPECT_EQ(TExecutingEngine::ThreadCountFor(6, 16), 16);
  EXPECT_EQ(TExecutingEngine::ThreadCountFor(6, 2), 6);
  TExecutingEngine engine(6, nullptr);
  EXPECT_GE(engine.RunnableThreadCount(), 6);
}

TEST_F(TaskEngineTest, StartingABusyTaskFailsWithTheBusyAssertion) {
  TAutoResetEvent release;
  TProbeTask task([&](TProbeTask&) { release.Wait(); });
  task.ExecuteAsync();
  try {
    task.ExecuteAsync();
    FAIL() << "no assertion";
  } catch (const EAssertionFailed& e) {
    EXPECT_TRUE(e.Message().startsWith("This task is executing now (src/Common/uTask, line ")) << e.what();
  }
  release.Signal();
  ASSERT_TRUE(Wait([&] { return !task.IsHeld(); }));
  EXPECT_EQ(task.CompletionReason(), crDone);
}

TEST_F(TaskEngineTest, CallbacksRunOnTheMainThreadWhileTheWorkerWaits) {
  QStringList events;
  bool allOnMain = true;
  std::atomic<bool> workerResumed{false};
  TProbeTask task([&](TProbeTask& t) {
    t.Report(1);
    t.Report(2);
    workerResumed = true;
  });
  task.ExecuteAsync(
      nullptr,
      [&](TTask* t) {
        allOnMain = allOnMain && MainThread().IsMainThread();
        events << QString("progress %1/%2 %3").arg(t->Progress()).arg(t->Max()).arg(t->Message());
      },
      [&](TTask* t) {
        allOnMain = allOnMain && MainThread().IsMainThread();
        events << QString("complete %1").arg(t->CompletionReason());
      });
  ASSERT_TRUE(Wait([&] { return !task.IsHeld(); }));
  EXPECT_TRUE(workerResumed);
  EXPECT_TRUE(allOnMain);
  EXPECT_EQ(events, QStringList({"progress 1/10 step 1", "progress 2/10 step 2", "complete 1"}));
}

TEST_F(TaskEngineTest, CancellationWakesAnEventWaitAndEndsItDone) {
  TAutoResetEvent event;
  TEventWaitTask task(&event);
  int wakes = 0;
  bool completed = false;
  task.ExecuteAsync(
      nullptr, [&](TTask*) { ++wakes; }, [&](TTask*) { completed = true; });
  event.Signal();
  ASSERT_TRUE(Wait([&] { return wakes == 1; }));
  event.Signal();
  ASSERT_TRUE(Wait([&] { return wakes == 2; }));
  task.Cancel();
  ASSERT_TRUE(Wait([&] { return !task.IsHeld(); }));
  EXPECT_TRUE(completed);
  EXPECT_EQ(task.CompletionReason(), crDone);
  EXPECT_EQ(wakes, 2);
}

TEST_F(TaskEngineTest, ASharedTokenCancelsEveryTaskAndOutlivesItsCreator) {
  auto token = std::make_shared<TCancellationToken>();
  std::vector<std::unique_ptr<TProbeTask>> tasks;
  for (int i = 0; i < 3; ++i) {
    tasks.push_back(std::make_unique<TProbeTask>([](TProbeTask& t) {
      while (!t.Cancelled()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      t.Stop(crCancelled);
    }));
    tasks.back()->ExecuteAsync(token);
  }
  token->Cancel();
  token.reset();  // the tasks keep theirs
  ASSERT_TRUE(Wait([&] {
    for (auto& t : tasks)
      if (t->IsHeld()) return false;
    return true;
  }));
  for (auto& t : tasks) EXPECT_EQ(t->CompletionReason(), crCancelled);
}

TEST_F(TaskEngineTest, ATaskFreedOnCompletionIsNotTouchedAfterwards) {
  std::atomic<int> destroyed{0};
  std::atomic<int> completed{0};
  for (int i = 0; i < 50; ++i) {
    auto* task = new TProbeTask([](TProbeTask& t) { t.Report(1); });
    task->FreeOnComplete();
    task->OnDestroy = [&] { ++destroyed; };
    task->ExecuteAsync(
        nullptr, [](TTask*) {}, [&](TTask*) { ++completed; });
  }
  ASSERT_TRUE(Wait([&] { return destroyed == 50; }));
  EXPECT_EQ(completed, 50);
}

// Shut-down with tasks queued and running: each still runs, its callbacks
// reach the main thread, and StopTaskEngine returns.
TEST(TaskEngineShutdown, RunsQueuedTasksAndDrainsCallbacks) {
  QStringList log;
  std::atomic<int> logged{0};
  StartTaskEngine([&](const QString& AText) {
    static QMutex lock;
    QMutexLocker guard(&lock);
    log << AText;
    ++logged;
  });
  std::vector<std::unique_ptr<TProbeTask>> tasks;
  int progressCalls = 0;
  int completions = 0;
  for (int i = 0; i < 20; ++i) {
    tasks.push_back(std::make_unique<TProbeTask>([](TProbeTask& t) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      t.Report(1);
    }));
    tasks.back()->ExecuteAsync(
        nullptr, [&](TTask*) { ++progressCalls; }, [&](TTask*) { ++completions; });
  }
  StopTaskEngine();
  StopTaskEngine();  // harmless
  EXPECT_FALSE(TaskEngineStarted());
  EXPECT_EQ(progressCalls, 20);
  EXPECT_EQ(completions, 20);
  for (auto& t : tasks) EXPECT_FALSE(t->IsHeld());
  EXPECT_EQ(log.first(), "INPUT/OUTPUT PORT: ENGINE CREATED");
  EXPECT_EQ(log.last(), "INPUT/OUTPUT PORT: ENGINE DESTROYED");
  EXPECT_EQ(log.filter(QRegularExpression("^THREAD #\\d+ takes a task$")).size(), 20);
  EXPECT_EQ(log.filter(QRegularExpression("^THREAD #\\d+ request of exit$")).size(),
            log.filter("Executor destroyed").size());
}

TEST(MainThreadDispatcher, InvokeAndWaitRaisesTheMainThreadsExceptionInTheWorker) {
  QString caught;
  std::thread worker([&] {
    try {
      MainThread().InvokeAndWait([] { throw EInOutError("refused"); });
    } catch (const EInOutError& e) {
      caught = e.Message();
    }
  });
  MainThread().WaitUntil([&] { return !caught.isEmpty(); }, std::chrono::milliseconds(5),
                         std::chrono::milliseconds(5000));
  worker.join();
  EXPECT_EQ(caught, "refused");
}

// A thread of its own keeps starting tasks while the engine goes: every task
// the engine took still runs, the others are refused, and nothing reads the
// engine after it is freed.
TEST(TaskEngineShutdown, StartsFromAnotherThreadDuringStopAreRunOrRefused) {
  for (int round = 0; round < 20; ++round) {
    SCOPED_TRACE(round);
    StartTaskEngine();
    std::atomic<bool> stop{false};
    std::atomic<int> accepted{0};
    std::atomic<int> refused{0};
    std::atomic<int> destroyed{0};
    std::thread starter([&] {
      while (!stop) {
        auto* task = new TProbeTask(nullptr);
        task->FreeOnComplete();
        task->OnDestroy = [&] { ++destroyed; };
        try {
          task->ExecuteAsync();
          ++accepted;
        } catch (const EAssertionFailed&) {
          ++refused;
          delete task;
        }
      }
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    StopTaskEngine();
    stop = true;
    starter.join();
    EXPECT_FALSE(TaskEngineStarted());
    EXPECT_EQ(destroyed.load(), accepted.load() + refused.load());
  }
}

TEST(TaskEngineShutdown, OnlyStopTaskEngineEndsTheEngine) {
  StartTaskEngine();
  StartTaskEngine();  // a second start keeps the running engine
  EXPECT_TRUE(TaskEngineStarted());
  StopTaskEngine();
  EXPECT_FALSE(TaskEngineStarted());
  StopTaskEngine();
}
