#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "gif/gif_animation.h"
#include "gif/gif_parser.h"
#include "platform/linux/gdi32/gdi_objects.h"
#include "tests/unit/gif/gif_pieces.h"
#include "tests/unit/gif/refused_blocks.h"

namespace {

const Bytes kPixels{1, 2, 3, 4, 5, 6};
const Bytes kImage = image(3, 2, kPixels);
const Bytes kTrailer{0x3B};

Bytes firstBytes(const Bytes& data, size_t n) { return Bytes(data.begin(), data.begin() + n); }

class GifParserTest : public ::testing::Test {
 protected:
  void TearDown() override {
    grantAllBlocks();
    freeAnimation();
    closeLocator();
    canvas = IndexedBitmap{};
  }

  void parse(Bytes gif) {
    PayloadBuffer buffer{gif.data(), static_cast<int32_t>(gif.size()), 0};
    parseGif(buffer);
  }

  // A program file carrying gif as its picture payload, loaded.
  int load(const Bytes& gif) {
    std::filesystem::path path = scratch.file("player.exe");
    writeFileBytes(path, concat({Bytes(100, 0x90), bytesOf("*GIF_BEGINS_HERE:"),
                                 lengthField(static_cast<uint32_t>(gif.size())), gif}));
    return loadAnimation(path.string().c_str(), kPictureTag);
  }

  const GifFrame& frame(int32_t i) { return *animation.frames[i]; }

  // The pixels of frame i, picture rows from the top.
  Bytes pixels(int32_t i) {
    const IndexedBitmap& b = frame(i).bitmap;
    Bytes out;
    for (int32_t y = 0; y < b.height; ++y) {
      const uint8_t* row = bitmapRowAddress(b, 0, b.height - 1 - y);
      out.insert(out.end(), row, row + b.width);
    }
    return out;
  }

  std::vector<int32_t> delays() {
    std::vector<int32_t> out;
    for (int32_t i = 0; i < animation.frameCount; ++i) out.push_back(frame(i).delay);
    return out;
  }

  ScratchDir scratch;
};

TEST_F(GifParserTest, ScreenAndGlobalColourTable) {
  for (const char* signature : {"GIF89a", "GIF87a", "PNG?!x"}) {
    parse(concat({screen(3, 2, 0, signature), kImage, kTrailer}));
    EXPECT_EQ(animation.screenWidth, 3) << signature;
    EXPECT_EQ(animation.screenHeight, 2) << signature;
    ASSERT_EQ(animation.frameCount, 1) << signature;
    EXPECT_EQ(pixels(0), kPixels) << signature;
  }
  for (int n : {0, 1, 7}) {
    parse(concat({screen(3, 2, n), kImage}));
    EXPECT_EQ(animation.palette.count, 2 << n) << "size bits " << n;
    EXPECT_EQ(animation.frameCount, 1) << "size bits " << n;
  }
  EXPECT_EQ(animation.palette.entries[200], 200u | 144u << 8 | 88u << 16);  // (200, 400, 600) bytes
  Bytes noTable = concat({screen(3, 2, 0), kImage});
  noTable.erase(noTable.begin() + 10, noTable.begin() + 19);
  noTable.insert(noTable.begin() + 10, {0x77, 0, 0});  // bits 0-6 set, bit 7 not
  parse(noTable);
  EXPECT_EQ(animation.palette.count, 0);
  EXPECT_EQ(animation.frameCount, 1);
}

TEST_F(GifParserTest, StreamsThatEndEarly) {
  struct Case {
    const char* what;
    Bytes gif;
    int32_t paletteCount, frameCount;
  };
  const Case cases[] = {
      {"inside the screen descriptor", bytesOf("GIF89a\x05"), 0, 0},
      {"behind the screen descriptor", firstBytes(screen(3, 2, 1), 13), 0, 0},
      {"inside the colour table", firstBytes(screen(3, 2, 1), 18), 4, 0},
      {"inside a graphic control", concat({screen(3, 2), {0x21, 0xF9, 4, 0, 25}}), 256, 0},
      {"inside an extension", concat({screen(3, 2), kImage, {0x21, 0xFE, 10, 'a', 'b'}}), 256, 1},
  };
  for (const Case& c : cases) {
    parse(c.gif);
    EXPECT_EQ(animation.palette.count, c.paletteCount) << c.what;
    EXPECT_EQ(animation.frameCount, c.frameCount) << c.what;
  }
  EXPECT_EQ(animation.palette.entries[1], 0x030201u);
  parse(cases[2].gif);
  EXPECT_EQ(animation.palette.entries[1], 0u) << "an entry not read whole";
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
      {"a delay for the next image only", concat({graphicControl(25), kImage, kImage}), {25, 0}},
      {"the last of two delays counts",
       concat({graphicControl(10), graphicControl(20), kImage}),
       {20}},
      {"a delay no image follows is lost", concat({kImage, graphicControl(30), kTrailer}), {0}},
      {"graphic control of block size 5 ends the stream",
       concat({kImage, {0x21, 0xF9, 5, 0, 9, 0, 0, 0, 0}, kImage}),
       {0}},
      {"graphic control with a non-zero terminator ends the stream",
       concat({kImage, {0x21, 0xF9, 4, 0, 9, 0, 0, 1}, kImage}),
       {0}},
      {"comment and application extensions are passed over",
       concat({comment, graphicControl(65535), application, kImage, comment, kImage}),
       {65535, 0}},
      {"the trailer ends the stream", concat({kImage, kTrailer, kImage}), {0}},
      {"a stray zero ends the stream", concat({kImage, {0}, kImage}), {0}},
  };
  for (const Case& c : cases) {
    parse(concat({screen(3, 2), c.blocks}));
    EXPECT_EQ(delays(), c.delays) << c.what;
  }
}

