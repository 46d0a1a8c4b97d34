// gifpack's checks of an animation with the player's loader: refusals,
// warnings, --info and --frames, run as the built program.
#include <gtest/gtest.h>
#include <png.h>

#include <functional>
#include <sstream>

#include "tests/support/test_support.h"
#include "tests/unit/tools/run_tool.h"
#include "tools/gifpack/analysis.h"
#include "tools/gifpack/progress.h"
#include "tools/gifpack/report.h"
#include "tools/gifwriter/gif_writer.h"

namespace {

namespace fs = std::filesystem;
using gifwriter::Gif;

const gifwriter::ColourTable kColours = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};

gifwriter::Frame frame(int left, int top, int width, int height, uint8_t first, uint16_t delay) {
  gifwriter::Frame f;
  f.left = left, f.top = top, f.width = width, f.height = height;
  for (int i = 0; i < width * height; ++i)
    f.indices.push_back(static_cast<uint8_t>((first + i) % 4));
  f.control = gifwriter::GraphicControl{};
  f.control->delay = delay;
  return f;
}

// A 4 × 3 screen, 4 colours, three frames the player shows as any viewer does.
Gif cleanGif() {
  Gif gif;
  gif.screenWidth = 4, gif.screenHeight = 3;
  gif.globalTable = kColours;
  gif.frames = {frame(0, 0, 4, 3, 0, 10), frame(1, 1, 2, 2, 1, 20), frame(0, 0, 2, 1, 2, 30)};
  return gif;
}

class GifpackCheckTest : public ::testing::Test {
 protected:
  std::string put(const std::string& name, const Bytes& contents) {
    writeFileBytes(scratch.file(name), contents);
    return scratch.file(name).string();
  }
  ToolRun pack(const Bytes& gif, const std::string& option = "") {
    std::vector<std::string> args{"--player", GIFPLAY_PLAYER, put("a.gif", gif), "-o", out};
    if (!option.empty()) args.insert(args.begin(), option);
    return runGifpack(args);
  }

  ScratchDir scratch;
  const std::string out = scratch.file("out").string();
};

TEST_F(GifpackCheckTest, RefusesWhatThePlayerCannotShow) {
  struct Case {
    const char* name;
    std::function<Bytes()> make;
    std::string message;
    std::string option = "";
  };
  const Case cases[] = {
      {"no global colour table, packed as it is",
       [] {
         Gif gif = cleanGif();
         gif.globalTable.reset();
         for (auto& f : gif.frames) f.localTable = kColours;
         return gifwriter::writeGif(gif);
       },
       "the player would not start: the GIF has no global colour table", "--as-is"},
      {"strict, with what the player would show differently",
       [] {
         Gif gif = cleanGif();
         gif.frames[0].control->disposal = 2;
         gif.frames[1].control->transparent = true;
         gif.frames[1].control->transparentIndex = 2;
         for (int i : {1, 2}) gif.frames[i].localTable = {{9, 9, 9}, {0, 255, 0}, {0, 0, 255}};
         return gifwriter::writeGif(gif);
       },
       "the player would not show it as browsers do: transparency, disposal, 2 local colour "
       "tables",
       "--strict"},
      {"no image",
       [] {
         Gif gif = cleanGif();
         gif.frames.clear();
         return gifwriter::writeGif(gif);
       },
       "the player would show nothing: the GIF has no image"},
      {"screen too large",
       [] {
         Gif gif = cleanGif();
         gif.screenWidth = gif.screenHeight = 65535;
         return gifwriter::writeGif(gif);
       },
       "the player would not start: its screen of 65535 x 65535 is too large to allocate"},
      {"more memory than a 32-bit player has",
       [] {
         Gif gif = cleanGif();
         gif.frames[1].width = gif.frames[1].height = 60000;
         gif.frames[1].rawData = Bytes{2, 2, 0x4C, 0x01, 0};
         return gifwriter::writeGif(gif);
       },
       "the player would need 3434 MB for its canvas and frames, more than the 2 GiB a 32-bit "
       "Windows program can have"},
      {"first image without data",
       [] {
         gifwriter::GifLayout layout;
         Bytes bytes = gifwriter::writeGif(cleanGif(), &layout);
         return gifwriter::truncated(bytes, layout.frames[0].imageData);
       },
       "the player would show nothing: the first image has no pixel data"},
  };
  for (const Case& c : cases) {
    ToolRun run = pack(c.make(), c.option);
    EXPECT_EQ(run.exitCode, 2) << c.name;
    EXPECT_EQ(run.err, "gifpack: " + scratch.file("a.gif").string() + ": " + c.message + "\n")
        << c.name;
    EXPECT_FALSE(fs::exists(out)) << c.name;
  }
}

