// The configuration registry, the Init pipeline, leaf files through
// ancestors, report templates of the folders, and reaction registration.
#include <gtest/gtest.h>

#include <QDir>

#include "TestDesk.h"
#include "src/Common/uScheduler.h"
#include "src/Platform/Configuration/uDefinition.h"
#include "src/Platform/Configuration/uEnumeration.h"
#include "src/Platform/Configuration/uObjectFieldDef.h"
#include "src/Platform/Configuration/uReport.h"
#include "src/Platform/Domain/uReaction.h"
#include "src/Platform/Presenter/uLocalizator.h"
#include "src/Platform/uExtension.h"
#include "src/Platform/uPaths.h"

namespace {

QStringList Names(const std::vector<TDefinition*>& AList) {
  QStringList names;
  for (const TDefinition* definition : AList) names << definition->Name();
  return names;
}

QStringList ReactionNames(const TDefinition* ADefinition, const QString& AChain = QString()) {
  TestDeskReactionLog().clear();
  if (AChain.isEmpty()) {
    for (const TReactionRef& reaction : ADefinition->Reactions()->AllReactions())
      reaction->Proc(nullptr, nullptr, nullptr, nullptr);
  } else if (const auto* reactions = ADefinition->Reactions()->FindReactions(AChain)) {
    for (const TReactionRef& reaction : *reactions) reaction->Proc(nullptr, nullptr, nullptr, nullptr);
  }
  return TestDeskReactionLog();
}

// A script that only names its ancestors.
TDeclareFunc WithAncestors(const QString& AAncestors) {
  return [AAncestors](TConfiguration* AConfig) { AConfig->SetAncestors(AAncestors); };
}

}  // namespace

TEST_F(TConfigTest, TheTestDeskConfiguration) {
  RegisterTestDesk();
  auto configurations = InitConfigurations();
  ASSERT_EQ(configurations->Count(), 1);
  TConfiguration* desk = configurations->GetByName("TESTDESK");
  ASSERT_NE(desk, nullptr);
  EXPECT_EQ(configurations->GetByName("testDesk"), desk);
  EXPECT_EQ(desk->Name(), "testdesk");
  EXPECT_EQ(desk->ConfigurationDir(), ConfigurationsDir + "testdesk");
  EXPECT_EQ(desk->_Caption(), "Тестовый стол");
  EXPECT_EQ(desk->Version(), "1.2");
  EXPECT_EQ(desk->RootDefinition(), desk->DefinitionByName("SysDefinitions"));
  EXPECT_EQ(desk->IconFileName(), ConfigDir("testdesk") + "/favicon.ico");  // set though the file is missing
  EXPECT_EQ(desk->Localizator()->LangDir(), ConfigDir("testdesk") + "/translations");
  EXPECT_EQ(desk->Localizator()->IniFileName(), ConfigDir("testdesk") + "/settings.ini");
  EXPECT_EQ(desk->DefinitionCount(), 12);
  EXPECT_EQ(desk->Script()->Configuration(), desk);

  std::vector<TDefinition*> mixins;
  desk->GetDefinitionsByKind(mixins, clkMixin);
  EXPECT_EQ(Names(mixins), QStringList({"Base", "Named", "Colored", "Documents"}));
  std::vector<TDefinition*> documents;
  desk->GetDefinitionsByKind(documents, clkDocument);
  EXPECT_EQ(Names(documents), QStringList({"Reports", "AnnualReports", "QuarterlyReports"}));

  EXPECT_EQ(desk->Scheduler()->TimerInterval(), 60);
  ASSERT_EQ(desk->Scheduler()->PlannedTaskCount(), 2);
  EXPECT_EQ(desk->Scheduler()->PlannedTask(0).Period, 50);
  EXPECT_EQ(desk->Scheduler()->PlannedTask(1).Handler(nullptr), -1);

  TExtension* bank = desk->Extensions()->ExtensionByName("bankservice");
  ASSERT_NE(bank, nullptr);
  EXPECT_EQ(bank->ResolverCount(), 2);
  ASSERT_NE(bank->ResolverByName("DEV"), nullptr);
  auto service = bank->ResolverByName("Prod")->ExtensionClass()(nullptr, "params");
  EXPECT_NE(service, nullptr);
  EXPECT_EQ(desk->Extensions()->ExtensionByName("CryptoService"), nullptr);
}

