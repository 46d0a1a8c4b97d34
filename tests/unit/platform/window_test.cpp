// Windows, the message queue, painting, scroll bars and metrics of the
// headless window layer.
#include <atomic>
#include <thread>

#include "platform/linux/user32/window_server.h"
#include "window_fixture.h"

namespace {

RECT clientOf(HWND w) {
  headless::Pixels client = headless::clientPixels(w);
  return {0, 0, client.width, client.height};
}

bool operator==(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

std::string str(const RECT& r) {
  return "(" + std::to_string(r.left) + "," + std::to_string(r.top) + "," +
         std::to_string(r.right) + "," + std::to_string(r.bottom) + ")";
}

}  // namespace

TEST_F(WindowTest, CreationSendsNcCreateCreateAndSizeInOrder) {
  HWND w = create();
  ASSERT_NE(w, nullptr);
  auto seen = messagesSeen();
  auto at = [&](UINT m) { return std::find(seen.begin(), seen.end(), m) - seen.begin(); };
  EXPECT_LT(at(WM_NCCREATE), at(WM_CREATE));
  EXPECT_LT(at(WM_CREATE), at(WM_SIZE));
  EXPECT_EQ(count(WM_CREATE), 1u);
}

TEST_F(WindowTest, CreateStructCarriesTheCreationParameters) {
  static CREATESTRUCTA seen;
  WNDCLASSA cls{};
  cls.lpfnWndProc = [](HWND w, UINT m, WPARAM wp, LPARAM lp) -> LRESULT {
    if (m == WM_CREATE) seen = *reinterpret_cast<CREATESTRUCTA*>(lp);
    return DefWindowProcA(w, m, wp, lp);
  };
  cls.lpszClassName = "CreateStructWindow";
  ASSERT_NE(RegisterClassA(&cls), 0);
  int param = 7;
  HWND w = CreateWindowExA(0, "CreateStructWindow", "Title", WS_OVERLAPPEDWINDOW, 10, 20, 300, 200,
                           nullptr, nullptr, nullptr, &param);
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(seen.lpCreateParams, &param);
  EXPECT_EQ(seen.cx, 300);
  EXPECT_EQ(seen.cy, 200);
  EXPECT_EQ(seen.x, 10);
  EXPECT_EQ(seen.y, 20);
  EXPECT_STREQ(seen.lpszName, "Title");
}

TEST_F(WindowTest, RefusingWmCreateFailsCreation) {
  WNDCLASSA cls{};
  cls.lpfnWndProc = [](HWND w, UINT m, WPARAM wp, LPARAM lp) -> LRESULT {
    return m == WM_CREATE ? -1 : DefWindowProcA(w, m, wp, lp);
  };
  cls.lpszClassName = "RefusingWindow";
  ASSERT_NE(RegisterClassA(&cls), 0);
  EXPECT_EQ(
      CreateWindowExA(0, "RefusingWindow", "", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr),
      nullptr);
  EXPECT_EQ(
      CreateWindowExA(0, "NoSuchClass", "", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr),
      nullptr);
}

// A second registration of a name, in any case, fails and leaves the first
// one's window procedure in place.
TEST_F(WindowTest, ASecondRegistrationKeepsTheFirstClass) {
  WNDCLASSA cls{};
  cls.lpfnWndProc = [](HWND w, UINT m, WPARAM wp, LPARAM lp) -> LRESULT {
    return m == WM_CREATE ? -1 : DefWindowProcA(w, m, wp, lp);
  };
  cls.lpszClassName = "RECORDINGWINDOW";
  EXPECT_EQ(RegisterClassA(&cls), 0);
  ASSERT_NE(create(), nullptr);
  EXPECT_EQ(count(WM_CREATE), 1u);
}

TEST_F(WindowTest, OuterSizeFromMetricsGivesTheExactClientArea) {
  HWND w = create(WS_OVERLAPPEDWINDOW, 123, 77);
  ASSERT_NE(w, nullptr);
  ASSERT_FALSE(headless::menuEntries(w).empty()) << "the class's menu resource is missing";
  EXPECT_TRUE(clientOf(w) == (RECT{0, 0, 123, 77})) << str(clientOf(w));
  RECT outer;
  ASSERT_TRUE(GetWindowRect(w, &outer));
  EXPECT_EQ(outer.right - outer.left, outerWidth(123));
  EXPECT_EQ(outer.bottom - outer.top, outerHeight(77));
}

TEST_F(WindowTest, ScrollBarStylesShowBarsThatHideWithAnEmptyRange) {
  HWND w = create(WS_OVERLAPPEDWINDOW | WS_HSCROLL | WS_VSCROLL);
  ASSERT_NE(w, nullptr);
  int bar = GetSystemMetrics(SM_CXVSCROLL);
  EXPECT_TRUE(headless::scrollBarVisible(w, SB_HORZ));
  EXPECT_TRUE(clientOf(w) == (RECT{0, 0, kWidth - bar, kHeight - bar})) << str(clientOf(w));
  recorded.clear();
  SetScrollRange(w, SB_VERT, 0, 0, TRUE);
  EXPECT_FALSE(headless::scrollBarVisible(w, SB_VERT));
  EXPECT_EQ(count(WM_SIZE), 1u);
  EXPECT_EQ(recorded.back().lParam, MAKELPARAM(kWidth, kHeight - bar));
  SetScrollRange(w, SB_HORZ, 0, 0, TRUE);
  EXPECT_TRUE(clientOf(w) == (RECT{0, 0, kWidth, kHeight})) << str(clientOf(w));
  SetScrollRange(w, SB_HORZ, 0, 30, TRUE);
  EXPECT_TRUE(headless::scrollBarVisible(w, SB_HORZ));
  EXPECT_TRUE(clientOf(w) == (RECT{0, 0, kWidth, kHeight - bar})) << str(clientOf(w));
}

TEST_F(WindowTest, ScrollPositionsStayWithinTheRange) {
  HWND w = create(WS_OVERLAPPEDWINDOW | WS_HSCROLL | WS_VSCROLL);
  SetScrollRange(w, SB_HORZ, 0, 50, TRUE);
  struct Case {
    int set;
    int expectPrevious;
    int expectNow;
  } cases[] = {{10, 0, 10}, {60, 10, 50}, {-5, 50, 0}, {50, 0, 50}, {25, 50, 25}};
  for (const Case& c : cases) {
    EXPECT_EQ(SetScrollPos(w, SB_HORZ, c.set, TRUE), c.expectPrevious) << "set " << c.set;
    EXPECT_EQ(GetScrollPos(w, SB_HORZ), c.expectNow) << "set " << c.set;
  }
  SetScrollRange(w, SB_HORZ, 0, 20, TRUE);
  EXPECT_EQ(GetScrollPos(w, SB_HORZ), 20) << "a smaller range pulls the position in";
  SetScrollRange(w, SB_HORZ, 0, 0, TRUE);
  EXPECT_EQ(GetScrollPos(w, SB_HORZ), 0);
  int lo = -1, hi = -1;
  EXPECT_TRUE(GetScrollRange(w, SB_HORZ, &lo, &hi));
  EXPECT_EQ(lo, 0);
  EXPECT_EQ(hi, 0);
}

TEST_F(WindowTest, UserResizeChangesOuterAndClientSizeAndSendsWmSize) {
  HWND w = create();
  recorded.clear();
  headless::resizeWindow(w, outerWidth(50), outerHeight(40));
  EXPECT_TRUE(clientOf(w) == (RECT{0, 0, 50, 40})) << str(clientOf(w));
  ASSERT_EQ(count(WM_SIZE), 1u);
  EXPECT_EQ(recorded.back().lParam, MAKELPARAM(50, 40));
  RECT outer;
  GetWindowRect(w, &outer);
  EXPECT_EQ(outer.right - outer.left, outerWidth(50));
}

TEST_F(WindowTest, PostedMessagesArriveInOrderAndPaintComesLast) {
  HWND w = create();
  headless::pumpMessages();
  InvalidateRect(w, nullptr, FALSE);
  for (UINT i = 0; i < 5; ++i) PostMessageA(w, WM_USER + i, i, 0);
  recorded.clear();
  headless::pumpMessages();
  std::vector<UINT> expected{WM_USER, WM_USER + 1, WM_USER + 2, WM_USER + 3, WM_USER + 4, WM_PAINT};
  EXPECT_EQ(messagesSeen(), expected);
}

TEST_F(WindowTest, QuitComesAfterPostedMessagesAndBeforePaint) {
  HWND w = create();
  headless::pumpMessages();
  InvalidateRect(w, nullptr, FALSE);
  PostQuitMessage(3);
  PostMessageA(w, WM_USER, 0, 0);
  MSG msg;
  ASSERT_TRUE(GetMessageA(&msg, nullptr, 0, 0));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER));
  EXPECT_FALSE(GetMessageA(&msg, nullptr, 0, 0));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
  EXPECT_EQ(msg.wParam, 3u);
  ASSERT_TRUE(GetMessageA(&msg, nullptr, 0, 0));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_PAINT));
}

