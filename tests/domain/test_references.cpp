#include "DomainDesk.h"
#include "src/Platform/Configuration/uQueryObject.h"
#include "src/Platform/Domain/Fields/uEntityField.h"
#include "src/Platform/Domain/Fields/uListField.h"
#include "src/Platform/Domain/uEntityList.h"
#include "src/Platform/Domain/uSession.h"
#include "src/Platform/uException.h"
#include "src/Platform/uJSON.h"

namespace {

class References : public TDomainTest {
 protected:
  TListField* List(TEntity* AEntity, const QString& AName) {
    return static_cast<TListField*>(AEntity->FieldByName(AName));
  }
  TEntityField* Ref(TEntity* AEntity, const QString& AName) {
    return static_cast<TEntityField*>(AEntity->FieldByName(AName));
  }
};

QString JSONText(TBaseField* AField) {
  std::unique_ptr<TJSONValue> value = AField->JSON();
  return value ? value->ToString() : QStringLiteral("<none>");
}

}  // namespace

TEST_F(References, SettingAMasterFieldMovesTheItemBetweenOwnersLists) {
  TEntity* a = Stored("Funds", 1, "A");
  TEntity* b = Stored("Funds", 2, "B");
  TEntity* report = Stored("Reports", 1, "R");
  TTestView viewA, viewB;
  a->AddUIListener("Reports", &viewA);
  b->AddUIListener("Reports", &viewB);
  TTestHolder holder;
  report->_SetFieldEntity(&holder, "Fund", a);
  EXPECT_EQ(a->GetFieldList("Reports"), std::vector<TEntity*>({report}));
  EXPECT_EQ(viewA.Count(dckEntityAdded), 1);
  report->_SetFieldEntity(&holder, "Fund", b);
  EXPECT_TRUE(a->GetFieldList("Reports").empty());
  EXPECT_EQ(b->GetFieldList("Reports"), std::vector<TEntity*>({report}));
  EXPECT_EQ(viewA.Count(dckEntityRemoved), 1);
  EXPECT_EQ(viewB.Count(dckEntityAdded), 1);
  EXPECT_EQ(b->Listeners().size(), 1u);  // the report's reference
  report->_SetFieldEntity(&holder, "Fund", NullEntity());
  EXPECT_TRUE(b->GetFieldList("Reports").empty());
  EXPECT_TRUE(b->Listeners().empty());
  EXPECT_TRUE(report->Listeners().empty());
  a->RemoveUIListener("Reports", &viewA);
  b->RemoveUIListener("Reports", &viewB);
}

TEST_F(References, ListsAreBuiltOnceEveryCollectionIsSubscribedWhateverTheLoadOrder) {
  for (int id = 1; id <= 3; ++id) FStorage->Row("reports", id).Values.insert("fund_id", id == 3 ? 0 : 7);
  FStorage->Row("funds", 7).Values.insert("name", "Seven");
  // Children first, then the master.
  Coll("Reports")->LoadAll(FStorage);
  Coll("Funds")->LoadAll(FStorage);
  Coll("Reports")->Subscribe();
  Coll("Funds")->Subscribe();
  TEntity* fund = Coll("Funds")->EntityByID(7);
  ASSERT_NE(fund, nullptr);
  EXPECT_EQ(fund->DisplayName(), "Seven");
  const std::vector<TEntity*> reports = fund->GetFieldList("Reports");
  ASSERT_EQ(reports.size(), 2u);
  EXPECT_EQ(reports[0]->ID(), 1);
  EXPECT_EQ(reports[1]->ID(), 2);
  EXPECT_EQ(Coll("Reports")->EntityByID(3)->ExtractEntity("Fund"), NullEntity());
  EXPECT_EQ(fund->Listeners().size(), 2u);

  // A negative stored reference is refused.
  FStorage->BeginRow("reports", 9);
  FStorage->WriteValue("fund_id", fkInteger, -4, false);
  TEntity* broken = Stored("Reports", 9);
  EXPECT_EQ(AssertionText([&] { broken->LoadFromStorage(FStorage); }), "Wrong entity ID is loaded");
}

