// The resource script reader, the icon reader, and the menu, icon and About
// dialog that the program's own resources give.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "platform/linux/headless.h"
#include "platform/linux/icon_file.h"
#include "platform/linux/resource_script.h"
#include "platform/win32.h"

namespace {

std::optional<std::string> noIncludes(const std::string&) { return std::nullopt; }

ResourceScript parse(const std::string& text) {
  ResourceScript script;
  std::string error;
  EXPECT_TRUE(parseResourceScript(text, noIncludes, script, &error)) << error;
  return script;
}

std::string readSource(const std::string& relative) {
  std::ifstream in(std::string(GIFPLAY_SOURCE_DIR) + "/" + relative);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

const char kSmallScript[] = R"(
#include <windows.h>
#define IDM_OPEN 101
#define IDD_BOX 7
#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
#if 0
this is never read
#endif
// a comment
Main ICON DISCARDABLE "main.ico"
1 MENU
BEGIN
  POPUP "&File"
  BEGIN
    MENUITEM "&Open\tCtrl+O", IDM_OPEN
    MENUITEM SEPARATOR
    MENUITEM "E&xit", IDM_OPEN + 1, GRAYED
  END
END
IDD_BOX DIALOGEX 10, 20, 100, 50
STYLE DS_MODALFRAME | WS_POPUP | WS_SYSMENU | DS_CENTER
EXSTYLE WS_EX_TOOLWINDOW
CAPTION "Say ""hi"""
FONT 8, "MS Sans Serif", 0, 0, 0x1
BEGIN
  DEFPUSHBUTTON "Ok", IDOK, 40, 30, 50, 14
  RTEXT "Right", IDC_STATIC, 1, 2, 3, 4, NOT WS_GROUP
  ICON Main, IDC_STATIC, 4, 9
  CONTROL "Box", 12, "Button", BS_GROUPBOX | WS_GROUP, 5, 6, 7, 8, WS_EX_STATICEDGE
  EDITTEXT 13, 1, 1, 20, 10, ES_AUTOHSCROLL
END
STRINGTABLE
BEGIN
  1 "skipped"
END
)";

}  // namespace

TEST(ResourceScriptTest, ReadsMenusWithTheirItemsAndOptions) {
  ResourceScript script = parse(kSmallScript);
  const MenuResource* menu = script.findMenu(resourceKey(MAKEINTRESOURCEA(1)));
  ASSERT_NE(menu, nullptr);
  ASSERT_EQ(menu->items.size(), 1u);
  const MenuItemResource& file = menu->items[0];
  EXPECT_EQ(file.text, "&File");
  EXPECT_TRUE(file.flags & MF_POPUP);
  ASSERT_EQ(file.children.size(), 3u);
  EXPECT_EQ(file.children[0].text, "&Open\tCtrl+O");
  EXPECT_EQ(file.children[0].id, 101u);
  EXPECT_TRUE(file.children[1].flags & MF_SEPARATOR);
  EXPECT_EQ(file.children[2].id, 102u);
  EXPECT_TRUE(file.children[2].flags & MF_GRAYED);
}

