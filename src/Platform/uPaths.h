#pragma once

#include <QString>

// Folder globals, filled once by InitPaths at the start of a run. Folders end
// with "/" where the name says "Dir" and the value is a prefix to append to.
extern QString AppDir;             // folder of the executable, with trailing "/"
extern QString ConfigurationsDir;  // AppDir + "solutions/"
extern QString DomainsDir;         // the same as ConfigurationsDir
extern QString StylesDir;          // AppDir + "styles/"
extern QString TilesDir;           // AppDir + "tiles/"
extern QString DocumentsDir;       // the user's documents folder
extern QString LocalAppDataDir;    // the user's data folder (XDG data home)
extern QString DesktopDir;         // the desktop folder, with trailing "/"

// Fills the globals from the executable's folder and makes it the current
// folder of the process (EInOutError when that fails).
void InitPaths(const QString& AExecutableDir);

// The folder of the running executable, read from the kernel.
QString ExecutableDir();

// ConfigurationsDir + the lower-cased name, no trailing separator.
QString GetConfigurationDir(const QString& AName);

// LocalAppDataDir + "/Tervana/" + name, created with its "layouts" subfolder
// when missing.
QString GetUserDataDir(const QString& AName);
