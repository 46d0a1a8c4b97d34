#include "player_fixture.h"

#include <sstream>

#include "app/main_window.h"
#include "picture/animation_clock.h"
#include "picture/indexed_bitmap.h"
#include "platform/global_block.h"

namespace {

uint8_t patternAt(const FramePlan& plan, int x, int y) {
  return static_cast<uint8_t>(plan.value + (x / 3 + y) % 2);
}

void fillBitmap(IndexedBitmap& bitmap, const FramePlan& plan) {
  for (int y = 0; y < bitmap.height; ++y)
    for (int x = 0; x < bitmap.width; ++x)
      *bitmapRowAddress(bitmap, x, bitmap.height - 1 - y) = patternAt(plan, x, y);
}

// Frame records and the list come from global memory, as loading makes them,
// so that shutdown can return them.
GifFrame* makeFrame(const FramePlan& plan) {
  auto* frame = static_cast<GifFrame*>(allocateBlock(sizeof(GifFrame)));
  frame->left = plan.left;
  frame->top = plan.top;
  frame->width = plan.width;
  frame->height = plan.height;
  frame->interlaced = 0;
  frame->delay = plan.delay;
  if (plan.storage) {
    createBitmap(frame->bitmap, plan.width, plan.height);
    fillBitmap(frame->bitmap, plan);
  } else {
    describeBitmap(frame->bitmap, plan.width, plan.height);
    frame->bitmap.ownsStorage = 1;
  }
  return frame;
}

HPALETTE makePalette() {
  std::vector<uint8_t> block(sizeof(LOGPALETTE) + kPaletteSize * sizeof(PALETTEENTRY));
  auto* palette = reinterpret_cast<LOGPALETTE*>(block.data());
  palette->palVersion = 0x300;
  palette->palNumEntries = kPaletteSize;
  for (int i = 0; i < kPaletteSize; ++i) {
    uint32_t c = paletteColour(static_cast<uint8_t>(i));
    palette->palPalEntry[i] = {static_cast<BYTE>(c >> 16), static_cast<BYTE>(c >> 8),
                               static_cast<BYTE>(c), 0};
  }
  return CreatePalette(palette);
}

}  // namespace

uint32_t paletteColour(uint8_t index) {
  static const uint32_t colours[kPaletteSize] = {
      0x102030, 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0x00FFFF, 0xFF00FF, 0x808080,
      0xC04000, 0x4000C0, 0x00C040, 0x804020, 0x208040, 0x402080, 0xF0F0F0, 0x0A0B0C};
  return colours[index % kPaletteSize];
}

std::string describe(const RECT& r) {
  std::ostringstream out;
  out << "(" << r.left << ", " << r.top << ", " << r.right << ", " << r.bottom << ")";
  return out.str();
}

void PlayerTest::SetUp() {
  headless::enable();
  headless::reset();
  currentFrame = -1;
  clockId = 0;
  programInstance = GetModuleHandleA(nullptr);
}

void PlayerTest::TearDown() {
  stopClock();
  headless::reset();
  freeAnimation();
  animation = GifAnimation{};
  describeBitmap(canvas, 0, 0);
  currentFrame = -1;
}

void PlayerTest::makeAnimation(int32_t screenWidth, int32_t screenHeight,
                               const std::vector<FramePlan>& frames) {
  plans = frames;
  animation.screenWidth = screenWidth;
  animation.screenHeight = screenHeight;
  animation.palette.count = kPaletteSize;
  for (int i = 0; i < kPaletteSize; ++i) {
    uint32_t c = paletteColour(static_cast<uint8_t>(i));
    animation.palette.entries[i] = (c >> 16) | (c & 0xFF00) | (c & 0xFF) << 16;
  }
  animation.frameCapacity = static_cast<int32_t>(frames.size()) + 1;
  animation.frames =
      static_cast<GifFrame**>(allocateBlock(sizeof(GifFrame*) * animation.frameCapacity));
  animation.frameCount = static_cast<int32_t>(frames.size());
  for (size_t i = 0; i < frames.size(); ++i) animation.frames[i] = makeFrame(frames[i]);
  applicationPalette = makePalette();
  createBitmap(canvas, screenWidth, screenHeight);
  for (int32_t row = 0; row < screenHeight; ++row)
    for (int32_t x = 0; x < screenWidth; ++x) *bitmapRowAddress(canvas, x, row) = kCanvasStart;
  model.assign(static_cast<size_t>(screenWidth) * screenHeight, kCanvasStart);
}

HWND PlayerTest::openWindow() {
  HINSTANCE instance = GetModuleHandleA(nullptr);
  static const ATOM mainClass = registerMainClass(instance);  // classes stay registered
  EXPECT_NE(mainClass, 0);
  EXPECT_EQ(createMainWindow(instance, SW_SHOWNORMAL), 1);
  std::vector<HWND> windows = headless::windows();
  window = windows.empty() ? nullptr : windows.back();
  headless::pumpMessages();
  return window;
}

void PlayerTest::tick() {
  PostMessageA(window, WM_TIMER, 0, 0);
  headless::pumpMessages();
}

void PlayerTest::composite(int frameIndex) {
  const FramePlan& plan = plans[frameIndex];
  for (int y = 0; y < plan.height; ++y)
    for (int x = 0; x < plan.width; ++x) {
      int cx = plan.left + x, cy = plan.top + y;
      if (cx < 0 || cy < 0 || cx >= animation.screenWidth || cy >= animation.screenHeight) continue;
      model[static_cast<size_t>(cy) * animation.screenWidth + cx] = patternAt(plan, x, y);
    }
}

std::string PlayerTest::differenceFromModel(int scrollX, int scrollY) const {
  headless::Pixels shot = headless::clientPixels(window);
  int width = std::min(shot.width, animation.screenWidth - scrollX);
  int height = std::min(shot.height, animation.screenHeight - scrollY);
  if (width <= 0 || height <= 0) return "nothing of the canvas is visible";
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      uint8_t index = model[static_cast<size_t>(y + scrollY) * animation.screenWidth + x + scrollX];
      if (shot.at(x, y) == paletteColour(index)) continue;
      std::ostringstream out;
      out << "client pixel (" << x << ", " << y << ") is 0x" << std::hex << shot.at(x, y)
          << ", expected 0x" << paletteColour(index) << " (index " << std::dec << int(index) << ")";
      return out.str();
    }
  return "";
}

void PlayerTest::forgetAnimation() {
  animation = GifAnimation{};
  applicationPalette = nullptr;
}
