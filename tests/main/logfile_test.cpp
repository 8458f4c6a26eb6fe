// The log to a file: every line with its date, rotated by size, written off the window's
// thread, and a disk that fails telling the operator once and ending the file log.
#include "main/logfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <atomic>
#include <memory>
#include <mutex>
#include <thread>

#include "relay/texts.h"
#include "relay/trafficlog.h"
#include "tests/main/features.h"
#include "tests/support/pump.h"
#include "widgets/logview.h"

namespace {
QStringList FileLines(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return {};
  return QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts);
}

}  // namespace

TEST(LogFileStamp, CarriesTheDateAtUtcPlus8) {
  SYSTEMTIME t{2026, 12, 2, 31, 16, 0, 0, 7};  // 16:00 UTC on new year's eve
  EXPECT_EQ(FormatFileStamp(t), "[2027-01-01 00:00:00:007]");
  t = {2024, 2, 0, 28, 15, 59, 59, 999};
  EXPECT_EQ(FormatFileStamp(t), "[2024-02-28 23:59:59:999]");
}

TEST(LogFileWriter, RotatesBySizeKeepingTheNewestFiles) {
  QTemporaryDir dir;
  const QString path = dir.filePath("relay.log");
  {
    TLogFileWriter writer(path.toStdString(), nullptr, {/*rotateBytes*/ 1000, /*files*/ 3, 1 << 20});
    for (int i = 0; i < 100; ++i)
      writer.Write(QString::asprintf("line %03d", i).toStdString() + std::string(40, '.'));
  }  // the destructor writes everything queued
  // 100 lines of 49 bytes: 20 to a file of 1000, so the newest three files hold lines 40 to 99.
  EXPECT_FALSE(QFile::exists(path + ".3"));
  const QStringList oldest = FileLines(path + ".2"), middle = FileLines(path + ".1"),
                    newest = FileLines(path);
  ASSERT_EQ(oldest.size(), 20);
  ASSERT_EQ(middle.size(), 20);
  ASSERT_EQ(newest.size(), 20);
  EXPECT_TRUE(oldest.front().startsWith("line 040."));
  EXPECT_TRUE(newest.back().startsWith("line 099."));
  for (const QString& f : {path, path + ".1", path + ".2"}) EXPECT_LE(QFile(f).size(), 1000);
}

TEST(LogFileWriter, AFullDiskIsReportedOnceAndLinesAreThenDropped) {
  std::atomic<int> failures{0};
  std::string reason;
  std::mutex lock;
  TLogFileWriter writer("/dev/full", [&](const std::string& why) {
    std::lock_guard g(lock);
    reason = why;
    ++failures;
  });
  writer.Write("first");
  ASSERT_TRUE(PumpUntil([&] { return failures.load() > 0; }));
  for (int i = 0; i < 100; ++i) writer.Write("more");
  PumpFor(std::chrono::milliseconds(50));
  EXPECT_EQ(failures.load(), 1);
  std::lock_guard g(lock);
  EXPECT_NE(reason.find("/dev/full"), std::string::npos) << reason;
}

