// Queries evaluated against records: conditions, negation, parameters,
// Select over collections, sorting, and the failures they report.
#include <gtest/gtest.h>

#include "DomainDesk.h"
#include "src/Platform/Configuration/uQueryObject.h"
#include "src/Platform/Domain/Fields/uBaseField.h"
#include "src/Platform/uException.h"

namespace {

class TQueryTest : public TDomainTest {
 protected:
  TQueryTest() : TDomainTest("QueryDesk") {}
  void SetUp() override {
    TDomainTest::SetUp();
    FSales = AddDepartment("Sales");
    FOffice = AddDepartment("Office");
    // Name, Kind, Total, Dept
    FAnna = Add("Employees", "Anna", 2, 1.0, FSales);
    FBoris = Add("Employees", "boris", 2, 2.5, nullptr);
    FX = Add("Employees", "x", 1, 1.5, FOffice);
    FBigX = Add("Employees", "X", 3, 7.0, FSales);
    FYolka = Add("Employees", "Ёлка", 1, 0.0, nullptr);
    Set(FAnna, "Paid", 1.0);
    Set(FBoris, "Paid", 1.0);
    Set(FYolka, "Paid", 0.5);
    Set(FX, "Active", true);
    SetEntity(FAnna, "Author", FUser);
    SetEntity(FX, "Author", FAdmin);
  }

  QStringList SelectNames(const QString& AFrom, const QString& AWhere, const QString& AOrder = QString(),
                          TEntity* AInstance = nullptr) {
    TQueryObject query(AFrom, AWhere, AOrder);
    TQueryBindings bindings(query);
    bindings.SetParameters(FSession.get(), AInstance);
    return Names(query.Select(FSession.get(), bindings));
  }

  TEntity* FSales = nullptr;
  TEntity* FOffice = nullptr;
  TEntity* FAnna = nullptr;
  TEntity* FBoris = nullptr;
  TEntity* FX = nullptr;
  TEntity* FBigX = nullptr;
  TEntity* FYolka = nullptr;
};

}  // namespace

TEST_F(TQueryTest, ConditionsOverRecords) {
  const struct {
    const char* Where;
    const char* Matches;  // names joined by ","
  } cases[] = {
      {"", "Anna,boris,x,X,Ёлка"},
      {"Kind=2", "Anna,boris"},
      {"Kind>1", "Anna,boris,X"},
      {"Total<1.5", "Anna,Ёлка"},
      {"Total=1.5", "x"},
      {"&(Kind=2,|(Total>1.5,Dept=@))", "boris"},
      // negation, also of groups and of nested groups
      {"!Kind=2", "x,X,Ёлка"},
      {"Kind!=2", "x,X,Ёлка"},
      {"!&(Kind=2,Total>1.5)", "Anna,x,X,Ёлка"},
      {"|(!Kind=2,!Total>1.5)", "Anna,x,X,Ёлка"},
      {"&(Total>0.5,!|(Kind=2,Kind=3))", "x"},
      // texts: case and blanks by modifier, prefixes and parts
      {"Name=\"x\"", "x"},
      {"Name@=\"x\"", "x,X"},
      {"Name@=\"ёЛКА\"", "Ёлка"},
      {"Name@^\"B\"", "boris"},
      {"Name^\"B\"", ""},
      {"Name{\"nn\"", "Anna"},
      {"Name}\"xylophone\"", "x"},
      {"Name#=\" x \"", "x"},
      // field paths and empty references
      {"Dept.Name=\"Sales\"", "Anna,X"},
      {"!Dept.Name=\"Sales\"", "x"},
      {"Dept=@", "boris,Ёлка"},
      {"!Dept=@", "Anna,x,X"},
      // a field-to-field comparison when the parameter has no value
      {"Total=Paid", "Anna"},
      {"Total>Paid", "boris,x,X"},
      // bare Boolean fields
      {"Active", "x"},
      {"!Active", "Anna,boris,X,Ёлка"},
      // the session's user
      {"Author=$", "Anna"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Where);
    EXPECT_EQ(SelectNames("Employees", QString::fromUtf8(c.Where)).join(','), QString::fromUtf8(c.Matches));
  }
}

TEST_F(TQueryTest, AFieldARecordLacksNeverMatches) {
  // Departments have no Kind: false for them, negated or not.
  EXPECT_EQ(SelectNames("Departments;Employees", "Kind=2").join(','), "Anna,boris");
  EXPECT_EQ(SelectNames("Departments;Employees", "!Kind=2").join(','), "x,X,Ёлка");
  EXPECT_EQ(SelectNames("Departments;Employees", "Total=Missing").join(','), "");
  EXPECT_EQ(SelectNames("Departments", "").join(','), "Sales,Office");
}

