// Definitions: inheritance from several ancestors over several levels,
// flags and service fields, actions, filters, reports, and the columns a
// definition asks of its storage.
#include <gtest/gtest.h>

#include "TestDesk.h"
#include "src/Platform/Configuration/uDefinition.h"
#include "src/Platform/Configuration/uObjectFieldDef.h"
#include "src/Platform/Configuration/uQueryObject.h"
#include "src/Platform/Configuration/uReport.h"
#include "src/Platform/Domain/uStorageStructure.h"

namespace {

QStringList FieldNames(const TDefinition* ADefinition) {
  QStringList names;
  for (int i = 0; i < ADefinition->FieldCount(); ++i) names << ADefinition->Field(i)->Name();
  return names;
}

QStringList ServiceFieldNames(const TDefinition* ADefinition) {
  QStringList names;
  for (int i = 0; i < ADefinition->ServiceFieldCount(); ++i) names << ADefinition->ServiceField(i)->Name();
  return names;
}

QStringList Names(const std::vector<TDefinition*>& AList) {
  QStringList names;
  for (const TDefinition* definition : AList) names << definition->Name();
  return names;
}

// Records what a definition asks of a storage.
class TRecordingStorage : public TStorageStructure {
 public:
  bool SyncGroupDef(const QString& ATag, const std::function<void()>& ASyncFunc) override {
    Tables << ATag;
    ASyncFunc();
    return true;
  }
  void SyncItemDef(const QString& ATag, TFieldKind AKind, int ASize) override {
    Columns.push_back({ATag, AKind, ASize});
  }
  QStringList Tables;
  std::vector<TStorageColumn> Columns;
};

}  // namespace

void PrintTo(const TStorageColumn& AColumn, std::ostream* AStream) {
  *AStream << "{" << AColumn.Name.toStdString() << ", " << FieldKindName(AColumn.Kind).toStdString() << ", "
           << AColumn.Size << "}";
}

namespace {

class TDefinitionTest : public TDeskTest {};

}  // namespace

TEST_F(TDefinitionTest, SeveralAncestorsOverSeveralLevels) {
  TDefinition* funds = Def("Funds");
  // Fields from both ancestors in declaration order; the second ancestor
  // replaces same-named fields in place; hierarchy fields follow the
  // inherited ones, own declarations come last.
  EXPECT_EQ(FieldNames(funds), QStringList({"Note", "Name", "Color", "Priority", "Parent", "Children", "Department",
                                            "Kind", "Balance", "Opened", "Rate", "Shares", "IsActive", "Rights", "Logo",
                                            "Scratch", "Manager", "Reports", "Managers"}));
  TFieldDef* name = funds->FieldByName("Name");
  EXPECT_EQ(name->Definition(), Def("Colored"));  // shared with the ancestor that owns it
  EXPECT_EQ(name->StorageName(), "title");
  EXPECT_EQ(name->FullName(), "Colored.Name");
  EXPECT_EQ(funds->FieldByName("Note"), Def("Base")->FieldByName("Note"));

  EXPECT_EQ(Names(Def("Base")->Descendants()), QStringList({"Named", "Colored"}));
  EXPECT_EQ(Names(Def("Named")->Descendants()), QStringList({"Folders", "Funds"}));
  EXPECT_EQ(Names(Def("Colored")->Descendants()), QStringList({"Funds"}));
  EXPECT_EQ(Names(Def("Base")->InnerDefinitions()), QStringList({"Folders", "Funds"}));
  EXPECT_EQ(Names(Def("Documents")->InnerDefinitions()), QStringList({"Reports", "AnnualReports", "QuarterlyReports"}));
  EXPECT_EQ(Names(Def("Reports")->InnerDefinitions()), QStringList({"Reports", "AnnualReports", "QuarterlyReports"}));
  EXPECT_EQ(Names(Def("Employees")->InnerDefinitions()), QStringList({"Employees"}));

  EXPECT_TRUE(Def("AnnualReports")->IsDescendantOf("documents"));
  EXPECT_TRUE(Def("AnnualReports")->IsDescendantOf("AnnualReports"));
  EXPECT_TRUE(Def("Funds")->IsDescendantOf("BASE"));
  EXPECT_FALSE(Def("AnnualReports")->IsDescendantOf("Funds"));
  EXPECT_FALSE(Def("Base")->IsDescendantOf("Named"));

  // Three levels: the state field and the aggregation reach the grandchild.
  TDefinition* annual = Def("AnnualReports");
  EXPECT_EQ(FieldNames(annual), QStringList({"DocDate", "State", "Fund", "Manager", "Amount"}));
  ASSERT_NE(annual->StateFieldDef(), nullptr);
  EXPECT_EQ(annual->StateFieldDef()->Dictionary(), "SendingStates");
  EXPECT_EQ(annual->AggregationForField("Amount"), akSum);
  EXPECT_EQ(annual->AggregationForField("amount"), akNotDefined);
  EXPECT_EQ(annual->Aggregations(), QStringList{"Amount=SUM"});
}

