#include "picture/compositing.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sstream>

namespace {

constexpr uint8_t kCanvasValue = 0xCC;

// Source pixel (x, y) holds 16 * y + x: where it lands shows where it came from.
class BlitBitmapTest : public ::testing::Test {
 protected:
  void SetUp() override {
    createBitmap(source, 10, 10);
    for (int32_t y = 0; y < 10; ++y)
      for (int32_t x = 0; x < 10; ++x) *pixel(source, x, y) = static_cast<uint8_t>(16 * y + x);
    createBitmap(destination, 100, 100);
    clearDestination();
  }
  void clearDestination() {
    std::memset(destination.storage, kCanvasValue, destination.stride * 100);
  }
  void TearDown() override {
    releaseBitmap(source);
    releaseBitmap(destination);
  }

  static uint8_t* pixel(IndexedBitmap& b, int32_t x, int32_t y) {
    return bitmapRowAddress(b, x, b.height - 1 - y);
  }

  // Every destination pixel inside [left, right) x [top, bottom) came from
  // source (x - dx, y - dy); every one outside is untouched.
  std::string mismatches(RECT copied, int32_t dx, int32_t dy) {
    std::ostringstream out;
    for (int32_t y = 0; y < 100; ++y)
      for (int32_t x = 0; x < 100; ++x) {
        bool inside = x >= copied.left && x < copied.right && y >= copied.top && y < copied.bottom;
        int want = inside ? 16 * (y - dy) + (x - dx) : kCanvasValue;
        if (*pixel(destination, x, y) != want) out << "(" << x << "," << y << ") ";
      }
    return out.str();
  }

  IndexedBitmap source{};
  IndexedBitmap destination{};
};

std::string text(const RECT& r) {
  std::ostringstream out;
  out << "(" << r.left << "," << r.top << "," << r.right << "," << r.bottom << ")";
  return out.str();
}

TEST_F(BlitBitmapTest, ClipsToBothBitmaps) {
  struct Case {
    RECT rectangle;
    int32_t sourceX, sourceY;
    RECT clipped;
    int32_t dx, dy;  // destination minus source position of each copied pixel
  };
  const Case cases[] = {
      {{-5, -3, 5, 7}, 0, 0, {0, 0, 5, 7}, -5, -3},
      {{-5, 0, 20, 10}, 0, 0, {0, 0, 5, 10}, -5, 0},
      {{95, 0, 105, 10}, 0, 0, {95, 0, 100, 10}, 95, 0},
      {{120, 0, 130, 10}, 0, 0, {120, 0, 100, 10}, 0, 0},  // wholly outside: nothing
      {{0, 0, 10, 10}, -4, 0, {4, 0, 10, 10}, 4, 0},
      {{0, 0, 10, 10}, 0, -6, {0, 6, 10, 10}, 0, 6},
      {{10, 20, 40, 60}, 0, 0, {10, 20, 20, 30}, 10, 20},
      {{10, 20, 40, 60}, 3, 4, {10, 20, 17, 26}, 7, 16},
      {{50, 95, 60, 120}, 2, 2, {50, 95, 58, 100}, 48, 93},
      {{0, 0, 10, 10}, 10, 0, {0, 0, 0, 10}, 0, 0},  // origin beyond the source
      {{5, 5, 5, 9}, 0, 0, {5, 5, 5, 9}, 0, 0},      // empty to begin with
  };
  for (const Case& c : cases) {
    clearDestination();
    RECT r = c.rectangle;
    blitBitmap(destination, source, r, c.sourceX, c.sourceY, kOpaqueCopy);
    EXPECT_EQ(text(r), text(c.clipped))
        << text(c.rectangle) << " from " << c.sourceX << "," << c.sourceY;
    EXPECT_EQ(mismatches(c.clipped, c.dx, c.dy), "")
        << text(c.rectangle) << " from " << c.sourceX << "," << c.sourceY;
  }
}

TEST_F(BlitBitmapTest, KeyIndexLeavesItsPixelsOut) {
  struct Case {
    int32_t keyIndex;
    int32_t skipped;  // the source value left out, -1 for none
  };
  for (const Case& c :
       {Case{7, 7}, Case{0, 0}, Case{255, -1}, Case{300, -1}, Case{-1, -1}, Case{-7, -1}}) {
    clearDestination();
    RECT r{0, 0, 10, 10};
    blitBitmap(destination, source, r, 0, 0, c.keyIndex);
    for (int32_t y = 0; y < 10; ++y)
      for (int32_t x = 0; x < 10; ++x) {
        int value = 16 * y + x;
        int want = value == c.skipped ? kCanvasValue : value;
        ASSERT_EQ(*pixel(destination, x, y), want)
            << "key " << c.keyIndex << " at " << x << "," << y;
      }
  }
}

TEST(FrameRectTest, FrameOnTheScreenOrNoneWithoutStorage) {
  GifFrame frame{};
  frame.left = 10;
  frame.top = 20;
  frame.width = 30;
  frame.height = 40;
  describeBitmap(frame.bitmap, 30, 40);
  RECT r{1, 2, 3, 4};
  EXPECT_EQ(frameRect(frame, r), nullptr);
  EXPECT_EQ(text(r), "(1,2,3,4)");
  createBitmap(frame.bitmap, 30, 40);
  EXPECT_EQ(frameRect(frame, r), &frame.bitmap);
  EXPECT_EQ(text(r), "(10,20,40,60)");
  releaseBitmap(frame.bitmap);
}

}  // namespace
