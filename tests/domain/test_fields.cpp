#include <QLocale>

#include "DomainDesk.h"
#include "src/Platform/Configuration/uDefinition.h"
#include "src/Platform/Domain/Fields/uBlobField.h"
#include "src/Platform/Domain/Fields/uListField.h"
#include "src/Platform/Domain/Fields/uSimpleField.h"
#include "src/Platform/Presenter/uLocalizator.h"
#include "src/Platform/uException.h"
#include "src/Platform/uFormat.h"
#include "src/Platform/uJSON.h"

namespace {

class Fields : public TDomainTest {};

std::unique_ptr<TJSONValue> Parse(const QString& AText) {
  return TJSONObject::ParseJSONValue(AText);
}

QString JSONText(TBaseField* AField) {
  std::unique_ptr<TJSONValue> value = AField->JSON();
  return value ? value->ToString() : QStringLiteral("<none>");
}

// Translates every key into "T(" + key + ")".
class TMarkingLocalizator : public TLocalizator {
 public:
  TMarkingLocalizator() : TLocalizator(QString(), QString()) {}
  QString Translate(const QString&, const QString& AKey, const QString&) const override {
    return QStringLiteral("T(") + AKey + QLatin1Char(')');
  }
};

}  // namespace

TEST_F(Fields, SettingTheCurrentValueChangesNothing) {
  TEntity* thing = Stored("Things", 1, "same");
  TTestView view;
  thing->AddUIListener("Name", &view);
  TTestHolder holder;
  TBaseField* name = thing->FieldByName("Name");
  name->SetValidationStatus(vsInvalid);
  name->SetValue(&holder, "same");
  EXPECT_TRUE(holder.Calls.isEmpty());
  EXPECT_TRUE(view.Messages.empty());
  EXPECT_EQ(name->ValidationStatus(), vsInvalid);

  // Equality is exact: texts the collation takes as equal are still an edit.
  const QString softHyphen = QStringLiteral("sa\u00ADme");
  {
    const TLocaleGuard russian(QLocale(QLocale::Russian, QLocale::Russia));
    EXPECT_TRUE(name->CheckValuedCondition(softHyphen, ckEqualTo, cmNone));
    name->SetValue(&holder, softHyphen);
  }
  EXPECT_EQ(thing->GetFieldValue("Name"), Variant(softHyphen));
  EXPECT_EQ(view.Count(dckFieldChanged), 1);
  EXPECT_EQ(name->ValidationStatus(), vsValid);
  thing->RemoveUIListener("Name", &view);
}

TEST_F(Fields, AFieldChangedAndChangedBackLeavesNoChange) {
  TEntity* thing = Stored("Things", 1, "a");
  TTestHolder holder;
  thing->_SetFieldValue(&holder, "Name", "b");
  thing->_SetFieldValue(&holder, "Name", "c");
  EXPECT_TRUE(holder.IsKept(thing, "Name"));
  thing->_SetFieldValue(&holder, "Name", "a");
  EXPECT_FALSE(holder.IsKept(thing, "Name"));
  EXPECT_EQ(holder.Calls, QStringList({"keep Name", "recheck Name", "recheck Name"}));
  // A new entity keeps no old values at all.
  TEntity* fresh = New("Things");
  fresh->_SetFieldValue(&holder, "Name", "x");
  EXPECT_EQ(holder.KeptCount(), 0);
}

TEST_F(Fields, RequiredFieldsAreNullOnlyAtTheirDeclaredNullValue) {
  TEntity* gauge = Stored("Gauges", 1);
  TBaseField* code = gauge->FieldByName("Code");
  gauge->_SetFieldValue(nullptr, "Code", "X");
  EXPECT_EQ(code->ValidationStatus(), vsValid);
  gauge->_SetFieldValue(nullptr, "Code", "");
  EXPECT_EQ(code->ValidationStatus(), vsRequiredIsNull);
  // Without a declared null value a field is never null.
  TEntity* thing = Stored("Things", 1, "x");
  thing->_SetFieldValue(nullptr, "Name", "");
  EXPECT_FALSE(thing->FieldByName("Name")->IsNull());
  EXPECT_TRUE(gauge->FieldByName("Level")->IsNull());
  EXPECT_TRUE(static_cast<TSimpleField*>(gauge->FieldByName("Level"))->NullableValue().IsNull());
}

