// Every odd stream the writer can make goes through our loader: damaged code
// streams, impossible sizes, cut files. Nothing may crash or read outside
// its buffers (the sanitizer build runs these too); where the stream is
// valid up to a point, what lies before that point must still come out.
#include <gtest/gtest.h>

#include <functional>
#include <random>

#include "tests/support/test_support.h"
#include "tests/unit/gifdiff/decoded.h"

using namespace gifwriter;

namespace {

Frame noiseFrame(int width, int height, int colours, unsigned seed) {
  std::mt19937 random(seed);
  Frame frame;
  frame.width = width;
  frame.height = height;
  frame.indices.resize(static_cast<size_t>(width) * static_cast<size_t>(height));
  for (uint8_t& index : frame.indices) index = static_cast<uint8_t>(random() % colours);
  return frame;
}

// Three frames of 256 colours around the one that gets changed, so that a
// broken frame also shows whether the parse finds its way to the next one.
Gif threeFrames(const std::function<void(Frame&)>& change) {
  Gif gif;
  gif.screenWidth = 60;
  gif.screenHeight = 45;
  gif.globalTable = ColourTable(256, Rgb{10, 20, 30});
  for (int i = 0; i < 3; ++i) {
    Frame frame = noiseFrame(60 - 15 * i, 45 - 10 * i, 256, static_cast<unsigned>(i));
    frame.left = 10 * i;
    frame.top = 5 * i;
    frame.interlaced = i == 2;
    frame.control = GraphicControl{.delay = 6};
    if (i == 1) change(frame);
    gif.frames.push_back(std::move(frame));
  }
  return gif;
}

struct OddStream {
  std::string name;
  std::function<void(Frame&)> change;
};

std::vector<OddStream> oddFrames() {
  std::vector<OddStream> odd;
  auto add = [&](std::string name, std::function<void(Frame&)> change) {
    odd.push_back({std::move(name), std::move(change)});
  };
  for (int64_t pixels : {0, 1, 46, 1000}) {
    add("end code after " + std::to_string(pixels) + " pixels",
        [pixels](Frame& f) { f.lzw.endAfterPixels = pixels; });
  }
  add("no end code", [](Frame& f) { f.lzw.endCode = false; });
  add("no end code, interlaced", [](Frame& f) {
    f.lzw.endCode = false;
    f.lzw.endAfterPixels = 1000;
    f.interlaced = true;
  });
  add("runs of 300 clear codes", [](Frame& f) { f.lzw.clearRun = 300; });
  add("a run of clear codes after every code", [](Frame& f) {
    f.lzw.clearRun = 3;
    f.lzw.clearEvery = 1;
  });
  for (int64_t at : {0, 1, 2, 10, 253, 254, 1000, 1400}) {
    add("code beyond the table at data code " + std::to_string(at),
        [at](Frame& f) { f.lzw.beyondTableAt = at; });
  }
  add("full table, then a code beyond it", [](Frame& f) {
    f = noiseFrame(100, 60, 256, 5);
    f.lzw.deferredClear = true;
    f.lzw.beyondTableAt = 3900;
  });
  add("empty sub-block after the first", [](Frame& f) { f.emptySubBlocksAfter = {1}; });
  add("empty sub-blocks everywhere", [](Frame& f) {
    f.subBlockSize = 7;
    for (int i = 1; i < 400; i += 3) f.emptySubBlocksAfter.push_back(i);
  });
  for (int size : {0, 1, 9, 10, 11, 12, 255}) {
    add("code size byte " + std::to_string(size),
        [size](Frame& f) { f.codeSizeByte = static_cast<uint8_t>(size); });
  }
  add("code size 9", [](Frame& f) { f.codeSize = 9; });
  add("code size 11", [](Frame& f) { f.codeSize = 11; });
  add("no image data at all", [](Frame& f) { f.rawData = Bytes{}; });
  add("code size only", [](Frame& f) { f.rawData = Bytes{8}; });
  add("data without a terminator", [](Frame& f) { f.rawData = Bytes{8, 3, 0, 1, 2}; });
  add("3000 pixels wide", [](Frame& f) { f = noiseFrame(3000, 3, 256, 4); });
  add("65535 pixels wide", [](Frame& f) { f = noiseFrame(65535, 1, 256, 4); });
  add("65535x40000, data for 2 rows", [](Frame& f) {
    f = noiseFrame(65535, 2, 256, 4);
    f.codes = encodeLzw(f.indices, 8);
    f.codeSize = 8;
    f.height = 40000;
  });
  add("65535x65535 with little data", [](Frame& f) {
    f.width = f.height = 65535;
    f.codes = std::vector<int>{256, 1, 2, 3, 257};
    f.codeSize = 8;
  });
  add("width 0", [](Frame& f) { f = noiseFrame(0, 10, 256, 4); });
  add("height 0", [](Frame& f) { f = noiseFrame(10, 0, 256, 4); });
  add("width 0, codes for pixels", [](Frame& f) {
    f = noiseFrame(0, 10, 256, 4);
    f.codes = std::vector<int>{256, 1, 258, 259, 260, 261, 257};
    f.codeSize = 8;
  });
  add("height 0 interlaced with pixels", [](Frame& f) {
    f = noiseFrame(10, 0, 256, 4);
    f.interlaced = true;
    f.codes = std::vector<int>{256, 1, 258, 259, 260, 257};
    f.codeSize = 8;
  });
  add("local colour table", [](Frame& f) { f.localTable = ColourTable(256, Rgb{1, 2, 3}); });
  add("local colour table of 2", [](Frame& f) {
    f.localTable = ColourTable(2, Rgb{200, 2, 3});
    f.codeSize = 8;
  });
  return odd;
}

// Codes of random values at the widths a decoder reads them with: entries
// defined by codes beyond the table, chains that loop, strings that never end.
std::vector<int> codeSoup(unsigned seed) {
  std::mt19937 random(seed);
  int codeSize = 2 + static_cast<int>(random() % 7);
  CodeWidthTracker tracker(codeSize);
  std::vector<int> codes{tracker.clearCode()};
  tracker.take(codes.back());
  int count = 1 + static_cast<int>(random() % 6000);
  for (int i = 0; i < count; ++i) {
    int code = static_cast<int>(random() % (1u << tracker.width()));
    if (random() % 2 == 0) code = std::min(code, tracker.nextFree());
    codes.push_back(code);
    tracker.take(code);
  }
  return codes;
}

void expectLoadsWithoutHarm(const Bytes& gif, const std::string& name, size_t framesWritten) {
  SCOPED_TRACE(name);
  DecodedGif decoded = parseWithOurs(gif);
  EXPECT_LE(decoded.frames.size(), framesWritten);
}

// A damaged second frame keeps its place: the parser reads on to the third,
// which comes out as in the intact stream, or stops there.
TEST(OddStreams, DamagedFramesLoad) {
  DecodedGif intact = parseWithOurs(writeGif(threeFrames([](Frame&) {})));
  ASSERT_EQ(intact.frames.size(), 3u);
  for (const OddStream& odd : oddFrames()) {
    SCOPED_TRACE(odd.name);
    DecodedGif decoded = parseWithOurs(writeGif(threeFrames(odd.change)));
    ASSERT_GE(decoded.frames.size(), 2u);
    ASSERT_LE(decoded.frames.size(), 3u);
    if (decoded.frames.size() < 3) continue;
    const DecodedFrame& third = decoded.frames[2];
    const DecodedFrame& expected = intact.frames[2];
    EXPECT_EQ(third.left, expected.left);
    EXPECT_EQ(third.top, expected.top);
    EXPECT_EQ(third.width, expected.width);
    EXPECT_EQ(third.height, expected.height);
    EXPECT_EQ(third.delay, expected.delay);
    EXPECT_TRUE(third.indices == expected.indices) << "the third frame's pixels differ";
  }
}

TEST(OddStreams, FramesBeforeADamagedOneStay) {
  DecodedGif intact = parseWithOurs(writeGif(threeFrames([](Frame&) {})));
  ASSERT_EQ(intact.frames.size(), 3u);
  for (const OddStream& odd : oddFrames()) {
    SCOPED_TRACE(odd.name);
    DecodedGif decoded = parseWithOurs(writeGif(threeFrames(odd.change)));
    ASSERT_GE(decoded.frames.size(), 2u);
    DecodedGif first = intact;
    first.frames.resize(1);
    decoded.frames.resize(1);
    EXPECT_EQ(firstDifference(decoded, first), "");
  }
}

TEST(OddStreams, RandomCodeSequences) {
  for (unsigned seed = 0; seed < 200; ++seed) {
    Gif gif = threeFrames([seed](Frame& f) {
      f.codes = codeSoup(seed);
      f.codeSize = 2 + static_cast<int>(std::mt19937(seed)() % 7);
      f.interlaced = seed % 3 == 0;
      f.width = 1 + static_cast<int>(seed % 97);
    });
    expectLoadsWithoutHarm(writeGif(gif), "code soup " + std::to_string(seed), 3);
  }
}

TEST(OddStreams, FullTableWithoutClearThenTwelveBitCodes) {
  // Code size 2: 4090 entries fill the table; then every 12-bit code, 4095 included.
  std::vector<int> codes{4, 1};
  for (int i = 0; i < 4090; ++i) codes.push_back(i % 4);
  for (int code : {4095, 4094, 6, 0, 4095, 5}) codes.push_back(code);
  Gif gif = threeFrames([&](Frame& f) {
    f.codes = codes;
    f.codeSize = 2;
  });
  expectLoadsWithoutHarm(writeGif(gif), "full table", 3);
}

// A stream cut anywhere keeps every frame that ended before the cut.
TEST(OddStreams, CutAnywhere) {
  Gif gif;
  gif.screenWidth = 20;
  gif.screenHeight = 20;
  gif.globalTable = ColourTable(16);
  gif.extensions = {loopExtension(0), commentExtension("cut")};
  for (int i = 0; i < 3; ++i) {
    gif.frames.push_back(noiseFrame(17 - i, 9 + i, 16, static_cast<unsigned>(i)));
    gif.frames.back().control = GraphicControl{.delay = 4};
    gif.frames.back().interlaced = i == 1;
    gif.frames.back().subBlockSize = 20;
  }
  GifLayout layout;
  Bytes whole = writeGif(gif, &layout);
  DecodedGif intact = parseWithOurs(whole);
  ASSERT_EQ(intact.frames.size(), 3u);
  for (size_t length = 0; length <= whole.size(); ++length) {
    SCOPED_TRACE("cut at " + std::to_string(length));
    DecodedGif decoded = parseWithOurs(truncated(whole, length));
    size_t complete = 0;
    while (complete < 3 && layout.frames[complete].end <= length) ++complete;
    ASSERT_GE(decoded.frames.size(), complete);
    decoded.frames.resize(complete);
    DecodedGif expected = intact;
    expected.frames.resize(complete);
    if (length >= layout.screenEnd) {
      EXPECT_EQ(firstDifference(decoded, expected), "");
    }
  }
}

TEST(OddStreams, OddBlocksBetweenFrames) {
  struct Case {
    const char* name;
    std::function<void(Gif&)> change;
  };
  const Case cases[] = {
      {"no trailer", [](Gif& g) { g.trailer = false; }},
      {"no global colour table", [](Gif& g) { g.globalTable.reset(); }},
      {"graphic control of block size 5",
       [](Gif& g) {
         g.frames[1].extensions = {Extension{0xF9, {Bytes(5, 1)}}};
       }},
      {"graphic control of block size 3",
       [](Gif& g) {
         g.frames[1].extensions = {Extension{0xF9, {Bytes(3, 1)}}};
       }},
      {"extension without sub-blocks",
       [](Gif& g) {
         g.frames[2].extensions = {Extension{0xFE, {}}};
       }},
      {"two graphic controls",
       [](Gif& g) {
         g.frames[1].extensions = {Extension{0xF9, {Bytes{0, 50, 0, 0}}}};
       }},
      {"a stray 0 before the second frame",
       [](Gif& g) { g.frames[0].rawData = Bytes{8, 2, 0, 1, 0, 0}; }},
  };
  for (const Case& c : cases) {
    Gif gif = threeFrames([](Frame&) {});
    c.change(gif);
    expectLoadsWithoutHarm(writeGif(gif), c.name, 3);
  }
  Bytes tail = writeGif(threeFrames([](Frame&) {}));
  Bytes unterminated = concat({tail, Bytes{0x21, 0xFE, 200, 1, 2, 3}});
  unterminated.erase(unterminated.end() - 7);  // the trailer
  expectLoadsWithoutHarm(unterminated, "extension running into the end", 3);
}

TEST(OddStreams, SharedCornerCasesThroughTheLoader) {
  ScratchDir directory;
  int loaded = 0;
  for (const char* folder : {"/gif/artificial", "/gif"}) {
    for (const auto& file :
         std::filesystem::directory_iterator(GIFPLAY_TESTDATA + std::string(folder))) {
      if (file.path().extension() != ".gif") continue;
      SCOPED_TRACE(file.path().filename().string());
      Bytes gif = readFileBytes(file.path());
      loaded += loadWithOurs(gif, directory.file("player")).has_value();
      for (size_t cut : {gif.size() / 2, gif.size() - 1}) parseWithOurs(truncated(gif, cut));
    }
  }
  EXPECT_GT(loaded, 10);
}

}  // namespace
