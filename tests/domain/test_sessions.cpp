// Sessions: who the user is, which roles he holds, what he may see, and the
// registry of a domain's sessions.
#include "DomainDesk.h"
#include "src/Platform/Configuration/uEnumeration.h"
#include "src/Platform/Domain/Fields/uListField.h"
#include "src/Platform/uException.h"

namespace {

struct TEntry {
  const char* Object;
  const char* State;
  int Flags;
};

class Sessions : public TDomainTest {
 protected:
  TEntity* NewUser(const QString& ALogin, int AAccessFlags = 0) {
    TEntity* user = Add("SysUsers", ALogin);
    Set(user, "Login", ALogin);
    Set(user, "AccessFlags", AAccessFlags);
    return user;
  }
  TEntity* NewRole(const QString& ACode, TEntity* AParent = nullptr) {
    TEntity* role = Add("SysRoles", ACode);
    Set(role, "Code", ACode);
    if (AParent) SetEntity(role, "ParentRole", AParent);
    return role;
  }
  void Secure(TEntity* ASubject, const std::vector<TEntry>& AEntries) {
    for (const TEntry& entry : AEntries) {
      TEntity* item = Coll("SysSecuredObjects")->CreateNewEntity(FHolder.get());
      SetEntity(item, "Subject", ASubject);
      Set(item, "ObjectName", entry.Object);
      Set(item, "StateName", entry.State);
      Set(item, "AccessFlags", entry.Flags);
    }
  }
  void Grant(TEntity* AUser, TEntity* ARole) { FSession->AddUserRole(FHolder.get(), AUser, ARole->ID()); }
  // A second link to the same role, which AddUserRole would refuse.
  void LinkAgain(TEntity* AUser, TEntity* ARole) {
    auto* roles = static_cast<TListField*>(AUser->FieldByName("Roles"));
    SetEntity(roles->AddListEntity(FHolder.get(), "SysUsersRoles"), "Role", ARole);
  }
  TState* DocState(int AID) const { return FindStateMachine(FConfiguration, "DeskStates")->StateByID(AID); }
  bool Online(TEntity* AUser) const { return VarAsBoolean(AUser->GetFieldValue("Online")); }
};

TEST_F(Sessions, AccessFlagsFromTheUserHisRolesAndHisDefault) {
  struct TCase {
    const char* Name;
    std::vector<TEntry> Own;
    std::vector<std::vector<TEntry>> Roles;
    std::vector<TEntry> ParentOfFirstRole;  // a parent role when not empty
    int Default;
    const char* Object;
    int State;  // of DeskStates: 0 none, 1 Draft, 2 Sent
    int Expected;
  };
  const std::vector<TCase> cases = {
      {"own entry decides before the roles", {{"Reports", "", 3}}, {{{"Reports", "", 15}}}, {}, 0, "Reports", 0, 3},
      {"own entry 0 is an answer", {{"Reports", "", 0}}, {{{"Reports", "", 15}}}, {}, 15, "Reports", 0, 0},
      {"rights 2 and 4 from two roles give 6",
       {},
       {{{"Reports", "", 2}}, {{"Reports", "", 4}}},
       {},
       0,
       "Reports",
       0,
       6},
      {"a silent role leaves the other's answer",
       {},
       {{{"Funds", "", 15}}, {{"Reports", "", 4}}},
       {},
       0,
       "Reports",
       0,
       4},
      {"a role's 0 is an answer", {}, {{{"Reports", "", 0}}}, {}, 15, "Reports", 0, 0},
      {"the parent answers for a silent role", {}, {{}}, {{"Reports", "", 7}}, 0, "Reports", 0, 7},
      {"a role's answer hides its parent's", {}, {{{"Reports", "", 1}}}, {{"Reports", "", 15}}, 0, "Reports", 0, 1},
      {"parent and second role are combined",
       {},
       {{}, {{"Reports", "", 8}}},
       {{"Reports", "", 3}},
       0,
       "Reports",
       0,
       11},
      {"a state entry applies in its state", {}, {{{"Docs", "Draft", 7}}}, {}, 1, "Docs", 1, 7},
      {"a state entry says nothing in another state", {}, {{{"Docs", "Draft", 7}}}, {}, 1, "Docs", 2, 1},
      {"a state entry says nothing without state", {}, {{{"Docs", "Draft", 7}}}, {}, 1, "Docs", 0, 1},
      {"an entry without state applies in every state", {{"Docs", "", 3}}, {}, {}, 0, "Docs", 2, 3},
      {"the first matching entry wins (in its state)",
       {{"Docs", "Draft", 1}, {"Docs", "", 7}},
       {},
       {},
       0,
       "Docs",
       1,
       1},
      {"the first matching entry wins (elsewhere)", {{"Docs", "Draft", 1}, {"Docs", "", 7}}, {}, {}, 0, "Docs", 2, 7},
      {"state names compare without case", {{"Docs", "dRAFT", 3}}, {}, {}, 0, "Docs", 1, 3},
      {"object names compare without case", {{"reports", "", 3}}, {}, {}, 0, "REPORTS", 0, 3},
      {"14 is read as 15 in the user's entry", {{"Reports", "", 14}}, {}, {}, 0, "Reports", 0, 15},
      {"14 is read as 15 in a role's entry", {}, {{{"Reports", "", 14}}}, {}, 0, "Reports", 0, 15},
      {"14 is read as 15 in the default", {}, {}, {}, 14, "Reports", 0, 15},
      {"no one says anything: the user's default", {}, {{{"Funds", "", 15}}}, {}, 3, "Reports", 0, 3},
      {"a field falls back to its collection's rights", {}, {{{"Reports", "", 7}}}, {}, 0, "Reports.Amount", 0, 7},
      {"a field's own entry comes first",
       {{"Reports.Amount", "", 1}},
       {{{"Reports", "", 15}}},
       {},
       0,
       "Reports.Amount",
       0,
       1},
      {"a field without any entry: the default", {}, {}, {}, 3, "Reports.Amount", 0, 3},
      {"the part before the first dot is the collection", {}, {{{"Reports", "", 7}}}, {}, 0, "Reports.Fund.Name", 0, 7},
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    const TCase& c = cases[i];
    SCOPED_TRACE(c.Name);
    TEntity* user = NewUser(QStringLiteral("u%1").arg(i), c.Default);
    Secure(user, c.Own);
    TEntity* parent = nullptr;
    if (!c.ParentOfFirstRole.empty()) {
      parent = NewRole(QStringLiteral("p%1").arg(i));
      Secure(parent, c.ParentOfFirstRole);
    }
    for (size_t r = 0; r < c.Roles.size(); ++r) {
      TEntity* role = NewRole(QStringLiteral("r%1.%2").arg(i).arg(r), r == 0 ? parent : nullptr);
      Secure(role, c.Roles[r]);
      Grant(user, role);
    }
    TUserSession session(FDomain.get(), user);
    EXPECT_EQ(session.GetAccessFlags(c.Object, c.State ? DocState(c.State) : nullptr), c.Expected);
    EXPECT_EQ(session.GetUIState(c.Object, c.State ? DocState(c.State) : nullptr), c.Expected);
  }
}

TEST_F(Sessions, ALoopOfParentRolesEndsAndFallsBackToTheDefault) {
  TEntity* first = NewRole("first");
  TEntity* second = NewRole("second", first);
  SetEntity(first, "ParentRole", second);
  TEntity* user = NewUser("looped", 3);
  Grant(user, first);
  TUserSession session(FDomain.get(), user);
  EXPECT_EQ(session.GetAccessFlags("Reports"), 3);
}

TEST_F(Sessions, TheDomainsOwnSessionIsTheSystemAndMayNothing) {
  TUserSession* system = FDomain->DomainSession();
  EXPECT_EQ(system->CurrentUserName(), "System");
  EXPECT_FALSE(system->IsAdmin());
  EXPECT_EQ(system->GetAccessFlags("Reports"), vsHidden);
  EXPECT_EQ(FSession->CurrentUserName(), "user");
}

TEST_F(Sessions, RolesAreGrantedOnceAndRemovedEveryLink) {
  TEntity* clerks = NewRole("clerks");
  TEntity* user = NewUser("clerk");
  EXPECT_FALSE(TUserSession::IsUserGrantedForRole(nullptr, clerks->ID()));
  EXPECT_FALSE(TUserSession::IsUserGrantedForRole(NullEntity(), clerks->ID()));
  EXPECT_FALSE(TUserSession::IsUserGrantedForRole(user, clerks->ID()));

  Grant(user, clerks);
  Grant(user, clerks);
  FSession->AddUserRole(FHolder.get(), user, 9999);  // no such role
  FSession->AddUserRole(FHolder.get(), nullptr, clerks->ID());
  ASSERT_EQ(user->GetFieldList("Roles").size(), 1u);
  EXPECT_EQ(user->GetFieldList("Roles")[0]->GetFieldEntity("Role"), clerks);
  EXPECT_TRUE(TUserSession::IsUserGrantedForRole(user, clerks->ID()));

  TEntity* other = NewRole("other");
  Grant(user, other);
  LinkAgain(user, clerks);
  FSession->RemoveUserRole(FHolder.get(), user, clerks->ID());
  EXPECT_FALSE(TUserSession::IsUserGrantedForRole(user, clerks->ID()));
  EXPECT_TRUE(TUserSession::IsUserGrantedForRole(user, other->ID()));
  EXPECT_EQ(user->GetFieldList("Roles").size(), 1u);
}

TEST_F(Sessions, ASessionMarksItsUserOnlineUnloggedAndTheAdministratorByRoleOne) {
  EXPECT_TRUE(FAdminSession->IsAdmin());
  EXPECT_FALSE(FSession->IsAdmin());
  EXPECT_TRUE(Online(FUser));
  TEntity* user = Stored("SysUsers", 77, "late");
  FStorage->WriteTrace.clear();
  {
    TUserSession session(FDomain.get(), user);
    EXPECT_TRUE(Online(user));
    EXPECT_FALSE(session.IsAdmin());
  }
  EXPECT_FALSE(Online(user));
  EXPECT_EQ(FStorage->WriteTrace, QStringList({"update sys_users 77", "update sys_users 77"}));
  EXPECT_EQ(Coll("SysLog")->Count(), 0);
  EXPECT_EQ(user->LogID(), -1);
  EXPECT_FALSE(FDomain->Lock()->Locked());
}

TEST_F(Sessions, TheRegistryFindsSessionsByLoginAndFreesThem) {
  TUserSessions* sessions = FDomain->Sessions();
  EXPECT_EQ(sessions->AddSession("nobody", nullptr), nullptr);
  TEntity* user = NewUser("Clerk");
  TUserSession* session = sessions->AddSession("Clerk", user);
  ASSERT_NE(session, nullptr);
  EXPECT_EQ(sessions->Count(), 1);
  EXPECT_EQ(sessions->SessionByLogin("cLERK"), session);
  EXPECT_EQ(sessions->SessionByLogin("other"), nullptr);
  EXPECT_TRUE(Online(user));

  TUserSession stranger(FDomain.get(), nullptr);
  sessions->RemoveSession(&stranger);  // not registered: left alone
  EXPECT_EQ(sessions->Count(), 1);
  sessions->RemoveSession(session);
  EXPECT_EQ(sessions->Count(), 0);
  EXPECT_EQ(sessions->SessionByLogin("clerk"), nullptr);
  EXPECT_FALSE(Online(user));
}

// The domain goes first: registered sessions go with it while its data still
// exists, and a session kept elsewhere lets go of it.
TEST_F(Sessions, ADomainFreesItsSessionsFirstAndLetsGoOfTheOthers) {
  TEntity* user = NewUser("clerk");
  FDomain->Sessions()->AddSession("clerk", user);
  TChangeHolder* open = FSession->Edit(nullptr);
  FSession->AtomicWrite([&] { open->SetFieldValue(user, "Name", "edited"); });
  FHolder.reset();
  FDomain.reset();
  EXPECT_EQ(FSession->Domain(), nullptr);
  EXPECT_EQ(FSession->CurrentUser(), NullEntity());
  EXPECT_TRUE(FSession->Holders().empty());
  FSession.reset();
  FAdminSession.reset();
}

}  // namespace