TEST_F(TConfigTest, TheFirstAncestorLendsItsAttributes) {
  RegisterDeclaringScript("Lend", [](TConfiguration* AConfig) {
    AConfig->AddDefinition(1, "A", "", clkLibrary)
        ->SetCaption("Первый")
        ->SetEmptyValue("< нет >")
        ->SetPrefix("№")
        ->SetFlags(ccReadOnly | ccLazyLoad)
        ->SetImageID(5)
        ->SetOrderNum(3)
        ->SetGroupFieldName("Kind")
        ->SetColorFieldName("Color")
        ->SetColorTarget(ctText)
        ->SetBackground(0x00FF00, 1, -2, 3);
    AConfig->AddDefinition(2, "B", "", clkLibrary)->SetCaption("Второй")->SetFlags(ccSystem | ccEnvSpecific);
    // " B " is trimmed, the empty entry and the undeclared "Z" are skipped.
    AConfig->AddDefinition(3, "C", "Z;A;; B ", clkLibrary);
    AConfig->AddDefinition(4, "D", "B", clkLibrary);
  });
  auto configurations = InitConfigurations();
  TConfiguration* config = configurations->GetByName("lend");
  TDefinition* c = config->DefinitionByName("C");
  EXPECT_EQ(c->Ancestors(), QStringList({"Z", "A", "", " B "}));
  EXPECT_EQ(c->_Caption(), "Первый");
  EXPECT_EQ(c->_EmptyValue(), "< нет >");
  EXPECT_EQ(c->_Prefix(), "№");
  EXPECT_EQ(c->Flags(), ccReadOnly | ccLazyLoad);
  EXPECT_EQ(c->UIState(), vsReadOnly);
  EXPECT_EQ(c->_ImageID(), 5);
  EXPECT_EQ(c->OrderNum(), 3);
  EXPECT_EQ(c->GroupFieldName(), "Kind");
  EXPECT_EQ(c->ColorFieldName(), "Color");
  EXPECT_EQ(c->ColorTarget(), ctText);
  EXPECT_EQ(c->Background().Color, 0x00FF00);
  EXPECT_EQ(c->Background().GreenOffset, -2);
  EXPECT_EQ(Names(config->DefinitionByName("A")->Descendants()), QStringList{"C"});
  EXPECT_EQ(Names(config->DefinitionByName("B")->Descendants()), QStringList({"C", "D"}));
  EXPECT_EQ(c->StorageName(), "c");
  EXPECT_EQ(c->ID(), 3);
  EXPECT_EQ(ServiceFieldNames(c), QStringList({"ID", "LogID"}));
  // Flags taken from an env-specific first ancestor bring the GUID field along.
  TDefinition* d = config->DefinitionByName("D");
  EXPECT_EQ(d->Flags(), ccSystem | ccEnvSpecific);
  EXPECT_EQ(ServiceFieldNames(d), QStringList({"ID", "LogID", "GUID"}));
}

