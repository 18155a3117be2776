#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "src/Platform/uException.h"
#include "src/Platform/uFormat.h"
#include "src/Platform/uJSON.h"
#include "src/Platform/uJSONColors.h"
#include "support/TestEnv.h"

namespace {

// JSON must not depend on the process's number format: every test runs with
// a comma as decimal separator.
class JSONTest : public ::testing::Test {
 protected:
  void SetUp() override { FormatSettings() = TFormatSettings::Russian(); }

  static std::unique_ptr<TJSONObject> Parse(const char* AText) {
    std::unique_ptr<TJSONValue> value = TJSONObject::ParseJSONValue(QString::fromUtf8(AText));
    if (!dynamic_cast<TJSONObject*>(value.get())) return nullptr;
    return std::unique_ptr<TJSONObject>(static_cast<TJSONObject*>(value.release()));
  }

 private:
  TFormatSettingsGuard FFormatGuard;
};

TEST_F(JSONTest, WriterEscapesToPureAscii) {
  const std::pair<QString, const char*> cases[] = {
      {QStringLiteral("a/b\tЖ"), R"("a\/b\t\u0416")"},
      {QStringLiteral("\"\\\b\f\n\r"), R"("\"\\\b\f\n\r")"},
      {QString(QChar(1)) + QChar(0x1F) + QChar(0x7F), "\"\\u0001\\u001F\x7F\""},
      {QStringLiteral("é€😀"), R"("\u00E9\u20AC\uD83D\uDE00")"},
      {QString(QChar(0xDC00)), R"("\uDC00")"},  // a lone surrogate survives as its code unit
      {QString(), R"("")"},
  };
  for (const auto& [text, expected] : cases) {
    SCOPED_TRACE(expected);
    TJSONString value(text);
    EXPECT_EQ(value.ToString(), QString::fromLatin1(expected));
    EXPECT_LE(value.ToJSONBytes().size(), value.EstimatedByteSize());
    // And it reads back to the same UTF-16 text.
    auto parsed = TJSONObject::ParseJSONValue(value.ToString());
    EXPECT_TRUE(parsed);
    if (parsed) {
      EXPECT_EQ(parsed->Value(), text);
    }
  }
  TJSONString raw(QStringLiteral("Ж/😀\n"));
  EXPECT_EQ(raw.ToRawString(), QStringLiteral("\"Ж\\/😀\\n\""));
}

TEST_F(JSONTest, NumbersAreWrittenWithAPointInEveryLocale) {
  TJSONObject object;
  object.StoreFloat("third", 1.0 / 3);
  object.StoreFloat("tenth", 0.1);
  object.StoreFloat("millionth", 1e-6);
  object.StoreFloat("half", 2.5);
  object.StoreFloat("big", 1e20);
  object.StoreInteger("min", std::numeric_limits<int64_t>::min());
  object.StoreFloat("nan", std::nan(""));
  object.StoreFloat("inf", -std::numeric_limits<double>::infinity());
  object.StoreBoolean("yes", true);
  object.StoreBoolean("no", false);
  EXPECT_EQ(object.ToString(), R"({"third":0.333333333333333,"tenth":0.1,"millionth":1E-6,"half":2.5,"big":1E20,)"
                               R"("min":-9223372036854775808,"nan":null,"inf":null,"yes":true,"no":false})");
  TJSONArray array;
  array.Add(std::numeric_limits<double>::quiet_NaN())->Add(1.5)->Add(7)->Add("x")->Add(true);
  array.Add(std::unique_ptr<TJSONObject>());
  EXPECT_EQ(array.ToString(), R"([null,1.5,7,"x",true,null])");
  EXPECT_EQ(TJSONNumber(std::numeric_limits<double>::infinity()).ToString(), "null");
}

TEST_F(JSONTest, StoredValuesReadBackThroughText) {
  TJSONObject stored;
  stored.StoreString("s", QStringLiteral("Фонд \"Альфа\"\t/\\ 😀"));
  stored.StoreInteger("i", -2147483647 - 1);
  stored.StoreInteger("big", int64_t(1) << 53);
  stored.StoreFloat("f", -1234.5678e-3);
  stored.StoreFloat("tiny", 1.5e-300);
  stored.StoreBoolean("t", true);
  stored.StoreBoolean("b", false);
  stored.StoreColor("named", 0xFFFF0000);
  stored.StoreColor("other", 0x7F010203);
  auto read = TJSONObject::LoadFromText(stored.ToString());
  ASSERT_TRUE(read);
  EXPECT_EQ(read->ToString(), stored.ToString());
  EXPECT_EQ(read->ExtractString("s"), QStringLiteral("Фонд \"Альфа\"\t/\\ 😀"));
  EXPECT_EQ(read->ExtractInteger("i"), -2147483647 - 1);
  EXPECT_EQ(static_cast<TJSONNumber*>(read->ExtractValue("big"))->NumberText(), "9007199254740992");
  EXPECT_DOUBLE_EQ(read->ExtractFloat("f"), -1.2345678);
  EXPECT_DOUBLE_EQ(read->ExtractFloat("tiny"), 1.5e-300);
  EXPECT_TRUE(read->ExtractBoolean("t"));
  EXPECT_FALSE(read->ExtractBoolean("b"));
  EXPECT_EQ(read->ExtractColor("named"), 0xFFFF0000u);
  EXPECT_EQ(read->ExtractColor("other"), 0x7F010203u);
}

TEST_F(JSONTest, CurrencyAmountsStayExact) {
  const Currency largest = Currency::FromScaled(std::numeric_limits<int64_t>::max());
  EXPECT_EQ(TJSONNumber(largest).ToString(), "922337203685477.5807");
  EXPECT_EQ(TJSONNumber(Currency::FromScaled(-123456)).ToString(), "-12.3456");
  const std::pair<const char*, int64_t> cases[] = {
      {"12.3456", 123456}, {"922337203685477.5807", std::numeric_limits<int64_t>::max()},
      {"-1", -10000},      {"0.00005", 0},
      {"0.00015", 2},      {"0.000051", 1},
      {"1e2", 1000000},    {"-0.00025", -2},
  };
  for (const auto& [text, scaled] : cases)
    EXPECT_EQ(TJSONNumber::FromText(QString::fromLatin1(text))->AsCurrency().Scaled(), scaled) << text;
  EXPECT_THROW(TJSONNumber::FromText("922337203685477.5808")->AsCurrency(), EConvertError);
  EXPECT_THROW(TJSONNumber::FromText("1e300")->AsCurrency(), EConvertError);
}

TEST_F(JSONTest, StrictParser) {
  const char* accepted[] = {
      R"({})",
      R"([])",
      R"({"a":1})",
      "  {\"a\" : [1, -0, 0.5, 1e5, 1E+5, 2e-3] }  \r\n\t",
      R"("text")",
      R"(-12.5e10)",
      R"(true)",
      R"(null)",
      R"([{"a":{"b":[]}}])",
      R"(["\u00e9\/\"\\"])",
      "[\"\xD0\x96\xF0\x9F\x98\x80\"]",
      R"({"":1})",
      "  [1]",
  };
  // As bytes: a QString would already have replaced invalid UTF-8.
  for (const char* text : accepted) EXPECT_TRUE(TJSONObject::ParseJSONValue(QByteArray(text))) << text;
  const char* rejected[] = {
      "",
      " ",
      R"({"a":1,})",
      R"([1,])",
      R"({"a" 1})",
      R"({"a":1}x)",
      R"({"a":1}})",
      R"("text" )",
      "1 ",
      R"(true false)",
      R"([01])",
      R"([1.])",
      R"([.5])",
      R"([+1])",
      R"([1e])",
      R"([-])",
      R"({'a':1})",
      R"({a:1})",
      R"(["\x"])",
      R"(["\u12"])",
      R"(["\u12G4"])",
      "[\"a\tb\"]",
      R"([True])",
      R"(nul)",
      R"([1,,2])",
      R"({,})",
      R"([)",
      R"({"a":)",
      R"(["abc)",
      "[\"\xC0\xAF\"]",
      "[\"\xED\xA0\x80\"]",
      "[\"\xFF\"]",
      "[\"\xE2\x82\"]",
      R"([NaN])",
      R"([Infinity])",
  };
  for (const char* text : rejected) EXPECT_FALSE(TJSONObject::ParseJSONValue(QByteArray(text))) << text;
  EXPECT_FALSE(TJSONObject::ParseJSONValue(QByteArray("[1]\0", 4)));
  EXPECT_TRUE(TJSONObject::ParseJSONValue(QByteArray("xx[1]yy"), 2, 3));
}

