// The desk's entry: registers what the program brings, then runs the platform.
#include <QApplication>
#include <QMessageBox>
#include <memory>

#include "src/Platform/uException.h"
#include "src/Platform/uPlatform.h"

namespace {

bool HasDisplay() {
  return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

// The user sees a failure in a message box where a display exists; stderr
// always gets it (ReportError writes it there).
void ShowError(const QString& AText) {
  if (!HasDisplay()) return;
  std::unique_ptr<QApplication> app;
  if (QApplication::instance() == nullptr) {
    static int argc = 1;
    static char name[] = "CorvalisDemo";
    static char* argv[] = {name, nullptr};
    app = std::make_unique<QApplication>(argc, argv);
  }
  QMessageBox::critical(nullptr, QStringLiteral("CorvalisDemo"), AText);
}

}  // namespace

int main(int argc, char* argv[]) {
  QStringList arguments;
  for (int i = 1; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
  TPlatform::SetErrorReporter(ShowError);
  try {
    return TPlatform::Run(arguments);
  } catch (const std::exception& e) {
    TPlatform::ReportError(StartupErrorText(ExceptionMessage(e)));
  } catch (...) {
    TPlatform::ReportError(StartupErrorText(QStringLiteral("unknown error")));
  }
  return 1;
}
