// Field definitions: every kind, dictionaries, dependencies, and the
// relations made when the configuration is initialised.
#include <gtest/gtest.h>

#include "TestDesk.h"
#include "src/Platform/Configuration/uDefinition.h"
#include "src/Platform/Configuration/uObjectFieldDef.h"
#include "src/Platform/Configuration/uQueryObject.h"

namespace {

class TFieldDefTest : public TDeskTest {};

template <class T>
bool Is(const TFieldDef* AField) {
  return dynamic_cast<const T*>(AField) != nullptr;
}

}  // namespace

TEST_F(TFieldDefTest, EveryFieldKind) {
  const struct {
    const char* Definition;
    const char* Field;
    TFieldKind Kind;
    const char* StorageName;
    const char* FullName;
    bool (*IsOfClass)(const TFieldDef*);
  } cases[] = {
      {"Funds", "Department", fkString, "department", "Funds.Department", Is<TSimpleFieldDef>},
      {"Funds", "Shares", fkInteger, "shares", "Funds.Shares", Is<TSimpleFieldDef>},
      {"Funds", "Priority", fkEnum, "priority", "Colored.Priority", Is<TSimpleFieldDef>},
      {"Funds", "Rights", fkFlag, "rights", "Funds.Rights", Is<TSimpleFieldDef>},
      {"Funds", "Rate", fkFloat, "rate", "Funds.Rate", Is<TSimpleFieldDef>},
      {"Funds", "Opened", fkDateTime, "opened", "Funds.Opened", Is<TSimpleFieldDef>},
      {"Funds", "IsActive", fkBoolean, "is_active", "Funds.IsActive", Is<TSimpleFieldDef>},
      {"Funds", "Color", fkColor, "color", "Colored.Color", Is<TSimpleFieldDef>},
      {"Funds", "Balance", fkCurrency, "balance", "Funds.Balance", Is<TSimpleFieldDef>},
      {"Funds", "Manager", fkObject, "manager", "Funds.Manager", Is<TEntityFieldDef>},
      {"Funds", "Reports", fkList, "", "Funds.Reports", Is<TListFieldDef>},
      {"Funds", "Logo", fkBlob, "logo", "Funds.Logo", Is<TBlobFieldDef>},
      {"Reports", "State", fkEnum, "state", "Documents.State", Is<TSimpleFieldDef>},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Field);
    TFieldDef* field = Def(c.Definition)->FieldByName(c.Field);
    EXPECT_NE(field, nullptr);
    if (!field) continue;
    EXPECT_EQ(field->Kind(), c.Kind);
    EXPECT_EQ(field->StorageName(), c.StorageName);
    EXPECT_EQ(field->FullName(), c.FullName);
    EXPECT_TRUE(c.IsOfClass(field));
  }

  auto* rate = static_cast<TSimpleFieldDef*>(Def("Funds")->FieldByName("Rate"));
  EXPECT_EQ(rate->MinValue(), Variant(0.0));
  EXPECT_EQ(rate->MaxValue(), Variant(1.0));
  EXPECT_EQ(rate->DefaultValue(), Variant(0.5));
  EXPECT_FALSE(rate->CanBeNull());
  EXPECT_TRUE(rate->NullValue().IsNull());
  EXPECT_EQ(rate->Size(), -1);
  EXPECT_EQ(rate->_Caption(), "Ставка");

  auto* file = static_cast<TSimpleFieldDef*>(FDesk->ActionByName("CreateReport")->FieldByName("ReportFile"));
  EXPECT_TRUE(file->CanBeNull());
  EXPECT_EQ(file->NullValue(), Variant(QString("")));
  EXPECT_EQ(file->MaxValue(), Variant(255));
  EXPECT_EQ(file->StyleName(), "file?filter=Файлы отчётов (.xtdd)|*.xtdd");
  EXPECT_EQ(file->UIState(), vsSelectOnly);
  EXPECT_TRUE(file->HasFlag(cfRequired));
  EXPECT_FALSE(file->HasFlag(cfNotSave | cfSystem));

  // The state field: read-only, from 0, no maximum, over the state machine.
  TDefinition* reports = Def("Reports");
  TSimpleFieldDef* state = reports->StateFieldDef();
  ASSERT_EQ(state, reports->FieldByName("State"));
  EXPECT_EQ(state->Definition(), Def("Documents"));
  EXPECT_EQ(state->UIState(), vsReadOnly);
  EXPECT_EQ(state->Flags(), 0);
  EXPECT_EQ(state->MinValue(), Variant(0));
  EXPECT_TRUE(state->MaxValue().IsNull());
  EXPECT_EQ(state->DefaultValue(), Variant(static_cast<int>(tssNew)));
  EXPECT_EQ(state->Dictionary(), "SendingStates");
  EXPECT_EQ(state->SearchType(), stSearchNone);
  EXPECT_EQ(state->StyleName(), "");

  auto* logo = static_cast<TBlobFieldDef*>(Def("Funds")->FieldByName("Logo"));
  EXPECT_EQ(logo->BlobFormat(), bffRaw);
  EXPECT_EQ(logo->NullString(), "< --- >");
  EXPECT_EQ(logo->_Hint(), "");

  auto* manager = static_cast<TEntityFieldDef*>(Def("Funds")->FieldByName("Manager"));
  EXPECT_EQ(manager->NullString(), "< --- >");
  EXPECT_EQ(manager->SelectorStorageName(), "manager_typeid");
  EXPECT_EQ(manager->DefaultEntityID(), 0);
  EXPECT_EQ(manager->SearchType(), stSearchEverywhere);
  EXPECT_TRUE(manager->IsFieldHidden("Login"));
  EXPECT_FALSE(manager->IsFieldHidden("login"));
  EXPECT_FALSE(manager->IsFieldHidden("Department"));

  auto* list = static_cast<TListFieldDef*>(Def("Funds")->FieldByName("Reports"));
  EXPECT_EQ(list->MasterFieldName(), "Fund");
  EXPECT_EQ(list->NullString(), "");
  EXPECT_EQ(list->RelationPower(), rpWeak);
  EXPECT_FALSE(list->IsTransit());
  EXPECT_TRUE(list->IsSelectiveField("Fund"));
  EXPECT_FALSE(list->IsSelectiveField("Manager"));
}

