#pragma once

#include <semaphore.h>
#include <QString>
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

 private:
  sem_t* FSemaphore;  // not owned
};

// Keeps the program to one running instance and hands a second start's text
// to the first. The first instance holds an exclusive lock on a lock file for
// its whole life and creates the shared block and the event; a later start
// finds the lock taken and opens them. A crashed first instance leaves its
// lock released by the kernel, so the next start recreates stale objects.
class TProcessMediator {
 public:
  static constexpr int cMaxTextUnits = 126;  // plus the NUL, in 255 bytes

  // The unique name may not contain "/". The object names carry the user's
  // id, as the desktop session scopes them elsewhere.
  TProcessMediator(const QString& AUniqueName, int ADataSize);
  ~TProcessMediator();
  TProcessMediator(const TProcessMediator&) = delete;
  TProcessMediator& operator=(const TProcessMediator&) = delete;

  bool AlreadyExists() const { return FAlreadyExists; }
  void SetOnDataReceived(TOnDataReceivedEvent AHandler) { FOnDataReceived = std::move(AHandler); }
  // Told (besides stderr) when the data handler raises; the channel keeps waiting.
  void SetOnError(TOnDataReceivedEvent AHandler) { FOnError = std::move(AHandler); }
  // Second instance: places the text (cut to the block) and signals the first.
  bool SendData(const QString& AData);

  // The text as it would be placed in the block: at most cMaxTextUnits code
  // units, never ending in half of a surrogate pair.
  static QString FitToBlock(const QString& AData, int ADataSize);

 private:
  void NotifyDataReceived();
  // stderr and the error handler.
  void ReportError(const QString& AText) const;
  void OpenExisting();
  void CreateOwn();

  QString FFileName;
  QString FEventName;
  QString FLockFileName;
  int FDataSize;
  bool FAlreadyExists = false;
  int FFileMapping = -1;  // shared-memory descriptor
  void* FBaseAddress = nullptr;
  sem_t* FEvent = nullptr;
  std::unique_ptr<TNamedEvent> FEventWaiter;
  std::unique_ptr<TEventWaitTask> FWaitingTask;
  TOnDataReceivedEvent FOnDataReceived;
  TOnDataReceivedEvent FOnError;
  int FLockFile = -1;
  bool FOwner = false;
};
