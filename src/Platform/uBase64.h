#pragma once

#include <QByteArray>
#include <QString>

// Base64 with the RFC 4648 alphabet, padding and no line breaks.
QString EncodeBase64(const QByteArray& ABytes);
// Strict: a character outside the alphabet, a line break or wrong padding
// raises EConvertError rather than yielding partial bytes.
QByteArray DecodeBase64(const QString& AText);
bool TryDecodeBase64(const QString& AText, QByteArray& ABytes);
