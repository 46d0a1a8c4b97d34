#include <algorithm>
#include <cstdint>
#include <span>
#include <string>

#include "fuzz/fuzz_entries.h"
#include "fuzz/memory_file.h"
#include "gif/gif_animation.h"
#include "payload/payload_locator.h"
#include "picture/compositing.h"

namespace {

// Enough steps to show every frame and wrap to frame 0, bounded so that an
// input of many tiny frames does not slow the fuzzer to a crawl.
constexpr int32_t kMostSteps = 1000;

// One step of the player's animation without the window: the next frame,
// wrapping to 0, copied opaquely onto the canvas at its place. False where
// the player stops for good (no frame, or a frame without pixels).
bool compositeStep(int32_t& current) {
  if (++current >= animation.frameCount) current = 0;
  if (animation.frames == nullptr || current >= animation.frameCount) return false;
  GifFrame* frame = animation.frames[current];
  if (frame == nullptr) return false;
  RECT rectangle;
  IndexedBitmap* bitmap = frameRect(*frame, rectangle);
  if (bitmap == nullptr) return false;
  blitBitmap(canvas, *bitmap, rectangle, 0, 0, kOpaqueCopy);
  return true;
}

// The keyed mode and a source origin that is not (0, 0), which the player
// never asks for, with values taken from the frame: the whole canvas as the
// rectangle, the frame's middle as the origin, its delay as the key.
void keyedCopy(const GifFrame& frame) {
  if (frame.bitmap.storage == nullptr) return;
  RECT rectangle{-frame.left, -frame.top, canvas.width, canvas.height};
  blitBitmap(canvas, frame.bitmap, rectangle, frame.width / 2, frame.height / 2, frame.delay % 300);
}

void play() {
  int32_t current = -1;
  int32_t steps = std::min(animation.frameCount + 1, kMostSteps);
  for (int32_t i = 0; i < steps; ++i)
    if (!compositeStep(current)) return;
  if (animation.frameCount > 0) keyedCopy(*animation.frames[0]);
}

}  // namespace

int fuzzGifLoader(const uint8_t* data, size_t size) {
  static MemoryFile file;
  if (size > INT32_MAX) return 0;
  std::string marker = markerOf(kPictureTag);
  auto length = static_cast<uint32_t>(size);
  uint8_t field[4] = {static_cast<uint8_t>(length), static_cast<uint8_t>(length >> 8),
                      static_cast<uint8_t>(length >> 16), static_cast<uint8_t>(length >> 24)};
  file.assign({std::span(reinterpret_cast<const uint8_t*>(marker.data()), marker.size()),
               std::span(field), std::span(data, size)});
  if (loadAnimation(file.path(), kPictureTag) == 1) play();
  releasePlayerRecords();
  return 0;
}
