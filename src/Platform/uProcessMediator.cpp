#include "src/Platform/uProcessMediator.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QtEndian>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "src/Common/uMainThread.h"
#include "src/Platform/uException.h"

namespace {

using namespace std::chrono_literals;

// How long a later start waits for the first to finish creating its objects,
// and for its turn among other later starts.
constexpr auto cOpenTimeout = 1000ms;
constexpr auto cSendLockTimeout = 10000ms;
// After a withdrawal failed: the first woke for the text and is taking it.
constexpr auto cTakingTimeout = 1000ms;

QByteArray ObjectName(const QString& AName) {
  return QFile::encodeName(QLatin1Char('/') + AName + QLatin1Char('.') + QString::number(::getuid()));
}

// Where the C library keeps the objects, for checks on their owner and mode.
QString ShmPath(const QString& AName) {
  return QStringLiteral("/dev/shm") + QFile::decodeName(ObjectName(AName));
}
QString SemaphorePath(const QString& AName) {
  return QStringLiteral("/dev/shm/sem.") + QFile::decodeName(ObjectName(AName).mid(1));
}

QString LockFolder() {
  const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
  if (!runtime.isEmpty() && QDir(QFile::decodeName(runtime)).exists()) return QFile::decodeName(runtime);
  return QDir::tempPath();
}

QString SystemError(int AErrno) {
  return QString::fromLocal8Bit(std::strerror(AErrno));
}

[[noreturn]] void Refuse(const QString& APath, const QString& AReason) {
  throw EInOutError(QStringLiteral("Single-instance channel %1 is refused: %2").arg(APath, AReason));
}

// Owner-only and ours, a plain file (a link shows as one under lstat).
void CheckOwnerOnly(const struct stat& AInfo, const QString& APath) {
  if (!S_ISREG(AInfo.st_mode)) Refuse(APath, QStringLiteral("not a regular file"));
  if (AInfo.st_uid != ::geteuid()) Refuse(APath, QStringLiteral("it belongs to user %1").arg(AInfo.st_uid));
  if ((AInfo.st_mode & 077) != 0)
    Refuse(APath,
           QStringLiteral("it is open to other users (mode %1)").arg(AInfo.st_mode & 0777, 3, 8, QLatin1Char('0')));
}

void CheckDescriptor(int AFd, const QString& APath) {
  struct stat info {};
  if (::fstat(AFd, &info) != 0) Refuse(APath, SystemError(errno));
  CheckOwnerOnly(info, APath);
}

// Errors that mean someone else's object sits under the name; others are a
// plain lack of resources.
bool IsForeignObjectError(int AErrno) {
  return AErrno == EEXIST || AErrno == ELOOP || AErrno == EACCES || AErrno == EPERM;
}

int OpenLockFile(const QString& APath) {
  const int fd = ::open(QFile::encodeName(APath).constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) Refuse(APath, SystemError(errno));
  try {
    CheckDescriptor(fd, APath);
  } catch (...) {
    ::close(fd);
    throw;
  }
  return fd;
}

class TFileCloser {
 public:
  explicit TFileCloser(int AFd) : FFd(AFd) {}
  ~TFileCloser() {
    if (FFd >= 0) ::close(FFd);  // closing releases a lock too
  }
  TFileCloser(const TFileCloser&) = delete;
  TFileCloser& operator=(const TFileCloser&) = delete;