// A tool watching the parse is told of every image as it is read: where its
// separator stands, and where the next block is then read.
TEST_F(GifParserTest, ObserverIsToldOfEveryImageRead) {
  using Told = std::vector<std::pair<int32_t, int32_t>>;
  Told told;
  auto tell = [](void* context, int32_t separator, const GifFrame&, const PayloadBuffer& buffer) {
    static_cast<Told*>(context)->push_back({separator, buffer.position});
  };
  imageObserver = {tell, &told};
  const Bytes head = concat({screen(3, 2), graphicControl(5)});
  const Bytes comment{0x21, 0xFE, 1, 'a', 0};
  parse(concat({head, kImage, comment, kImage, descriptor(0, 0, 3, 2)}));
  imageObserver = {nullptr, nullptr};
  auto first = static_cast<int32_t>(head.size()), image = static_cast<int32_t>(kImage.size());
  int32_t second = first + image + static_cast<int32_t>(comment.size()), third = second + image;
  EXPECT_EQ(told, (Told{{first, first + image}, {second, second + image}, {third, third + 10}}));
}

TEST_F(GifParserTest, FrameListGrowsByAHundred) {
  for (auto [frames, capacity] : {std::pair{100, 100}, {101, 200}, {200, 200}, {201, 300}}) {
    Bytes gif = screen(1, 1);
    for (int32_t i = 0; i < frames; ++i)
      gif = concat({gif, graphicControl(i), image(1, 1, {static_cast<uint8_t>(i)})});
    parse(gif);
    ASSERT_EQ(animation.frameCount, frames);
    EXPECT_EQ(animation.frameCapacity, capacity) << frames << " frames";
    for (int32_t i = 0; i < frames; ++i) {
      ASSERT_EQ(frame(i).delay, i) << "frame " << i << " of " << frames;
      ASSERT_EQ(pixels(i)[0], static_cast<uint8_t>(i)) << "frame " << i << " of " << frames;
    }
  }
}

TEST_F(GifParserTest, FrameWhoseDataEndsAtItsDescriptorHasNoStorage) {
  for (size_t cut : {10, 5}) {
    Bytes gif = concat({screen(9, 9), graphicControl(4), kImage, descriptor(2, 3, 4, 5, 0x40)});
    parse(Bytes(gif.begin(), gif.end() - (10 - cut)));
    ASSERT_EQ(animation.frameCount, 2) << "descriptor of " << cut << " bytes";
    EXPECT_EQ(frame(1).bitmap.storage, nullptr);
    EXPECT_EQ(frame(1).delay, 0);
    EXPECT_EQ(frame(1).top, 3);
    EXPECT_EQ(frame(1).height, cut == 10 ? 5 : 0);
  }
}

