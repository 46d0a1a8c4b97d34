#include "picture/indexed_bitmap.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "platform/global_block.h"

namespace {

TEST(IndexedBitmapTest, StrideAndImageSize) {
  struct Case {
    int32_t width, height, stride;
    DWORD imageSize;
  };
  for (const Case& c : {Case{1, 1, 4, 4}, Case{4, 1, 4, 4}, Case{5, 1, 8, 8}, Case{0, 7, 0, 0},
                        Case{3, 2, 4, 8}, Case{65535, 2, 65536, 131072}}) {
    IndexedBitmap bitmap;
    describeBitmap(bitmap, c.width, c.height);
    EXPECT_EQ(bitmap.stride, c.stride) << c.width << "x" << c.height;
    EXPECT_EQ(bitmap.header.biSizeImage, c.imageSize) << c.width << "x" << c.height;
  }
}

TEST(IndexedBitmapTest, DescriptionIsWhatDrawingReads) {
  IndexedBitmap bitmap;
  describeBitmap(bitmap, 3, 2);
  const BITMAPINFOHEADER& h = bitmap.header;
  EXPECT_EQ(h.biSize, 40u);
  EXPECT_EQ(h.biWidth, 3);
  EXPECT_EQ(h.biHeight, 2);
  EXPECT_EQ(h.biPlanes, 1);
  EXPECT_EQ(h.biBitCount, 8);
  EXPECT_EQ(h.biCompression, static_cast<DWORD>(BI_RGB));
  EXPECT_EQ(h.biClrUsed, 256u);
  EXPECT_EQ(h.biClrImportant, 0u);
  EXPECT_EQ(static_cast<void*>(bitmap.bitmapInfo), static_cast<void*>(&bitmap.header));
  auto* table = reinterpret_cast<const uint16_t*>(bitmap.bitmapInfo->bmiColors);
  for (int i = 0; i < 256; ++i) ASSERT_EQ(table[i], i);
  EXPECT_EQ(bitmap.ownsStorage, 0);
  EXPECT_EQ(bitmap.storage, nullptr);
  releaseBitmap(bitmap);  // nothing to return
}

TEST(IndexedBitmapTest, RowsAreStoredBottomUp) {
  IndexedBitmap bitmap;
  createBitmap(bitmap, 5, 3);
  ASSERT_NE(bitmap.storage, nullptr);
  EXPECT_EQ(bitmap.ownsStorage, 1);
  EXPECT_EQ(bitmapRowAddress(bitmap, 0, 0), bitmap.storage);
  EXPECT_EQ(bitmapRowAddress(bitmap, 2, 1), bitmap.storage + 8 + 2);
  // picture row 0 of a bitmap of height 3 is storage row 2
  std::memset(bitmapRowAddress(bitmap, 0, bitmap.height - 1 - 0), 9, 5);
  EXPECT_EQ(bitmap.storage[2 * 8 + 4], 9);
  releaseBitmap(bitmap);
  EXPECT_EQ(bitmap.storage, nullptr) << "no pointer is left behind";
  releaseBitmap(bitmap);  // a second release returns nothing
}

// A frame whose image data ends early shows index 0 there, not what the heap
// held: the block is dirtied and given back first, so the bitmap most likely
// gets the same memory.
TEST(IndexedBitmapTest, StorageStartsAsIndexZero) {
  for (int32_t width : {5, 64, 1000, 2000}) {  // 2000 x 40: a block made present at once
    size_t size = static_cast<size_t>((width + 3) & ~3) * 40;
    void* dirty = allocateBlock(static_cast<uint32_t>(size));
    std::memset(dirty, 0xAB, size);
    releaseBlock(dirty);
    IndexedBitmap bitmap;
    createBitmap(bitmap, width, 40);
    ASSERT_NE(bitmap.storage, nullptr);
    EXPECT_EQ(std::count(bitmap.storage, bitmap.storage + size, 0), static_cast<ptrdiff_t>(size))
        << width;
    releaseBitmap(bitmap);
  }
}

TEST(IndexedBitmapTest, SizesBeyondABlockLeaveNoStorage) {
  struct Case {
    int32_t width, height;
  };
  for (const Case& c : {Case{65535, 65535}, Case{0x7FFFFFFF, 2}, Case{40000, 60000}}) {
    IndexedBitmap bitmap;
    createBitmap(bitmap, c.width, c.height);
    EXPECT_EQ(bitmap.storage, nullptr) << c.width << "x" << c.height;
    EXPECT_EQ(bitmap.header.biSizeImage, 0u);
    releaseBitmap(bitmap);
  }
}

TEST(IndexedBitmapTest, ZeroWidthAsksForAnEmptyBlock) {
  IndexedBitmap bitmap;
  createBitmap(bitmap, 0, 10);
  EXPECT_EQ(bitmap.stride, 0);
  EXPECT_EQ(bitmap.ownsStorage, 1);
  releaseBitmap(bitmap);
}

}  // namespace
