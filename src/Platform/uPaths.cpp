#include "src/Platform/uPaths.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include "src/Platform/uException.h"

QString AppDir;
QString ConfigurationsDir;
QString DomainsDir;
QString StylesDir;
QString TilesDir;
QString DocumentsDir;
QString LocalAppDataDir;
QString DesktopDir;

namespace {

QString WithSlash(const QString& APath) {
  return APath.endsWith(QLatin1Char('/')) ? APath : APath + QLatin1Char('/');
}

QString StandardFolder(QStandardPaths::StandardLocation ALocation, const char* AFallback) {
  QString path = QStandardPaths::writableLocation(ALocation);
  if (path.isEmpty()) path = QDir::homePath() + QLatin1String(AFallback);
  return QDir::cleanPath(path);
}

}  // namespace

QString ExecutableDir() {
  const QFileInfo exe(QStringLiteral("/proc/self/exe"));
  return exe.canonicalFilePath().isEmpty() ? QDir::currentPath() : QFileInfo(exe.canonicalFilePath()).absolutePath();
}

void InitPaths(const QString& AExecutableDir) {
  AppDir = WithSlash(QDir::cleanPath(AExecutableDir));
  ConfigurationsDir = AppDir + QStringLiteral("solutions/");
  DomainsDir = ConfigurationsDir;
  StylesDir = AppDir + QStringLiteral("styles/");
  TilesDir = AppDir + QStringLiteral("tiles/");
  if (!QDir::setCurrent(AppDir)) throw EInOutError(QStringLiteral("Unable to set current directory to %1").arg(AppDir));
  DocumentsDir = StandardFolder(QStandardPaths::DocumentsLocation, "/Documents");
  LocalAppDataDir = StandardFolder(QStandardPaths::GenericDataLocation, "/.local/share");
  DesktopDir = WithSlash(StandardFolder(QStandardPaths::DesktopLocation, "/Desktop"));
}

QString GetConfigurationDir(const QString& AName) {
  return ConfigurationsDir + AName.toLower();
}

QString GetUserDataDir(const QString& AName) {
  const QString path = LocalAppDataDir + QStringLiteral("/Tervana/") + AName;
  QDir dir;
  if (!dir.exists(path + QStringLiteral("/layouts"))) dir.mkpath(path + QStringLiteral("/layouts"));
  return path;
}
