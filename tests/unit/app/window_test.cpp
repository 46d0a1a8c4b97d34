// The main window: its making, scroll bars, painting, palette and About box.
#include <gtest/gtest.h>

#include <algorithm>

#include "app/main_window.h"
#include "app/resource.h"
#include "picture/animation_clock.h"
#include "player_fixture.h"

namespace {

using WindowTest = PlayerTest;

// Frames whose edges make every scroll offset look different.
const std::vector<FramePlan> kLargePicture = {
    {0, 0, 300, 300, 100, 2},
    {37, 53, 101, 67, 100, 4},
    {150, 10, 41, 200, 100, 6},
};

int createdWidth(HWND window) {
  RECT r;
  GetWindowRect(window, &r);
  return r.right - r.left;
}

int createdHeight(HWND window) {
  RECT r;
  GetWindowRect(window, &r);
  return r.bottom - r.top;
}

int rangeOf(HWND window, int bar) {
  int minimum = -1, maximum = -1;
  GetScrollRange(window, bar, &minimum, &maximum);
  EXPECT_EQ(minimum, 0);
  return maximum;
}

TEST_F(WindowTest, WindowFitsThePictureWithTitleAndMenus) {
  makeAnimation(123, 45, {{0, 0, 123, 45, 100, 2}});
  openWindow();
  EXPECT_EQ(headless::windowText(window), "Corvane Animation Player");
  headless::Pixels client = headless::clientPixels(window);
  EXPECT_EQ(client.width, 123);
  EXPECT_EQ(client.height, 45);
  EXPECT_FALSE(headless::scrollBarVisible(window, SB_HORZ));
  EXPECT_FALSE(headless::scrollBarVisible(window, SB_VERT));
  std::vector<headless::MenuEntry> menu = headless::menuEntries(window);
  ASSERT_EQ(menu.size(), 2u);
  EXPECT_EQ(menu[0].popup, "&File");
  EXPECT_EQ(menu[0].text, "E&xit");
  EXPECT_EQ(menu[0].id, 1002u);
  EXPECT_EQ(menu[1].popup, "&Help");
  EXPECT_EQ(menu[1].text, "&About");
  EXPECT_EQ(menu[1].id, 1003u);
  composite(0);
  EXPECT_EQ(differenceFromModel(0, 0), "");
}

// Win32 makes no new window larger than the largest tracking size: a
// picture larger than the screen gets scroll bars from the start.
TEST_F(WindowTest, PictureLargerThanTheScreenGetsAWindowWithinIt) {
  const int largestWidth = GetSystemMetrics(SM_CXMAXTRACK);
  const int largestHeight = GetSystemMetrics(SM_CYMAXTRACK);
  ASSERT_EQ(largestWidth, GetSystemMetrics(SM_CXSCREEN) + 4 + 2 * GetSystemMetrics(SM_CXFRAME));
  ASSERT_EQ(largestHeight, GetSystemMetrics(SM_CYSCREEN) + 4 + 2 * GetSystemMetrics(SM_CYFRAME));
  makeAnimation(1600, 1225, {{0, 0, 1600, 1225, 100, 2}});
  openWindow();
  EXPECT_EQ(createdWidth(window), largestWidth);
  EXPECT_EQ(createdHeight(window), largestHeight);
  EXPECT_TRUE(headless::scrollBarVisible(window, SB_HORZ));
  EXPECT_TRUE(headless::scrollBarVisible(window, SB_VERT));
  headless::Pixels shown = headless::clientPixels(window);
  EXPECT_LT(shown.width, largestWidth);
  EXPECT_LT(shown.height, largestHeight);
  composite(0);
  EXPECT_EQ(differenceFromModel(0, 0), "");
}

TEST_F(WindowTest, ResizingSetsBothScrollRangesWhenEitherSideIsTooSmall) {
  const int cxv = GetSystemMetrics(SM_CXVSCROLL), cyh = GetSystemMetrics(SM_CYHSCROLL);
  struct Case {
    int narrower, lower;  // how much smaller than created the window becomes
    int horizontal, vertical;
  };
  const Case cases[] = {
      {0, 0, 0, 0},
      {30, 0, 30 + cxv, cyh},
      {0, 20, cxv, 20 + cyh},
      {30, 20, 30 + cxv, 20 + cyh},
      {1, 0, 1 + cxv, cyh},
      {-10, -10, 0, 0},
      {30, -cyh - 40, 30 + cxv, 0},
      {-cxv - 40, 25, 0, 25 + cyh},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "narrower by " << c.narrower << ", lower by " << c.lower);
    makeAnimation(100, 80, {{0, 0, 100, 80, 100, 2}});
    openWindow();
    headless::resizeWindow(window, createdWidth(window) - c.narrower,
                           createdHeight(window) - c.lower);
    headless::pumpMessages();
    EXPECT_EQ(rangeOf(window, SB_HORZ), c.horizontal);
    EXPECT_EQ(rangeOf(window, SB_VERT), c.vertical);
    EXPECT_EQ(headless::scrollBarVisible(window, SB_HORZ), c.horizontal > 0);
    EXPECT_EQ(headless::scrollBarVisible(window, SB_VERT), c.vertical > 0);
    TearDown();
    SetUp();
  }
}

