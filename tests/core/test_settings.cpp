#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QProcess>
#include <QStringDecoder>

#include "src/Platform/uException.h"
#include "src/Platform/uSettings.h"
#include "support/TestEnv.h"

namespace {

QByteArray Utf16LeWithBom(const QString& AText) {
  QByteArray bytes("\xFF\xFE", 2);
  for (QChar ch : AText) {
    bytes.append(static_cast<char>(ch.unicode() & 0xFF));
    bytes.append(static_cast<char>(ch.unicode() >> 8));
  }
  return bytes;
}

}  // namespace

TEST(Settings, MissingFileGivesDefaultsAndCreatesNothing) {
  TTempFolder folder;
  TIniSettings settings(folder.File("settings.ini"));
  EXPECT_EQ(settings.GetValue("Core", "RunMode", "multi"), "multi");
  EXPECT_FALSE(settings.SectionExists("Core"));
  EXPECT_FALSE(settings.KeyExists("Core", "RunMode"));
  EXPECT_FALSE(QFile::exists(folder.File("settings.ini")));
}

TEST(Settings, ReadsSectionsAndKeysWithoutCaseEmptyValueAndBareHeader) {
  TTempFolder folder;
  folder.Write("settings.ini",
               "; comment\r\n[Core]\r\nRunMode = Singleton\r\nLanguage=\r\nQuoted=\" a b \"\r\n"
               "RunMode=second\r\n\r\n[Empty]\r\n[core]\r\nStyle=ignored\r\n");
  TIniSettings settings(folder.File("settings.ini"));
  EXPECT_EQ(settings.GetValue("CORE", "runmode", "x"), "Singleton");  // first duplicate wins
  EXPECT_EQ(settings.GetValue("Core", "Language", "default"), "");    // empty is not missing
  EXPECT_EQ(settings.GetValue("Core", "Quoted", ""), " a b ");
  EXPECT_EQ(settings.GetValue("Core", "Style", "default"), "default");  // later duplicate section
  EXPECT_TRUE(settings.KeyExists("core", "LANGUAGE"));
  EXPECT_FALSE(settings.SectionExists("Empty"));  // a header without keys
  EXPECT_FALSE(settings.SectionExists("Missing"));
}

TEST(Settings, WritesAtOnceKeepsOtherLinesAndLongValues) {
  TTempFolder folder;
  folder.Write("settings.ini", "; keep me\n[Core]\nRunMode=singleton\n\n[Other]\nA=1\n");
  TIniSettings settings(folder.File("settings.ini"));
  const QString longValue(5000, QLatin1Char('x'));
  settings.SetValue("core", "runmode", "multi");
  settings.SetValue("Core", "Language", "english");
  settings.SetValue("New", "Long", longValue);
  EXPECT_EQ(settings.GetValue("Core", "RunMode", ""), "multi");
  EXPECT_EQ(settings.GetValue("New", "Long", "").size(), 5000);
  EXPECT_EQ(folder.Read("settings.ini"),
            "; keep me\n[Core]\nRunMode=multi\nLanguage=english\n\n[Other]\nA=1\n\n[New]\nLong=" +
                longValue.toLatin1() + "\n");
}

TEST(Settings, BooleansWrittenAsDigitsAndReadLeniently) {
  TTempFolder folder;
  folder.Write("settings.ini", "[Core]\nA=1\nB=0\nC=TRUE\nD=false\nE=\nF=yes\nG=7\n");
  TIniSettings settings(folder.File("settings.ini"));
  const struct {
    const char* Key;
    bool Default;
    bool Expected;
  } cases[] = {{"A", false, true}, {"B", true, false}, {"C", false, true}, {"D", true, false},
               {"E", true, false}, {"F", true, false}, {"G", false, true}, {"Missing", true, true}};
  for (const auto& c : cases) EXPECT_EQ(settings.GetBool("Core", c.Key, c.Default), c.Expected) << c.Key;
  settings.SetBool("Core", "H", true);
  settings.SetBool("Core", "I", false);
  EXPECT_EQ(settings.GetValue("Core", "H"), "1");
  EXPECT_EQ(settings.GetValue("Core", "I"), "0");
}

