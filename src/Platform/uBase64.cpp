#include "src/Platform/uBase64.h"

#include "src/Platform/uException.h"

QString EncodeBase64(const QByteArray& ABytes) {
  return QString::fromLatin1(ABytes.toBase64());
}

bool TryDecodeBase64(const QString& AText, QByteArray& ABytes) {
  // Qt accepts a missing padding even in strict mode; the length check keeps it exact.
  if (AText.size() % 4 != 0) return false;
  for (QChar ch : AText)
    if (ch.unicode() > 0x7F) return false;
  auto result = QByteArray::fromBase64Encoding(AText.toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
  if (!result) return false;
  ABytes = std::move(*result);
  return true;
}

QByteArray DecodeBase64(const QString& AText) {
  QByteArray result;
  if (!TryDecodeBase64(AText, result)) throw EConvertError(QStringLiteral("Invalid Base64 text"));
  return result;
}
