#include "gif/gif_parser.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gif/lzw_decoder.h"
#include "tests/unit/gif/gif_bytes.h"
#include "tests/unit/gif/refused_blocks.h"

namespace {

using namespace gifbytes;

class GifParserTest : public ::testing::Test {
 protected:
  void TearDown() override {
    grantAllBlocks();
    freeAnimation();
  }

  void parse(const Bytes& gif) {
    stream = gif;
    PayloadBuffer buffer{stream.data(), static_cast<int32_t>(stream.size()), 0};
    parseGif(buffer);
    position = buffer.position;
  }

  const GifFrame& frame(int32_t i) { return *animation.frames[i]; }

  // Picture row y of frame i.
  Bytes row(int32_t i, int32_t y) {
    const IndexedBitmap& b = frame(i).bitmap;
    const uint8_t* start = bitmapRowAddress(b, 0, b.height - 1 - y);
    return Bytes(start, start + b.width);
  }

  std::vector<int32_t> delays() {
    std::vector<int32_t> out;
    for (int32_t i = 0; i < animation.frameCount; ++i) out.push_back(frame(i).delay);
    return out;
  }

  Bytes stream;
  int32_t position = 0;
};

const Bytes kPixels{1, 2, 3, 4, 5, 6};
const Bytes kImage = image(3, 2, kPixels);
const Bytes kTrailer{0x3B};

TEST_F(GifParserTest, AnySixBytesStartAStream) {
  for (const char* signature : {"GIF89a", "GIF87a", "PNG?!x"}) {
    parse(concat({header(3, 2, 0x80, signature), colourTable(0), kImage, kTrailer}));
    EXPECT_EQ(animation.screenWidth, 3) << signature;
    EXPECT_EQ(animation.screenHeight, 2) << signature;
    ASSERT_EQ(animation.frameCount, 1) << signature;
    EXPECT_EQ(row(0, 0), (Bytes{1, 2, 3})) << signature;
    EXPECT_EQ(row(0, 1), (Bytes{4, 5, 6})) << signature;
  }
}

TEST_F(GifParserTest, GlobalColourTableSizeComesFromThePackedFields) {
  struct Case {
    uint8_t packed;
    int32_t count;
  };
  for (const Case& c : {Case{0x80, 2}, Case{0x81, 4}, Case{0x87, 256}, Case{0xF8, 2}, Case{0x00, 0},
                        Case{0x77, 0}}) {
    Bytes table = c.count ? colourTable(c.packed & 7) : Bytes{};
    parse(concat({header(3, 2, c.packed), table, kImage, kTrailer}));
    EXPECT_EQ(animation.palette.count, c.count) << "packed " << int{c.packed};
    EXPECT_EQ(animation.frameCount, 1) << "packed " << int{c.packed};
  }
}

TEST_F(GifParserTest, ColoursArePackedRedGreenBlueFromTheLowByte) {
  parse(concat({header(1, 1, 0x80), {10, 20, 30, 0xFF, 0xFE, 0xFD}, kTrailer}));
  EXPECT_EQ(animation.palette.entries[0], 0x1E140Au);
  EXPECT_EQ(animation.palette.entries[1], 0xFDFEFFu);
}

TEST_F(GifParserTest, StreamsThatEndEarly) {
  struct Case {
    const char* what;
    Bytes gif;
    int32_t paletteCount, frameCount;
  };
  const Case cases[] = {
      {"nothing", {}, 0, 0},
      {"inside the screen descriptor", bytesOf("GIF89a\x05"), 0, 0},
      {"behind the screen descriptor", header(3, 2, 0x80), 0, 0},
      {"inside the colour table", concat({header(3, 2, 0x81), {1, 2, 3, 4, 5}}), 4, 0},
      {"behind the colour table", concat({header(3, 2, 0x80), colourTable(0)}), 2, 0},
      {"inside a graphic control", concat({start(3, 2), {0x21, 0xF9, 4, 0, 25}}), 256, 0},
      {"inside an extension", concat({start(3, 2), kImage, {0x21, 0xFE, 10, 'a', 'b'}}), 256, 1},
      {"on an extension label", concat({start(3, 2), kImage, {0x21, 0xFE}}), 256, 1},
  };
  for (const Case& c : cases) {
    parse(c.gif);
    EXPECT_EQ(animation.palette.count, c.paletteCount) << c.what;
    EXPECT_EQ(animation.frameCount, c.frameCount) << c.what;
  }
  parse(concat({header(3, 2, 0x81), {1, 2, 3, 4, 5}}));
  EXPECT_EQ(animation.palette.entries[0], 0x030201u);
  EXPECT_EQ(animation.palette.entries[1], 0u);  // not read whole
}

TEST_F(GifParserTest, BlocksBetweenImages) {
  const Bytes comment{0x21, 0xFE, 3, 'a', 'b', 'c', 0};
  const Bytes application = concat({{0x21, 0xFF, 11}, bytesOf("NETSCAPE2.0"), {3, 1, 0, 0, 0}});
  struct Case {
    const char* what;
    Bytes blocks;
    std::vector<int32_t> delays;
  };
  const Case cases[] = {
      {"delay for the next image only", concat({graphicControl(25), kImage, kImage}), {25, 0}},
      {"the last of two delays counts",
       concat({graphicControl(10), graphicControl(20), kImage}),
       {20}},
      {"a delay no image follows is lost", concat({kImage, graphicControl(30), kTrailer}), {0}},
      {"the largest delay", concat({graphicControl(65535), kImage}), {65535}},
      {"graphic control of block size 5 ends the stream",
       concat({kImage, {0x21, 0xF9, 5, 0, 9, 0, 0, 0, 0}, kImage}),
       {0}},
      {"graphic control without its terminator ends the stream",
       concat({kImage, {0x21, 0xF9, 4, 0, 9, 0, 0, 1}, kImage}),
       {0}},
      {"comment and application extensions are passed over",
       concat({comment, graphicControl(7), application, kImage, comment, kImage}),
       {7, 0}},
      {"the trailer ends the stream", concat({kImage, kTrailer, kImage}), {0}},
      {"a stray zero ends the stream", concat({kImage, {0}, kImage}), {0}},
  };
  for (const Case& c : cases) {
    parse(concat({start(3, 2), c.blocks}));
    EXPECT_EQ(delays(), c.delays) << c.what;
  }
}

TEST_F(GifParserTest, FrameListGrowsByAHundred) {
  struct Case {
    int32_t frames, capacity;
  };
  for (const Case& c :
       {Case{0, 100}, Case{100, 100}, Case{101, 200}, Case{200, 200}, Case{201, 300}}) {
    Bytes gif = start(1, 1);
    for (int32_t i = 0; i < c.frames; ++i)
      gif = concat({gif, graphicControl(i), image(1, 1, {static_cast<uint8_t>(i)})});
    parse(concat({gif, kTrailer}));
    ASSERT_EQ(animation.frameCount, c.frames) << c.frames << " frames";
    EXPECT_EQ(animation.frameCapacity, c.capacity) << c.frames << " frames";
    for (int32_t i = 0; i < c.frames; ++i) {
      ASSERT_EQ(frame(i).delay, i) << "frame " << i << " of " << c.frames;
      ASSERT_EQ(row(i, 0)[0], static_cast<uint8_t>(i)) << "frame " << i << " of " << c.frames;
    }
  }
}

TEST_F(GifParserTest, FrameWhoseDataEndsAtItsDescriptorHasNoStorage) {
  for (size_t cut : {size_t{10}, size_t{5}}) {
    Bytes gif = concat({start(9, 9), graphicControl(4), kImage, descriptor(2, 3, 4, 5, 0x40)});
    gif.resize(gif.size() - (10 - cut));
    parse(gif);
    ASSERT_EQ(animation.frameCount, 2) << "descriptor of " << cut << " bytes";
    EXPECT_NE(frame(0).bitmap.storage, nullptr);
    EXPECT_EQ(frame(1).bitmap.storage, nullptr);
    EXPECT_EQ(frame(1).delay, 0);
    if (cut == 10) {
      EXPECT_EQ(frame(1).left, 2);
      EXPECT_EQ(frame(1).top, 3);
      EXPECT_EQ(frame(1).width, 4);
      EXPECT_EQ(frame(1).height, 5);
      EXPECT_NE(frame(1).interlaced, 0);
    }
  }
}

TEST_F(GifParserTest, InterlacedImageRowsArePlacedInPassOrder) {
  Bytes pixels;  // arrival order 0, 4, 2, 1, 3: row r holds r * 10 + x
  for (int r : {0, 4, 2, 1, 3})
    for (int x = 0; x < 2; ++x) pixels.push_back(static_cast<uint8_t>(r * 10 + x));
  parse(concat({start(2, 5), image(2, 5, pixels, 0x40), kTrailer}));
  ASSERT_EQ(animation.frameCount, 1);
  for (int32_t y = 0; y < 5; ++y)
    EXPECT_EQ(row(0, y), (Bytes{static_cast<uint8_t>(y * 10), static_cast<uint8_t>(y * 10 + 1)}))
        << "row " << y;
}

// Where the parse goes on after an image depends on how far the decoder read.
TEST_F(GifParserTest, ParseGoesOnOneByteBehindTheDecoder) {
  // clear 1 2 end, 9 bits each: the two pixels lie in the first four bytes,
  // the rest of the end code in the fifth.
  const Bytes codes = packCodes({256, 1, 2, 257}, 9);
  const Bytes noEnd = packCodes({256, 1, 2}, 9);
  struct Case {
    const char* what;
    Bytes image;
    int32_t frames;
  };
  const Case cases[] = {
      {"end code in the last sub-block",
       concat({descriptor(0, 0, 2, 1), {8}, subBlocks(codes), {0}}), 2},
      // The skipped byte is the last sub-block's size; its data byte 0x08 is
      // then taken for an introducer.
      {"last row stored before the sub-block of the end code",
       concat({descriptor(0, 0, 2, 1), {8}, subBlocks(codes, 4), {0}}), 1},
      {"end code behind a partial row",
       concat({descriptor(0, 0, 3, 1), {8}, subBlocks(codes, 4), {0}}), 2},
      // The terminator met while codes are still wanted ends the image there.
      {"no end code", concat({descriptor(0, 0, 3, 1), {8}, subBlocks(noEnd, 3), {0}}), 2},
      {"no pixel data at all", concat({descriptor(0, 0, 3, 1), {8, 0}}), 2},
  };
  for (const Case& c : cases) {
    parse(concat({start(3, 2), c.image, kImage, kTrailer}));
    ASSERT_EQ(animation.frameCount, c.frames) << c.what;
    if (c.frames == 2) {
      EXPECT_EQ(row(1, 0), (Bytes{1, 2, 3})) << c.what;
    }
  }
}

TEST_F(GifParserTest, OwnColourTableIsSkippedAndItsColoursKept) {
  // Global entry i is (i, 2i, 3i); the frame's own entries 0 and 1 are the
  // global colours 5 and 9, entries 2 and 3 global colour 0.
  Bytes own{5, 10, 15, 9, 18, 27, 0, 0, 0, 0, 0, 0};
  Bytes gif = concat({start(3, 2), descriptor(0, 0, 3, 2, 0x81), own, raster({0, 1, 2, 1, 0, 3}),
                      kImage, kTrailer});
  parse(gif);
  ASSERT_EQ(animation.frameCount, 2);
  EXPECT_EQ(row(0, 0), (Bytes{5, 9, 0}));
  EXPECT_EQ(row(0, 1), (Bytes{9, 5, 0}));
  EXPECT_EQ(row(1, 0), (Bytes{1, 2, 3}));  // the global table again
}

TEST_F(GifParserTest, FrameTooLargeForItsDataIsDecodedWithoutStorage) {
  Bytes huge = concat({descriptor(0, 0, 20000, 20000), raster({1, 2, 3})});
  parse(concat({start(3, 2), huge, kImage, kTrailer}));
  ASSERT_EQ(animation.frameCount, 2);
  EXPECT_EQ(frame(0).bitmap.storage, nullptr);
  EXPECT_EQ(frame(0).width, 20000);
  EXPECT_EQ(row(1, 1), (Bytes{4, 5, 6}));
}

TEST_F(GifParserTest, FrameWithoutStorageLeavesTheStreamWhereStorageWould) {
  // The first frame's rows end before its end code's sub-block.
  Bytes first =
      concat({descriptor(0, 0, 2, 1), {8}, subBlocks(packCodes({256, 1, 2, 257}, 9), 4), {0}});
  for (bool refused : {false, true}) {
    refuseBlocksWhen([&](size_t bytes) { return refused && bytes == 4; });
    parse(concat({start(3, 2), first, kImage, kTrailer}));
    grantAllBlocks();
    EXPECT_EQ(animation.frameCount, 1) << (refused ? "refused" : "granted");
    // screen, table, descriptor, code size, first sub-block, skipped size byte, 0x08
    EXPECT_EQ(position, 13 + 768 + 10 + 1 + 5 + 1 + 1) << (refused ? "refused" : "granted");
    EXPECT_EQ(frame(0).bitmap.storage == nullptr, refused);
  }
}

TEST_F(GifParserTest, RefusedMemoryEndsTheParseWithWhatWasRead) {
  Bytes gif = start(1, 1);
  for (int32_t i = 0; i < 150; ++i) gif = concat({gif, image(1, 1, {7})});
  struct Case {
    const char* what;
    size_t bytes;  // the size of the block refused
    int32_t refusedAfter;
    int32_t frames;
  };
  const Case cases[] = {
      {"frame list", 100 * sizeof(GifFrame*), 0, 0},
      {"grown frame list", 200 * sizeof(GifFrame*), 0, 100},
      {"third frame record", sizeof(GifFrame), 2, 2},
  };
  for (const Case& c : cases) {
    int32_t granted = 0;
    refuseBlocksWhen([&](size_t bytes) { return bytes == c.bytes && granted++ >= c.refusedAfter; });
    parse(gif);
    grantAllBlocks();
    EXPECT_EQ(animation.frameCount, c.frames) << c.what;
    EXPECT_EQ(animation.screenWidth, c.frames ? 1 : 0) << c.what;
    for (int32_t i = 0; i < animation.frameCount; ++i) ASSERT_EQ(row(i, 0)[0], 7) << c.what;
  }
}

}  // namespace
