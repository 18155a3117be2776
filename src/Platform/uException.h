#pragma once

#include <QByteArray>
#include <QString>
#include <exception>

// Base of the platform's exceptions: a translated or internal text kept as
// QString, with a UTF-8 copy for what().
class Exception : public std::exception {
 public:
  explicit Exception(const QString& AMessage);
  const QString& Message() const noexcept { return FMessage; }
  const char* what() const noexcept override { return FUtf8.constData(); }

 private:
  QString FMessage;
  QByteArray FUtf8;
};

// A broken declaration rule or internal invariant.
class EAssertionFailed : public Exception {
 public:
  using Exception::Exception;
};

// A file or folder operation the system refused.
class EInOutError : public Exception {
 public:
  using Exception::Exception;
};

// A text that cannot be read as the requested type.
class EConvertError : public Exception {
 public:
  using Exception::Exception;
};

// The message of any exception as the user should see it.
QString ExceptionMessage(const std::exception& AException);

// Raises EAssertionFailed with "%s (%s, line %d)".
[[noreturn]] void AssertionFailed(const QString& AText, const char* AModule, int ALine);

// Each source file that asserts defines `static constexpr const char* cModulePath`
// with the module path its messages name.
#define TV_ASSERT(ACondition, AText)                                    \
  do {                                                                  \
    if (!(ACondition)) AssertionFailed((AText), cModulePath, __LINE__); \
  } while (false)

#define TV_FAIL(AText) AssertionFailed((AText), cModulePath, __LINE__)
