#include "platform/sync/messages.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <atomic>
#include <thread>
#include <vector>

#include "runtime/exception.h"
#include "tests/support/pump.h"

namespace {
TLocalBlock MakeBlock(char fill) {
  TLocalBlock b = LocalAlloc(LMEM_FIXED, 16);
  std::fill(b.Data(), b.Data() + 16, fill);
  return b;
}
}  // namespace

TEST(Messages, DeliveredOnUiThreadInPostingOrderPerThread) {
  std::vector<std::pair<WPARAM, LPARAM>> got;
  std::thread::id where;
  TMessageWindow window([&](TMessage& m) {
    got.emplace_back(m.WParam, m.LParam);
    where = std::this_thread::get_id();
  });
  constexpr int kPerThread = 2000;
  std::vector<std::thread> threads;
  for (WPARAM t = 0; t < 3; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < kPerThread; ++i) ASSERT_TRUE(PostMessageA(window.Handle(), WM_USER + 1, t, i));
    });
  for (auto& th : threads) th.join();
  QCoreApplication::processEvents();
  ProcessPostedMessages();
  ASSERT_EQ(got.size(), 3u * kPerThread);
  EXPECT_EQ(where, std::this_thread::get_id());
  LPARAM next[3] = {0, 0, 0};
  for (auto [t, i] : got) {
    EXPECT_EQ(i, next[t]) << "thread " << t;
    next[t] = i + 1;
  }
}

TEST(Messages, BlockTravelsWithTheMessage) {
  std::string seen;
  TMessageWindow window(
      [&](TMessage& m) { seen.assign(reinterpret_cast<const char*>(m.LParam), m.Block.Size()); });
  TLocalBlock b = MakeBlock('x');
  const LPARAM p = reinterpret_cast<LPARAM>(b.Data());
  ASSERT_TRUE(PostMessageA(window.Handle(), WM_USER, 0, p, std::move(b)));
  ProcessPostedMessages();
  EXPECT_EQ(seen, std::string(16, 'x'));
}

TEST(Messages, UndeliveredBlocksAreFreedWithTheWindow) {
  // Run under ASan/LSan: a leak here fails the run.
  int delivered = 0;
  HWND handle;
  {
    TMessageWindow window([&](TMessage&) { ++delivered; });
    handle = window.Handle();
    for (int i = 0; i < 100; ++i) ASSERT_TRUE(PostMessageA(handle, WM_USER, 0, 0, MakeBlock('y')));
  }
  ProcessPostedMessages();
  EXPECT_EQ(delivered, 0);
  EXPECT_FALSE(IsWindow(handle));
  EXPECT_FALSE(PostMessageA(handle, WM_USER, 0, 0, MakeBlock('z')));
}

TEST(Messages, ExceptionInProcedureIsShownAndDeliveryGoesOn) {
  std::vector<std::string> shown;
  auto previous = SetExceptionDisplay([&](const std::string& m) { shown.push_back(m); });
  int calls = 0;
  TMessageWindow window([&](TMessage& m) {
    ++calls;
    if (m.WParam == 1) throw Exception("bad message");
  });
  PostMessageA(window.Handle(), WM_USER, 1, 0);
  PostMessageA(window.Handle(), WM_USER, 2, 0);
  ProcessPostedMessages();
  SetExceptionDisplay(previous);
  EXPECT_EQ(calls, 2);
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0], "bad message");
}

TEST(Messages, DeliveredAtOnceOnTheWindowsThreadUnlessSomethingPostedWaits) {
  std::vector<WPARAM> got;
  TMessageWindow window([&](TMessage& m) { got.push_back(m.WParam); });
  // Nothing waits: the procedure has run when the call returns.
  ASSERT_TRUE(DeliverOrPostMessageA(window.Handle(), WM_USER + 1, 1, 0));
  EXPECT_EQ(got, std::vector<WPARAM>{1});
  // Behind a posted message it is posted too, so the order stays.
  ASSERT_TRUE(PostMessageA(window.Handle(), WM_USER + 1, 2, 0));
  ASSERT_TRUE(DeliverOrPostMessageA(window.Handle(), WM_USER + 1, 3, 0));
  EXPECT_EQ(got, std::vector<WPARAM>{1});
  ProcessPostedMessages();
  EXPECT_EQ(got, (std::vector<WPARAM>{1, 2, 3}));
  // Delivered, the queue is empty again: at once.
  ASSERT_TRUE(DeliverOrPostMessageA(window.Handle(), WM_USER + 1, 4, 0));
  EXPECT_EQ(got.back(), 4u);
  // From another thread it is posted, and delivered here.
  std::thread other([&] { EXPECT_TRUE(DeliverOrPostMessageA(window.Handle(), WM_USER + 1, 5, 0)); });
  other.join();
  EXPECT_EQ(got.back(), 4u);
  ProcessPostedMessages();
  EXPECT_EQ(got.back(), 5u);
  EXPECT_FALSE(DeliverOrPostMessageA(HWND(999999), WM_USER + 1, 6, 0));
}