// Packed --as-is, the GIF's own bytes with warnings; by default, rewritten
// with one line that says why, or the GIF's own bytes when nothing is wrong;
// --info ends with what packing does.
TEST_F(GifpackCheckTest, WarnsAsItIsAndOtherwiseRewritesWhatThePlayerShowsDifferently) {
  struct Case {
    const char* name;
    std::function<void(Gif&)> change;
    std::string warning;
    std::string reasons;
    std::string info = "";
  };
  const Case cases[] = {
      {"clean", [](Gif&) {}, "", "", "packed as it is: the player shows it as browsers do"},
      {"too few pixels", [](Gif& g) { g.frames[1].lzw.endAfterPixels = 2; },
       "frame 1 (1 of 2 rows): image data damaged or cut short: the player shows colour 0 "
       "(#FF0000) in the rows missing",
       "damaged image data"},
      {"code size above 8 in the first frame",
       [](Gif& g) {
         g.frames[0].rawData = Bytes{10, 2, 0x00, 0x04, 0};
       },
       "frame 0 (code size 10): LZW minimum code size above 8, which browsers do not decode: "
       "they show nothing from that frame on, and the player shows colour 0 (#FF0000) in the "
       "rows it cannot decode\n",
       "", "packed as it is: browsers decode none of its frames"},
      {"transparency that changes nothing: an index no pixel has, one equal to what is below",
       [](Gif& g) {
         g.frames[1].control->transparent = true;
         g.frames[1].control->transparentIndex = 7;
         g.frames[2] = frame(0, 0, 2, 1, 0, 30);
         g.frames[2].control->transparent = true;
       },
       "", "", "packed as it is: the player shows it as browsers do"},
      {"transparency",
       [](Gif& g) {
         g.frames[2].control->transparent = true;
         g.frames[2].control->transparentIndex = 3;
       },
       "frame 2 (index 3): transparency is ignored: the player draws every frame opaquely",
       "transparency"},
      {"disposal", [](Gif& g) { g.frames[0].control->disposal = 2; },
       "frame 0 (disposal 2): the player does not clear or restore a frame's area", "disposal"},
      {"own colours",
       [](Gif& g) {
         g.frames[1].localTable =
             gifwriter::ColourTable{{0, 0, 255}, {1, 2, 3}, {255, 0, 0}, {0, 255, 0}};
       },
       "frame 1 (1 of 4 not found): own colour table, mapped to the nearest colours",
       "1 local colour table"},
      {"delays of 0",
       [](Gif& g) {
         g.frames[0].control.reset();
         g.frames[2].control->delay = 0;
       },
       "frames 0 and 2: delay 0: the player shows it for 10 ms, its shortest wait",
       "delays under 2 hundredths"},
      {"outside the screen",
       [](Gif& g) {
         g.frames[1].left = 3;
         g.frames[2].top = 5;
       },
       "frames 1 (partly, at 3,1) and 2 (wholly, at 0,5): outside the 4 x 3 screen", ""},
      {"first frame short of the screen", [](Gif& g) { g.frames[0] = frame(0, 0, 4, 2, 0, 10); },
       "frame 0 does not cover the whole screen: until later frames do, the player shows colour "
       "0 (#FF0000) there",
       "a first frame short of the screen"},
      {"graphic control the player stops at",
       [](Gif& g) {
         g.frames[2].extensions.push_back({0xF9, {{0, 10, 0, 0, 0}}});
       },
       "the player stops reading after frame 1: frame 2 is never shown",
       "frames the player would not reach"},
  };
  const std::string name = "gifpack: " + scratch.file("a.gif").string() + ": ";
  auto endsWith = [](const Bytes& all, const Bytes& end) {
    return all.size() >= end.size() && std::equal(end.rbegin(), end.rend(), all.rbegin());
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Gif gif = cleanGif();
    c.change(gif);
    Bytes original = gifwriter::writeGif(gif);
    ToolRun asIs = pack(original, "--as-is");
    EXPECT_EQ(asIs.exitCode, 0) << asIs.err;
    EXPECT_TRUE(endsWith(readFileBytes(out), original));
    if (c.warning.empty())
      EXPECT_EQ(asIs.err, "");
    else
      EXPECT_NE(asIs.err.find(name + "warning: " + c.warning), std::string::npos) << asIs.err;

    ToolRun run = pack(original);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(endsWith(readFileBytes(out), original), c.reasons.empty());
    EXPECT_EQ(run.err, c.reasons.empty() ? asIs.err
                                         : name +
                                               "rewritten so that the player shows it "
                                               "as browsers do: " +
                                               c.reasons + "\n");
    if (!c.info.empty()) {
      std::string info = runGifpack({"--info", scratch.file("a.gif").string()}).out;
      EXPECT_TRUE(info.ends_with(c.info + "\n")) << info;
    }
  }
}

