// The song from the program file to the temporary file, the sequencer and
// back: extractSong, startSong, stopSong and deleteSong, with the main
// window's own handling of the sequencer's notices.
#include "payload/music.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <optional>

#include "payload/payload_locator.h"
#include "tests/support/sequencer_output.h"
#include "tests/support/test_support.h"
#include "tests/unit/music/song_files.h"

namespace {

using std::chrono::milliseconds;
namespace fs = std::filesystem;

// Sets or unsets an environment variable for one test.
class EnvironmentVariable {
 public:
  explicit EnvironmentVariable(const char* name) : name_(name) {
    if (const char* value = std::getenv(name)) saved_ = value;
  }
  ~EnvironmentVariable() {
    if (saved_)
      setenv(name_, saved_->c_str(), 1);
    else
      unsetenv(name_);
  }
  void set(const std::string& value) { setenv(name_, value.c_str(), 1); }
  void unset() { unsetenv(name_); }

 private:
  const char* name_;
  std::optional<std::string> saved_;
};

class MusicTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sequencer_test::Output output;
    output.kind = sequencer_test::Output::Kind::null;
    sequencer_test::useOutput(output);
    musicPlayer = MusicPlayer{};
    temp.set(scratch.path().string());
    tmpdir.set(scratch.path().string());
  }
  void TearDown() override {
    stopSong();
    deleteSong();
    closeLocator();
  }

  // Extracts the song from a program file carrying it.
  void extract(const Bytes& song) {
    fs::path program = programs.file("player.exe");
    writeFileBytes(program, programWith(song));
    extractSong(program.string().c_str(), kMusicTag);
  }

  ScratchDir scratch;
  ScratchDir programs;
  EnvironmentVariable temp{"TEMP"};
  EnvironmentVariable tmpdir{"TMPDIR"};
};

TEST_F(MusicTest, TheSongGoesWhereTempSaysByteForByteAndPlays) {
  const std::string dir = scratch.path().string();
  struct Case {
    const char* name;
    std::optional<std::string> temp;  // nullopt: unset, so the Windows directory
    std::string expectedPath;
  };
  const Case cases[] = {
      {"TEMP", dir, dir + "\\gifplay.mid"},
      {"TEMP ending in a slash", dir + "/", dir + "/\\gifplay.mid"},
      {"TEMP ending in a backslash", dir + "\\", dir + "\\\\gifplay.mid"},
      {"TEMP unset", std::nullopt, dir + "\\gifplay.mid"},
      {"TEMP empty", std::string(), dir + "\\gifplay.mid"},
  };
  const Bytes song = shortSong(0.5);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    musicPlayer = MusicPlayer{};
    if (c.temp)
      temp.set(*c.temp);
    else
      temp.unset();
    extract(song);
    EXPECT_EQ(std::string(musicPlayer.songPath), c.expectedPath);
    EXPECT_EQ(readFileBytes(scratch.file("gifplay.mid")), song);
    startSong(nullptr);
    EXPECT_NE(musicPlayer.device, 0u);
    stopSong();
    EXPECT_EQ(musicPlayer.device, 0u);
    deleteSong();
    EXPECT_FALSE(fs::exists(scratch.file("gifplay.mid")));
  }
}

TEST_F(MusicTest, NoMusicRecordMeansNoFileNoDeviceAndNothingDeleted) {
  writeFileBytes(scratch.file("gifplay.mid"), bytesOf("someone else's"));
  extract({});
  EXPECT_STREQ(musicPlayer.songPath, "");
  startSong(nullptr);
  EXPECT_EQ(musicPlayer.device, 0u);
  deleteSong();
  EXPECT_EQ(readFileBytes(scratch.file("gifplay.mid")), bytesOf("someone else's"));
}

TEST_F(MusicTest, ARecordLongerThanTheFileIsNoMusic) {
  fs::path program = programs.file("player.exe");
  writeFileBytes(program, concat({bytesOf("*MIDI_BEGINS_HERE:"), lengthField(500), Bytes(20, 1)}));
  extractSong(program.string().c_str(), kMusicTag);
  EXPECT_STREQ(musicPlayer.songPath, "");
  EXPECT_FALSE(fs::exists(scratch.file("gifplay.mid")));
}