// Whether the decoder stopped at the last row, at the end code or at the
// block terminator, the parse goes on with the next block.
TEST_F(GifParserTest, ParseGoesOnAtTheNextBlock) {
  const std::vector<int> codes{256, 1, 2, 257};  // 36 bits: the end code reaches byte 5
  Bytes badCodeSize = imageData(codes, 8);
  badCodeSize[0] = 12;
  struct Case {
    const char* what;
    Bytes image;
  };
  const Case cases[] = {
      {"end code in the last sub-block", concat({descriptor(0, 0, 2, 1), imageData(codes, 8)})},
      {"last row stored before the sub-block of the end code",
       concat({descriptor(0, 0, 2, 1), imageData(codes, 8, 4)})},
      {"end code behind a partial row", concat({descriptor(0, 0, 3, 1), imageData(codes, 8, 4)})},
      {"sub-blocks behind the end code",
       concat({descriptor(0, 0, 3, 1), imageData({256, 1, 2, 257, 3, 4, 5, 6, 7}, 8, 2)})},
      {"no end code", concat({descriptor(0, 0, 3, 1), imageData({256, 1, 2}, 8, 3)})},
      {"no pixel data at all", concat({descriptor(0, 0, 3, 1), {8, 0}})},
      {"code size out of range", concat({descriptor(0, 0, 3, 1), badCodeSize})},
  };
  for (const Case& c : cases) {
    parse(concat({screen(3, 2), c.image, kImage, kTrailer}));
    ASSERT_EQ(animation.frameCount, 2) << c.what;
    EXPECT_EQ(pixels(1), kPixels) << c.what;
  }
}

TEST_F(GifParserTest, OwnColourTableIsReadAndItsColoursKept) {
  // The frame's entries 0 and 1 are the global colours 5 and 9, 2 and 3 black.
  Bytes own{5, 10, 15, 9, 18, 27, 0, 0, 0, 0, 0, 0};
  parse(concat({screen(3, 2), descriptor(0, 0, 3, 2, 0x81), own,
                imageData(gifwriter::encodeLzw({0, 1, 2, 1, 0, 3}, 2), 2), kImage}));
  ASSERT_EQ(animation.frameCount, 2);
  EXPECT_EQ(pixels(0), (Bytes{5, 9, 0, 9, 5, 0}));
  EXPECT_EQ(pixels(1), kPixels);  // in the global colours again
}

// A frame without storage (refused, or beyond the 2 GiB that all frames
// together may take) is decoded all the same, so the parse goes on behind it.
TEST_F(GifParserTest, FrameWithoutStorageKeepsTheStreamInStep) {
  Bytes gif = concat({screen(3, 2), image(2, 1, {7, 8}), kImage, kTrailer});
  refuseBlocksWhen([](size_t bytes) { return bytes == 4; });  // the 2 x 1 frame's pixels
  parse(gif);
  grantAllBlocks();
  ASSERT_EQ(animation.frameCount, 2) << "refused";
  EXPECT_EQ(frame(0).bitmap.storage, nullptr);
  EXPECT_EQ(pixels(1), kPixels);

  // 900 MB each: the third does not fit beside the first two.
  Bytes large = concat({descriptor(0, 0, 30000, 30000), imageData({256, 1, 2, 257}, 8)});
  parse(concat({screen(3, 2), large, large, large, kImage}));
  ASSERT_EQ(animation.frameCount, 4) << "three of 30000 x 30000 from a few bytes";
  EXPECT_NE(frame(0).bitmap.storage, nullptr);
  EXPECT_NE(frame(1).bitmap.storage, nullptr);
  EXPECT_EQ(frame(2).bitmap.storage, nullptr);
  EXPECT_EQ(frame(2).width, 30000);
  EXPECT_EQ(pixels(3), kPixels);
}

// Cut 1 to 7 bytes into its last image's data, the benchmark animation keeps
// all of its frames, the last one with storage for the rows that arrived.
TEST_F(GifParserTest, FrameCutShortKeepsItsStorage) {
  Bytes gif = readFileBytes(std::filesystem::path(GIFPLAY_TESTDATA) / "bench" / "anim.gif");
  const Bytes lastDescriptor = descriptor(0, 0, 320, 240);
  auto last = std::find_end(gif.begin(), gif.end(), lastDescriptor.begin(), lastDescriptor.end());
  ASSERT_NE(last, gif.end());
  size_t codeSize = (last - gif.begin()) + lastDescriptor.size();
  for (size_t cut = 1; cut <= 7; ++cut) {
    parse(firstBytes(gif, codeSize + cut));
    ASSERT_EQ(animation.frameCount, 100) << cut << " bytes";
    EXPECT_NE(frame(99).bitmap.storage, nullptr) << cut << " bytes";
  }
}