// One colour over a whole screen of size x size, coded once.
gifwriter::Frame wholeScreen(int size) {
  gifwriter::Frame f;
  f.width = f.height = size;
  f.codeSize = 2;
  f.codes = gifwriter::encodeLzw(Bytes(static_cast<size_t>(size) * size, 0), 2);
  f.control = gifwriter::GraphicControl{};
  return f;
}

// 199 dots of 1 x 1 scattered over an 8192 x 8192 screen, behind a first
// frame over the whole screen, or behind a dot that browsers show on the
// background (transparent, so rewritten).
Bytes dotsOnALargeScreen(bool wholeFirst) {
  Gif gif;
  gif.screenWidth = gif.screenHeight = 8192;
  gif.globalTable = kColours;
  gif.frames = {wholeFirst ? wholeScreen(8192) : frame(0, 0, 1, 1, 1, 10)};
  gif.frames[0].control->transparent = !wholeFirst;
  for (int i = 1; i < 200; ++i) gif.frames.push_back(frame(i * 37, i * 91, 1, 1, i % 4, 10));
  return gifwriter::writeGif(gif);
}

// Memory is refused before a frame is decoded, and a rewrite's memory grows
// with the pixels the frames carry, not with steps times the screen.
TEST_F(GifpackCheckTest, WorkStaysWithinWhatTheFramesCarry) {
  Gif huge;
  huge.screenWidth = huge.screenHeight = 4096;
  huge.globalTable = kColours;
  huge.frames.assign(400, wholeScreen(4096));
  const Bytes hugeFrames = gifwriter::writeGif(huge);
  const Bytes dots = dotsOnALargeScreen(false), dotsOnAPicture = dotsOnALargeScreen(true);
  const std::string tooMuch =
      "the player would need 6416 MB for its canvas and frames, more than the 2 GiB a 32-bit "
      "Windows program can have";
  const struct {
    const char* name;
    const Bytes& gif;
    std::string option;
    std::string refusal;
  } cases[] = {
      {"400 frames of 4096 x 4096", hugeFrames, "", tooMuch},
      {"the same, --info", hugeFrames, "--info", tooMuch},
      {"the same, --as-is", hugeFrames, "--as-is", tooMuch},
      {"200 dots, rewritten", dots, "", ""},
      {"200 dots on a picture", dotsOnAPicture, "", ""},
      {"200 dots on a picture, --info", dotsOnAPicture, "--info", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string gif = put("a.gif", c.gif);
    ToolRun run = c.option == "--info" ? runGifpack({"--info", gif}) : pack(c.gif, c.option);
    EXPECT_EQ(run.exitCode, c.refusal.empty() ? 0 : 2) << run.err;
    if (!c.refusal.empty()) {
      EXPECT_EQ(run.err, "gifpack: " + gif + ": " + c.refusal + "\n");
    }
    if (kPeakMemoryIsTheProgramsOwn) {
      EXPECT_LT(run.peakBytes, int64_t{2500} << 20);
    }
  }
}

// Frame 2's transparent index 0 is on none of its pixels.
TEST_F(GifpackCheckTest, InfoListsTheFramesWithTheirNotes) {
  Gif gif = cleanGif();
  gif.frames[1].interlaced = true;
  gif.frames[2].control->transparent = true;
  gif.frames[2].control->delay = 0;
  std::string path = put("a.gif", gifwriter::writeGif(gif));
  ToolRun run = runGifpack({"--info", path});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out,
            path +
                ": GIF89a, screen 4 x 3, 4 colours, 3 frames (the player reads 3, plays 3)\n"
                "memory the player needs for its canvas and frames: 1 KB\n"
                "frame   left    top  width height  delay ms  interlaced notes\n"
                "    0      0      0      4      3       100  no         \n"
                "    1      1      1      2      2       200  yes        \n"
                "    2      0      0      2      1         0  no         delay 0\n"
                "warning: frame 2: delay 0: the player shows it for 10 ms, its shortest wait\n"
                "packed rewritten so that the player shows it as browsers do: delays under 2 "
                "hundredths\n");
}

