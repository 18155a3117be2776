// Entity lists: what joins and leaves them as records are created, changed
// and deleted, the selection, sorting, fillers and what views are told.
#include <gtest/gtest.h>

#include <climits>

#include "DomainDesk.h"
#include "src/Platform/Configuration/uDefinition.h"
#include "src/Platform/Configuration/uQueryObject.h"
#include "src/Platform/Domain/Fields/uEntityField.h"
#include "src/Platform/Domain/Fields/uListField.h"
#include "src/Platform/Domain/uEntityList.h"
#include "src/Platform/uException.h"

namespace {

class TEntityListTest : public TDomainTest {
 protected:
  TEntityListTest() : TDomainTest("QueryDesk") {}
  TDefinition* Def(const QString& AName) const { return FDomain->Configuration()->DefinitionByName(AName); }
  std::unique_ptr<TEntityList> NewList() { return std::make_unique<TEntityList>(FDomain.get(), FSession.get()); }
  // An entity of Employees with a stored ID.
  TEntity* Stored(int32_t AID, const QString& AName) {
    TEntity* entity = Coll("Employees")->InternalCreateEntity(AID, false);
    entity->FieldInternalSetValue("Name", AName);
    entity->SubscribeFields();
    entity->ProcessFields();
    return entity;
  }
};

}  // namespace

TEST_F(TEntityListTest, FollowsCreationChangeAndDeletion) {
  auto list = NewList();
  TTestView view;
  list->AddUIListener(&view);
  // "Persons" is a mixin: the list watches both of its concrete collections.
  list->SetFiller(Def("Persons"), "Kind=2");
  EXPECT_EQ(list->FillerKind(), lfkDefinition);
  EXPECT_EQ(list->ContentDefinitions(), std::vector<TDefinition*>({Def("Employees"), Def("Contractors")}));
  EXPECT_EQ(Coll("Employees")->ViewListenerCount(), 1);
  EXPECT_EQ(Coll("Contractors")->ViewListenerCount(), 1);

  TEntity* anna = Add("Employees", "Anna", 2);  // joins once its Kind is set
  TEntity* carl = Add("Employees", "Carl", 1);  // never matches
  TEntity* bob = Add("Contractors", "Bob", 2);
  AddDepartment("Sales");  // not watched
  EXPECT_EQ(Names(list->Entities()), QStringList({"Anna", "Bob"}));

  Set(anna, "Total", 5.0);  // a member changes: the views are told
  Set(anna, "Kind", 3);     // stops matching, but stays
  Set(carl, "Kind", 2);     // starts matching: joins
  EXPECT_EQ(Names(list->Entities()), QStringList({"Anna", "Bob", "Carl"}));

  list->SelectEntity(bob);
  bob->Delete(FHolder.get());  // leaves the list and the selection
  EXPECT_EQ(Names(list->Entities()), QStringList({"Anna", "Carl"}));
  EXPECT_TRUE(list->Selection().empty());
  EXPECT_EQ(list->Selected(), nullptr);

  EXPECT_EQ(view.Texts, QStringList({"added:Anna", "added:Bob", "changed:Anna", "changed:Anna", "added:Carl",
                                     "selected:Bob", "removed:Bob", "selected:-"}));
  for (TObject* sender : view.Senders) EXPECT_EQ(sender, list.get());

  // Freed lists stop listening.
  list.reset();
  EXPECT_EQ(Coll("Employees")->ViewListenerCount(), 0);
  EXPECT_EQ(Coll("Contractors")->ViewListenerCount(), 0);
  Add("Employees", "Dora", 2);
}

TEST_F(TEntityListTest, SelectionAndViewNotifications) {
  TEntity* a = Add("Employees", "A");
  TEntity* b = Add("Employees", "B");
  auto list = NewList();
  list->InternalAdd(a);
  list->InternalAdd(b);
  EXPECT_FALSE(list->InternalAdd(a));
  EXPECT_EQ(list->Count(), 2);

  TTestView first;
  TTestView second;
  list->AddUIListener(&first);
  list->AddUIListener(&second);
  list->AddUIListener(&first);

  EXPECT_EQ(list->SelectEntity(a), nullptr);
  EXPECT_EQ(list->SelectEntity(a), a);  // already selected: nothing is sent
  EXPECT_EQ(list->SelectEntity(NullEntity()), a);
  EXPECT_TRUE(list->Selection().empty());
  list->SelectEntities({b, a});
  EXPECT_EQ(list->Selected(), b);
  EXPECT_EQ(first.Texts, QStringList({"selected:A", "selected:<null>", "selected:B"}));
  EXPECT_EQ(second.Texts, first.Texts);

  list->_Remove(a);  // a second selected entity leaves the selection too
  EXPECT_EQ(list->Selection(), std::vector<TEntity*>{b});
  list->RemoveUIListener(&first);
  list->_Add(a);
  list->_Remove(NullEntity());
  EXPECT_EQ(second.Texts.mid(3), QStringList({"removed:A", "selected:B", "added:A"}));
  EXPECT_EQ(first.Texts.size(), 5);

  list->Clear();
  EXPECT_EQ(list->Count(), 0);
  EXPECT_TRUE(list->Selection().empty());
}

