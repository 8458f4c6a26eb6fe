// Events, waits, thread queues and threads of the platform.
#include <gtest/gtest.h>
#include <poll.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/sync/event_object.h"
#include "platform/sync/events.h"
#include "platform/sync/messages.h"
#include "platform/sync/thread.h"
#include "platform/sync/threadqueue.h"

namespace {
using namespace std::chrono_literals;

struct TEvents {
  std::vector<HANDLE> h;
  TEvents(int n, bool manual) {
    for (int i = 0; i < n; ++i) h.push_back(CreateEventA(nullptr, manual, FALSE, nullptr));
  }
  ~TEvents() {
    for (HANDLE e : h) CloseHandle(e);
  }
};

class TProbeThread final : public TThread {
 public:
  std::function<void()> body;
  explicit TProbeThread(std::function<void()> f) : TThread(true), body(std::move(f)) {}
  ~TProbeThread() override { Finish(); }

 protected:
  void Execute() override { body(); }
};
}  // namespace

TEST(Waits, LowestSignalledIndexWinsAndManualEventsStaySet) {
  TEvents e(3, true);
  EXPECT_EQ(WaitForMultipleObjects(3, e.h.data(), FALSE, 0), WAIT_TIMEOUT);
  SetEvent(e.h[2]);
  SetEvent(e.h[1]);
  EXPECT_EQ(WaitForMultipleObjects(3, e.h.data(), FALSE, INFINITE), WAIT_OBJECT_0 + 1);
  EXPECT_EQ(WaitForMultipleObjects(3, e.h.data(), FALSE, INFINITE), WAIT_OBJECT_0 + 1);
  ResetEvent(e.h[1]);
  EXPECT_EQ(WaitForMultipleObjects(3, e.h.data(), FALSE, INFINITE), WAIT_OBJECT_0 + 2);
}