TEST_F(GifParserTest, RefusedMemoryEndsTheParseWithWhatWasRead) {
  Bytes gif = screen(1, 1);
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
    for (int32_t i = 0; i < animation.frameCount; ++i) ASSERT_EQ(pixels(i)[0], 7) << c.what;
  }
}

TEST_F(GifParserTest, LoadMakesPaletteAndCanvas) {
  ASSERT_EQ(load(concat({screen(5, 4, 1), kImage, kTrailer})), 1);
  EXPECT_EQ(animation.frameCount, 1);
  EXPECT_EQ(payloadLocator.file, nullptr);  // closed once loaded
  EXPECT_EQ(canvas.width, 5);
  EXPECT_EQ(canvas.height, 4);
  EXPECT_NE(canvas.storage, nullptr);
  PaletteObject* made = paletteFromHandle(applicationPalette);
  ASSERT_NE(made, nullptr);
  ASSERT_EQ(made->entries.size(), 4u);
  EXPECT_EQ(made->entries[3].peRed, 3);
  EXPECT_EQ(made->entries[3].peGreen, 6);
  EXPECT_EQ(made->entries[3].peBlue, 9);
  EXPECT_EQ(made->entries[3].peFlags, 0);
  HPALETTE palette = applicationPalette;
  freeAnimation();  // frames, palette and canvas, all in one
  EXPECT_EQ(animation.frames, nullptr);
  EXPECT_EQ(canvas.storage, nullptr);
  EXPECT_EQ(applicationPalette, nullptr);
  EXPECT_EQ(paletteFromHandle(palette), nullptr) << "the palette is deleted";
}

TEST_F(GifParserTest, LoadFailures) {
  std::filesystem::path bare = scratch.file("bare.exe");
  writeFileBytes(bare, Bytes(50, 0x90));
  EXPECT_EQ(loadAnimation(bare.string().c_str(), kPictureTag), 0) << "no payload";

  std::filesystem::path cut = scratch.file("cut.exe");
  writeFileBytes(cut, concat({bytesOf("*GIF_BEGINS_HERE:"), lengthField(2000), screen(1, 1)}));
  EXPECT_EQ(loadAnimation(cut.string().c_str(), kPictureTag), 0) << "payload cut short";
  EXPECT_EQ(animation.frames, nullptr);

  Bytes noTable = concat({bytesOf("GIF89a"), word(3), word(2), {0, 0, 0}, kImage});
  EXPECT_EQ(load(noTable), 0) << "no global table";
  EXPECT_EQ(animation.frameCount, 1);  // kept until freed
  EXPECT_EQ(applicationPalette, nullptr);
}

// Without canvas storage there is nothing to show on: loading fails rather
// than leaving painting and compositing to find that out.
TEST_F(GifParserTest, CanvasWithoutStorageFailsTheLoad) {
  EXPECT_EQ(load(screen(65535, 65535, 0)), 0) << "too large for one block";
  TearDown();
  refuseBlocksWhen([](size_t bytes) { return bytes == 12 * 10; });
  EXPECT_EQ(load(screen(11, 10, 0)), 0) << "refused";
  EXPECT_EQ(canvas.storage, nullptr);
}

TEST_F(GifParserTest, RealFiles) {
  struct Case {
    const char* name;
    int32_t frames;
    int loads;
  };
  const Case cases[] = {
      {"animated-red-blue.gif", 4, 1},
      {"gifplayer-muybridge.gif", 380, 1},
      {"harvesters.gif", 1, 1},
      {"hippopotamus.interlaced.truncated.gif", 1, 1},
      {"muybridge.gif", 15, 1},
      {"artificial/empty-palette.gif", 2, 0},  // no global table
      {"artificial/frame-out-of-bounds.gif", 4, 1},
      {"artificial/multiple-loop-counts.gif", 4, 1},
      {"artificial/no-frames.gif", 0, 1},
      {"artificial/pixel-data-none.gif", 1, 1},
      {"artificial/pixel-data-too-much-bad-lzw.gif", 1, 1},
      {"artificial/zero-width-frame.gif", 1, 1},
  };
  for (const Case& c : cases) {
    Bytes gif = readFileBytes(std::filesystem::path(GIFPLAY_TESTDATA) / "gif" / c.name);
    ASSERT_FALSE(gif.empty()) << c.name;
    EXPECT_EQ(load(gif), c.loads) << c.name;
    EXPECT_EQ(animation.frameCount, c.frames) << c.name;
    TearDown();
  }
}

}  // namespace
