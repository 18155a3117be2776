#include "src/Platform/uGuid.h"

#include <QUuid>

QString NewGuidString() {
  return QUuid::createUuid().toString(QUuid::WithBraces).toUpper();
}

QString NewGuidHex() {
  return QUuid::createUuid().toString(QUuid::Id128).toLower();
}