TEST_F(References, AReferenceIsUnresolvedUntilSubscribedAndResolvesToWhatExists) {
  TEntity* fund = Stored("Funds", 4, "F");
  TEntity* report = Coll("Reports")->InternalCreateEntity(1, false);
  EXPECT_EQ(AssertionText([&] { Ref(report, "Fund")->Entity(); }), "Too early getting of entity");
  std::unique_ptr<TJSONObject> json = TJSONObject::LoadFromText(R"({"Fund":4,"Manager":99})");
  report->FillFromJSON(json.get(), true);
  report->SubscribeFields();
  EXPECT_EQ(report->ExtractEntity("Fund"), fund);
  EXPECT_EQ(report->ExtractEntity("Manager"), NullEntity());  // gone: no error
}

TEST_F(References, LinkingAnEntityAlreadyInTheListOnlyLogs) {
  TEntity* fund = Stored("Funds", 1, "F");
  TEntity* report = Stored("Reports", 1, "R");
  TTestHolder holder;
  List(fund, "Reports")->LinkListEntity(&holder, report);
  EXPECT_EQ(report->ExtractEntity("Fund"), fund);
  holder.Calls.clear();
  List(fund, "Reports")->LinkListEntity(&holder, report);
  EXPECT_TRUE(holder.Calls.isEmpty());
  EXPECT_EQ(LogLines().count("Exit from LinkListEntity"), 1);
  EXPECT_EQ(AssertionText([&] { List(fund, "Reports")->Contains(nullptr); }), "Somebody try to find nil in list field");
}

TEST_F(References, RemovingFromWeakListsUnlinksAndFromStrongOrTransitListsDeletes) {
  TEntity* fund = Stored("Funds", 1, "F");
  TEntity* report = Stored("Reports", 1, "R");
  TEntity* doc = Stored("Docs", 1, "D");
  TTestHolder holder;
  List(fund, "Reports")->LinkListEntity(&holder, report);
  List(fund, "Docs")->LinkListEntity(&holder, doc);

  List(fund, "Reports")->RemoveListEntity(&holder, report);
  EXPECT_FALSE(report->Deleted());
  EXPECT_EQ(report->ExtractEntity("Fund"), NullEntity());  // reset to its default
  EXPECT_EQ(fund->GetFieldList("Reports").size(), 0u);

  List(fund, "Docs")->RemoveListEntity(&holder, doc);
  EXPECT_TRUE(doc->Deleted());
  EXPECT_TRUE(LogLines().contains("Marked for deletion: " + doc->ToString()));

  TEntity* user = Stored("Users", 1, "U");
  TEntity* role = Stored("Roles", 1, "Admin");
  List(user, "Roles")->LinkListEntity(&holder, role);
  ASSERT_EQ(List(user, "Roles")->Count(), 1);
  TEntity* link = List(user, "Roles")->GetEntity(0);
  List(user, "Roles")->RemoveListEntity(&holder, role);
  EXPECT_TRUE(link->Deleted());
  EXPECT_FALSE(role->Deleted());
  EXPECT_EQ(AssertionText([&] { List(user, "Roles")->RemoveListEntity(&holder, fund); }),
            "Try to remove absent list entity");
}

TEST_F(References, DeletingAMasterDeletesItsStrongItemsAndClearsItsWeakOnes) {
  TEntity* fund = Stored("Funds", 1, "F");
  TEntity* report = Stored("Reports", 1, "R");
  TEntity* doc1 = Stored("Docs", 1, "D1");
  TEntity* doc2 = Stored("Docs", 2, "D2");
  report->_SetFieldEntity(nullptr, "Fund", fund);
  doc1->_SetFieldEntity(nullptr, "Owner", fund);
  doc2->_SetFieldEntity(nullptr, "Owner", fund);
  TTestHolder holder;
  fund->Delete(&holder);
  EXPECT_TRUE(fund->Deleted());
  EXPECT_TRUE(doc1->Deleted());
  EXPECT_TRUE(doc2->Deleted());
  EXPECT_FALSE(report->Deleted());
  EXPECT_EQ(report->ExtractEntity("Fund"), NullEntity());
  EXPECT_TRUE(holder.Calls.contains("set Reports.Fund"));
  // Items are marked from the last to the first, then the master.
  EXPECT_EQ(holder.Deleted, std::vector<TEntity*>({doc2, doc1, fund}));
}

