// The window and shutdown with the song: restarts on a completed play, and
// the sequencer closed before the song file goes.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/main_window.h"
#include "app/resource.h"
#include "app/startup.h"
#include "payload/music.h"
#include "player_fixture.h"
#include "tests/support/sequencer_output.h"
#include "tests/support/test_support.h"

namespace {

using namespace std::chrono_literals;

// A format 0 song of one short note.
Bytes shortSong() {
  Bytes track = {0x00, 0x90, 60, 100, 0x30, 0x80, 60, 0, 0x00, 0xFF, 0x2F, 0x00};
  return concat({bytesOf("MThd"),
                 {0, 0, 0, 6, 0, 0, 0, 1, 0, 96},
                 bytesOf("MTrk"),
                 {0, 0, 0, static_cast<uint8_t>(track.size())},
                 track});
}

class MusicTest : public PlayerTest {
 protected:
  void SetUp() override {
    PlayerTest::SetUp();
    sequencer_test::Output silent;
    silent.kind = sequencer_test::Output::Kind::null;
    silent.realTime = false;
    sequencer_test::useOutput(silent);
    songPath = scratch.file("gifplay.mid");
    writeFileBytes(songPath, shortSong());
    std::snprintf(musicPlayer.songPath, sizeof musicPlayer.songPath, "%s", songPath.c_str());
    makeAnimation(20, 10, {{0, 0, 20, 10, 100, 2}, {0, 0, 5, 5, 100, 4}});
  }

  void TearDown() override {
    PlayerTest::TearDown();
    stopSong();
    musicPlayer.songPath[0] = '\0';
  }

  ScratchDir scratch;
  std::filesystem::path songPath;
};

TEST_F(MusicTest, OnlyACompletedPlayRestartsTheSong) {
  openWindow();
  ASSERT_NE(musicPlayer.device, 0u) << "the window's creation starts the song";
  struct Case {
    WPARAM notice;
    bool restarts;
  };
  for (const Case& c : {Case{MCI_NOTIFY_ABORTED, false}, Case{MCI_NOTIFY_SUPERSEDED, false},
                        Case{MCI_NOTIFY_FAILURE, false}, Case{MCI_NOTIFY_SUCCESSFUL, true}}) {
    SCOPED_TRACE(testing::Message() << "notice " << c.notice);
    stopSong();
    SendMessageA(window, MM_MCINOTIFY, c.notice, 0);
    EXPECT_EQ(musicPlayer.device != 0, c.restarts);
  }
}

TEST_F(MusicTest, DestroyingTheWindowStopsTheSong) {
  openWindow();
  ASSERT_NE(musicPlayer.device, 0u);
  headless::closeWindow(window);
  headless::pumpMessages();
  EXPECT_EQ(musicPlayer.device, 0u);
}

TEST_F(MusicTest, ShutdownAfterExitClosesTheSequencerBeforeDeletingTheSong) {
  openWindow();
  ASSERT_NE(musicPlayer.device, 0u);
  headless::chooseMenuItem(window, IDM_EXIT);
  ASSERT_TRUE(headless::pumpMessages().quit);
  EXPECT_NE(musicPlayer.device, 0u) << "Exit leaves the window, and the song, to shutdown";
  EXPECT_EQ(shutDown(0), 0);
  forgetAnimation();
  EXPECT_EQ(musicPlayer.device, 0u);
  EXPECT_FALSE(std::filesystem::exists(songPath));
}

}  // namespace
