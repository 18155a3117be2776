#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <functional>
#include <thread>
#include <vector>

#include "src/Platform/uLogger.h"
#include "support/TestEnv.h"

namespace {

QStringList FileLines(const QString& AFileName) {
  QFile file(AFileName);
  if (!file.open(QIODevice::ReadOnly)) return {};
  const QString text = QString::fromUtf8(file.readAll());
  QStringList lines = text.split(QStringLiteral("\r\n"));
  EXPECT_EQ(lines.takeLast(), "") << "every line ends with CR LF";
  return lines;
}

// "hh:nn:ss.zzz", the tag, the indentation and the message.
QString Body(const QString& ALine) {
  static const QRegularExpression shape("^\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d (.*)$");
  const auto match = shape.match(ALine);
  EXPECT_TRUE(match.hasMatch()) << ALine;
  return match.captured(1);
}

TEST(Logger, LineShapeNestingAndKinds) {
  TTempFolder folder;
  TLogger logger(folder.File("log.txt"));
  EXPECT_EQ(Body(logger.AddEnterMessage("Loading")), "[ ] Loading");
  EXPECT_EQ(Body(logger.AddMessage(QStringLiteral("Таблица"), mkBaseActions)), "[A]   Таблица");
  EXPECT_EQ(Body(logger.AddEnterMessage("inner")), "[ ]   inner");
  EXPECT_EQ(Body(logger.AddMessage("deep", mkError)), "[E]     deep");
  logger.AddExitMessage("inner done");
  EXPECT_EQ(Body(logger.AddExitMessage("Loaded")), "[ ] Loaded");
  // Unbalanced exits go below zero and indent by nothing.
  logger.AddExitMessage("extra");
  EXPECT_EQ(Body(logger.AddMessage("flat")), "[ ] flat");
  EXPECT_EQ(logger.LogIndentLevel(), -1);

  const QStringList lines = FileLines(logger.FileName());
  ASSERT_EQ(lines.size(), logger.Count());
  for (int i = 0; i < logger.Count(); ++i) EXPECT_EQ(lines[i], logger.Items(i));
}

TEST(Logger, SwitchAndFilterKeepNestingBalanced) {
  TTempFolder folder;
  TLogger logger(folder.File("log.txt"));
  logger.AddMessage("first");
  logger.DisableLogging();
  EXPECT_EQ(logger.AddEnterMessage("hidden"), "");
  EXPECT_EQ(logger.AddMessage("hidden"), "");
  logger.EnableLogging();
  EXPECT_EQ(Body(logger.AddMessage("inside")), "[ ]   inside");
  logger.SetLogMessageKind(mkError);
  EXPECT_EQ(logger.AddExitMessage("filtered"), "");
  EXPECT_EQ(Body(logger.AddMessage("error", mkError)), "[E] error");
  EXPECT_EQ(logger.Count(), 3);
  EXPECT_EQ(FileLines(logger.FileName()).size(), 3);
}

TEST(Logger, EachRunStartsTheFileAfresh) {
  TTempFolder folder;
  const QString name = folder.File("domain_log.txt");
  folder.Write("domain_log.txt", "old run\r\n");
  {
    TLogger logger(name);
    EXPECT_EQ(folder.Read("domain_log.txt"), "old run\r\n");  // nothing is written at creation
    logger.AddMessage("run one");
  }
  {
    TLogger logger(name);
    logger.AddMessage("run two");
    const QStringList lines = FileLines(name);
    ASSERT_EQ(lines.size(), 1);
    EXPECT_TRUE(lines[0].endsWith("run two"));
  }
  {
    TLogger logger(name);  // a run that logs nothing leaves an empty log
  }
  EXPECT_EQ(folder.Read("domain_log.txt"), "");
}

TEST(Logger, LinesAreAppendedNotRewritten) {
  TTempFolder folder;
  TLogger logger(folder.File("log.txt"));
  logger.AddMessage("one");
  // Mark the first line on disk; a logger that rewrote the file per line would undo it.
  QFile file(logger.FileName());
  ASSERT_TRUE(file.open(QIODevice::ReadWrite));
  file.write("X");
  file.close();
  logger.AddMessage("two");
  const QStringList lines = FileLines(logger.FileName());
  ASSERT_EQ(lines.size(), 2);
  EXPECT_TRUE(lines[0].startsWith(u'X'));
  EXPECT_TRUE(lines[1].endsWith("two"));
}

TEST(Logger, FlushWritesTheWholeRun) {
  TTempFolder folder;
  TLogger logger(folder.File("log.txt"));
  logger.AddMessage("one");
  logger.AddMessage("two");
  folder.Write("log.txt", "damaged");
  logger.Flush();
  EXPECT_EQ(FileLines(logger.FileName()), QStringList({logger.Items(0), logger.Items(1)}));
}

// Two instances on one configuration share the log file: the second run's
// first line empties it while the first still appends.
TEST(Logger, ASecondRunOnTheSameFileLeavesNoHole) {
  TTempFolder folder;
  const QString name = folder.File("log.txt");
  TLogger first(name);
  for (int i = 0; i < 50; ++i) first.AddMessage(QStringLiteral("first run line %1").arg(i));
  TLogger second(name);
  second.AddMessage("second run");
  first.AddMessage("first run again");
  const QByteArray bytes = folder.Read("log.txt");
  EXPECT_FALSE(bytes.contains('\0'));
  EXPECT_EQ(FileLines(name), QStringList({second.Items(0), first.Items(50)}));
}

TEST(Logger, AFileDeletedOrReplacedDuringTheRunIsWrittenAnew) {
  const struct {
    const char* Name;
    std::function<void(const TTempFolder&)> Change;
  } cases[] = {
      {"deleted", [](const TTempFolder& f) { QFile::remove(f.File("log.txt")); }},
      {"replaced",
       [](const TTempFolder& f) {
         QFile::rename(f.File("log.txt"), f.File("old.txt"));
         f.Write("log.txt", "someone else's\r\n");
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TTempFolder folder;
    TLogger logger(folder.File("log.txt"));
    logger.AddMessage("one");
    c.Change(folder);
    logger.AddMessage("two");
    EXPECT_EQ(FileLines(logger.FileName()), QStringList({logger.Items(0), logger.Items(1)}));
  }
}

TEST(Logger, AFailingFileNeverAbortsTheCaller) {
  TTempFolder folder;
  const QString dir = folder.File("missing");
  TLogger logger(dir + "/log.txt");
  ::testing::internal::CaptureStderr();
  EXPECT_NO_THROW(logger.AddMessage("one"));
  EXPECT_NO_THROW(logger.AddMessage("two"));
  EXPECT_NO_THROW(logger.Flush());
  const std::string errors = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(QString::fromStdString(errors).count("cannot be written"), 1) << errors;
  EXPECT_EQ(logger.Count(), 2);
  // Once the folder exists, the file catches up with every line of the run.
  ASSERT_TRUE(QDir().mkpath(dir));
  logger.AddMessage("three");
  EXPECT_EQ(FileLines(logger.FileName()).size(), 3);
}

TEST(Logger, WorkersLogWholeLines) {
  TTempFolder folder;
  TLogger logger(folder.File("log.txt"));
  constexpr int cThreads = 4;
  constexpr int cLines = 300;
  std::vector<std::thread> threads;
  for (int t = 0; t < cThreads; ++t)
    threads.emplace_back([&logger, t] {
      for (int i = 0; i < cLines; ++i) {
        logger.AddEnterMessage(QStringLiteral("worker %1 line %2").arg(t).arg(i));
        logger.AddExitMessage(QStringLiteral("worker %1 done %2").arg(t).arg(i));
      }
    });
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(logger.LogIndentLevel(), 0);
  const QStringList lines = FileLines(logger.FileName());
  ASSERT_EQ(lines.size(), 2 * cThreads * cLines);
  static const QRegularExpression shape(
      "^\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d \\[ \\] ( {2})*worker \\d (line|done) \\d+$");
  QStringList broken;
  for (const QString& line : lines)
    if (!shape.match(line).hasMatch()) broken << line;
  EXPECT_EQ(broken, QStringList());
}

}  // namespace
