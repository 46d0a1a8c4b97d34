#include "gif/frame_row_writer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "gif/lzw_decoder.h"
#include "tests/support/test_support.h"

namespace {

constexpr uint8_t kUntouched = 0xEE;

class FrameRowWriterTest : public ::testing::Test {
 protected:
  void SetUp() override { attachSource(source); }
  void TearDown() override {
    detachSource();
    frameRowWriter.target = nullptr;
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
  bool detached() { return lzwDecoder.source == nullptr; }

  Bytes sourceBytes{0};
  PayloadBuffer source{sourceBytes.data(), 1, 0};
  IndexedBitmap bitmap{};
};

// The four passes as the format defines them: every 8th row from 0, every
// 8th from 4, every 4th from 2, every 2nd from 1.
std::vector<int32_t> interlacedOrder(int32_t height) {
  std::vector<int32_t> rows;
  for (auto [first, step] : {std::pair{0, 8}, {4, 8}, {2, 4}, {1, 2}})
    for (int32_t r = first; r < height; r += step) rows.push_back(r);
  return rows;
}

TEST_F(FrameRowWriterTest, InterlacedOrderFollowsTheFourPasses) {
  EXPECT_EQ(interlacedOrder(5), (std::vector<int32_t>{0, 4, 2, 1, 3}));
  EXPECT_EQ(interlacedOrder(9), (std::vector<int32_t>{0, 8, 4, 2, 6, 1, 3, 5, 7}));
  for (int32_t interlaced : {0, 1}) {
    for (int32_t height = 1; height <= 16; ++height) {
      SCOPED_TRACE(testing::Message() << "height " << height << (interlaced ? " interlaced" : ""));
      prepare(1, height, interlaced);
      attachSource(source);
      for (int32_t i = 0; i < height; ++i) {
        EXPECT_FALSE(detached()) << "before row " << i;
        uint8_t value = static_cast<uint8_t>(i);
        EXPECT_EQ(writeRow(&value, 1), 0);
      }
      EXPECT_TRUE(detached());
      std::vector<int32_t> order(height);
      for (int32_t r = 0; r < height; ++r) order[r] = r;
      if (interlaced) order = interlacedOrder(height);
      for (int32_t i = 0; i < height; ++i) EXPECT_EQ(pixel(0, order[i]), i) << "arrival " << i;
    }
  }
}

TEST_F(FrameRowWriterTest, RowsAreCutToTheWidthAndShortRowsFillTheirStart) {
  prepare(3, 3, 0);
  const uint8_t pixels[] = {1, 2, 3, 4, 5};
  writeRow(pixels, 5);
  writeRow(pixels, 2);
  EXPECT_EQ(Bytes(bitmapRowAddress(bitmap, 0, 2), bitmapRowAddress(bitmap, 0, 2) + 4),
            (Bytes{1, 2, 3, kUntouched}));  // the padding byte is not written
  EXPECT_EQ(pixel(0, 1), 1);
  EXPECT_EQ(pixel(1, 1), 2);
  EXPECT_EQ(pixel(2, 1), kUntouched);
  EXPECT_EQ(frameRowWriter.rowIndex, 2);
}

TEST_F(FrameRowWriterTest, RowsAfterTheLastAreDropped) {
  prepare(2, 1, 0);
  const uint8_t first[] = {1, 2};
  const uint8_t more[] = {7, 7};
  writeRow(first, 2);
  attachSource(source);
  EXPECT_EQ(writeRow(more, 2), 0);
  EXPECT_EQ(pixel(0, 0), 1);
  EXPECT_FALSE(detached());  // only the step onto the end detaches
}

TEST_F(FrameRowWriterTest, HeightZeroDropsEveryRowAndNeverDetaches) {
  prepare(4, 0, 1);
  const uint8_t row[] = {1, 2, 3, 4};
  for (int i = 0; i < 20; ++i) EXPECT_EQ(writeRow(row, 4), 0);
  EXPECT_FALSE(detached());
}

TEST_F(FrameRowWriterTest, WithoutTargetRowsAreIgnored) {
  frameRowWriter.target = nullptr;
  const uint8_t row[] = {1};
  EXPECT_EQ(writeRow(row, 1), 0);
  EXPECT_FALSE(detached());
}

// A frame whose storage could not be had takes its rows all the same, so
// that decoding stops where it would have with storage.
TEST_F(FrameRowWriterTest, BitmapWithoutStorageStillCountsItsRows) {
  describeBitmap(bitmap, 5, 3);
  beginFrame(bitmap, 1);
  const uint8_t row[] = {1, 2, 3, 4, 5};
  writeRow(row, 5);
  writeRow(row, 5);
  EXPECT_FALSE(detached());
  writeRow(row, 5);
  EXPECT_TRUE(detached());
}

TEST_F(FrameRowWriterTest, OwnColoursAreStoredAsTheNearestShownColour) {
  PaletteTable shown{};
  shown.count = 4;
  shown.entries[0] = 0x000000;
  shown.entries[1] = 0x0000FF;  // red
  shown.entries[2] = 0xFF0000;  // blue
  shown.entries[3] = 0x0000FF;  // red again: the first match counts
  PaletteTable own{};
  own.count = 4;
  own.entries[0] = 0xFF0000;  // exactly blue
  own.entries[1] = 0x0000FF;  // exactly red
  own.entries[2] = 0x1010E0;  // nearly red
  own.entries[3] = 0x202020;  // nearly black
  prepare(6, 1, 0);
  mapColours(own, shown);
  const uint8_t row[] = {0, 1, 2, 3, 4, 200};  // 4 and 200 lie beyond the own table
  writeRow(row, 6);
  for (auto [x, want] : {std::pair{0, 2}, {1, 1}, {2, 1}, {3, 0}, {4, 4}, {5, 200}})
    EXPECT_EQ(pixel(x, 0), want) << "own colour " << int{row[x]};

  prepare(1, 1, 0);  // the next frame starts without the map
  writeRow(row + 2, 1);
  EXPECT_EQ(pixel(0, 0), 2);
}

}  // namespace
