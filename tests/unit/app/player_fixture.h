// A player in memory for the window tests: an animation built from frame
// descriptions, its canvas and palette, and the main window run by the
// headless window layer. A model of the canvas says what the client area
// must show.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "gif/gif_animation.h"
#include "platform/win32.h"
#include "tests/support/headless.h"

// A frame of the test animation. Its pixel (x, y) is value + ((x / 3 + y) % 2),
// a pattern that shows any shift, flip or stretch.
struct FramePlan {
  int32_t left, top, width, height;
  int32_t delay = 100;
  uint8_t value = 2;
  bool storage = true;
};

// The canvas starts as this index all over, so that the model knows it.
inline constexpr uint8_t kCanvasStart = 0;
inline constexpr int kPaletteSize = 16;

uint32_t paletteColour(uint8_t index);

class PlayerTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Fills the animation records (as loading does), the canvas and the palette.
  void makeAnimation(int32_t screenWidth, int32_t screenHeight,
                     const std::vector<FramePlan>& frames);
  // Registers the class and creates the main window; handles what is queued.
  HWND openWindow();
  // Runs one step as the clock's message does.
  void tick();
  // The model: frame index composited onto the canvas.
  void composite(int frameIndex);
  // Compares the client area with the model drawn at minus (scrollX, scrollY);
  // returns a description of the first difference, or "" when they agree.
  std::string differenceFromModel(int scrollX, int scrollY) const;
  // The frame records and palette are released by shutdown: forget them.
  void forgetAnimation();

  HWND window = nullptr;
  std::vector<FramePlan> plans;
  std::vector<uint8_t> model;  // canvas indices, picture rows from the top
};

std::string describe(const RECT& r);