TEST(SimpleFieldDef, DictionaryTexts) {
  const struct {
    const char* Text;
    TSearchType Declared;
    const char* Dictionary;
    const char* Field;
    const char* Rank;
    TSearchType Effective;
  } cases[] = {
      {"Employees.Department&Login", stSearchFromBegin, "Employees", "Department", "Login", stSearchFromBegin},
      {"Employees.Department", stSearchEverywhere, "Employees", "Department", "", stSearchEverywhere},
      {"UserKinds", stSearchFromBegin, "UserKinds", "", "", stSearchNone},  // an enumeration name
      {"A.B.C", stSearchMultiEntrance, "A", "B.C", "", stSearchMultiEntrance},
      {"A.B&C&D", stSearchFromBegin, "A", "B", "C&D", stSearchFromBegin},
      {"A.&R", stSearchFromBegin, "A", "", "R", stSearchNone},  // no field: nothing to search in
      {"", stSearchFromBegin, "", "", "", stSearchNone},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Text);
    TSimpleFieldDef field(nullptr, fkString, "Kind", "kind", "Вид", "", "", Variant::Null(), 20, Variant::Null(),
                          vsFullAccess, 0, c.Text, c.Declared);
    EXPECT_EQ(field.Dictionary(), c.Dictionary);
    EXPECT_EQ(field.DictionaryField(), c.Field);
    EXPECT_EQ(field.RankField(), c.Rank);
    EXPECT_EQ(field.SearchType(), c.Effective);
    EXPECT_EQ(field.InitialSearchType(), c.Declared);
    EXPECT_EQ(field.FullName(), "Kind");  // no owner: just the name
  }
}

