// A headless window of a test class whose procedure records every message.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "platform/win32.h"
#include "tests/support/headless.h"

struct RecordedMessage {
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
};

class WindowTest : public ::testing::Test {
 protected:
  static constexpr int kWidth = 120;
  static constexpr int kHeight = 80;

  void SetUp() override;
  void TearDown() override;

  // Outer size whose client area is width x height for WS_OVERLAPPEDWINDOW
  // with a menu.
  static int outerWidth(int width);
  static int outerHeight(int height);

  HWND create(DWORD style = WS_OVERLAPPEDWINDOW, int width = kWidth, int height = kHeight);
  std::vector<UINT> messagesSeen() const;
  size_t count(UINT message) const;

 public:
  static std::vector<RecordedMessage> recorded;
  static bool paintWithBeginPaint;
};
