// Drawing 8-bit palette-index bitmaps into a window through the selected
// palette, with the placements the main window uses.
#include <cstring>
#include <functional>
#include <string>

#include "window_fixture.h"

namespace {

// A bottom-up 8-bit bitmap whose pixel (x, y) holds (x + 10 * y) % 4, with
// the colour table of 16-bit palette indices 0..255.
struct TestBitmap {
  int width;
  int height;
  int stride;
  std::vector<BYTE> bits;
  struct {
    BITMAPINFOHEADER header;
    WORD indices[256];
  } info;

  TestBitmap(int w, int h) : width(w), height(h), stride((w + 3) & ~3) {
    bits.assign(static_cast<size_t>(stride) * h, 0);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) bits[(h - 1 - y) * stride + x] = value(x, y);
    info.header = {40, w, h, 1, 8, BI_RGB, static_cast<DWORD>(stride * h), 0, 0, 256, 0};
    for (int i = 0; i < 256; ++i) info.indices[i] = static_cast<WORD>(i);
  }
  static BYTE value(int x, int y) { return static_cast<BYTE>((x + 10 * y) % 4); }
  const BITMAPINFO* bitmapInfo() const { return reinterpret_cast<const BITMAPINFO*>(&info); }
};

const uint32_t kColours[4] = {0x102030, 0xFF0000, 0x00FF00, 0x0000FF};

HPALETTE fourColourPalette() {
  std::vector<BYTE> block(sizeof(LOGPALETTE) + 3 * sizeof(PALETTEENTRY));
  auto* log = reinterpret_cast<LOGPALETTE*>(block.data());
  log->palVersion = 0x300;
  log->palNumEntries = 4;
  for (int i = 0; i < 4; ++i)
    log->palPalEntry[i] = {static_cast<BYTE>(kColours[i] >> 16),
                           static_cast<BYTE>(kColours[i] >> 8), static_cast<BYTE>(kColours[i]), 0};
  return CreatePalette(log);
}

}  // namespace

class DrawingTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    window = create();
    headless::pumpMessages();
    palette = fourColourPalette();
  }
  void TearDown() override {
    DeleteObject(palette);
    WindowTest::TearDown();
  }
  HWND window = nullptr;
  HPALETTE palette = nullptr;
};

TEST_F(DrawingTest, BitmapLandsThroughThePaletteAtItsPlaceClippedToTheClient) {
  struct Case {
    int x;
    int y;
  } cases[] = {{0, 0}, {-10, -20}, {30, 15}, {-3, 60}, {100, -7}};
  TestBitmap bitmap(40, 30);
  for (const Case& c : cases) {
    HDC dc = GetDC(window);
    RECT all{0, 0, kWidth, kHeight};
    HBRUSH white = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    (void)white;
    InvalidateRect(window, &all, TRUE);
    headless::pumpMessages();  // erase to white
    SelectPalette(dc, palette, FALSE);
    int lines =
        StretchDIBits(dc, c.x, c.y, bitmap.width, bitmap.height, 0, 0, bitmap.width, bitmap.height,
                      bitmap.bits.data(), bitmap.bitmapInfo(), DIB_PAL_COLORS, SRCCOPY);
    ReleaseDC(window, dc);
    EXPECT_EQ(lines, bitmap.height);
    auto px = headless::clientPixels(window);
    for (int y = 0; y < px.height; ++y)
      for (int x = 0; x < px.width; ++x) {
        int bx = x - c.x;
        int by = y - c.y;
        bool inside = bx >= 0 && by >= 0 && bx < bitmap.width && by < bitmap.height;
        uint32_t expected = inside ? kColours[TestBitmap::value(bx, by)] : 0xFFFFFF;
        ASSERT_EQ(px.at(x, y), expected)
            << "placed at " << c.x << "," << c.y << ": pixel " << x << "," << y;
      }
  }
}

