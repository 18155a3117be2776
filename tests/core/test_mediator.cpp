#include <fcntl.h>
#include <gtest/gtest.h>
#include <semaphore.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <cstring>
#include <functional>
#include <vector>

#include "src/Common/uMainThread.h"
#include "src/Platform/uProcessMediator.h"
#include "support/TestEnv.h"

namespace {

QString UniqueName() {
  static int counter = 0;
  return QString("Tervana.Test.%1.%2").arg(::getpid()).arg(++counter);
}

// Where the channel's objects of a unique name live.
QByteArray ShmPath(const QString& AName, const char* ASuffix) {
  return QFile::encodeName(QString("/dev/shm/%1%2.%3").arg(AName, ASuffix).arg(::getuid()));
}
QByteArray SemaphorePath(const QString& AName, const char* ASuffix) {
  return QFile::encodeName(QString("/dev/shm/sem.%1%2.%3").arg(AName, ASuffix).arg(::getuid()));
}
QByteArray LockPath(const QString& AFolder, const QString& AName) {
  return QFile::encodeName(QString("%1/%2.%3.lock").arg(AFolder, AName).arg(::getuid()));
}

// Puts a link to a decoy file of ours where APath was.
void ReplaceWithLink(const QByteArray& APath, const QByteArray& ADecoy) {
  ::unlink(APath.constData());
  const int fd = ::open(ADecoy.constData(), O_RDWR | O_CREAT, 0600);
  ::ftruncate(fd, 4096);
  ::close(fd);
  ::symlink(ADecoy.constData(), APath.constData());
}

QString ConstructionError(const QString& AName) {
  try {
    TProcessMediator mediator(AName, 255);
  } catch (const EInOutError& e) {
    return e.Message();
  }
  return QStringLiteral("<no error>");
}

bool Drain(const std::function<bool()>& ADone) {
  return MainThread().WaitUntil(ADone, std::chrono::milliseconds(5), std::chrono::milliseconds(5000));
}

// A mediator pair in one process, on an engine of the pair's own that outlives
// both mediators, as the program's does.
struct TMediatorPair {
  explicit TMediatorPair(const QString& AName, int ASize = 255) {
    StartTaskEngine();
    First = std::make_unique<TProcessMediator>(AName, ASize);
    First->SetOnDataReceived([this](const QString& AData) {
      Received << AData;
      OnMain = OnMain && MainThread().IsMainThread();
    });
    Second = std::make_unique<TProcessMediator>(AName, ASize);
  }
  ~TMediatorPair() {
    First.reset();
    Second.reset();
    StopTaskEngine();
  }
  std::unique_ptr<TProcessMediator> First;
  std::unique_ptr<TProcessMediator> Second;
  QStringList Received;
  bool OnMain = true;
};

}  // namespace

TEST(ProcessMediator, FitToBlockCutsAtTheBlockAndKeepsSurrogatePairs) {
  const QString pair = QString::fromUcs4(U"\U0001F600");
  const struct {
    const char* Name;
    QString Text;
    int Size;
  } cases[] = {
      {"short", "C:/reports/a.xtdd", 17},
      {"exactly 126", QString(126, 'a'), 126},
      {"longer", QString(300, 'a'), 126},
      {"pair across the cut", QString(125, 'a') + pair, 125},
      {"pair before the cut", QString(124, 'a') + pair + "b", 126},
  };
  for (const auto& c : cases) EXPECT_EQ(TProcessMediator::FitToBlock(c.Text, 255).size(), c.Size) << c.Name;
}

// Whatever the block's size, the text and its NUL fit into it.
class FitToBlockSize : public ::testing::TestWithParam<int> {};

TEST_P(FitToBlockSize, TextAndNulNeverExceedTheBlock) {
  const int size = GetParam();
  const int room = std::max(0, std::min(TProcessMediator::cMaxTextUnits, size / 2 - 1));
  for (const QString& text : {QString(), QString("ab"), QString(300, 'x')}) {
    SCOPED_TRACE(text.size());
    const QString fitted = TProcessMediator::FitToBlock(text, size);
    EXPECT_EQ(fitted.size(), std::min<qsizetype>(text.size(), room));
    EXPECT_TRUE(text.startsWith(fitted));
  }
}