TEST_F(JSONTest, DeepNestingIsRejectedNotACrash) {
  EXPECT_TRUE(TJSONObject::ParseJSONValue(QByteArray(500, '[') + QByteArray(500, ']')));
  EXPECT_FALSE(TJSONObject::ParseJSONValue(QByteArray(100000, '[') + QByteArray(100000, ']')));
  EXPECT_FALSE(TJSONObject::ParseJSONValue(QByteArray(100000, '[')));
}

TEST_F(JSONTest, RoundTripKeepsDuplicatesAndNumberTexts) {
  const char* text =
      R"({"x":1,"s":"\u0416\/","x":2,"n":null,"t":true,"f":false,"a":[1.0,1e5,-0,12345678901234567890123,)"
      R"({"x":[]}],"e":{}})";
  auto object = Parse(text);
  ASSERT_TRUE(object);
  EXPECT_EQ(object->ToString(), QString::fromLatin1(text));
  EXPECT_EQ(CloneJSON(*object)->ToString(), QString::fromLatin1(text));
  EXPECT_EQ(object->Size(), 8);
  EXPECT_EQ(object->ExtractValue("x")->Value(), "1");
  EXPECT_EQ(object->ExtractValue("X"), nullptr);  // names compare exactly
  std::unique_ptr<TJSONPair> removed = object->RemovePair("x");
  ASSERT_TRUE(removed);
  EXPECT_EQ(removed->JsonValue()->Value(), "1");
  EXPECT_EQ(object->ExtractValue("x")->Value(), "2");
  EXPECT_EQ(object->Get(0)->Name(), "s");
  EXPECT_EQ(object->Get(99), nullptr);
}