// The path keeps at most 255 characters: a directory of 243 leaves just room
// for "\gifplay.mid"; anything longer, TEMP values that do not fit the buffer
// at all included, means no music, and nothing is written past the path.
TEST_F(MusicTest, DirectoriesTooLongForThePathMeanNoMusic) {
  struct Case {
    size_t directoryLength;
    bool music;
  };
  const Case cases[] = {{243, true}, {244, false}, {255, false}, {256, false}, {4000, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.directoryLength);
    std::string dir = scratch.path().string() + "/";
    dir += std::string(c.directoryLength - dir.size(), 'd');
    if (c.music) fs::create_directories(dir);
    temp.set(dir);
    musicPlayer = MusicPlayer{};
    musicPlayer.device = 0;
    extract(shortSong(0.5));
    EXPECT_LT(strnlen(musicPlayer.songPath, sizeof musicPlayer.songPath),
              sizeof musicPlayer.songPath);
    EXPECT_EQ(musicPlayer.device, 0u);
    if (c.music) {
      EXPECT_EQ(std::strlen(musicPlayer.songPath), 255u);
      EXPECT_TRUE(fs::exists(dir + "/gifplay.mid"));
      deleteSong();
    } else {
      EXPECT_STREQ(musicPlayer.songPath, "");
      startSong(nullptr);
      EXPECT_EQ(musicPlayer.device, 0u);
    }
  }
}

TEST_F(MusicTest, AFileThatCannotBeCreatedMeansNoMusicAndNothingToDelete) {
  temp.set(scratch.file("missing").string());
  extract(shortSong(0.5));
  EXPECT_STREQ(musicPlayer.songPath, "");
  startSong(nullptr);
  EXPECT_EQ(musicPlayer.device, 0u);
}

// Whatever holds "gifplay.mid" other than a song file that nobody keeps open
// (a read-only file, a link planted at the name, a FIFO, a directory) is
// neither followed, nor opened, nor deleted: the song goes into a file of its
// own under the next free name.
TEST_F(MusicTest, ATakenNameIsLeftAloneAndTheSongGetsANameOfItsOwn) {
  const fs::path victim = programs.file("victim");
  const fs::path planted = scratch.file("gifplay.mid");
  struct Case {
    const char* name;
    std::function<void()> plant;
  };
  const Case cases[] = {
      {"a read-only file",
       [&] {
         writeFileBytes(planted, bytesOf("left here"));
         fs::permissions(planted, fs::perms::owner_read);
       }},
      {"a link to another file", [&] { fs::create_symlink(victim, planted); }},
      {"a link to nowhere", [&] { fs::create_symlink(programs.file("nowhere"), planted); }},
      {"a FIFO", [&] { ASSERT_EQ(mkfifo(planted.c_str(), 0600), 0); }},
      {"a directory", [&] { fs::create_directory(planted); }},
  };
  const Bytes song = shortSong(0.5);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    writeFileBytes(victim, bytesOf("another user's file"));
    c.plant();
    auto planting = fs::symlink_status(planted);
    for (const char* expected : {"gifplay-2.mid", "gifplay-3.mid"}) {
      musicPlayer = MusicPlayer{};
      extract(song);
      EXPECT_EQ(std::string(musicPlayer.songPath), scratch.path().string() + "\\" + expected);
      EXPECT_EQ(readFileBytes(scratch.file(expected)), song);
    }
    deleteSong();
    EXPECT_FALSE(fs::exists(scratch.file("gifplay-3.mid")));
    fs::remove(scratch.file("gifplay-2.mid"));
    EXPECT_EQ(fs::symlink_status(planted).type(), planting.type());
    EXPECT_EQ(readFileBytes(victim), bytesOf("another user's file"));
    fs::remove_all(planted);
    EXPECT_TRUE(fs::is_empty(scratch.path()));
  }
  musicPlayer = MusicPlayer{};
}

