// The where-clause language: what a text compiles to, how it prints, and the
// texts it refuses.
#include <gtest/gtest.h>

#include "TestDesk.h"
#include "src/Platform/Configuration/uQueryObject.h"
#include "src/Platform/uFormat.h"

namespace {

// Pins the decimal separator for the printed floats and the locale that
// upper-cases texts.
class TQueryParseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FormatSettings() = TFormatSettings::Invariant();
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
  }
  TRestoreOnExit<TFormatSettings> FFormatGuard{FormatSettings()};
  TLocaleGuard FLocaleGuard;
};

QString Print(const QString& AWhere) {
  return TQueryObject(QString(), AWhere, QString()).PrintText();
}

}  // namespace

TEST_F(TQueryParseTest, PrintedForms) {
  const struct {
    const char* Where;
    const char* Printed;
  } cases[] = {
      {"&(Kind=2,|(Total>1.5,Owner=@))", "(Kind = 2 and (Total > 1.5 or Owner = @))"},
      // negated groups are resolved by De Morgan's rule, at any depth
      {"!&(A=1,B=2)", "(not A = 1 or not B = 2)"},
      {"&(X=1,!|(A=1,B=2))", "(X = 1 and (not A = 1 and not B = 2))"},
      {"!&(A=1,!|(B=2,!C=3))", "(not A = 1 or (B = 2 or not C = 3))"},
      {"&(!A=1,B!=2)", "(not A = 1 and not B = 2)"},
      {"!A!=1", "A = 1"},
      // string values are stored as the modifier prepares them
      {"Name@=\"x\"", "Name@ = \"X\""},
      {"Name@=\"ёж straße\"", "Name@ = \"ЁЖ STRASSE\""},
      {"Name#=\"  a b \"", "Name# = \"a b\""},
      {"Name%=\" a \"", "Name% = \" a \""},
      {"Owner.Name@^\"ab\"", "Owner.Name@ ^ \"AB\""},
      {"Name=\"a\"junk", "Name = \"a\""},
      {"Name=\"unclosed", "Name = \"unclosed\""},
      {"Name=\"\"", "Name = \"\""},
      // numbers: no sign, "." whatever the locale, the rest ignored
      {"Total>1.5.3", "Total > 1.5"},
      {"Total<2.", "Total < 2"},
      {"Count<12abc", "Count < 12"},
      {"Count=0", "Count = 0"},
      // parameters, field-to-field comparisons and the record itself
      {"*!=*", "not * = *"},
      {"*Any=*", "* = *"},
      {"Dept=Dept", "Dept = Dept"},
      {"Name@=Other", "Name@ = Other@"},
      {"Author=$", "Author = $"},
      {"Owner=@x", "Owner = @"},
      {"Items}*", "Items } *"},
      {"Roles+Roles", "Roles + Roles"},
      {"Name{\"x\"", "Name { \"x\""},
      {"Code=:1", "Code = :1"},
      {"Amount>-1", "Amount > "},
      // bare variables
      {"Disabled", "Disabled"},
      {"!Disabled", "not Disabled"},
      {"$IsAdmin$", "$IsAdmin$"},
      {"!$IsAdmin$", "not $IsAdmin$"},
      // blanks around a simple criterion; one criterion at the top level
      {"  Name^\"ab\"  ", "Name ^ \"ab\""},
      {"A=1,B=2", "A = 1"},
      {"A=1)junk", "A = 1"},
      // a group may end at the end of the text
      {"&(A=1,B=2", "(A = 1 and B = 2)"},
      {"|(A=1,&(B=2", "(A = 1 or (B = 2))"},
      {"&()", "()"},
      {"", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Where);
    EXPECT_EQ(Print(QString::fromUtf8(c.Where)), QString::fromUtf8(c.Printed));
  }
}

TEST_F(TQueryParseTest, FloatsPrintInTheLocaleFormat) {
  FormatSettings() = TFormatSettings::Russian();
  EXPECT_EQ(Print("&(Kind=2,|(Total>1.5,Owner=@))"), "(Kind = 2 and (Total > 1,5 or Owner = @))");
}