INSTANTIATE_TEST_SUITE_P(Sizes, FitToBlockSize, ::testing::Values(-1, 0, 1, 2, 3, 4, 5, 254, 255, 256, 257, 4096));

// Below two bytes not even the NUL fits; two or three bytes hold only the NUL.
TEST(ProcessMediator, TinyBlocksNeverTakeMoreThanFits) {
  for (int size : {-1, 0, 1, 2, 3}) {
    SCOPED_TRACE(size);
    TMediatorPair pair(UniqueName(), size);
    EXPECT_EQ(pair.Second->SendData("abc"), size >= 2);
    if (size >= 2) {
      EXPECT_TRUE(Drain([&] { return pair.Received == QStringList({""}); })) << pair.Received.join("|");
    }
  }
}

TEST(ProcessMediator, SecondInstanceHandsItsTextToTheFirstOnTheMainThread) {
  TMediatorPair pair(UniqueName());
  EXPECT_FALSE(pair.First->AlreadyExists());
  EXPECT_TRUE(pair.Second->AlreadyExists());
  EXPECT_FALSE(pair.First->SendData("to myself"));  // the first never sends

  ASSERT_TRUE(pair.Second->SendData(QStringLiteral("C:/Фонд/отчёт.xtdd")));
  ASSERT_TRUE(Drain([&] { return pair.Received.size() == 1; }));
  ASSERT_TRUE(pair.Second->SendData(QString(300, 'x')));
  ASSERT_TRUE(Drain([&] { return pair.Received.size() == 2; }));
  EXPECT_EQ(pair.Received[0], QStringLiteral("C:/Фонд/отчёт.xtdd"));
  EXPECT_EQ(pair.Received[1], QString(126, 'x'));
  EXPECT_TRUE(pair.OnMain);
}

