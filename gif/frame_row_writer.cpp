#include "gif/frame_row_writer.h"

#include <algorithm>
#include <cstring>
#if defined(__i386__) || defined(__x86_64__)
#include <immintrin.h>
#endif

FrameRowWriter frameRowWriter;

namespace {

int32_t channel(uint32_t colour, int shift) { return static_cast<int32_t>(colour >> shift & 0xFF); }

uint32_t hashSlot(uint32_t colour) { return (colour * 0x9E3779B1u) >> 23 & (kColourHashSlots - 1); }

// The slot that holds colour, or the free slot where it would go.
uint32_t findSlot(const ShownColours& s, uint32_t colour) {
  uint32_t slot = hashSlot(colour);
  while (s.hashKeys[slot] != 0 && s.hashKeys[slot] != (colour | kColourKeyBit))
    slot = (slot + 1) & (kColourHashSlots - 1);
  return slot;
}

int32_t redGreen(uint32_t colour) {
  return channel(colour, 0) * 16 | channel(colour, 8) * 16 << 16;
}

void prepareShown(ShownColours& s, const PaletteTable& table) {
  s.count = table.count;
  std::memcpy(s.entries, table.entries, table.count * sizeof(uint32_t));
  std::memset(s.hashKeys, 0, sizeof s.hashKeys);
  for (int32_t i = 0; i < table.count; ++i) {
    uint32_t slot = findSlot(s, table.entries[i]);
    if (s.hashKeys[slot] != 0) continue;
    s.hashKeys[slot] = table.entries[i] | kColourKeyBit;
    s.hashIndices[slot] = static_cast<uint8_t>(i);
  }
  // A copy of entry 0 after the last entry is as far as entry 0 and has a
  // greater number, so it is never the nearest.
  s.filled = (table.count + 7) / 8 * 8;
  for (int32_t i = 0; i < s.filled; ++i) {
    uint32_t colour = table.entries[i < table.count ? i : 0];
    s.redGreen[i] = redGreen(colour);
    s.blue[i] = channel(colour, 16) * 16;
  }
}

// Each lane keeps the least of 256 × squared distance + entry number over
// the entries it has seen: one at a time, four with SSE2 or eight with
// AVX2, as the processor has them (a 32-bit build is not compiled for SSE2,
// which every 64-bit processor has).
uint8_t searchNearestOne(const ShownColours& s, uint32_t colour) {
  int32_t best = INT32_MAX;
  for (int32_t i = 0; i < s.filled; ++i) {
    int32_t red = (s.redGreen[i] & 0xFFFF) - channel(colour, 0) * 16;
    int32_t green = (s.redGreen[i] >> 16) - channel(colour, 8) * 16;
    int32_t blue = s.blue[i] - channel(colour, 16) * 16;
    best = std::min(best, red * red + green * green + blue * blue + i);
  }
  return static_cast<uint8_t>(best);
}

#if defined(__i386__) || defined(__x86_64__)

[[gnu::target("avx2")]] uint8_t searchNearestEight(const ShownColours& s, uint32_t colour) {
  const __m256i red_green = _mm256_set1_epi32(redGreen(colour));
  const __m256i blue = _mm256_set1_epi32(channel(colour, 16) * 16);
  __m256i index = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
  __m256i best = _mm256_set1_epi32(INT32_MAX);
  for (int32_t i = 0; i < s.filled; i += 8) {
    __m256i rg = _mm256_sub_epi16(
        _mm256_load_si256(reinterpret_cast<const __m256i*>(s.redGreen + i)), red_green);
    __m256i b =
        _mm256_sub_epi16(_mm256_load_si256(reinterpret_cast<const __m256i*>(s.blue + i)), blue);
    best = _mm256_min_epi32(
        best, _mm256_add_epi32(_mm256_add_epi32(_mm256_madd_epi16(rg, rg), _mm256_madd_epi16(b, b)),
                               index));
    index = _mm256_add_epi32(index, _mm256_set1_epi32(8));
  }
  alignas(32) int32_t lanes[8];
  _mm256_store_si256(reinterpret_cast<__m256i*>(lanes), best);
  return static_cast<uint8_t>(*std::min_element(lanes, lanes + 8));
}

[[gnu::target("sse2")]] uint8_t searchNearestFour(const ShownColours& s, uint32_t colour) {
  const __m128i red_green = _mm_set1_epi32(redGreen(colour));
  const __m128i blue = _mm_set1_epi32(channel(colour, 16) * 16);
  __m128i index = _mm_setr_epi32(0, 1, 2, 3);
  __m128i best = _mm_set1_epi32(INT32_MAX);
  for (int32_t i = 0; i < s.filled; i += 4) {
    __m128i rg =
        _mm_sub_epi16(_mm_load_si128(reinterpret_cast<const __m128i*>(s.redGreen + i)), red_green);
    __m128i b = _mm_sub_epi16(_mm_load_si128(reinterpret_cast<const __m128i*>(s.blue + i)), blue);
    __m128i key = _mm_add_epi32(_mm_add_epi32(_mm_madd_epi16(rg, rg), _mm_madd_epi16(b, b)), index);
    __m128i less = _mm_cmplt_epi32(key, best);
    best = _mm_or_si128(_mm_and_si128(less, key), _mm_andnot_si128(less, best));
    index = _mm_add_epi32(index, _mm_set1_epi32(4));
  }
  alignas(16) int32_t lanes[4];
  _mm_store_si128(reinterpret_cast<__m128i*>(lanes), best);
  return static_cast<uint8_t>(*std::min_element(lanes, lanes + 4));
}

#endif

uint8_t searchNearest(const ShownColours& s, uint32_t colour) {
#if defined(__i386__) || defined(__x86_64__)
  // Found out once; a plain variable, since a guarded one would bring the
  // C++ runtime's guard (and all it needs) into the 32-bit player.
  static int32_t lanes = 0;
  if (lanes == 0) {
    __builtin_cpu_init();
    lanes = __builtin_cpu_supports("avx2") ? 8 : __builtin_cpu_supports("sse2") ? 4 : 1;
  }
  if (lanes == 8) return searchNearestEight(s, colour);
  if (lanes == 4) return searchNearestFour(s, colour);
#endif
  return searchNearestOne(s, colour);
}

// The first entry of the table at the least distance: an exact match is
// found in the hash, any other colour is compared with every entry.
uint8_t nearest(const ShownColours& s, uint32_t colour) {
  uint32_t slot = findSlot(s, colour);
  return s.hashKeys[slot] != 0 ? s.hashIndices[slot] : searchNearest(s, colour);
}

// Rows of tiny frames are copied in place, without a call: the two copies of
// a size the compiler knows overlap in the middle for lengths between.
void copyBytes(uint8_t* to, const uint8_t* from, int32_t n) {
  if (n > 32) {
    std::memcpy(to, from, n);
  } else if (n >= 16) {
    std::memcpy(to, from, 16);
    std::memcpy(to + n - 16, from + n - 16, 16);
  } else if (n >= 8) {
    std::memcpy(to, from, 8);
    std::memcpy(to + n - 8, from + n - 8, 8);
  } else {
    for (int32_t x = 0; x < n; ++x) to[x] = from[x];
  }
}

void copyPixels(uint8_t* to, const uint8_t* pixels, int32_t n) {
  const FrameRowWriter& w = frameRowWriter;
  if (!w.mapsColours) {
    copyBytes(to, pixels, n);
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
  w.mapsColours = 1;
  bool sameShown =
      w.shown.count == shownWith.count &&
      std::memcmp(w.shown.entries, shownWith.entries, shownWith.count * sizeof(uint32_t)) == 0;
  bool sameOwn = w.mappedFrom.count == own.count &&
                 std::memcmp(w.mappedFrom.entries, own.entries, own.count * sizeof(uint32_t)) == 0;
  if (sameShown && sameOwn) return;
  if (!sameShown) prepareShown(w.shown, shownWith);
  w.mappedFrom.count = own.count;
  std::memcpy(w.mappedFrom.entries, own.entries, own.count * sizeof(uint32_t));
  for (int32_t v = 0; v < 256; ++v)
    w.colourMap[v] = v < own.count && shownWith.count > 0 ? nearest(w.shown, own.entries[v])
                                                          : static_cast<uint8_t>(v);
}

// Counts no table has, so that the next frame's tables differ from them.
void forgetColourMap() {
  frameRowWriter.mappedFrom.count = -1;
  frameRowWriter.shown.count = -1;
}

// A bitmap whose storage could not be had still takes its rows one by one,
// so that the decoder stops reading exactly where it would with storage.
bool writeRow(const uint8_t* pixels, int32_t count) { return writeRows(pixels, count, 1); }

bool writeRows(const uint8_t* pixels, int32_t count, int32_t rows) {
  FrameRowWriter& w = frameRowWriter;
  if (w.target == nullptr) return false;
  const IndexedBitmap& bitmap = *w.target;
  int32_t n = std::min(count, bitmap.width);
  for (int32_t i = 0; i < rows && w.rowIndex < bitmap.height; ++i, pixels += count) {
    if (n > 0 && bitmap.storage != nullptr)
      copyPixels(bitmapRowAddress(bitmap, 0, bitmap.height - 1 - w.rowIndex), pixels, n);
    w.rowIndex = nextRowIndex(w.rowIndex, bitmap.height);
    if (w.rowIndex >= bitmap.height) return true;
  }
  return false;
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