TEST_F(JSONTest, NumberValueTexts) {
  const std::pair<const char*, const char*> cases[] = {
      {"2.5", "2,5"},
      {"7", "7"},
      {"1e5", "100000"},
      {"1.0", "1"},
      {"12345678901", "12345678901"},
      {"-9223372036854775808", "-9223372036854775808"},
      {"123456789012345678901234", "1,23456789012346E23"},  // beyond 64 bits: read as a double
      {"12345678901234e10", "1,2345678901234E23"},
      {"1e400", "1e400"},  // beyond a double: kept as text
  };
  for (const auto& [text, value] : cases) {
    SCOPED_TRACE(text);
    auto number = TJSONNumber::FromText(QString::fromLatin1(text));
    EXPECT_TRUE(number);
    if (!number) continue;
    EXPECT_EQ(number->Value(), QString::fromLatin1(value));
    EXPECT_EQ(number->ToString(), QString::fromLatin1(text));
  }
  EXPECT_FALSE(TJSONNumber::FromText("1,5"));
  EXPECT_FALSE(TJSONNumber::FromText(" 1"));
}

TEST_F(JSONTest, TypedExtractors) {
  auto object = Parse(R"({"half":2.5,"int":42,"text":"12","ftext":"2.5","big":123456789012345678901234,"exp":1e3,)"
                      R"("huge":1e400,"neg":-7,"word":"abc","obj":{"k":"v"},"arr":[1]})");
  ASSERT_TRUE(object);
  EXPECT_EQ(object->ExtractInteger("int"), 42);
  EXPECT_EQ(object->ExtractInteger("text"), 12);
  EXPECT_EQ(object->ExtractInteger("exp"), 1000);
  EXPECT_EQ(object->ExtractInteger("missing", -1), -1);
  EXPECT_THROW(object->ExtractInteger("half"), EConvertError);
  EXPECT_THROW(object->ExtractInteger("big"), EConvertError);
  EXPECT_THROW(object->ExtractInteger("word"), EConvertError);
  EXPECT_DOUBLE_EQ(object->ExtractFloat("half"), 2.5);
  EXPECT_DOUBLE_EQ(object->ExtractFloat("ftext"), 2.5);
  EXPECT_DOUBLE_EQ(object->ExtractFloat("big"), 1.2345678901234568e23);
  EXPECT_TRUE(std::isinf(object->ExtractFloat("huge")));
  EXPECT_DOUBLE_EQ(object->ExtractFloat("missing", 3.5), 3.5);
  EXPECT_THROW(object->ExtractFloat("word"), EConvertError);
  // Extractors that answer a text never raise on large numbers.
  EXPECT_EQ(object->ExtractString("big"), "1,23456789012346E23");
  EXPECT_EQ(object->ExtractString("huge"), "1e400");
  EXPECT_EQ(object->ExtractString("obj"), "");
  EXPECT_EQ(object->ExtractString("k", " obj "), "v");
  EXPECT_EQ(object->ExtractString("k", "nothing"), "");
  EXPECT_EQ(object->ExtractObject("obj")->Size(), 1);
  EXPECT_EQ(object->ExtractObject("arr"), nullptr);
  EXPECT_EQ(object->ExtractArray("arr")->Size(), 1);
  EXPECT_EQ(object->ExtractArray("obj"), nullptr);
}