TEST_F(TQueryTest, ParametersFromTheInstance) {
  // Records of the instance's department other than the instance itself.
  EXPECT_EQ(SelectNames("Employees", "&(*!=*,Dept=Dept)", QString(), FAnna).join(','), "X");
  EXPECT_EQ(SelectNames("Employees", "&(*!=*,Kind=Kind)", QString(), FAnna).join(','), "boris");
  EXPECT_EQ(SelectNames("Employees", "*=*", QString(), FX).join(','), "x");
  // Without instance a named parameter stays Null: a field-to-field test.
  EXPECT_EQ(SelectNames("Employees", "Total=Paid").join(','), "Anna");
  // "*" against a list field of the instance, and against its referenced record.
  EXPECT_EQ(SelectNames("Employees", "*}Staff", QString(), FSales).join(','), "Anna,X");
  EXPECT_EQ(SelectNames("Departments", "*=Dept", QString(), FX).join(','), "Office");

  TQueryObject query(QString(), "&(*!=*,Dept=Dept)", QString());
  TQueryBindings bindings(query);
  bindings.SetParameters(FSession.get(), FAnna);
  EXPECT_EQ(bindings.Value("*"), Variant(static_cast<TObject*>(FAnna)));
  EXPECT_EQ(bindings.Value("dept"), Variant(static_cast<TObject*>(FSales)));
  bindings.SetParameters(FSession.get(), nullptr);
  EXPECT_TRUE(bindings.Value("Dept").IsNull());
}

TEST_F(TQueryTest, SessionVariables) {
  TQueryObject admin(QString(), "$IsAdmin$", QString());
  TQueryObject notAdmin(QString(), "!$IsAdmin$", QString());
  EXPECT_TRUE(admin.IsMatch(FAdminSession.get(), FAnna));
  EXPECT_FALSE(admin.IsMatch(FSession.get(), FAnna));
  EXPECT_FALSE(notAdmin.IsMatch(FAdminSession.get(), FAnna));
  EXPECT_TRUE(notAdmin.IsMatch(FSession.get(), FAnna));
  // "$" is the session's user.
  TQueryObject mine("Employees", "Author=$", QString());
  TQueryBindings bindings(mine);
  bindings.SetParameters(FAdminSession.get(), nullptr);
  EXPECT_EQ(Names(mine.Select(FAdminSession.get(), bindings)), QStringList{"x"});
}

TEST_F(TQueryTest, UnsupportedComparisons) {
  const auto match = [this](const char* AWhere, TEntity* AInstance = nullptr) {
    TQueryObject query(QString(), AWhere, QString());
    TQueryBindings bindings(query);
    bindings.SetParameters(FSession.get(), AInstance);
    query.IsMatch(FSession.get(), FAnna, bindings);
  };
  const QString path = QStringLiteral(" (src/Platform/Configuration/uQueryObject");
  EXPECT_EQ(MessageUpToLine([&] { match("*>*", FAnna); }), "Invalid comparision" + path);
  EXPECT_EQ(MessageUpToLine([&] { match("*=Missing"); }), "Entity can be compared to fields only!" + path);
  EXPECT_EQ(MessageUpToLine([&] { match("*=Name", FBoris); }), "Wrong behaviour.." + path);
  EXPECT_EQ(MessageUpToLine([&] { match("*}Dept", FBoris); }), "Wrong behaviour.." + path);
  EXPECT_EQ(MessageUpToLine([&] { match("*=2"); }), "Wrong field type for comparision" + path);
  EXPECT_EQ(MessageUpToLine([&] { match("*=\"x\""); }), "Wrong field type for comparision" + path);
  EXPECT_EQ(MessageUpToLine([&] { match("$=1"); }), "Such a query can't be handled" + path);
}

TEST_F(TQueryTest, UnassignedParameterIsLoggedAndSelectsNothing) {
  TQueryObject query("Employees", "Total>-1", QString());
  TQueryBindings bindings(query);
  bindings.SetParameters(FSession.get(), nullptr);
  EXPECT_TRUE(query.Select(FSession.get(), bindings).empty());
  TLogger* log = FDomain->DomainLogger();
  ASSERT_GT(log->Count(), 0);
  EXPECT_TRUE(log->Items(log->Count() - 1).endsWith("Error: Parameter [] is not assigned. Query: [Total>-1]"))
      << log->Items(log->Count() - 1);

  // A parameter function may give the nameless parameter its value.
  const auto results = query.Select(FSession.get(), bindings, [](const QString&) { return Variant(2.0); });
  EXPECT_EQ(Names(results), QStringList({"boris", "X"}));
}