TEST_F(WindowTest, OtherThreadsPostIntoTheWindowsQueue) {
  HWND w = create();
  headless::pumpMessages();
  constexpr int kThreads = 4;
  constexpr int kEach = 200;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([=] {
      for (int i = 0; i < kEach; ++i) PostMessageA(w, WM_USER, t, i);
    });
  recorded.clear();
  int last[kThreads] = {-1, -1, -1, -1};
  MSG msg;
  for (int n = 0; n < kThreads * kEach; ++n) {
    ASSERT_TRUE(GetMessageA(&msg, nullptr, 0, 0));  // blocks until a thread posts
    ASSERT_EQ(msg.message, static_cast<UINT>(WM_USER));
    EXPECT_GT(msg.lParam, last[msg.wParam]) << "thread " << msg.wParam << " out of order";
    last[msg.wParam] = static_cast<int>(msg.lParam);
  }
  for (auto& t : threads) t.join();
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(last[t], kEach - 1);
}

TEST_F(WindowTest, GetMessageWakesWhenAnotherThreadPosts) {
  HWND w = create();
  headless::pumpMessages();
  std::thread poster([w] {
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    PostMessageA(w, WM_TIMER, 9, 0);
  });
  MSG msg;
  ASSERT_TRUE(GetMessageA(&msg, nullptr, 0, 0));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_TIMER));
  EXPECT_EQ(msg.wParam, 9u);
  poster.join();
}