TEST(LogFileWriter, AWriterStuckOnItsFileIsLeftBehindAtTheStopWait) {
  QTemporaryDir dir;
  const std::string fifo = dir.filePath("stuck").toStdString();
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  // A reader that reads nothing yet: the pipe fills and the writer's write hangs.
  const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  auto failures = std::make_shared<std::atomic<int>>(0);
  auto writer = std::make_unique<TLogFileWriter>(
      fifo, [failures](const std::string&) { ++*failures; },
      TLogFileLimits{1u << 30, 1, 16u << 20, std::chrono::milliseconds(200)});
  for (int i = 0; i < 20000; ++i) writer->Write(std::string(100, 'x'));
  PumpFor(std::chrono::milliseconds(200));
  const auto start = std::chrono::steady_clock::now();
  writer.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  // The reader goes on: the writer left behind ends on its own, and says what it did not write.
  std::string got;
  char buf[65536];
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (got.find("file logging stopped first") == std::string::npos &&
         std::chrono::steady_clock::now() < until) {
    const ssize_t n = read(reader, buf, sizeof buf);
    if (n > 0)
      got.append(buf, std::size_t(n));
    else
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  close(reader);
  EXPECT_NE(got.find("lines not written: file logging stopped first"), std::string::npos) << got.size();
  EXPECT_LT(got.size(), 20000u * 101) << "the rest was dropped, not written";
  EXPECT_EQ(failures->load(), 0);
}

TEST_F(FeaturesTest, EveryLineFromNowOnGoesToTheFileWithItsDateAsShown) {
  Attach();
  const QString path = dir.filePath("logs/relay.log");
  QDir().mkpath(dir.filePath("logs"));
  form->AddLogLine(clRed, Ansi("系统：before"));
  ASSERT_TRUE(features->StartFileLog(path.toStdString()));
  OpenPort();
  serial->Deliver(std::string("A\0B", 3));
  form->VwCheckBoxHex->SetChecked(false);
  serial->Deliver(std::string("x\\y\r\n", 5));
  features->StopFileLog();
  const QStringList lines = FileLines(path);
  ASSERT_EQ(lines.size(), 3);
  const QRegularExpression stamp(QStringLiteral("^\\[\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d:\\d{3}\\]"));
  for (const QString& line : lines) EXPECT_TRUE(stamp.match(line).hasMatch()) << line.toStdString();
  EXPECT_EQ(lines[0].mid(25), Q("系统：成功打开串口"));
  EXPECT_EQ(lines[1].mid(25), Q("串口收到(3):41 00 42 "));
  // Text mode: bytes the view marks are written as in a copy, so the file reads back unambiguously.
  EXPECT_EQ(lines[2].mid(25), Q("串口收到(5):x\\\\y\\x0D\\x0A"));
  // The path is remembered.
  EXPECT_EQ(features->CurrentSettings().logFilePath, path.toStdString());
}

TEST_F(FeaturesTest, AFolderThatCannotBeWrittenGivesOneRedLineAndNoFileLog) {
  Attach();
  QDir(dir.path()).mkdir("ro");
  QFile::setPermissions(dir.filePath("ro"), QFile::ReadOwner | QFile::ExeOwner);
  QString folder = dir.filePath("ro");
  // Permissions do not stop the superuser; /proc stops everyone.
  if (QFile probe(folder + "/probe"); probe.open(QIODevice::WriteOnly)) {
    probe.remove();
    folder = QStringLiteral("/proc");
  }
  const std::size_t before = Lines();
  EXPECT_FALSE(features->StartFileLog((folder + "/relay.log").toStdString()));
  EXPECT_FALSE(features->FileLogging());
  ASSERT_EQ(Lines(), before + 1);
  EXPECT_TRUE(LastBody().startsWith(Q("系统：无法写入日志文件，已停止记录到文件（")))
      << LastBody().toStdString();
  EXPECT_EQ(LastColor(), clRed);
}

TEST_F(FeaturesTest, AFullDiskOrARemovedFolderStopsTheFileLogWithOneLineAndTheRelayGoesOn) {
  Attach();
  OpenPort();
  Connect();
  ASSERT_TRUE(features->StartFileLog("/dev/full"));
  serial->Deliver("to the server");
  ASSERT_TRUE(PumpUntil([&] { return !features->FileLogging(); }));
  const std::size_t after = Lines();
  EXPECT_TRUE(LastBody().contains(Q("/dev/full")));
  // Nothing more about it, and blocks still pass both ways.
  serial->Deliver("and more");
  net->ServerSends("back");
  PumpFor(std::chrono::milliseconds(50));
  EXPECT_EQ(Lines(), after + 2);
  EXPECT_TRUE(net->socket.sent.ends_with("and more"));
  EXPECT_EQ(serial->written.back(), "back");

  const QString folder = dir.filePath("gone");
  QDir().mkpath(folder);
  ASSERT_TRUE(features->StartFileLog((folder + "/relay.log").toStdString()));
  serial->Deliver("one");
  ASSERT_TRUE(PumpUntil([&] { return QFile(folder + "/relay.log").size() > 0; }));
  ASSERT_TRUE(QDir(folder).removeRecursively());
  serial->Deliver("two");
  ASSERT_TRUE(PumpUntil([&] { return !features->FileLogging(); }));
  EXPECT_TRUE(LastBody().startsWith(Q("系统：无法写入日志文件")));
}

TEST_F(FeaturesTest, SaveAsWritesTheLinesInTheViewAsCopied) {
  Attach();
  form->AddLogLine(clRed, Ansi("系统：one"));
  form->AddLogLine(clBlue, std::string("two\0", 4));
  const QString path = dir.filePath("saved.txt");
  ASSERT_TRUE(features->SaveLogAs(path.toStdString()));
  const QStringList lines = FileLines(path);
  ASSERT_EQ(lines.size(), 2);
  EXPECT_EQ(lines[0], form->VwRichEdit->LineCopyText(0));
  EXPECT_TRUE(lines[1].endsWith(Q("two\\x00")));
  const std::size_t before = Lines();
  EXPECT_FALSE(features->SaveLogAs(dir.filePath("no/such/folder/x.txt").toStdString()));
  EXPECT_EQ(Lines(), before + 1);
  EXPECT_TRUE(LastBody().startsWith(Q("系统：日志另存失败")));
}

TEST_F(FeaturesTest, AHugeBlockIsShownAndFiledAsIfItsWholeLineHadBeenWrittenOut) {
  Attach();
  const QString path = dir.filePath("relay.log");
  ASSERT_TRUE(features->StartFileLog(path.toStdString()));
  OpenPort();
  Connect();
  // Every byte value: text, controls, characters of two and four bytes, bytes that form none.
  std::string block(1 << 20, '\0');
  std::uint64_t x = 0x2545F4914F6CDD1Dull;
  for (char& c : block) {
    x ^= x << 13, x ^= x >> 7, x ^= x << 17;
    c = char(x >> 56);
  }
  const std::size_t first = Lines();
  net->ServerSends(block);
  form->VwCheckBoxHex->SetChecked(false);
  net->ServerSends(block);
  features->StopFileLog();
  ASSERT_EQ(Lines(), first + 2);
  std::string written;
  for (const std::string& piece : serial->written) written += piece;
  EXPECT_TRUE(written == block + block);  // the line is cut, the forwarding never
  const std::string head = texts::NetToSerial() + "(" + std::to_string(block.size()) + "):";
  const std::string lines[] = {head + block, head + block};
  const std::size_t hexFrom[] = {head.size(), std::string::npos};
  TLogView whole;
  const QStringList filed = FileLines(path);
  ASSERT_GE(filed.size(), 2);
  for (int i = 0; i < 2; ++i) {
    whole.AppendLine(0, "[00:00:00:000]" + lines[i],
                     hexFrom[i] == std::string::npos ? hexFrom[i] : 14 + hexFrom[i]);
    const std::size_t shown = first + std::size_t(i);
    EXPECT_EQ(form->VwRichEdit->LineText(shown).mid(14), whole.LineText(std::size_t(i)).mid(14)) << i;
    EXPECT_EQ(form->VwRichEdit->LineCopyText(shown).mid(14), whole.LineCopyText(std::size_t(i)).mid(14)) << i;
    EXPECT_EQ(form->VwRichEdit->LineRuns(shown).size(), whole.LineRuns(std::size_t(i)).size()) << i;
    EXPECT_TRUE(form->VwRichEdit->LineRuns(shown).back().text.startsWith(QString::fromUtf8("…+"))) << i;
    EXPECT_EQ(filed[filed.size() - 2 + i].mid(25), TLogView::CopyText(lines[i], hexFrom[i])) << i;
  }
}
