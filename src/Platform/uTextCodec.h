#pragma once

#include <QByteArray>
#include <QString>

// Windows-1251, the code page of "ANSI" files and of password digests.
QString DecodeWin1251(const QByteArray& ABytes);
// Characters outside the code page become "?".
QByteArray EncodeWin1251(const QString& AText);

// Reads a text file's bytes by the house rule: a byte-order mark decides
// (UTF-16 LE/BE, UTF-8); else valid UTF-8; else Windows-1251.
QString DecodeAnsiText(const QByteArray& ABytes);

bool IsValidUtf8(const QByteArray& ABytes);
