// Why an open failed, as the component's exception carries it, and opening that is safe towards
// other programs: lock files in every lock folder, locks and holders named, nothing opened
// before the checks, our own lock files gone when the process is terminated, settings the
// driver did not take.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <cerrno>
#include <filesystem>
#include <fstream>

#include "platform/serial/holders.h"
#include "platform/serial/readback.h"
#include "platform/serial/uucplock.h"
#include "platform/sync/handles.h"
#include "tests/comm/serialfixture.h"
#include "tests/support/fake_serial.h"
#include "tests/support/lockfolders.h"
#include "tests/support/process.h"

namespace {
namespace fs = std::filesystem;

// Counts the opens of a path that the kernel reports: proof that a refused open never touched
// the device (opening a serial port raises DTR and RTS).
struct TOpenWatch {
  int fd;
  explicit TOpenWatch(const std::string& path) : fd(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
    ::inotify_add_watch(fd, path.c_str(), IN_OPEN);
  }
  ~TOpenWatch() { ::close(fd); }
  int Opens() {
    int opens = 0;
    alignas(inotify_event) char buffer[4096];
    ssize_t n;
    while ((n = ::read(fd, buffer, sizeof buffer)) > 0)
      for (char* p = buffer; p < buffer + n;
           p += sizeof(inotify_event) + reinterpret_cast<inotify_event*>(p)->len)
        if (reinterpret_cast<inotify_event*>(p)->mask & IN_OPEN) ++opens;
    return opens;
  }
};

// The exception of a failed Open; the test fails when Open succeeded.
ESerialError OpenFailure(TSerialPort& port) {
  try {
    port.Open();
  } catch (const ESerialError& e) {
    return e;
  }
  ADD_FAILURE() << "the port opened";
  port.Close();
  return ESerialError("");
}

long ReadPid(const std::string& file) {
  std::ifstream in(file);
  long pid = 0;
  in >> pid;
  return pid;
}

const std::string kSettingsRefused = Ansi("设置串口参数出错");
}  // namespace

TEST(SerialOpenCause, MissingDevicesAndPathsThatAreNoTerminal) {
  TRecordedPort missing("ttyNoSuchPort7");
  ESerialError e = OpenFailure(missing.port);
  EXPECT_EQ(e.Message(), OpenFailedText());
  EXPECT_TRUE(e.Cause().Is(TErrorDomain::Errno, ENOENT));
  EXPECT_EQ(e.Cause().subject, "/dev/ttyNoSuchPort7");
  EXPECT_EQ(e.Cause().text, "No such file or device");

  QTemporaryDir dir;
  const std::string plain = dir.path().toStdString() + "/notaport";
  std::ofstream(plain) << "x";
  for (const std::string& path : {std::string("/dev/null"), plain}) {
    TRecordedPort p(path);
    e = OpenFailure(p.port);
    EXPECT_EQ(e.Message(), OpenFailedText());
    EXPECT_TRUE(e.Cause().Is(TErrorDomain::Own, owncause::NotATerminal)) << path;
    EXPECT_EQ(e.Cause().subject, path);
  }
}

TEST(SerialOpenCause, PermissionDeniedIsNamedWithThePath) {
  // Root opens any device node whatever its mode, so the device refuses through the fake.
  TFakeSerialPort fake("fakeDenied0");
  fake.FailOpen(EACCES);
  TRecordedPort p(fake.Name());
  const ESerialError e = OpenFailure(p.port);
  EXPECT_EQ(e.Message(), OpenFailedText());
  EXPECT_TRUE(e.Cause().Is(TErrorDomain::Errno, EACCES));
  EXPECT_EQ(e.Cause().subject, "/dev/fakeDenied0");
  EXPECT_EQ(e.Cause().text, "Permission denied");
  fake.FailOpen(0);
  p.port.Open();
  p.port.Close();
}

