// The one picture type: 8 bits per pixel, palette-indexed, rows padded to a
// multiple of 4 bytes and stored bottom-up, carrying the description that
// StretchDIBits reads with DIB_PAL_COLORS.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/win32.h"

struct IndexedBitmap {
  int32_t width;
  int32_t height;
  int32_t stride;
  BITMAPINFOHEADER header;
  uint16_t colourIndices[256];  // entry i holds i
  BITMAPINFO* bitmapInfo;       // designates this record's own header
  int32_t ownsStorage;
  uint8_t* storage;
};

// header and colourIndices together form the BITMAPINFO handed to drawing.
static_assert(offsetof(IndexedBitmap, colourIndices) ==
              offsetof(IndexedBitmap, header) + sizeof(BITMAPINFOHEADER));

// The bytes of pixel storage a width x height bitmap takes: its rows padded
// to a multiple of 4 bytes. Not checked against any limit.
inline int64_t bitmapStorageBytes(int32_t width, int32_t height) {
  return ((static_cast<int64_t>(width) + 3) & ~int64_t{3}) * height;
}

void describeBitmap(IndexedBitmap& bitmap, int32_t width, int32_t height);
void createBitmap(IndexedBitmap& bitmap, int32_t width, int32_t height);
void releaseBitmap(IndexedBitmap& bitmap);
int drawBitmap(const IndexedBitmap& bitmap, HDC deviceContext, int32_t x, int32_t y);

// Unchecked: callers keep storageRow within the bitmap and use at most
// width - x bytes from the address.
inline uint8_t* bitmapRowAddress(const IndexedBitmap& bitmap, int32_t x, int32_t storageRow) {
  return bitmap.storage + static_cast<ptrdiff_t>(storageRow) * bitmap.stride + x;
}