TEST_F(TQueryParseTest, CriteriaClassesAndSharedParameters) {
  TQueryObject query(QString(), "&(Kind=2,|(Total>1.5,Owner=@,Name=owner,Code=\"7\",Done))", QString());
  auto* root = dynamic_cast<TComplexCriteria*>(query.RootCriteria());
  ASSERT_NE(root, nullptr);
  EXPECT_TRUE(root->IsAnd());
  ASSERT_EQ(root->Criterias().size(), 2u);
  auto* kind = dynamic_cast<TIntegerCriteria*>(root->Criterias()[0].get());
  ASSERT_NE(kind, nullptr);
  EXPECT_EQ(kind->Variable(), "Kind");
  EXPECT_EQ(kind->Condition(), ckEqualTo);
  EXPECT_EQ(kind->Value(), 2);

  auto* inner = dynamic_cast<TComplexCriteria*>(root->Criterias()[1].get());
  ASSERT_NE(inner, nullptr);
  EXPECT_FALSE(inner->IsAnd());
  ASSERT_EQ(inner->Criterias().size(), 5u);
  auto* total = dynamic_cast<TFloatCriteria*>(inner->Criterias()[0].get());
  ASSERT_NE(total, nullptr);
  EXPECT_EQ(total->Condition(), ckGreaterThan);
  EXPECT_DOUBLE_EQ(total->Value(), 1.5);
  auto* owner = dynamic_cast<TParamCriteria*>(inner->Criterias()[1].get());
  ASSERT_NE(owner, nullptr);
  EXPECT_EQ(owner->ParamName(), "@");
  auto* name = dynamic_cast<TParamCriteria*>(inner->Criterias()[2].get());
  ASSERT_NE(name, nullptr);
  EXPECT_NE(dynamic_cast<TStringCriteria*>(inner->Criterias()[3].get()), nullptr);
  EXPECT_NE(dynamic_cast<TBoolCriteria*>(inner->Criterias()[4].get()), nullptr);

  // Every parameter once, in order of first appearance; names without case.
  ASSERT_EQ(query.Parameters().size(), 2u);
  EXPECT_EQ(query.Parameters()[0]->Name(), "@");
  EXPECT_EQ(query.Parameters()[1]->Name(), "owner");
  EXPECT_EQ(query.ParameterByName("OWNER"), name->ParamValue());
  EXPECT_EQ(query.Parameters()[1]->Index(), 1);
  EXPECT_EQ(query.Parameters()[1]->FieldKind(), fkNotDefined);

  // Values live in the bindings of one evaluation, never in the query.
  TQueryObject shared(QString(), "|(A=X,B=x)", QString());
  ASSERT_EQ(shared.Parameters().size(), 1u);
  TQueryBindings bindings(shared);
  EXPECT_TRUE(bindings.Value("X").IsNull());
  bindings.SetParameter("x", 4);
  bindings.SetParameter("Y", 5);
  EXPECT_EQ(shared.Parameters().size(), 1u);
  EXPECT_EQ(bindings.Value("X"), Variant(4));
  EXPECT_EQ(bindings.Value("y"), Variant(5));
  EXPECT_TRUE(TQueryBindings(shared).Value("X").IsNull());
  bindings.SetParameters(nullptr, nullptr);
  EXPECT_TRUE(bindings.Value("X").IsNull());
  EXPECT_TRUE(bindings.Value("Y").IsNull());
  EXPECT_EQ(MessageUpToLine([&] { query.IsMatch(nullptr, nullptr, bindings); }),
            "Query bindings belong to another query (src/Platform/Configuration/uQueryObject");
}

TEST_F(TQueryParseTest, Refusals) {
  const struct {
    const char* Where;
    const char* Message;
  } cases[] = {
      {"Name = 5", "Wrong compare operator \"\" (src/Platform/Domain/uDomainUtils"},
      {"Name~5", "Wrong compare operator \"\" (src/Platform/Domain/uDomainUtils"},
      {"&(Name@5)", "Wrong compare operator \"\" (src/Platform/Domain/uDomainUtils"},
      {" &(A=1)", "Wrong compare operator \"\" (src/Platform/Domain/uDomainUtils"},
      {"!!A=1", "Wrong compare operator \"\" (src/Platform/Domain/uDomainUtils"},
      // a group operator needs its "(": never a read past the text's end
      {"&", "Group operator \"&\" must be followed by \"(\". Query: [&] (src/Platform/Configuration/uQueryObject"},
      {"!|", "Group operator \"|\" must be followed by \"(\". Query: [!|] (src/Platform/Configuration/uQueryObject"},
      {"&A=1",
       "Group operator \"&\" must be followed by \"(\". Query: [&A=1] (src/Platform/Configuration/uQueryObject"},
      {"& (A=1)",
       "Group operator \"&\" must be followed by \"(\". Query: [& (A=1)] (src/Platform/Configuration/uQueryObject"},
      {"&(A=1,|",
       "Group operator \"|\" must be followed by \"(\". Query: [&(A=1,|] (src/Platform/Configuration/uQueryObject"},
      {"A=99999999999", "Wrong number [99999999999] (src/Platform/Configuration/uQueryObject"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Where);
    EXPECT_EQ(MessageUpToLine([&] { TQueryObject(QString(), QString::fromUtf8(c.Where), QString()); }),
              QString::fromUtf8(c.Message));
  }
}

