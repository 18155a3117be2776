#pragma once

#include <QByteArray>
#include <QLocale>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <optional>
#include <ostream>

#include "src/Platform/uFormat.h"
#include "support/TestGuards.h"

// Readable Qt values in test messages and failures.
inline std::ostream& operator<<(std::ostream& AStream, const QString& AText) {
  return AStream << AText.toStdString();
}
inline void PrintTo(const QString& AText, std::ostream* AStream) {
  *AStream << '"' << AText.toStdString() << '"';
}
inline void PrintTo(const QByteArray& ABytes, std::ostream* AStream) {
  *AStream << '"' << ABytes.toStdString() << '"';
}
inline void PrintTo(const QStringList& AList, std::ostream* AStream) {
  *AStream << "{";
  for (qsizetype i = 0; i < AList.size(); ++i) *AStream << (i ? ", \"" : "\"") << AList[i].toStdString() << '"';
  *AStream << "}";
}

// A fresh folder per test, removed afterwards.
class TTempFolder {
 public:
  TTempFolder();
  QString Path() const { return FDir.path(); }
  QString File(const QString& AName) const { return FDir.filePath(AName); }
  void Write(const QString& AName, const QByteArray& ABytes) const;
  QByteArray Read(const QString& AName) const;

 private:
  QTemporaryDir FDir;
};

// The message of an assertion up to ", line", for comparing with the texts;
// a marker text when the action raises something else or nothing.
QString MessageUpToLine(const std::function<void()>& AAction);

// Connection parameters of the test PostgreSQL server (libpq keyword form),
// from CORVALIS_PG; empty when the variable is not set.
QString TestPostgresConnection();

// Runs a program and waits for it; returns its exit code (-1 on a crash or
// time-out) and fills AOutput with its standard output.
int RunProgram(const QString& AProgram, const QStringList& AArguments, QByteArray* AOutput = nullptr,
               int ATimeoutMs = 30000);
