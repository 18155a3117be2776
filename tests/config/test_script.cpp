// The script registry and the declaration hooks.
#include <gtest/gtest.h>

#include "TestDesk.h"
#include "src/Platform/Configuration/uDefinition.h"

namespace {

QStringList& HookLog() {
  static QStringList log;
  return log;
}

class TRecordingScript : public TScript {
 public:
  explicit TRecordingScript(TConfiguration* AConfiguration) : TScript(AConfiguration) { HookLog() << "constructor"; }

 protected:
  void DoInit() override {
    HookLog() << "DoInit";
    FAppTitle = "Запись";
    FVersion = "0.26";
  }
  void DoCreateDefinitions() override {
    HookLog() << "DoCreateDefinitions";
    AddDefinition(1, "Base", "", "База", "", ccReadOnly | ccEnvSpecific, clkLibrary);
    // The script's AddDefinition sets caption, empty value and flags itself.
    TDefinition* child = AddDefinition(2, "Child", "Base", "Дочерний", "< нет >", ccLazyLoad, clkLibrary);
    HookLog() << QString::number(child->Flags()) + "/" + QString::number(child->UIState());
  }
  void DoFinishConfiguration() override {
    HookLog() << "DoFinishConfiguration:" + QString(DefinitionByName("child") ? "child" : "none");
    FVersion = "0.27";
  }
};

}  // namespace

TEST_F(TConfigTest, RegistryKeepsOrderAndDuplicatesAndComparesWithoutCase) {
  EXPECT_TRUE(TScript::GetRegisteredScripts().isEmpty());
  RegisterTestDesk();
  TScript::RegisterScript<TRecordingScript>("Recorder");
  TScript::RegisterScript<TRecordingScript>("recorder");
  EXPECT_EQ(TScript::GetRegisteredScripts(), QStringList({"TestDesk", "Recorder", "recorder"}));
  EXPECT_TRUE(TScript::ScriptExists("TESTDESK"));
  EXPECT_FALSE(TScript::ScriptExists("Test"));
  TScript::ClearScripts();
  EXPECT_FALSE(TScript::ScriptExists("TestDesk"));
}

TEST_F(TConfigTest, HooksRunInOrderAndTheVersionIsTheScripts) {
  HookLog().clear();
  TScript::RegisterScript<TRecordingScript>("Recorder");
  TConfigurations configurations(nullptr);
  TConfiguration* config = configurations.AddConfiguration("Recorder");
  // The script exists and has initialised before anything is declared.
  EXPECT_EQ(HookLog(), QStringList({"constructor", "DoInit"}));
  EXPECT_EQ(config->_Caption(), "Запись");
  EXPECT_EQ(config->Version(), "");
  EXPECT_EQ(config->Script()->Version(), "0.26");

  config->Init();
  EXPECT_EQ(HookLog(), QStringList({"constructor", "DoInit", "DoCreateDefinitions",
                                    QString::number(ccLazyLoad) + "/" + QString::number(vsFullAccess),
                                    "DoFinishConfiguration:child"}));
  EXPECT_EQ(config->Version(), "0.27");
  TDefinition* child = config->DefinitionByName("Child");
  EXPECT_EQ(child->_Caption(), "Дочерний");
  EXPECT_EQ(child->_EmptyValue(), "< нет >");
  EXPECT_EQ(config->DefinitionByName("Base")->UIState(), vsReadOnly);
  EXPECT_EQ(config->RootDefinition(), nullptr);  // no "SysDefinitions" declared
}

TEST_F(TConfigTest, TheTestDeskFinishesAfterEveryDefinitionExists) {
  RegisterTestDesk();
  auto configurations = InitConfigurations();
  EXPECT_EQ(configurations->GetByName("testdesk")->DefinitionByName("Folders")->OrderNum(), 9);
}