TEST_F(Fields, ValuesConvertAndTravelAsJSON) {
  TEntity* thing = Stored("Things", 1);
  const struct {
    const char* Field;
    Variant Value;
    const char* JSON;
  } cases[] = {
      {"C", Variant::Null(), "1"},
      {"C", "red", "1"},
      {"C", 255, "255"},
      {"D", TDateTime(-1), "0"},
      {"D", "05.03.2024", "45356"},
      {"D", Variant::Null(), "0"},
      {"Qty", 2.7, "0"},  // not ordinal
      {"Qty", int64_t(5), "5"},
      {"B", 1, "1"},
      {"B", "1", "0"},
      {"Price", 1.5, "1.5"},
      {"Price", Variant::Null(), "0"},
      {"Name", Variant::Null(), "\"\""},
  };
  const TRestoreOnExit<TFormatSettings> russian(FormatSettings(), TFormatSettings::Russian());
  for (size_t i = 0; i < std::size(cases); ++i) {
    const auto& c = cases[i];
    SCOPED_TRACE(testing::Message() << "row " << i << ": " << c.Field);
    thing->_SetFieldValue(nullptr, c.Field, c.Value);
    EXPECT_EQ(JSONText(thing->FieldByName(c.Field)), QString::fromUtf8(c.JSON));
  }

  // Read back: currency rounds the amount to four decimals; a Boolean takes a
  // number or a numeric text.
  thing->FieldByName("Price")->SetJSON(Parse("12.3456").get());
  EXPECT_EQ(VarToCurr(thing->GetFieldValue("Price")).Scaled(), 123456);
  EXPECT_EQ(JSONText(thing->FieldByName("Price")), "12.3456");
  thing->FieldByName("B")->SetJSON(Parse("\"2\"").get());
  EXPECT_EQ(thing->GetFieldValue("B"), Variant(true));
  thing->FieldByName("B")->SetJSON(Parse("0").get());
  EXPECT_EQ(thing->GetFieldValue("B"), Variant(false));
  EXPECT_EQ(AssertionText([&] { thing->FieldByName("Qty")->SetJSON(Parse("\"3\"").get()); }), "Assertion failure");
  EXPECT_EQ(AssertionText([&] { thing->FieldByName("Name")->SetJSON(Parse("3").get()); }), "Assertion failure");
  EXPECT_EQ(thing->GetFieldValue("Qty"), Variant(5));
}

// A field's own JSON setter (used for received changes) refuses numbers that
// do not fit its kind instead of wrapping them, and keeps its value.
TEST_F(Fields, JSONNumbersOutsideTheirKindAreRefusedByTheField) {
  TEntity* thing = Stored("Things", 1);
  thing->_SetFieldValue(nullptr, "Qty", 7);
  thing->_SetFieldValue(nullptr, "C", 255);
  const struct {
    const char* Field;
    const char* JSON;
    bool Refused;
    const char* Stored;  // the field's JSON afterwards
  } cases[] = {
      {"Qty", "2147483648", true, "7"}, {"Qty", "-2147483649", true, "7"},          {"Qty", "1e30", true, "7"},
      {"Qty", "2.5", true, "7"},        {"Qty", "2147483647", false, "2147483647"}, {"C", "4294967296", true, "255"},
      {"C", "4294967295", false, "-1"}, {"C", "-2147483648", false, "-2147483648"},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    const auto& c = cases[i];
    SCOPED_TRACE(testing::Message() << "row " << i << ": " << c.Field << " " << c.JSON);
    TBaseField* field = thing->FieldByName(c.Field);
    const QString before = JSONText(field);
    bool refused = false;
    try {
      field->SetJSON(Parse(c.JSON).get());
    } catch (const EConvertError&) {
      refused = true;
    }
    EXPECT_EQ(refused, c.Refused);
    EXPECT_EQ(JSONText(field), QString::fromUtf8(c.Stored));
    if (!c.Refused) field->SetJSON(Parse(before.toUtf8()).get());
  }
}

