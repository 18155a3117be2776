#pragma once

#include <sys/types.h>

#include <QString>
#include <QStringList>
#include <mutex>

enum TMessageKind { mkAny, mkBaseActions, mkError };

// "[ ]", "[A]", "[E]".
QString MessageKindTag(TMessageKind AKind);

// File names of a domain's two logs inside its user data folder.
inline const QString cLogFileName = QStringLiteral("log.txt");
inline const QString cDomainLogFileName = QStringLiteral("domain_log.txt");

// A line log of the current run, mirrored to a file. Lines look like
// "hh:nn:ss.zzz [ ] " + two spaces per nesting level + message.
//
// Workers log too, so every operation takes the logger's lock. Each line is
// appended to the file as it comes (the first line of a run truncates it), so a
// line costs its own length, not the run's. Appends go through O_APPEND: another
// instance on the same configuration that starts its run truncates the file
// under us, and a positioned write would then leave a hole of NUL bytes. A file
// found deleted or replaced by another one is written anew from the run's lines.
// A failing write never reaches the code that logged: it is reported once on
// stderr and the file is rewritten in full at the next line or Flush that
// succeeds.
class TLogger {
 public:
  explicit TLogger(const QString& AFileName);
  ~TLogger();
  TLogger(const TLogger&) = delete;
  TLogger& operator=(const TLogger&) = delete;

  // The line logged, or "" when logging is off or the kind is filtered out.
  QString AddMessage(const QString& AMessage, TMessageKind AMessageKind = mkAny);
  // AddMessage, then one level deeper (even when the line is not logged).
  QString AddEnterMessage(const QString& AMessage, TMessageKind AMessageKind = mkAny);
  // One level up, then AddMessage.
  QString AddExitMessage(const QString& AMessage, TMessageKind AMessageKind = mkAny);

  void DisableLogging();
  void EnableLogging();
  bool Enabled() const;
  // mkAny keeps every kind; any other kind keeps only itself.
  TMessageKind LogMessageKind() const;
  void SetLogMessageKind(TMessageKind AKind);
  int LogIndentLevel() const;

  // Rewrites the file with exactly this run's lines (empty before the first).
  void Flush();

  int Count() const;
  QString Items(int AIndex) const;
  QString FileName() const { return FFileName; }

 private:
  QString DoAddMessage(const QString& AMessage, TMessageKind AMessageKind);
  void WritePending();
  bool RewriteAll();
  bool FileStillOurs() const;
  void CloseFile();
  void ReportFailure(const QString& AError);

  mutable std::mutex FLock;
  QStringList FItems;
  QString FFileName;
  int FLogIndentLevel = 0;
  TMessageKind FLogMessageKind = mkAny;
  bool FEnabled = true;
  int FFile = -1;     // open for appending once the run's file is in step
  dev_t FDevice = 0;  // identity of the file FFile is open on
  ino_t FInode = 0;
  qsizetype FWritten = 0;  // lines of FItems that the file holds
  bool FFailureReported = false;
};
