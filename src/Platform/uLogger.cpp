#include "src/Platform/uLogger.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QTime>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

QByteArray LineBytes(const QString& ALine) {
  QByteArray bytes = ALine.toUtf8();
  bytes.append("\r\n", 2);
  return bytes;
}

// Empty on success, else the system's reason.
QString WriteAll(int AFd, const QByteArray& ABytes) {
  const char* data = ABytes.constData();
  qsizetype left = ABytes.size();
  while (left > 0) {
    const ssize_t written = ::write(AFd, data, static_cast<size_t>(left));
    if (written < 0) {
      if (errno == EINTR) continue;
      return QString::fromLocal8Bit(std::strerror(errno));
    }
    data += written;
    left -= written;
  }
  return QString();
}

}  // namespace

QString MessageKindTag(TMessageKind AKind) {
  switch (AKind) {
    case mkBaseActions:
      return QStringLiteral("[A]");
    case mkError:
      return QStringLiteral("[E]");
    case mkAny:
      break;
  }
  return QStringLiteral("[ ]");
}

TLogger::TLogger(const QString& AFileName) : FFileName(AFileName) {}

TLogger::~TLogger() {
  try {
    Flush();
  } catch (...) {
  }
  CloseFile();
}

QString TLogger::AddMessage(const QString& AMessage, TMessageKind AMessageKind) {
  std::lock_guard lock(FLock);
  return DoAddMessage(AMessage, AMessageKind);
}

QString TLogger::AddEnterMessage(const QString& AMessage, TMessageKind AMessageKind) {
  std::lock_guard lock(FLock);
  QString result = DoAddMessage(AMessage, AMessageKind);
  ++FLogIndentLevel;
  return result;
}

QString TLogger::AddExitMessage(const QString& AMessage, TMessageKind AMessageKind) {
  std::lock_guard lock(FLock);
  --FLogIndentLevel;
  return DoAddMessage(AMessage, AMessageKind);
}

QString TLogger::DoAddMessage(const QString& AMessage, TMessageKind AMessageKind) {
  if (!FEnabled || (FLogMessageKind != mkAny && FLogMessageKind != AMessageKind)) return QString();
  const QString indent(2 * std::max(0, FLogIndentLevel), u' ');
  QString line = QTime::currentTime().toString(QStringLiteral("hh:mm:ss.zzz")) + u' ' + MessageKindTag(AMessageKind) +
                 u' ' + indent + AMessage;
  FItems.append(line);
  WritePending();
  return line;
}

void TLogger::DisableLogging() {
  std::lock_guard lock(FLock);
  FEnabled = false;
}

void TLogger::EnableLogging() {
  std::lock_guard lock(FLock);
  FEnabled = true;
}

bool TLogger::Enabled() const {
  std::lock_guard lock(FLock);
  return FEnabled;
}

TMessageKind TLogger::LogMessageKind() const {
  std::lock_guard lock(FLock);
  return FLogMessageKind;
}

void TLogger::SetLogMessageKind(TMessageKind AKind) {
  std::lock_guard lock(FLock);
  FLogMessageKind = AKind;
}

int TLogger::LogIndentLevel() const {
  std::lock_guard lock(FLock);
  return FLogIndentLevel;
}

int TLogger::Count() const {
  std::lock_guard lock(FLock);
  return static_cast<int>(FItems.size());
}

QString TLogger::Items(int AIndex) const {
  std::lock_guard lock(FLock);
  return AIndex >= 0 && AIndex < FItems.size() ? FItems[AIndex] : QString();
}

void TLogger::Flush() {
  std::lock_guard lock(FLock);
  RewriteAll();
}

void TLogger::WritePending() {
  // Until the file is known to match the list (first line of the run, or after a
  // failure, or once someone removed or replaced it) it is rewritten whole;
  // afterwards only the new lines are appended.
  if (FFile < 0 || !FileStillOurs()) {
    RewriteAll();
    return;
  }
  QByteArray bytes;
  for (qsizetype i = FWritten; i < FItems.size(); ++i) bytes += LineBytes(FItems[i]);
  const QString error = WriteAll(FFile, bytes);
  if (!error.isEmpty()) {
    ReportFailure(error);
    CloseFile();
    return;
  }
  FWritten = FItems.size();
}

bool TLogger::FileStillOurs() const {
  struct stat opened {};
  struct stat named {};
  if (::fstat(FFile, &opened) != 0 || opened.st_nlink == 0) return false;
  if (::stat(QFile::encodeName(FFileName).constData(), &named) != 0) return false;
  return named.st_dev == FDevice && named.st_ino == FInode;
}

void TLogger::CloseFile() {
  if (FFile >= 0) ::close(FFile);
  FFile = -1;
}

bool TLogger::RewriteAll() {
  CloseFile();
  const int fd =
      ::open(QFile::encodeName(FFileName).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) {
    ReportFailure(QString::fromLocal8Bit(std::strerror(errno)));
    return false;
  }
  QByteArray bytes;
  for (const QString& line : FItems) bytes += LineBytes(line);
  struct stat info {};
  QString error = WriteAll(fd, bytes);
  if (error.isEmpty() && ::fstat(fd, &info) != 0) error = QString::fromLocal8Bit(std::strerror(errno));
  if (!error.isEmpty()) {
    ReportFailure(error);
    ::close(fd);
    return false;
  }
  FFile = fd;
  FDevice = info.st_dev;
  FInode = info.st_ino;
  FWritten = FItems.size();
  return true;
}

void TLogger::ReportFailure(const QString& AError) {
  if (FFailureReported) return;
  FFailureReported = true;
  std::fprintf(stderr, "Log file \"%s\" cannot be written: %s\n", qPrintable(FFileName), qPrintable(AError));
}
