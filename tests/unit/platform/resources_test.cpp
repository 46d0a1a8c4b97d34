// The compiled resources' reader, the icon reader, and the menu, icon and
// About dialog that the program's own resources give.
#include <gtest/gtest.h>

#include "platform/linux/user32/resources.h"
#include "platform/win32.h"
#include "tests/support/headless.h"

TEST(CompiledResourcesTest, TheProgramsResourcesGiveItsMenuDialogAndIcon) {
  const std::vector<ResourceEntry>& entries = programResources();
  const ResourceEntry* menuEntry = findResource(entries, kResourceMenu, "#1000");
  ASSERT_NE(menuEntry, nullptr);
  std::vector<MenuItemResource> menu;
  ASSERT_TRUE(readMenuTemplate(*menuEntry, menu));
  ASSERT_EQ(menu.size(), 2u);
  EXPECT_EQ(menu[0].text, "&File");
  EXPECT_TRUE(menu[0].flags & MF_POPUP);
  EXPECT_EQ(menu[0].children.at(0).text, "E&xit");
  EXPECT_EQ(menu[0].children.at(0).id, 1002u);
  EXPECT_EQ(menu[1].text, "&Help");
  EXPECT_EQ(menu[1].children.at(0).text, "&About");
  EXPECT_EQ(menu[1].children.at(0).id, 1003u);
  const ResourceEntry* aboutEntry = findResource(entries, kResourceDialog, "#1004");
  ASSERT_NE(aboutEntry, nullptr);
  DialogResource about;
  ASSERT_TRUE(readDialogTemplate(*aboutEntry, about));
  EXPECT_EQ(about.caption, "About Vantrope");
  EXPECT_EQ(about.width, 230);
  EXPECT_EQ(about.height, 164);
  EXPECT_TRUE(about.style & DS_CENTER);
  ASSERT_EQ(about.controls.size(), 15u);
  EXPECT_EQ(about.controls[0].className, "BUTTON");
  EXPECT_EQ(about.controls[0].style & BS_TYPEMASK, static_cast<DWORD>(BS_DEFPUSHBUTTON));
  EXPECT_EQ(about.controls[1].className, "STATIC");
  EXPECT_EQ(about.controls[1].text, "AppIcon");
  EXPECT_EQ(about.controls[1].id, -1);
  const ResourceEntry* icon = findResource(entries, kResourceGroupIcon, "APPICON");
  ASSERT_NE(icon, nullptr);
  EXPECT_EQ(readGroupIcon(entries, *icon).size(), 2u);
}

// Every cut of a template, and of the resource file, is refused without a
// read beyond it.
TEST(CompiledResourcesTest, CutTemplatesAreRefused) {
  const std::vector<ResourceEntry>& entries = programResources();
  for (uint16_t type : {kResourceMenu, kResourceDialog}) {
    const ResourceEntry* whole =
        findResource(entries, type, type == kResourceMenu ? "#1000" : "#1004");
    ASSERT_NE(whole, nullptr);
    for (size_t keep = 0; keep < whole->size; ++keep) {
      std::vector<uint8_t> cut(whole->data, whole->data + keep);
      ResourceEntry entry{type, whole->key, cut.data(), cut.size()};
      std::vector<MenuItemResource> items;
      DialogResource dialog;
      bool read = type == kResourceMenu ? readMenuTemplate(entry, items)
                                        : readDialogTemplate(entry, dialog);
      EXPECT_FALSE(read) << "type " << type << " cut to " << keep;
    }
  }
  for (size_t keep = 1; keep < kCompiledResourcesSize; keep += 7) {
    std::vector<uint8_t> cut(kCompiledResources, kCompiledResources + keep);
    std::vector<ResourceEntry> read;
    readResourceFile(cut.data(), cut.size(), read);
    for (const ResourceEntry& entry : read)
      EXPECT_LE(entry.data + entry.size, cut.data() + cut.size()) << "cut to " << keep;
  }
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

// A 16-colour 2 x 2 icon image: top row colours 1 and 2, bottom row colour 3 and a
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
  return image;
}

}  // namespace

TEST(IconFileTest, SixteenColourImageBecomesRgbaWithItsMask) {
  auto dib = tinyIcon();
  IconImage image;
  ASSERT_TRUE(readIconImage(dib.data(), dib.size(), image));
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

TEST(IconFileTest, DamagedImagesAreRefused) {
  auto dib = tinyIcon();
  IconImage image;
  for (size_t keep : {0, 39, 40 + 64 + 4})
    EXPECT_FALSE(readIconImage(dib.data(), keep, image)) << keep;
  dib[14] = 3;  // 3 bits per pixel
  EXPECT_FALSE(readIconImage(dib.data(), dib.size(), image));
}

// ---- the program's resources as the window layer shows them ----

TEST(ProgramResourcesTest, AppIconHasItsTwoSixteenColourImages) {
  HICON icon = LoadIconA(GetModuleHandleA(nullptr), "AppIcon");
  ASSERT_NE(icon, nullptr);
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
  EXPECT_EQ(DialogBoxParamA(nullptr, MAKEINTRESOURCEA(1004), nullptr, aboutProc, 0), 11);
  headless::onDialog({});
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