TEST(ProcessMediator, ReceiverReadsNoFurtherThanTheBlock) {
  const QString name = UniqueName();
  TMediatorPair pair(name);
  // Another writer fills the block without a terminating NUL and signals.
  const QString suffix = QString(".%1").arg(::getuid());
  const int fd = ::shm_open(("/" + name + "$File" + suffix).toLocal8Bit().constData(), O_RDWR, 0600);
  ASSERT_GE(fd, 0);
  void* view = ::mmap(nullptr, 255, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  ASSERT_NE(view, MAP_FAILED);
  std::memset(view, 'A', 255);  // every unit is U+4141, no NUL anywhere
  ::munmap(view, 255);
  ::close(fd);
  sem_t* event = ::sem_open(("/" + name + "$Event" + suffix).toLocal8Bit().constData(), 0);
  ASSERT_NE(event, SEM_FAILED);
  ::sem_post(event);
  ::sem_close(event);
  ASSERT_TRUE(Drain([&] { return !pair.Received.isEmpty(); }));
  EXPECT_EQ(pair.Received.last(), QString(127, QChar(0x4141)));
}

TEST(ProcessMediator, AFailingHandlerIsReportedAndTheChannelKeepsWaiting) {
  TMediatorPair pair(UniqueName());
  QStringList errors;
  pair.First->SetOnDataReceived([&](const QString& AData) {
    if (AData == "bad") throw EInOutError("No such report");
    pair.Received << AData;
  });
  pair.First->SetOnError([&](const QString& AText) { errors << AText; });
  ::testing::internal::CaptureStderr();
  ASSERT_TRUE(pair.Second->SendData("bad"));
  const bool reported = Drain([&] { return !errors.isEmpty(); });
  const QString stderrText = QString::fromStdString(::testing::internal::GetCapturedStderr());
  ASSERT_TRUE(reported);
  EXPECT_TRUE(errors[0].contains("No such report")) << errors[0];
  EXPECT_TRUE(stderrText.contains("No such report")) << stderrText;
  ASSERT_TRUE(pair.Second->SendData("good"));
  EXPECT_TRUE(Drain([&] { return pair.Received == QStringList({"good"}); }));
}

// Another local user who gets at the channel's objects first could read every
// hand-over or make every start a silent second one: a later start refuses
// objects that are not owner-only, not ours, or links.
TEST(ProcessMediator, ASecondStartRefusesChannelObjectsOthersCouldUse) {
  const struct {
    const char* Name;
    std::function<void(const QString&)> Tamper;
  } cases[] = {
      {"block open to others", [](const QString& n) { ::chmod(ShmPath(n, "$File").constData(), 0666); }},
      {"block of another user", [](const QString& n) { ::chown(ShmPath(n, "$File").constData(), 65534, 65534); }},
      {"block is a link", [](const QString& n) { ReplaceWithLink(ShmPath(n, "$File"), ShmPath(n, ".decoy")); }},
      {"event open to the group", [](const QString& n) { ::chmod(SemaphorePath(n, "$Event").constData(), 0660); }},
      {"event of another user",
       [](const QString& n) { ::chown(SemaphorePath(n, "$Event").constData(), 65534, 65534); }},
      {"event is a link",
       [](const QString& n) { ReplaceWithLink(SemaphorePath(n, "$Event"), SemaphorePath(n, ".decoy")); }},
      {"acknowledgement open to others", [](const QString& n) { ::chmod(SemaphorePath(n, "$Ack").constData(), 0666); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const QString name = UniqueName();
    StartTaskEngine();
    {
      TProcessMediator first(name, 255);
      c.Tamper(name);
      EXPECT_NE(ConstructionError(name), "<no error>");
    }
    StopTaskEngine();
    ::unlink(ShmPath(name, ".decoy").constData());
    ::unlink(SemaphorePath(name, ".decoy").constData());
  }
}

TEST(ProcessMediator, ALockFileThatIsALinkOrNotOwnerOnlyIsRefused) {
  TTempFolder runtime;
  TEnvironmentGuard env("XDG_RUNTIME_DIR", runtime.Path().toLocal8Bit());
  const struct {
    const char* Name;
    std::function<void(const QByteArray&)> Plant;
  } cases[] = {
      {"link", [&](const QByteArray& p) { ::symlink(QFile::encodeName(runtime.File("target")).constData(), p); }},
      {"open to others",
       [](const QByteArray& p) {
         ::close(::open(p.constData(), O_RDWR | O_CREAT, 0600));
         ::chmod(p.constData(), 0644);
       }},
      {"of another user",
       [](const QByteArray& p) {
         ::close(::open(p.constData(), O_RDWR | O_CREAT, 0600));
         ::chown(p.constData(), 65534, 65534);
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const QString name = UniqueName();
    c.Plant(LockPath(runtime.Path(), name));
    StartTaskEngine();
    const QString error = ConstructionError(name);
    StopTaskEngine();
    EXPECT_TRUE(error.contains(QString::fromLocal8Bit(LockPath(runtime.Path(), name)))) << error;
    EXPECT_FALSE(QFile::exists(runtime.File("target")));
  }
}

TEST(ProcessMediator, LeavesTheTaskEngineToWhoeverStartedIt) {
  StartTaskEngine();
  { TProcessMediator first(UniqueName(), 255); }
  EXPECT_TRUE(TaskEngineStarted());
  StopTaskEngine();
}

TEST(ProcessMediator, DestructionDoesNotHangOnAWorkerWaitingForTheMainThread) {
  TMediatorPair pair(UniqueName());
  ASSERT_TRUE(pair.Second->SendData("late"));
  // Nobody drains: the waiting task now sits in its progress report. Giving
  // it a moment makes sure it is blocked there when the first goes.
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  pair.First.reset();
  EXPECT_EQ(pair.Received, QStringList({"late"}));
}

// --- real processes ---------------------------------------------------------

namespace {

class TProbe {
 public:
  TProbe(const QString& AFolder, const QString& AName, const QString& AParameter = QString()) : FName(AName) {
    QStringList arguments{AFolder, AName};
    if (!AParameter.isNull()) arguments << AParameter;
    FProcess.start(QStringLiteral(MEDIATOR_PROBE), arguments);
  }
  ~TProbe() {
    if (FProcess.state() != QProcess::NotRunning) {
      FProcess.kill();
      FProcess.waitForFinished();
    }
    // A killed first instance leaves its objects behind.
    ::unlink(ShmPath(FName, "$File").constData());
    ::unlink(SemaphorePath(FName, "$Event").constData());
    ::unlink(SemaphorePath(FName, "$Ack").constData());
  }
  // Waits for a line of output; false on time-out or exit.
  bool WaitForLine(const QString& ALine, int ATimeoutMs = 15000) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ATimeoutMs) {
      while (FProcess.canReadLine()) {
        const QString line = QString::fromUtf8(FProcess.readLine()).trimmed();
        FLines << line;
        if (line == ALine) return true;
      }
      if (FProcess.state() == QProcess::NotRunning && !FProcess.canReadLine()) return false;
      FProcess.waitForReadyRead(100);
    }
    return false;
  }
  void Kill() {
    FProcess.kill();
    FProcess.waitForFinished();
  }
  void Signal(int ASignal) { ::kill(static_cast<pid_t>(FProcess.processId()), ASignal); }
  bool Finish() { return FProcess.waitForFinished(15000) && FProcess.exitCode() == 0; }
  QStringList Lines() const { return FLines; }

 private:
  QString FName;
  QProcess FProcess;
  QStringList FLines;
};

QString RunSecond(const QString& AFolder, const QString& AName, const QString& AParameter) {
  QByteArray output;
  const int code = RunProgram(QStringLiteral(MEDIATOR_PROBE), {AFolder, AName, AParameter}, &output);
  return code == 0 ? QString::fromUtf8(output).trimmed() : QString("exit %1").arg(code);
}

// A second start's exit code and what it wrote on stderr.
std::pair<int, QString> RunFailingSecond(const QString& AFolder, const QString& AName, const QString& AParameter) {
  QProcess process;
  process.start(QStringLiteral(MEDIATOR_PROBE), {AFolder, AName, AParameter});
  if (!process.waitForFinished(30000)) return {-1, "time-out"};
  return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
          QString::fromLocal8Bit(process.readAllStandardError())};
}

// A desk folder with its settings and a channel name of the test's own.
class SingleInstance : public ::testing::Test {
 protected:
  void UseRunMode(const char* AMode) { FFolder.Write("settings.ini", QByteArray("[Core]\nRunMode=") + AMode + "\n"); }
  // A first instance started and ready.
  std::unique_ptr<TProbe> StartFirst() {
    auto first = std::make_unique<TProbe>(FFolder.Path(), FName);
    EXPECT_TRUE(first->WaitForLine("first"));
    return first;
  }
  QString Second(const QString& AParameter) { return RunSecond(FFolder.Path(), FName, AParameter); }

  TTempFolder FFolder;
  const QString FName = UniqueName();
};

}  // namespace

TEST_F(SingleInstance, RunModeInAnyCaseHandsTheParameterOver) {
  for (const char* mode : {"singleton", "SINGLETON", "SingleTon"}) {
    SCOPED_TRACE(mode);
    TTempFolder folder;
    folder.Write("settings.ini", QByteArray("[core]\nrunmode=") + mode + "\n");
    const QString name = UniqueName();
    TProbe first(folder.Path(), name);
    if (!first.WaitForLine("first")) {
      ADD_FAILURE() << "the first instance did not start";
      continue;
    }
    EXPECT_EQ(RunSecond(folder.Path(), name, "C:/reports/fund.xtdd"), "sent:1");
    EXPECT_TRUE(first.WaitForLine("received:[C:/reports/fund.xtdd]:main=1")) << first.Lines().join("|");
    EXPECT_EQ(RunSecond(folder.Path(), name, ""), "sent:1");
    EXPECT_TRUE(first.WaitForLine("received:[]:main=1"));
    EXPECT_EQ(RunSecond(folder.Path(), name, "quit"), "sent:1");
    EXPECT_TRUE(first.WaitForLine("ended"));
    EXPECT_TRUE(first.Finish());
  }
}

TEST_F(SingleInstance, WithoutSingletonBothRunAndNothingIsHandedOver) {
  UseRunMode("multi");
  auto first = StartFirst();
  ASSERT_FALSE(HasFailure());
  EXPECT_EQ(Second("x"), "second");
  EXPECT_FALSE(first->WaitForLine("received:[x]:main=1", 500));
}

TEST_F(SingleInstance, AKilledFirstInstanceDoesNotBlockTheNextStart) {
  UseRunMode("singleton");
  {
    TProbe crashed(FFolder.Path(), FName);
    ASSERT_TRUE(crashed.WaitForLine("first"));
    crashed.Kill();
  }
  TProbe next(FFolder.Path(), FName);
  ASSERT_TRUE(next.WaitForLine("first")) << next.Lines().join("|");
  EXPECT_EQ(Second("after crash"), "sent:1");
  EXPECT_TRUE(next.WaitForLine("received:[after crash]:main=1"));
}

TEST_F(SingleInstance, TamperedChannelMakesTheSecondStartFailLoudly) {
  UseRunMode("singleton");
  auto first = StartFirst();
  ASSERT_FALSE(HasFailure());
  ::chmod(ShmPath(FName, "$File").constData(), 0666);
  const auto [code, errors] = RunFailingSecond(FFolder.Path(), FName, "C:/reports/fund.xtdd");
  EXPECT_EQ(code, 1);
  EXPECT_TRUE(errors.contains(QString::fromLocal8Bit(ShmPath(FName, "$File")))) << errors;
  EXPECT_FALSE(first->WaitForLine("received:[C:/reports/fund.xtdd]:main=1", 300));
}

TEST_F(SingleInstance, TenStartsAtOnceHandOverEveryTextExactlyOnce) {
  UseRunMode("singleton");
  auto first = StartFirst();
  ASSERT_FALSE(HasFailure());
  constexpr int cStarts = 10;
  std::vector<std::unique_ptr<QProcess>> starts;
  for (int i = 0; i < cStarts; ++i) {
    starts.push_back(std::make_unique<QProcess>());
    starts.back()->start(QStringLiteral(MEDIATOR_PROBE), {FFolder.Path(), FName, QString("C:/in/%1.xtdd").arg(i)});
  }
  for (int i = 0; i < cStarts; ++i) {
    SCOPED_TRACE(i);
    EXPECT_TRUE(starts[i]->waitForFinished(30000));
    EXPECT_EQ(starts[i]->exitCode(), 0) << starts[i]->readAllStandardError().constData();
    EXPECT_EQ(QString::fromUtf8(starts[i]->readAllStandardOutput()).trimmed(), "sent:1");
  }
  EXPECT_EQ(Second("quit"), "sent:1");
  EXPECT_TRUE(first->WaitForLine("ended"));
  for (int i = 0; i < cStarts; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(first->Lines().count(QString("received:[C:/in/%1.xtdd]:main=1").arg(i)), 1) << first->Lines().join("|");
  }
}

// A first instance that does not take the text (here: stopped) makes the
// second start fail, and the text is not delivered later.
TEST_F(SingleInstance, ATextThatIsNotTakenFailsTheSecondStart) {
  UseRunMode("singleton");
  auto first = StartFirst();
  ASSERT_FALSE(HasFailure());
  first->Signal(SIGSTOP);
  const auto [code, errors] = RunFailingSecond(FFolder.Path(), FName, "lost");
  first->Signal(SIGCONT);
  EXPECT_EQ(code, 1);
  EXPECT_FALSE(errors.isEmpty());
  EXPECT_EQ(Second("after"), "sent:1");
  EXPECT_TRUE(first->WaitForLine("received:[after]:main=1"));
  EXPECT_FALSE(first->Lines().contains("received:[lost]:main=1")) << first->Lines().join("|");
}