TEST_F(JSONTest, ExtractBooleanIsTrueForAnyNonZeroInteger) {
  const std::pair<const char*, bool> cases[] = {
      {"true", true},  {"false", false},  {"1", true},          {"0", false},
      {"256", true},   {"-1", true},      {"4294967296", true}, {"123456789012345678901234", true},
      {"0.5", false},  {"2.0", true},     {"\"true\"", true},   {"\"false\"", false},
      {"\"7\"", true}, {"\"512\"", true}, {"\"abc\"", false},   {"null", false},
      {"{}", false},
  };
  for (const auto& [json, expected] : cases) {
    SCOPED_TRACE(json);
    auto object = Parse((std::string(R"({"b":)") + json + "}").c_str());
    EXPECT_TRUE(object);
    if (object) {
      EXPECT_EQ(object->ExtractBoolean("b"), expected);
    }
  }
  EXPECT_FALSE(TJSONObject().ExtractBoolean("b"));
}

TEST_F(JSONTest, ColourTexts) {
  const std::pair<uint32_t, const char*> written[] = {
      {0xFF00FFFF, "Aqua"},      {0xFFFF00FF, "Fuchsia"},     {0x80112233, "#80112233"}, {0x00FFFFFF, "Transparent"},
      {0xFFF0F8FF, "AliceBlue"}, {0xFF9ACD32, "YellowGreen"}, {0, "#00000000"},
  };
  for (const auto& [color, text] : written) {
    SCOPED_TRACE(text);
    TJSONObject object;
    object.StoreColor("c", color);
    EXPECT_EQ(object.ToString(), QStringLiteral("{\"c\":\"%1\"}").arg(QString::fromLatin1(text)));
    EXPECT_EQ(object.ExtractColor("c"), color) << text;
  }
  const std::pair<const char*, uint32_t> read[] = {
      {"aqua", 0xFF00FFFF},
      {" #FF00FFFF ", 0xFF00FFFF},
      {"CYAN", 0xFF00FFFF},
      {"255", 255},
      {"1a", 26},
      {"nosuch", 0},
      {"", 0},
      {"#zz", 0},
      {"#123456789", 0},
      {"3000000000", 0},
      {"2147483647", 0x7FFFFFFF},
      {"0", 0},
      {"00ff", 0xFF},
  };
  for (const auto& [text, color] : read) EXPECT_EQ(JSONTextToColor(QString::fromLatin1(text)), color) << text;
  auto number = Parse(R"({"c":255})");
  EXPECT_EQ(number->ExtractColor("c"), 255u);
  EXPECT_EQ(TJSONObject().ExtractColor("c"), 0u);
  // The name table: 141 names, alphabetical, each once.
  for (int i = 1; i < cColorNameCount; ++i)
    EXPECT_LT(QString::fromLatin1(cColorNames[i - 1].Name)
                  .compare(QString::fromLatin1(cColorNames[i].Name), Qt::CaseInsensitive),
              0)
        << cColorNames[i].Name;
}

TEST_F(JSONTest, AddPairRules) {
  TJSONObject object;
  object.StoreString("empty", "");
  object.AddPair("", std::make_unique<TJSONTrue>());
  object.AddPair("none", std::unique_ptr<TJSONValue>());
  object.AddPair(std::unique_ptr<TJSONPair>());
  object.AddPair(std::make_unique<TJSONString>("named"), std::unique_ptr<TJSONValue>());
  EXPECT_EQ(object.Size(), 0);
  EXPECT_FALSE(object.Contains("empty"));
  EXPECT_EQ(object.ExtractString("empty"), "");
  object.AddPair("a", "b")->AddPair(std::make_unique<TJSONString>("c"), std::make_unique<TJSONNull>());
  EXPECT_EQ(object.ToString(), R"({"a":"b","c":null})");
  TJSONArray array;
  array.AddElement(nullptr);
  EXPECT_EQ(array.Size(), 0);
  EXPECT_EQ(array.Get(0), nullptr);
  EXPECT_EQ(array.Remove(0), nullptr);
}

