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

TEST(TimerTest, ZeroDelayFiresAsSoonAsPossible) {
  Probe probe;
  ASSERT_NE(timeSetEvent(0, 10, probeCallback, reinterpret_cast<DWORD_PTR>(&probe), TIME_ONESHOT),
            0u);
  EXPECT_TRUE(waitFor([&] { return probe.calls > 0; }, std::chrono::seconds(5)));
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
  UINT delays[] = {40, 10, 25};
  for (int i = 0; i < 3; ++i)
    timeSetEvent(delays[i], 1, probeCallback, reinterpret_cast<DWORD_PTR>(&probes[i]),
                 TIME_ONESHOT);
  ASSERT_TRUE(waitFor([&] { return probes[1].calls > 0; }, std::chrono::seconds(5)));
  EXPECT_EQ(probes[0].calls + probes[2].calls, 0);
  ASSERT_TRUE(waitFor([&] { return probes[0].calls > 0; }, std::chrono::seconds(5)));
  EXPECT_EQ(probes[2].calls, 1);
}

TEST(TimerTest, RefusedRequestsReturnZero) {
  Probe probe;
  auto user = reinterpret_cast<DWORD_PTR>(&probe);
  struct Case {
    const char* name;
    UINT delay;
    LPTIMECALLBACK callback;
    UINT type;
  } cases[] = {
      {"no callback", 10, nullptr, TIME_ONESHOT},
      {"delay past 1,000,000 ms", 1000001, probeCallback, TIME_ONESHOT},
      {"event signalling", 10, probeCallback, TIME_CALLBACK_EVENT_SET},
  };
  for (const Case& c : cases)
    EXPECT_EQ(timeSetEvent(c.delay, 10, c.callback, user, c.type), 0u) << c.name;
  UINT longest = timeSetEvent(655350, 10, probeCallback, user, TIME_ONESHOT);
  EXPECT_NE(longest, 0u) << "the longest GIF delay is accepted";
  timeKillEvent(longest);
}

TEST(TimerTest, PeriodRangeIsOneToAThousand) {
  struct Case {
    UINT period;
    MMRESULT expected;
  } cases[] = {{0, TIMERR_NOCANDO},
               {1, TIMERR_NOERROR},
               {10, TIMERR_NOERROR},
               {1000, TIMERR_NOERROR},
               {1001, TIMERR_NOCANDO}};
  for (const Case& c : cases) {
    EXPECT_EQ(timeBeginPeriod(c.period), c.expected) << c.period;
    EXPECT_EQ(timeEndPeriod(c.period), c.expected) << c.period;
  }
}

TEST(TimerTest, TimeGetTimeCountsMilliseconds) {
  DWORD before = timeGetTime();
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  DWORD elapsed = timeGetTime() - before;
  EXPECT_GE(elapsed, 19u);
  EXPECT_LT(elapsed, 1000u);
}
