#include "TestEnv.h"

#include <QDir>
#include <QFile>
#include <QProcess>

#include "src/Platform/uException.h"
#include "src/Platform/uPaths.h"

TTempFolder::TTempFolder() : FDir(QDir::tempPath() + QStringLiteral("/corvalis-test-XXXXXX")) {}

void TTempFolder::Write(const QString& AName, const QByteArray& ABytes) const {
  QFile file(File(AName));
  if (file.open(QIODevice::WriteOnly)) file.write(ABytes);
}

QByteArray TTempFolder::Read(const QString& AName) const {
  QFile file(File(AName));
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString MessageUpToLine(const std::function<void()>& AAction) {
  try {
    AAction();
  } catch (const EAssertionFailed& e) {
    const QString message = e.Message();
    const qsizetype at = message.lastIndexOf(QStringLiteral(", line"));
    return at < 0 ? QStringLiteral("<no line: ") + message + QLatin1Char('>') : message.left(at);
  } catch (const std::exception& e) {
    return QStringLiteral("<other exception: ") + ExceptionMessage(e) + QLatin1Char('>');
  }
  return QStringLiteral("<no exception>");
}

QString TestPostgresConnection() {
  return qEnvironmentVariable("CORVALIS_PG");
}

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

TEnvironmentGuard::TEnvironmentGuard(const char* AName, const std::optional<QByteArray>& AValue) : FName(AName) {
  if (qEnvironmentVariableIsSet(AName)) FSaved = qgetenv(AName);
  if (AValue)
    qputenv(AName, *AValue);
  else
    qunsetenv(AName);
}

TEnvironmentGuard::~TEnvironmentGuard() {
  if (FSaved)
    qputenv(FName.constData(), *FSaved);
  else
    qunsetenv(FName.constData());
}

namespace {
QString* const cPathGlobals[] = {&AppDir,   &ConfigurationsDir, &DomainsDir,      &StylesDir,
                                 &TilesDir, &DocumentsDir,      &LocalAppDataDir, &DesktopDir};
}  // namespace

TPathsGuard::TPathsGuard() : FCurrentDir(QDir::currentPath()) {
  for (QString* global : cPathGlobals) FSaved << *global;
}

TPathsGuard::~TPathsGuard() {
  for (qsizetype i = 0; i < FSaved.size(); ++i) *cPathGlobals[i] = FSaved[i];
  QDir::setCurrent(FCurrentDir);
}