TEST_F(TDefinitionTest, FlagsStatesAndServiceFields) {
  TDefinition* funds = Def("Funds");
  EXPECT_EQ(ServiceFieldNames(funds), QStringList({"ID", "LogID", "GUID"}));
  EXPECT_EQ(ServiceFieldNames(Def("Employees")), QStringList({"ID", "LogID"}));
  const struct {
    const char* Name;
    const char* Storage;
    TFieldKind Kind;
    int Size;
    const char* Caption;
  } service[] = {{"ID", "id", fkInteger, 0, "Идентификатор"},
                 {"LogID", "log_id", fkInteger, 0, "Ссылка на последнее изменение"},
                 {"GUID", "guid", fkString, 38, "Уникальный идентификатор"}};
  for (const auto& s : service) {
    SCOPED_TRACE(s.Name);
    TServiceFieldDef* field = funds->ServiceFieldByName(s.Name);
    EXPECT_NE(field, nullptr);
    if (!field) continue;
    EXPECT_EQ(field->StorageName(), s.Storage);
    EXPECT_EQ(field->Kind(), s.Kind);
    EXPECT_EQ(field->Size(), s.Size);
    EXPECT_EQ(field->_Caption(), s.Caption);
    EXPECT_EQ(field->UIState(), vsHidden);
    EXPECT_EQ(field->Flags(), cfSystem);
    EXPECT_EQ(funds->FieldByName(s.Name), nullptr);  // not among the fields
  }
  funds->SetFlags(ccEnvSpecific | ccReadOnly);
  funds->SetFlags(ccEnvSpecific);
  EXPECT_EQ(ServiceFieldNames(funds), QStringList({"ID", "LogID", "GUID"}));

  TDefinition definition(nullptr, 9, "Plain", "", clkLibrary);
  EXPECT_EQ(definition.UIState(), vsFullAccess);
  EXPECT_EQ(definition.SetFlags(ccReadOnly | ccSystem)->UIState(), vsReadOnly);
  EXPECT_TRUE(definition.HasFlag(ccSystem | ccNotSave));
  EXPECT_FALSE(definition.HasFlag(ccNotSave));
  EXPECT_EQ(definition.SetFlags(ccSystem)->UIState(), vsFullAccess);
  EXPECT_EQ(definition.Background().Color, 1);
  EXPECT_EQ(definition._ImageID(), -1);
  EXPECT_EQ(definition.FullName(), "Plain");
}

TEST_F(TDefinitionTest, HierarchyFieldsOnlyOnConcreteDefinitions) {
  EXPECT_TRUE(Def("Named")->IsHierarchical());
  EXPECT_EQ(Def("Named")->FieldByName("Parent"), nullptr);
  TDefinition* folders = Def("Folders");
  EXPECT_EQ(FieldNames(folders), QStringList({"Note", "Name", "Parent", "Children"}));
  auto* parent = dynamic_cast<TEntityFieldDef*>(folders->FieldByName("Parent"));
  ASSERT_NE(parent, nullptr);
  EXPECT_EQ(parent->StorageName(), "parent");
  EXPECT_EQ(parent->_Caption(), "Объект-родитель");
  EXPECT_EQ(parent->_ContentDefinition(), folders);
  EXPECT_EQ(parent->UIState(), vsHidden);
  EXPECT_EQ(parent->Flags(), cfSystem);
  EXPECT_EQ(parent->SearchType(), stSearchEverywhere);
  auto* children = dynamic_cast<TListFieldDef*>(folders->FieldByName("Children"));
  ASSERT_NE(children, nullptr);
  EXPECT_EQ(children->MasterFieldName(), "Parent");
  EXPECT_EQ(children->_Caption(), "Дочерние объекты");
  EXPECT_EQ(children->_ContentDefinition(), folders);
  EXPECT_EQ(children->Flags(), cfSystem);
  // Funds' own Parent replaces nothing inherited and refers to Funds.
  EXPECT_EQ(dynamic_cast<TEntityFieldDef*>(Def("Funds")->FieldByName("Parent"))->_ContentDefinition(), Def("Funds"));
}

TEST_F(TDefinitionTest, FieldLookupsPathsAndStorageNames) {
  TDefinition* funds = Def("Funds");
  EXPECT_NE(funds->FieldByName("IsActive"), nullptr);
  EXPECT_EQ(funds->FieldByName("isactive"), nullptr);  // field names keep their case
  EXPECT_FALSE(funds->FieldExists("ISACTIVE"));
  EXPECT_EQ(funds->IndexOfField("Kind"), 7);
  EXPECT_EQ(funds->IndexOfField("kind"), -1);
  EXPECT_EQ(funds->FieldNameByStorageName("IS_ACTIVE"), "IsActive");
  EXPECT_EQ(funds->FieldNameByStorageName("TITLE"), "Name");
  EXPECT_EQ(funds->FieldNameByStorageName("nothing"), "");
  funds->RemoveField("Kind");
  EXPECT_TRUE(funds->FieldExists("Kind"));

  TDefinition* reports = Def("Reports");
  const struct {
    const char* Path;
    TFieldDef* Expected;
  } paths[] = {
      {"Amount", reports->FieldByName("Amount")},
      {"Fund.Name", Def("Colored")->FieldByName("Name")},
      {"Fund.Manager.Login", Def("Employees")->FieldByName("Login")},
      {"Fund.Reports.Amount", reports->FieldByName("Amount")},
      {"Amount.Value", nullptr},  // through a simple field
      {"Fund.Nothing", nullptr},
      {"Nothing.Name", nullptr},
      {"fund.Name", nullptr},
  };
  for (const auto& p : paths) {
    SCOPED_TRACE(p.Path);
    EXPECT_EQ(reports->ExtractFieldDef(p.Path), p.Expected);
  }
}