TEST_F(Fields, BlobStreamsAreOwnedReplacedAndSurviveJSONByteForByte) {
  TEntity* thing = Stored("Things", 1);
  auto* blob = static_cast<TBlobField*>(thing->FieldByName("Data"));
  EXPECT_FALSE(blob->IsNull());
  EXPECT_EQ(JSONText(blob), "<none>");
  auto first = std::make_unique<TStream>("first");
  TStream* firstRaw = first.get();
  thing->_SetFieldStream(nullptr, "Data", std::move(first));
  EXPECT_EQ(blob->Stream(), firstRaw);
  thing->_SetFieldStream(nullptr, "Data", std::make_unique<TStream>("second"));  // frees the first
  EXPECT_EQ(blob->Stream()->Data(), "second");
  // Setting the very stream it holds is no change.
  TTestHolder holder;
  blob->SetValue(&holder, static_cast<TObject*>(blob->Stream()));
  EXPECT_TRUE(holder.Calls.isEmpty());

  QByteArray all;
  for (int i = 0; i < 256; ++i) all.append(static_cast<char>(i));
  thing->_SetFieldStream(nullptr, "Data", std::make_unique<TStream>(all));
  std::unique_ptr<TJSONValue> json = blob->JSON();
  EXPECT_EQ(BlobFromJSONText(json->Value()), all);
  // The text form: the bytes as Windows-1251 text, in UTF-8, in Base64.
  EXPECT_EQ(BlobToJSONText(QByteArray("\xC6", 1)), "0JY=");
  TEntity* copy = Stored("Things", 2);
  copy->FieldByName("Data")->SetJSON(json.get());
  EXPECT_EQ(copy->GetFieldBlob("Data")->Data(), all);
  copy->FieldByName("Data")->SetJSON(Parse("null").get());
  EXPECT_EQ(copy->GetFieldBlob("Data"), nullptr);
  EXPECT_EQ(AssertionText([&] { blob->ExtractFieldValue("X"); }), "Retrieving value from BLOB");
}

TEST_F(Fields, ConditionTestsByKind) {
  TEntity* thing = Stored("Things", 1, "  Ёлка ");
  thing->FieldInternalSetValue("Qty", 5);
  thing->FieldInternalSetValue("Price", Currency::FromScaled(15000));
  thing->FieldInternalSetValue("D", TDateTime(45000.5));
  thing->FieldInternalSetValue("B", true);
  const struct {
    const char* Field;
    Variant Value;
    TConditionKind Condition;
    TConditionModifier Modifier;
    bool Expected;
  } cases[] = {
      {"Name", "  Ёлка ", ckEqualTo, cmNone, true},
      {"Name", "  ёлка ", ckEqualTo, cmNone, false},
      {"Name", "  ёлка ", ckEqualTo, cmIgnoreCase, true},
      {"Name", "Ёлка", ckEqualTo, cmIgnoreSpace, true},
      {"Name", "Ёл", ckMatchesTo, cmIgnoreSpace, true},
      {"Name", "лк", ckMatchesTo, cmIgnoreSpace, false},
      {"Name", "", ckMatchesTo, cmNone, true},
      {"Name", "лк", ckContains, cmNone, true},
      {"Name", "", ckContains, cmNone, true},
      {"Name", "", ckPartOf, cmNone, false},
      {"Name", "Ёлка и палка", ckPartOf, cmIgnoreSpace, true},
      {"Name", "Ж", ckLessThan, cmIgnoreSpace, true},
      {"Name", "Ёл", ckGreaterThan, cmIgnoreSpace, true},
      {"Qty", 5, ckEqualTo, cmNone, true},
      {"Qty", 4, ckGreaterThan, cmNone, true},
      {"Qty", 4, ckLessThan, cmNone, false},
      {"Price", 1.5, ckEqualTo, cmNone, true},
      {"Price", 1.4999, ckGreaterThan, cmNone, true},
      {"D", 45000.5 + 1e-9, ckEqualTo, cmNone, true},
      {"D", 45000.6, ckLessThan, cmNone, true},
      {"B", true, ckEqualTo, cmNone, true},
      {"C", 1, ckEqualTo, cmNone, true},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    const auto& c = cases[i];
    SCOPED_TRACE(testing::Message() << "row " << i << ": " << c.Field << " " << int(c.Condition) << " "
                                    << int(c.Modifier));
    EXPECT_EQ(thing->FieldByName(c.Field)->CheckValuedCondition(c.Value, c.Condition, c.Modifier), c.Expected);
  }

  EXPECT_EQ(AssertionText([&] { thing->FieldByName("B")->CheckValuedCondition(true, ckLessThan, cmNone); }),
            "Compare criteria doesn't supported");
  EXPECT_EQ(AssertionText([&] { thing->FieldByName("Qty")->CheckValuedCondition(1, ckContains, cmNone); }),
            "Compare criteria doesn't supported");
  EXPECT_EQ(AssertionText([&] { thing->FieldByName("Items")->Compare(1); }), "Lists comparision is not supported");
  EXPECT_EQ(thing->FieldByName("Qty")->Compare(7), -1);
  EXPECT_EQ(thing->FieldByName("Name")->Compare("  Ёлка "), 0);
}

TEST_F(Fields, QueryOperatorsMapToConditions) {
  const struct {
    const char* Operator;
    TConditionKind Kind;
  } cases[] = {{"=", ckEqualTo}, {"^", ckMatchesTo}, {">", ckGreaterThan}, {"<", ckLessThan},
               {"}", ckPartOf},  {"{", ckContains},  {"+", ckCrosses}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Operator);
    EXPECT_EQ(ConditionKindByOperator(c.Operator), c.Kind);
  }
  EXPECT_EQ(AssertionText([] { ConditionKindByOperator("!"); }), "Wrong compare operator \"!\"");
  EXPECT_EQ(AssertionText([] { ConditionKindByOperator(""); }), "Wrong compare operator \"\"");
}

