// gifpack's packing and --list, run as the built program.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <optional>
#include <sstream>

#include "payload/payload_locator.h"
#include "tests/support/test_support.h"
#include "tests/unit/tools/run_tool.h"

namespace {

namespace fs = std::filesystem;

// 1 × 1, a 2-colour global table, one image.
const Bytes kTinyGif = {'G', 'I',  'F', '8', '9', 'a', 1, 0, 1, 0, 0x80, 0, 0, 0,    0, 0, 255, 255,
                        255, 0x2C, 0,   0,   0,   0,   1, 0, 1, 0, 0,    2, 2, 0x44, 1, 0, 0x3B};
const Bytes kSong = concat({bytesOf("MThd"), Bytes{0, 0, 0, 6, 0, 0, 0, 1, 0, 96}, bytesOf("MTrk"),
                            Bytes{0, 0, 0, 4, 0, 0xFF, 0x2F, 0}});

// Built here from the player's tags, so that no binary holds a whole marker.
std::string marker(const char* tag) { return "*" + std::string(tag + kTagPrefixLength) + ":"; }

Bytes record(const char* tag, const Bytes& payload) {
  return concat(
      {bytesOf(marker(tag)), lengthField(static_cast<uint32_t>(payload.size())), payload});
}

Bytes readPayload(const fs::path& path, const char* tag) {
  int32_t length = locate(path.c_str(), tag);
  Bytes out;
  PayloadBuffer buffer = makePayloadBuffer(length);
  if (length > 0 && readExact(buffer)) out.assign(buffer.data, buffer.data + buffer.size);
  releasePayloadBuffer(buffer);
  closeLocator();
  return out;
}

std::vector<std::string> listing(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

class GifpackTest : public ::testing::Test {
 protected:
  std::string put(const std::string& name, const Bytes& contents) {
    writeFileBytes(scratch.file(name), contents);
    return path(name);
  }
  std::string path(const std::string& name) const { return scratch.file(name).string(); }

  ScratchDir scratch;
  const Bytes player = readFileBytes(GIFPLAY_PLAYER);
};

TEST_F(GifpackTest, PackedRecordsReadBackThroughThePlayersLocator) {
  ToolRun run = runGifpack(
      {"--player", GIFPLAY_PLAYER, put("a.gif", kTinyGif), put("s.mid", kSong), "-o", path("out")});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(readFileBytes(path("out")),
            concat({player, record(kPictureTag, kTinyGif), record(kMusicTag, kSong)}));
  EXPECT_EQ(readPayload(path("out"), kPictureTag), kTinyGif);
  EXPECT_EQ(readPayload(path("out"), kMusicTag), kSong);
  EXPECT_NE(fs::status(path("out")).permissions() & fs::perms::owner_exec, fs::perms::none);

  size_t picture = player.size(), music = picture + 21 + kTinyGif.size();
  ToolRun list = runGifpack({"--list", path("out")});
  EXPECT_EQ(list.exitCode, 0);
  EXPECT_EQ(list.out, path("out") + ": " + std::to_string(music + 22 + kSong.size()) +
                          " bytes\npicture: marker at " + std::to_string(picture) +
                          ", payload at " + std::to_string(picture + 21) + ", 35 bytes\n" +
                          "music  : marker at " + std::to_string(music) + ", payload at " +
                          std::to_string(music + 22) + ", 26 bytes\n");
}

// The player's scanner takes the first marker of a tag and skips one behind a
// "*": gifpack orders the records so that the player finds exactly the ones
// it packed (the song first when the picture would hide or fake the song;
// an empty music record first when a GIF without a song holds one), or
// refuses. --list reports what the player finds.
TEST_F(GifpackTest, PayloadsHoldingMarkersArePackedSoThePlayerFindsWhatWasGiven) {
  const Bytes decoy = concat({bytesOf("MThd"), Bytes{0, 0, 0, 6, 0, 0, 0, 1, 0, 48}});
  const Bytes fake = record(kMusicTag, decoy);
  Bytes commented(kTinyGif.begin(), kTinyGif.begin() + 19);  // up to the image
  commented.insert(commented.end(), {0x21, 0xFE, static_cast<uint8_t>(fake.size())});
  commented.insert(commented.end(), fake.begin(), fake.end());
  commented.push_back(0);
  commented.insert(commented.end(), kTinyGif.begin() + 19, kTinyGif.end());
  const Bytes endsInStar = concat({kTinyGif, bytesOf("*")});
  const Bytes songWithMarker =
      concat({kSong, bytesOf(marker(kPictureTag))});  // behind its end of track
  const std::string player0 = std::to_string(player.size());
  struct Case {
    const char* name;
    Bytes gif;
    std::optional<Bytes> song;
    std::string musicLine;  // empty: refused
  };
  const Case cases[] = {
      {"GIF ending in a star", endsInStar, kSong, "marker at " + player0},
      {"GIF with a song in a comment", commented, kSong, "marker at " + player0},
      {"the same without a song", commented, std::nullopt,
       "marker at " + player0 + ", length 0: the player takes it as absent"},
      {"both hold the other's marker", commented, songWithMarker, ""},
      {"both end in a star", endsInStar, concat({kSong, bytesOf("*")}), ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove(path("out"));
    std::vector<std::string> args{"--player", GIFPLAY_PLAYER, put("a.gif", c.gif)};
    if (c.song) args.push_back(put("s.mid", *c.song));
    args.insert(args.end(), {"-o", path("out")});
    ToolRun run = runGifpack(args);
    if (c.musicLine.empty()) {
      EXPECT_EQ(run.exitCode, 2);
      EXPECT_NE(run.err.find("the player would not find the records as packed"), std::string::npos)
          << run.err;
      EXPECT_FALSE(fs::exists(path("out")));
      continue;
    }
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(readPayload(path("out"), kPictureTag), c.gif);
    EXPECT_EQ(readPayload(path("out"), kMusicTag), c.song.value_or(Bytes{}));
    ToolRun list = runGifpack({"--list", path("out")});
    EXPECT_NE(list.out.find("\nmusic  : " + c.musicLine), std::string::npos) << list.out;
  }
}

// The output as GNU tools take it, or beside the animation under its name,
// never over a file that is there; the report line gives the sizes.
TEST_F(GifpackTest, WithoutASongAndWithTheDefaultPlayer) {
  const std::string gif = put("a.gif", kTinyGif);
  const Bytes packed = concat({player, record(kPictureTag, kTinyGif)});
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{gif, "-o", path("out")}, "out"},
      {{"--output=" + path("out"), gif}, "out"},
      {{gif, "-o" + path("out")}, "out"},
      {{gif}, "a"},
      {{gif}, "a (2)"},
      {{"--background=#102030", gif, "--", path("a (2)")}, ""},
  };
  for (const auto& [args, written] : cases) {
    SCOPED_TRACE(args[0] + " " + written);
    fs::remove(path("out"));
    ToolRun run = runGifpack(args);
    if (written.empty()) {
      EXPECT_EQ(run.exitCode, 2);
      EXPECT_NE(run.err.find("a (2): not a Standard MIDI File"), std::string::npos) << run.err;
      continue;
    }
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(readFileBytes(path(written)), packed);
    size_t bytes = packed.size();  // a sanitized player passes a megabyte
    std::string size = bytes < (1 << 20) ? std::to_string((bytes + 1023) / 1024) + " KB"
                                         : std::to_string((bytes + (1 << 20) - 1) >> 20) + " MB";
    EXPECT_EQ(run.out, "wrote " + path(written) + ": " + size + " (the animation 1 KB)\n");
  }
  EXPECT_NE(runGifpack({"--list", path("a")}).out.find("music  : none\n"), std::string::npos);
}

TEST_F(GifpackTest, ListShowsWhatThePlayerWouldMakeOfEachRecord) {
  struct Case {
    const char* name;
    Bytes contents;
    std::string pictureLine;
  };
  const Bytes star = bytesOf(marker(kPictureTag));
  const Case cases[] = {
      {"no record", bytesOf("plain bytes"), "none"},
      {"star before the marker", concat({bytesOf("*"), record(kPictureTag, kTinyGif)}), "none"},
      {"length field cut off", concat({bytesOf("xy"), star, Bytes{5, 0}}),
       "marker at 2, its length field cut off by the end of the file"},
      {"file ends at the colon", concat({bytesOf("xy"), star}),
       "marker at 2, its length field cut off by the end of the file"},
      {"length 0", concat({star, lengthField(0), bytesOf("rest")}),
       "marker at 0, length 0: the player takes it as absent"},
      {"payload cut short", concat({star, lengthField(9), bytesOf("abc")}),
       "marker at 0, payload at 21, 9 bytes, but only 3 follow: the player cannot read it"},
      {"length of 2 GiB", concat({star, lengthField(0x80000000u)}),
       "marker at 0, length 2147483648 bytes: too large for the player to read"},
      {"payload of 1 byte", concat({star, lengthField(1), bytesOf("x")}),
       "marker at 0, payload at 21, 1 byte"},
  };
  for (const Case& c : cases) {
    ToolRun run = runGifpack({"--list", put("file", c.contents)});
    EXPECT_EQ(run.exitCode, 0) << c.name;
    EXPECT_NE(run.out.find("\npicture: " + c.pictureLine + "\n"), std::string::npos)
        << c.name << ":\n"
        << run.out;
  }
}

TEST_F(GifpackTest, RefusesBadInputsAndWritesNothing) {
  const std::string gif = put("a.gif", kTinyGif), song = put("s.mid", kSong);
  const std::string bare = put("player", player);
  fs::create_directory(scratch.file("dir"));
  fs::create_hard_link(gif, scratch.file("hard-link.gif"));
  // Directories that --frames refuses: one holding other files, one holding
  // a link named as a frame, and a link to a directory.
  fs::create_directory(scratch.file("others"));
  put("others/notes.txt", bytesOf("notes"));
  fs::create_directory(scratch.file("linked"));
  fs::create_symlink(song, scratch.file("linked/frame-000.png"));
  fs::create_directory_symlink(scratch.file("dir"), scratch.file("dir-link"));
  ASSERT_EQ(mkfifo(scratch.file("pipe").c_str(), 0600), 0);  // nobody ever writes to it
  auto sparse = [&](const std::string& name, const Bytes& start, uint64_t size) {
    put(name, start);
    fs::resize_file(scratch.file(name), size);
    return path(name);
  };
  const uint64_t gib = uint64_t{1} << 30;
  struct Case {
    const char* name;
    std::vector<std::string> args;
    std::string output;  // the file the run would have written
    std::string namedFile, words;
  };
  const std::string out = path("out");
  const Case cases[] = {
      {"missing animation", {path("none.gif"), "-o", out}, out, path("none.gif"), "cannot read"},
      {"song is a directory", {gif, path("dir"), "-o", out}, out, path("dir"), "cannot read"},
      {"song is a FIFO", {gif, path("pipe"), "-o", out}, out, path("pipe"), "not a regular file"},
      {"--info on a FIFO", {"--info", path("pipe")}, gif, path("pipe"), "not a regular file"},
      {"--list on a FIFO", {"--list", path("pipe")}, gif, path("pipe"), "not a regular file"},
      {"missing player",
       {"--player", path("none"), gif, "-o", out},
       out,
       path("none"),
       "cannot read"},
      {"output is the animation", {gif, "-o", gif}, gif, gif, "is the same file as the input"},
      {"output is the song by another path",
       {gif, song, "-o", path("dir/../s.mid")},
       song,
       path("dir/../s.mid"),
       "is the same file"},
      {"output is a hard link to the animation",
       {gif, "-o", path("hard-link.gif")},
       gif,
       path("hard-link.gif"),
       "is the same file"},
      {"output is the player", {"--player", bare, gif, "-o", bare}, bare, bare, "is the same file"},
      {"animation not a GIF", {song, "-o", out}, out, song, "not a GIF"},
      {"empty animation", {put("empty.gif", {}), "-o", out}, out, path("empty.gif"), "not a GIF"},
      {"GIF88a",
       {put("88.gif", bytesOf("GIF88a....")), "-o", out},
       out,
       path("88.gif"),
       "not a GIF"},
      {"song not MIDI",
       {gif, put("riff.mid", bytesOf("RIFF....")), "-o", out},
       out,
       path("riff.mid"),
       "not a Standard MIDI File"},
      {"player carries a picture record",
       {"--player", put("p1", concat({player, record(kPictureTag, kTinyGif)})), gif, "-o", out},
       out,
       path("p1"),
       "already carries a picture record"},
      {"player carries a music record",
       {"--player", put("p2", concat({player, record(kMusicTag, kSong)})), gif, "-o", out},
       out,
       path("p2"),
       "already carries a music record"},
      {"player carries an empty record",
       {"--player", put("p3", concat({player, record(kPictureTag, {})})), gif, "-o", out},
       out,
       path("p3"),
       "already carries a picture record"},
      {"animation of 4 GiB",
       {sparse("4g.gif", kTinyGif, 4 * gib), "-o", out},
       out,
       path("4g.gif"),
       "a record holds less than 4 GiB"},
      {"song of 2 GiB",
       {gif, sparse("2g.mid", kSong, 2 * gib), "-o", out},
       out,
       path("2g.mid"),
       "the player reads less than 2 GiB"},
      {"output of 2 GiB",
       {sparse("big.gif", kTinyGif, gib + gib / 2), sparse("big.mid", kSong, gib / 2), "-o", out},
       out,
       out,
       "the player finds records only in its first 2 GiB"},
      {"frames into a file", {"--frames", song, gif}, song, song, "cannot write: not a directory"},
      {"frames below a file",
       {"--frames", song + "/frames", gif},
       song,
       song + "/frames",
       "cannot create the directory: " + song + " is not a directory"},
      {"frames among other files",
       {"--frames", path("others"), gif},
       path("others/notes.txt"),
       path("others"),
       "holds notes.txt, not a frame that gifpack wrote"},
      {"frames through a link named as a frame",
       {"--frames", path("linked"), gif},
       song,
       path("linked"),
       "holds frame-000.png, not a frame that gifpack wrote"},
      {"frames into a link to a directory",
       {"--frames", path("dir-link"), gif},
       gif,
       path("dir-link"),
       "is a link: give the directory itself"},
      {"output directory missing",
       {gif, "-o", path("none/out")},
       path("none/out"),
       path("none/out"),
       "cannot write: no such folder"},
      {"output below a file", {gif, "-o", gif + "/out"}, gif, gif + "/out", "is not a directory"},
      {"output is a directory",
       {put("bad.gif", bytesOf("GIF89a")), "--output=" + path("dir")},
       gif,
       path("dir"),
       "cannot write: it is a directory"},
  };
  const std::vector<std::string> before = listing(scratch.path());
  for (const Case& c : cases) {
    for (bool outputExists : {false, true}) {
      if (outputExists && c.output == out) put("out", bytesOf("old contents"));
      Bytes outputBefore = readFileBytes(c.output);
      ToolRun run = runGifpack(c.args);
      SCOPED_TRACE(std::string(c.name) + (outputExists ? ", output exists" : ""));
      EXPECT_EQ(run.exitCode, 2);
      EXPECT_EQ(run.err.rfind("gifpack: " + c.namedFile + ": ", 0), 0u) << run.err;
      EXPECT_NE(run.err.find(c.words), std::string::npos) << run.err;
      EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
      EXPECT_EQ(readFileBytes(c.output), outputBefore);
      if (outputExists) fs::remove(out);
      EXPECT_EQ(listing(scratch.path()), before);
    }
  }
}

TEST_F(GifpackTest, UsageErrorsExitWith1) {
  const std::string gif = put("a.gif", kTinyGif);
  const std::vector<std::string> cases[] = {
      {},
      {"-o", path("out")},
      {gif, gif, gif, "-o", path("out")},
      {gif, "-o"},
      {"--frobnicate", gif, "-o", path("out")},
      {gif, "-o", path("out"), "-o", path("out2")},
      {"--list", gif, "extra"},
      {"--windows=yes", gif, "-o", path("out")},
      {gif, "--output="},
  };
  for (const auto& args : cases) {
    std::string shown;
    for (const std::string& arg : args) shown += arg + " ";
    ToolRun run = runGifpack(args);
    EXPECT_EQ(run.exitCode, 1) << shown;
    EXPECT_NE(run.err.find("(see gifpack --help)"), std::string::npos) << shown << run.err;
    EXPECT_FALSE(fs::exists(path("out"))) << shown;
  }
}

// The manual page is made from --help and gifpack.h2m: the README says the
// same of options and examples.
TEST_F(GifpackTest, HelpFitsAScreenAndAgreesWithTheReadme) {
  ToolRun run = runGifpack({"--help"});
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_LE(std::count(run.out.begin(), run.out.end(), '\n'), 24);
  EXPECT_NE(run.out.find("Exit status: 0"), std::string::npos);
  auto text = [](const char* file) {
    Bytes bytes = readFileBytes(fs::path(GIFPLAY_SOURCE_DIR) / file);
    return std::string(bytes.begin(), bytes.end());
  };
  std::string readme = text("README.md"), manual = text("tools/gifpack/gifpack.h2m");
  for (size_t at = 0; (at = manual.find("\\", at)) != std::string::npos;) manual.erase(at, 1);
  std::istringstream lines(readme);
  int examples = 0;
  for (std::string line; std::getline(lines, line);) {
    if (line.starts_with("    gifpack ")) {
      std::istringstream words(line);
      for (std::string word; words >> word;)
        EXPECT_TRUE(!word.starts_with("-") || run.out.find(word) != std::string::npos) << word;
    }
    if (line.find("my.gif") != std::string::npos ||
        line.find("./my-animation") != std::string::npos) {
      EXPECT_NE(manual.find(line.substr(4)), std::string::npos) << line;
      ++examples;
    }
  }
  EXPECT_EQ(examples, 3);

  ToolRun version = runGifpack({"--version"});
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_TRUE(version.out.starts_with("gifpack (gifplay) ")) << version.out;
  EXPECT_NE(version.out.find("MIT License"), std::string::npos) << version.out;
}

// A player holding a complete marker would stop its own scan inside its image.
TEST(GifpackBinaries, NoPlayerAndNotGifpackHoldsACompleteMarker) {
  std::vector<fs::path> programs{GIFPLAY_PLAYER, GIFPACK_TOOL};
  for (const auto& entry : fs::directory_iterator(GIFPLAY_SOURCE_DIR)) {
    fs::path windowsPlayer = entry.path() / "app" / "gifplay.exe";
    if (entry.path().filename().string().starts_with("build-win") && fs::exists(windowsPlayer))
      programs.push_back(windowsPlayer);
  }
  for (const fs::path& program : programs) {
    Bytes image = readFileBytes(program);
    ASSERT_FALSE(image.empty()) << program;
    for (const char* tag : {kPictureTag, kMusicTag}) {
      Bytes m = bytesOf(marker(tag));
      EXPECT_EQ(std::search(image.begin(), image.end(), m.begin(), m.end()), image.end())
          << program << " holds " << marker(tag);
    }
  }
}

}  // namespace