TEST(ResourceScriptTest, ReadsDialogsWithStylesFontAndControls) {
  ResourceScript script = parse(kSmallScript);
  const DialogResource* d = script.findDialog("#7");
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->caption, "Say \"hi\"");
  EXPECT_EQ(d->fontName, "MS Sans Serif");
  EXPECT_EQ(d->fontSize, 8);
  EXPECT_EQ(d->style, static_cast<DWORD>(DS_MODALFRAME | WS_POPUP | WS_SYSMENU | DS_CENTER |
                                         WS_CAPTION | DS_SETFONT));
  EXPECT_EQ(d->exStyle, static_cast<DWORD>(WS_EX_TOOLWINDOW));
  EXPECT_EQ(d->width, 100);
  ASSERT_EQ(d->controls.size(), 5u);
  struct Expect {
    const char* className;
    const char* text;
    int id;
    DWORD style;
    int x, y, w, h;
  } expected[] = {
      {"BUTTON", "Ok", IDOK, BS_DEFPUSHBUTTON | WS_TABSTOP | WS_CHILD | WS_VISIBLE, 40, 30, 50, 14},
      {"STATIC", "Right", -1, SS_RIGHT | WS_CHILD | WS_VISIBLE, 1, 2, 3, 4},
      {"STATIC", "Main", -1, SS_ICON | WS_CHILD | WS_VISIBLE, 4, 9, 0, 0},
      {"BUTTON", "Box", 12, BS_GROUPBOX | WS_GROUP | WS_CHILD | WS_VISIBLE, 5, 6, 7, 8},
      {"EDIT", "", 13, ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP | WS_CHILD | WS_VISIBLE, 1, 1, 20,
       10},
  };
  for (size_t i = 0; i < d->controls.size(); ++i) {
    const ControlResource& c = d->controls[i];
    const Expect& e = expected[i];
    EXPECT_EQ(c.className, e.className) << "control " << i;
    EXPECT_EQ(c.text, e.text) << "control " << i;
    EXPECT_EQ(c.id, e.id) << "control " << i;
    EXPECT_EQ(c.style, e.style) << "control " << i;
    EXPECT_EQ(c.x, e.x) << "control " << i;
    EXPECT_EQ(c.y, e.y) << "control " << i;
    EXPECT_EQ(c.width, e.w) << "control " << i;
    EXPECT_EQ(c.height, e.h) << "control " << i;
  }
  EXPECT_EQ(d->controls[3].exStyle, static_cast<DWORD>(WS_EX_STATICEDGE));
}

TEST(ResourceScriptTest, ReadsIconsByName) {
  ResourceScript script = parse(kSmallScript);
  const IconResource* icon = script.findIcon(resourceKey("main"));
  ASSERT_NE(icon, nullptr);
  EXPECT_EQ(icon->fileName, "main.ico");
}

TEST(ResourceScriptTest, ReportsTheLineOfAnError) {
  struct Case {
    const char* name;
    const char* text;
  } cases[] = {
      {"unknown identifier", "1 MENU\nBEGIN\n MENUITEM \"x\", NOPE\nEND\n"},
      {"missing END", "1 MENU\nBEGIN\n MENUITEM \"x\", 1\n"},
      {"unterminated string", "1 ICON \"x.ico\n"},
      {"unbalanced #if", "#ifdef X\n1 ICON \"x.ico\"\n"},
  };
  for (const Case& c : cases) {
    ResourceScript script;
    std::string error;
    EXPECT_FALSE(parseResourceScript(c.text, noIncludes, script, &error)) << c.name;
    EXPECT_FALSE(error.empty()) << c.name;
  }
}

TEST(ResourceScriptTest, TheProgramsScriptGivesItsMenuDialogAndIcon) {
  std::string text = readSource("app/gifplay.rc");
  if (text.empty()) GTEST_SKIP() << "app/gifplay.rc is not there";
  auto include = [](const std::string& name) -> std::optional<std::string> {
    if (name != "resource.h") return std::nullopt;
    return readSource("app/resource.h");
  };
  ResourceScript script;
  std::string error;
  ASSERT_TRUE(parseResourceScript(text, include, script, &error)) << error;
  const MenuResource* menu = script.findMenu("#1000");
  ASSERT_NE(menu, nullptr);
  ASSERT_EQ(menu->items.size(), 2u);
  EXPECT_EQ(menu->items[0].text, "&File");
  EXPECT_EQ(menu->items[0].children.at(0).text, "E&xit");
  EXPECT_EQ(menu->items[0].children.at(0).id, 1002u);
  EXPECT_EQ(menu->items[1].text, "&Help");
  EXPECT_EQ(menu->items[1].children.at(0).text, "&About");
  EXPECT_EQ(menu->items[1].children.at(0).id, 1003u);
  const DialogResource* about = script.findDialog("#1004");
  ASSERT_NE(about, nullptr);
  EXPECT_EQ(about->caption, "About Vantrope");
  EXPECT_EQ(about->width, 230);
  EXPECT_EQ(about->height, 164);
  EXPECT_EQ(about->fontName, "MS Sans Serif");
  EXPECT_TRUE(about->style & DS_CENTER);
  EXPECT_EQ(about->controls.size(), 15u);
  ASSERT_NE(script.findIcon("APPICON"), nullptr);
}

