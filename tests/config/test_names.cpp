// Tables of cases: storage names, unique-index query texts, the shared
// constants' texts.
#include <gtest/gtest.h>

#include "TestDesk.h"
#include "src/Platform/Configuration/uDefinition.h"
#include "src/Platform/Configuration/uQueryObject.h"
#include "src/Platform/uConsts.h"

TEST(ToStorageName, TableOfCases) {
  const struct {
    const char* Name;
    const char* Expected;
  } cases[] = {
      {"LogID", "log_id"},
      {"ID", "id"},
      {"StorageName", "storage_name"},
      {"TableName", "table_name"},
      {"already_lower", "already_lower"},
      {"name", "name"},
      {"", ""},
      {"A", "a"},
      // acronyms: the last capital of a run starts the next word
      {"HTTPServer", "http_server"},
      {"GUID", "guid"},
      {"SysDefinitions", "sys_definitions"},
      {"ReportID", "report_id"},
      {"IDCard", "id_card"},
      // digits count as non-capitals
      {"Field2Name", "field2_name"},
      {"Version2", "version2"},
      {"MD5Hash", "m_d5_hash"},
      {"A1", "a1"},
      // an underscore is never doubled
      {"Report_ID", "report_id"},
      {"_ID", "_id"},
      {"Is_Active", "is_active"},
      // non-ASCII letters are kept as they are
      {"ИмяID", "Имя_id"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    EXPECT_EQ(ToStorageName(QString::fromUtf8(c.Name)), QString::fromUtf8(c.Expected));
  }
}

TEST(AddUniqueIndex, QueryTexts) {
  const struct {
    const char* Index;
    const char* Query;  // nullptr: no query
  } cases[] = {
      {"Login", "&(*!=*,Login=Login)"},
      {" Login ", "&(*!=*,Login=Login)"},
      {"Code,Name", "&(*!=*,&(Code=Code,Name=Name))"},
      {"Code , Name;Login", "&(*!=*,|(&(Code=Code,Name=Name),Login=Login))"},
      {"INN;KPP;OGRN", "&(*!=*,|(INN=INN,KPP=KPP,OGRN=OGRN))"},
      {"Code,;;Name", "&(*!=*,|(Code=Code,Name=Name))"},
      {"", nullptr},
      {" ; , ", nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Index);
    TDefinition definition(nullptr, 1, "Users", "", clkLibrary);
    definition.AddUniqueIndex(c.Index);
    EXPECT_EQ(definition.IndexString(), c.Index);
    if (!c.Query) {
      EXPECT_EQ(definition.CheckUniqueQuery(), nullptr);
      continue;
    }
    EXPECT_NE(definition.CheckUniqueQuery(), nullptr);
    if (!definition.CheckUniqueQuery()) continue;
    EXPECT_EQ(definition.CheckUniqueQuery()->QueryString(), c.Query);
    EXPECT_EQ(definition.CheckUniqueQuery()->CollectionNames(), QStringList{"Users"});
  }
}

TEST(AddUniqueIndex, ReplacesThePreviousIndex) {
  TDefinition definition(nullptr, 1, "Users", "", clkLibrary);
  definition.AddUniqueIndex("Login");
  definition.AddUniqueIndex("Code");
  EXPECT_EQ(definition.CheckUniqueQuery()->QueryString(), "&(*!=*,Code=Code)");
  definition.AddUniqueIndex("");
  EXPECT_EQ(definition.CheckUniqueQuery(), nullptr);
}

TEST(SharedConstants, FieldKindNamesViewStateCodesAndAggregationKeywords) {
  const QStringList kindNames = {"<undefined>", "String", "Integer",  "Enumeration", "Flag", "Float", "DateTime",
                                 "Boolean",     "Color",  "Currency", "Object",      "List", "Blob"};
  for (int kind = fkNotDefined; kind <= cLastFieldKind; ++kind) {
    SCOPED_TRACE(kind);
    EXPECT_EQ(FieldKindName(static_cast<TFieldKind>(kind)), kindNames[kind]);
  }
  EXPECT_EQ(FieldKindName(fkAction), "");

  const struct {
    int State;
    const char* Code;
  } states[] = {{0, "HID"}, {1, "DIS"}, {2, "RDO"},  {3, "RDO"},  {4, "SEL"},
                {7, "SEL"}, {8, "@@@"}, {15, "@@@"}, {128, "@@@"}};
  for (const auto& s : states) {
    SCOPED_TRACE(s.State);
    EXPECT_EQ(ViewStateCode(static_cast<TViewState>(s.State)), s.Code);
  }
  EXPECT_EQ(vsFullAccess & vsReadOnly, vsReadOnly);
  EXPECT_EQ(vsSelectOnly & vsDisabled, vsDisabled);

  const char* keywords[] = {"", "COUNT", "SUM", "AVG", "MIN", "MAX"};
  for (int kind = akNotDefined; kind <= akMax; ++kind) {
    SCOPED_TRACE(keywords[kind]);
    EXPECT_EQ(AggregationKeyword(static_cast<TAggregationKind>(kind)), keywords[kind]);
    if (kind != akNotDefined) {
      EXPECT_EQ(AggregationKindByKeyword(QString(keywords[kind]).toLower()), static_cast<TAggregationKind>(kind));
    }
  }
  EXPECT_EQ(AggregationKindByKeyword("TOTAL"), akNotDefined);
  EXPECT_EQ(AggregationKindByKeyword(""), akNotDefined);
}
