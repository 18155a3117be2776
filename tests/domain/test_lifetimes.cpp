// Who goes first: entity lists, views and referring entities against the
// domain, collections, entities and fields they point at. Run under ASan.
#include "DomainDesk.h"
#include "src/Platform/Configuration/uDefinition.h"
#include "src/Platform/Configuration/uQueryObject.h"
#include "src/Platform/Domain/Fields/uEntityField.h"
#include "src/Platform/Domain/Fields/uListField.h"
#include "src/Platform/Domain/uEntityList.h"
#include "src/Platform/Domain/uReaction.h"
#include "src/Platform/Domain/uSession.h"
#include "src/Platform/uException.h"

namespace {

class Lifetimes : public TDomainTest {
 protected:
  TDefinition* Def(const QString& AName) const { return FConfiguration->DefinitionByName(AName); }
  std::unique_ptr<TEntityList> NewList() {
    return std::make_unique<TEntityList>(FDomain.get(), FDomain->DomainSession());
  }
  TListField* List(TEntity* AEntity, const QString& AName) {
    return static_cast<TListField*>(AEntity->FieldByName(AName));
  }
  // Frees an entity the way the change manager does after a stored deletion
  // made elsewhere: marked without the collection's notification.
  void Free(TEntity* AEntity) {
    AEntity->SetDeletedFlag(true);
    AEntity->Collection()->RemoveEntity(AEntity);
  }
};

}  // namespace

TEST_F(Lifetimes, AListOutlivesItsDomain) {
  auto list = NewList();
  list->SetFiller(Def("Things"), QString());
  New("Things", "a");
  ASSERT_EQ(list->Count(), 1);
  FDomain.reset();
  EXPECT_EQ(list->Count(), 0);
  list->Sort(estSortByName);
  list->SetFiller(Def("Funds"), QString());  // no domain to listen to any more
  list.reset();
}

TEST_F(Lifetimes, ClearingACollectionEmptiesTheListsThatShowItsEntities) {
  auto list = NewList();
  TTestView view;
  list->AddUIListener(&view);
  list->SetFiller(Def("Things"), QString());
  TEntity* b = New("Things", "b");
  New("Things", "a");
  list->SelectEntity(b);
  ASSERT_EQ(list->Count(), 2);
  Coll("Things")->Clear();
  EXPECT_EQ(list->Count(), 0);
  EXPECT_EQ(list->Selected(), nullptr);
  EXPECT_EQ(view.Count(dckEntityRemoved), 2);
  list->Sort(estSortByName);
  // Still listening: new entities join.
  New("Things", "c");
  EXPECT_EQ(list->Count(), 1);
}

TEST_F(Lifetimes, RemovingAnEntityTellsTheListsThatHoldIt) {
  auto list = NewList();
  list->SetFiller(Def("Things"), QString());
  TEntity* b = New("Things", "b");
  TEntity* a = New("Things", "a");
  list->SelectEntity(a);
  Free(a);
  EXPECT_EQ(list->Entities(), std::vector<TEntity*>{b});
  EXPECT_TRUE(list->Selection().empty());
  list->Sort(estSortByName);
}

TEST_F(Lifetimes, AListLetsGoOfTheFieldThatFilledItWhenItsOwnerGoes) {
  TTestHolder holder(FDomain->DomainSession());
  TEntity* fund = New("Funds", "F");
  TEntity* report = New("Reports", "R");
  report->_SetFieldEntity(nullptr, "Fund", fund);
  auto items = NewList();
  List(fund, "Reports")->GetEntityList(FDomain->DomainSession(), items.get());
  ASSERT_EQ(items->Count(), 1);
  auto managers = NewList();
  static_cast<TEntityField*>(report->FieldByName("Manager"))
      ->GetEntitiesForSelect(FDomain->DomainSession(), managers.get());
  ASSERT_EQ(managers->FillerKind(), lfkSelector);

  Free(fund);
  EXPECT_EQ(items->FillerKind(), lfkUndefined);
  EXPECT_EQ(items->FillerField(), nullptr);
  EXPECT_EQ(items->Query(), nullptr);
  EXPECT_EQ(AssertionText([&] { items->AddEntity(&holder, "Reports"); }), "Unknown component filled this list");
  Free(report);
  EXPECT_EQ(managers->FillerKind(), lfkUndefined);
  EXPECT_EQ(AssertionText([&] { managers->AddEntity(&holder, "Employees"); }), "Unknown component filled this list");
  // Entities announced later meet no query bound to the freed owners.
  New("Reports", "later");
  New("Employees", "later");
  EXPECT_EQ(items->Count(), 0);
}