// ---- icons ----

namespace {

void put16(std::vector<uint8_t>& b, uint16_t v) {
  b.push_back(v & 0xFF);
  b.push_back(v >> 8);
}
void put32(std::vector<uint8_t>& b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back((v >> (8 * i)) & 0xFF);
}

// A 16-colour 2 x 2 icon: top row colours 1 and 2, bottom row colour 3 and a
// transparent pixel (mask bit set).
std::vector<uint8_t> tinyIcon() {
  std::vector<uint8_t> image;
  put32(image, 40);
  put32(image, 2);
  put32(image, 4);  // colour rows + mask rows
  put16(image, 1);
  put16(image, 4);
  for (int i = 0; i < 6; ++i) put32(image, 0);
  for (int i = 0; i < 16; ++i) {
    image.push_back(static_cast<uint8_t>(i * 16));   // blue
    image.push_back(static_cast<uint8_t>(i));        // green
    image.push_back(static_cast<uint8_t>(255 - i));  // red
    image.push_back(0);
  }
  // colour rows bottom-up, 4 bytes each: bottom (3, 0), top (1, 2)
  uint8_t rows[] = {0x30, 0, 0, 0, 0x12, 0, 0, 0};
  image.insert(image.end(), std::begin(rows), std::end(rows));
  // mask rows bottom-up: bottom right transparent
  uint8_t mask[] = {0x40, 0, 0, 0, 0x00, 0, 0, 0};
  image.insert(image.end(), std::begin(mask), std::end(mask));
  std::vector<uint8_t> file;
  put16(file, 0);
  put16(file, 1);
  put16(file, 1);
  file.insert(file.end(), {2, 2, 16, 0});
  put16(file, 1);
  put16(file, 4);
  put32(file, static_cast<uint32_t>(image.size()));
  put32(file, 22);
  file.insert(file.end(), image.begin(), image.end());
  return file;
}

}  // namespace

TEST(IconFileTest, SixteenColourImageBecomesRgbaWithItsMask) {
  auto file = tinyIcon();
  auto images = readIconFile(file.data(), file.size());
  ASSERT_EQ(images.size(), 1u);
  const IconImage& image = images[0];
  EXPECT_EQ(image.width, 2);
  EXPECT_EQ(image.height, 2);
  auto pixel = [&](int x, int y) {
    const uint8_t* p = &image.rgba[(y * 2 + x) * 4];
    return std::vector<int>{p[0], p[1], p[2], p[3]};
  };
  EXPECT_EQ(pixel(0, 0), (std::vector<int>{254, 1, 16, 255}));
  EXPECT_EQ(pixel(1, 0), (std::vector<int>{253, 2, 32, 255}));
  EXPECT_EQ(pixel(0, 1), (std::vector<int>{252, 3, 48, 255}));
  EXPECT_EQ(pixel(1, 1)[3], 0);
}

TEST(IconFileTest, DamagedFilesGiveNoImages) {
  auto file = tinyIcon();
  struct Case {
    const char* name;
    size_t keep;
  } cases[] = {{"empty", 0}, {"header only", 6}, {"directory only", 22}, {"cut image", 60}};
  for (const Case& c : cases) EXPECT_TRUE(readIconFile(file.data(), c.keep).empty()) << c.name;
  file[2] = 2;  // a cursor file
  EXPECT_TRUE(readIconFile(file.data(), file.size()).empty());
}

// ---- the program's resources as the window layer shows them ----