TEST_F(TDefinitionTest, ActionsFiltersAndPresentations) {
  TDefinition* funds = Def("Funds");
  TSysAction* print = Def("Base")->ActionByName("Print");
  ASSERT_NE(print, nullptr);
  EXPECT_EQ(funds->ActionCount(), 2);  // "Print" reached along both paths once, "Recalculate"
  EXPECT_EQ(funds->ActionByName("PRINT"), print);
  EXPECT_EQ(print->FullName(), "Base.Print");
  EXPECT_EQ(print->Definition(), Def("Base"));
  EXPECT_EQ(print->Flags(), ccContextAction);
  EXPECT_EQ(print->Kind(), clkLibrary);
  EXPECT_EQ(print->ID(), 0);
  EXPECT_EQ(print->ServiceFieldByName("ID")->FullName(), "Base.Print.ID");
  TSysAction* recalculate = funds->ActionByName("Recalculate");
  EXPECT_EQ(recalculate->Flags(), ccListAction | ccContextAction);
  EXPECT_EQ(recalculate->_Caption(), "Пересчитать");
  EXPECT_EQ(recalculate->_ImageID(), 7);
  // Not its own: found in a descendant, depth first.
  EXPECT_EQ(Def("Base")->ActionByName("Recalculate"), recalculate);
  EXPECT_EQ(Def("Base")->ActionByName("Send"), nullptr);
  std::vector<TSysAction*> all;
  Def("Base")->GetAllActions(all);
  EXPECT_EQ(all, (std::vector<TSysAction*>{print, recalculate}));

  TSysAction* create = FDesk->ActionByName("createreport");
  ASSERT_NE(create, nullptr);
  EXPECT_EQ(create->Flags(), ccReadOnly);
  EXPECT_EQ(create->UIState(), vsReadOnly);
  EXPECT_EQ(create->Definition(), nullptr);
  EXPECT_EQ(create->FullName(), "CreateReport");
  EXPECT_EQ(create->FieldByName("ReportFile")->FullName(), "CreateReport.ReportFile");
  EXPECT_EQ(FDesk->ActionByName("CheckSendingStatus")->Flags(), ccInstantExecution | ccReadOnly);
  EXPECT_EQ(FDesk->ActionCount(), 2);

  // Filters are re-created on each descendant, over its own collection.
  ASSERT_EQ(funds->FilterCount(), 2);
  TFilter* active = funds->FilterByName("active");
  ASSERT_NE(active, nullptr);
  EXPECT_NE(active, Def("Named")->FilterByName("Active"));
  EXPECT_EQ(active->Owner(), funds);
  EXPECT_EQ(active->FullName(), "Funds.filActive");
  EXPECT_EQ(active->_Caption(), "Активные");
  EXPECT_EQ(active->Query(), "!Disabled");
  EXPECT_EQ(active->QueryObject()->CollectionNames(), QStringList{"Funds"});
  EXPECT_EQ(active->QueryObject()->QueryString(), "!Disabled");
  EXPECT_EQ(funds->Filter(1)->Name(), "Visible");
  EXPECT_EQ(Def("QuarterlyReports")->FilterByName("Sent")->FullName(), "QuarterlyReports.filSent");
  funds->AddFilter("Active", "Все", "");
  EXPECT_EQ(funds->FilterCount(), 2);
  EXPECT_EQ(funds->Filter(0)->_Caption(), "Все");

  // The unique index of the first ancestor, compiled over the descendant.
  EXPECT_EQ(funds->IndexString(), "Name");
  EXPECT_EQ(funds->CheckUniqueQuery()->QueryString(), "&(*!=*,Name=Name)");
  EXPECT_EQ(funds->CheckUniqueQuery()->CollectionNames(), QStringList{"Funds"});
  EXPECT_EQ(Def("Employees")->CheckUniqueQuery()->QueryString(), "&(*!=*,Login=Login)");

  TPresentation* presentation = FDesk->PresentationByName("activefunds");
  ASSERT_NE(presentation, nullptr);
  EXPECT_EQ(presentation->Definition(), funds);
  EXPECT_EQ(presentation->_Caption(), "Активные фонды");
  EXPECT_EQ(presentation->UIState(), vsReadOnly);
  EXPECT_EQ(presentation->FullName(), "ActiveFunds");
  EXPECT_EQ(FDesk->AnyDefinitionByName("ACTIVEFUNDS"), presentation);
  EXPECT_EQ(FDesk->AnyDefinitionByName("funds"), funds);
  EXPECT_EQ(FDesk->AnyDefinitionByName("Nothing"), nullptr);
}