// A timer event of a thread that waits for its messages is run by that
// thread, woken at its time; one of a busy thread, or of another thread,
// by the timer thread, on time all the same.
TEST_F(WindowTest, TimerEventsOfAWaitingThreadRunOnIt) {
  HWND w = create();
  headless::pumpMessages();
  static std::atomic<std::thread::id> ranOn;
  auto post = [](UINT, UINT, DWORD_PTR user, DWORD_PTR, DWORD_PTR) {
    ranOn = std::this_thread::get_id();
    PostMessageA(reinterpret_cast<HWND>(user), WM_TIMER, 0, 0);
  };
  auto user = reinterpret_cast<DWORD_PTR>(w);
  using Clock = std::chrono::steady_clock;
  MSG msg;
  for (bool busy : {false, true}) {
    auto set = Clock::now();
    ASSERT_NE(timeSetEvent(20, 1, post, user, TIME_ONESHOT), 0u);
    if (busy) std::this_thread::sleep_for(std::chrono::milliseconds(60));
    ASSERT_TRUE(GetMessageA(&msg, nullptr, 0, 0));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_TIMER));
    EXPECT_GE(Clock::now() - set, std::chrono::milliseconds(20));
    EXPECT_EQ(ranOn.load() == std::this_thread::get_id(), !busy) << "busy " << busy;
  }
  UINT own = timeSetEvent(2000, 1, post, user, TIME_ONESHOT);
  auto set = Clock::now();
  std::thread([&] { timeSetEvent(20, 1, post, user, TIME_ONESHOT); }).join();
  ASSERT_TRUE(GetMessageA(&msg, nullptr, 0, 0));
  EXPECT_LT(Clock::now() - set, std::chrono::milliseconds(1000)) << "held up by the wait's own";
  EXPECT_NE(ranOn.load(), std::this_thread::get_id());
  timeKillEvent(own);
}

TEST_F(WindowTest, PostingToADestroyedWindowFails) {
  HWND w = create();
  DestroyWindow(w);
  EXPECT_FALSE(PostMessageA(w, WM_USER, 0, 0));
  EXPECT_FALSE(IsWindow(w));
}