TEST(ObjectFieldDef, Dependencies) {
  const struct {
    const char* Dependencies;
    const char* Query;
    QStringList Selective;
  } cases[] = {
      {"Department=Department", "Department=Department", {"Department=Department"}},
      {"Department=Department;!Region>Area",
       "&(Department=Department,!Region>Area)",
       {"Department=Department", "Region=Area"}},
      {" Department=Department   Region={Area ",
       "&(Department=Department,Region={Area)",
       {"Department=Department", "Region=Area"}},
      {"IsActive", "IsActive", {}},  // a bare condition narrows the query only
      {"", "", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Dependencies);
    TDefinition owner(nullptr, 1, "Funds", "", clkLibrary);
    TFieldDef* department =
        owner.AddSimpleFieldDef("Department", "department", "", Variant::Null(), Variant::Null(), 50, fkString);
    TFieldDef* area = owner.AddSimpleFieldDef("Area", "area", "", Variant::Null(), Variant::Null(), 50, fkString);
    TEntityFieldDef* manager = owner.AddEntityFieldDef("Manager", "manager", "", "", "Employees", 0, vsFullAccess, 0,
                                                       estSortByName, "", c.Dependencies);
    EXPECT_EQ(manager->QueryString(), c.Query);
    EXPECT_EQ(manager->SelectiveFields(), c.Selective);
    EXPECT_EQ(manager->DependenciesText(), c.Dependencies);
    // Each right-hand field learns which candidate field follows it.
    const int links = static_cast<int>(department->DependentFields().size() + area->DependentFields().size());
    EXPECT_EQ(links, c.Selective.size()) << c.Dependencies;
    if (!department->DependentFields().empty()) {
      EXPECT_EQ(department->DependentFields()[0].FieldName, "Department");
      EXPECT_EQ(department->DependentFields()[0].Field, manager);
    }
  }
}

TEST(ObjectFieldDef, DependencyErrors) {
  const struct {
    const char* Dependencies;
    const char* Message;
  } cases[] = {
      {"Org.Code=Code", "Selection fields can't be multilevel! (src/Platform/Configuration/uObjectFieldDef"},
      {"Code=Org.Code", "Selection fields can't be multilevel! (src/Platform/Configuration/uObjectFieldDef"},
      {"!Org.Code=Code", "Selection fields can't be multilevel! (src/Platform/Configuration/uObjectFieldDef"},
      {"Code=Nothing",
       "Dependency [Code=Nothing] of field [Things.Ref] does not name a field of [Things] "
       "(src/Platform/Configuration/uObjectFieldDef"},
      {"Code=\"abc\"",
       "Dependency [Code=\"abc\"] of field [Things.Ref] does not name a field of [Things] "
       "(src/Platform/Configuration/uObjectFieldDef"},
      {"Code=code",
       "Dependency [Code=code] of field [Things.Ref] does not name a field of [Things] "
       "(src/Platform/Configuration/uObjectFieldDef"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Dependencies);
    TDefinition owner(nullptr, 1, "Things", "", clkLibrary);
    owner.AddSimpleFieldDef("Code", "code", "", Variant::Null(), Variant::Null(), 10, fkString);
    EXPECT_EQ(MessageUpToLine([&] {
                owner.AddListFieldDef("Ref", "Owner", "", "Others", "", "", vsFullAccess, 0, estSortByName, "", rpWeak,
                                      "", c.Dependencies);
              }),
              c.Message);
  }
}