TEST_F(WindowTest, ShrinkingARangeBringsThePositionBackIntoIt) {
  makeAnimation(100, 80, {{0, 0, 100, 80, 100, 2}});
  openWindow();
  composite(0);
  const int width = createdWidth(window), height = createdHeight(window);
  headless::resizeWindow(window, width - 50, height - 40);
  headless::scroll(window, SB_HORZ, SB_BOTTOM);
  headless::scroll(window, SB_VERT, SB_BOTTOM);
  headless::pumpMessages();
  EXPECT_EQ(GetScrollPos(window, SB_HORZ), 50 + GetSystemMetrics(SM_CXVSCROLL));

  headless::resizeWindow(window, width - 10, height - 40);
  headless::pumpMessages();
  EXPECT_EQ(GetScrollPos(window, SB_HORZ), 10 + GetSystemMetrics(SM_CXVSCROLL));
  EXPECT_EQ(GetScrollPos(window, SB_VERT), 40 + GetSystemMetrics(SM_CYHSCROLL));

  headless::resizeWindow(window, width, height);
  headless::pumpMessages();
  EXPECT_EQ(GetScrollPos(window, SB_HORZ), 0);
  EXPECT_EQ(GetScrollPos(window, SB_VERT), 0);
  EXPECT_FALSE(headless::scrollBarVisible(window, SB_HORZ));
  EXPECT_FALSE(headless::scrollBarVisible(window, SB_VERT));
  EXPECT_EQ(differenceFromModel(0, 0), "");
}

TEST_F(WindowTest, ScrollRequestsMoveThePositionAndRepaintAtMinusIt) {
  struct Case {
    const char* name;
    int code;
    int start;  // < 0: counted back from the end of the range
    int thumb;
    int expected;  // < 0: counted back from the end of the range
    bool moves;
  };
  const Case cases[] = {
      {"line down", SB_LINEDOWN, 0, 0, 10, true},
      {"line up", SB_LINEUP, 25, 0, 15, true},
      {"line up near the start", SB_LINEUP, 5, 0, 0, true},
      {"line down at the end", SB_LINEDOWN, -1, 0, -1, true},
      {"page down", SB_PAGEDOWN, 0, 0, 100, true},
      {"page up", SB_PAGEUP, 150, 0, 50, true},
      {"page up near the start", SB_PAGEUP, 30, 0, 0, true},
      {"page down near the end", SB_PAGEDOWN, -51, 0, -1, true},
      {"thumb released", SB_THUMBPOSITION, 20, 77, 77, true},
      {"thumb dragged", SB_THUMBTRACK, 20, 77, 20, false},
      {"top", SB_TOP, 120, 0, 0, true},
      {"bottom", SB_BOTTOM, 0, 0, -1, true},
      {"end of scrolling", SB_ENDSCROLL, 40, 0, 40, false},
  };
  makeAnimation(300, 300, kLargePicture);
  openWindow();
  tick();
  tick();
  composite(0);
  composite(1);
  composite(2);
  headless::resizeWindow(window, createdWidth(window) - 200, createdHeight(window) - 200);
  headless::pumpMessages();
  for (int bar : {SB_HORZ, SB_VERT}) {
    const int end = rangeOf(window, bar);
    ASSERT_GT(end, 150);
    auto resolve = [end](int value) { return value < 0 ? end + 1 + value : value; };
    for (const Case& c : cases) {
      SCOPED_TRACE(testing::Message() << (bar == SB_HORZ ? "horizontal " : "vertical ") << c.name);
      headless::scroll(window, bar, SB_THUMBPOSITION, resolve(c.start));
      headless::pumpMessages();
      ASSERT_EQ(GetScrollPos(window, bar), resolve(c.start));
      headless::scroll(window, bar, c.code, c.thumb);
      headless::handlePosted();
      EXPECT_EQ(GetScrollPos(window, bar), resolve(c.expected));
      EXPECT_EQ(headless::updateRegion(window).size(), c.moves ? 1u : 0u);
      headless::pumpMessages();
      EXPECT_EQ(differenceFromModel(GetScrollPos(window, SB_HORZ), GetScrollPos(window, SB_VERT)),
                "");
    }
  }
}

