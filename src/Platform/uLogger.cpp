#include "src/Platform/uLogger.h"

#include <QFile>
#include <QTime>
#include <cstdio>

namespace {

QByteArray LineBytes(const QString& ALine) {
  QByteArray bytes = ALine.toUtf8();
  bytes.append("\r\n", 2);
  return bytes;
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
  if (FFile)
    WritePending();
  else
    RewriteAll();
}

void TLogger::WritePending() {
  // Until the file is known to match the list (first line of the run, or after a
  // failure) it is rewritten whole; afterwards only the new lines are appended.
  if (!FFile) {
    RewriteAll();
    return;
  }
  QByteArray bytes;
  for (qsizetype i = FWritten; i < FItems.size(); ++i) bytes += LineBytes(FItems[i]);
  if (FFile->write(bytes) != bytes.size()) {
    ReportFailure(FFile->errorString());
    FFile.reset();
    return;
  }
  FWritten = FItems.size();
}

bool TLogger::RewriteAll() {
  auto file = std::make_unique<QFile>(FFileName);
  if (!file->open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
    ReportFailure(file->errorString());
    return false;
  }
  QByteArray bytes;
  for (const QString& line : FItems) bytes += LineBytes(line);
  if (file->write(bytes) != bytes.size()) {
    ReportFailure(file->errorString());
    return false;
  }
  FFile = std::move(file);
  FWritten = FItems.size();
  return true;
}

void TLogger::ReportFailure(const QString& AError) {
  if (FFailureReported) return;
  FFailureReported = true;
  std::fprintf(stderr, "Log file \"%s\" cannot be written: %s\n", qPrintable(FFileName), qPrintable(AError));
}
