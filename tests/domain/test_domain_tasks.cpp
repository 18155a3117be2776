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
  for (int i = 0; i < cTasks; ++i) things.push_back(Stored("Things", 100 + i, QStringLiteral("t%1").arg(i)));
  // Touched on the main thread only; a worker that changed data itself would
  // race here and be reported.
  std::vector<std::vector<int>> seen(cTasks);
  std::vector<std::unique_ptr<TPromise>> promises;
  for (int i = 0; i < cTasks; ++i)
    promises.push_back(RunAwaitedDomainTask(FDomain.get(), [&, i](TDomainTask* ATask) {
      TEntity* thing = things[static_cast<size_t>(i)];
      for (int step = 0; step < cSteps; ++step) {
        const bool accepted = ATask->SafeAtomicModification(FSession.get(), [&, i, step](TChangeHolder* AHolder) {
          EXPECT_TRUE(MainThread().IsMainThread());
          AHolder->SetFieldValue(thing, "Qty", step + 1);  // 0 would be no change
          seen[static_cast<size_t>(i)].push_back(step);
          return true;
        });
        if (!accepted) throw Exception(QStringLiteral("step %1 refused").arg(step));
      }
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
    EXPECT_EQ(VarAsInteger(things[static_cast<size_t>(i)]->GetFieldValue("Qty")), cSteps);
    EXPECT_EQ(FStorage->Tables["things"][100 + i].Values.value("qty"), Variant(cSteps));
  }
  // One change-log record per modification.
  EXPECT_EQ(FStorage->Tables["sys_log"].size(), cTasks * cSteps);
  EXPECT_FALSE(FDomain->Lock()->Locked());
}

TEST_F(DomainTasks, AClosureThatRaisesKeepsWhatItsSafeOperationsDid) {
  TEntity* thing = Stored("Things", 5, "t");
  auto promise = RunAwaitedDomainTask(FDomain.get(), [&](TDomainTask* ATask) {
    ATask->SafeAtomicModification(FSession.get(), [&](TChangeHolder* AHolder) {
      AHolder->SetFieldValue(thing, "Qty", 1);
      return true;
    });
    ATask->SafeAtomicModification(FSession.get(), [&](TChangeHolder* AHolder) {
      AHolder->SetFieldValue(thing, "Name", "renamed");
      return true;
    });
    throw Exception("bank is offline");
  });
  ASSERT_TRUE(promise->Await(cLongEnough));
  EXPECT_EQ(promise->CompletionReason(), crError);
  EXPECT_EQ(promise->Message(), "bank is offline");
  EXPECT_EQ(VarAsInteger(thing->GetFieldValue("Qty")), 1);
  EXPECT_EQ(VarToStr(thing->GetFieldValue("Name")), "renamed");
  EXPECT_EQ(FStorage->Tables["things"][5].Values.value("name"), Variant("renamed"));
}

TEST_F(DomainTasks, ASafeModificationThatRefusesOrRaisesChangesNothingAndAnswersFalse) {
  TEntity* thing = Stored("Things", 5, "t");
  struct TCase {
    const char* Name;
    bool Raises;
  };
  for (const TCase& c : {TCase{"answers false", false}, TCase{"raises", true}}) {
    SCOPED_TRACE(c.Name);
    FStorage->WriteTrace.clear();
    std::atomic<int> answer{-1};
    auto promise = RunAwaitedDomainTask(FDomain.get(), [&](TDomainTask* ATask) {
      answer = ATask->SafeAtomicModification(FSession.get(), [&](TChangeHolder* AHolder) {
        AHolder->SetFieldValue(thing, "Qty", 42);
        if (c.Raises) throw Exception("no");
        return false;
      });
    });
    EXPECT_TRUE(promise->Await(cLongEnough));
    EXPECT_EQ(promise->CompletionReason(), crDone);
    EXPECT_EQ(answer.load(), 0);
    EXPECT_EQ(VarAsInteger(thing->GetFieldValue("Qty")), 0);
    EXPECT_TRUE(FStorage->WriteTrace.isEmpty());
    EXPECT_TRUE(FSession->Holders().empty());
  }
}

TEST_F(DomainTasks, EverySafeOperationRunsItsSessionOperationOnTheMainThread) {
  TEntity* thing = Stored("Things", 5, "t");
  TEntity* other = Stored("Things", 6, "o");
  TChangeHolder* edit = FSession->Edit(nullptr);
  QString refusal;
  bool wrote = false;
  auto promise = RunAwaitedDomainTask(FDomain.get(), [&](TDomainTask* ATask) {
    ATask->SafeSetFieldValue(FSession.get(), thing, "Qty", 3, edit);
    ATask->SafeSetFieldEntity(FSession.get(), thing, "Ref", other, edit);
    ATask->SafeSetFieldStream(FSession.get(), thing, "Data", std::make_unique<TStream>(QByteArray("blob")), edit);
    ATask->SafeAtomicWrite(FSession.get(), [&] { wrote = MainThread().IsMainThread(); });
    try {
      ATask->SafeAtomicWrite(FSession.get(), [] { throw Exception("refused"); });
    } catch (const Exception& e) {
      refusal = e.Message() + (MainThread().IsMainThread() ? " on the main thread" : " in the worker");
    }
  });
  ASSERT_TRUE(promise->Await(cLongEnough));
  EXPECT_EQ(promise->CompletionReason(), crDone) << promise->Message().toStdString();
  EXPECT_TRUE(wrote);
  EXPECT_EQ(refusal, "refused in the worker");
  EXPECT_EQ(VarAsInteger(thing->GetFieldValue("Qty")), 3);
  EXPECT_EQ(thing->GetFieldEntity("Ref"), other);
  ASSERT_NE(thing->GetFieldBlob("Data"), nullptr);
  EXPECT_EQ(thing->GetFieldBlob("Data")->Data(), "blob");
  // The edit is still open: nothing was stored yet.
  EXPECT_TRUE(FStorage->WriteTrace.isEmpty());
  FSession->Cancel(edit);
  EXPECT_EQ(VarAsInteger(thing->GetFieldValue("Qty")), 0);
}

TEST_F(DomainTasks, ARunOnTheMainThreadCallsItsSafeOperationsDirectly) {
  TEntity* thing = Stored("Things", 5, "t");
  std::unique_ptr<TPromise> promise(CreateDomainTask(
      [&](TDomainTask* ATask) {
        ATask->SafeAtomicModification(FSession.get(), [&](TChangeHolder* AHolder) {
          AHolder->SetFieldValue(thing, "Qty", MainThread().IsMainThread() ? 7 : -1);
          return true;
        });
      },
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