namespace {

// AGroups nested groups, each negated when ANegated, around one criterion.
QString Nested(int AGroups, bool ANegated = false, const QString& AInner = QStringLiteral("A=1")) {
  const QString open = ANegated ? QStringLiteral("!&(") : QStringLiteral("&(");
  return open.repeated(AGroups) + AInner + QString(QLatin1Char(')')).repeated(AGroups);
}

}  // namespace

TEST_F(TQueryParseTest, NestingIsLimitedLikeJson) {
  const QString path = QStringLiteral(" (src/Platform/Configuration/uQueryObject");
  const QString refused = QStringLiteral("Query is nested deeper than 512 levels") + path;
  const struct {
    const char* Name;
    QString Where;
    bool Refused;
  } cases[] = {
      {"at the limit", Nested(512), false},
      {"one past the limit", Nested(513), true},
      {"negated past the limit", Nested(513, true), true},
      {"unclosed far past the limit", QStringLiteral("|(").repeated(200000), true},
      {"negations far past the limit", QStringLiteral("!&(").repeated(200000), true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const QString message = MessageUpToLine([&] { TQueryObject(QString(), c.Where, QString()); });
    if (c.Refused)
      EXPECT_EQ(message, refused);
    else
      EXPECT_NE(message, refused);
  }
}

TEST_F(TQueryParseTest, DeepTreesPrintAndFree) {
  // A negation at every level: each one cancels the one above it.
  const auto parens = [](int ACount, const QString& AInner) {
    return QString(QLatin1Char('(')).repeated(ACount) + AInner + QString(QLatin1Char(')')).repeated(ACount);
  };
  EXPECT_EQ(Print(Nested(512, true)), parens(512, "A = 1"));
  EXPECT_EQ(Print(Nested(511, true)), parens(511, "not A = 1"));
  EXPECT_EQ(Print("!&(A=1,!|(B=2,!&(C=3,D=4)))"), "(not A = 1 or (B = 2 or (not C = 3 or not D = 4)))");

  // A tree built by hand has no parser to limit it.
  auto root = std::make_unique<TComplexCriteria>(true);
  TComplexCriteria* last = root.get();
  for (int i = 0; i < 200000; ++i) {
    auto group = std::make_unique<TComplexCriteria>(i % 2 == 0);
    TComplexCriteria* next = group.get();
    last->AddCriteria(std::move(group));
    last = next;
  }
  last->AddCriteria(std::make_unique<TBoolCriteria>("Done"));
  const QString text = root->Text();
  EXPECT_EQ(text.size(), 200001 * 2 + 4);
  EXPECT_TRUE(text.startsWith("((((")) << text.left(10);
  EXPECT_TRUE(text.contains("(Done)"));
  root.reset();
}

TEST_F(TQueryParseTest, ClausesAndSorting) {
  TQueryObject query(" Reports ;AnnualReports;;", "Name=Name", "Name;Date");
  EXPECT_EQ(query.CollectionNames(), QStringList({"Reports", "AnnualReports"}));
  EXPECT_EQ(query.QueryString(), "Name=Name");
  EXPECT_TRUE(query.HasSortFields());

  query.SetSorting("");
  EXPECT_EQ(query.SortFields(), QStringList({"Name", "Date"}));
  query.SetSorting("Date");
  EXPECT_EQ(query.SortFields(), QStringList({"Date", "Name"}));
  query.SetSorting("name;Kind");
  EXPECT_EQ(query.SortFields(), QStringList({"name", "Kind", "Date"}));

  TQueryObject unsorted{QString(), QString(), QString()};
  EXPECT_FALSE(unsorted.HasSortFields());
  EXPECT_EQ(unsorted.RootCriteria(), nullptr);
  unsorted.SetSorting("A;B");
  EXPECT_TRUE(unsorted.HasSortFields());
  EXPECT_EQ(unsorted.SortFields(), QStringList({"A", "B"}));
}
