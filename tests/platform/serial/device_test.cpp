// The serial facilities on a real pseudo-terminal (and the fake where lines are needed).
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/serial/comm.h"
#include "platform/serial/uucplock.h"
#include "tests/support/fake_serial.h"
#include "tests/support/lockfolders.h"
#include "tests/support/process.h"

namespace {
using namespace std::chrono_literals;

HANDLE OpenPort(const std::string& name) {
  const std::string path = "\\\\.\\" + name;
  return CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                     FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, 0);
}

struct TPort {
  HANDLE h;
  explicit TPort(const std::string& name) : h(OpenPort(name)) {}
  ~TPort() {
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
  }
  void Timeouts(DWORD interval, DWORD multiplier = 0, DWORD constant = 0) {
    COMMTIMEOUTS t;
    t.ReadIntervalTimeout = interval;
    t.ReadTotalTimeoutMultiplier = multiplier;
    t.ReadTotalTimeoutConstant = constant;
    ASSERT_TRUE(SetCommTimeouts(h, &t));
  }
};

struct TRecord {
  OVERLAPPED ov{};
  TRecord() { ov.hEvent = CreateEventA(nullptr, TRUE, TRUE, nullptr); }
  ~TRecord() { CloseHandle(ov.hEvent); }
};

// Starts a read and collects it, as the receive thread does.
std::string ReadBlock(HANDLE h, DWORD size, DWORD& error) {
  TRecord r;
  std::string buffer(size, '\0');
  DWORD n = 0;
  error = 0;
  if (!ReadFile(h, buffer.data(), size, &n, &r.ov)) {
    if (GetLastError() != ERROR_IO_PENDING) {
      error = GetLastError();
      return {};
    }
    if (!GetOverlappedResult(h, &r.ov, &n, TRUE)) error = GetLastError();
  }
  buffer.resize(n);
  return buffer;
}
}  // namespace

