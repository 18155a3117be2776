#include "src/Platform/uProcessMediator.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QtEndian>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "src/Common/uMainThread.h"

namespace {

QByteArray ObjectName(const QString& AName) {
  return QFile::encodeName(QLatin1Char('/') + AName + QLatin1Char('.') + QString::number(::getuid()));
}

QString LockFolder() {
  const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
  if (!runtime.isEmpty() && QDir(QFile::decodeName(runtime)).exists()) return QFile::decodeName(runtime);
  return QDir::tempPath();
}

}  // namespace

bool TNamedEvent::Wait() {
  while (::sem_wait(FSemaphore) != 0) {
    if (errno != EINTR) return false;
  }
  while (::sem_trywait(FSemaphore) == 0) {
  }
  return true;
}

void TNamedEvent::Signal() {
  ::sem_post(FSemaphore);
}

TProcessMediator::TProcessMediator(const QString& AUniqueName, int ADataSize)
    : FFileName(AUniqueName + QStringLiteral("$File")),
      FEventName(AUniqueName + QStringLiteral("$Event")),
      FLockFileName(LockFolder() + QLatin1Char('/') + AUniqueName + QLatin1Char('.') + QString::number(::getuid()) +
                    QStringLiteral(".lock")),
      FDataSize(std::max(0, ADataSize)) {
  FLockFile = ::open(QFile::encodeName(FLockFileName).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (FLockFile >= 0) {
    FOwner = ::flock(FLockFile, LOCK_EX | LOCK_NB) == 0;
    if (!FOwner) {
      ::close(FLockFile);
      FLockFile = -1;
    }
  } else {
    // Without a lock file the block itself decides, as it would on its own.
    const int probe = ::shm_open(ObjectName(FFileName).constData(), O_RDWR, 0600);
    FOwner = probe < 0;
    if (probe >= 0) ::close(probe);
  }
  FAlreadyExists = !FOwner;
  if (FAlreadyExists)
    OpenExisting();
  else
    CreateOwn();
}

void TProcessMediator::OpenExisting() {
  // The first instance may still be creating its block: give it a moment.
  for (int attempt = 0; attempt < 25 && FFileMapping < 0; ++attempt) {
    FFileMapping = ::shm_open(ObjectName(FFileName).constData(), O_RDWR | O_CLOEXEC, 0600);
    if (FFileMapping < 0) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  if (FFileMapping < 0) return;
  struct stat info {};
  if (::fstat(FFileMapping, &info) != 0 || info.st_size < FDataSize) return;
  void* view = ::mmap(nullptr, static_cast<size_t>(FDataSize), PROT_READ | PROT_WRITE, MAP_SHARED, FFileMapping, 0);
  FBaseAddress = view == MAP_FAILED ? nullptr : view;
}

void TProcessMediator::CreateOwn() {
  // Whatever a crashed instance left behind is stale now.
  ::shm_unlink(ObjectName(FFileName).constData());
  ::sem_unlink(ObjectName(FEventName).constData());

  FFileMapping = ::shm_open(ObjectName(FFileName).constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (FFileMapping >= 0 && ::ftruncate(FFileMapping, FDataSize) == 0) {
    void* view = ::mmap(nullptr, static_cast<size_t>(FDataSize), PROT_READ | PROT_WRITE, MAP_SHARED, FFileMapping, 0);
    FBaseAddress = view == MAP_FAILED ? nullptr : view;
  }
  FEvent = ::sem_open(ObjectName(FEventName).constData(), O_CREAT | O_EXCL, 0600, 0);
  if (FEvent == SEM_FAILED) {
    FEvent = nullptr;
    return;
  }
  FEventWaiter = std::make_unique<TNamedEvent>(FEvent);
  FWaitingTask = std::make_unique<TEventWaitTask>(FEventWaiter.get());
  FWaitingTask->ExecuteAsync(
      nullptr, [this](TTask*) { NotifyDataReceived(); }, nullptr);
}

TProcessMediator::~TProcessMediator() {
  if (FWaitingTask) {
    FWaitingTask->Cancel();
    // The executor may be inside a progress report that waits for us.
    MainThread().WaitUntil([this] { return !FWaitingTask->IsHeld(); });
    FWaitingTask.reset();
  }
  FEventWaiter.reset();
  if (FEvent) ::sem_close(FEvent);
  if (FBaseAddress) ::munmap(FBaseAddress, static_cast<size_t>(FDataSize));
  if (FFileMapping >= 0) ::close(FFileMapping);
  if (FOwner) {
    ::shm_unlink(ObjectName(FFileName).constData());
    ::sem_unlink(ObjectName(FEventName).constData());
  }
  if (FLockFile >= 0) ::close(FLockFile);
}

QString TProcessMediator::FitToBlock(const QString& AData, int ADataSize) {
  // Room for the text once the NUL has its two bytes; none below two bytes.
  const int units = std::clamp(ADataSize / 2 - 1, 0, cMaxTextUnits);
  if (AData.size() <= units) return AData;
  int cut = units;
  if (cut > 0 && AData.at(cut - 1).isHighSurrogate()) --cut;
  return AData.left(cut);
}

void TProcessMediator::NotifyDataReceived() {
  if (!FOnDataReceived || FBaseAddress == nullptr) return;
  const auto* units = static_cast<const char16_t*>(FBaseAddress);
  const int limit = std::min<int>(cMaxTextUnits + 1, FDataSize / 2);
  QString text;
  for (int i = 0; i < limit; ++i) {
    const char16_t unit = qFromLittleEndian(units[i]);
    if (unit == 0) break;
    text.append(QChar(unit));
  }
  // A failing handler must not end the waiting task: every later start would
  // then hand its text to nobody.
  QString error;
  try {
    FOnDataReceived(text);
  } catch (const std::exception& e) {
    error = ExceptionMessage(e);
  } catch (...) {
    error = QStringLiteral("unknown error");
  }
  if (!error.isNull()) ReportError(QStringLiteral("Hand-over of \"%1\" failed: %2").arg(text, error));
}

void TProcessMediator::ReportError(const QString& AText) const {
  std::fprintf(stderr, "%s\n", AText.toLocal8Bit().constData());
  if (!FOnError) return;
  try {
    FOnError(AText);
  } catch (...) {
    std::fprintf(stderr, "Hand-over error could not be logged\n");
  }
}

bool TProcessMediator::SendData(const QString& AData) {
  if (!FAlreadyExists) return false;
  if (FEvent == nullptr) {
    sem_t* event = ::sem_open(ObjectName(FEventName).constData(), 0);
    FEvent = event == SEM_FAILED ? nullptr : event;
  }
  if (FBaseAddress == nullptr || FEvent == nullptr || FDataSize < 2) return false;
  const QString text = FitToBlock(AData, FDataSize);
  if (text.size() < AData.size())
    qWarning().noquote() << QStringLiteral("Parameter cut to %1 of %2 characters to fit the hand-over block")
                                .arg(text.size())
                                .arg(AData.size());
  auto* units = static_cast<char16_t*>(FBaseAddress);
  for (int i = 0; i < text.size(); ++i) units[i] = qToLittleEndian(static_cast<char16_t>(text.at(i).unicode()));
  units[text.size()] = 0;
  ::sem_post(FEvent);
  return true;
}
