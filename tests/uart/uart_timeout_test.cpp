// The inter-byte time-out on a UART with a FIFO: the far end paces bytes at the line's rate and
// leaves gaps; the component must cut blocks at gaps above the interval and only there.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/comm/serialfixture.h"
#include "tests/uart/rig.h"

namespace {
using namespace std::chrono_literals;

constexpr DWORD kIntervalMs = 100;  // the window's default

struct TimedPort {
  uart::FarEnd far;
  TRecordedPort p{uart::Device()};
  explicit TimedPort(DWORD rate) {
    p.port.SetBaudRate(rate);
    p.port.SetReadIntervalTimeout(kIntervalMs);
    p.port.Open();
  }
  ~TimedPort() { p.port.Close(); }
};

long CharTimeUs(DWORD rate) { return static_cast<long>(10'000'000 / rate); }

class UartTimeout : public ::testing::TestWithParam<DWORD> {};
}  // namespace

TEST_P(UartTimeout, FramesAreCutAtGapsAboveTheIntervalOnly) {
  TimedPort t(GetParam());
  constexpr int kFrames = 6, kLength = 16;
  // Bytes back to back at the line's rate, then bytes with gaps of a quarter of the interval: one
  // block per frame either way, since frames are far apart (QEMU itself may hold bytes back for
  // tens of milliseconds on a busy host).
  for (long spacing : {CharTimeUs(GetParam()), static_cast<long>(kIntervalMs) * 250}) {
    SCOPED_TRACE(testing::Message() << "byte spacing " << spacing << " us");
    t.p.blocks.clear();
    const std::string reply =
        t.far.Call("frames " + std::to_string(kFrames) + " " + std::to_string(kLength) + " " +
                   std::to_string(spacing) + " " + std::to_string(kIntervalMs * 5000));
    ASSERT_EQ(reply, "ok");
    ASSERT_TRUE(PumpUntil([&] { return t.p.Received().size() >= kFrames * kLength; }, 30s));
    PumpFor(std::chrono::milliseconds(kIntervalMs * 3));
    ASSERT_EQ(t.p.blocks.size(), static_cast<std::size_t>(kFrames));
    for (int f = 0; f < kFrames; ++f)
      EXPECT_EQ(t.p.blocks[f], std::string(kLength, static_cast<char>('A' + f))) << "frame " << f;
  }
  EXPECT_EQ(t.p.hangups, 0);
}

// Two bytes with a gap between them, many times per gap: how often the component cut them. The
// far end's gaps are exact to tens of microseconds; what blurs the edge is the UART's FIFO (a
// byte waits up to four character times for its interrupt) and the guest's scheduling.
TEST_P(UartTimeout, CutEdgeMeasured) {
  TimedPort t(GetParam());
  constexpr int kRepeats = 4;
  const std::vector<long> gapsMs = {10, 25, 50, 80, 90, 95, 105, 110, 125, 150, 500};
  std::string command = "pairs " + std::to_string(kRepeats) + " " + std::to_string(kIntervalMs * 4000);
  for (long g : gapsMs) command += " " + std::to_string(g * 1000);
  const std::string reply = t.far.Call(command, 180s);
  ASSERT_EQ(reply, "ok");
  const std::size_t trials = gapsMs.size() * kRepeats;
  ASSERT_TRUE(PumpUntil([&] { return t.p.Received().size() >= 2 * trials; }, 30s));
  PumpFor(std::chrono::milliseconds(kIntervalMs * 3));
  ASSERT_EQ(t.p.Received().size(), 2 * trials);
  // Each trial is "ab" (joined) or "a", "b" (cut). A busy host can hold QEMU back long enough to
  // merge the next trial into a block as well; that is counted, not taken for the component.
  std::vector<int> cut(gapsMs.size(), 0);
  std::size_t trial = 0, merged = 0;
  for (std::size_t i = 0; i < t.p.blocks.size(); ++i) {
    const std::string& block = t.p.blocks[i];
    for (std::size_t j = 0; j < block.size(); ++j) {
      const bool last = j + 1 == block.size();
      if (block[j] == 'a') {
        ASSERT_LT(trial, trials);
        if (last) ++cut[trial / kRepeats];  // its 'b' starts the next block
        ++trial;
      } else {
        ASSERT_EQ(block[j], 'b') << "block " << i;
        if (!last) ++merged;
      }
    }
  }
  ASSERT_EQ(trial, trials);
  std::printf("inter-byte time-out %u ms at %u Bd, cut / tried per gap:", kIntervalMs, GetParam());
  for (std::size_t k = 0; k < gapsMs.size(); ++k) std::printf(" %ldms:%d/%d", gapsMs[k], cut[k], kRepeats);
  std::printf("\n");
  std::printf("trials merged with the next one by a stall: %zu\n", merged);
  // Generous edges (the host is shared): a quarter of the interval never cuts, five times it
  // nearly always does.
  for (std::size_t k = 0; k < gapsMs.size(); ++k) {
    if (gapsMs[k] * 4 <= static_cast<long>(kIntervalMs)) {
      EXPECT_EQ(cut[k], 0) << gapsMs[k] << " ms";
    }
    if (gapsMs[k] >= 5 * static_cast<long>(kIntervalMs)) {
      EXPECT_GE(cut[k], kRepeats - 1) << gapsMs[k] << " ms";
    }
  }
  EXPECT_EQ(t.p.hangups, 0);
}

INSTANTIATE_TEST_SUITE_P(Rates, UartTimeout, ::testing::Values(9600u, 115200u));