TEST(SerialOpenSafety, ALiveLockFileInAnyFolderRefusesBeforeTheDeviceIsOpened) {
  TPseudoTerminal pty;
  TLockFolders folders;
  TForeignLock sleeper("/dev/null", /*lock*/ false);  // a live process that is not us
  ASSERT_TRUE(sleeper.Held());
  std::ofstream(folders.Second(pty.Path())) << "  " << sleeper.Pid() << "\n";

  TOpenWatch watch(pty.Path());
  TRecordedPort p(pty.Path());
  const ESerialError e = OpenFailure(p.port);
  EXPECT_EQ(e.Message(), OpenFailedText());
  EXPECT_TRUE(e.Cause().Is(TErrorDomain::Own, owncause::LockFileHeld));
  EXPECT_EQ(e.Cause().holder, sleeper.Pid());
  EXPECT_EQ(e.Cause().subject, folders.Second(pty.Path()));
  EXPECT_EQ(watch.Opens(), 0);
  EXPECT_FALSE(fs::exists(folders.First(pty.Path())));  // nothing of ours left behind

  // Files of dead owners are stale, wherever they are; ours goes in the first folder.
  std::ofstream(folders.First(pty.Path())) << "  " << DeadProcessId() << "\n";
  std::ofstream(folders.Second(pty.Path())) << "  " << DeadProcessId() << "\n";
  p.port.Open();
  EXPECT_EQ(ReadPid(folders.First(pty.Path())), CurrentProcessId());
  EXPECT_FALSE(fs::exists(folders.Second(pty.Path())));
  // A second opener in this process is refused by our own file, and told so.
  TRecordedPort second(pty.Path());
  EXPECT_EQ(OpenFailure(second.port).Cause().holder, CurrentProcessId());
  p.port.Close();
  EXPECT_FALSE(fs::exists(folders.First(pty.Path())));
}

TEST(SerialOpenSafety, TheProcessHoldingTheLockIsNamed) {
  TPseudoTerminal pty;
  TLockFolders folders;
  TForeignLock foreign(pty.Path());
  ASSERT_TRUE(foreign.Held());
  TRecordedPort p(pty.Path());
  const ESerialError e = OpenFailure(p.port);
  EXPECT_EQ(e.Message(), OpenFailedText());
  EXPECT_TRUE(e.Cause().Is(TErrorDomain::Errno, EWOULDBLOCK));
  EXPECT_EQ(e.Cause().holder, foreign.Pid());
  EXPECT_FALSE(fs::exists(folders.First(pty.Path())));
  EXPECT_FALSE(fs::exists(folders.Second(pty.Path())));
}

TEST(SerialOpenSafety, OtherProcessesThatHoldADeviceOpenAreFound) {
  TPseudoTerminal pty;
  EXPECT_EQ(ProcessHoldingOpen(pty.Path()), 0);  // only this process has it
  TForeignLock holder(pty.Path(), /*lock*/ false);
  ASSERT_TRUE(holder.Held());
  EXPECT_EQ(ProcessHoldingOpen(pty.Path()), holder.Pid());
  // The owner of a pseudo-terminal keeps its slave open: that alone does not refuse it.
  struct stat st;
  ASSERT_EQ(::stat(pty.Path().c_str(), &st), 0);
  EXPECT_TRUE(IsPseudoTerminalSlave(st.st_rdev));
  ASSERT_EQ(::stat("/dev/null", &st), 0);
  EXPECT_FALSE(IsPseudoTerminalSlave(st.st_rdev));
}

TEST(SerialOpenSafety, TerminationBySigtermOrSigintRemovesOurLockFiles) {
  for (int signal : {SIGTERM, SIGINT}) {
    TPseudoTerminal pty;
    TLockFolders folders;
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    if (child == 0) {
      // A shell may start background jobs with SIGINT ignored; this child ends by default.
      ::signal(SIGINT, SIG_DFL);
      ::signal(SIGTERM, SIG_DFL);
      TPlatformError error;
      auto device = OpenTerminal(pty.Path(), error);
      const char ok = device ? 1 : 0;
      (void)!::write(ready[1], &ok, 1);
      for (;;) ::pause();
    }
    ::close(ready[1]);
    char ok = 0;
    ASSERT_EQ(::read(ready[0], &ok, 1), 1);
    ::close(ready[0]);
    ASSERT_EQ(ok, 1);
    const std::string ours = folders.First(pty.Path());
    EXPECT_EQ(ReadPid(ours), child);
    ::kill(child, signal);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << "signal " << signal;
    EXPECT_FALSE(fs::exists(ours)) << "signal " << signal;
  }
}