TEST_F(WindowTest, InvalidatedRectanglesUniteAndBoundThePaint) {
  HWND w = create();
  headless::pumpMessages();
  struct Case {
    const char* name;
    std::vector<RECT> invalidated;
    RECT expectPaint;
  } cases[] = {
      {"one", {{10, 10, 20, 20}}, {10, 10, 20, 20}},
      {"two apart", {{10, 10, 20, 20}, {50, 5, 60, 15}}, {10, 5, 60, 20}},
      {"contained", {{0, 0, 50, 50}, {10, 10, 20, 20}}, {0, 0, 50, 50}},
      {"clipped", {{-10, -10, 5, 5}, {110, 70, 200, 200}}, {0, 0, kWidth, kHeight}},
      {"outside", {{200, 200, 300, 300}}, {0, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    for (const RECT& r : c.invalidated) InvalidateRect(w, &r, FALSE);
    static PAINTSTRUCT seen;
    seen = {};
    paintWithBeginPaint = false;
    recorded.clear();
    MSG msg;
    bool painted = PeekMessageA(&msg, w, WM_PAINT, WM_PAINT, PM_REMOVE);
    if (painted) {
      BeginPaint(w, &seen);
      EndPaint(w, &seen);
    }
    EXPECT_TRUE(seen.rcPaint == c.expectPaint) << c.name << ": " << str(seen.rcPaint);
    EXPECT_TRUE(headless::updateRegion(w).empty()) << c.name;
    EXPECT_FALSE(PeekMessageA(&msg, w, WM_PAINT, WM_PAINT, PM_NOREMOVE)) << c.name;
  }
}

TEST_F(WindowTest, InvalidateRectAddsTheClippedRectangle) {
  HWND w = create();
  headless::pumpMessages();
  RECT a{-5, 2, 10, 12};
  InvalidateRect(w, &a, FALSE);
  auto region = headless::updateRegion(w);
  ASSERT_EQ(region.size(), 1u);
  EXPECT_TRUE(region[0] == (RECT{0, 2, 10, 12})) << str(region[0]);
  InvalidateRect(w, nullptr, TRUE);
  region = headless::updateRegion(w);
  ASSERT_EQ(region.size(), 1u);
  EXPECT_TRUE(region[0] == (RECT{0, 0, kWidth, kHeight})) << str(region[0]);
}

TEST_F(WindowTest, UpdateWindowPaintsAtOnceOnlyWhenSomethingIsInvalid) {
  HWND w = create();
  recorded.clear();
  UpdateWindow(w);  // a new window is wholly invalid
  EXPECT_EQ(count(WM_PAINT), 1u);
  recorded.clear();
  UpdateWindow(w);
  EXPECT_EQ(count(WM_PAINT), 0u);
}

TEST_F(WindowTest, EraseFillsOnlyTheUpdateRegionWithTheClassBrush) {
  HWND w = create();
  headless::pumpMessages();
  HDC dc = GetDC(w);
  // Paint the client black through a palette, then erase one rectangle.
  struct {
    BITMAPINFOHEADER h;
    WORD indices[256];
  } info{{40, kWidth, kHeight, 1, 8, BI_RGB, 0, 0, 0, 256, 0}, {}};
  std::vector<BYTE> black(static_cast<size_t>((kWidth + 3) & ~3) * kHeight, 0);
  StretchDIBits(dc, 0, 0, kWidth, kHeight, 0, 0, kWidth, kHeight, black.data(),
                reinterpret_cast<BITMAPINFO*>(&info), DIB_PAL_COLORS, SRCCOPY);
  ReleaseDC(w, dc);
  RECT r{5, 5, 15, 10};
  InvalidateRect(w, &r, TRUE);
  recorded.clear();
  headless::pumpMessages();
  EXPECT_EQ(count(WM_ERASEBKGND), 1u);
  auto px = headless::clientPixels(w);
  EXPECT_EQ(px.at(5, 5), 0xFFFFFFu);
  EXPECT_EQ(px.at(14, 9), 0xFFFFFFu);
  EXPECT_EQ(px.at(15, 9), 0x000000u);
  EXPECT_EQ(px.at(4, 5), 0x000000u);
}

TEST_F(WindowTest, CloseDestroysTheWindowWithWmDestroy) {
  HWND w = create();
  headless::pumpMessages();
  recorded.clear();
  headless::closeWindow(w);
  headless::pumpMessages();
  auto seen = messagesSeen();
  EXPECT_NE(std::find(seen.begin(), seen.end(), static_cast<UINT>(WM_CLOSE)), seen.end());
  EXPECT_NE(std::find(seen.begin(), seen.end(), static_cast<UINT>(WM_DESTROY)), seen.end());
  EXPECT_FALSE(IsWindow(w));
}

// A termination signal or a lost display, from another thread: the waiting
// loop wakes, the windows are destroyed as usual, and the loop ends with 0.
TEST_F(WindowTest, LostWindowsAreDestroyedAndTheLoopEndsWithZero) {
  HWND w = create();
  HWND other = create();
  headless::pumpMessages();
  recorded.clear();
  std::thread([queue = currentQueue()] { loseWindows(*queue); }).join();
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0)) DispatchMessageA(&msg);
  EXPECT_EQ(msg.wParam, 0u);
  EXPECT_EQ(count(WM_DESTROY), 2u);
  EXPECT_FALSE(IsWindow(w));
  EXPECT_FALSE(IsWindow(other));
}