// Picture rows from the top, as colour indices.
using Picture = std::vector<std::vector<int>>;

Picture readPng(const fs::path& path) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return {};
  image.format = PNG_FORMAT_RGB;
  std::vector<png_byte> rgb(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) return {};
  Picture picture(image.height, std::vector<int>(image.width, -1));
  for (size_t i = 0; i < rgb.size() / 3; ++i)
    for (int c = 0; c < 4; ++c)
      if (kColours[c].red == rgb[3 * i] && kColours[c].green == rgb[3 * i + 1] &&
          kColours[c].blue == rgb[3 * i + 2])
        picture[i / image.width][i % image.width] = c;
  return picture;
}

TEST_F(GifpackCheckTest, FramesShowTheCanvasAfterEachStep) {
  Gif gif;
  gif.screenWidth = 4, gif.screenHeight = 3;
  gif.globalTable = kColours;
  // Frame 0 leaves column 3 to the starting canvas (index 0); frame 1 is
  // transparent for index 3 and drawn opaquely all the same; frame 2 hangs
  // over the right edge.
  gif.frames = {frame(0, 0, 3, 3, 1, 10), frame(1, 1, 2, 2, 2, 10), frame(2, 0, 4, 1, 0, 10)};
  gif.frames[1].control->transparent = true;
  gif.frames[1].control->transparentIndex = 3;
  std::string path = put("a.gif", gifwriter::writeGif(gif));
  // The player's view of the GIF as it is; then of its rewrite, which shows
  // what browsers do, the transparent pixels in the colour given.
  const std::pair<std::vector<std::string>, std::vector<Picture>> runs[] = {
      {{"--as-is"},
       {{{1, 2, 3, 0}, {0, 1, 2, 0}, {3, 0, 1, 0}},
        {{1, 2, 3, 0}, {0, 2, 3, 0}, {3, 0, 1, 0}},
        {{1, 2, 0, 1}, {0, 2, 3, 0}, {3, 0, 1, 0}}}},
      {{"--background", "#0000ff"},
       {{{1, 2, 3, 2}, {0, 1, 2, 2}, {3, 0, 1, 2}},
        {{1, 2, 3, 2}, {0, 2, 2, 2}, {3, 0, 1, 2}},
        {{1, 2, 0, 1}, {0, 2, 2, 2}, {3, 0, 1, 2}}}},
  };
  for (const auto& [options, steps] : runs) {
    SCOPED_TRACE(options[0]);
    fs::path dir = scratch.file("pictures" + options[0]);
    std::vector<std::string> args = options;
    args.insert(args.end(), {"--frames", dir.string(), path});
    ToolRun run = runGifpack(args);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "wrote 3 frames to " + dir.string() + "\n");
    for (int step = 0; step < 3; ++step) {
      fs::path png = dir / ("frame-00" + std::to_string(step) + ".png");
      EXPECT_EQ(readPng(png), steps[step]) << png;
    }
    EXPECT_FALSE(fs::exists(dir / "frame-003.png"));
  }

  // Again into the same directory: the earlier frames make way for the new.
  std::string dir = scratch.file("pictures--as-is").string();
  gif.frames.resize(1);
  ToolRun run = runGifpack({"--frames", dir, put("a.gif", gifwriter::writeGif(gif))});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out, "wrote 1 frame to " + dir + "\n");
  EXPECT_EQ(fs::directory_iterator(dir)->path().filename(), "frame-000.png");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
}

