#include "gif/lzw_decoder.h"

#include <gtest/gtest.h>

#include <random>

#include "tests/unit/gif/decode_fixture.h"
#include "tests/unit/gif/gif_bytes.h"

namespace {

using namespace gifbytes;

constexpr int kClear = 256;
constexpr int kEnd = 257;

// Image data of code size 8 from 9-bit codes, in one sub-block.
Bytes nineBitImage(const std::vector<int>& codes) {
  return concat({{8}, subBlocks(packCodes(codes, 9)), {0}});
}

// The widths the decoder reads codes at, for a code stream whose data codes
// all lie inside the table (every data code but the first after a clear
// adds an entry).
std::vector<std::pair<int, int>> atDecoderWidths(const std::vector<int>& codes, int codeSize) {
  const int clear = 1 << codeSize;
  int width = codeSize + 1;
  int nextFree = clear + 2;
  bool firstAfterClear = true;
  std::vector<std::pair<int, int>> out;
  for (int code : codes) {
    out.emplace_back(code, width);
    if (code == clear) {
      width = codeSize + 1;
      nextFree = clear + 2;
      firstAfterClear = true;
    } else if (code != clear + 1) {
      if (!firstAfterClear && nextFree < 4096) ++nextFree;
      if (nextFree == (1 << width) && width < 12) ++width;
      firstAfterClear = false;
    }
  }
  return out;
}

TEST(LzwDecoderTest, WorkedExample) {
  // 258 arrives while it is the entry about to be filled: the previous
  // string (1) and its own first pixel, 1 1. 259 is 258 then 2: 1 1 2.
  Decoded d = decodeImage(nineBitImage({kClear, 1, 258, 2, 259, kEnd}), 4, 2);
  EXPECT_EQ(d.result, 0);
  ASSERT_EQ(d.rows.size(), 2u);
  EXPECT_EQ(d.rows[0], (Bytes{1, 1, 1, 2}));
  EXPECT_EQ(d.rows[1], (Bytes{1, 1, 2, kUntouched}));  // the partial row: 3 pixels
}

TEST(LzwDecoderTest, ResetTablesByCodeSize) {
  struct Case {
    int16_t codeSize, clear, end, firstFree, width, limit;
  };
  for (const Case& c :
       {Case{2, 4, 5, 6, 3, 8}, Case{8, 256, 257, 258, 9, 512}, Case{9, 512, 513, 514, 10, 1024}}) {
    resetTables(c.codeSize);
    const LzwDecoder& d = lzwDecoder;
    EXPECT_EQ(d.clearCode, c.clear) << "code size " << c.codeSize;
    EXPECT_EQ(d.endCode, c.end) << "code size " << c.codeSize;
    EXPECT_EQ(d.firstFree, c.firstFree) << "code size " << c.codeSize;
    EXPECT_EQ(d.nextFree, c.firstFree) << "code size " << c.codeSize;
    EXPECT_EQ(d.codeWidth, c.width) << "code size " << c.codeSize;
    EXPECT_EQ(d.limit, c.limit) << "code size " << c.codeSize;
  }
}

TEST(LzwDecoderTest, CodeSizeOutOfRangeOrMissing) {
  struct Case {
    Bytes data;
    int16_t result;
    int32_t position;
  };
  for (const Case& c :
       {Case{{1, 1, 0}, -20, 1}, Case{{10, 1, 0}, -20, 1}, Case{{0}, -20, 1}, Case{{}, -1, 0}}) {
    Decoded d = decodeImage(c.data, 2, 2);
    EXPECT_EQ(d.result, c.result) << "code size byte " << (c.data.empty() ? -1 : c.data[0]);
    EXPECT_EQ(d.position, c.position);
    EXPECT_EQ(d.rows[0][0], kUntouched);
  }
}

// Streams that differ in form but must decode to the same rows.
TEST(LzwDecoderTest, EquivalentCodeStreams) {
  struct Case {
    const char* what;
    std::vector<int> codes, sameAs;
  };
  const Case cases[] = {
      {"a stream need not start with a clear code",
       {1, 258, 2, 259, kEnd},
       {kClear, 1, 258, 2, 259, kEnd}},
      {"two clear codes act as one", {kClear, kClear, 1, 2, 3, kEnd}, {kClear, 1, 2, 3, kEnd}},
      {"first code after a clear at firstFree or beyond is pixel 0",
       {kClear, 300, 2, kEnd},
       {kClear, 0, 2, kEnd}},
      {"a code beyond nextFree decodes like nextFree",
       {kClear, 1, 2, 270, kEnd},
       {kClear, 1, 2, 259, kEnd}},
      {"a clear code inside the stream starts the table anew",
       {kClear, 1, 2, 258, kClear, 3, 258, kEnd},
       {kClear, 1, 2, 1, 2, kClear, 3, 3, 3, kEnd}},
  };
  for (const Case& c : cases) {
    Decoded got = decodeImage(nineBitImage(c.codes), 3, 3);
    Decoded want = decodeImage(nineBitImage(c.sameAs), 3, 3);
    EXPECT_EQ(got.result, 0) << c.what;
    EXPECT_EQ(got.rows, want.rows) << c.what;
  }
}

TEST(LzwDecoderTest, ClearThenEndEndsLikeTheEndCode) {
  Bytes data = nineBitImage({kClear, kEnd, 1, 2, 3});
  Decoded d = decodeImage(data, 2, 2);
  EXPECT_EQ(d.result, 0);
  EXPECT_EQ(d.rows[0], (Bytes{kUntouched, kUntouched}));
  EXPECT_EQ(d.position, static_cast<int32_t>(data.size()) - 1);  // on the terminator
}

TEST(LzwDecoderTest, SourceEndingInsideARowDropsThePartialRow) {
  Bytes data = concat({{8}, subBlocks(packCodes({kClear, 1, 2, 3, 4, 5, 6}, 9))});
  Decoded d = decodeImage(data, 4, 3);
  EXPECT_EQ(d.result, 0);
  EXPECT_EQ(d.rows[0], (Bytes{1, 2, 3, 4}));
  EXPECT_EQ(d.rows[1], Bytes(4, kUntouched));
  EXPECT_EQ(d.position, static_cast<int32_t>(data.size()));
}

// A sub-block cut short by the end of the data gives none of its bytes.
TEST(LzwDecoderTest, TruncatedSubBlockGivesNothing) {
  Bytes codes = packCodes({kClear, 1, 2, 3, 4, kEnd}, 9);
  Bytes data = concat({{8, static_cast<uint8_t>(codes.size() + 5)}, codes});
  Decoded d = decodeImage(data, 2, 2);
  EXPECT_EQ(d.result, 0);
  EXPECT_EQ(d.rows[0], Bytes(2, kUntouched));
  EXPECT_EQ(d.position, static_cast<int32_t>(data.size()));
}

// Codes run across byte and sub-block boundaries alike: any cut of the same
// code stream into sub-blocks decodes to the same pixels.
TEST(LzwDecoderTest, SubBlockSizesDoNotMatter) {
  std::mt19937 random(7);
  Bytes pixels(3000);
  for (uint8_t& p : pixels) p = static_cast<uint8_t>(random() % 6);
  for (int codeSize : {2, 3, 8}) {
    Bytes limited = pixels;
    for (uint8_t& p : limited) p = static_cast<uint8_t>(p % (1 << codeSize));
    Bytes codes = rootCodes(limited, codeSize);
    for (size_t blockSize : {1, 2, 7, 8, 9, 15, 16, 254, 255}) {
      Bytes data = concat({{static_cast<uint8_t>(codeSize)}, subBlocks(codes, blockSize), {0}});
      Decoded d = decodeImage(data, 100, 30);
      Bytes all;
      for (const Bytes& row : d.rows) all.insert(all.end(), row.begin(), row.end());
      EXPECT_EQ(all, limited) << "code size " << codeSize << ", sub-blocks of " << blockSize;
      EXPECT_TRUE(d.detached);
    }
  }
}

// After entry 511 the codes are 10 bits wide, and so on up to 12, where
// they stay once entry 4095 is in; a full table still decodes its entries.
TEST(LzwDecoderTest, CodeWidthGrowsWithTheTable) {
  std::vector<int> codes{kClear};
  Bytes expected;
  for (int i = 0; i < 1 + (4096 - 258); ++i) {
    codes.push_back(i % 7);
    expected.push_back(static_cast<uint8_t>(i % 7));
  }
  // Entry 258 is 0 1, entry 4000 is pixel (4000 - 258) % 7 then the next.
  codes.insert(codes.end(), {258, 4000, 5, kEnd});
  expected.insert(expected.end(), {0, 1, static_cast<uint8_t>((4000 - 258) % 7),
                                   static_cast<uint8_t>((4000 - 257) % 7), 5});
  Bytes data = concat({{8}, subBlocks(packCodes(atDecoderWidths(codes, 8))), {0}});
  Decoded d = decodeImage(data, static_cast<int32_t>(expected.size()), 1);
  EXPECT_EQ(d.rows[0], expected);
  EXPECT_TRUE(d.detached);

  resetTables(8);
  lzwDecoder.codeWidth = 12;
  Bytes twelveBits = concat({{2}, subBlocks(packCodes({{4095, 12}, {1234, 12}})), {0}});
  PayloadBuffer buffer{twelveBits.data(), static_cast<int32_t>(twelveBits.size()), 1};
  attachSource(buffer);
  EXPECT_EQ(nextCode(), 4095);
  EXPECT_EQ(nextCode(), 1234);
  EXPECT_EQ(nextCode(), -1);  // the terminator
  detachSource();
}

// A row writer detaches the source after the last row: nothing more is
// read, not even the sub-block holding the end code.
TEST(LzwDecoderTest, StopsReadingAtTheLastRow) {
  Bytes first = subBlocks(packCodes({kClear, 1, 2, 3, 4}, 9));
  Bytes data = concat({{8}, first, subBlocks(packCodes({kEnd}, 9)), {0}});
  Decoded d = decodeImage(data, 2, 2);
  EXPECT_EQ(d.result, 0);
  EXPECT_EQ(d.rows, (std::vector<Bytes>{{1, 2}, {3, 4}}));
  EXPECT_TRUE(d.detached);
  EXPECT_EQ(d.position, static_cast<int32_t>(1 + first.size()));
}

// Wider than any fixed row buffer of a few thousand pixels.
TEST(LzwDecoderTest, RowsAsWideAsAGifAllows) {
  for (int32_t width : {2048, 2049, 5000, 65535}) {
    Bytes pixels(static_cast<size_t>(width) * 2);
    for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<uint8_t>(i * 7 + i / 300);
    Decoded d = decodeImage(raster(pixels), width, 2);
    ASSERT_EQ(d.rows.size(), 2u);
    EXPECT_EQ(d.rows[0], Bytes(pixels.begin(), pixels.begin() + width)) << "width " << width;
    EXPECT_EQ(d.rows[1], Bytes(pixels.begin() + width, pixels.end())) << "width " << width;
  }
}

// A zero-width image has pixels in its code stream but no row to put them
// in: they go nowhere, and decoding runs to the end code.
TEST(LzwDecoderTest, ZeroWidthOverrunsNothing) {
  Bytes pixels(10000, 3);
  Bytes data = raster(pixels);
  Decoded d = decodeImage(data, 0, 5);
  EXPECT_EQ(d.result, 0);
  EXPECT_FALSE(d.detached);
  EXPECT_EQ(d.position, static_cast<int32_t>(data.size()) - 1);
}

// A corrupt stream can make a prefix chain loop: a code beyond the table
// becomes the previous code, and the next entry's prefix is itself. The
// string it stands for would never end; decoding ends there instead.
TEST(LzwDecoderTest, LoopingPrefixChainEndsDecoding) {
  // Code size 2: clear 4, end 5, first entry 6, codes of 3 bits until entry 7.
  Bytes codes = packCodes({{4, 3}, {0, 3}, {7, 3}, {7, 3}, {7, 4}, {7, 4}, {5, 4}});
  Bytes data = concat({{2}, subBlocks(codes), {0}});
  Decoded d = decodeImage(data, 1, 1024);
  EXPECT_EQ(d.result, 0);
  for (int y = 0; y < 3; ++y) EXPECT_EQ(d.rows[y][0], 0);  // what came before the loop
  EXPECT_FALSE(d.detached);
}

// The block terminator met while codes are still wanted ends the image
// there; the parser's one-byte skip then passes exactly that terminator.
TEST(LzwDecoderTest, BlockTerminatorEndsTheCodeStream) {
  Bytes first = subBlocks(packCodes({kClear, 1, 2, 3}, 9));
  Bytes data = concat({{8}, first, {0, 0x2C, 0x21, 0x3B}});
  Decoded d = decodeImage(data, 4, 2);
  EXPECT_EQ(d.result, 0);
  EXPECT_EQ(d.rows[0], Bytes(4, kUntouched));  // the partial row is dropped
  EXPECT_EQ(d.position, static_cast<int32_t>(1 + first.size()));
  EXPECT_EQ(data[d.position], 0);
}

TEST(LzwDecoderTest, ReadSourceByteStopsAtTheEndAndWhenDetached) {
  Bytes data{7, 9};
  PayloadBuffer buffer{data.data(), 2, 0};
  attachSource(buffer);
  EXPECT_EQ(readSourceByte(), 7);
  detachSource();
  EXPECT_EQ(readSourceByte(), -1);
  attachSource(buffer);
  EXPECT_EQ(readSourceByte(), 9);
  EXPECT_EQ(readSourceByte(), -1);
  EXPECT_EQ(buffer.position, 2);
  detachSource();
}

}  // namespace
