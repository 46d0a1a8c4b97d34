#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "gif/frame_row_writer.h"
#include "gif/lzw_decoder.h"
#include "tests/unit/gif/gif_pieces.h"

namespace {

constexpr uint8_t kUntouched = 0xEE;
constexpr int kClear = 256;
constexpr int kEnd = 257;

struct Decoded {
  int16_t result = 0;
  Bytes pixels;  // picture rows from the top, one after another
  int32_t position = 0;
  bool complete = false;  // the picture got its last row
};

// Decodes data into a fresh bitmap whose bytes all start as kUntouched.
Decoded decodeImage(Bytes data, int32_t width, int32_t height) {
  PayloadBuffer buffer{data.data(), static_cast<int32_t>(data.size()), 0};
  IndexedBitmap bitmap;
  createBitmap(bitmap, width, height);
  std::memset(bitmap.storage, kUntouched, static_cast<size_t>(bitmap.stride) * height);
  beginFrame(bitmap, 0);
  attachSource(buffer);
  Decoded out{decode(width), {}, buffer.position, frameRowWriter.rowIndex >= height};
  detachSource();
  for (int32_t y = 0; y < height; ++y) {
    const uint8_t* row = bitmapRowAddress(bitmap, 0, height - 1 - y);
    out.pixels.insert(out.pixels.end(), row, row + width);
  }
  releaseBitmap(bitmap);
  return out;
}

Bytes with(Bytes pixels, size_t size) {
  pixels.resize(size, kUntouched);
  return pixels;
}

TEST(LzwDecoderTest, WorkedExample) {
  // 258 arrives while it is the entry about to be filled: the previous
  // string (1) and its own first pixel, 1 1. 259 is 258 then 2: 1 1 2,
  // handed over as a last row of 3 pixels.
  Decoded d = decodeImage(imageData({kClear, 1, 258, 2, 259, kEnd}, 8), 4, 2);
  EXPECT_EQ(d.result, 0);
  EXPECT_EQ(d.pixels, (Bytes{1, 1, 1, 2, 1, 1, 2, kUntouched}));
}

TEST(LzwDecoderTest, CodeSizeOutsideTwoToNine) {
  for (auto [data, result] :
       {std::pair{Bytes{1, 1, 0}, -20}, {Bytes{10, 1, 0}, -20}, {Bytes{}, -1}}) {
    Decoded d = decodeImage(data, 2, 1);
    EXPECT_EQ(d.result, result) << "code size byte " << (data.empty() ? -1 : data[0]);
    EXPECT_EQ(d.position, data.empty() ? 0 : 1);
    EXPECT_EQ(d.pixels, Bytes(2, kUntouched));
  }
}

// Streams that differ in form but must decode to the same rows.
TEST(LzwDecoderTest, EquivalentCodeStreams) {
  struct Case {
    const char* what;
    std::vector<int> codes, sameAs;
  };
  const Case cases[] = {
      {"no clear code at the start", {1, 258, 2, 259, kEnd}, {kClear, 1, 258, 2, 259, kEnd}},
      {"two clear codes act as one", {kClear, kClear, 1, 2, kEnd}, {kClear, 1, 2, kEnd}},
      {"a clear code before every code",
       {kClear, 1, kClear, 2, kClear, 3, kClear, 4, kEnd},
       {kClear, 1, 2, 3, 4, kEnd}},
      {"first code behind a clear at firstFree or beyond is pixel 0",
       {kClear, 300, 2, kEnd},
       {kClear, 0, 2, kEnd}},
      {"a code beyond nextFree decodes like nextFree",
       {kClear, 1, 2, 270, kEnd},
       {kClear, 1, 2, 259, kEnd}},
      {"a clear code in the stream starts the table anew",
       {kClear, 1, 2, 258, kClear, 3, 258, kEnd},
       {kClear, 1, 2, 1, 2, kClear, 3, 3, 3, kEnd}},
  };
  for (const Case& c : cases) {
    Decoded got = decodeImage(imageData(c.codes, 8), 3, 3);
    EXPECT_EQ(got.result, 0) << c.what;
    EXPECT_EQ(got.pixels, decodeImage(imageData(c.sameAs, 8), 3, 3).pixels) << c.what;
  }
}

// Only whole rows are kept when the code stream ends early; a sub-block cut
// short by the end of the data gives none of its bytes; the block
// terminator met while codes are still wanted ends the image on it.
TEST(LzwDecoderTest, CodeStreamEndingEarly) {
  Bytes ends = imageData({kClear, 1, 2, 3, 4, 5, 6}, 8, 255, false);
  Bytes cut = ends;
  cut[1] += 5;
  Bytes terminated = concat({imageData({kClear, 1, 2, 3, 4, 5, 6}, 8), {0x2C, 0x21}});
  struct Case {
    const char* what;
    Bytes data;
    Bytes pixels;
    int32_t position;
  };
  for (const Case& c : {Case{"data ends", ends, {1, 2, 3, 4}, int32_t(ends.size())},
                        Case{"sub-block cut short", cut, {}, int32_t(cut.size())},
                        Case{"terminator", terminated, {1, 2, 3, 4}, int32_t(ends.size())}}) {
    Decoded d = decodeImage(c.data, 4, 2);
    EXPECT_EQ(d.result, 0) << c.what;
    EXPECT_EQ(d.pixels, with(c.pixels, 8)) << c.what;
    EXPECT_EQ(d.position, c.position) << c.what;
  }
}

// Real LZW streams with long strings and tables that fill up (kept full
// without a clear code, too), cut into sub-blocks of every awkward size.
TEST(LzwDecoderTest, DecodesWhatTheEncoderWrote) {
  std::mt19937 random(5);
  for (int codeSize : {2, 5, 8}) {
    Bytes pixels(300 * 200);
    for (size_t i = 0; i < pixels.size(); ++i)
      pixels[i] = random() % 9 ? pixels[i ? i - 1 : 0] : random() % (1 << codeSize);
    for (bool deferredClear : {false, true}) {
      std::vector<int> codes =
          gifwriter::encodeLzw(pixels, codeSize, {.deferredClear = deferredClear});
      for (size_t blockSize : {1, 7, 8, 9, 254, 255}) {
        Decoded d = decodeImage(imageData(codes, codeSize, blockSize), 300, 200);
        EXPECT_EQ(d.pixels, pixels) << "code size " << codeSize << ", sub-blocks of " << blockSize
                                    << (deferredClear ? ", full table kept" : "");
        EXPECT_TRUE(d.complete);
      }
    }
  }
}

// The row buffer holds any width a GIF can give; a zero-width image has no
// row to put its pixels in, and decoding runs to its end code.
TEST(LzwDecoderTest, RowWidthsFromZeroTo65535) {
  for (int32_t width : {2049, 65535}) {
    Bytes pixels(static_cast<size_t>(width) * 2);
    for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<uint8_t>(i * 7 + i / 300);
    EXPECT_EQ(decodeImage(imageData(gifwriter::encodeLzw(pixels, 8), 8), width, 2).pixels, pixels)
        << "width " << width;
  }
  Bytes data = imageData(gifwriter::encodeLzw(Bytes(100000, 3), 8), 8);
  Decoded d = decodeImage(data, 0, 5);
  EXPECT_EQ(d.result, 0);
  EXPECT_EQ(d.position, static_cast<int32_t>(data.size()) - 1);
}

// A code beyond the table is kept as the previous code and so becomes the
// prefix of the next entry: that entry's string is whatever the entry it
// names stands for when it is used.
TEST(LzwDecoderTest, CodeBeyondTheTableBecomesAPrefix) {
  // Code size 3: clear 8, end 9, first entry 10. 12 comes while 10 is next:
  // 1 1, entry 10 = 1 1. Entry 11 = (12) 2, entry 12 = 2 3, so 11 is 2 3 2.
  Decoded d = decodeImage(imageData({8, 1, 12, 2, 3, 11, 9}, 3), 8, 1);
  EXPECT_EQ(d.pixels, (Bytes{1, 1, 1, 2, 3, 2, 3, 2}));
}

// Here the next entry's prefix is the entry itself: the string it stands
// for would never end. Decoding ends there, with what came before stored.
TEST(LzwDecoderTest, LoopingPrefixChainEndsDecoding) {
  // Code size 2: clear 4, end 5, first entry 6; 7 is beyond the table.
  Decoded d = decodeImage(imageData({4, 0, 7, 7, 7, 7, 5}, 2), 1, 1000);
  EXPECT_EQ(d.result, 0);
  EXPECT_EQ(Bytes(d.pixels.begin(), d.pixels.begin() + 3), Bytes(3, 0));
  EXPECT_FALSE(d.complete);
}

class FrameRowWriterTest : public ::testing::Test {
 protected:
  void TearDown() override {
    letGoOfFrame();
    releaseBitmap(bitmap);
  }