// The analysis keeps what the player makes of a GIF as values: a load that
// reuses the player's records afterwards leaves them as they were. Where the
// player agrees with browsers, its steps are painted from their view.
TEST_F(GifpackCheckTest, AnalysisOutlivesThePlayersRecords) {
  Bytes shown = gifwriter::writeGif(cleanGif());
  Gif other = cleanGif();
  other.screenWidth = 2, other.globalTable = {{9, 9, 9}, {0, 0, 0}};
  Analysis asIs = analyseAnimation(shown, walkGif(shown), std::nullopt);
  Analysis compared = analyseAnimation(shown, walkGif(shown), RewriteOptions{});
  ASSERT_TRUE(compared.browsers.agrees);
  PlayerLoad reused(gifwriter::writeGif(other));
  const std::vector<Picture> steps = {{{0, 1, 2, 3}, {0, 1, 2, 3}, {0, 1, 2, 3}},
                                      {{0, 1, 2, 3}, {0, 1, 2, 3}, {0, 3, 0, 3}},
                                      {{2, 3, 2, 3}, {0, 1, 2, 3}, {0, 3, 0, 3}}};
  for (const Analysis* analysis : {&asIs, &compared}) {
    fs::path dir = scratch.file(analysis == &asIs ? "as-is" : "compared");
    ASSERT_EQ(writeFrames(dir, *analysis), 3);
    for (int step = 0; step < 3; ++step)
      EXPECT_EQ(readPng(dir / ("frame-00" + std::to_string(step) + ".png")), steps[step]) << dir;
  }
}

TEST(GifpackProgress, ShowsOnATerminalOnceTheWorkTakesLong) {
  struct Case {
    const char* name;
    bool terminal;
    int delayMs;
    bool shown;
  };
  const Case cases[] = {
      {"not a terminal", false, 0, false},
      {"quick work", true, 60000, false},
      {"long work", true, 0, true},
  };
  const std::string line = "gifpack: writing frames: 1 of 12";
  for (const Case& c : cases) {
    std::ostringstream out;
    {
      Progress progress(out, c.terminal, "writing frames", 12,
                        std::chrono::milliseconds(c.delayMs));
      for (int done = 1; done <= 12; ++done) progress.advance(done);
    }
    if (!c.shown) {
      EXPECT_EQ(out.str(), "") << c.name;
      continue;
    }
    // Rewritten in place, then wiped.
    EXPECT_TRUE(out.str().starts_with("\r" + line)) << c.name << ": " << out.str();
    EXPECT_TRUE(out.str().ends_with("\r" + std::string(line.size(), ' ') + "\r")) << c.name;
  }
}

}  // namespace
