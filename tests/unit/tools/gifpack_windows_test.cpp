// gifpack with Windows players: telling a PE program from other files, and
// --windows finding gifplay.exe by itself.
#include <gtest/gtest.h>

#include "tests/support/test_support.h"
#include "tests/unit/tools/run_tool.h"
#include "tools/gifwriter/gif_writer.h"

namespace {

namespace fs = std::filesystem;

// 1 × 1, a 2-colour global table, one image.
const Bytes kTinyGif = {'G', 'I',  'F', '8', '9', 'a', 1, 0, 1, 0, 0x80, 0, 0, 0,    0, 0, 255, 255,
                        255, 0x2C, 0,   0,   0,   0,   1, 0, 1, 0, 0,    2, 2, 0x44, 1, 0, 0x3B};

// An MZ header whose field at 0x3C points to the PE signature at peOffset.
Bytes dosHeader(uint32_t peOffset, size_t size) {
  Bytes header(size, 0);
  header[0] = 'M';
  header[1] = 'Z';
  for (int i = 0; i < 4; ++i) header[0x3C + i] = static_cast<uint8_t>(peOffset >> (8 * i));
  return header;
}

Bytes windowsProgram() {
  Bytes program = dosHeader(0x80, 0x200);
  const uint8_t signature[] = {'P', 'E', 0, 0, 0x4C, 0x01};
  std::copy(std::begin(signature), std::end(signature), program.begin() + 0x80);
  return program;
}

class GifpackWindowsTest : public ::testing::Test {
 protected:
  std::string put(const std::string& name, const Bytes& contents) {
    writeFileBytes(scratch.file(name), contents);
    return scratch.file(name).string();
  }
  std::string path(const std::string& name) const { return scratch.file(name).string(); }

  ScratchDir scratch;
};

TEST_F(GifpackWindowsTest, PlayersAreLinuxOrWindowsPrograms) {
  struct Case {
    const char* name;
    Bytes player;
    bool accepted;
  };
  Bytes stray = windowsProgram();
  stray[0x81] = 'X';
  const Case cases[] = {
      {"the built Linux player", readFileBytes(GIFPLAY_PLAYER), true},
      {"a Windows program", windowsProgram(), true},
      {"MZ without the PE signature", stray, false},
      {"MZ whose PE offset lies beyond the file", dosHeader(0x400, 0x100), false},
      {"MZ cut off before its PE offset field", Bytes{'M', 'Z', 0, 0}, false},
      {"a text file", bytesOf("#!/bin/sh\necho hello\n"), false},
  };
  std::string gif = put("a.gif", kTinyGif);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string player = put("player", c.player), out = path("out.exe");
    fs::remove(out);
    ToolRun run = runGifpack({"--player", player, gif, "-o", out});
    if (c.accepted) {
      ASSERT_EQ(run.exitCode, 0) << run.err;
      Bytes packed = readFileBytes(out);
      EXPECT_TRUE(std::equal(c.player.begin(), c.player.end(), packed.begin()));
    } else {
      EXPECT_EQ(run.exitCode, 2);
      EXPECT_EQ(run.err, "gifpack: " + player +
                             ": not a player: neither a Linux (ELF) nor a Windows (PE) program\n");
      EXPECT_FALSE(fs::exists(out));
    }
  }
}