TEST_F(Lifetimes, AViewThatClosesAnotherWhileBothAreTold) {
  TEntity* thing = New("Things", "x");
  auto other = std::make_unique<TTestView>();
  struct TClosingView : TDomainListener {
    TEntity* Entity = nullptr;
    std::unique_ptr<TTestView>* Other = nullptr;
    int Told = 0;
    void DomainChanged(const TDomainChangeMessage&) override {
      ++Told;
      if (!*Other) return;
      Entity->RemoveUIListener("Name", Other->get());
      Other->reset();
    }
  } closing;
  closing.Entity = thing;
  closing.Other = &other;
  thing->AddUIListener("Name", other.get());
  thing->AddUIListener("Name", &closing);  // told first
  thing->_SetFieldValue(nullptr, "Name", "y");
  EXPECT_EQ(closing.Told, 1);
  EXPECT_EQ(other, nullptr);
  thing->RemoveUIListener("Name", &closing);
}

TEST_F(Lifetimes, AReferringEntityFreedWhileTheReferrersAreTold) {
  TEntity* fund = New("Funds", "F");
  TEntity* first = New("Reports", "first");
  TEntity* second = New("Reports", "second");
  first->_SetFieldEntity(nullptr, "Fund", fund);
  second->_SetFieldEntity(nullptr, "Fund", fund);
  // Told last to first: the second report's reaction frees the first report.
  QStringList told;
  Def("Reports")->Reactions()->RegisterReaction("Name.Fund",
                                                [&](TUserSession*, TChangeHolder*, TEntity* AEntity, TEntity*) {
                                                  told << VarToStr(AEntity->GetFieldValue("Name"));
                                                  if (AEntity == second && first) {
                                                    Free(first);
                                                    first = nullptr;
                                                  }
                                                });
  fund->_SetFieldValue(nullptr, "Name", "G");
  EXPECT_EQ(told, QStringList{"second"});
}

TEST_F(Lifetimes, ATransitListHearsOfLinksAddedAndRemoved) {
  TTestHolder holder(FDomain->DomainSession());
  TEntity* user = New("Users", "U");
  TEntity* role = New("Roles", "R");
  auto list = NewList();
  List(user, "Roles")->GetEntityList(FDomain->DomainSession(), list.get());
  ASSERT_EQ(list->Count(), 0);
  List(user, "Roles")->LinkListEntity(&holder, role);
  ASSERT_EQ(list->Count(), 1);
  EXPECT_EQ(list->GetRealEntity(list->GetEntity(0)), role);
  TEntity* link = list->GetEntity(0);
  EXPECT_EQ(link->Collection(), Coll("UserRoles"));
  List(user, "Roles")->RemoveListEntity(&holder, role);
  EXPECT_EQ(list->Count(), 0);
  Free(link);
}

TEST_F(Lifetimes, CandidatesLeaveOutEntitiesMarkedDeleted) {
  TEntity* fund = Stored("Funds", 1, "F");
  TEntity* report = Stored("Reports", 1, "R");
  Stored("Reports", 2, "gone")->SetDeletedFlag(true);
  TEntity* kept = Stored("Employees", 1, "M1");
  Stored("Employees", 2, "M2")->SetDeletedFlag(true);
  TEntity* linked = Stored("Reports", 3, "linked");
  linked->_SetFieldEntity(nullptr, "Fund", fund);
  Stored("Reports", 4, "linked, gone")->_SetFieldEntity(nullptr, "Fund", fund);
  Coll("Reports")->EntityByID(4)->SetDeletedFlag(true);
  TUserSession* session = FDomain->DomainSession();
  const auto names = [](TEntityList& AList) {
    QStringList result;
    for (TEntity* entity : AList.Entities())
      result << (entity->IsNull() ? QStringLiteral("null") : VarToStr(entity->GetFieldValue("Name")));
    result.sort();
    return result;
  };
  TEntityList candidates(FDomain.get(), session);
  List(fund, "Reports")->GetEntitiesForSelect(session, &candidates);
  EXPECT_EQ(names(candidates), QStringList{"R"});
  TEntityList all(FDomain.get(), session);
  List(fund, "Reports")->GetAllEntitiesForSelect(session, &all);
  EXPECT_EQ(names(all), QStringList({"R", "linked"}));
  TEntityList items(FDomain.get(), session);
  List(fund, "Reports")->GetEntityList(session, &items);
  EXPECT_EQ(names(items), QStringList{"linked"});
  TEntityList managers(FDomain.get(), session);
  kept->_SetFieldEntity(nullptr, "Fund", NullEntity());
  static_cast<TEntityField*>(report->FieldByName("Manager"))->GetEntitiesForSelect(session, &managers);
  EXPECT_EQ(names(managers), QStringList({"M1", "null"}));
}