TEST_F(TConfigTest, LookupsIgnoreCaseExceptFieldNames) {
  RegisterTestDesk();
  auto configurations = InitConfigurations();
  TConfiguration* desk = configurations->GetByName("testdesk");
  for (const char* name : {"Funds", "FUNDS", "funds", "fUnDs"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(configurations->GetByName(QString("TestDesk").toUpper()), desk);
    EXPECT_EQ(desk->DefinitionByName(name), desk->Definition(6));
    TDefinition* funds = desk->DefinitionByName(name);
    EXPECT_NE(funds ? funds->ActionByName(QString("recalculate").toUpper()) : nullptr, nullptr);
  }
  EXPECT_EQ(desk->Definition(6)->Name(), "Funds");
  EXPECT_EQ(desk->ActionByName("CHECKSENDINGSTATUS"), desk->Action(1));
  EXPECT_EQ(desk->Enums()->EnumByName("sendingSTATES"), desk->Enums()->StateMachineByName("SendingStates"));
  EXPECT_NE(desk->DefinitionByName("Funds")->FieldByName("Balance"), nullptr);
  EXPECT_EQ(desk->DefinitionByName("Funds")->FieldByName("balance"), nullptr);
  EXPECT_EQ(desk->DefinitionByName("Funds")->FieldByName("BALANCE"), nullptr);
}

TEST_F(TConfigTest, RegistryErrors) {
  EXPECT_EQ(MessageUpToLine([] { TConfiguration ghost("Ghost"); }),
            "There is no script for configuration [ghost] (src/Platform/Script/uScript");

  // The script registry keeps duplicates; the second configuration of a name fails.
  RegisterDeclaringScript("Twice", nullptr);
  RegisterDeclaringScript("TWICE", nullptr);
  EXPECT_EQ(MessageUpToLine([this] { InitConfigurations(); }),
            "Configuration [twice] already exists (src/Platform/Configuration/uConfiguration");

  TConfigurations configurations(nullptr);
  configurations.AddConfiguration("Twice");
  EXPECT_EQ(MessageUpToLine([&] { configurations.AddConfiguration("tWiCe"); }),
            "Configuration [twice] already exists (src/Platform/Configuration/uConfiguration");
}

TEST_F(TConfigTest, FindLeafFileLooksInTheOwnFolderThenTheAncestorsInOrder) {
  RegisterDeclaringScript("Child", WithAncestors("Mid; Ghost ;;Other"));
  RegisterDeclaringScript("Mid", WithAncestors("Base"));
  RegisterDeclaringScript("Other", nullptr);
  RegisterDeclaringScript("Base", nullptr);
  WriteFile("other/layouts/only_other.dfm");
  WriteFile("base/layouts/base_and_other.dfm");
  WriteFile("other/layouts/base_and_other.dfm");
  WriteFile("child/layouts/child_and_mid.dfm");
  WriteFile("mid/layouts/child_and_mid.dfm");
  WriteFile("ghost/layouts/ghost.dfm");
  auto configurations = InitConfigurations();
  TConfiguration* child = configurations->GetByName("child");

  const struct {
    const char* Path;
    const char* Found;  // relative to the configurations folder
  } cases[] = {
      {"/layouts/only_other.dfm", "other/layouts/only_other.dfm"},
      // the first ancestor's whole line comes before the second ancestor
      {"/layouts/base_and_other.dfm", "base/layouts/base_and_other.dfm"},
      {"/layouts/child_and_mid.dfm", "child/layouts/child_and_mid.dfm"},
      // not a registered configuration: skipped
      {"/layouts/ghost.dfm", ""},
      {"/layouts/missing.dfm", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Path);
    const QString expected = *c.Found ? FTemp.File(c.Found) : QString();
    EXPECT_EQ(child->FindLeafFile(c.Path), expected);
  }
  EXPECT_EQ(configurations->GetByName("mid")->FindLeafFile("/layouts/only_other.dfm"), "");
}

TEST_F(TConfigTest, FindLeafFileEndsOnCyclicAncestors) {
  RegisterDeclaringScript("LoopA", WithAncestors("LoopB"));
  RegisterDeclaringScript("LoopB", WithAncestors("LoopA;LoopB"));
  WriteFile("loopb/reports/t.frx");
  auto configurations = InitConfigurations();
  TConfiguration* a = configurations->GetByName("loopa");
  EXPECT_EQ(a->FindLeafFile("/missing.txt"), "");
  EXPECT_EQ(a->FindLeafFile("/reports/t.frx"), FTemp.File("loopb/reports/t.frx"));
  EXPECT_EQ(configurations->GetByName("loopb")->FindLeafFile("/missing.txt"), "");
}

TEST_F(TConfigTest, ReportTemplatesAreTakenSortedFromAncestorsThenTheOwnFolder) {
  auto declare = [](TConfiguration* AConfig) {
    AConfig->SetAncestors("Parent");
    AConfig->AddDefinition(1, "Docs", "", clkLibrary);
    AConfig->AddDefinition(2, "Kinds", "Docs", clkLibrary);
  };
  RegisterDeclaringScript("Child", declare);
  // The parent is not registered: its folder is still loaded.
  WriteFile("parent/reports/Docs/x.rtf", "parent x");
  WriteFile("parent/reports/Docs/y.rtf", "parent y");
  WriteFile("child/reports/Docs/y.rtf", "child y");
  WriteFile("child/reports/Docs/b.rtf", "child b");
  WriteFile("child/reports/Docs/a.rtf", "child a");
  WriteFile("child/reports/Docs/C.RTF");  // the extension is compared with case
  WriteFile("child/reports/Docs/d.Rtf");
  WriteFile("child/reports/Docs/e.rtf.bak");
  WriteFile("child/reports/Docs/sub.rtf/inner.rtf");  // subfolders are not read
  WriteFile("child/reports/Other/z.rtf");             // no such definition
  auto configurations = InitConfigurations();
  TDefinition* docs = configurations->GetByName("child")->DefinitionByName("Docs");

  QStringList found;
  for (int i = 0; i < docs->RTFReportCount(); ++i)
    found << docs->RTFReport(i)->ReportName() + "=" + docs->RTFReport(i)->Content();
  EXPECT_EQ(found, QStringList({"x=parent x", "y=child y", "a=child a", "b=child b"}));
  EXPECT_EQ(docs->RTFReport(1)->FileName(), FTemp.File("child/reports/Docs/y.rtf"));
  // Templates of a folder belong to the definition they are filed under.
  EXPECT_EQ(configurations->GetByName("child")->DefinitionByName("Kinds")->RTFReportCount(), 0);
  EXPECT_EQ(configurations->GetByName("child")->IconFileName(), ConfigDir("child") + "/favicon.ico");
}

TEST_F(TConfigTest, ReportDefinitionsFindTheirTemplateThroughAncestors) {
  // Templates are looked up while the script declares, so the ancestor
  // configuration is registered first.
  RegisterDeclaringScript("Legacy", nullptr);
  RegisterDeclaringScript("Heir", [](TConfiguration* AConfig) {
    AConfig->SetAncestors("Legacy");
    TDefinition* docs = AConfig->AddDefinition(1, "Docs", "", clkLibrary);
    docs->AddSysReport("Summary", "Сводка", "summary.frx", "Сводка {:Name}")
        ->AddSimpleFieldDef("Blank", "blank", "Бланк", false, Variant::Null(), Variant::Null(), fkBoolean);
    docs->AddSysReport("Lost", "Потерянный", "lost.frx", "");
    AConfig->AddDefinition(2, "Kinds", "Docs", clkLibrary);
  });
  WriteFile("legacy/reports/summary.frx", "<report/>");
  auto configurations = InitConfigurations();
  TDefinition* docs = configurations->GetByName("heir")->DefinitionByName("Docs");
  ASSERT_EQ(docs->SysReportCount(), 2);
  TSysReport* summary = docs->SysReport(0);
  EXPECT_EQ(summary->FullName(), "Docs.repSummary");
  EXPECT_EQ(summary->_Caption(), "Сводка");
  EXPECT_EQ(summary->Owner(), docs);
  EXPECT_EQ(summary->Content(), "<report/>");
  EXPECT_EQ(summary->OutputFileMask(), "Сводка {:Name}");
  EXPECT_EQ(summary->FieldByName("Blank")->FullName(), "Docs.repSummary.Blank");
  EXPECT_FALSE(docs->SysReport(1)->HasContent());
  EXPECT_EQ(configurations->GetByName("heir")->DefinitionByName("Kinds")->SysReport(0), summary);
}

TEST_F(TConfigTest, ReactionsReachDescendantsOnceAndMixinsKeepNone) {
  RegisterTestDesk();
  auto configurations = InitConfigurations();
  TConfiguration* desk = configurations->GetByName("testdesk");
  for (const char* name : {"Funds", "Folders", "Reports", "AnnualReports", "QuarterlyReports"}) {
    SCOPED_TRACE(name);
    TDefinition* definition = desk->DefinitionByName(name);
    EXPECT_EQ(ReactionNames(definition), QStringList{"late"});
    EXPECT_EQ(ReactionNames(definition, "State"), QStringList{"late"});
    EXPECT_EQ(ReactionNames(definition, "fund.name"), QStringList{"late"});
    EXPECT_TRUE(ReactionNames(definition, "State;Fund.Name").isEmpty());
  }
  for (const char* name : {"Base", "Named", "Colored", "Documents", "Employees"}) {
    SCOPED_TRACE(name);
    EXPECT_TRUE(desk->DefinitionByName(name)->Reactions()->AllReactions().empty());
  }
  EXPECT_EQ(ReactionNames(desk->ActionByName("CreateReport"), "ReportFile"), QStringList{"action"});
}

TEST_F(TConfigTest, AReactionCopiedAlongTwoAncestorPathsIsHeldOnce) {
  RegisterDeclaringScript("Diamond", [](TConfiguration* AConfig) {
    auto log = [](const QString& AName) -> TReactionProc {
      return [AName](TUserSession*, TChangeHolder*, TEntity*, TEntity*) { TestDeskReactionLog() << AName; };
    };
    AConfig->AddDefinition(1, "A", "", clkLibrary);
    AConfig->AddDefinition(2, "B", "A", clkLibrary);
    AConfig->AddDefinition(3, "C", "A", clkLibrary);
    AConfig->RegisterReaction("A", "Name", log("before"));  // D copies it from B and from C
    AConfig->AddDefinition(4, "D", "B;C", clkLibrary);
    AConfig->RegisterReaction("A;D;a", "Name", log("after"));  // D is reached three times
    AConfig->RegisterReaction("D", "Code", log("own"));
  });
  auto configurations = InitConfigurations();
  TConfiguration* config = configurations->GetByName("diamond");
  EXPECT_EQ(ReactionNames(config->DefinitionByName("D")), QStringList({"before", "after", "own"}));
  EXPECT_EQ(ReactionNames(config->DefinitionByName("D"), "Name"), QStringList({"before", "after"}));
  for (const char* name : {"A", "B", "C"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(ReactionNames(config->DefinitionByName(name)), QStringList({"before", "after"}));
  }
}

TEST(Reactions, ChainsAreSplitAndListedOnce) {
  TReactions reactions;
  int runs = 0;
  reactions.RegisterReaction("MailService;MailLogin;MailPassword",
                             [&runs](TUserSession*, TChangeHolder*, TEntity*, TEntity*) { ++runs; });
  ASSERT_EQ(reactions.AllReactions().size(), 1u);
  for (const char* chain : {"MailService", "maillogin", "MailPassword"}) {
    SCOPED_TRACE(chain);
    const auto* found = reactions.FindReactions(chain);
    EXPECT_NE(found, nullptr);
    if (!found) continue;
    EXPECT_EQ(found->size(), 1u);
    for (const TReactionRef& reaction : *found) reaction->Proc(nullptr, nullptr, nullptr, nullptr);
  }
  EXPECT_EQ(runs, 3);
  EXPECT_EQ(reactions.FindReactions("Mail"), nullptr);
  EXPECT_EQ(reactions.FindReactions("MailService;MailLogin;MailPassword"), nullptr);
  reactions.RegisterReaction(reactions.AllReactions()[0]);
  EXPECT_EQ(reactions.AllReactions().size(), 1u);
  EXPECT_EQ(reactions.FindReactions("MailLogin")->size(), 1u);
}