TEST_F(TQueryTest, ParameterFunctionValuesHoldForOneSelectOnly) {
  TQueryObject query("Employees", "Kind=K", QString());
  const auto two = [](const QString& AName) { return AName == "K" ? Variant(2) : Variant::Null(); };
  TQueryBindings bindings(query);
  EXPECT_EQ(Names(query.Select(FSession.get(), bindings, two)), QStringList({"Anna", "boris"}));
  EXPECT_TRUE(bindings.Value("K").IsNull());
  // The next call does not inherit K = 2: K names no field, nothing matches.
  EXPECT_TRUE(query.Select(FSession.get(), bindings).empty());

  // Values bound by SetParameter stay until they are overwritten.
  bindings.SetParameter("K", 1);
  EXPECT_EQ(Names(query.Select(FSession.get(), bindings)), QStringList({"x", "Ёлка"}));
  EXPECT_EQ(Names(query.Select(FSession.get(), bindings)), QStringList({"x", "Ёлка"}));
}

TEST_F(TQueryTest, NestedSelectLeavesTheOuterResultAlone) {
  TQueryObject query("Employees", "Kind=K", QString());
  std::vector<TEntity*> inner;
  const auto outer = query.Select(FSession.get(), [&](const QString&) {
    // A lookup with the same query object while the outer one is binding.
    inner = query.Select(FSession.get(), [](const QString&) { return Variant(1); });
    return Variant(2);
  });
  EXPECT_EQ(Names(inner), QStringList({"x", "Ёлка"}));
  EXPECT_EQ(Names(outer), QStringList({"Anna", "boris"}));

  // A Select run while the caller walks an earlier result does not change it.
  TQueryBindings bindings(query);
  bindings.SetParameter("K", 2);
  const auto first = query.Select(FSession.get(), bindings);
  QStringList walked;
  for (TEntity* entity : first) {
    TQueryBindings other(query);
    other.SetParameter("K", 3);
    query.Select(FSession.get(), other);
    walked << entity->DisplayName();
  }
  EXPECT_EQ(walked, QStringList({"Anna", "boris"}));
}

TEST_F(TQueryTest, SortingWithinEachCollection) {
  Add("Contractors", "Zoe", 2, 1.0);
  Add("Contractors", "Adam", 2, 1.0);
  Add("Contractors", "Carl", 3, 1.0);
  Add("Contractors", "Bob", 2, 1.0);
  // Each collection's matches sorted on their own, in from-clause order.
  EXPECT_EQ(SelectNames("Employees;Contractors", "Kind=2", "Name").join(','), "Anna,boris,Adam,Bob,Zoe");
  EXPECT_EQ(SelectNames("Contractors;Employees", "Kind=2", "Name").join(','), "Adam,Bob,Zoe,Anna,boris");
  // Several fields, most significant first; ties keep their order of arrival.
  EXPECT_EQ(SelectNames("Employees", "", "Kind;Name").join(','), "x,Ёлка,Anna,boris,X");
  EXPECT_EQ(SelectNames("Employees", "", "Total").join(','), "Ёлка,Anna,x,boris,X");
  EXPECT_EQ(SelectNames("Employees", "", "Kind").join(','), "x,Ёлка,Anna,boris,X");

  TQueryObject query("Employees", "", "Name;Total");
  query.SetSorting("Total");
  EXPECT_EQ(query.SortFields(), QStringList({"Total", "Name"}));
  EXPECT_EQ(Names(query.Select(FSession.get())), QStringList({"Ёлка", "Anna", "x", "boris", "X"}));
  query.SetSorting("Kind");
  EXPECT_EQ(Names(query.Select(FSession.get())), QStringList({"Ёлка", "x", "Anna", "boris", "X"}));
}

TEST_F(TQueryTest, UnresolvedSortFieldsSortLastInArrivalOrder) {
  // boris and Ёлка have no department: their Dept.Name does not resolve.
  EXPECT_EQ(SelectNames("Employees", "", "Dept.Name").join(','), "x,Anna,X,boris,Ёлка");
  EXPECT_EQ(SelectNames("Employees", "", "Missing;Total").join(','), "Ёлка,Anna,x,boris,X");
}
