#pragma once

// The test configuration "TestDesk" and what tests need around it: a fresh
// configurations folder and an empty script registry per test.

#include <gtest/gtest.h>

#include <QLocale>
#include <QString>
#include <functional>
#include <memory>

#include "src/Platform/Configuration/uConfiguration.h"
#include "src/Platform/Script/uScript.h"
#include "src/Platform/uPaths.h"
#include "support/TestEnv.h"
#include "support/TestGuards.h"

enum TTestSendingState : uint8_t { tssUnknown, tssNew, tssSent, tssRegistered, tssError };
enum TTestPriority : int16_t { prNone, prLow, prHigh };

// Registers the test desk's script under "TestDesk". Its configuration has:
// mixins "Base" -> "Named", "Colored" (a diamond under "Funds"), a
// hierarchical mixin "Named" and the concrete "Folders" below it, three
// levels "Documents" -> "Reports" -> "AnnualReports"/"QuarterlyReports",
// every field kind, dictionaries, dependencies, unique indexes, filters,
// actions, a presentation, the state machine "SendingStates" and the
// enumeration "Priorities", and reactions on the diamond and on an action.
void RegisterTestDesk();

// Records each run of a test desk reaction by the name it was registered with.
QStringList& TestDeskReactionLog();

// A script whose declarations are given by the test.
using TDeclareFunc = std::function<void(TConfiguration*)>;
void RegisterDeclaringScript(const QString& AName, TDeclareFunc ADeclare, const QString& AAppTitle = QString());

// Every test starts with an empty script registry and its own
// configurations folder.
class TConfigTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  // A configuration registry initialised from the registered scripts.
  std::unique_ptr<TConfigurations> InitConfigurations();
  // Writes a file under the configurations folder ("testdesk/reports/a.rtf").
  void WriteFile(const QString& ARelativePath, const QByteArray& ABytes = QByteArray("x"));
  QString ConfigDir(const QString& AName) const { return FTemp.Path() + QLatin1Char('/') + AName; }

  TRestoreOnExit<QString> FConfigurationsDirGuard{ConfigurationsDir};
  TTempFolder FTemp;
};

// A fixture with the registered test desk declared and initialised.
class TDeskTest : public TConfigTest {
 protected:
  void SetUp() override {
    TConfigTest::SetUp();
    RegisterTestDesk();
    FConfigurations = InitConfigurations();
    FDesk = FConfigurations->GetByName("TestDesk");
  }
  TDefinition* Def(const QString& AName) const { return FDesk->DefinitionByName(AName); }

  std::unique_ptr<TConfigurations> FConfigurations;
  TConfiguration* FDesk = nullptr;
};