TEST_F(References, TransitListsHoldLinkEntitiesAndReportTheirChanges) {
  TEntity* user = Stored("Users", 1, "U");
  TEntity* admin = Stored("Roles", 1, "Admin");
  TEntity* guest = Stored("Roles", 2, "Guest");
  TTestHolder holder;
  DeskReactions().clear();
  TListField* roles = List(user, "Roles");
  roles->LinkListEntity(&holder, admin);
  EXPECT_TRUE(roles->IsTransit());
  EXPECT_TRUE(roles->Contains(admin));
  EXPECT_FALSE(roles->Contains(guest));
  EXPECT_EQ(roles->GetRealEntity(0), admin);
  EXPECT_EQ(user->GetFieldList("Roles"), std::vector<TEntity*>({admin}));
  EXPECT_EQ(holder.Created.size(), 1u);
  // The list changed ("Roles"), then the role of its new link ("Role.Roles").
  TEntity* link = roles->GetEntity(0);
  const QString reaction = "Roles U " + QString::number(link->ID());
  EXPECT_EQ(DeskReactions(), QStringList({reaction, reaction}));
  DeskReactions().clear();
  link->_SetFieldEntity(&holder, "Role", guest);
  EXPECT_TRUE(roles->Contains(guest));
  EXPECT_EQ(DeskReactions(), QStringList({reaction}));
  EXPECT_TRUE(holder.Calls.contains("schedule Role.Roles"));

  // Condition tests of lists.
  TEntity* other = Stored("Users", 2, "O");
  List(other, "Roles")->LinkListEntity(&holder, guest);
  EXPECT_TRUE(roles->CheckValuedCondition(static_cast<TObject*>(guest), ckContains, cmNone));
  EXPECT_FALSE(roles->CheckValuedCondition(static_cast<TObject*>(admin), ckContains, cmNone));
  EXPECT_FALSE(roles->CheckValuedCondition(Variant::Null(), ckContains, cmNone));
  EXPECT_TRUE(roles->CheckValuedCondition(List(other, "Roles")->GetValue(), ckCrosses, cmNone));
  EXPECT_FALSE(roles->CheckValuedCondition(List(Stored("Users", 3), "Roles")->GetValue(), ckCrosses, cmNone));
  EXPECT_TRUE(Ref(link, "Role")->CheckValuedCondition(List(other, "Roles")->GetValue(), ckPartOf, cmNone));
  EXPECT_TRUE(Ref(link, "Role")->CheckValuedCondition(static_cast<TObject*>(guest), ckEqualTo, cmNone));
  EXPECT_FALSE(Ref(link, "Role")->CheckValuedCondition(Variant::Null(), ckEqualTo, cmNone));
  EXPECT_EQ(AssertionText([&] { Ref(link, "Role")->CheckValuedCondition(1, ckLessThan, cmNone); }),
            "Compare criteria doesn't supported");
}

TEST_F(References, AReferenceToAnUnsavedEntityStoresItsFreshlyDrawnID) {
  TEntity* fund = New("Funds", "new");
  TEntity* report = Stored("Reports", 1, "R");
  report->_SetFieldEntity(nullptr, "Fund", fund);
  EXPECT_EQ(JSONText(report->FieldByName("Fund")), "0");
  FStorage->Numerators["funds"] = 40;
  FStorage->BeginRow("reports", 1);
  report->FieldByName("Fund")->Transfer(FStorage);
  EXPECT_EQ(fund->ID(), 41);
  EXPECT_EQ(Coll("Funds")->EntityByID(41), fund);
  EXPECT_EQ(FStorage->Tables["reports"][1].Values.value("fund_id"), Variant(41));
  report->_SetFieldEntity(nullptr, "Fund", NullEntity());
  report->FieldByName("Fund")->Transfer(FStorage);
  EXPECT_TRUE(FStorage->Tables["reports"][1].Values.value("fund_id").IsNull());
}