TEST_F(TConfigTest, ADefinitionIsPreferredToAPresentationOfTheSameName) {
  RegisterDeclaringScript("Pref", [](TConfiguration* AConfig) {
    AConfig->AddDefinition(1, "Funds", "", clkLibrary);
    AConfig->AddDefinition(2, "Staff", "", clkLibrary);
    AConfig->AddPresentation("Funds", "Staff");
    AConfig->AddPresentation("Loose", "NoSuchDefinition");
  });
  auto configurations = InitConfigurations();
  TConfiguration* config = configurations->GetByName("pref");
  EXPECT_EQ(config->AnyDefinitionByName("Funds"), config->DefinitionByName("Funds"));
  EXPECT_EQ(config->PresentationByName("Funds")->Definition(), config->DefinitionByName("Staff"));
  EXPECT_EQ(config->PresentationByName("Loose")->Definition(), nullptr);
  EXPECT_EQ(config->PresentationCount(), 2);
}

TEST_F(TConfigTest, ReplacingAnActionKeepsTheSharedOneAliveAndFreesEachOnce) {
  TSysAction* first = nullptr;
  TSysAction* second = nullptr;
  TSysAction* own = nullptr;
  TSysAction* configFirst = nullptr;
  TSysAction* configSecond = nullptr;
  RegisterDeclaringScript("Acts", [&](TConfiguration* AConfig) {
    TDefinition* a = AConfig->AddDefinition(1, "A", "", clkLibrary);
    first = a->AddAction("Send", "Отправить", 1, 0);
    a->AddAction("Other", "Другое", 2, 0);
    TDefinition* b = AConfig->AddDefinition(2, "B", "A", clkLibrary);
    TDefinition* c = AConfig->AddDefinition(3, "C", "A", clkLibrary);
    second = a->AddAction("Send", "Отправить снова", 3, 0);  // B and C still hold the first
    own = c->AddAction("SEND", "Своё", 4, 0);                // replaces C's inherited one only
    (void)b;
    configFirst = AConfig->AddAction("Run", "Запуск", 1, 0);
    AConfig->AddAction("Stop", "Стоп", 2, 0);
    configSecond = AConfig->AddAction("run", "Запуск 2", 3, ccAskParams);
  });
  auto configurations = InitConfigurations();
  TConfiguration* config = configurations->GetByName("acts");
  TDefinition* a = config->DefinitionByName("A");
  TDefinition* b = config->DefinitionByName("B");
  TDefinition* c = config->DefinitionByName("C");
  EXPECT_NE(first, second);
  EXPECT_EQ(a->ActionCount(), 2);
  EXPECT_EQ(a->Action(1), second);  // the new one goes to the end
  EXPECT_EQ(a->Action(0)->Name(), "Other");
  ASSERT_EQ(b->ActionByName("Send"), first);
  EXPECT_EQ(first->_Caption(), "Отправить");  // still alive: read under the sanitizer
  EXPECT_EQ(first->FullName(), "A.Send");
  EXPECT_EQ(c->ActionByName("send"), own);
  EXPECT_EQ(c->ActionCount(), 2);
  EXPECT_EQ(own->FullName(), "C.SEND");

  EXPECT_EQ(config->ActionCount(), 2);
  EXPECT_EQ(config->Action(0)->Name(), "Stop");
  EXPECT_EQ(config->Action(1), configSecond);
  EXPECT_EQ(config->ActionByName("RUN"), configSecond);
  EXPECT_NE(configFirst, configSecond);
  EXPECT_EQ(configSecond->Flags(), ccAskParams | ccReadOnly);
  // Destroying the configuration frees every action once; the sanitizer
  // reports a double free or a leak.
  configurations.reset();
}