TEST_F(TEntityListTest, ViewsAreToldLastRegisteredFirst) {
  auto list = NewList();
  QStringList order;
  struct TNamedView : TDomainListener {
    QString Name;
    QStringList* Order;
    void DomainChanged(const TDomainChangeMessage&) override { *Order << Name; }
  };
  TNamedView one;
  one.Name = "one";
  one.Order = &order;
  TNamedView two;
  two.Name = "two";
  two.Order = &order;
  list->AddUIListener(&one);
  list->AddUIListener(&two);
  list->_Add(Add("Employees", "A"));
  EXPECT_EQ(order, QStringList({"two", "one"}));
}

TEST_F(TEntityListTest, CollectionViewStateReachesTheViews) {
  auto list = NewList();
  TTestView view;
  list->AddUIListener(&view);
  list->SetFiller(Def("Employees"), QString());
  Coll("Employees")->SetViewState(vsReadOnly);
  EXPECT_EQ(list->ViewState(), vsReadOnly);
  ASSERT_EQ(view.Texts.size(), 1);
  EXPECT_TRUE(view.Texts[0].startsWith("state:"));
}

TEST_F(TEntityListTest, SortOrders) {
  TEntity* sales = AddDepartment("Sales");
  TEntity* office = AddDepartment("Office");
  TEntity* p1 = Add("Employees", "в", 0, 0, sales);   // provisional ID -1
  TEntity* p2 = Add("Employees", "А", 0, 0, office);  // -2
  TEntity* big = Stored(INT32_MAX, "Г");
  TEntity* five = Stored(5, "б");
  TEntity* contractor = Add("Contractors", "а", 0, 0, sales);
  ASSERT_EQ(p1->ID(), -1);
  ASSERT_EQ(p2->ID(), -2);

  auto list = NewList();
  for (TEntity* entity : {p1, p2, big, five, contractor}) list->InternalAdd(entity);
  list->AddFirst(NullEntity());

  // Compared, not subtracted: INT32_MAX against -2 does not overflow.
  list->Sort(estSortByID);
  EXPECT_EQ(Names(list->Entities()), QStringList({"А", "в", "а", "<null>", "б", "Г"}));
  // Locale-aware, without regard to case; equal names keep their order.
  list->Sort(estSortByName);
  EXPECT_EQ(Names(list->Entities()), QStringList({"<null>", "А", "а", "б", "в", "Г"}));
  // The empty choice first, then by collection name, then by name.
  list->Sort(estSortByTypeAndName);
  EXPECT_EQ(Names(list->Entities()), QStringList({"<null>", "а", "А", "б", "в", "Г"}));
  EXPECT_EQ(list->GetEntity(1), contractor);

  // By the ID of what the path's first segment references (Office -2, Sales
  // -1, none 0); the empty choice has no such path and goes last.
  const QStringList byDept({"А", "а", "в", "б", "Г", "<null>"});
  list->Sort(estSortByColorFieldID, "Dept.Name");
  EXPECT_EQ(list->SortFieldName(), "Dept.ID");
  EXPECT_EQ(Names(list->Entities()), byDept);
  list->Sort(estSortByColorFieldID, "Dept");
  EXPECT_EQ(list->SortFieldName(), "Dept.ID");
  list->Sort(estSortByName);
  list->Resort();
  EXPECT_EQ(list->SortType(), estSortByName);
  EXPECT_EQ(Names(list->Entities()), QStringList({"<null>", "А", "а", "б", "в", "Г"}));
  list->Sort(estSortByColorFieldID);  // without a path: unchanged, the old path kept
  EXPECT_EQ(Names(list->Entities()), QStringList({"<null>", "А", "а", "б", "в", "Г"}));
  EXPECT_EQ(list->SortFieldName(), "Dept.ID");
  list->Resort();
  EXPECT_EQ(Names(list->Entities()), byDept);

  list->Sort(estUserSort);
  EXPECT_EQ(Names(list->Entities()), byDept);
  EXPECT_EQ(MessageUpToLine([&] { list->Sort(static_cast<TEntitySortType>(9)); }),
            "The sorting isn't supported (src/Platform/Domain/uEntityList");
}

