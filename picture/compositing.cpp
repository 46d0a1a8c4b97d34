#include "picture/compositing.h"

#include <cstring>

namespace {

// The clipped area: destination rectangle and source origin. Worked out in
// 64 bits so that no coordinate can overflow on the way.
struct Area {
  int64_t left, top, right, bottom, sourceX, sourceY;
};

// Clips in this order: to the destination's top-left, to its bottom-right,
// to the source's top-left, to the source's bottom-right.
void clip(Area& a, const IndexedBitmap& destination, const IndexedBitmap& source) {
  if (a.left < 0) a.sourceX -= a.left, a.left = 0;
  if (a.top < 0) a.sourceY -= a.top, a.top = 0;
  if (a.right > destination.width) a.right = destination.width;
  if (a.bottom > destination.height) a.bottom = destination.height;
  if (a.sourceX < 0) a.left -= a.sourceX, a.sourceX = 0;
  if (a.sourceY < 0) a.top -= a.sourceY, a.sourceY = 0;
  if (a.right - a.left + a.sourceX > source.width) a.right = a.left - a.sourceX + source.width;
  if (a.bottom - a.top + a.sourceY > source.height) a.bottom = a.top - a.sourceY + source.height;
}

void copyKeyed(uint8_t* to, const uint8_t* from, int32_t count, uint8_t key) {
  for (int32_t x = 0; x < count; ++x)
    if (from[x] != key) to[x] = from[x];
}

}  // namespace

void blitBitmap(IndexedBitmap& destination, const IndexedBitmap& source, RECT& rectangle,
                int32_t sourceX, int32_t sourceY, int32_t keyIndex) {
  Area a{rectangle.left, rectangle.top, rectangle.right, rectangle.bottom, sourceX, sourceY};
  clip(a, destination, source);
  rectangle = {static_cast<LONG>(a.left), static_cast<LONG>(a.top), static_cast<LONG>(a.right),
               static_cast<LONG>(a.bottom)};
  if (a.right <= a.left || a.bottom <= a.top) return;
  if (destination.storage == nullptr || source.storage == nullptr) return;
  auto w = static_cast<int32_t>(a.right - a.left);
  auto h = static_cast<int32_t>(a.bottom - a.top);
  auto left = static_cast<int32_t>(a.left);
  auto top = static_cast<int32_t>(a.top);
  auto sx = static_cast<int32_t>(a.sourceX);
  auto sy = static_cast<int32_t>(a.sourceY);
  bool keyed = keyIndex >= 0 && keyIndex <= 255;
  for (int32_t i = 0; i < h; ++i) {
    uint8_t* to = bitmapRowAddress(destination, left, destination.height - top - i - 1);
    const uint8_t* from = bitmapRowAddress(source, sx, source.height - sy - i - 1);
    if (keyed)
      copyKeyed(to, from, w, static_cast<uint8_t>(keyIndex));
    else
      std::memcpy(to, from, w);
  }
}

IndexedBitmap* frameRect(GifFrame& frame, RECT& rectangle) {
  if (frame.bitmap.storage == nullptr) return nullptr;
  rectangle = {frame.left, frame.top, frame.left + frame.width, frame.top + frame.height};
  return &frame.bitmap;
}
