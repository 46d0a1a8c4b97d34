// The writer's code streams: the encoder's codes for known pixels, the widths
// they are packed with, and the odd streams made on request.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "tools/gifwriter/gif_writer.h"

using namespace gifwriter;

namespace {

Bytes noise(size_t count, int colours, unsigned seed) {
  std::mt19937 random(seed);
  Bytes pixels(count);
  for (uint8_t& pixel : pixels) pixel = static_cast<uint8_t>(random() % colours);
  return pixels;
}

// For every code, the decoder's next free entry when that code is read.
std::vector<int> nextFreeBeforeEach(const std::vector<int>& codes, int codeSize) {
  CodeWidthTracker tracker(codeSize);
  std::vector<int> nextFree;
  for (int code : codes) {
    nextFree.push_back(tracker.nextFree());
    tracker.take(code);
  }
  return nextFree;
}

TEST(LzwCodes, WorkedExampleCodesAndBits) {
  // 1,1,1,2,1,1,2: 258 is used while it is being defined (1,1); 259 is 1,1,2.
  std::vector<int> codes = encodeLzw({1, 1, 1, 2, 1, 1, 2}, 8);
  EXPECT_EQ(codes, (std::vector<int>{256, 1, 258, 2, 259, 257}));
  // Six 9-bit codes, least significant bit first.
  EXPECT_EQ(packCodes(codes, 8), (Bytes{0x00, 0x03, 0x08, 0x14, 0x30, 0x30, 0x20}));
  EXPECT_EQ(unpackCodes(packCodes(codes, 8), 8), codes);
}

TEST(LzwCodes, WidthGrowsAfterTheEntryThatFillsTheWidth) {
  struct Case {
    int codeSize;
    int lastNarrow;  // data codes after the clear read at codeSize + 1 bits
  };
  for (Case c : {Case{2, 3}, Case{4, 15}, Case{8, 255}}) {
    SCOPED_TRACE("code size " + std::to_string(c.codeSize));
    // Codes counted from the clear code: entries are added from the second
    // data code on, so the width grows after data code number firstFree - 1.
    std::vector<int> codes{1 << c.codeSize};
    for (int i = 0; i < c.lastNarrow + 2; ++i) codes.push_back(1);
    std::vector<size_t> offsets;
    packCodes(codes, c.codeSize, &offsets);
    auto width = [&](int index) {
      return static_cast<int>(offsets[static_cast<size_t>(index) + 1] -
                              offsets[static_cast<size_t>(index)]);
    };
    EXPECT_EQ(width(c.lastNarrow - 1), c.codeSize + 1);
    EXPECT_EQ(width(c.lastNarrow), c.codeSize + 1);
    EXPECT_EQ(width(c.lastNarrow + 1), c.codeSize + 2);
  }
}

TEST(LzwCodes, WidthStopsAtTwelveBitsWithAFullTable) {
  CodeWidthTracker tracker(2);
  tracker.take(4);
  for (int i = 0; i < 5000; ++i) tracker.take(1);
  EXPECT_EQ(tracker.width(), 12);
  EXPECT_EQ(tracker.nextFree(), 4096);
  tracker.take(4);
  EXPECT_EQ(tracker.width(), 3);
  EXPECT_EQ(tracker.nextFree(), 6);
}

TEST(LzwCodes, ClearsExactlyWhenTheTableIsFull) {
  for (int codeSize : {2, 5, 8}) {
    SCOPED_TRACE("code size " + std::to_string(codeSize));
    std::vector<int> codes = encodeLzw(noise(60000, 1 << codeSize, 7), codeSize);
    std::vector<int> nextFree = nextFreeBeforeEach(codes, codeSize);
    int clearCode = 1 << codeSize;
    int clears = 0;
    for (size_t i = 1; i < codes.size(); ++i) {
      if (codes[i] != clearCode) continue;
      ++clears;
      EXPECT_EQ(nextFree[i], kTableSize) << "clear at code " << i;
    }
    EXPECT_GT(clears, 0);
  }
}

TEST(LzwCodes, DeferredClearKeepsCodingWithTheFullTable) {
  std::vector<int> codes = encodeLzw(noise(60000, 4, 3), 2, {.deferredClear = true});
  EXPECT_EQ(std::count(codes.begin(), codes.end(), 4), 1);
  std::vector<int> nextFree = nextFreeBeforeEach(codes, 2);
  auto full = std::count(nextFree.begin(), nextFree.end(), kTableSize);
  EXPECT_GT(full, 1000) << "codes read with a full table";
}

TEST(LzwCodes, OddStreams) {
  const Bytes pixels{1, 1, 1, 2, 1, 1, 2};
  struct Case {
    const char* name;
    LzwOptions options;
    std::vector<int> codes;
  };
  const Case cases[] = {
      {"end after 3 pixels", {.endAfterPixels = 3}, {256, 1, 258, 257}},
      {"end before any pixel", {.endAfterPixels = 0}, {256, 257}},
      {"no end code", {.endCode = false}, {256, 1, 258, 2, 259}},
      {"no initial clear", {.initialClear = false}, {1, 258, 2, 259, 257}},
      {"runs of three clears", {.clearRun = 3}, {256, 256, 256, 1, 258, 2, 259, 257}},
      {"clear after every 2 codes", {.clearEvery = 2}, {256, 1, 258, 256, 2, 1, 256, 1, 2, 257}},
      // At data code 2 the table's next free entry is 259: 511 lies beyond it.
      {"code beyond the table", {.beyondTableAt = 2}, {256, 1, 258, 511, 259, 257}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<int> codes = encodeLzw(pixels, 8, c.options);
    EXPECT_EQ(codes, c.codes);
    EXPECT_EQ(unpackCodes(packCodes(codes, 8), 8), codes);
  }
}

TEST(LzwCodes, RefusesWhatCannotBeWritten) {
  EXPECT_THROW(encodeLzw({4}, 2), std::invalid_argument);
  EXPECT_THROW(packCodes({8}, 2), std::invalid_argument);  // 3 bits wide at first
  EXPECT_THROW(encodeLzw({0}, 12), std::invalid_argument);
}

TEST(LzwCodes, InterlacedRowOrder) {
  struct Case {
    int height;
    std::vector<int> rows;
  };
  const Case cases[] = {
      {1, {0}},
      {2, {0, 1}},
      {3, {0, 2, 1}},
      {4, {0, 2, 1, 3}},
      {5, {0, 4, 2, 1, 3}},
      {8, {0, 4, 2, 6, 1, 3, 5, 7}},
      {9, {0, 8, 4, 2, 6, 1, 3, 5, 7}},
      {16, {0, 8, 4, 12, 2, 6, 10, 14, 1, 3, 5, 7, 9, 11, 13, 15}},
  };
  for (const Case& c : cases) EXPECT_EQ(interlacedRowOrder(c.height), c.rows) << c.height;
}

}  // namespace
