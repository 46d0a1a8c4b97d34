#include "picture/indexed_bitmap.h"

#include <cstring>

#include "platform/global_block.h"

namespace {

// The size in bytes, or -1 when it cannot be a block of ours.
int64_t imageSize(int32_t width, int32_t height) {
  if (width < 0 || height < 0) return -1;
  int64_t size = bitmapStorageBytes(width, height);
  return size <= kLargestBlock ? size : -1;
}

}  // namespace

void describeBitmap(IndexedBitmap& bitmap, int32_t width, int32_t height) {
  bitmap.width = width;
  bitmap.height = height;
  bitmap.stride = static_cast<int32_t>(bitmapStorageBytes(width, 1));
  int64_t size = imageSize(width, height);
  BITMAPINFOHEADER& h = bitmap.header;
  h.biSize = sizeof(BITMAPINFOHEADER);
  h.biWidth = width;
  h.biHeight = height;
  h.biPlanes = 1;
  h.biBitCount = 8;
  h.biCompression = BI_RGB;
  h.biSizeImage = size >= 0 ? static_cast<DWORD>(size) : 0;
  h.biXPelsPerMeter = 0;
  h.biYPelsPerMeter = 0;
  h.biClrUsed = 256;
  h.biClrImportant = 0;
  // Entry i names palette entry i. A loop, which the compiler vectorizes: a
  // copy of 512 bytes would become a string move, slow to start, for every
  // frame of an animation of tiny frames.
  for (uint16_t i = 0; i < 256; ++i) bitmap.colourIndices[i] = i;
  bitmap.bitmapInfo = reinterpret_cast<BITMAPINFO*>(&bitmap.header);
  bitmap.ownsStorage = 0;
  bitmap.storage = nullptr;
}

// Every pixel starts as index 0, so that a frame whose image data ends early
// shows colour 0 where nothing was decoded, never what the heap held before.
// A size that does not fit the block limit, or a refused request, leaves the
// bitmap without storage: such a bitmap is never shown.
void createBitmap(IndexedBitmap& bitmap, int32_t width, int32_t height) {
  describeBitmap(bitmap, width, height);
  bitmap.ownsStorage = 1;
  int64_t size = imageSize(width, height);
  if (size < 0) return;
  bitmap.storage = static_cast<uint8_t*>(allocateZeroedBlock(static_cast<uint32_t>(size)));
}

void releaseBitmap(IndexedBitmap& bitmap) {
  if (bitmap.ownsStorage == 1 && bitmap.storage != nullptr) releaseBlock(bitmap.storage);
  bitmap.storage = nullptr;
  bitmap.ownsStorage = 0;
}

int drawBitmap(const IndexedBitmap& bitmap, HDC deviceContext, int32_t x, int32_t y) {
  return StretchDIBits(deviceContext, x, y, bitmap.width, bitmap.height, 0, 0, bitmap.width,
                       bitmap.height, bitmap.storage, bitmap.bitmapInfo, DIB_PAL_COLORS, SRCCOPY);
}
