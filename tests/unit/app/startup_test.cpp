// The run from start-up to shutdown, in process.
#include <gtest/gtest.h>

#include "app/main_window.h"
#include "app/resource.h"
#include "app/startup.h"
#include "picture/animation_clock.h"
#include "player_fixture.h"

namespace {

using StartupTest = PlayerTest;

const std::vector<FramePlan> kTwoFrames = {{0, 0, 10, 10, 100, 2}, {5, 5, 10, 10, 100, 4}};

TEST_F(StartupTest, ExitEndsTheLoopWithTheWindowStillThereAndShutdownStopsTheClock) {
  makeAnimation(20, 20, kTwoFrames);
  timeBeginPeriod(kTimerResolutionMs);
  openWindow();
  headless::chooseMenuItem(window, IDM_EXIT);
  headless::PumpResult result = headless::pumpMessages();
  EXPECT_TRUE(result.quit);
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_TRUE(IsWindow(window));
  EXPECT_NE(clockId, 0u) << "only shutdown stops the clock after Exit";
  EXPECT_EQ(shutDown(result.exitCode), 0);
  EXPECT_EQ(clockId, 0u);
  EXPECT_EQ(applicationPalette, nullptr);
  forgetAnimation();
}

TEST_F(StartupTest, ClosingTheWindowStopsTheClockAndEndsTheLoopWithZero) {
  makeAnimation(20, 20, kTwoFrames);
  openWindow();
  ASSERT_NE(clockId, 0u);
  headless::closeWindow(window);
  headless::PumpResult result = headless::pumpMessages();
  EXPECT_TRUE(result.quit);
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_FALSE(IsWindow(window));
  EXPECT_EQ(clockId, 0u);
}

TEST_F(StartupTest, MessageLoopReturnsTheQuitCode) {
  PostQuitMessage(7);
  EXPECT_EQ(runMessageLoop(), 7);
}

// The test program carries neither a picture nor a song.
TEST_F(StartupTest, ProgramWithoutPictureEndsAtOnceWithoutWindow) {
  EXPECT_EQ(runPlayer(GetModuleHandleA(nullptr), SW_SHOWNORMAL), 0);
  EXPECT_TRUE(headless::windows().empty());
  EXPECT_EQ(clockId, 0u);
}

}  // namespace
