#pragma once

#include <semaphore.h>

#include <QString>
#include <chrono>
#include <functional>
#include <memory>

#include "src/Common/uTask.h"

using TOnDataReceivedEvent = std::function<void(const QString&)>;

// Auto-reset event over a named POSIX semaphore; extra posts that pile up
// before a wake-up are folded into one, as with a kernel auto-reset event.
class TNamedEvent : public TWaitableEvent {
 public:
  explicit TNamedEvent(sem_t* ASemaphore) : FSemaphore(ASemaphore) {}
  bool Wait() override;
  void Signal() override;

 protected:
  sem_t* FSemaphore;  // not owned
};

class THandOverEvent;

// Keeps the program to one running instance and hands a second start's text
// to the first. The first instance holds an exclusive lock on a lock file for
// its whole life and creates the shared block, the event and an
// acknowledgement semaphore; a later start finds the lock taken and opens
// them. A crashed first instance leaves its lock released by the kernel, so
// the next start recreates stale objects.
//
// Every object is the user's own: created owner-only, never through a link,
// and refused (EInOutError, the start fails) when it belongs to someone else
// or is open to the group or others; otherwise another local user could read
// every hand-over or turn every start into a silent second one.
//
// Senders take a lock of their own one after the other and wait until the
// first instance has taken their text (its waiting task copies the block and
// acknowledges at once, then hands the text to the main thread), so texts of
// starts that come together are neither overwritten nor folded.
class TProcessMediator {
 public:
  static constexpr int cMaxTextUnits = 126;  // plus the NUL, in 255 bytes
  // How long a sender waits for the first instance to take its text.
  static constexpr std::chrono::milliseconds cHandOverTimeout{3000};

  // The unique name may not contain "/". The object names carry the user's
  // id, as the desktop session scopes them elsewhere.
  TProcessMediator(const QString& AUniqueName, int ADataSize);
  ~TProcessMediator();
  TProcessMediator(const TProcessMediator&) = delete;
  TProcessMediator& operator=(const TProcessMediator&) = delete;

  bool AlreadyExists() const { return FAlreadyExists; }
  // Called on the main thread with each text taken.
  void SetOnDataReceived(TOnDataReceivedEvent AHandler) { FOnDataReceived = std::move(AHandler); }
  // Told (besides stderr) when the data handler raises; the channel keeps waiting.
  void SetOnError(TOnDataReceivedEvent AHandler) { FOnError = std::move(AHandler); }
  // Second instance: places the text (cut to the block), signals the first and
  // waits until it has taken the text. False, with LastError, when it did not.
  bool SendData(const QString& AData);
  QString LastError() const { return FLastError; }

  // The text as it would be placed in the block: at most cMaxTextUnits code
  // units, never ending in half of a surrogate pair.
  static QString FitToBlock(const QString& AData, int ADataSize);

 private:
  friend class THandOverEvent;
  // Worker: copies the text out of the block, acknowledges it and queues it
  // for the main thread.
  void TakeText();
  void NotifyDataReceived(const QString& AText);
  // stderr and the error handler.
  void ReportError(const QString& AText) const;
  void OpenExisting();
  void CreateOwn();
  void Close();

  QString FFileName;
  QString FEventName;
  QString FAckName;
  QString FLockFileName;
  QString FSendLockFileName;
  int FDataSize;
  bool FAlreadyExists = false;
  int FFileMapping = -1;  // shared-memory descriptor
  void* FBaseAddress = nullptr;
  sem_t* FEvent = nullptr;
  sem_t* FAck = nullptr;
  std::unique_ptr<THandOverEvent> FEventWaiter;
  std::unique_ptr<TEventWaitTask> FWaitingTask;
  // Texts queued for the main thread are dropped once this is gone.
  std::shared_ptr<int> FAlive = std::make_shared<int>(0);
  TOnDataReceivedEvent FOnDataReceived;
  TOnDataReceivedEvent FOnError;
  QString FLastError;
  int FLockFile = -1;
  bool FOwner = false;
};
