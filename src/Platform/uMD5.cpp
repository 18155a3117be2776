#include "src/Platform/uMD5.h"

#include <QCryptographicHash>

#include "src/Platform/uTextCodec.h"

QString MD5Hex(const QByteArray& ABytes) {
  return QString::fromLatin1(QCryptographicHash::hash(ABytes, QCryptographicHash::Md5).toHex().toUpper());
}

QString MD5OfAnsiText(const QString& AText) {
  return MD5Hex(EncodeWin1251(AText));
}