TEST(Waits, AutoResetEventWakesOneWaitOnly) {
  TEvents e(1, false);
  SetEvent(e.h[0]);
  EXPECT_EQ(WaitForSingleObject(e.h[0], 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(e.h[0], 0), WAIT_TIMEOUT);
}

TEST(Waits, WakesWhenAnotherThreadSetsAndTimesOutOtherwise) {
  TEvents e(1, true);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(WaitForSingleObject(e.h[0], 50), WAIT_TIMEOUT);
  EXPECT_GE(std::chrono::steady_clock::now() - start, 45ms);
  std::thread setter([&] {
    std::this_thread::sleep_for(20ms);
    SetEvent(e.h[0]);
  });
  EXPECT_EQ(WaitForSingleObject(e.h[0], 10'000), WAIT_OBJECT_0);
  setter.join();
}

// How often this thread has gone to sleep.
long VoluntarySwitches() {
  std::ifstream status("/proc/thread-self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("voluntary_ctxt_switches:", 0) == 0) return std::stol(line.substr(24));
  return -1;
}

TEST(Waits, ATimedWaitSleepsOnceNotInManyShortSleeps) {
  TEvents e(1, true);
  for (DWORD ms : {1u, 3u, 20u, 1500u}) {
    const long before = VoluntarySwitches();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(WaitForSingleObject(e.h[0], ms), WAIT_TIMEOUT);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(ms));
    EXPECT_LE(VoluntarySwitches() - before, 2) << ms << " ms";
  }
}

TEST(Waits, ClosedOrUnknownHandlesFail) {
  HANDLE h = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  ASSERT_NE(h, 0u);
  EXPECT_TRUE(CloseHandle(h));
  EXPECT_FALSE(CloseHandle(h));
  EXPECT_EQ(WaitForSingleObject(h, 0), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_FALSE(SetEvent(h));
}

TEST(ThreadQueue, AcceptsPostsFromCreationAndDeliversInOrder) {
  std::vector<WPARAM> got;
  std::atomic<bool> blocksIntact{true};
  TEvents stop(1, true);
  TProbeThread t([&] {
    auto drain = [&] {
      MSG m;
      while (PeekMessageA(&m, 0, 0, 0, PM_REMOVE)) {
        got.push_back(m.wParam);
        if (m.Block && *m.Block.Data() != static_cast<char>('a' + m.wParam)) blocksIntact = false;
      }
    };
    for (;;) {
      drain();
      const DWORD r = MsgWaitForMultipleObjects(1, stop.h.data(), FALSE, INFINITE, QS_ALLINPUT);
      if (r == WAIT_OBJECT_0) {
        drain();  // everything was posted before the stop
        return;
      }
      ASSERT_EQ(r, WAIT_OBJECT_0 + 1);
    }
  });
  // Not yet resumed: the queue already exists.
  for (WPARAM i = 0; i < 5; ++i) {
    TLocalBlock b = LocalAlloc(LPTR, 2);
    b.Data()[0] = static_cast<char>('a' + i);
    ASSERT_TRUE(PostThreadMessageA(t.ThreadID(), WM_USER + 1, i, 0, std::move(b)));
  }
  t.Resume();
  for (WPARAM i = 5; i < 10; ++i) ASSERT_TRUE(PostThreadMessageA(t.ThreadID(), WM_USER + 1, i, 0));
  std::this_thread::sleep_for(50ms);
  SetEvent(stop.h[0]);
  ASSERT_TRUE(t.WaitFor(10'000));
  EXPECT_EQ(got, (std::vector<WPARAM>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
  EXPECT_TRUE(blocksIntact);
  // Once the body has returned, posting fails (and frees the block).
  EXPECT_FALSE(PostThreadMessageA(t.ThreadID(), WM_USER + 1, 0, 0, LocalAlloc(LPTR, 8)));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_THREAD_ID);
}

TEST(Threads, SuspendedUntilResumedAndReleaseStartsANeverResumedThread) {
  std::atomic<int> runs{0};
  {
    TProbeThread t([&] { ++runs; });
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(runs, 0);
    EXPECT_FALSE(t.WaitFor(10));
    EXPECT_FALSE(t.Started());
  }
  EXPECT_EQ(runs, 1);
  TProbeThread t([&] { ++runs; });
  t.SetPriority(THREAD_PRIORITY_HIGHEST);  // never fails, whatever the process may do
  t.Resume();
  EXPECT_TRUE(t.WaitFor(10'000));
  EXPECT_EQ(runs, 2);
}

TEST(Threads, AnExceptionInTheBodyEndsTheThreadOnly) {
  TProbeThread t([] { throw std::runtime_error("escaped"); });
  t.Resume();
  EXPECT_TRUE(t.WaitFor(10'000));
}

TEST(Waits, AThreadsOwnSetAndResetLeaveTheDescriptorQuietWhileAWaiterElsewhereWakes) {
  auto event = TEvent::Create(true, false);
  ASSERT_TRUE(event);
  auto readable = [&] {
    pollfd p{event->Fd(), POLLIN, 0};
    return ::poll(&p, 1, 0) == 1;
  };
  // Nobody polls: the flag alone carries the state.
  event->Set();
  EXPECT_TRUE(event->IsSet());
  EXPECT_FALSE(readable());
  // A poll that starts on a set event returns at once; reset takes the signal back.
  event->Watch();
  EXPECT_TRUE(readable());
  event->Unwatch();
  event->Reset();
  EXPECT_FALSE(readable());
  event->Set();
  event->Reset();
  EXPECT_FALSE(readable());

  // Set from another thread while this one sleeps in the wait, many times over: never missed.
  HANDLE h = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  ASSERT_NE(h, 0u);
  constexpr int kRounds = 2000;
  std::atomic<int> taken{0};
  std::thread setter([&] {
    for (int i = 0; i < kRounds; ++i) {
      while (taken.load() < i) std::this_thread::yield();
      SetEvent(h);
    }
  });
  for (int i = 0; i < kRounds; ++i) {
    ASSERT_EQ(WaitForSingleObject(h, 10'000), WAIT_OBJECT_0) << "round " << i;
    taken = i + 1;
  }
  setter.join();
  CloseHandle(h);
}

TEST(ThreadQueue, PostsRacingTheOwnersTakesAreNeitherLostNorLeftSpinning) {
  TEvents stop(1, true);
  constexpr WPARAM kCount = 20000;
  std::vector<WPARAM> got;
  std::atomic<int> waits{0};
  TProbeThread t([&] {
    for (;;) {
      MSG m;
      while (PeekMessageA(&m, 0, 0, 0, PM_REMOVE)) got.push_back(m.wParam);
      if (got.size() == kCount) return;
      ++waits;
      if (MsgWaitForMultipleObjects(1, stop.h.data(), FALSE, 10'000, QS_ALLINPUT) != WAIT_OBJECT_0 + 1)
        return;
    }
  });
  t.Resume();
  for (WPARAM i = 0; i < kCount; ++i) {
    ASSERT_TRUE(PostThreadMessageA(t.ThreadID(), WM_USER + 1, i, 0));
    if (i % 64 == 0) std::this_thread::yield();
  }
  ASSERT_TRUE(t.WaitFor(30'000));
  ASSERT_EQ(got.size(), kCount);
  for (WPARAM i = 0; i < kCount; ++i) ASSERT_EQ(got[i], i);
  // A wake-up can be left behind by a message taken before its signal was written, at most once
  // per message; a spinning wait would count far more.
  EXPECT_LE(waits.load(), int(kCount) + 1);
}