 private:
  int FFd;
};

bool WaitForSemaphore(sem_t* ASemaphore, std::chrono::milliseconds ATimeout) {
  struct timespec deadline {};
  ::clock_gettime(CLOCK_MONOTONIC, &deadline);
  const auto ms = ATimeout.count();
  deadline.tv_sec += ms / 1000;
  deadline.tv_nsec += (ms % 1000) * 1000000L;
  if (deadline.tv_nsec >= 1000000000L) {
    ++deadline.tv_sec;
    deadline.tv_nsec -= 1000000000L;
  }
  while (::sem_clockwait(ASemaphore, CLOCK_MONOTONIC, &deadline) != 0)
    if (errno != EINTR) return false;
  return true;
}

// A semaphore of the first instance, checked before and after the open so
// that a link or somebody else's object under the name is never used. Null
// while it does not exist yet.
sem_t* OpenSemaphore(const QString& AName) {
  const QString path = SemaphorePath(AName);
  const QByteArray file = QFile::encodeName(path);
  struct stat before {};
  if (::lstat(file.constData(), &before) != 0) {
    if (errno == ENOENT) return nullptr;
    Refuse(path, SystemError(errno));
  }
  CheckOwnerOnly(before, path);
  sem_t* semaphore = ::sem_open(ObjectName(AName).constData(), 0);
  if (semaphore == SEM_FAILED) {
    if (errno == ENOENT) return nullptr;
    Refuse(path, SystemError(errno));
  }
  struct stat after {};
  if (::lstat(file.constData(), &after) != 0 || after.st_dev != before.st_dev || after.st_ino != before.st_ino) {
    ::sem_close(semaphore);
    Refuse(path, QStringLiteral("it was replaced while being opened"));
  }
  return semaphore;
}

// Null when the system has no room for it; a foreign object is refused.
sem_t* CreateSemaphore(const QString& AName) {
  const QString path = SemaphorePath(AName);
  sem_t* semaphore = ::sem_open(ObjectName(AName).constData(), O_CREAT | O_EXCL, 0600, 0);
  if (semaphore == SEM_FAILED) {
    const int error = errno;
    if (IsForeignObjectError(error)) Refuse(path, SystemError(error));
    std::fprintf(stderr, "Single-instance channel %s cannot be created: %s\n", qPrintable(path),
                 qPrintable(SystemError(error)));
    return nullptr;
  }
  struct stat info {};
  try {
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0) Refuse(path, SystemError(errno));
    CheckOwnerOnly(info, path);
  } catch (...) {
    ::sem_close(semaphore);
    throw;
  }
  return semaphore;
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

// The first instance's event: every wake-up that is not its own cancellation
// takes the sender's text on the waiting thread itself, so a sender never
// waits for a busy main thread.
class THandOverEvent : public TNamedEvent {
 public:
  THandOverEvent(sem_t* ASemaphore, TProcessMediator* AMediator) : TNamedEvent(ASemaphore), FMediator(AMediator) {}
  bool Wait() override {
    if (!TNamedEvent::Wait()) return false;
    if (!FClosing.load()) FMediator->TakeText();
    return true;
  }
  // Only the waiting task's cancellation signals from inside the process.
  void Signal() override {
    FClosing.store(true);
    TNamedEvent::Signal();
  }

