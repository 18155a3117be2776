// Domain tasks: closures on executor threads whose domain changes run on the
// main thread while the worker waits. Run under ASan: workers and the domain
// they change meet only on the main thread.
#include <atomic>
#include <thread>

#include "DomainDesk.h"
#include "src/Common/uDomainTask.h"
#include "src/Common/uMainThread.h"
#include "src/Platform/uException.h"

namespace {

constexpr std::chrono::milliseconds cLongEnough{20000};

class DomainTasks : public TDomainTest {
 protected:
  void SetUp() override {
    TDomainTest::SetUp();
    StartTaskEngine();
  }
  void TearDown() override {
    StopTaskEngine();
    TDomainTest::TearDown();
  }
  // Frees the domain the way the platform does: sessions first.
  void FreeDomain() {
    FHolder.reset();
    FSession.reset();
    FAdminSession.reset();
    FDomain.reset();
  }
};

TEST_F(DomainTasks, ManyWorkersChangeTheDomainInOrderThroughTheMainThread) {
  constexpr int cTasks = 8;
  constexpr int cSteps = 200;
  std::vector<TEntity*> things;
  for (int i = 0; i < cTasks; ++i) things.push_back(Add("Things", QStringLiteral("t%1").arg(i)));
  // Touched on the main thread only; a worker that changed data itself would
  // race here and be reported.
  std::vector<std::vector<int>> seen(cTasks);
  std::vector<std::unique_ptr<TPromise>> promises;
  for (int i = 0; i < cTasks; ++i)
    promises.push_back(RunAwaitedDomainTask(FDomain.get(), [&, i](TDomainTask* ATask) {
      for (int step = 0; step < cSteps; ++step)
        ATask->SafeInvoke([&, i, step] {
          EXPECT_TRUE(MainThread().IsMainThread());
          Set(things[static_cast<size_t>(i)], "Qty", step);
          seen[static_cast<size_t>(i)].push_back(step);
        });
    }));
  for (auto& promise : promises) {
    ASSERT_TRUE(promise->Await(cLongEnough));
    EXPECT_EQ(promise->CompletionReason(), crDone) << promise->Message().toStdString();
    EXPECT_EQ(promise->Task(), nullptr);
  }
  std::vector<int> expected(cSteps);
  for (int step = 0; step < cSteps; ++step) expected[static_cast<size_t>(step)] = step;
  for (int i = 0; i < cTasks; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(seen[static_cast<size_t>(i)], expected);
    EXPECT_EQ(VarAsInteger(things[static_cast<size_t>(i)]->GetFieldValue("Qty")), cSteps - 1);
  }
}

TEST_F(DomainTasks, AClosureThatRaisesKeepsWhatItsSafeOperationsDid) {
  TEntity* thing = Add("Things", "t");
  auto promise = RunAwaitedDomainTask(FDomain.get(), [&](TDomainTask* ATask) {
    ATask->SafeInvoke([&] { Set(thing, "Qty", 1); });
    ATask->SafeInvoke([&] { Set(thing, "Name", "renamed"); });
    throw Exception("bank is offline");
  });
  ASSERT_TRUE(promise->Await(cLongEnough));
  EXPECT_EQ(promise->CompletionReason(), crError);
  EXPECT_EQ(promise->Message(), "bank is offline");
  EXPECT_EQ(VarAsInteger(thing->GetFieldValue("Qty")), 1);
  EXPECT_EQ(VarToStr(thing->GetFieldValue("Name")), "renamed");
}

TEST_F(DomainTasks, AFailingSafeOperationRaisesInTheWorker) {
  QString caught;
  bool onWorker = false;
  auto promise = RunAwaitedDomainTask(FDomain.get(), [&](TDomainTask* ATask) {
    try {
      ATask->SafeInvoke([] { throw Exception("refused"); });
    } catch (const Exception& e) {
      caught = e.Message();
      onWorker = !MainThread().IsMainThread();
    }
  });
  ASSERT_TRUE(promise->Await(cLongEnough));
  EXPECT_EQ(caught, "refused");
  EXPECT_TRUE(onWorker);
  EXPECT_EQ(promise->CompletionReason(), crDone);
}

TEST_F(DomainTasks, ARunOnTheMainThreadCallsItsSafeOperationsDirectly) {
  TEntity* thing = Add("Things", "t");
  std::unique_ptr<TPromise> promise(CreateDomainTask(
      [&](TDomainTask* ATask) { ATask->SafeInvoke([&] { Set(thing, "Qty", MainThread().IsMainThread() ? 7 : -1); }); },
      FDomain.get()));
  promise->SetAwaited(true);
  promise->Task()->Execute();  // the task frees itself; the promise stays ours
  EXPECT_EQ(promise->CompletionReason(), crDone);
  EXPECT_EQ(VarAsInteger(thing->GetFieldValue("Qty")), 7);
}

TEST_F(DomainTasks, AnUnawaitedTaskEndsItsOwnLifeAndItsPromisesToo) {
  std::atomic<bool> ran{false};
  RunDomainTask(FDomain.get(), [&](TDomainTask* ATask) {
    ATask->SafeInvoke([] {});
    ran = true;
  });
  ASSERT_TRUE(MainThread().WaitUntil([&] { return ran.load() && FDomain->Tasks()->RunningCount() == 0; },
                                     std::chrono::milliseconds(5), cLongEnough));
  // Leak checking at exit reports a promise or task that stayed behind.
}

// The domain goes while its task still runs: it cancels the task, runs (and
// refuses) the safe operations that wait for it, and frees its data only when
// the task has ended.
TEST_F(DomainTasks, ADomainFreedWhileItsTaskRunsWaitsForItAndRefusesItsSafeOperations) {
  TEntity* thing = Add("Things", "t");
  std::atomic<int> done{0};
  QString refusal;
  // Ignores cancellation on purpose: only the refused safe operation ends it.
  auto promise = RunAwaitedDomainTask(FDomain.get(), [&](TDomainTask* ATask) {
    try {
      for (int step = 0;; ++step) {
        ATask->SafeInvoke([&, step] { thing->_SetFieldValue(nullptr, "Qty", step); });
        ++done;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
    } catch (const Exception& e) {
      refusal = e.Message();
    }
  });
  ASSERT_TRUE(MainThread().WaitUntil([&] { return done.load() >= 3; }, std::chrono::milliseconds(1), cLongEnough));
  FreeDomain();
  ASSERT_TRUE(promise->Await(cLongEnough));
  EXPECT_EQ(refusal, "The domain is stopped");
  EXPECT_EQ(promise->CompletionReason(), crDone);
}

TEST_F(DomainTasks, ADomainFreedWhileItsTaskWaitsCancelsItThroughItsToken) {
  std::atomic<bool> started{false};
  auto promise = RunAwaitedDomainTask(FDomain.get(), [&](TDomainTask* ATask) {
    started = true;
    while (!ATask->IsCancelled()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ATask->SafeInvoke([] { ADD_FAILURE() << "a safe operation ran on a freed domain"; });
  });
  ASSERT_TRUE(MainThread().WaitUntil([&] { return started.load(); }, std::chrono::milliseconds(1), cLongEnough));
  FreeDomain();
  ASSERT_TRUE(promise->Await(cLongEnough));
  EXPECT_EQ(promise->CompletionReason(), crError);
  EXPECT_EQ(promise->Message(), "The domain is stopped");
}

TEST_F(DomainTasks, ATaskThatStartsAfterItsDomainStoppedNeverRunsItsClosure) {
  std::shared_ptr<TDomainTasks> tasks = FDomain->Tasks();
  tasks->StopAndWait();
  std::atomic<bool> ran{false};
  auto promise = RunAwaitedDomainTask(FDomain.get(), [&](TDomainTask*) { ran = true; });
  ASSERT_TRUE(promise->Await(cLongEnough));
  EXPECT_FALSE(ran);
  EXPECT_EQ(promise->CompletionReason(), crCancelled);
}

}  // namespace
