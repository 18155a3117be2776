#include "src/Platform/Configuration/uReport.h"

#include <QFile>
#include <QFileInfo>

#include "src/Platform/Configuration/uConfiguration.h"
#include "src/Platform/uTextCodec.h"

TRTFReport::TRTFReport(TDefinition* AOwner, const QString& AFileName)
    : FOwner(AOwner),
      FReportName(QFileInfo(AFileName).completeBaseName()),
      FFullName(AOwner->Name() + QStringLiteral(".rep") + QFileInfo(AFileName).fileName()),
      FCaption(FReportName),
      FFileName(AFileName) {
  QFile file(AFileName);
  if (file.open(QIODevice::ReadOnly)) FContent = DecodeAnsiText(file.readAll());
}

TSysReport::TSysReport(TDefinition* AOwner, const QString& AReportName, const QString& ACaption,
                       const QString& AFileName, const QString& AOutputFileMask)
    : TDefinition(AOwner->Configuration(), 0, AReportName, AOwner->Name() + QStringLiteral(".rep") + AReportName,
                  QString(), clkLibrary),
      FOwner(AOwner),
      FFileName(AFileName),
      FOutputFileMask(AOutputFileMask) {
  SetCaption(ACaption);
  const QString path = Configuration()->FindLeafFile(QStringLiteral("/reports/") + AFileName);
  if (path.isEmpty()) return;
  QFile file(path);
  if (file.open(QIODevice::ReadOnly)) {
    FContent = file.readAll();
    if (FContent.isNull()) FContent = QByteArray("");
  }
}