namespace {
struct RefusedCase {
  const char* what;
  std::function<void(TSerialPort&)> ask;
  std::function<void(termios2&)> driver;
  int cause;
};
}  // namespace

TEST(SerialOpenSettings, ADriverThatRefusesOrChangesASettingFailsTheOpenWithTheCause) {
  const RefusedCase cases[] = {
      {"mark parity without CMSPAR", [](TSerialPort& p) { p.SetParity(TParity::Mark); },
       [](termios2& t) { t.c_cflag &= ~CMSPAR; }, owncause::ParityRefused},
      {"5 data bits taken as 8", [](TSerialPort& p) { p.SetByteSize(TByteSize::_5); },
       [](termios2& t) { t.c_cflag = (t.c_cflag & ~CSIZE) | CS8; }, owncause::ByteSizeRefused},
      {"2 stop bits taken as 1", [](TSerialPort& p) { p.SetStopBits(TStopBits::_2); },
       [](termios2& t) { t.c_cflag &= ~CSTOPB; }, owncause::StopBitsRefused},
      {"no hardware flow control", [](TSerialPort& p) { p.SetOutx_CtsFlow(true); },
       [](termios2& t) { t.c_cflag &= ~CRTSCTS; }, owncause::FlowRefused},
      {"256000 baud taken as 230400", [](TSerialPort& p) { p.SetBaudRate(256000); },
       [](termios2& t) { t.c_ospeed = t.c_ispeed = 230400; }, owncause::BaudRateRefused},
  };
  TFakeSerialPort fake("fakeRefuse0");
  for (const RefusedCase& c : cases) {
    TRecordedPort p(fake.Name());
    c.ask(p.port);
    fake.AlterSettings(c.driver);
    const std::size_t handles = OpenHandleCount();
    const ESerialError e = OpenFailure(p.port);
    EXPECT_EQ(e.Message(), kSettingsRefused) << c.what;
    EXPECT_TRUE(e.Cause().Is(TErrorDomain::Own, c.cause)) << c.what;
    EXPECT_FALSE(p.port.WriteData("x", 1)) << c.what;  // left closed
    EXPECT_EQ(OpenHandleCount(), handles) << c.what;
    // The same settings open where the driver takes them.
    fake.AlterSettings(nullptr);
    p.port.Open();
    p.port.Close();
  }
}

TEST(SerialOpenSettings, ABaudRateRoundedWithinThreePercentIsNormal) {
  TFakeSerialPort fake("fakeRound0");
  TRecordedPort p(fake.Name());
  p.port.SetBaudRate(256000);
  fake.AlterSettings([](termios2& t) { t.c_ospeed = t.c_ispeed = 250000; });  // 2.3 % off
  p.port.Open();
  EXPECT_TRUE(p.port.WriteData("x", 1));
  p.port.Close();

  termios2 asked{}, got{};
  asked.c_cflag = got.c_cflag = CS8;
  asked.c_ospeed = 115200;
  got.c_ospeed = 111900;  // 2.9 % below
  EXPECT_EQ(RefusedSetting(asked, got), 0);
  got.c_ospeed = 111600;  // 3.1 % below
  EXPECT_EQ(RefusedSetting(asked, got), owncause::BaudRateRefused);
  got.c_ospeed = 0;  // a driver that reports no speed
  EXPECT_EQ(RefusedSetting(asked, got), 0);
  // Odd or mark bits left over without parity are no refusal.
  got.c_cflag = CS8 | PARODD;
  got.c_ospeed = 115200;
  EXPECT_EQ(RefusedSetting(asked, got), 0);
}