TEST_F(TConfigTest, SharedRtfReportsOutliveTheirReplacementInTheOwner) {
  WriteFile("declared/a.rtf", "old {\\rtf $$Name$$}");
  WriteFile("shared/reports/A/a.rtf", "new");
  const QString declared = FTemp.File("declared/a.rtf");
  RegisterDeclaringScript("Shared", [&](TConfiguration* AConfig) {
    AConfig->AddDefinition(1, "A", "", clkLibrary)->AddRTFReport(declared);
    AConfig->AddDefinition(2, "B", "A", clkLibrary);
  });
  auto configurations = InitConfigurations();
  TConfiguration* config = configurations->GetByName("shared");
  TDefinition* a = config->DefinitionByName("A");
  TDefinition* b = config->DefinitionByName("B");
  ASSERT_EQ(a->RTFReportCount(), 1);
  ASSERT_EQ(b->RTFReportCount(), 1);
  // The folder's template replaced the declared one in A; B keeps using it.
  EXPECT_EQ(a->RTFReport(0)->Content(), "new");
  EXPECT_EQ(b->RTFReport(0)->Content(), "old {\\rtf $$Name$$}");
  EXPECT_EQ(b->RTFReport(0)->Owner(), a);
  EXPECT_EQ(b->RTFReport(0)->FullName(), "A.repa.rtf");
  EXPECT_EQ(b->RTFReport(0)->ReportName(), "a");
  EXPECT_EQ(b->RTFReport(0)->_Caption(), "a");
  // Freeing A first (list order) must not free what B still holds.
  config->RemoveDefinition("A");
  EXPECT_EQ(b->RTFReport(0)->Content(), "old {\\rtf $$Name$$}");
  EXPECT_EQ(config->DefinitionByName("a"), nullptr);
  EXPECT_EQ(config->DefinitionCount(), 1);
}

// What only shares a removed definition's objects loses the pointer to it;
// what the definition's own objects were registered with forgets them.
TEST_F(TConfigTest, RemovedDefinitionLeavesNoPointerBehind) {
  WriteFile("declared/a.rtf", "{\\rtf $$Name$$}");
  const QString declared = FTemp.File("declared/a.rtf");
  RegisterDeclaringScript("Removal", [&](TConfiguration* C) {
    C->AddDefinition(1, "T", "", clkLibrary);
    TDefinition* base = C->AddDefinition(2, "Base", "", clkMixin);
    base->AddEntityFieldDef("Dept", "dept", "Dept", "", "T");
    TDefinition* a = C->AddDefinition(3, "A", "", clkLibrary);
    a->AddRTFReport(declared);
    a->AddSysReport("Sheet", "Sheet", "sheet.frx", "");
    a->AddAction("Go", "Go", 1, 0)->AddListFieldDef("Picks", "Dept", "Picks", "T");
    C->AddDefinition(4, "B", "A", clkLibrary);  // shares A's action and reports
    C->AddPresentation("ViewA", "A");
    // Solo's own objects are registered with T and with Base's field.
    TDefinition* solo = C->AddDefinition(5, "Solo", "Base", clkLibrary);
    solo->AddEntityFieldDef("Buddy", "buddy", "Buddy", "", "T", 0, vsFullAccess, 0, estSortByName, "", "Dept=Dept");
    solo->AddAction("Run", "Run", 2, 0)->AddListFieldDef("Picks", "Dept", "Picks", "T");
  });
  auto configurations = InitConfigurations();
  TConfiguration* config = configurations->GetByName("removal");
  TDefinition* b = config->DefinitionByName("B");
  TDefinition* t = config->DefinitionByName("T");
  const auto ownerListNames = [t] {
    QStringList names;
    for (const TListFieldDef* list : t->OwnerLists()) names << list->FullName();
    return names;
  };
  ASSERT_EQ(ownerListNames(), QStringList({"A.Go.Picks", "Solo.Run.Picks"}));
  ASSERT_EQ(config->DefinitionByName("Base")->FieldByName("Dept")->DependentFields().size(), 1u);

  config->RemoveDefinition("A");
  EXPECT_EQ(config->PresentationByName("ViewA")->Definition(), nullptr);
  ASSERT_EQ(b->ActionCount(), 1);
  EXPECT_EQ(b->Action(0)->Definition(), nullptr);
  EXPECT_EQ(b->Action(0)->FullName(), "A.Go");
  ASSERT_EQ(b->RTFReportCount(), 1);
  EXPECT_EQ(b->RTFReport(0)->Owner(), nullptr);
  EXPECT_EQ(b->RTFReport(0)->Content(), "{\\rtf $$Name$$}");
  ASSERT_EQ(b->SysReportCount(), 1);
  EXPECT_EQ(b->SysReport(0)->Owner(), nullptr);
  // B still holds the action, so its list stays registered.
  EXPECT_EQ(ownerListNames(), QStringList({"A.Go.Picks", "Solo.Run.Picks"}));

  config->RemoveDefinition("Solo");
  EXPECT_EQ(ownerListNames(), QStringList({"A.Go.Picks"}));
  EXPECT_TRUE(config->DefinitionByName("Base")->FieldByName("Dept")->DependentFields().empty());
  EXPECT_TRUE(config->DefinitionByName("Base")->Descendants().empty());
  EXPECT_EQ(config->DefinitionCount(), 3);
}