  void prepare(int32_t width, int32_t height, int32_t interlaced) {
    releaseBitmap(bitmap);
    createBitmap(bitmap, width, height);
    std::memset(bitmap.storage, kUntouched, static_cast<size_t>(bitmap.stride) * height);
    beginFrame(bitmap, interlaced);
  }

  uint8_t pixel(int32_t x, int32_t y) {
    return *bitmapRowAddress(bitmap, x, bitmap.height - 1 - y);
  }

  IndexedBitmap bitmap{};
};

TEST_F(FrameRowWriterTest, RowOrderTopDownOrInterlaced) {
  EXPECT_EQ(gifwriter::interlacedRowOrder(9), (std::vector<int>{0, 8, 4, 2, 6, 1, 3, 5, 7}));
  for (int32_t interlaced : {0, 1}) {
    for (int32_t height = 1; height <= 16; ++height) {
      SCOPED_TRACE(testing::Message() << "height " << height << (interlaced ? " interlaced" : ""));
      prepare(1, height, interlaced);
      for (int32_t i = 0; i < height; ++i) {
        uint8_t value = static_cast<uint8_t>(i);
        EXPECT_EQ(writeRow(&value, 1), i == height - 1) << "row " << i;
      }
      std::vector<int> order = gifwriter::interlacedRowOrder(height);
      for (int32_t i = 0; i < height; ++i)
        EXPECT_EQ(pixel(0, interlaced ? order[i] : i), i) << "arrival " << i;
    }
  }
}

TEST_F(FrameRowWriterTest, LongRowsAreCutShortRowsFillTheirStartLateRowsAreDropped) {
  prepare(3, 2, 0);
  const uint8_t pixels[] = {1, 2, 3, 4, 5};
  writeRow(pixels, 5);
  EXPECT_TRUE(writeRow(pixels + 3, 2));
  EXPECT_FALSE(writeRow(pixels, 3));  // only the step onto the end completes the picture
  EXPECT_EQ(Bytes(bitmap.storage, bitmap.storage + 8),
            (Bytes{4, 5, kUntouched, kUntouched, 1, 2, 3, kUntouched}));

  prepare(4, 0, 1);
  for (int i = 0; i < 20; ++i) EXPECT_FALSE(writeRow(pixels, 4)) << "height 0";
}

// Several rows at once, of every width that is copied in its own way.
TEST_F(FrameRowWriterTest, RowsHandedTogetherLandAsRowsOneByOne) {
  Bytes rows(3 * 40);
  for (size_t i = 0; i < rows.size(); ++i) rows[i] = static_cast<uint8_t>(i + 1);
  for (int32_t width = 1; width <= 40; ++width) {
    prepare(width, 3, 0);
    EXPECT_FALSE(writeRows(rows.data(), width, 2));
    EXPECT_TRUE(writeRows(rows.data() + 2 * width, width, 5));  // the rows behind the last go
    for (int32_t y = 0; y < 3; ++y)
      for (int32_t x = 0; x < width; ++x)
        ASSERT_EQ(pixel(x, y), rows[y * width + x]) << "width " << width << " at " << x << "," << y;
  }
}

// A frame whose storage could not be had takes its rows all the same, so
// that decoding stops where it would have with storage.
TEST_F(FrameRowWriterTest, BitmapWithoutStorageStillCountsItsRows) {
  IndexedBitmap none;
  describeBitmap(none, 5, 3);
  beginFrame(none, 1);
  const uint8_t row[] = {1, 2, 3, 4, 5};
  for (int i = 0; i < 3; ++i) EXPECT_EQ(writeRow(row, 5), i == 2) << "row " << i;
}

TEST_F(FrameRowWriterTest, OwnColoursAreStoredAsTheNearestShownColour) {
  PaletteTable shown{4, {0x000000, 0x0000FF, 0xFF0000, 0x0000FF}};  // black red blue red
  PaletteTable own{4, {0xFF0000, 0x0000FF, 0x1010E0, 0x202020}};    // blue red ~red ~black
  prepare(6, 1, 0);
  mapColours(own, shown);
  const uint8_t row[] = {0, 1, 2, 3, 4, 200};  // 4 and 200 lie beyond the frame's table
  writeRow(row, 6);
  for (auto [x, want] : {std::pair{0, 2}, {1, 1}, {2, 1}, {3, 0}, {4, 4}, {5, 200}})
    EXPECT_EQ(pixel(x, 0), want) << "own colour " << int{row[x]};
  prepare(1, 1, 0);  // the next frame starts without the map
  writeRow(row + 2, 1);
  EXPECT_EQ(pixel(0, 0), 2);
}

// Tables of many colours, some repeated, some on planes (where distances tie):
// each value goes to the first entry at the least distance, also when the
// next frame brings the same own table to another shown one.
TEST_F(FrameRowWriterTest, NearestColourIsTheFirstOfTheClosest) {
  std::mt19937 random(7);
  auto colour = [&](int kind) -> uint32_t {
    uint32_t v = random() & 0xFF;
    if (kind == 0) return v * 0x010101u;  // grey
    if (kind == 1) return random() % 2 ? 0xFF | v << 8 | v << 16 : v | v << 8 | 0xFF0000;
    return random() & 0xFFFFFF;
  };
  PaletteTable own{256, {}};
  for (int kind : {0, 1, 2}) {
    for (uint32_t& c : own.entries) c = colour(kind);
    for (int round = 0; round < 2; ++round) {
      // The second round's tables are smaller than the eight compared at once.
      const int count = round == 0 ? 256 : 2 << kind;
      PaletteTable shown{count, {}};
      for (int i = 0; i < count; ++i)
        shown.entries[i] =
            random() % 4 == 0 ? shown.entries[random() % (i + 1)] : colour((kind + round) % 3);
      prepare(256, 1, 0);
      mapColours(own, shown);
      uint8_t row[256];
      for (int v = 0; v < 256; ++v) row[v] = static_cast<uint8_t>(v);
      writeRow(row, 256);
      for (int v = 0; v < 256; ++v) {
        auto d = [&](int i) {
          int dr = int(own.entries[v] & 0xFF) - int(shown.entries[i] & 0xFF);
          int dg = int(own.entries[v] >> 8 & 0xFF) - int(shown.entries[i] >> 8 & 0xFF);
          int db = int(own.entries[v] >> 16) - int(shown.entries[i] >> 16);
          return dr * dr + dg * dg + db * db;
        };
        int want = 0;
        for (int i = 1; i < count; ++i)
          if (d(i) < d(want)) want = i;
        ASSERT_EQ(pixel(v, 0), want) << "kind " << kind << " round " << round << " value " << v;
      }
    }
  }
}

}  // namespace