TEST_F(JSONTest, NotOwnedValuesOutliveTheirContainer) {
  auto shared = std::make_unique<TJSONString>("kept");
  shared->SetOwned(false);
  {
    TJSONObject object;
    std::unique_ptr<TJSONValue> borrowed(shared.get());
    object.AddPair("s", std::move(borrowed));
    EXPECT_EQ(object.ToString(), R"({"s":"kept"})");
  }
  EXPECT_EQ(shared->Value(), "kept");  // still alive: ASan would catch a free
}

TEST_F(JSONTest, PathsAndLoadFromText) {
  auto root = Parse(R"({"a":{"b c":1,"b":{"c":{"d":"deep"}}},"list":[1]})");
  ASSERT_TRUE(root);
  EXPECT_EQ(root->DelveIntoPath("a/b/c")->ToString(), R"({"d":"deep"})");
  EXPECT_EQ(root->DelveIntoPath(" a / b  c "), root->DelveIntoPath("a/b/c"));  // blanks separate too
  EXPECT_EQ(root->DelveIntoPath(""), root.get());
  EXPECT_EQ(root->DelveIntoPath("a/x"), nullptr);
  EXPECT_EQ(root->DelveIntoPath("list/0"), nullptr);
  EXPECT_EQ(root->ExtractString("d", "a/b/c"), "deep");

  auto inner = TJSONObject::LoadFromText(R"({"a":{"b":{"c":{"d":"deep"}}}})", " a/b ");
  ASSERT_TRUE(inner);
  EXPECT_EQ(inner->ToString(), R"({"c":{"d":"deep"}})");
  EXPECT_FALSE(TJSONObject::LoadFromText(R"({"a":[1]})", "a"));
  EXPECT_FALSE(TJSONObject::LoadFromText(R"({"a":1})", "x"));
  EXPECT_FALSE(TJSONObject::LoadFromText(R"([1])"));
  EXPECT_FALSE(TJSONObject::LoadFromText(R"({"a":1,})"));
  EXPECT_TRUE(TJSONObject::LoadFromText(R"({"a":1})"));
}

TEST_F(JSONTest, Files) {
  TTempFolder folder;
  auto object = Parse(R"({"name":"Фонд \"Альфа\"","n":[1,2.5]})");
  ASSERT_TRUE(object);
  object->SaveToUTF8File(folder.File("doc.json"));
  EXPECT_EQ(folder.Read("doc.json"),
            R"({"name":"\u0424\u043E\u043D\u0434 \"\u0410\u043B\u044C\u0444\u0430\"","n":[1,2.5]})");
  auto loaded = TJSONObject::LoadFromUTF8File(folder.File("doc.json"));
  ASSERT_TRUE(loaded);
  EXPECT_EQ(loaded->ExtractString("name"), QStringLiteral("Фонд \"Альфа\""));

  folder.Write("bom.json", "\xEF\xBB\xBF{\"k\":\"\xD0\x96\"}");
  EXPECT_EQ(TJSONObject::LoadFromUTF8File(folder.File("bom.json"))->ExtractString("k"), QStringLiteral("Ж"));
  folder.Write("bad.json", "{\"k\":1,}");
  EXPECT_FALSE(TJSONObject::LoadFromUTF8File(folder.File("bad.json")));
  EXPECT_THROW(TJSONObject::LoadFromUTF8File(folder.File("missing.json")), EInOutError);
  EXPECT_THROW(object->SaveToUTF8File(folder.File("no/such/dir.json")), EInOutError);
}

TEST_F(JSONTest, ToBytesWritesAtAnOffset) {
  auto object = Parse(R"({"a":[true]})");
  QByteArray data("head:");
  const qsizetype end = object->ToBytes(data, 5);
  EXPECT_EQ(end, 5 + 12);
  EXPECT_EQ(data, R"(head:{"a":[true]})");
  EXPECT_GE(object->EstimatedByteSize(), 12);
}

}  // namespace