// A reference or an inherited field without its definition would leave the
// model unusable: such a removal is refused and changes nothing.
TEST_F(TConfigTest, RemovalOfADefinitionStillInUseIsRefused) {
  RegisterDeclaringScript("InUse", [](TConfiguration* C) {
    C->AddDefinition(1, "A", "", clkLibrary)
        ->AddSimpleFieldDef("Name", "name", "Name", Variant::Null(), Variant::Null(), 50, fkString);
    C->AddDefinition(2, "C", "", clkLibrary)->AddEntityFieldDef("Ref", "ref", "Ref", "", "A");
    C->AddDefinition(3, "D", "A", clkLibrary);
    C->AddDefinition(4, "E", "", clkLibrary);
    C->AddAction("Pick", "Pick", 1, 0)->AddEntityFieldDef("Target", "target", "Target", "", "E");
  });
  auto configurations = InitConfigurations();
  TConfiguration* config = configurations->GetByName("inuse");
  TDefinition* a = config->DefinitionByName("A");
  const QString path = QStringLiteral(" (src/Platform/Configuration/uConfiguration");
  EXPECT_EQ(MessageUpToLine([&] { config->RemoveDefinition("A"); }), "Definition [A] is still used by [C.Ref]" + path);
  EXPECT_EQ(config->DefinitionByName("A"), a);
  EXPECT_EQ(static_cast<TObjectFieldDef*>(config->DefinitionByName("C")->FieldByName("Ref"))->_ContentDefinition(), a);
  config->RemoveDefinition("C");
  // D's field Name is A's own.
  EXPECT_EQ(MessageUpToLine([&] { config->RemoveDefinition("A"); }), "Definition [A] is still used by [D.Name]" + path);
  EXPECT_EQ(config->DefinitionByName("D")->FieldByName("Name")->Definition(), a);
  EXPECT_EQ(MessageUpToLine([&] { config->RemoveDefinition("E"); }),
            "Definition [E] is still used by [Pick.Target]" + path);
  EXPECT_EQ(config->DefinitionCount(), 3);
}

TEST_F(TDefinitionTest, ColumnsAskedOfTheStorage) {
  const std::vector<TStorageColumn> funds = {
      {"note", fkString, 200}, {"title", fkString, 100},   {"color", fkColor, 0},
      {"priority", fkEnum, 0}, {"parent_id", fkObject, 0}, {"department", fkString, 50},
      {"kind", fkString, 20},  {"balance", fkCurrency, 0}, {"opened", fkDateTime, 0},
      {"rate", fkFloat, 0},    {"shares", fkInteger, 0},   {"is_active", fkBoolean, 0},
      {"rights", fkFlag, 0},   {"logo", fkBlob, 0},        {"manager_id", fkObject, 0},
      {"id", fkInteger, 0},    {"log_id", fkInteger, 0},   {"guid", fkString, 38},
  };
  TRecordingStorage storage;
  EXPECT_TRUE(Def("Funds")->SyncWithStorage(&storage));
  EXPECT_EQ(storage.Tables, QStringList{"funds"});
  EXPECT_EQ(storage.Columns, funds);
  EXPECT_EQ(Def("Funds")->StorageColumns(), funds);

  // A selector keeps the referred record's definition beside its identifier.
  const std::vector<TStorageColumn> employees = {{"login", fkString, 30},
                                                 {"department", fkString, 50},
                                                 {"last_report_id", fkObject, 0},
                                                 {"last_report_typeid", fkInteger, 0},
                                                 {"id", fkInteger, 0},
                                                 {"log_id", fkInteger, 0}};
  EXPECT_EQ(Def("Employees")->StorageColumns(), employees);

  // No table for a mixin or an unsaved collection.
  TRecordingStorage none;
  EXPECT_TRUE(Def("Named")->SyncWithStorage(&none));
  EXPECT_TRUE(Def("Notes")->SyncWithStorage(&none));
  EXPECT_TRUE(none.Tables.isEmpty());
  EXPECT_TRUE(Def("Notes")->StorageColumns().empty());
  EXPECT_EQ(Def("AnnualReports")->StorageName(), "annual_reports");
}

