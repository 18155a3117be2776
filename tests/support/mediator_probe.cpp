// A stand-in for the desk in single-instance tests: decides its mode from the
// settings file in the given folder, like the program does, and prints what
// happens on stdout, one line per event.
//   mediator_probe <folder> <unique name> [parameter]
// It also serves as a concurrent settings writer:
//   mediator_probe --write-settings <file> <writer number> <key count>
#include <QCoreApplication>
#include <QTimer>
#include <cstdio>

#include "src/Common/uMainThread.h"
#include "src/Common/uTask.h"
#include "src/Platform/uPlatform.h"
#include "src/Platform/uProcessMediator.h"
#include "src/Platform/uSettings.h"

namespace {
void Say(const QString& AText) {
  std::printf("%s\n", AText.toUtf8().constData());
  std::fflush(stdout);
}
}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  if (argc == 5 && QByteArray(argv[1]) == "--write-settings") {
    TIniSettings settings(QString::fromLocal8Bit(argv[2]));
    const QString section = QStringLiteral("P") + QString::fromLocal8Bit(argv[3]);
    const int count = QByteArray(argv[4]).toInt();
    for (int k = 0; k < count; ++k) settings.SetValue(section, QStringLiteral("K%1").arg(k), QString::number(k));
    return 0;
  }
  if (argc < 3) return 2;
  const QString folder = QString::fromLocal8Bit(argv[1]);
  const QString name = QString::fromLocal8Bit(argv[2]);
  const QString parameter = argc > 3 ? QString::fromLocal8Bit(argv[3]) : QString();

  TIniSettings settings(folder + QStringLiteral("/settings.ini"));
  const bool singleton = TPlatform::IsSingletonMode(settings);
  StartTaskEngine();
  struct TEngineGuard {
    ~TEngineGuard() { StopTaskEngine(); }
  } engineGuard;
  try {
    TProcessMediator mediator(name, 255);
    if (mediator.AlreadyExists()) {
      // Without single-instance mode a second instance runs in full and
      // neither sends nor receives.
      if (!singleton) {
        Say(QStringLiteral("second"));
        return 0;
      }
      const bool sent = mediator.SendData(parameter);
      Say(QStringLiteral("sent:%1").arg(sent ? 1 : 0));
      if (!sent) std::fprintf(stderr, "%s\n", mediator.LastError().toLocal8Bit().constData());
      return sent ? 0 : 1;
    }
    mediator.SetOnDataReceived([&](const QString& AData) {
      Say(QStringLiteral("received:[%1]:main=%2").arg(AData).arg(MainThread().IsMainThread() ? 1 : 0));
      if (AData == QLatin1String("quit")) app.quit();
    });
    Say(QStringLiteral("first"));
    QTimer::singleShot(20000, &app, &QCoreApplication::quit);
    app.exec();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  Say(QStringLiteral("ended"));
  return 0;
}