TEST_F(DrawingTest, PaintingDrawsOnlyInsideTheUpdateRegion) {
  TestBitmap bitmap(kWidth, kHeight);
  InvalidateRect(window, nullptr, TRUE);
  headless::pumpMessages();
  RECT r{10, 10, 20, 15};
  InvalidateRect(window, &r, FALSE);
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(window, &ps);
  SelectPalette(dc, palette, FALSE);
  StretchDIBits(dc, 0, 0, kWidth, kHeight, 0, 0, kWidth, kHeight, bitmap.bits.data(),
                bitmap.bitmapInfo(), DIB_PAL_COLORS, SRCCOPY);
  EndPaint(window, &ps);
  auto px = headless::clientPixels(window);
  EXPECT_EQ(px.at(10, 10), kColours[TestBitmap::value(10, 10)]);
  EXPECT_EQ(px.at(19, 14), kColours[TestBitmap::value(19, 14)]);
  EXPECT_EQ(px.at(20, 14), 0xFFFFFFu);
  EXPECT_EQ(px.at(9, 10), 0xFFFFFFu);
}

TEST_F(DrawingTest, IndicesPastThePalettesEndWrapAround) {
  TestBitmap bitmap(1, 1);
  bitmap.bits[0] = 6;  // entry 6 of a 4-entry palette is entry 2
  HDC dc = GetDC(window);
  SelectPalette(dc, palette, FALSE);
  StretchDIBits(dc, 0, 0, 1, 1, 0, 0, 1, 1, bitmap.bits.data(), bitmap.bitmapInfo(), DIB_PAL_COLORS,
                SRCCOPY);
  ReleaseDC(window, dc);
  EXPECT_EQ(headless::clientPixels(window).at(0, 0), kColours[2]);
}

TEST_F(DrawingTest, SelectPaletteReturnsThePreviousOneStartingWithTheDefault) {
  HDC dc = GetDC(window);
  HPALETTE first = SelectPalette(dc, palette, FALSE);
  EXPECT_EQ(first, GetStockObject(DEFAULT_PALETTE));
  EXPECT_EQ(RealizePalette(dc), 4u) << "the first realization maps every entry";
  EXPECT_EQ(RealizePalette(dc), 0u) << "nothing changes afterwards";
  EXPECT_EQ(SelectPalette(dc, first, TRUE), palette);
  EXPECT_EQ(SelectPalette(dc, nullptr, FALSE), nullptr);
  ReleaseDC(window, dc);
}

TEST_F(DrawingTest, RefusesWhatItCannotDraw) {
  TestBitmap bitmap(4, 4);
  HDC dc = GetDC(window);
  SelectPalette(dc, palette, FALSE);
  auto draw = [&](const BITMAPINFO* info, const void* bits) {
    return StretchDIBits(dc, 0, 0, 4, 4, 0, 0, 4, 4, bits, info, DIB_PAL_COLORS, SRCCOPY);
  };
  auto header = bitmap.info;
  header.header.biCompression = 1;  // run-length coded
  EXPECT_EQ(draw(reinterpret_cast<BITMAPINFO*>(&header), bitmap.bits.data()), 0);
  EXPECT_EQ(draw(bitmap.bitmapInfo(), nullptr), 0);
  EXPECT_EQ(StretchDIBits(nullptr, 0, 0, 4, 4, 0, 0, 4, 4, bitmap.bits.data(), bitmap.bitmapInfo(),
                          DIB_PAL_COLORS, SRCCOPY),
            0);
  ReleaseDC(window, dc);
}

// A handle used again after its release is refused with Win32's result and
// never touched (AddressSanitizer would report the freed object).
TEST_F(DrawingTest, StaleHandlesAreRefused) {
  struct Case {
    const char* name;
    std::function<BOOL()> releaseTwice;
  } cases[] = {
      {"CloseHandle",
       [&] {
         HANDLE file = CreateFileA("/proc/self/exe", GENERIC_READ, FILE_SHARE_READ, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
         CloseHandle(file);
         return CloseHandle(file);
       }},
      {"ReleaseDC",
       [&] {
         HDC dc = GetDC(window);
         ReleaseDC(window, dc);
         return static_cast<BOOL>(ReleaseDC(window, dc));
       }},
      {"EndPaint",
       [&] {
         PAINTSTRUCT ps;
         BeginPaint(window, &ps);
         EndPaint(window, &ps);
         return EndPaint(window, &ps);
       }},
      {"DeleteObject",
       [&] {
         HPALETTE other = fourColourPalette();
         DeleteObject(other);
         return DeleteObject(other);
       }},
      {"SelectPalette after ReleaseDC",
       [&] {
         HDC dc = GetDC(window);
         ReleaseDC(window, dc);
         return static_cast<BOOL>(SelectPalette(dc, palette, FALSE) != nullptr);
       }},
  };
  for (const Case& c : cases) EXPECT_FALSE(c.releaseTwice()) << c.name;
}