TEST(MessageBatch, OneEventForTheBurstEachMessageDeliveredInOrderBehindWhatWasPostedFirst) {
  std::vector<std::string> got;
  TMessageWindow window([&](TMessage& m) {
    got.push_back(std::to_string(m.WParam) +
                  (m.Block ? std::string(reinterpret_cast<const char*>(m.LParam), 1) : ""));
  });
  ASSERT_TRUE(PostMessageA(window.Handle(), WM_USER, 0, 0));
  TPostedEventCount events;
  {
    TPostBatch batch(window.Handle());
    for (char c : std::string("abc")) {
      TLocalBlock b = MakeBlock(c);
      const LPARAM p = reinterpret_cast<LPARAM>(b.Data());
      batch.Hold(WM_USER, got.size() + 1 + (c - 'a'), p, std::move(b));
    }
    EXPECT_EQ(batch.Held(), 3u);
    std::thread other([&] { EXPECT_TRUE(batch.Post()); });
    other.join();
    EXPECT_EQ(batch.Held(), 0u);
    EXPECT_TRUE(batch.Post());  // nothing held
    batch.Hold(WM_USER, 4, 0);  // goes with the batch
  }
  ProcessPostedMessages();
  EXPECT_EQ(got, (std::vector<std::string>{"0", "1a", "2b", "3c", "4"}));
  EXPECT_EQ(events.Count(), 3);
}

TEST(MessageBatch, ToAWindowThatIsGoneTheHeldBlocksAreFreed) {
  // Run under ASan/LSan: a leak here fails the run.
  HWND gone;
  {
    TMessageWindow window([](TMessage&) {});
    gone = window.Handle();
  }
  TPostBatch batch(gone);
  batch.Hold(WM_USER, 0, 0, MakeBlock('q'));
  batch.Hold(WM_USER, 1, 0, MakeBlock('r'));
  EXPECT_FALSE(batch.Post());
  EXPECT_EQ(batch.Held(), 0u);
}

TEST(MessageBatch, ANestedLoopInAProcedureKeepsTheOrderOfTheRestOfTheBurst) {
  std::vector<WPARAM> got;
  HWND handle = 0;
  TMessageWindow window([&](TMessage& m) {
    got.push_back(m.WParam);
    if (m.WParam == 1) {
      // Sent while the rest of the burst waits: posted behind it, not delivered at once.
      EXPECT_TRUE(DeliverOrPostMessageA(handle, WM_USER, 9, 0));
      EXPECT_EQ(got.back(), 1u);
      // Posted after the burst, and delivered from a loop run inside this procedure (as a
      // message box runs one): it must still come after the rest of the burst.
      std::thread other([&] { EXPECT_TRUE(PostMessageA(handle, WM_USER, 10, 0)); });
      other.join();
      QCoreApplication::processEvents();
      ProcessPostedMessages();
    }
  });
  handle = window.Handle();
  TPostBatch batch(handle);
  for (WPARAM i = 1; i <= 3; ++i) batch.Hold(WM_USER, i, 0);
  ASSERT_TRUE(batch.Post());
  ProcessPostedMessages();
  EXPECT_EQ(got, (std::vector<WPARAM>{1, 2, 3, 9, 10}));
}

TEST(MessageBatch, AProcedureThatDestroysItsWindowEndsTheBurstAndFreesTheRest) {
  // Run under ASan: a message of the burst delivered after its window went is a use after free.
  int delivered = 0;
  std::unique_ptr<TMessageWindow> window;
  window = std::make_unique<TMessageWindow>([&](TMessage&) {
    ++delivered;
    window.reset();
  });
  TPostBatch batch(window->Handle());
  for (int i = 0; i < 3; ++i) batch.Hold(WM_USER, 0, 0, MakeBlock('d'));
  ASSERT_TRUE(batch.Post());
  ProcessPostedMessages();
  EXPECT_EQ(delivered, 1);
  EXPECT_EQ(window, nullptr);
}