TEST_F(Lifetimes, ProvisionalIDsStayUniqueAcrossAClear) {
  TCollection* things = Coll("Things");
  EXPECT_EQ(New("Things")->ID(), -1);
  EXPECT_EQ(New("Things")->ID(), -2);
  things->Clear();
  TEntity* next = New("Things");
  EXPECT_EQ(next->ID(), -3);
  EXPECT_EQ(things->EntityByID(-3), next);
  EXPECT_EQ(things->EntityByID(-1), nullptr);
}

TEST_F(Lifetimes, AListOutlivesItsSession) {
  auto session = std::make_unique<TUserSession>(FDomain.get(), nullptr);
  auto list = std::make_unique<TEntityList>(FDomain.get(), session.get());
  list->SetFiller(Def("Things"), "Qty=0");
  New("Things", "a");
  ASSERT_EQ(list->Count(), 1);
  session.reset();
  EXPECT_EQ(list->Session(), nullptr);
  EXPECT_EQ(list->Count(), 0);
  EXPECT_EQ(Coll("Things")->ViewListenerCount(), 0);
  New("Things", "b");
  EXPECT_EQ(list->Count(), 0);
}

TEST_F(Lifetimes, ViewsHearThatTheirEntityGoes) {
  struct TForgettingView : TTestView {
    std::vector<TObject*> Gone;
    void SenderFreeing(TObject* ASender) override { Gone.push_back(ASender); }
  } view;
  TEntity* thing = New("Things", "x");
  thing->AddUIListener("Name", &view);
  thing->AddUIListener("", &view);
  Free(thing);
  EXPECT_EQ(view.Gone, std::vector<TObject*>({thing, thing}));
  EXPECT_EQ(FDomain->TextHierarchy(), "");
}

TEST(ListenerList, AWalkToleratesWhatTheListenersDo) {
  TListenerList<int> list;
  for (int i = 1; i <= 4; ++i) list.Add(i);
  EXPECT_FALSE(list.AddUnique(2));
  QStringList told;
  // 3 removes 2 and itself and adds 5; 4 walks again inside the walk.
  list.ForEachReverse([&](int AValue) {
    told << QString::number(AValue);
    if (AValue == 3) {
      list.Remove(2);
      list.Remove(3);
      list.Add(5);
    }
    if (AValue == 4) list.ForEach([&](int AInner) { told << QStringLiteral("(%1)").arg(AInner); });
  });
  EXPECT_EQ(told, QStringList({"4", "(1)", "(2)", "(3)", "(4)", "3", "1"}));
  EXPECT_EQ(list.Items(), std::vector<int>({1, 4, 5}));
  EXPECT_EQ(list.Count(), 3);

  // A list freed by one of its listeners ends the walk.
  auto owned = std::make_unique<TListenerList<int>>();
  owned->Add(1);
  owned->Add(2);
  int calls = 0;
  owned->ForEachReverse([&](int) {
    ++calls;
    owned.reset();
  });
  EXPECT_EQ(calls, 1);

  // A listener that throws leaves the list usable.
  TListenerList<int> failing;
  failing.Add(1);
  failing.Add(2);
  EXPECT_THROW(failing.ForEach([&](int AValue) {
    failing.Remove(2);
    if (AValue == 1) throw std::runtime_error("x");
  }),
               std::runtime_error);
  EXPECT_EQ(failing.Items(), std::vector<int>{1});
  failing.Remove(1);
  EXPECT_TRUE(failing.IsEmpty());
}