// Song files that no running player keeps open were left by players that
// ended without deleting them: they go. One that a player keeps stays.
TEST_F(MusicTest, LeftoversGoButAFileThatAPlayerKeepsStays) {
  for (const char* name : {"gifplay.mid", "gifplay-2.mid", "gifplay-7.mid"})
    writeFileBytes(scratch.file(name), bytesOf("left"));
  HANDLE kept = CreateFileA(scratch.file("gifplay-2.mid").c_str(), GENERIC_READ, FILE_SHARE_READ,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(kept, INVALID_HANDLE_VALUE);
  const Bytes song = shortSong(0.5);
  extract(song);
  EXPECT_EQ(std::string(musicPlayer.songPath), scratch.path().string() + "\\gifplay.mid");
  EXPECT_EQ(readFileBytes(scratch.file("gifplay.mid")), song);
  EXPECT_EQ(readFileBytes(scratch.file("gifplay-2.mid")), bytesOf("left"));
  EXPECT_FALSE(fs::exists(scratch.file("gifplay-7.mid")));
  EXPECT_FALSE(DeleteFileA(musicPlayer.songPath)) << "the player keeps its own song file";
  CloseHandle(kept);
  deleteSong();
  EXPECT_FALSE(fs::exists(scratch.file("gifplay.mid")));
}

// A TEMP that every user may write to (like /tmp) gets a directory of the
// player's own, gone again with the song.
TEST_F(MusicTest, ASharedTempGetsADirectoryOfItsOwn) {
  fs::path shared = scratch.file("shared");
  fs::create_directory(shared);
  fs::permissions(shared, fs::perms::all | fs::perms::sticky_bit);
  temp.set(shared.string());
  const Bytes song = shortSong(0.5);
  extract(song);
  std::string path = musicPlayer.songPath;
  ASSERT_EQ(path.rfind(shared.string() + "/gifplay-", 0), 0u) << path;
  ASSERT_EQ(path.substr(path.size() - 12), "\\gifplay.mid");
  fs::path own = path.substr(0, path.size() - 12);
  EXPECT_EQ(fs::status(own).permissions(), fs::perms::owner_all);
  EXPECT_EQ(readFileBytes(own / "gifplay.mid"), song);
  deleteSong();
  EXPECT_TRUE(fs::is_empty(shared));
}

TEST_F(MusicTest, ANoticeOfSuccessRestartsTheSongFromTheBeginning) {
  extract(shortSong(0.3));
  NoticeWindow window(true);
  auto start = std::chrono::steady_clock::now();
  startSong(window.handle());
  ASSERT_NE(musicPlayer.device, 0u);
  ASSERT_TRUE(window.waitForNotices(4, milliseconds(4000)));
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_GE(seconds, 4 * 0.3 - 0.05);
  for (const Notice& notice : window.notices())
    EXPECT_EQ(notice.code, static_cast<WPARAM>(MCI_NOTIFY_SUCCESSFUL));
  // Each restart reopened the sequencer: the notices name different devices.
  EXPECT_NE(window.notices()[0].device, window.notices()[1].device);
  EXPECT_EQ(static_cast<MCIDEVICEID>(window.notices()[3].device) + 1, musicPlayer.device);
}

TEST_F(MusicTest, OtherNoticesRestartNothing) {
  extract(shortSong(5));
  NoticeWindow window(true);
  startSong(window.handle());
  MCIDEVICEID device = musicPlayer.device;
  ASSERT_NE(device, 0u);
  for (WPARAM code : {MCI_NOTIFY_ABORTED, MCI_NOTIFY_SUPERSEDED, MCI_NOTIFY_FAILURE})
    PostMessageA(window.handle(), MM_MCINOTIFY, code, static_cast<LPARAM>(device));
  ASSERT_TRUE(window.waitForNotices(3, milliseconds(1000)));
  EXPECT_EQ(musicPlayer.device, device);
}

TEST_F(MusicTest, AStoppedSongIsNotStartedAgain) {
  extract(shortSong(0.3));
  NoticeWindow window(true);
  startSong(window.handle());
  ASSERT_NE(musicPlayer.device, 0u);
  stopSong();
  EXPECT_EQ(musicPlayer.device, 0u);
  ASSERT_TRUE(window.waitForNotices(1, milliseconds(1000)));
  EXPECT_FALSE(window.waitForNotices(2, milliseconds(800)));
  EXPECT_EQ(window.notices()[0].code, static_cast<WPARAM>(MCI_NOTIFY_ABORTED));
  EXPECT_EQ(musicPlayer.device, 0u);
}

}  // namespace
