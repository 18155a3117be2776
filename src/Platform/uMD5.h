#pragma once

#include <QByteArray>
#include <QString>

// MD5 (RFC 1321) written as 32 upper-case hexadecimal digits.
QString MD5Hex(const QByteArray& ABytes);
// The digest of a text over its Windows-1251 bytes, so that password digests
// match those made on other workstations.
QString MD5OfAnsiText(const QString& AText);