// Side by side (the Windows zip) and installed (bin/ and libexec/gifplay/, as
// the Debian package has them): gifpack finds its players there, and an
// installed one never takes the players of a build tree.
TEST_F(GifpackWindowsTest, DefaultPlayersBesideGifpackAndInstalled) {
  struct Case {
    const char* name;
    std::string gifpack;
    std::vector<std::string> args;
    std::string player;
    std::string output = "o.exe";
  };
  const Case cases[] = {
      {"--windows, side by side", "zip/gifpack", {"--windows"}, "zip/gifplay.exe"},
      {"--windows, installed", "usr/bin/gifpack", {"--windows"}, "usr/libexec/gifplay/gifplay.exe"},
      {"an output named .exe", "usr/bin/gifpack", {}, "usr/libexec/gifplay/gifplay.exe"},
      {"installed", "usr/bin/gifpack", {}, "usr/libexec/gifplay/gifplay", "o"},
      {"--windows without .exe", "zip/gifpack", {"--windows"}, "zip/gifplay.exe", "o"},
  };
  Bytes player = windowsProgram();
  std::string gif = put("a.gif", kTinyGif);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::create_directories(scratch.file(c.player).parent_path());
    fs::create_directories(scratch.file(c.gifpack).parent_path());
    fs::copy_file(GIFPACK_TOOL, scratch.file(c.gifpack), fs::copy_options::overwrite_existing);
    put(c.player, player);
    std::vector<std::string> args = c.args;
    args.insert(args.end(), {gif, "-o", path(c.output)});
    ToolRun run = runTool(scratch.file(c.gifpack), args);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    bool warned = run.err.find("warning: a Windows program, but its name does not end in .exe") !=
                  std::string::npos;
    EXPECT_EQ(warned, c.output == "o") << run.err;  // every player here is a Windows program
    Bytes packed = readFileBytes(path(c.output));
    ASSERT_GT(packed.size(), player.size());
    EXPECT_TRUE(std::equal(player.begin(), player.end(), packed.begin()));
    fs::remove(scratch.file(c.player));
  }
}

// A screen and frames of the given sizes, each frame's data a single pixel.
Bytes sizedGif(int width, int height, const std::vector<std::pair<int, int>>& frames) {
  gifwriter::Gif gif;
  gif.screenWidth = width, gif.screenHeight = height;
  gif.globalTable = gifwriter::ColourTable{{0, 0, 0}, {255, 255, 255}};
  for (auto [w, h] : frames) {
    gifwriter::Frame frame;
    frame.width = w, frame.height = h;
    frame.rawData = Bytes{2, 2, 0x4C, 0x01, 0};
    gif.frames.push_back(frame);
  }
  return gifwriter::writeGif(gif);
}

// What the Windows player could allocate under Wine: no block above 560 MB,
// no more than 1024 MB in all. The Linux player is held to 2 GiB.
TEST_F(GifpackWindowsTest, TheWindowsPlayerGetsWhatItCanAllocate) {
  const struct {
    const char* name;
    Bytes gif;
    bool windows;
    std::string refusal;
  } cases[] = {
      {"a canvas of 560 MB", sizedGif(16384, 35840, {{1, 1}}), true, ""},
      {"a canvas of 561 MB", sizedGif(16384, 35904, {{1, 1}}), true,
       "the player would not start: its screen of 16384 x 35904 is too large to allocate"},
      {"the same for Linux", sizedGif(16384, 35904, {{1, 1}}), false, ""},
      {"a frame of 561 MB", sizedGif(64, 64, {{16384, 35904}}), true,
       "frame 0 of 16384 x 35904 would need 561 MB, more than the 560 MB the Windows player can "
       "allocate at once"},
      {"1024 MB in all", sizedGif(16384, 29696, {{16384, 35840}}), true, ""},
      {"1025 MB in all", sizedGif(16384, 32768, {{16384, 32769}}), true,
       "the player would need 1025 MB for its canvas and frames, more than the 1024 MB the "
       "Windows player can allocate"},
  };
  std::string windows = put("gifplay.exe", windowsProgram());
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string gif = put("a.gif", c.gif), out = path("out.exe");
    fs::remove(out);
    ToolRun run =
        runGifpack({"--as-is", "--player", c.windows ? windows : GIFPLAY_PLAYER, gif, "-o", out});
    if (c.refusal.empty()) {
      EXPECT_EQ(run.exitCode, 0) << run.err;
    } else {
      EXPECT_EQ(run.exitCode, 2);
      EXPECT_EQ(run.err, "gifpack: " + gif + ": " + c.refusal + "\n");
    }
  }
}

TEST_F(GifpackWindowsTest, WindowsAndPlayerTogetherAreWrongUsage) {
  ToolRun run = runGifpack(
      {"--windows", "--player", GIFPLAY_PLAYER, put("a.gif", kTinyGif), "-o", path("o")});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find("give --player or --windows, not both"), std::string::npos) << run.err;
  EXPECT_FALSE(fs::exists(path("o")));
}

}  // namespace
