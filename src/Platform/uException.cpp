#include "src/Platform/uException.h"

Exception::Exception(const QString& AMessage) : FMessage(AMessage), FUtf8(AMessage.toUtf8()) {}

QString ExceptionMessage(const std::exception& AException) {
  if (auto* own = dynamic_cast<const Exception*>(&AException)) return own->Message();
  return QString::fromUtf8(AException.what());
}

void AssertionFailed(const QString& AText, const char* AModule, int ALine) {
  throw EAssertionFailed(QStringLiteral("%1 (%2, line %3)").arg(AText, QString::fromLatin1(AModule)).arg(ALine));
}
