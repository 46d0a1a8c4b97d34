#include "gif/frame_row_writer.h"

#include <algorithm>
#include <cstring>

#include "gif/lzw_decoder.h"

FrameRowWriter frameRowWriter;

namespace {

int32_t channel(uint32_t colour, int shift) { return static_cast<int32_t>(colour >> shift & 0xFF); }

int32_t distance(uint32_t a, uint32_t b) {
  int32_t red = channel(a, 0) - channel(b, 0);
  int32_t green = channel(a, 8) - channel(b, 8);
  int32_t blue = channel(a, 16) - channel(b, 16);
  return red * red + green * green + blue * blue;
}

// The first entry of the table at the least distance: an exact match where
// there is one.
uint8_t nearest(uint32_t colour, const PaletteTable& table) {
  int32_t best = 0;
  int32_t bestDistance = INT32_MAX;
  for (int32_t i = 0; i < table.count && bestDistance > 0; ++i) {
    int32_t d = distance(colour, table.entries[i]);
    if (d < bestDistance) {
      best = i;
      bestDistance = d;
    }
  }
  return static_cast<uint8_t>(best);
}

void copyPixels(uint8_t* to, const uint8_t* pixels, int32_t n) {
  const FrameRowWriter& w = frameRowWriter;
  if (!w.mapsColours) {
    std::memcpy(to, pixels, n);
    return;
  }
  for (int32_t x = 0; x < n; ++x) to[x] = w.colourMap[pixels[x]];
}

}  // namespace

void beginFrame(IndexedBitmap& bitmap, int32_t interlaced) {
  frameRowWriter.target = &bitmap;
  frameRowWriter.rowIndex = 0;
  frameRowWriter.interlaced = interlaced;
  frameRowWriter.mapsColours = 0;
}

void mapColours(const PaletteTable& own, const PaletteTable& shownWith) {
  FrameRowWriter& w = frameRowWriter;
  for (int32_t i = 0; i < 256; ++i) w.colourMap[i] = static_cast<uint8_t>(i);
  if (shownWith.count > 0) {
    int32_t n = std::min(own.count, 256);
    for (int32_t i = 0; i < n; ++i) w.colourMap[i] = nearest(own.entries[i], shownWith);
  }
  w.mapsColours = 1;
}

// A bitmap whose storage could not be had still takes its rows one by one,
// so that the decoder stops reading exactly where it would with storage.
int32_t writeRow(const uint8_t* pixels, int32_t count) {
  FrameRowWriter& w = frameRowWriter;
  if (w.target == nullptr) return 0;
  const IndexedBitmap& bitmap = *w.target;
  if (w.rowIndex >= bitmap.height) return 0;
  int32_t n = std::min(count, bitmap.width);
  if (n > 0 && bitmap.storage != nullptr)
    copyPixels(bitmapRowAddress(bitmap, 0, bitmap.height - 1 - w.rowIndex), pixels, n);
  w.rowIndex = nextRowIndex(w.rowIndex, bitmap.height);
  if (w.rowIndex >= bitmap.height) detachSource();
  return 0;
}

// Passes of the interlaced order: rows 0, 8, 16...; 4, 12...; 2, 6...;
// 1, 3, 5.... Every step into the next pass lands inside the picture, so
// only the step out of pass 4, or out of row 0 of a one-row picture, ends it.
int32_t nextRowIndex(int32_t row, int32_t height) {
  if (!frameRowWriter.interlaced) return row + 1;
  if (row == 0) {
    if (height > 8) return 8;
    if (height > 4) return 4;
    return height > 2 ? 2 : 1;
  }
  if (row % 2 == 1) return row + 2;
  if (row % 4 == 2) return height > row + 4 ? row + 4 : 1;
  if (row % 8 == 4) return height > row + 8 ? row + 8 : 2;
  return height > row + 8 ? row + 8 : 4;
}
