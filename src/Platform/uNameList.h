#pragma once

#include <QString>
#include <QStringList>

// Splits a declaration's name list at ";": names trimmed, empty entries skipped.
inline QStringList SplitNameList(const QString& ANames) {
  QStringList result;
  for (const QString& part : ANames.split(QLatin1Char(';'))) {
    const QString name = part.trimmed();
    if (!name.isEmpty()) result << name;
  }
  return result;
}
