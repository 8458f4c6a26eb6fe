// What this machine itself costs, with no relay: the floor under every relay figure, measured in
// the same run so a goal can be read against it.
#pragma once
#include <chrono>
#include <vector>

namespace relaybench {

// How late a bare thread wakes from a sleep to a deadline, `count` deadlines `spacing` apart, in
// microseconds, sorted.
std::vector<double> TimerLateness(int count, std::chrono::microseconds spacing);

// Two bare threads wake each other `roundTrips` times over pipes, each sleeping until the other
// writes: the wake-ups they made, and the CPU both used for them.
struct WakeupCost {
  long long wakeups = 0;  // voluntary context switches of both threads
  double cpuSeconds = 0;
};
WakeupCost PingPong(int roundTrips);

}  // namespace relaybench
