#include "window_fixture.h"

#include <algorithm>

std::vector<RecordedMessage> WindowTest::recorded;
bool WindowTest::paintWithBeginPaint = true;

namespace {

LRESULT CALLBACK recordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  WindowTest::recorded.push_back({message, wParam, lParam});
  if (message == WM_PAINT && WindowTest::paintWithBeginPaint) {
    PAINTSTRUCT ps;
    BeginPaint(window, &ps);
    EndPaint(window, &ps);
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

void WindowTest::SetUp() {
  headless::enable();
  headless::reset();
  recorded.clear();
  paintWithBeginPaint = true;
  WNDCLASSA cls{};
  cls.lpfnWndProc = recordingProc;
  cls.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  cls.lpszClassName = "RecordingWindow";
  cls.lpszMenuName = MAKEINTRESOURCEA(1000);
  static const ATOM recordingClass = RegisterClassA(&cls);  // classes stay registered
  ASSERT_NE(recordingClass, 0);
}

void WindowTest::TearDown() { headless::reset(); }

int WindowTest::outerWidth(int width) { return width + 2 * GetSystemMetrics(SM_CXFRAME); }

int WindowTest::outerHeight(int height) {
  return height + 2 * GetSystemMetrics(SM_CYFRAME) + GetSystemMetrics(SM_CYCAPTION) +
         GetSystemMetrics(SM_CYMENU);
}

HWND WindowTest::create(DWORD style, int width, int height) {
  // The class carries the program's menu, as the main window's does.
  return CreateWindowExA(0, "RecordingWindow", "Test", style, CW_USEDEFAULT, CW_USEDEFAULT,
                         outerWidth(width), outerHeight(height), nullptr, nullptr, nullptr,
                         nullptr);
}

std::vector<UINT> WindowTest::messagesSeen() const {
  std::vector<UINT> result;
  for (const auto& m : recorded) result.push_back(m.message);
  return result;
}

size_t WindowTest::count(UINT message) const {
  return std::count_if(recorded.begin(), recorded.end(),
                       [&](const RecordedMessage& m) { return m.message == message; });
}
