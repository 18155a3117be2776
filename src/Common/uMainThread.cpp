#include "src/Common/uMainThread.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <cstdio>
#include <exception>
#include <future>

namespace {
// Constructed during static initialisation, which runs on the main thread.
TMainThreadDispatcher& gDispatcher = TMainThreadDispatcher::Instance();
}  // namespace

TMainThreadDispatcher::TMainThreadDispatcher() : FMainThread(std::this_thread::get_id()) {}

TMainThreadDispatcher& TMainThreadDispatcher::Instance() {
  static TMainThreadDispatcher instance;
  return instance;
}

void TMainThreadDispatcher::WakeEventLoop() {
  if (QCoreApplication* app = QCoreApplication::instance())
    QMetaObject::invokeMethod(
        app,
        [] {
          try {
            MainThread().ProcessQueue();
          } catch (const std::exception& e) {
            std::fprintf(stderr, "main thread callback failed: %s\n", e.what());
          } catch (...) {
            std::fprintf(stderr, "main thread callback failed\n");
          }
        },
        Qt::QueuedConnection);
}

void TMainThreadDispatcher::Post(std::function<void()> AProc) {
  {
    std::lock_guard guard(FLock);
    FQueue.push_back(std::move(AProc));
  }
  FQueued.notify_all();
  WakeEventLoop();
}

void TMainThreadDispatcher::InvokeAndWait(std::function<void()> AProc) {
  if (IsMainThread()) {
    AProc();
    return;
  }
  auto done = std::make_shared<std::promise<void>>();
  std::future<void> finished = done->get_future();
  Post([proc = std::move(AProc), done] {
    try {
      proc();
      done->set_value();
    } catch (...) {
      done->set_exception(std::current_exception());
    }
  });
  finished.get();
}

int TMainThreadDispatcher::ProcessQueue() {
  std::deque<std::function<void()>> batch;
  {
    std::lock_guard guard(FLock);
    batch.swap(FQueue);
  }
  int ran = 0;
  while (!batch.empty()) {
    std::function<void()> proc = std::move(batch.front());
    batch.pop_front();
    try {
      proc();
      ++ran;
    } catch (...) {
      // What was queued behind a failing closure still runs, later and in order.
      std::lock_guard guard(FLock);
      FQueue.insert(FQueue.begin(), std::make_move_iterator(batch.begin()), std::make_move_iterator(batch.end()));
      throw;
    }
  }
  return ran;
}

bool TMainThreadDispatcher::WaitUntil(const std::function<bool()>& ADone, std::chrono::milliseconds APollInterval,
                                      std::chrono::milliseconds ATimeout) {
  const auto deadline = std::chrono::steady_clock::now() + ATimeout;
  for (;;) {
    ProcessQueue();
    if (ADone()) return true;
    if (ATimeout.count() > 0 && std::chrono::steady_clock::now() >= deadline) return false;
    std::unique_lock guard(FLock);
    // Wakes early when a worker queues something for us.
    FQueued.wait_for(guard, APollInterval, [this] { return !FQueue.empty(); });
  }
}