TEST(Settings, ReadsUtf8Utf16AndWindows1251Files) {
  const QString text = QStringLiteral("[Core]\r\nLanguage=русский\r\n");
  const struct {
    const char* Name;
    QByteArray Bytes;
  } cases[] = {
      {"utf8", text.toUtf8()},
      {"utf8bom", QByteArray("\xEF\xBB\xBF") + text.toUtf8()},
      {"utf16", Utf16LeWithBom(text)},
      {"cp1251", QByteArray("[Core]\r\nLanguage=\xF0\xF3\xF1\xF1\xEA\xE8\xE9\r\n")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TTempFolder folder;
    folder.Write("settings.ini", c.Bytes);
    TIniSettings settings(folder.File("settings.ini"));
    EXPECT_EQ(settings.GetValue("Core", "Language", ""), QStringLiteral("русский")) << c.Name;
    // A write keeps the value readable (the file becomes UTF-8).
    settings.SetValue("Core", "Style", "default");
    EXPECT_EQ(settings.GetValue("Core", "Language", ""), QStringLiteral("русский")) << c.Name;
  }
}

TEST(Settings, EnsuringSectionWritesTheDefaultOnce) {
  TTempFolder folder;
  TIniSettings settings(folder.File("settings.ini"));
  EXPECT_EQ(settings.GetValueEnsuringSection("Connection", "StorageType", "SQLite"), "SQLite");
  EXPECT_EQ(folder.Read("settings.ini"), "[Connection]\nStorageType=SQLite\n");
  settings.SetValue("Connection", "StorageType", "INI");
  EXPECT_EQ(settings.GetValueEnsuringSection("Connection", "StorageType", "SQLite"), "INI");
}

// A line break in a name or value would write lines of its own: new keys or
// whole sections that the next read takes for real ones.
TEST(Settings, LineBreaksInNamesAndValuesAreRefusedAndNothingIsWritten) {
  const struct {
    const char* Name;
    QString Section;
    QString Key;
    QString Value;
  } cases[] = {
      {"value LF", "Core", "Style", "x\n[Connection]\nStorageType=INI"},
      {"value CR", "Core", "Style", "x\r[Connection]\rStorageType=INI"},
      {"value CR LF", "Core", "Style", "x\r\nStorageType=INI"},
      {"key", "Core", "Style\n[Connection]\nStorageType", "INI"},
      {"section", "Core]\n[Connection", "StorageType", "INI"},
      {"new section", "Connection\r\nStorageType=INI\r\n[X", "A", "1"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TTempFolder folder;
    const QByteArray before = "[Core]\nStyle=default\n";
    folder.Write("settings.ini", before);
    TIniSettings settings(folder.File("settings.ini"));
    try {
      settings.SetValue(c.Section, c.Key, c.Value);
      ADD_FAILURE() << "no exception";
    } catch (const EConvertError& e) {
      EXPECT_TRUE(e.Message().contains("line break")) << e.Message();
    }
    EXPECT_EQ(folder.Read("settings.ini"), before);
    EXPECT_FALSE(settings.KeyExists("Connection", "StorageType"));
  }
}

TEST(Settings, NamesThatWouldReadBackAsOthersAreRefused) {
  const struct {
    const char* Name;
    QString Section;
    QString Key;
  } cases[] = {
      {"empty section", " ", "A"},      {"bracket in section", "Core]x", "A"}, {"empty key", "Core", ""},
      {"equals in key", "Core", "A=B"}, {"comment key", "Core", ";A"},         {"section key", "Core", "[A]"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TTempFolder folder;
    TIniSettings settings(folder.File("settings.ini"));
    EXPECT_THROW(settings.SetValue(c.Section, c.Key, "1"), EConvertError);
    EXPECT_FALSE(QFile::exists(folder.File("settings.ini")));
  }
}

TEST(Settings, ValuesWithOuterBlanksOrQuotesReadBackAsWritten) {
  TTempFolder folder;
  TIniSettings settings(folder.File("settings.ini"));
  for (const QString& value :
       {QString(" padded "), QString("\"quoted\""), QString("'single'"), QString("\""), QString("a = b"), QString()}) {
    SCOPED_TRACE(value.toStdString());
    settings.SetValue("Core", "Value", value);
    EXPECT_EQ(settings.GetValue("Core", "Value", "default"), value);
  }
}

TEST(Settings, ReadOnlyFileRaisesUnableToWrite) {
  TTempFolder folder;
  folder.Write("settings.ini", "[Core]\nA=1\n");
  ::chmod(folder.File("settings.ini").toLocal8Bit().constData(), 0444);
  TIniSettings settings(folder.File("settings.ini"));
  try {
    settings.SetValue("Core", "A", "2");
    FAIL() << "no exception";
  } catch (const EInOutError& e) {
    EXPECT_EQ(e.Message(), "Unable to write to " + folder.File("settings.ini"));
  }
  EXPECT_EQ(settings.GetValue("Core", "A", ""), "1");
}

TEST(Settings, ReadOnlyFolderRaisesUnableToWrite) {
  TTempFolder folder;
  // A path below a regular file can never be created, for root as well.
  folder.Write("blocker", "x");
  TIniSettings settings(folder.File("blocker/settings.ini"));
  try {
    settings.SetValue("Core", "A", "2");
    FAIL() << "no exception";
  } catch (const EInOutError& e) {
    EXPECT_EQ(e.Message(), "Unable to write to " + folder.File("blocker/settings.ini"));
  }
}

// Writers in other processes are serialised with ours and seen at the next read.
TEST(Settings, EditsOfOtherProcessesAreSeenAndNoneIsLost) {
  TTempFolder folder;
  const QString file = folder.File("settings.ini");
  TIniSettings settings(file);
  settings.SetValue("Core", "Own", "1");
  std::vector<std::unique_ptr<QProcess>> writers;
  for (int p = 0; p < 3; ++p) {
    auto process = std::make_unique<QProcess>();
    process->start(QStringLiteral(MEDIATOR_PROBE), {"--write-settings", file, QString::number(p), "20"});
    writers.push_back(std::move(process));
  }
  for (auto& process : writers) ASSERT_TRUE(process->waitForFinished(60000));
  for (int p = 0; p < 3; ++p)
    for (int k = 0; k < 20; ++k)
      EXPECT_EQ(settings.GetValue(QString("P%1").arg(p), QString("K%1").arg(k), ""), QString::number(k));
  EXPECT_EQ(settings.GetValue("Core", "Own", ""), "1");
}

TEST(IniDocument, ListsErasesAndDeletesByFirstMatch) {
  TIniDocument doc =
      TIniDocument::FromText("[Items]\r\nb=2\r\nA=1\r\nB=dup\r\n\r\n[Other]\r\nx=1\r\n[items]\r\nc=3\r\n");
  EXPECT_EQ(doc.Sections(), QStringList({"Items", "Other"}));
  EXPECT_EQ(doc.Keys("ITEMS"), QStringList({"b", "A"}));
  doc.DeleteKey("items", "B");
  EXPECT_EQ(doc.ReadString("Items", "b", "none"), "dup");  // the next duplicate surfaces
  doc.EraseSection("Items");
  EXPECT_FALSE(doc.ValueExists("Items", "c"));    // later duplicates go too
  EXPECT_EQ(doc.ToText(), "[Other]\r\nx=1\r\n");  // line breaks kept
  doc.WriteString("Other", "y", "2");
  EXPECT_EQ(doc.ToText(), "[Other]\r\nx=1\r\ny=2\r\n");
}