TEST(SerialOpen, ExclusiveAgainstOurselvesAnotherProcessAndLockFiles) {
  TPseudoTerminal pty;
  {
    TPort first(pty.Path());
    ASSERT_NE(first.h, INVALID_HANDLE_VALUE);
    TPort second(pty.Path());
    EXPECT_EQ(second.h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  }
  {
    TForeignLock foreign(pty.Path());
    ASSERT_TRUE(foreign.Held());
    TPort port(pty.Path());
    EXPECT_EQ(port.h, INVALID_HANDLE_VALUE);
  }
  TPort again(pty.Path());
  EXPECT_NE(again.h, INVALID_HANDLE_VALUE);
}

TEST(SerialOpen, MissingAndNonTerminalPathsFail) {
  EXPECT_EQ(OpenPort("ttyDoesNotExist9"), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(OpenPort("/dev/null"), INVALID_HANDLE_VALUE);
  EXPECT_EQ(DevicePathFromName("\\\\.\\ttyUSB0"), "/dev/ttyUSB0");
  EXPECT_EQ(DevicePathFromName("\\\\.\\/dev/pts/3"), "/dev/pts/3");
}

TEST(SerialOpen, UucpLockFilesLiveStaleAndOurs) {
  TPseudoTerminal pty;
  TLockFolders folders;
  EXPECT_EQ(TUucpLock::DefaultDirectory(), folders.first.path().toStdString());
  const std::string file = folders.First(pty.Path());
  EXPECT_EQ(TUucpLock::LockName("/dev/ttyUSB0"), "LCK..ttyUSB0");

  std::ofstream(file) << "         1\n";  // init lives for ever
  EXPECT_EQ(TPort(pty.Path()).h, INVALID_HANDLE_VALUE);

  std::ofstream(file) << "  " << DeadProcessId() << "\n";
  {
    TPort port(pty.Path());
    ASSERT_NE(port.h, INVALID_HANDLE_VALUE);
    std::ifstream in(file);
    long owner = 0;
    in >> owner;
    EXPECT_EQ(owner, CurrentProcessId());
  }
  EXPECT_FALSE(std::filesystem::exists(file));
}

TEST(SerialTimeouts, IntervalCutsAndFullBufferEnds) {
  TPseudoTerminal pty;
  TPort port(pty.Path());
  ASSERT_NE(port.h, INVALID_HANDLE_VALUE);
  port.Timeouts(50);
  DWORD error;
  std::thread writer([&] {
    pty.Write("hello");
    std::this_thread::sleep_for(300ms);
    pty.Write("world");
  });
  EXPECT_EQ(ReadBlock(port.h, 4096, error), "hello");
  EXPECT_EQ(ReadBlock(port.h, 4096, error), "world");
  writer.join();
  pty.Write("0123456789");
  EXPECT_EQ(ReadBlock(port.h, 4, error), "0123");  // a full buffer ends at once
  EXPECT_EQ(ReadBlock(port.h, 4096, error), "456789");
}

TEST(SerialTimeouts, ShortReadsWithinTheIntervalMakeOneBlockAndDrainedReadsAreNotRepeated) {
  TFakeSerialPort fake("fakeshort0");
  TPort port(fake.Name());
  ASSERT_NE(port.h, INVALID_HANDLE_VALUE);
  port.Timeouts(500);
  DWORD error;
  // Each piece empties the terminal; the interval, not the short read, ends the block.
  std::thread writer([&] {
    for (const char* piece : {"ab", "cd", "ef"}) {
      fake.Receive(piece);
      std::this_thread::sleep_for(20ms);
    }
  });
  EXPECT_EQ(ReadBlock(port.h, 4096, error), "abcdef");
  writer.join();

  // Blocks cut by the interval, as the receive thread reads them: a read that emptied the
  // terminal is not followed by one that finds nothing, neither after the cut nor when the
  // next read starts, yet bytes that came in between are read at once.
  port.Timeouts(20);
  const int emptyBefore = fake.Record().emptyReads;
  for (int i = 0; i < 5; ++i) {
    const std::string block = "block" + std::to_string(i);
    fake.Receive(block);
    EXPECT_EQ(ReadBlock(port.h, 4096, error), block);
    EXPECT_EQ(error, 0u);
  }
  EXPECT_EQ(fake.Record().emptyReads - emptyBefore, 0);
}

TEST(SerialTimeouts, AFloodFillsEachBlockWithAboutOneReadAndWhatWasTakenAheadComesNextOrIsPurged) {
  TFakeSerialPort fake("fakeflood0");
  TPort port(fake.Name());
  ASSERT_NE(port.h, INVALID_HANDLE_VALUE);
  port.Timeouts(100);
  DWORD error;
  // A terminal hands over a byte less than a block at a time; bytes beyond a block are kept
  // for the next one, not read again.
  std::string flood(8 * 4096 + 100, '\0');
  for (std::size_t i = 0; i < flood.size(); ++i) flood[i] = char(i * 131 + i / 251);
  const int readsBefore = fake.Record().reads;
  const int emptyBefore = fake.Record().emptyReads;
  std::thread writer([&] { fake.Receive(flood); });
  std::string got;
  for (int i = 0; i < 8; ++i) {
    const std::string block = ReadBlock(port.h, 4096, error);
    EXPECT_EQ(block.size(), 4096u) << i;
    got += block;
  }
  got += ReadBlock(port.h, 4096, error);  // the rest, cut by the interval
  writer.join();
  EXPECT_TRUE(got == flood);
  // Reads that found bytes: two a block would be 17. A read that follows a big one tries the
  // terminal first and may find it empty, at most once a block.
  const int empty = fake.Record().emptyReads - emptyBefore;
  EXPECT_LT(fake.Record().reads - readsBefore - empty, 14);
  EXPECT_LE(empty, 9);

  // What a full buffer left behind is the next read's, in whatever mode it reads.
  fake.Receive("0123456789");
  EXPECT_EQ(ReadBlock(port.h, 4, error), "0123");
  port.Timeouts(MAXDWORD);
  EXPECT_EQ(ReadBlock(port.h, 3, error), "456");
  port.Timeouts(MAXDWORD, MAXDWORD, 1000);
  EXPECT_EQ(ReadBlock(port.h, 4096, error), "789");
  // A purge of the input drops it with the rest.
  fake.Receive("abcdef");
  port.Timeouts(50);
  EXPECT_EQ(ReadBlock(port.h, 2, error), "ab");
  ASSERT_TRUE(PurgeComm(port.h, PURGE_RXCLEAR));
  fake.Receive("xy");
  EXPECT_EQ(ReadBlock(port.h, 4096, error), "xy");
}

TEST(SerialTimeouts, BytesWaitingBehindABigReadAreTakenWithoutWaitingForAPoll) {
  TPseudoTerminal pty;
  TPort port(pty.Path());
  ASSERT_NE(port.h, INVALID_HANDLE_VALUE);
  port.Timeouts(1000);
  std::string flood(3 * 4096, '\0');
  for (std::size_t i = 0; i < flood.size(); ++i) flood[i] = char(i * 7 + i / 509);
  pty.Write(flood);
  std::this_thread::sleep_for(100ms);
  // A terminal hands over a byte less than a block at a time; the rest of each block is
  // waiting already, so the read ends at once instead of pending on a poll.
  std::string got;
  for (int i = 0; i < 2; ++i) {
    TRecord r;
    std::string block(4096, '\0');
    DWORD n = 0;
    const bool atOnce = ReadFile(port.h, block.data(), 4096, &n, &r.ov);
    if (!atOnce) {
      ASSERT_EQ(GetLastError(), DWORD(ERROR_IO_PENDING));
      GetOverlappedResult(port.h, &r.ov, &n, TRUE);
    }
    EXPECT_TRUE(atOnce) << i;
    EXPECT_EQ(n, 4096u) << i;
    got += block.substr(0, n);
  }
  DWORD error;
  // The rest, read as the receive thread reads.
  got += ReadBlock(port.h, 4096, error);
  EXPECT_TRUE(got == flood);
}

TEST(SerialTimeouts, AtOnceTotalsAndAbortByPurge) {
  TPseudoTerminal pty;
  TPort port(pty.Path());
  ASSERT_NE(port.h, INVALID_HANDLE_VALUE);
  DWORD error;
  port.Timeouts(MAXDWORD);
  EXPECT_EQ(ReadBlock(port.h, 4096, error), "");
  EXPECT_EQ(error, 0u);
  pty.Write("ab");
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(ReadBlock(port.h, 4096, error), "ab");

  port.Timeouts(0, 0, 80);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(ReadBlock(port.h, 4096, error), "");
  EXPECT_GE(std::chrono::steady_clock::now() - start, 70ms);

  // No time-outs at all: only a full buffer or a purge ends the read.
  port.Timeouts(0);
  TRecord r;
  char buffer[16];
  DWORD n = 0;
  ASSERT_FALSE(ReadFile(port.h, buffer, sizeof buffer, &n, &r.ov));
  ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);
  EXPECT_EQ(WaitForSingleObject(r.ov.hEvent, 100), WAIT_TIMEOUT);
  EXPECT_FALSE(GetOverlappedResult(port.h, &r.ov, &n, FALSE));
  EXPECT_EQ(GetLastError(), ERROR_IO_INCOMPLETE);
  std::thread purger([&] {
    std::this_thread::sleep_for(30ms);
    PurgeComm(port.h, PURGE_RXABORT | PURGE_RXCLEAR);
  });
  EXPECT_EQ(WaitForSingleObject(r.ov.hEvent, 10'000), WAIT_OBJECT_0);
  purger.join();
  EXPECT_FALSE(GetOverlappedResult(port.h, &r.ov, &n, FALSE));
  EXPECT_EQ(GetLastError(), ERROR_OPERATION_ABORTED);
}

TEST(SerialState, FlagsAsLastSetFramingFromTheDevice) {
  // A pseudo-terminal keeps the speed and stop bits it is given but forces 8 data bits and no
  // parity: what GetCommState answers is the device's own framing.
  TPseudoTerminal pty;
  TPort port(pty.Path());
  ASSERT_NE(port.h, INVALID_HANDLE_VALUE);
  DCB dcb;
  ASSERT_TRUE(GetCommState(port.h, &dcb));
  dcb.Flags = dcbflag::fBinary | dcbflag::fAbortOnError;
  dcb.BaudRate = 256000;
  dcb.ByteSize = 7;
  dcb.Parity = MARKPARITY;
  dcb.StopBits = ONE5STOPBITS;
  ASSERT_TRUE(SetCommState(port.h, &dcb));
  DCB back;
  ASSERT_TRUE(GetCommState(port.h, &back));
  EXPECT_EQ(back.Flags, dcbflag::fBinary | dcbflag::fAbortOnError);
  EXPECT_EQ(back.BaudRate, 256000u);
  EXPECT_EQ(back.ByteSize, 8);
  EXPECT_EQ(back.Parity, NOPARITY);
  EXPECT_EQ(back.StopBits, ONE5STOPBITS);
  // A refused record leaves the device as it was.
  DCB bad = back;
  bad.ByteSize = 9;
  bad.BaudRate = 1200;
  EXPECT_FALSE(SetCommState(port.h, &bad));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  ASSERT_TRUE(GetCommState(port.h, &back));
  EXPECT_EQ(back.BaudRate, 256000u);
}

TEST(SerialWrite, ReachesTheOtherSideAndStallsWithoutAReader) {
  TPseudoTerminal pty;
  TPort port(pty.Path());
  ASSERT_NE(port.h, INVALID_HANDLE_VALUE);
  DCB dcb;
  GetCommState(port.h, &dcb);
  dcb.Flags = dcbflag::fBinary;
  SetCommState(port.h, &dcb);
  TRecord r;
  DWORD n = 0;
  if (!WriteFile(port.h, "ping", 4, &n, &r.ov)) {
    ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);
    ASSERT_TRUE(GetOverlappedResult(port.h, &r.ov, &n, TRUE));
  }
  EXPECT_EQ(n, 4u);
  EXPECT_EQ(pty.Read(4, 5s), "ping");

  // Nobody reads: the write stays pending until a purge aborts it.
  const std::string big(1 << 20, 'x');
  ASSERT_FALSE(WriteFile(port.h, big.data(), static_cast<DWORD>(big.size()), &n, &r.ov));
  ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);
  EXPECT_EQ(WaitForSingleObject(r.ov.hEvent, 100), WAIT_TIMEOUT);
  PurgeComm(port.h, PURGE_TXABORT | PURGE_TXCLEAR);
  EXPECT_EQ(WaitForSingleObject(r.ov.hEvent, 0), WAIT_OBJECT_0);
  EXPECT_FALSE(GetOverlappedResult(port.h, &r.ov, &n, FALSE));
  EXPECT_EQ(GetLastError(), ERROR_OPERATION_ABORTED);
}

TEST(SerialHangup, AVanishedTerminalFailsReadsAndWritesInsteadOfReadingNothing) {
  TPseudoTerminal pty;
  TPort port(pty.Path());
  ASSERT_NE(port.h, INVALID_HANDLE_VALUE);
  port.Timeouts(50);
  TRecord r;
  char buffer[64];
  DWORD n = 0;
  ASSERT_FALSE(ReadFile(port.h, buffer, sizeof buffer, &n, &r.ov));
  ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);
  pty.CloseMaster();
  EXPECT_FALSE(GetOverlappedResult(port.h, &r.ov, &n, TRUE));
  EXPECT_EQ(GetLastError(), ERROR_GEN_FAILURE);
  DWORD error;
  ReadBlock(port.h, 64, error);
  EXPECT_EQ(error, ERROR_GEN_FAILURE);
  EXPECT_FALSE(WriteFile(port.h, "x", 1, &n, &r.ov));
  EXPECT_EQ(GetLastError(), ERROR_GEN_FAILURE);
}

