#include "gif/frame_row_writer.h"

#include <algorithm>
#include <cstring>

FrameRowWriter frameRowWriter;

namespace {

int32_t channel(uint32_t colour, int shift) { return static_cast<int32_t>(colour >> shift & 0xFF); }

int32_t distance(uint32_t a, uint32_t b) {
  int32_t red = channel(a, 0) - channel(b, 0);
  int32_t green = channel(a, 8) - channel(b, 8);
  int32_t blue = channel(a, 16) - channel(b, 16);
  return red * red + green * green + blue * blue;
}

uint32_t hashSlot(uint32_t colour) { return (colour * 0x9E3779B1u) >> 23 & (kColourHashSlots - 1); }

// The slot that holds colour, or the free slot where it would go.
uint32_t findSlot(const ShownColours& s, uint32_t colour) {
  uint32_t slot = hashSlot(colour);
  while (s.hashKeys[slot] != 0 && s.hashKeys[slot] != (colour | kColourKeyBit))
    slot = (slot + 1) & (kColourHashSlots - 1);
  return slot;
}

// The box of members[first, first + count).
void enclose(ShownColours& s, ColourNode& node) {
  for (int c = 0; c < 3; ++c) {
    node.low[c] = 255;
    node.high[c] = 0;
  }
  for (int32_t m = node.first; m < node.first + node.count; ++m) {
    uint32_t colour = s.entries[s.members[m]];
    for (int c = 0; c < 3; ++c) {
      auto v = static_cast<uint8_t>(channel(colour, 8 * c));
      node.low[c] = std::min(node.low[c], v);
      node.high[c] = std::max(node.high[c], v);
    }
  }
}

// Splits every node of more than a leaf's colours in two halves along the
// channel in which its box is widest.
void buildTree(ShownColours& s, int32_t distinct) {
  s.nodes[0] = ColourNode{{}, {}, 0, 0, static_cast<int16_t>(distinct)};
  int32_t nodeCount = 1;
  for (int32_t n = 0; n < nodeCount; ++n) {
    ColourNode& node = s.nodes[n];
    enclose(s, node);
    if (node.count <= kColourLeafSize) continue;
    int c = 0;
    for (int k = 1; k < 3; ++k)
      if (node.high[k] - node.low[k] > node.high[c] - node.low[c]) c = k;
    uint8_t* first = s.members + node.first;
    int32_t half = node.count / 2;
    std::nth_element(first, first + half, first + node.count, [&](uint8_t a, uint8_t b) {
      return channel(s.entries[a], 8 * c) < channel(s.entries[b], 8 * c);
    });
    node.children = static_cast<int16_t>(nodeCount);
    s.nodes[nodeCount++] = ColourNode{{}, {}, 0, node.first, static_cast<int16_t>(half)};
    s.nodes[nodeCount++] = ColourNode{{},
                                      {},
                                      0,
                                      static_cast<int16_t>(node.first + half),
                                      static_cast<int16_t>(node.count - half)};
  }
}

// Kept while the table stays the same.
void prepareShown(FrameRowWriter& w) {
  const PaletteTable& table = *w.shownWith;
  ShownColours& s = w.shown;
  w.shownReady = 1;
  w.lastNearest = 0;
  if (s.count == table.count &&
      std::memcmp(s.entries, table.entries, table.count * sizeof(uint32_t)) == 0)
    return;
  s.count = table.count;
  std::memcpy(s.entries, table.entries, table.count * sizeof(uint32_t));
  std::memset(s.hashKeys, 0, sizeof s.hashKeys);
  int32_t distinct = 0;
  for (int32_t i = 0; i < table.count; ++i) {
    uint32_t slot = findSlot(s, table.entries[i]);
    if (s.hashKeys[slot] != 0) continue;
    s.hashKeys[slot] = table.entries[i] | kColourKeyBit;
    s.hashIndices[slot] = static_cast<uint8_t>(i);
    s.members[distinct++] = static_cast<uint8_t>(i);
  }
  buildTree(s, distinct);
}

// The least squared distance from colour to any colour in the node's box.
[[gnu::always_inline]] inline int32_t boxDistance(const ColourNode& node,
                                                  const int32_t (&colour)[3]) {
  int32_t sum = 0;
  for (int c = 0; c < 3; ++c) {
    int32_t below = node.low[c] - colour[c];
    int32_t above = colour[c] - node.high[c];
    int32_t d = std::max(0, std::max(below, above));
    sum += d * d;
  }
  return sum;
}

struct Nearest {
  int32_t distance;
  int32_t index;
};

struct Pending {
  int16_t node;
  int32_t distance;  // the least a colour of its box can be away
};

// The first entry of the table at the least distance. An exact match is
// found in the hash; otherwise the tree is searched from the entry found
// last (neighbouring values tend to have neighbouring colours), passing over
// every box farther away than the best entry found so far.
uint8_t nearest(FrameRowWriter& w, uint32_t colour) {
  const ShownColours& s = w.shown;
  uint32_t slot = findSlot(s, colour);
  if (s.hashKeys[slot] != 0) return s.hashIndices[slot];
  const int32_t rgb[3] = {channel(colour, 0), channel(colour, 8), channel(colour, 16)};
  Nearest best{distance(colour, s.entries[w.lastNearest]), w.lastNearest};
  Pending stack[kColourNodes];
  int32_t depth = 0;
  stack[depth++] = {0, boxDistance(s.nodes[0], rgb)};
  while (depth > 0) {
    Pending p = stack[--depth];
    if (p.distance > best.distance) continue;
    const ColourNode& node = s.nodes[p.node];
    if (node.children == 0) {
      for (int32_t m = node.first; m < node.first + node.count; ++m) {
        int32_t i = s.members[m];
        int32_t d = distance(colour, s.entries[i]);
        if (d < best.distance || (d == best.distance && i < best.index)) best = {d, i};
      }
      continue;
    }
    auto closer = static_cast<int16_t>(node.children);
    auto farther = static_cast<int16_t>(node.children + 1);
    int32_t closerDistance = boxDistance(s.nodes[closer], rgb);
    int32_t fartherDistance = boxDistance(s.nodes[farther], rgb);
    if (fartherDistance < closerDistance) {
      std::swap(closer, farther);
      std::swap(closerDistance, fartherDistance);
    }
    // The nearer box is taken first.
    if (fartherDistance <= best.distance) stack[depth++] = {farther, fartherDistance};
    if (closerDistance <= best.distance) stack[depth++] = {closer, closerDistance};
  }
  w.lastNearest = static_cast<uint8_t>(best.index);
  return static_cast<uint8_t>(best.index);
}

// The stored value of pixel value v of a frame with its own colour table.
[[gnu::noinline]] uint8_t lookUpColour(uint8_t v) {
  FrameRowWriter& w = frameRowWriter;
  bool own = v < w.ownColours->count && w.shownWith->count > 0;
  if (own && !w.shownReady) prepareShown(w);
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
  bool sameShown =
      w.shownReady && w.shown.count == shownWith.count &&
      std::memcmp(w.shown.entries, shownWith.entries, shownWith.count * sizeof(uint32_t)) == 0;
  bool sameOwn = w.mappedFrom.count == own.count &&
                 std::memcmp(w.mappedFrom.entries, own.entries, own.count * sizeof(uint32_t)) == 0;
  if (!(w.mapKept && sameShown && sameOwn)) {
    std::memset(w.colourKnown, 0, sizeof w.colourKnown);
    w.mappedFrom.count = own.count;
    std::memcpy(w.mappedFrom.entries, own.entries, own.count * sizeof(uint32_t));
    w.shownReady = 0;
  }
  w.mapKept = 1;
  w.ownColours = &own;
  w.shownWith = &shownWith;
  w.mapsColours = 1;
}

void forgetColourMap() { frameRowWriter.mapKept = 0; }

// A bitmap whose storage could not be had still takes its rows one by one,
// so that the decoder stops reading exactly where it would with storage.
bool writeRow(const uint8_t* pixels, int32_t count) {
  FrameRowWriter& w = frameRowWriter;
  if (w.target == nullptr) return false;
  const IndexedBitmap& bitmap = *w.target;
  if (w.rowIndex >= bitmap.height) return false;
  int32_t n = std::min(count, bitmap.width);
  if (n > 0 && bitmap.storage != nullptr)
    copyPixels(bitmapRowAddress(bitmap, 0, bitmap.height - 1 - w.rowIndex), pixels, n);
  w.rowIndex = nextRowIndex(w.rowIndex, bitmap.height);
  return w.rowIndex >= bitmap.height;
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
