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

// The channel (its shift) in which the table's colours differ most often:
// the one that best splits them.
int32_t widestChannel(const PaletteTable& table) {
  int32_t bestShift = 0;
  int32_t bestValues = 0;
  for (int32_t shift : {0, 8, 16}) {
    bool seen[256] = {};
    int32_t values = 0;
    for (int32_t i = 0; i < table.count; ++i) {
      int32_t v = channel(table.entries[i], shift);
      values += !seen[v];
      seen[v] = true;
    }
    if (values > bestValues) {
      bestShift = shift;
      bestValues = values;
    }
  }
  return bestShift;
}

// Orders the distinct colours of the table the frame is shown with by one
// channel, each as its first entry (a later entry of the same colour is
// never the nearest). Kept while the table stays the same.
void sortColours(FrameRowWriter& w) {
  const PaletteTable& table = *w.shownWith;
  w.sorted = 1;
  if (w.sortedCount == table.count &&
      std::memcmp(w.sortedFrom, table.entries, table.count * sizeof(uint32_t)) == 0)
    return;
  int32_t shift = widestChannel(table);
  uint64_t keys[256];
  for (int32_t i = 0; i < table.count; ++i) {
    uint64_t colour = table.entries[i];
    keys[i] = static_cast<uint64_t>(channel(colour, shift)) << 40 | colour << 8 | i;
  }
  std::sort(keys, keys + table.count);
  int32_t n = 0;
  for (int32_t k = 0; k < table.count; ++k)
    if (k == 0 || keys[k] >> 8 != keys[k - 1] >> 8) w.byKey[n++] = static_cast<uint8_t>(keys[k]);
  w.distinctCount = n;
  w.keyShift = shift;
  for (int32_t v = 0, p = 0; v <= 256; ++v) {
    while (p < n && channel(table.entries[w.byKey[p]], shift) < v) ++p;
    w.firstWithKey[v] = static_cast<uint16_t>(p);
  }
  std::memcpy(w.sortedFrom, table.entries, table.count * sizeof(uint32_t));
  w.sortedCount = table.count;
}

struct Nearest {
  int32_t distance;
  int32_t index;
};

// Keeps the entry at position p of the sorted order when it is nearer, or
// as near and earlier in the table.
inline void consider(const FrameRowWriter& w, uint32_t colour, int32_t p, Nearest& best) {
  int32_t i = w.byKey[p];
  int32_t d = distance(colour, w.shownWith->entries[i]);
  if (d < best.distance || (d == best.distance && i < best.index)) best = {d, i};
}

// The first entry of the table at the least distance: an exact match where
// there is one. Entries are taken outwards from the colour's value in the
// sorting channel, and only while the difference in that channel alone is
// no farther than the best found.
uint8_t nearest(const FrameRowWriter& w, uint32_t colour) {
  const PaletteTable& table = *w.shownWith;
  int32_t shift = w.keyShift;
  int32_t key = channel(colour, shift);
  Nearest best{INT32_MAX, 0};
  for (int32_t p = w.firstWithKey[key]; p < w.distinctCount; ++p) {
    int32_t d = channel(table.entries[w.byKey[p]], shift) - key;
    if (d * d > best.distance) break;
    consider(w, colour, p, best);
  }
  for (int32_t p = w.firstWithKey[key] - 1; p >= 0; --p) {
    int32_t d = key - channel(table.entries[w.byKey[p]], shift);
    if (d * d > best.distance) break;
    consider(w, colour, p, best);
  }
  return static_cast<uint8_t>(best.index);
}

// The stored value of pixel value v of a frame with its own colour table.
[[gnu::noinline]] uint8_t lookUpColour(uint8_t v) {
  FrameRowWriter& w = frameRowWriter;
  bool own = v < w.ownColours->count && w.shownWith->count > 0;
  if (own && !w.sorted) sortColours(w);
  w.colourMap[v] = own ? nearest(w, w.ownColours->entries[v]) : v;
  w.colourKnown[v] = 1;
  return w.colourMap[v];
}

void copyPixels(uint8_t* to, const uint8_t* pixels, int32_t n) {
  const FrameRowWriter& w = frameRowWriter;
  if (!w.mapsColours) {
    std::memcpy(to, pixels, n);
    return;
  }
  for (int32_t x = 0; x < n; ++x) {
    uint8_t v = pixels[x];
    to[x] = w.colourKnown[v] ? w.colourMap[v] : lookUpColour(v);
  }
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
  std::memset(w.colourKnown, 0, sizeof w.colourKnown);
  w.ownColours = &own;
  w.shownWith = &shownWith;
  w.sorted = 0;
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

namespace {

// The four passes of the interlaced order: rows 0, 8, 16...; 4, 12...;
// 2, 6...; 1, 3, 5....
struct InterlacePass {
  int32_t first;
  int32_t step;
};
constexpr InterlacePass kInterlacePasses[] = {{0, 8}, {4, 8}, {2, 4}, {1, 2}};

int32_t passOf(int32_t row) {
  if (row % 8 == 0) return 0;
  if (row % 8 == 4) return 1;
  return row % 4 == 2 ? 2 : 3;
}

}  // namespace

// The next row in its pass, else the first row of a later pass that lies
// inside the picture, else height: the picture is complete.
int32_t nextRowIndex(int32_t row, int32_t height) {
  if (!frameRowWriter.interlaced) return row + 1;
  int32_t pass = passOf(row);
  if (row + kInterlacePasses[pass].step < height) return row + kInterlacePasses[pass].step;
  for (int32_t next = pass + 1; next < 4; ++next)
    if (kInterlacePasses[next].first < height) return kInterlacePasses[next].first;
  return height;
}

int32_t rowsStored(const IndexedBitmap& bitmap) {
  const FrameRowWriter& w = frameRowWriter;
  if (w.target != &bitmap) return -1;
  if (w.rowIndex >= bitmap.height) return bitmap.height;
  int32_t rows = 0;
  for (int32_t row = 0; row != w.rowIndex && row < bitmap.height;
       row = nextRowIndex(row, bitmap.height))
    ++rows;
  return rows;
}

void letGoOfFrame() { frameRowWriter.target = nullptr; }