TEST_F(Fields, ChangeDescriptionTexts) {
  const TRestoreOnExit<TFormatSettings> russian(FormatSettings(), TFormatSettings::Russian());
  TEntity* target = Stored("Things", 7, "t");
  TEntity* thing = Stored("Things", 1, "Болт");
  thing->FieldInternalSetValue("Qty", 3);
  thing->FieldInternalSetValue("Price", Currency::FromScaled(123456));
  thing->FieldInternalSetValue("D", TDateTime(45356.75));
  thing->FieldInternalSetValue("B", true);
  thing->FieldInternalSetValue("C", 0xA8D9);
  thing->FieldInternalSetValue("Ref", static_cast<TObject*>(target));
  thing->_SetFieldStream(nullptr, "Data", std::make_unique<TStream>("abc"));
  const struct {
    const char* Field;
    const char* Text;
  } cases[] = {
      {"Name", "[Имя]: Болт\r\n"},      {"Qty", "[Количество]: 3\r\n"},
      {"Price", "[Цена]: 12,3456\r\n"}, {"D", "[Дата]: 05.03.2024\r\n"},
      {"B", "[Флаг]: Yes\r\n"},         {"C", "[Цвет]: #0000A8D9\r\n"},
      {"Ref", "[Ссылка]: [ID: 7]\r\n"}, {"Items", ""},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(testing::Message() << "row " << i << ": " << cases[i].Field);
    EXPECT_EQ(thing->FieldByName(cases[i].Field)->LogInfo(), QString::fromUtf8(cases[i].Text));
  }
  const QString blobText = thing->FieldByName("Data")->LogInfo();
  EXPECT_TRUE(blobText.startsWith("[Данные]: md5(")) << blobText;
  EXPECT_EQ(blobText.size(), QString("[Данные]: md5(").size() + 32 + 3);

  std::unique_ptr<TJSONValue> old = Parse("1.5");
  EXPECT_EQ(thing->FieldByName("Price")->LogInfo(old.get()), "[Цена]: 1,5 => 12,3456\r\n");
  thing->_SetFieldStream(nullptr, "Data", nullptr);
  EXPECT_EQ(thing->FieldByName("Data")->LogInfo(), "[Данные]: [empty]\r\n");
  EXPECT_EQ(Stored("Gauges", 1)->FieldByName("Note")->LogInfo(), "");
}

TEST_F(Fields, StoreAndLoadRoundTrip) {
  TEntity* gauge = Stored("Gauges", 1);
  gauge->FieldInternalSetValue("Title", "stored");
  gauge->FieldInternalSetValue("Note", "scratch");
  gauge->FieldInternalSetValue("Code", "C1");
  gauge->SetIsService(true);
  static TMarkingLocalizator localizator;
  FDomain->SetTranslator(std::make_unique<TTranslator>(&localizator, "russian"));
  // A service record shows its localisable text translated...
  EXPECT_EQ(gauge->GetFieldValue("Title"), Variant("T(Gauges#1.Title)"));

  FStorage->BeginRow("gauges", 1);
  for (int i = 0; i < gauge->FieldCount(); ++i) gauge->GetField(i)->Transfer(FStorage);
  const TMemoryStorage::TRow& row = FStorage->Tables["gauges"][1];
  // ...but stores the text itself; a null field is stored as Null, and a
  // not-stored field not at all.
  EXPECT_EQ(row.Values.value("title"), Variant("stored"));
  EXPECT_TRUE(row.Values.value("level").IsNull());
  EXPECT_FALSE(row.Values.contains("note"));
  EXPECT_TRUE(LogLines().contains(">> Level: Integer"));

  FStorage->BeginRow("gauges", 1);
  TEntity* loaded = Stored("Gauges", 2);
  loaded->FieldInternalSetValue("Level", 9);
  loaded->LoadFromStorage(FStorage);
  EXPECT_FALSE(loaded->IsNew());
  EXPECT_TRUE(loaded->FieldByName("Level")->IsNull());  // back at -1, not 0
  EXPECT_EQ(loaded->GetFieldValue("Level"), Variant(-1));
  EXPECT_EQ(static_cast<TStringField*>(loaded->FieldByName("Title"))->Text(), "stored");
  EXPECT_EQ(loaded->GetFieldValue("Code"), Variant("C1"));
}