 private:
  TProcessMediator* FMediator;
  std::atomic<bool> FClosing{false};
};

TProcessMediator::TProcessMediator(const QString& AUniqueName, int ADataSize)
    : FFileName(AUniqueName + QStringLiteral("$File")),
      FEventName(AUniqueName + QStringLiteral("$Event")),
      FAckName(AUniqueName + QStringLiteral("$Ack")),
      FLockFileName(LockFolder() + QLatin1Char('/') + AUniqueName + QLatin1Char('.') + QString::number(::getuid()) +
                    QStringLiteral(".lock")),
      FSendLockFileName(LockFolder() + QLatin1Char('/') + AUniqueName + QLatin1Char('.') + QString::number(::getuid()) +
                        QStringLiteral(".send.lock")),
      FDataSize(std::max(0, ADataSize)) {
  try {
    FLockFile = OpenLockFile(FLockFileName);
    FOwner = ::flock(FLockFile, LOCK_EX | LOCK_NB) == 0;
    if (!FOwner) {
      if (errno != EWOULDBLOCK) Refuse(FLockFileName, SystemError(errno));
      ::close(FLockFile);
      FLockFile = -1;
    }
    FAlreadyExists = !FOwner;
    if (FAlreadyExists)
      OpenExisting();
    else
      CreateOwn();
  } catch (...) {
    Close();
    throw;
  }
}

void TProcessMediator::OpenExisting() {
  // The first instance may still be creating its objects: give it a moment.
  const QString path = ShmPath(FFileName);
  const auto deadline = std::chrono::steady_clock::now() + cOpenTimeout;
  bool sized = false;
  for (;;) {
    if (FFileMapping < 0) {
      FFileMapping = ::shm_open(ObjectName(FFileName).constData(), O_RDWR | O_NOFOLLOW | O_CLOEXEC, 0600);
      if (FFileMapping < 0 && errno != ENOENT) Refuse(path, SystemError(errno));
    }
    if (FFileMapping >= 0) {
      CheckDescriptor(FFileMapping, path);
      struct stat info {};
      sized = ::fstat(FFileMapping, &info) == 0 && info.st_size >= FDataSize;
    }
    if (FEvent == nullptr) FEvent = OpenSemaphore(FEventName);
    if (FAck == nullptr) FAck = OpenSemaphore(FAckName);
    if ((sized && FEvent && FAck) || std::chrono::steady_clock::now() >= deadline) break;
    std::this_thread::sleep_for(20ms);
  }
  if (!sized || FDataSize == 0) return;
  void* view = ::mmap(nullptr, static_cast<size_t>(FDataSize), PROT_READ | PROT_WRITE, MAP_SHARED, FFileMapping, 0);
  FBaseAddress = view == MAP_FAILED ? nullptr : view;
}

void TProcessMediator::CreateOwn() {
  // Whatever a crashed instance left behind is stale now. What cannot be
  // removed is someone else's, and the exclusive creates below refuse it.
  ::shm_unlink(ObjectName(FFileName).constData());
  ::sem_unlink(ObjectName(FEventName).constData());
  ::sem_unlink(ObjectName(FAckName).constData());

  const QString path = ShmPath(FFileName);
  FFileMapping =
      ::shm_open(ObjectName(FFileName).constData(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (FFileMapping < 0) {
    const int error = errno;
    if (IsForeignObjectError(error)) Refuse(path, SystemError(error));
    std::fprintf(stderr, "Single-instance channel %s cannot be created: %s\n", qPrintable(path),
                 qPrintable(SystemError(error)));
    return;
  }
  ::fchmod(FFileMapping, 0600);  // whatever the umask, later starts of ours must open it
  CheckDescriptor(FFileMapping, path);
  if (FDataSize > 0 && ::ftruncate(FFileMapping, FDataSize) == 0) {
    void* view = ::mmap(nullptr, static_cast<size_t>(FDataSize), PROT_READ | PROT_WRITE, MAP_SHARED, FFileMapping, 0);
    FBaseAddress = view == MAP_FAILED ? nullptr : view;
  }
  FEvent = CreateSemaphore(FEventName);
  FAck = CreateSemaphore(FAckName);
  if (FEvent == nullptr || FAck == nullptr || FBaseAddress == nullptr) return;
  FEventWaiter = std::make_unique<THandOverEvent>(FEvent, this);
  FWaitingTask = std::make_unique<TEventWaitTask>(FEventWaiter.get());
  FWaitingTask->ExecuteAsync();
}

TProcessMediator::~TProcessMediator() {
  Close();
}

void TProcessMediator::Close() {
  if (FWaitingTask) {
    FWaitingTask->Cancel();
    // Signalled again while waiting: a sender that withdraws its signal at the
    // same moment may take the cancellation's one.
    auto stopped = [this] {
      if (!FWaitingTask->IsHeld()) return true;
      FEventWaiter->Signal();
      return false;
    };
    if (MainThread().IsMainThread()) {
      // Texts taken before the cancellation are still handed to the handler.
      for (bool done = false; !done;) {
        try {
          MainThread().WaitUntil(stopped);
          MainThread().ProcessQueue();
          done = true;
        } catch (const std::exception& e) {
          ReportError(QStringLiteral("Hand-over failed: %1").arg(ExceptionMessage(e)));
        } catch (...) {
          ReportError(QStringLiteral("Hand-over failed"));
        }
      }
    } else {
      while (!stopped()) std::this_thread::sleep_for(20ms);
    }
    FWaitingTask.reset();
  }
  FEventWaiter.reset();
  FAlive.reset();
  if (FEvent) ::sem_close(FEvent);
  if (FAck) ::sem_close(FAck);
  FEvent = FAck = nullptr;
  if (FBaseAddress) ::munmap(FBaseAddress, static_cast<size_t>(FDataSize));
  FBaseAddress = nullptr;
  if (FFileMapping >= 0) ::close(FFileMapping);
  FFileMapping = -1;
  if (FOwner) {
    ::shm_unlink(ObjectName(FFileName).constData());
    ::sem_unlink(ObjectName(FEventName).constData());
    ::sem_unlink(ObjectName(FAckName).constData());
    FOwner = false;
  }
  if (FLockFile >= 0) ::close(FLockFile);
  FLockFile = -1;
}

QString TProcessMediator::FitToBlock(const QString& AData, int ADataSize) {
  // Room for the text once the NUL has its two bytes; none below two bytes.
  const int units = std::clamp(ADataSize / 2 - 1, 0, cMaxTextUnits);
  if (AData.size() <= units) return AData;
  int cut = units;
  if (cut > 0 && AData.at(cut - 1).isHighSurrogate()) --cut;
  return AData.left(cut);
}

void TProcessMediator::TakeText() {
  if (FBaseAddress == nullptr) return;
  const auto* units = static_cast<const char16_t*>(FBaseAddress);
  const int limit = std::min<int>(cMaxTextUnits + 1, FDataSize / 2);
  QString text;
  for (int i = 0; i < limit; ++i) {
    const char16_t unit = qFromLittleEndian(units[i]);
    if (unit == 0) break;
    text.append(QChar(unit));
  }
  // The sender may go (and the next one write) as soon as this is posted.
  ::sem_post(FAck);
  MainThread().Post([alive = std::weak_ptr<int>(FAlive), this, text] {
    if (alive.lock()) NotifyDataReceived(text);
  });
}

void TProcessMediator::NotifyDataReceived(const QString& AText) {
  if (!FOnDataReceived) return;
  // A failing handler must not end the channel: every later start would then
  // hand its text to nobody.
  QString error;
  try {
    FOnDataReceived(AText);
  } catch (const std::exception& e) {
    error = ExceptionMessage(e);
  } catch (...) {
    error = QStringLiteral("unknown error");
  }
  if (!error.isNull()) ReportError(QStringLiteral("Hand-over of \"%1\" failed: %2").arg(AText, error));
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
  FLastError.clear();
  if (!FAlreadyExists) return false;
  if (FBaseAddress == nullptr || FEvent == nullptr || FAck == nullptr || FDataSize < 2) {
    FLastError = QStringLiteral("The running instance cannot be reached");
    return false;
  }
  const QString text = FitToBlock(AData, FDataSize);
  if (text.size() < AData.size())
    qWarning().noquote() << QStringLiteral("Parameter cut to %1 of %2 characters to fit the hand-over block")
                                .arg(text.size())
                                .arg(AData.size());

  // One sender at a time: the block holds one text and the event folds posts.
  int lock = -1;
  try {
    lock = OpenLockFile(FSendLockFileName);
  } catch (const EInOutError& e) {
    FLastError = e.Message();
    return false;
  }
  TFileCloser closer(lock);
  const auto deadline = std::chrono::steady_clock::now() + cSendLockTimeout;
  while (::flock(lock, LOCK_EX | LOCK_NB) != 0) {
    if ((errno != EWOULDBLOCK && errno != EINTR) || std::chrono::steady_clock::now() >= deadline) {
      FLastError = QStringLiteral("Other starts are still handing over their parameters");
      return false;
    }
    std::this_thread::sleep_for(5ms);
  }

  // A sender that gave up may have left an acknowledgement behind.
  while (::sem_trywait(FAck) == 0) {
  }
  auto* units = static_cast<char16_t*>(FBaseAddress);
  for (int i = 0; i < text.size(); ++i) units[i] = qToLittleEndian(static_cast<char16_t>(text.at(i).unicode()));
  units[text.size()] = 0;
  ::sem_post(FEvent);
  if (WaitForSemaphore(FAck, cHandOverTimeout)) return true;
  // Our signal still pending means the first never woke for the text: taking
  // it back makes sure it will not surface later.
  if (::sem_trywait(FEvent) != 0 && WaitForSemaphore(FAck, cTakingTimeout)) return true;
  FLastError = QStringLiteral("The running instance did not take the parameter within %1 seconds")
                   .arg(std::chrono::duration_cast<std::chrono::seconds>(cHandOverTimeout).count());
  return false;
}