TEST_F(WindowTest, PaletteMessagesRequestNoRepaint) {
  makeAnimation(20, 10, {{0, 0, 20, 10, 100, 2}});
  openWindow();
  ASSERT_TRUE(headless::updateRegion(window).empty());
  SendMessageA(window, WM_QUERYNEWPALETTE, 0, 0);
  EXPECT_EQ(SendMessageA(window, WM_PALETTECHANGED, reinterpret_cast<WPARAM>(window), 0), 0);
  headless::handlePosted();
  EXPECT_TRUE(headless::updateRegion(window).empty());
  composite(0);
  EXPECT_EQ(differenceFromModel(0, 0), "");
}

TEST_F(WindowTest, AboutMenuItemShowsTheBoxWithItsTexts) {
  makeAnimation(20, 10, {{0, 0, 20, 10, 100, 2}});
  openWindow();
  // How the box closes (Ok, Escape, the close box) is the dialog's own
  // behaviour, tested with the program's resources.
  {
    int shown = 0;
    std::vector<headless::Control> controls;
    std::string caption;
    headless::onDialog([&](HWND dialog) {
      ++shown;
      caption = headless::windowText(dialog);
      controls = headless::dialogControls(dialog);
      headless::clickButton(dialog, IDOK);
    });
    headless::chooseMenuItem(window, IDM_ABOUT);
    headless::PumpResult result = headless::pumpMessages();
    headless::onDialog({});
    EXPECT_EQ(shown, 1);
    EXPECT_FALSE(result.quit);
    EXPECT_TRUE(IsWindow(window));
    EXPECT_EQ(caption, "About Vantrope");
    std::vector<std::string> texts;
    for (const headless::Control& control : controls) texts.push_back(control.text);
    for (const char* text :
         {"Ok", "Vantrope", "Version 1.0, Release A",
          "World Wide Web:", "Sales Inquiry E-Mail:", "Tech. Support E-Mail:",
          "This animation was created with Vantrope by Corvane.  Please vist our website for "
          "more information on Vantrope and the Corvane Internet Animation Library!"})
      EXPECT_NE(std::find(texts.begin(), texts.end(), text), texts.end()) << text;
    ASSERT_FALSE(controls.empty());
    EXPECT_EQ(controls.front().id, IDOK);
    EXPECT_EQ(controls.size(), 15u);
  }
}

TEST_F(WindowTest, OtherCommandsGoToTheDefaultProcedure) {
  makeAnimation(20, 10, {{0, 0, 20, 10, 100, 2}});
  openWindow();
  headless::chooseMenuItem(window, 1001);
  headless::PumpResult result = headless::pumpMessages();
  EXPECT_FALSE(result.quit);
  EXPECT_TRUE(IsWindow(window));
}

}  // namespace
