#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

// Runs closures on the main thread. Workers Post or InvokeAndWait; the main
// thread drains the queue from the Qt event loop (each post wakes it) or by
// hand (ProcessQueue), and never waits for a worker without draining.
class TMainThreadDispatcher {
 public:
  static TMainThreadDispatcher& Instance();

  bool IsMainThread() const { return std::this_thread::get_id() == FMainThread; }
  // Makes the calling thread the main one (the thread of static initialisation
  // is by default).
  void BindToCurrentThread() { FMainThread = std::this_thread::get_id(); }

  void Post(std::function<void()> AProc);
  // Runs AProc on the main thread and returns when it has run; an exception it
  // raises is raised here. On the main thread it runs at once.
  void InvokeAndWait(std::function<void()> AProc);
  // Runs what is queued now; returns how many closures ran.
  int ProcessQueue();

  // Main thread: drains the queue until ADone is true, polling every
  // APollInterval. Returns false when ATimeout passed first (zero = no limit).
  bool WaitUntil(const std::function<bool()>& ADone,
                 std::chrono::milliseconds APollInterval = std::chrono::milliseconds(20),
                 std::chrono::milliseconds ATimeout = std::chrono::milliseconds(0));

 private:
  TMainThreadDispatcher();
  void WakeEventLoop();

  std::thread::id FMainThread;
  std::mutex FLock;
  std::condition_variable FQueued;
  std::deque<std::function<void()>> FQueue;
};

inline TMainThreadDispatcher& MainThread() {
  return TMainThreadDispatcher::Instance();
}