TEST_F(TConfigTest, AColumnWithoutANameIsAnAssertion) {
  RegisterDeclaringScript("Nameless", [](TConfiguration* AConfig) {
    TDefinition* things = AConfig->AddDefinition(1, "Things", "", clkLibrary);
    things->AddSimpleFieldDef("Code", "", "Код", Variant::Null(), Variant::Null(), 0, fkString);
    things->AddSimpleFieldDef("Memo", "", "Память", Variant::Null(), Variant::Null(), 10, fkString, "", "",
                              vsFullAccess, cfNotSave);
    AConfig->AddDefinition(2, "Bare", "", clkLibrary)->SetStorageName("");
  });
  auto configurations = InitConfigurations();
  TConfiguration* config = configurations->GetByName("nameless");
  TDefinition* things = config->DefinitionByName("Things");
  EXPECT_EQ(MessageUpToLine([&] { things->StorageColumns(); }),
            "Field [Things.Code] has no storage name (src/Platform/Configuration/uDefinition");
  TRecordingStorage storage;
  EXPECT_EQ(MessageUpToLine([&] { things->SyncWithStorage(&storage); }),
            "Field [Things.Code] has no storage name (src/Platform/Configuration/uDefinition");
  EXPECT_TRUE(storage.Tables.isEmpty());  // nothing half-made
  EXPECT_EQ(MessageUpToLine([&] { config->DefinitionByName("Bare")->SyncWithStorage(&storage); }),
            "Definition [Bare] has no storage name (src/Platform/Configuration/uDefinition");

  // A string of no size and no positive maximum gets 50 characters.
  things->FieldByName("Code")->SetStorageName("code");
  EXPECT_EQ(things->StorageColumns().front(), (TStorageColumn{"code", fkString, 50}));
}

TEST_F(TConfigTest, DeclarationErrors) {
  const struct {
    const char* Name;
    TDeclareFunc Declare;
    const char* Message;
  } cases[] = {
      {"DupName",
       [](TConfiguration* C) {
         C->AddDefinition(1, "Funds", "", clkLibrary);
         C->AddDefinition(2, "FUNDS", "", clkLibrary);
       },
       "Collection definition [FUNDS] already exists! (src/Platform/Configuration/uConfiguration"},
      {"DupID",
       [](TConfiguration* C) {
         C->AddDefinition(21, "Funds", "", clkLibrary);
         C->AddDefinition(21, "Other", "", clkLibrary);
       },
       "Definition [Other] trying to use ID=21 already identified the [Funds] "
       "(src/Platform/Configuration/uConfiguration"},
      {"DupPresentation",
       [](TConfiguration* C) {
         C->AddPresentation("Active", "");
         C->AddPresentation("active", "");
       },
       "Registry definition named as active already exists! (src/Platform/Configuration/uConfiguration"},
      {"NoLength",
       [](TConfiguration* C) {
         C->AddDefinition(1, "Funds", "", clkLibrary)
             ->AddSimpleFieldDef("Name", "name", "Имя", Variant::Null(), Variant::Null(), Variant::Null(), fkString);
       },
       "Undefined field length (src/Platform/Configuration/uDefinition"},
      {"NoLengthUnassigned",
       [](TConfiguration* C) {
         C->AddDefinition(1, "Funds", "", clkLibrary)
             ->AddSimpleFieldDef("Name", "name", "Имя", Variant(), Variant(), Variant(), fkString);
       },
       "Undefined field length (src/Platform/Configuration/uDefinition"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TScript::ClearScripts();
    RegisterDeclaringScript(c.Name, c.Declare);
    EXPECT_EQ(MessageUpToLine([this] { InitConfigurations(); }), c.Message);
  }
}
