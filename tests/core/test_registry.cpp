#include <gtest/gtest.h>

#include "src/Platform/uException.h"
#include "src/Platform/uNameList.h"
#include "src/Platform/uRegistry.h"
#include "src/Platform/uStringDictionary.h"
#include "support/TestEnv.h"

static constexpr const char* cModulePath = "src/Platform/Configuration/uConfiguration";

namespace {
// Records the order in which items are freed.
struct TTracked {
  TTracked(QString AName, QStringList* ALog) : Name(std::move(AName)), Log(ALog) {}
  ~TTracked() { Log->append(Name); }
  QString Name;
  QStringList* Log;
};
}  // namespace

TEST(Registry, LooksUpWithoutCaseFirstDuplicateWinsFreesInListOrder) {
  QStringList freed;
  {
    TRegistry<TTracked> registry;
    registry.Add("Alpha", std::make_unique<TTracked>("a1", &freed));
    registry.Add("Beta", std::make_unique<TTracked>("b", &freed));
    registry.Add("ALPHA", std::make_unique<TTracked>("a2", &freed));
    registry.Insert(0, "Gamma", std::make_unique<TTracked>("g", &freed));

    EXPECT_EQ(registry.Count(), 4);
    EXPECT_EQ(registry.ObjectByName("alpha")->Name, "a1");
    EXPECT_EQ(registry.ObjectByName("bEtA")->Name, "b");
    EXPECT_EQ(registry.ObjectByName("delta"), nullptr);
    EXPECT_EQ(registry.IndexOf("ALPHA"), 1);
    QStringList order;
    for (TTracked* item : registry) order << item->Name;
    EXPECT_EQ(order, QStringList({"g", "a1", "b", "a2"}));
  }
  EXPECT_EQ(freed, QStringList({"g", "a1", "b", "a2"}));
}

TEST(StringDictionary, CaseSensitiveAndReplacesInPlace) {
  QStringList freed;
  {
    TStringDictionary<std::unique_ptr<TTracked>> fields;
    fields.AddOrSetValue("Name", std::make_unique<TTracked>("n1", &freed));
    fields.AddOrSetValue("name", std::make_unique<TTracked>("lower", &freed));
    fields.AddOrSetValue("Code", std::make_unique<TTracked>("c", &freed));
    fields.AddOrSetValue("Name", std::make_unique<TTracked>("n2", &freed));  // frees n1

    EXPECT_EQ(freed, QStringList({"n1"}));
    EXPECT_EQ(fields.Keys(), QStringList({"Name", "name", "Code"}));
    EXPECT_EQ((*fields.Find("Name"))->Name, "n2");
    EXPECT_EQ(fields.Find("NAME"), nullptr);
    EXPECT_TRUE(fields.Remove("name"));
    EXPECT_EQ(fields.IndexOf("Code"), 1);
  }
  EXPECT_EQ(freed, QStringList({"n1", "lower", "n2", "c"}));
}

TEST(NameList, SplitsAtSemicolonTrimsAndSkipsEmpty) {
  const struct {
    const char* Text;
    QStringList Names;
  } cases[] = {
      {"", {}}, {"A", {"A"}}, {" A ; B;;C ;", {"A", "B", "C"}}, {"A,B; C D", {"A,B", "C D"}}, {" ; ; ", {}},
  };
  for (const auto& c : cases) EXPECT_EQ(SplitNameList(c.Text), c.Names) << c.Text;
}

TEST(Assertion, MessageNamesRuleModuleAndLine) {
  try {
    TV_ASSERT(1 + 1 == 3, "Definition [X] is not found");
    FAIL();
  } catch (const EAssertionFailed& e) {
    const QString expected = "Definition [X] is not found (src/Platform/Configuration/uConfiguration, line ";
    EXPECT_TRUE(e.Message().startsWith(expected)) << e.what();
    EXPECT_TRUE(e.Message().endsWith(QString::number(__LINE__ - 5) + ")")) << e.what();
  }
}
