#pragma once

#include <QByteArray>
#include <QString>

#include "src/Platform/Configuration/uDefinition.h"

// A text template with "$$name$$" placeholders filled from one record. The
// declaration part: the template is read when the report is made.
class TRTFReport {
 public:
  // AFileName is the template's full path; a missing file gives no content.
  TRTFReport(TDefinition* AOwner, const QString& AFileName);
  TDefinition* Owner() const { return FOwner; }
  // The file name without folder and extension.
  const QString& ReportName() const { return FReportName; }
  const QString& _Caption() const { return FCaption; }
  // Owner name + ".rep" + the file name with its extension.
  const QString& FullName() const { return FFullName; }
  const QString& FileName() const { return FFileName; }
  const QString& Content() const { return FContent; }
  // The owner was removed while others still share the template.
  void ForgetOwner(const TDefinition* AOwner) {
    if (FOwner == AOwner) FOwner = nullptr;
  }

 private:
  TDefinition* FOwner;  // not owned; none once the owner was removed
  QString FReportName;
  QString FFullName;
  QString FCaption;
  QString FFileName;
  QString FContent;
};

// A banded report on a definition; its fields are its input parameters. The
// declaration part: the template's bytes are looked up through the
// configuration (an ancestor configuration may supply them).
class TSysReport : public TDefinition {
 public:
  TSysReport(TDefinition* AOwner, const QString& AReportName, const QString& ACaption, const QString& AFileName,
             const QString& AOutputFileMask);
  TDefinition* Owner() const { return FOwner; }
  const QString& FileName() const { return FFileName; }
  // Empty when the template was not found.
  const QByteArray& Content() const { return FContent; }
  bool HasContent() const { return !FContent.isNull(); }
  const QString& OutputFileMask() const { return FOutputFileMask; }
  // The owner was removed while others still share the report.
  void ForgetOwner(const TDefinition* AOwner) {
    if (FOwner == AOwner) FOwner = nullptr;
  }

 private:
  TDefinition* FOwner;  // not owned; none once the owner was removed
  QString FFileName;
  QByteArray FContent;
  QString FOutputFileMask;
};