TEST(ProgramResourcesTest, AppIconHasItsTwoSixteenColourImages) {
  HICON icon = LoadIconA(GetModuleHandleA(nullptr), "AppIcon");
  if (icon == nullptr) GTEST_SKIP() << "the build embedded no icon";
  EXPECT_EQ(LoadIconA(GetModuleHandleA(nullptr), "APPICON"), icon) << "names ignore case";
  EXPECT_EQ(LoadIconA(GetModuleHandleA(nullptr), "NoSuchIcon"), nullptr);
  EXPECT_NE(LoadCursorA(nullptr, IDC_ARROW), nullptr);
}

namespace {

INT_PTR CALLBACK aboutProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_INITDIALOG) return TRUE;
  if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
    EndDialog(dialog, LOWORD(wParam) == IDOK ? 11 : 22);
    return TRUE;
  }
  return FALSE;
}

HWND ownerWindow() {
  WNDCLASSA cls{};
  cls.lpfnWndProc = DefWindowProcA;
  cls.lpszClassName = "AboutOwner";
  RegisterClassA(&cls);
  return CreateWindowExA(0, "AboutOwner", "", WS_OVERLAPPEDWINDOW, 0, 0, 200, 200, nullptr, nullptr,
                         nullptr, nullptr);
}

}  // namespace

TEST(ProgramResourcesTest, AboutBoxRunsModallyUntilItsButtonOrEscape) {
  headless::enable();
  headless::reset();
  HWND owner = ownerWindow();
  struct Case {
    const char* name;
    std::function<void(HWND)> act;
    INT_PTR expected;
  } cases[] = {
      {"Ok button", [](HWND d) { headless::clickButton(d, IDOK); }, 11},
      {"Escape", [](HWND d) { headless::pressEscape(d); }, 22},
      {"close box", [](HWND d) { headless::closeWindow(d); }, 22},
  };
  for (const Case& c : cases) {
    bool ownerDisabled = false;
    std::string title;
    headless::onDialog([&](HWND dialog) {
      ownerDisabled = !IsWindowEnabled(owner);
      title = headless::windowText(dialog);
      c.act(dialog);
    });
    INT_PTR result = DialogBoxParamA(nullptr, MAKEINTRESOURCEA(1004), owner, aboutProc, 0);
    if (result == -1) GTEST_SKIP() << "the build embedded no dialog 1004";
    EXPECT_EQ(result, c.expected) << c.name;
    EXPECT_TRUE(ownerDisabled) << c.name;
    EXPECT_TRUE(IsWindowEnabled(owner)) << c.name;
    EXPECT_EQ(title, "About Vantrope") << c.name;
  }
  headless::onDialog({});
  headless::reset();
}

TEST(ProgramResourcesTest, AboutBoxControlsSitAtTheirDialogUnitPlaces) {
  headless::enable();
  headless::reset();
  std::vector<headless::Control> controls;
  headless::onDialog([&](HWND dialog) {
    controls = headless::dialogControls(dialog);
    headless::clickButton(dialog, IDOK);
  });
  INT_PTR result = DialogBoxParamA(nullptr, MAKEINTRESOURCEA(1004), nullptr, aboutProc, 0);
  headless::onDialog({});
  if (result == -1) GTEST_SKIP() << "the build embedded no dialog 1004";
  ASSERT_EQ(controls.size(), 15u);
  // 6 x 13 base units: x = units * 6 / 4, y = units * 13 / 8.
  EXPECT_EQ(controls[0].text, "Ok");
  EXPECT_EQ(controls[0].rect.left, 255);
  EXPECT_EQ(controls[0].rect.top, 239);
  EXPECT_EQ(controls[0].rect.right, 330);
  EXPECT_EQ(controls[1].rect.right - controls[1].rect.left, 32) << "icons take their own size";
  EXPECT_EQ(controls[7].style & SS_TYPEMASK, static_cast<DWORD>(SS_RIGHT));
  headless::reset();
}