TEST(SerialLineEvents, ChangesErrorsAndMaskChanges) {
  TFakeSerialPort fake("fakeDevice0");
  TPort port(fake.Name());
  ASSERT_NE(port.h, INVALID_HANDLE_VALUE);
  ASSERT_TRUE(SetCommMask(port.h, EV_RLSD | EV_ERR | EV_RING));
  TRecord r;
  DWORD mask = 0, n;
  ASSERT_FALSE(WaitCommEvent(port.h, &mask, &r.ov));
  ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);
  std::thread changer([&] {
    std::this_thread::sleep_for(30ms);
    fake.ChangeLines(TLineSample::Carrier | TLineSample::Ring, /*frame*/ 1, /*overrun*/ 0, /*parity*/ 2);
  });
  ASSERT_TRUE(GetOverlappedResult(port.h, &r.ov, &n, TRUE));
  changer.join();
  EXPECT_EQ(mask, EV_RLSD | EV_RING | EV_ERR);
  DWORD errors = 0;
  ASSERT_TRUE(ClearCommError(port.h, &errors, nullptr));
  EXPECT_EQ(errors, CE_FRAME | CE_RXPARITY);
  ASSERT_TRUE(ClearCommError(port.h, &errors, nullptr));
  EXPECT_EQ(errors, 0u);

  // Unwatched changes do not end a wait; a new mask ends it with nothing.
  ASSERT_FALSE(WaitCommEvent(port.h, &mask, &r.ov));
  fake.ChangeLines(TLineSample::Carrier | TLineSample::Ring | TLineSample::Cts);
  EXPECT_EQ(WaitForSingleObject(r.ov.hEvent, 100), WAIT_TIMEOUT);
  mask = 0xFFFF;
  ASSERT_TRUE(SetCommMask(port.h, 0));
  ASSERT_TRUE(GetOverlappedResult(port.h, &r.ov, &n, TRUE));
  EXPECT_EQ(mask, 0u);
}

TEST(SerialLineEvents, ATerminalWithoutModemLinesReportsNothing) {
  TPseudoTerminal pty;
  TPort port(pty.Path());
  ASSERT_NE(port.h, INVALID_HANDLE_VALUE);
  ASSERT_TRUE(SetCommMask(port.h, EV_RLSD | EV_ERR | EV_RING));
  TRecord r;
  DWORD mask = 0, errors = 7;
  ASSERT_FALSE(WaitCommEvent(port.h, &mask, &r.ov));
  EXPECT_EQ(GetLastError(), ERROR_IO_PENDING);
  EXPECT_EQ(WaitForSingleObject(r.ov.hEvent, 300), WAIT_TIMEOUT);
  EXPECT_TRUE(ClearCommError(port.h, &errors, nullptr));
  EXPECT_EQ(errors, 0u);
  SetCommMask(port.h, 0);
}