TEST_F(TEntityListTest, FillersAndTheirRefusals) {
  auto list = NewList();
  const QString path = " (src/Platform/Domain/uEntityList";
  EXPECT_EQ(MessageUpToLine([&] { list->SetFiller(static_cast<TBaseDefinition*>(nullptr), ""); }),
            "Invalid Filler for entity list" + path);
  EXPECT_EQ(MessageUpToLine([&] { list->SetDefinition(static_cast<TBaseDefinition*>(nullptr)); }),
            "Invalid definition for entity list" + path);
  EXPECT_EQ(MessageUpToLine([&] { list->AddEntity(FHolder.get(), "Employees"); }),
            "Unknown component filled this list" + path);
  EXPECT_EQ(list->Query(), nullptr);

  list->SetFiller(Def("Employees"), "Kind=2");
  list->SetFiller(Def("Employees"), "Kind=3");  // the same filler again: nothing changes
  EXPECT_EQ(list->Query()->QueryString(), "Kind=2");
  EXPECT_EQ(list->DefinitionName(), "Employees");

  // A new entity of a definition list is created in the named collection.
  TEntity* created = list->AddEntity(FHolder.get(), "Employees");
  EXPECT_EQ(created->Collection(), Coll("Employees"));
  EXPECT_FALSE(list->Contains(created));  // Kind 0 does not match

  // Another filler: the old collections are left, the new one watched.
  list->SetFiller(Def("Departments"), QString());
  EXPECT_EQ(Coll("Employees")->ViewListenerCount(), 0);
  EXPECT_EQ(Coll("Departments")->ViewListenerCount(), 1);
  TEntity* sales = AddDepartment("Sales");
  EXPECT_TRUE(list->Contains(sales));

  // A malformed query is refused before the old filler is left.
  EXPECT_EQ(MessageUpToLine([&] { list->SetFiller(Def("Employees"), "&"); }),
            "Group operator \"&\" must be followed by \"(\". Query: [&] (src/Platform/Configuration/uQueryObject");
  EXPECT_EQ(list->FillerDefinition(), Def("Departments"));
  EXPECT_EQ(Coll("Departments")->ViewListenerCount(), 1);
  EXPECT_EQ(Coll("Employees")->ViewListenerCount(), 0);

  // SetDefinition changes the definitions only.
  list->SetDefinition(Def("Persons"));
  EXPECT_EQ(list->FillerKind(), lfkDefinition);
  EXPECT_EQ(list->MainDefinition(), Def("Persons"));
  EXPECT_EQ(list->ContentDefinitions().size(), 2u);
  EXPECT_EQ(Coll("Departments")->ViewListenerCount(), 1);
}

TEST_F(TEntityListTest, ListFieldFillerPicksUpNewItems) {
  TEntity* sales = AddDepartment("Sales");
  TEntity* office = AddDepartment("Office");
  auto* staff = dynamic_cast<TListField*>(sales->FieldByName("Staff"));
  ASSERT_NE(staff, nullptr);

  auto list = NewList();
  list->SetFiller(staff, false, "Dept=*");  // "*" is the field's owner
  EXPECT_EQ(list->FillerKind(), lfkList);
  EXPECT_EQ(list->MainDefinition(), Def("Employees"));

  TEntity* dan = Add("Employees", "Dan", 0, 0, sales);
  Add("Employees", "Eve", 0, 0, office);
  EXPECT_EQ(Names(list->Entities()), QStringList{"Dan"});
  EXPECT_EQ(list->GetRealEntity(dan), dan);

  // A new item is created through the list field and joins by its master field.
  TEntity* item = list->AddEntity(FHolder.get(), "Employees");
  EXPECT_TRUE(staff->Contains(item));
  EXPECT_TRUE(list->Contains(item));

  // Linking an entity of another department moves it here.
  TEntity* fay = Add("Employees", "Fay", 0, 0, office);
  list->LinkEntity(FHolder.get(), fay);
  EXPECT_EQ(fay->ExtractEntity("Dept"), sales);
  EXPECT_TRUE(list->Contains(fay));

  // Candidates of an entity field: a selector; a new entity goes to the named collection.
  auto* dept = dynamic_cast<TEntityField*>(dan->FieldByName("Dept"));
  auto selector = NewList();
  selector->SetFiller(dept, QString());
  EXPECT_EQ(selector->FillerKind(), lfkSelector);
  EXPECT_EQ(selector->ContentDefinitions(), std::vector<TDefinition*>{Def("Departments")});
  TEntity* legal = selector->AddEntity(FHolder.get(), "Departments");
  EXPECT_EQ(legal->Collection(), Coll("Departments"));
  EXPECT_TRUE(selector->Contains(legal));
  selector->LinkEntity(FHolder.get(), legal);  // nothing to link into
  selector->RemoveEntity(FHolder.get(), legal);
  EXPECT_TRUE(legal->Deleted());
  EXPECT_FALSE(selector->Contains(legal));
}
