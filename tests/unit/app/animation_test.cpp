// The animation as the window shows it: steps, compositing, invalidation and
// the clock.
#include <gtest/gtest.h>

#include "app/main_window.h"
#include "picture/animation_clock.h"
#include "platform/linux/winmm/timer_events.h"
#include "player_fixture.h"

namespace {

using namespace std::chrono_literals;

using AnimationTest = PlayerTest;

// Three overlapping frames, one of them partly off the canvas.
const std::vector<FramePlan> kThreeFrames = {
    {0, 0, 40, 30, 100, 2},
    {20, 10, 30, 25, 100, 4},
    {35, 20, 20, 30, 100, 6},
};

TEST_F(AnimationTest, StepsShowFramesInOrderCompositedCumulatively) {
  makeAnimation(48, 36, kThreeFrames);
  openWindow();
  const int expectedOrder[] = {0, 1, 2, 0, 1, 2, 0};
  for (size_t step = 0; step < std::size(expectedOrder); ++step) {
    if (step > 0) tick();
    int frame = expectedOrder[step];
    composite(frame);
    EXPECT_EQ(currentFrame, frame) << "step " << step;
    EXPECT_EQ(differenceFromModel(0, 0), "") << "step " << step << ", frame " << frame;
  }
}

TEST_F(AnimationTest, StepInvalidatesOnlyTheClippedFrameShiftedByTheScrollPositions) {
  struct Case {
    const char* name;
    FramePlan frame;
    int scrollX, scrollY;
    std::vector<RECT> expected;
  };
  const Case cases[] = {
      {"inside, scrolled", {10, 20, 30, 40}, 5, 7, {{5, 13, 35, 53}}},
      {"inside, not scrolled", {10, 20, 30, 40}, 0, 0, {{10, 20, 40, 60}}},
      {"cut at the right edge", {95, 0, 10, 10}, 0, 0, {{95, 0, 100, 10}}},
      {"cut at the top left", {-5, -3, 10, 10}, 0, 0, {{0, 0, 5, 7}}},
      {"wholly outside", {120, 0, 10, 10}, 0, 0, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    makeAnimation(100, 100, {{0, 0, 1, 1, 100, 8}, c.frame});
    openWindow();
    if (c.scrollX != 0 || c.scrollY != 0) {
      RECT frame;
      GetWindowRect(window, &frame);
      headless::resizeWindow(window, frame.right - frame.left - 20, frame.bottom - frame.top - 20);
      headless::scroll(window, SB_HORZ, SB_THUMBPOSITION, c.scrollX);
      headless::scroll(window, SB_VERT, SB_THUMBPOSITION, c.scrollY);
      headless::pumpMessages();
    }
    ASSERT_EQ(GetScrollPos(window, SB_HORZ), c.scrollX);
    ASSERT_EQ(GetScrollPos(window, SB_VERT), c.scrollY);
    ASSERT_TRUE(headless::updateRegion(window).empty());
    PostMessageA(window, WM_TIMER, 0, 0);
    headless::handlePosted();
    std::vector<RECT> got = headless::updateRegion(window);
    ASSERT_EQ(got.size(), c.expected.size());
    for (size_t i = 0; i < got.size(); ++i) EXPECT_EQ(describe(got[i]), describe(c.expected[i]));
    headless::pumpMessages();
    composite(0);
    composite(1);
    EXPECT_EQ(differenceFromModel(c.scrollX, c.scrollY), "");
    TearDown();
    SetUp();
  }
}

TEST_F(AnimationTest, FrameWithoutStorageHaltsTheAnimationForGood) {
  std::vector<FramePlan> frames = kThreeFrames;
  for (FramePlan& f : frames) f.delay = 1;
  frames[0].delay = 20;  // the clock is still pending when the window is open
  frames[1].storage = false;
  makeAnimation(48, 36, frames);
  openWindow();
  EXPECT_NE(clockId, 0u) << "the first step arms the clock";
  headless::pumpUntil([] { return currentFrame == 1; }, 2s);
  headless::pumpMessages();
  // Nothing is invalidated from now on: the watch stops at the first message that would.
  headless::pumpUntil([&] { return !headless::updateRegion(window).empty(); }, 150ms);
  EXPECT_EQ(currentFrame, 1);
  EXPECT_EQ(clockId, 0u);
  EXPECT_TRUE(headless::updateRegion(window).empty());
  composite(0);
  EXPECT_EQ(differenceFromModel(0, 0), "");
}

TEST_F(AnimationTest, SingleFrameIsShownOnceAndNeverArmsTheClock) {
  makeAnimation(20, 10, {{2, 3, 10, 5, 1, 4}});
  openWindow();
  EXPECT_EQ(currentFrame, 0);
  EXPECT_EQ(clockId, 0u);
  headless::pumpMessagesFor(100ms);
  EXPECT_EQ(currentFrame, 0);
  composite(0);
  EXPECT_EQ(differenceFromModel(0, 0), "");
}

TEST_F(AnimationTest, EmptyFrameListDrawsNothing) {
  makeAnimation(20, 10, {});
  openWindow();
  EXPECT_EQ(currentFrame, 0);
  EXPECT_EQ(clockId, 0u);
  EXPECT_EQ(differenceFromModel(0, 0), "");
}

TEST_F(AnimationTest, ClockMessagesFromTheTimerThreadDriveTheSteps) {
  std::vector<FramePlan> frames = kThreeFrames;
  for (FramePlan& f : frames) f.delay = 1;
  makeAnimation(48, 36, frames);
  openWindow();
  int steps = 0, last = currentFrame;
  headless::pumpUntil(
      [&] {
        if (currentFrame != last) ++steps, last = currentFrame;
        return steps >= 4;
      },
      3s);
  EXPECT_EQ(steps, 4);
  EXPECT_EQ(currentFrame, 1) << "0, 1, 2, 0, 1";
}

// A delay of 0 is shown for one hundredth (the timer device refuses 0 ms); a
// delay beyond the device's longest is armed at that longest, and without
// the device's limits a delay passes as it is.
TEST_F(AnimationTest, EveryDelayArmsTheClock) {
  for (auto [delay, armed] : {std::pair{0, 10u}, {1, 10u}, {25, 250u}, {65535, 655350u}}) {
    makeAnimation(20, 10, {{0, 0, 1, 1, delay, 4}, {0, 0, 1, 1, delay, 5}});
    openWindow();
    EXPECT_EQ(pendingEventDelay(clockId), armed) << "delay " << delay;
    TearDown();
    SetUp();
  }
  const TIMECAPS wine{1, 65535};
  struct Case {
    UINT delayMs;
    const TIMECAPS* caps;
    UINT expected;
  } cases[] = {{0, nullptr, 10}, {250, nullptr, 250}, {655350, nullptr, 655350},
               {5, &wine, 10},   {250, &wine, 250},   {655350, &wine, 65535}};
  for (const Case& c : cases)
    EXPECT_EQ(boundedDelay(c.delayMs, c.caps), c.expected)
        << c.delayMs << (c.caps ? " ms, limits known" : " ms, limits unknown");
}

TEST_F(AnimationTest, StopClockCancelsThePendingEvent) {
  makeAnimation(20, 10, {{0, 0, 1, 1, 1, 100}, {0, 0, 1, 1, 1, 100}});
  openWindow();
  UINT armed = clockId;
  ASSERT_NE(pendingEventDelay(armed), 0u);
  stopClock();
  EXPECT_EQ(clockId, 0u);
  EXPECT_EQ(pendingEventDelay(armed), 0u) << "the event is still pending";
}

TEST_F(AnimationTest, StartClockReplacesThePendingEvent) {
  makeAnimation(20, 10, {{0, 0, 1, 1, 1, 4}, {0, 0, 1, 1, 1, 5}});
  openWindow();
  UINT first = clockId;
  ASSERT_NE(first, 0u);
  UINT second = startClock(1000, window);
  EXPECT_NE(second, 0u);
  EXPECT_EQ(clockId, second);
  headless::pumpMessagesFor(100ms);
  EXPECT_EQ(currentFrame, 0) << "the replaced event never fires";
}

}  // namespace
