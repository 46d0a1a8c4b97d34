// What the writer writes, read back by giflib: the same screen, frames,
// positions, sizes, delays, tables and indices; and the byte layout of the
// odd streams it writes on request.
#include <gtest/gtest.h>

#include <functional>
#include <random>

#include "tools/gifwriter/gif_writer.h"
#include "tools/gifwriter/giflib_reader.h"

using namespace gifwriter;

namespace {

ColourTable greyRamp(int colours) {
  ColourTable table;
  for (int i = 0; i < colours; ++i) {
    auto level = static_cast<uint8_t>(colours > 1 ? i * 255 / (colours - 1) : 0);
    table.push_back({level, static_cast<uint8_t>(255 - level), static_cast<uint8_t>(i)});
  }
  return table;
}

Frame noiseFrame(int width, int height, int colours, unsigned seed) {
  std::mt19937 random(seed);
  Frame frame;
  frame.width = width;
  frame.height = height;
  frame.indices.resize(static_cast<size_t>(width) * static_cast<size_t>(height));
  for (uint8_t& index : frame.indices) index = static_cast<uint8_t>(random() % colours);
  return frame;
}

Gif oneFrame(Frame frame, int colours) {
  Gif gif;
  gif.screenWidth = frame.left + frame.width;
  gif.screenHeight = frame.top + frame.height;
  gif.globalTable = greyRamp(colours);
  gif.frames.push_back(std::move(frame));
  return gif;
}

void expectSameTable(const ColourTable& written, const ColourTable& read) {
  ASSERT_GE(read.size(), written.size());
  for (size_t i = 0; i < read.size(); ++i) {
    Rgb expected = i < written.size() ? written[i] : Rgb{};
    EXPECT_EQ(read[i].red, expected.red) << "entry " << i;
    EXPECT_EQ(read[i].green, expected.green) << "entry " << i;
    EXPECT_EQ(read[i].blue, expected.blue) << "entry " << i;
  }
}

void expectGiflibReadsBack(const Gif& gif) {
  std::string error;
  std::optional<GiflibImage> image = decodeWithGiflib(writeGif(gif), &error);
  ASSERT_TRUE(image) << error;
  EXPECT_EQ(image->screenWidth, gif.screenWidth);
  EXPECT_EQ(image->screenHeight, gif.screenHeight);
  ASSERT_EQ(image->hasGlobalTable, gif.globalTable.has_value());
  if (gif.globalTable) expectSameTable(*gif.globalTable, image->globalTable);
  ASSERT_EQ(image->frames.size(), gif.frames.size());
  for (size_t i = 0; i < gif.frames.size(); ++i) {
    SCOPED_TRACE("frame " + std::to_string(i));
    const Frame& written = gif.frames[i];
    const GiflibFrame& read = image->frames[i];
    EXPECT_EQ(read.left, written.left);
    EXPECT_EQ(read.top, written.top);
    EXPECT_EQ(read.width, written.width);
    EXPECT_EQ(read.height, written.height);
    EXPECT_EQ(read.interlaced, written.interlaced);
    EXPECT_EQ(read.delay, written.control ? written.control->delay : 0);
    if (written.control) {
      EXPECT_EQ(read.disposal, written.control->disposal);
      EXPECT_EQ(read.transparentIndex,
                written.control->transparent ? written.control->transparentIndex : -1);
    }
    ASSERT_EQ(read.hasLocalTable, written.localTable.has_value());
    if (written.localTable) expectSameTable(*written.localTable, read.localTable);
    EXPECT_TRUE(read.indices == written.indices) << "indices differ";
  }
}

struct RoundTrip {
  const char* name;
  std::function<Gif()> make;
};

Gif withOptions(const LzwOptions& options, int codeSize = 8, int colours = 256) {
  Frame frame = noiseFrame(300, 200, colours, 11);
  frame.codeSize = codeSize;
  frame.lzw = options;
  return oneFrame(std::move(frame), colours);
}

Gif flat(int width, int height, uint8_t index) {
  Frame frame;
  frame.width = width;
  frame.height = height;
  frame.indices.assign(static_cast<size_t>(width) * static_cast<size_t>(height), index);
  return oneFrame(std::move(frame), 4);
}

const RoundTrip kRoundTrips[] = {
    {"1x1", [] { return oneFrame(noiseFrame(1, 1, 2, 1), 2); }},
    {"long runs make long strings", [] { return flat(1500, 900, 3); }},
    {"code sizes 2 to 8 with palettes of 2 to 256",
     [] {
       Gif gif = oneFrame(noiseFrame(5, 5, 2, 1), 256);
       gif.frames.clear();
       for (int colours : {2, 3, 4, 5, 8, 16, 17, 64, 128, 255, 256}) {
         Frame frame = noiseFrame(37, 23, colours, static_cast<unsigned>(colours));
         frame.control = GraphicControl{.delay = static_cast<uint16_t>(colours)};
         gif.frames.push_back(std::move(frame));
       }
       Frame wide = noiseFrame(40, 20, 3, 9);
       wide.codeSize = 8;  // larger than the colours need
       gif.frames.push_back(std::move(wide));
       return gif;
     }},
    {"interlaced heights 1 to 20",
     [] {
       Gif gif = oneFrame(noiseFrame(1, 1, 16, 1), 16);
       gif.screenWidth = 30;
       gif.screenHeight = 20;
       for (int height = 1; height <= 20; ++height) {
         Frame frame = noiseFrame(30 - height, height, 16, static_cast<unsigned>(height));
         frame.interlaced = true;
         frame.top = 20 - height;
         gif.frames.push_back(std::move(frame));
       }
       return gif;
     }},
    {"frames away from the origin and outside the screen",
     [] {
       Gif gif = oneFrame(noiseFrame(10, 10, 8, 1), 8);
       gif.screenWidth = gif.screenHeight = 10;
       Frame away = noiseFrame(6, 4, 8, 2);
       away.left = 3;
       away.top = 5;
       Frame outside = noiseFrame(20, 15, 8, 3);
       outside.left = 7;
       outside.top = 8;
       Frame farOut = noiseFrame(2, 2, 8, 4);
       farOut.left = 60000;
       farOut.top = 65000;
       gif.frames.insert(gif.frames.end(), {away, outside, farOut});
       return gif;
     }},
    {"local colour tables and graphic controls",
     [] {
       Gif gif = oneFrame(noiseFrame(16, 16, 4, 1), 4);
       Frame local = noiseFrame(16, 16, 32, 2);
       local.localTable = greyRamp(32);
       local.control = GraphicControl{.disposal = 2, .transparent = true, .transparentIndex = 7};
       Frame third = noiseFrame(8, 8, 4, 3);
       third.control = GraphicControl{.disposal = 1, .userInput = true, .delay = 65535};
       gif.frames.insert(gif.frames.end(), {local, third});
       return gif;
     }},
    {"no global colour table",
     [] {
       Gif gif = oneFrame(noiseFrame(9, 9, 4, 1), 4);
       gif.globalTable.reset();
       gif.frames[0].localTable = greyRamp(4);
       return gif;
     }},
    {"GIF87a",
     [] {
       Gif gif = oneFrame(noiseFrame(40, 30, 16, 5), 16);
       gif.gif87a = true;
       return gif;
     }},
    {"300 frames",
     [] {
       Gif gif = oneFrame(noiseFrame(1, 1, 4, 1), 4);
       gif.screenWidth = gif.screenHeight = 12;
       for (int i = 1; i < 300; ++i) {
         Frame frame = noiseFrame(1 + i % 12, 1 + i % 7, 4, static_cast<unsigned>(i));
         frame.left = i % 5;
         frame.top = i % 3;
         frame.control = GraphicControl{.delay = static_cast<uint16_t>(i)};
         gif.frames.push_back(std::move(frame));
       }
       return gif;
     }},
    {"one-byte sub-blocks",
     [] {
       Gif gif = withOptions({}, 8, 256);
       gif.frames[0].subBlockSize = 1;
       return gif;
     }},
    {"end code in a sub-block of its own",
     [] {
       Gif gif = withOptions({}, 8, 256);
       gif.frames[0].endCodeInOwnSubBlock = true;
       return gif;
     }},
    {"a clear after every 100 codes", [] { return withOptions({.clearEvery = 100}, 5, 32); }},
    {"runs of clear codes", [] { return withOptions({.clearRun = 4}, 2, 4); }},
    {"no initial clear", [] { return withOptions({.initialClear = false}); }},
    {"full table kept without a clear", [] { return withOptions({.deferredClear = true}, 3, 8); }},
    {"extensions",
     [] {
       Gif gif = oneFrame(noiseFrame(10, 10, 4, 1), 4);
       gif.extensions = {loopExtension(0), commentExtension(std::string(600, 'c'))};
       gif.frames[0].extensions = {applicationExtension("ABCDEFGH1.0", Bytes(300, 7))};
       return gif;
     }},
};

TEST(GifWriter, GiflibReadsBackWhatWasWritten) {
  for (const RoundTrip& trip : kRoundTrips) {
    SCOPED_TRACE(trip.name);
    expectGiflibReadsBack(trip.make());
  }
}

TEST(GifWriter, GiflibSeesLoopCountAndComments) {
  Gif gif = oneFrame(noiseFrame(3, 3, 2, 1), 2);
  gif.extensions = {loopExtension(7), commentExtension("made by the tests")};
  std::optional<GiflibImage> image = decodeWithGiflib(writeGif(gif));
  ASSERT_TRUE(image);
  EXPECT_EQ(image->loopCount, 7);
  EXPECT_EQ(image->comments, std::vector<std::string>{"made by the tests"});
}

TEST(GifWriter, HeaderAndScreenBytes) {
  Gif gif;
  gif.screenWidth = 0x1234;
  gif.screenHeight = 2;
  gif.globalTable = ColourTable{{1, 2, 3}, {4, 5, 6}, {7, 8, 9}};
  gif.backgroundIndex = 2;
  Bytes bytes = writeGif(gif);
  Bytes expected{'G', 'I', 'F', '8', '9', 'a', 0x34, 0x12, 2, 0, 0x91, 2, 0,
                 1,   2,   3,   4,   5,   6,   7,    8,    9, 0, 0,    0, 0x3B};
  EXPECT_EQ(bytes, expected);
}

TEST(GifWriter, OddImageDataLayout) {
  Frame frame;
  frame.width = 7;
  frame.height = 1;
  frame.indices = {1, 1, 1, 2, 1, 1, 2};
  frame.codeSize = 8;
  frame.subBlockSize = 2;

  struct Case {
    const char* name;
    std::function<void(Frame&)> change;
    Bytes imageData;  // from the code size byte to the block terminator
  };
  const Case cases[] = {
      {"two-byte sub-blocks",
       [](Frame&) {},
       {8, 2, 0x00, 0x03, 2, 0x08, 0x14, 2, 0x30, 0x30, 1, 0x20, 0}},
      {"empty sub-block after the second",
       [](Frame& f) { f.emptySubBlocksAfter = {2}; },
       {8, 2, 0x00, 0x03, 2, 0x08, 0x14, 0, 2, 0x30, 0x30, 1, 0x20, 0}},
      {"code size byte 10",
       [](Frame& f) { f.codeSizeByte = 10; },
       {10, 2, 0x00, 0x03, 2, 0x08, 0x14, 2, 0x30, 0x30, 1, 0x20, 0}},
      {"given codes",
       [](Frame& f) {
         f.codes = std::vector<int>{256, 5, 257};
       },
       {8, 2, 0x00, 0x0B, 2, 0x04, 0x04, 0}},
      {"raw data",
       [](Frame& f) {
         f.rawData = Bytes{2, 1, 0xFF};
       },
       {2, 1, 0xFF}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Frame changed = frame;
    c.change(changed);
    Gif gif = oneFrame(changed, 256);
    GifLayout layout;
    Bytes bytes = writeGif(gif, &layout);
    ASSERT_EQ(layout.frames.size(), 1u);
    Bytes data(bytes.begin() + static_cast<ptrdiff_t>(layout.frames[0].imageData),
               bytes.begin() + static_cast<ptrdiff_t>(layout.frames[0].end));
    EXPECT_EQ(data, c.imageData);
    EXPECT_EQ(layout.trailer, layout.frames[0].end);
  }
}

TEST(GifWriter, EndCodeInItsOwnSubBlock) {
  for (int seed = 0; seed < 20; ++seed) {
    Frame frame = noiseFrame(50, 50, 256, static_cast<unsigned>(seed));
    frame.endCodeInOwnSubBlock = true;
    GifLayout layout;
    Bytes bytes = writeGif(oneFrame(frame, 256), &layout);
    // The sub-blocks before the last one hold every code but the end code.
    size_t at = layout.frames[0].imageData + 1;
    Bytes before;
    while (at + 1 + bytes[at] < layout.frames[0].end - 1) {
      before.insert(before.end(), bytes.begin() + static_cast<ptrdiff_t>(at + 1),
                    bytes.begin() + static_cast<ptrdiff_t>(at + 1 + bytes[at]));
      at += 1 + bytes[at];
    }
    std::vector<int> all = encodeLzw(frame.indices, 8);
    std::vector<int> read = unpackCodes(before, 8);
    ASSERT_GE(read.size(), all.size() - 1) << "seed " << seed;
    read.resize(all.size() - 1);
    EXPECT_EQ(read, std::vector<int>(all.begin(), all.end() - 1)) << "seed " << seed;
    EXPECT_LE(bytes[at], 2) << "the last sub-block holds only the end code";
  }
}

TEST(GifWriter, LayoutAllowsCuttingAnywhere) {
  Gif gif = oneFrame(noiseFrame(20, 20, 16, 4), 16);
  gif.frames.push_back(gif.frames[0]);
  gif.frames[1].control = GraphicControl{.delay = 5};
  GifLayout layout;
  Bytes bytes = writeGif(gif, &layout);
  EXPECT_EQ(layout.screenEnd, 13u + 16 * 3);
  EXPECT_EQ(bytes[layout.frames[1].start], 0x21);
  EXPECT_EQ(bytes[layout.frames[1].descriptor], 0x2C);
  EXPECT_EQ(bytes[layout.frames[1].end - 1], 0);
  EXPECT_EQ(layout.trailer, bytes.size() - 1);
  Bytes cut = truncated(bytes, layout.frames[1].imageData + 5);
  EXPECT_EQ(cut.size(), layout.frames[1].imageData + 5);
  EXPECT_TRUE(std::equal(cut.begin(), cut.end(), bytes.begin()));
  EXPECT_EQ(truncated(bytes, bytes.size() + 10), bytes);
}

TEST(GifWriter, RefusesFramesItCannotWrite) {
  Frame shortOfPixels = noiseFrame(4, 4, 4, 1);
  shortOfPixels.indices.pop_back();
  EXPECT_THROW(writeGif(oneFrame(shortOfPixels, 4)), std::invalid_argument);
  Frame tooManyColours = noiseFrame(4, 4, 8, 1);
  EXPECT_THROW(writeGif(oneFrame(tooManyColours, 4)), std::invalid_argument);
  Gif hugeTable = oneFrame(noiseFrame(1, 1, 2, 1), 2);
  hugeTable.globalTable = ColourTable(257);
  EXPECT_THROW(writeGif(hugeTable), std::invalid_argument);
}

}  // namespace