TEST_F(References, SelectorsKeepTheCollectionOfTheirReference) {
  TEntity* bank = Stored("Banks", 3, "Bank");
  TEntity* note = Stored("Notes", 1, "N");
  TEntityField* partner = Ref(note, "Partner");
  ASSERT_TRUE(partner->IsSelector());
  EXPECT_EQ(partner->CollectionID(), 51);  // the first concrete definition
  note->_SetFieldEntity(nullptr, "Partner", bank);
  EXPECT_EQ(JSONText(partner), R"({"id":3,"type_id":51})");
  EXPECT_EQ(partner->LogInfo(), "[Партнёр]: [Banks: 3]\r\n");
  TEntity* shop = Stored("Shops", 8, "Shop");
  note->_SetFieldEntity(nullptr, "Partner", shop);
  EXPECT_EQ(partner->CollectionID(), 52);
  note->_SetFieldEntity(nullptr, "Partner", NullEntity());
  EXPECT_EQ(partner->CollectionID(), 52);
  EXPECT_EQ(partner->LogInfo(), "[Партнёр]: [EMPTY]\r\n");
  // Received as an object or as a bare ID (the collection stays).
  std::unique_ptr<TJSONValue> received = TJSONObject::ParseJSONValue(QString(R"({"id":3,"type_id":51})"));
  partner->SetJSON(received.get());
  EXPECT_EQ(partner->Entity(), bank);
  received = TJSONObject::ParseJSONValue(QString("8"));
  partner->SetJSON(received.get());
  EXPECT_EQ(partner->Entity(), NullEntity());  // ID 8 is no bank
}

TEST_F(References, CreatingForAFieldTakesTheContextOfItsSelectiveFields) {
  TEntity* fund = Stored("Funds", 1, "F");
  TEntity* report = Stored("Reports", 1, "R");
  report->_SetFieldEntity(nullptr, "Fund", fund);
  TTestHolder holder;
  TEntity* manager = Coll("Employees")->CreateNewEntity(&holder, -1, report->FieldByName("Manager"));
  EXPECT_EQ(manager->ExtractEntity("Fund"), fund);
  EXPECT_TRUE(holder.Calls.contains("set Employees.Fund"));
}

TEST_F(References, FillersListTheirEntitiesAndSetTheQueryThatKeepsThemCurrent) {
  TEntity* fund = Stored("Funds", 1, "F");
  TEntity* b = Stored("Reports", 2, "b");
  TEntity* a = Stored("Reports", 1, "a");
  Stored("Reports", 3, "c");
  b->_SetFieldEntity(nullptr, "Fund", fund);
  a->_SetFieldEntity(nullptr, "Fund", fund);
  TUserSession session(FDomain.get(), nullptr);

  TEntityList items(FDomain.get(), &session);
  List(fund, "Reports")->GetEntityList(&session, &items);
  EXPECT_EQ(items.FillerKind(), lfkList);
  EXPECT_EQ(items.Entities(), std::vector<TEntity*>({a, b}));  // by name
  ASSERT_NE(items.Query(), nullptr);
  EXPECT_EQ(items.Query()->QueryString(), "Fund=*");

  TEntityList candidates(FDomain.get(), &session);
  List(fund, "Reports")->GetEntitiesForSelect(&session, &candidates);
  EXPECT_EQ(candidates.FillerKind(), lfkSelector);
  EXPECT_EQ(candidates.Count(), 1);
  EXPECT_EQ(candidates.GetEntity(0)->DisplayName(), "c");
  EXPECT_EQ(candidates.Query()->QueryString(), "&(!Fund=*)");

  TEntityList all(FDomain.get(), &session);
  List(fund, "Reports")->GetAllEntitiesForSelect(&session, &all);
  EXPECT_EQ(all.Count(), 3);
  EXPECT_EQ(all.Query()->QueryString(), "");

  // A reference field offers the empty choice first unless it is required;
  // its query is its dependency.
  TEntity* m1 = Stored("Employees", 1, "M1");
  Stored("Employees", 2, "M2");
  m1->_SetFieldEntity(nullptr, "Fund", fund);
  TEntityList managers(FDomain.get(), &session);
  Ref(a, "Manager")->GetEntitiesForSelect(&session, &managers);
  EXPECT_EQ(managers.Entities(), std::vector<TEntity*>({NullEntity(), m1}));
  EXPECT_EQ(managers.Query()->QueryString(), "Fund=Fund");
}
