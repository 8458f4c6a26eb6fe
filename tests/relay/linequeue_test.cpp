// The writer thread of log lines: a bounded queue whose overflow is counted, and an end that
// waits for the writer only so long.
#include "relay/linequeue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <memory>
#include <mutex>
#include <vector>

using namespace std::chrono_literals;

TEST(LineQueue, LinesBeyondTheBoundAreCountedForTheNextBatchAndTheRestArriveInOrder) {
  std::promise<void> go;
  std::shared_future<void> started = go.get_future().share();
  auto seen = std::make_shared<std::vector<std::string>>();
  auto dropped = std::make_shared<std::size_t>(0);
  {
    relay::TLineThread writer(10, 5s, [started, seen, dropped](relay::TLineQueue& queue) {
      started.wait();  // a writer still busy with something else
      for (;;) {
        relay::TLineQueue::TBatch batch = queue.Take();
        *dropped += batch.dropped;
        for (auto& line : batch.lines) seen->push_back(line);
        if (batch.stop) return;
      }
    });
    writer.Write("1234");
    writer.Write("5678");
    writer.Write("abc");  // 11 bytes: beyond the bound
    writer.Write("xy");   // 10: fits
    go.set_value();
  }  // the end waits for the writer
  EXPECT_EQ(*seen, (std::vector<std::string>{"1234", "5678", "xy"}));
  EXPECT_EQ(*dropped, 1u);
}

TEST(LineQueue, AWriterThatDoesNotEndInTimeIsLeftAndNeverReportsAfterwards) {
  std::promise<void> go;
  std::shared_future<void> release = go.get_future().share();
  auto reports = std::make_shared<std::atomic<int>>(0);
  auto ended = std::make_shared<std::promise<void>>();
  std::future<void> done = ended->get_future();
  auto writer = std::make_unique<relay::TLineThread>(1 << 20, 100ms,
                                                     [release, reports, ended](relay::TLineQueue& queue) {
                                                       queue.Take();
                                                       release.wait();  // stuck in a write
                                                       queue.ReportToOwner([&] { ++*reports; });
                                                       EXPECT_TRUE(queue.Abandoned());
                                                       ended->set_value();
                                                     });
  writer->Write("line");
  const auto start = std::chrono::steady_clock::now();
  writer.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
  go.set_value();
  ASSERT_EQ(done.wait_for(10s), std::future_status::ready);
  EXPECT_EQ(reports->load(), 0);
}