TEST_F(TFieldDefTest, RelationsSelectorsAndOwnerLists) {
  // Reports has three concrete definitions: a reference to it is a selector
  // defaulting to the first declared.
  auto* subject = static_cast<TEntityFieldDef*>(Def("Notes")->FieldByName("Subject"));
  EXPECT_EQ(subject->_ContentDefinition(), Def("Reports"));
  EXPECT_TRUE(subject->IsSelector());
  EXPECT_EQ(subject->DefaultTypeID(), 31);
  EXPECT_EQ(subject->DefaultDefinitionName(), "Reports");
  EXPECT_EQ(subject->ContentDefinitionsText(), "Reports;AnnualReports;QuarterlyReports");
  ASSERT_NE(subject->QueryObject(), nullptr);
  EXPECT_EQ(subject->QueryObject()->CollectionNames(), QStringList({"Reports", "AnnualReports", "QuarterlyReports"}));

  auto* manager = static_cast<TEntityFieldDef*>(Def("Funds")->FieldByName("Manager"));
  EXPECT_FALSE(manager->IsSelector());
  EXPECT_EQ(manager->DefaultTypeID(), 20);
  EXPECT_EQ(manager->QueryObject()->CollectionNames(), QStringList{"Employees"});
  EXPECT_EQ(manager->QueryObject()->QueryString(), "Department=Department");

  auto* reports = static_cast<TListFieldDef*>(Def("Funds")->FieldByName("Reports"));
  auto* managers = static_cast<TListFieldDef*>(Def("Funds")->FieldByName("Managers"));
  for (const char* name : {"Reports", "AnnualReports", "QuarterlyReports"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(Def(name)->OwnerLists(), (std::vector<TListFieldDef*>{reports, managers}));
  }
  EXPECT_EQ(Def("Funds")->OwnerLists(),
            (std::vector<TListFieldDef*>{static_cast<TListFieldDef*>(Def("Funds")->FieldByName("Children"))}));

  // A transit list offers the targets of the transit field.
  EXPECT_TRUE(managers->IsTransit());
  EXPECT_EQ(managers->TransitDefinitions(), (std::vector<TDefinition*>{Def("Employees")}));
  EXPECT_EQ(managers->QueryObject()->CollectionNames(), QStringList{"Employees"});
}

TEST_F(TConfigTest, AnInheritedListFieldIsAnOwnerListOnce) {
  RegisterDeclaringScript("Lists", [](TConfiguration* AConfig) {
    AConfig->AddDefinition(1, "Items", "", clkLibrary)->AddEntityFieldDef("Owner", "owner", "", "", "Holders");
    AConfig->AddDefinition(2, "Holders", "", clkMixin)->AddListFieldDef("Items", "Owner", "Позиции", "Items");
    AConfig->AddDefinition(3, "Shops", "Holders", clkLibrary);
    AConfig->AddDefinition(4, "Stores", "Holders", clkLibrary);
  });
  auto configurations = InitConfigurations();
  TConfiguration* config = configurations->GetByName("lists");
  auto* items = static_cast<TListFieldDef*>(config->DefinitionByName("Holders")->FieldByName("Items"));
  EXPECT_EQ(config->DefinitionByName("Items")->OwnerLists(), (std::vector<TListFieldDef*>{items}));
  EXPECT_EQ(config->DefinitionByName("Shops")->FieldByName("Items"), items);
  auto* owner = static_cast<TEntityFieldDef*>(config->DefinitionByName("Items")->FieldByName("Owner"));
  EXPECT_TRUE(owner->IsSelector());
  EXPECT_EQ(owner->DefaultTypeID(), 3);
  EXPECT_EQ(owner->ContentDefinitionsText(), "Shops;Stores");
}

TEST_F(TConfigTest, RelationErrors) {
  const struct {
    const char* Name;
    TDeclareFunc Declare;
    const char* Message;
  } cases[] = {
      {"WrongType",
       [](TConfiguration* C) {
         C->AddDefinition(1, "Things", "", clkLibrary)->AddEntityFieldDef("Ref", "ref", "", "", "Nope");
       },
       "Wrong content type name [Nope] (src/Platform/Configuration/uObjectFieldDef"},
      {"NoType",
       [](TConfiguration* C) {
         C->AddDefinition(1, "Things", "", clkLibrary)->AddEntityFieldDef("Ref", "ref", "", "", "");
       },
       "Content type is not defined for field [Things.Ref] (src/Platform/Configuration/uObjectFieldDef"},
      {"NoConcrete",
       [](TConfiguration* C) {
         C->AddDefinition(1, "Lonely", "", clkMixin);
         C->AddDefinition(2, "Things", "", clkLibrary)->AddListFieldDef("Refs", "Owner", "", "Lonely");
       },
       "Content type [Lonely] of field [Things.Refs] has no concrete definition "
       "(src/Platform/Configuration/uObjectFieldDef"},
      {"ActionParameter",
       [](TConfiguration* C) { C->AddAction("Run", "", -1, 0)->AddEntityFieldDef("Target", "target", "", "", "Nope"); },
       "Wrong content type name [Nope] (src/Platform/Configuration/uObjectFieldDef"},
      {"BadTransit",
       [](TConfiguration* C) {
         C->AddDefinition(1, "Items", "", clkLibrary);
         C->AddDefinition(2, "Things", "", clkLibrary)->AddListFieldDef("Refs", "Owner", "", "Items", "Target");
       },
       "Transit field [Target] of field [Things.Refs] is not a reference of [Items] "
       "(src/Platform/Configuration/uObjectFieldDef"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TScript::ClearScripts();
    RegisterDeclaringScript(c.Name, c.Declare);
    EXPECT_EQ(MessageUpToLine([this] { InitConfigurations(); }), c.Message);
  }
}