TEST_F(WindowTest, UserActionsBecomeTheirMessages) {
  HWND w = create(WS_OVERLAPPEDWINDOW | WS_HSCROLL | WS_VSCROLL);
  headless::pumpMessages();
  recorded.clear();
  headless::scroll(w, SB_HORZ, SB_THUMBTRACK, 17);
  headless::scroll(w, SB_VERT, SB_LINEDOWN, 99);
  headless::chooseMenuItem(w, 1003);
  headless::pumpMessages();
  ASSERT_EQ(recorded.size(), 3u);
  EXPECT_EQ(recorded[0].message, static_cast<UINT>(WM_HSCROLL));
  EXPECT_EQ(recorded[0].wParam, MAKEWPARAM(SB_THUMBTRACK, 17));
  EXPECT_EQ(recorded[1].message, static_cast<UINT>(WM_VSCROLL));
  EXPECT_EQ(recorded[1].wParam, MAKEWPARAM(SB_LINEDOWN, 0));
  EXPECT_EQ(recorded[2].message, static_cast<UINT>(WM_COMMAND));
  EXPECT_EQ(LOWORD(recorded[2].wParam), 1003);
}

TEST_F(WindowTest, DisabledWindowsIgnoreUserInput) {
  HWND w = create();
  headless::pumpMessages();
  EnableWindow(w, FALSE);
  recorded.clear();
  headless::chooseMenuItem(w, 1002);
  headless::pumpMessages();
  EXPECT_EQ(count(WM_COMMAND), 0u);
  EXPECT_TRUE(EnableWindow(w, TRUE)) << "reports that it was disabled";
}

TEST_F(WindowTest, SendMessageFromAnotherThreadRunsOnTheWindowsThread) {
  HWND w = create();
  headless::pumpMessages();
  std::atomic<LRESULT> answer{-1};
  std::thread sender([&] { answer = SendMessageA(w, WM_NULL, 0, 0); });
  headless::pumpUntil([&] { return count(WM_NULL) > 0; }, std::chrono::seconds(5));
  sender.join();
  EXPECT_EQ(answer, 0);
  EXPECT_EQ(count(WM_NULL), 1u);
}

namespace {

// Answers WM_USER by sending WM_NULL to the window in lParam: a send back to
// the thread that is waiting for this answer.
LRESULT CALLBACK sendBackProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_USER) return SendMessageA(reinterpret_cast<HWND>(lParam), WM_NULL, 0, 0) + 5;
  if (message == WM_CLOSE) PostQuitMessage(0);
  return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

TEST_F(WindowTest, ThreadsThatSendToEachOtherServeEachOther) {
  HWND w = create();
  headless::pumpMessages();
  std::atomic<HWND> other{nullptr};
  std::thread owner([&] {
    WNDCLASSA cls{};
    cls.lpfnWndProc = sendBackProc;
    cls.lpszClassName = "SendBack";
    RegisterClassA(&cls);
    other = CreateWindowExA(0, "SendBack", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr,
                            nullptr);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
  });
  while (other == nullptr) std::this_thread::yield();
  EXPECT_EQ(SendMessageA(other, WM_USER, 0, reinterpret_cast<LPARAM>(w)), 5);
  EXPECT_EQ(count(WM_NULL), 1u);
  PostMessageA(other, WM_CLOSE, 0, 0);
  owner.join();
}
