#include "TestEnv.h"

#include <QFile>
#include <QProcess>

TTempFolder::TTempFolder() : FDir(QDir::tempPath() + QStringLiteral("/corvalis-test-XXXXXX")) {}

void TTempFolder::Write(const QString& AName, const QByteArray& ABytes) const {
  QFile file(File(AName));
  if (file.open(QIODevice::WriteOnly)) file.write(ABytes);
}

QByteArray TTempFolder::Read(const QString& AName) const {
  QFile file(File(AName));
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString TestPostgresConnection() { return qEnvironmentVariable("CORVALIS_PG"); }

int RunProgram(const QString& AProgram, const QStringList& AArguments, QByteArray* AOutput, int ATimeoutMs) {
  QProcess process;
  process.setProcessChannelMode(QProcess::SeparateChannels);
  process.start(AProgram, AArguments);
  if (!process.waitForFinished(ATimeoutMs)) {
    process.kill();
    process.waitForFinished();
    return -1;
  }
  if (AOutput) *AOutput = process.readAllStandardOutput();
  return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}
