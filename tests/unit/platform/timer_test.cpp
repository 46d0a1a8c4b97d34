// One-shot multimedia timer events.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/win32.h"

namespace {

struct Probe {
  std::atomic<int> calls{0};
  std::atomic<UINT> id{0};
  std::atomic<bool> otherThread{false};
  std::thread::id creator = std::this_thread::get_id();
};

void CALLBACK probeCallback(UINT id, UINT, DWORD_PTR user, DWORD_PTR, DWORD_PTR) {
  auto* probe = reinterpret_cast<Probe*>(user);
  probe->id = id;
  probe->otherThread = std::this_thread::get_id() != probe->creator;
  ++probe->calls;
}

bool waitFor(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  auto end = std::chrono::steady_clock::now() + limit;
  while (!done() && std::chrono::steady_clock::now() < end)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return done();
}

}  // namespace

TEST(TimerTest, OneShotFiresOnceOnAnotherThread) {
  Probe probe;
  UINT id = timeSetEvent(5, 10, probeCallback, reinterpret_cast<DWORD_PTR>(&probe), TIME_ONESHOT);
  ASSERT_NE(id, 0u);
  ASSERT_TRUE(waitFor([&] { return probe.calls > 0; }, std::chrono::seconds(5)));
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_EQ(probe.calls, 1);
  EXPECT_EQ(probe.id, id);
  EXPECT_TRUE(probe.otherThread);
  EXPECT_EQ(timeKillEvent(id), static_cast<MMRESULT>(MMSYSERR_INVALPARAM)) << "already fired";
}

TEST(TimerTest, KillCancelsAPendingEvent) {
  Probe probe;
  UINT id = timeSetEvent(50, 10, probeCallback, reinterpret_cast<DWORD_PTR>(&probe), TIME_ONESHOT);
  ASSERT_NE(id, 0u);
  EXPECT_EQ(timeKillEvent(id), static_cast<MMRESULT>(TIMERR_NOERROR));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(probe.calls, 0);
  EXPECT_EQ(timeKillEvent(id), static_cast<MMRESULT>(MMSYSERR_INVALPARAM));
}

TEST(TimerTest, EventsFireInTheOrderOfTheirTimes) {
  std::vector<Probe> probes(3);
  UINT delays[] = {200, 20, 110};  // far apart: a busy machine wakes the test late
  for (int i = 0; i < 3; ++i)
    timeSetEvent(delays[i], 1, probeCallback, reinterpret_cast<DWORD_PTR>(&probes[i]),
                 TIME_ONESHOT);
  ASSERT_TRUE(waitFor([&] { return probes[1].calls > 0; }, std::chrono::seconds(5)));
  EXPECT_EQ(probes[0].calls + probes[2].calls, 0);
  ASSERT_TRUE(waitFor([&] { return probes[0].calls > 0; }, std::chrono::seconds(5)));
  EXPECT_EQ(probes[2].calls, 1);
}

// The device takes what Windows' takes, and refuses the rest.
TEST(TimerTest, DelaysAndPeriodsWithinTheDeviceRangeOnly) {
  TIMECAPS caps{};
  ASSERT_EQ(timeGetDevCaps(&caps, sizeof caps), static_cast<MMRESULT>(TIMERR_NOERROR));
  EXPECT_EQ(caps.wPeriodMin, 1u);
  EXPECT_EQ(caps.wPeriodMax, 1000000u);
  Probe probe;
  auto user = reinterpret_cast<DWORD_PTR>(&probe);
  struct Case {
    const char* name;
    UINT delay;
    LPTIMECALLBACK callback;
    UINT type;
    bool accepted;
  } cases[] = {
      {"no callback", 10, nullptr, TIME_ONESHOT, false},
      {"delay 0", 0, probeCallback, TIME_ONESHOT, false},
      {"delay 1", 1, probeCallback, TIME_ONESHOT, true},
      {"the longest GIF delay", 655350, probeCallback, TIME_ONESHOT, true},
      {"the longest delay", 1000000, probeCallback, TIME_ONESHOT, true},
      {"past the longest delay", 1000001, probeCallback, TIME_ONESHOT, false},
      {"event signalling", 10, probeCallback, TIME_CALLBACK_EVENT_SET, false},
  };
  for (const Case& c : cases) {
    UINT id = timeSetEvent(c.delay, 10, c.callback, user, c.type);
    EXPECT_EQ(id != 0, c.accepted) << c.name;
    if (id != 0) timeKillEvent(id);
  }
  struct Period {
    UINT period;
    MMRESULT expected;
  } periods[] = {{0, TIMERR_NOCANDO},
                 {1, TIMERR_NOERROR},
                 {10, TIMERR_NOERROR},
                 {1000000, TIMERR_NOERROR},
                 {1000001, TIMERR_NOCANDO}};
  for (const Period& p : periods) {
    EXPECT_EQ(timeBeginPeriod(p.period), p.expected) << p.period;
    EXPECT_EQ(timeEndPeriod(p.period), p.expected) << p.period;
  }
}
