// The MCI sequencer through mciSendCommandA, as the program drives it, with
// the synthesizer's audio going to a test output.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "platform/win32.h"
#include "tests/support/sequencer_output.h"
#include "tests/support/test_support.h"
#include "tests/unit/music/song_files.h"

namespace {

using std::chrono::milliseconds;
using Kind = sequencer_test::Output::Kind;

constexpr double kShortSongSeconds = 0.3;
constexpr double kDemoSongSeconds = 19.2;  // eight bars of four beats at 100 bpm

sequencer_test::Output nullOutput() {
  sequencer_test::Output output;
  output.kind = Kind::null;
  return output;
}

class SequencerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sequencer_test::useOutput(nullOutput());
    songPath = scratch.file("song.mid").string();
    writeFileBytes(songPath, shortSong(kShortSongSeconds));
  }
  void TearDown() override { sequencer_test::useOutput(nullOutput()); }

  MCIERROR open(const std::string& path, MCIDEVICEID& id, const char* type = "sequencer",
                DWORD flags = MCI_OPEN_TYPE | MCI_OPEN_ELEMENT) {
    MCI_OPEN_PARMSA parms{};
    parms.lpstrDeviceType = type;
    parms.lpstrElementName = path.c_str();
    MCIERROR error = mciSendCommandA(0, MCI_OPEN, flags, reinterpret_cast<DWORD_PTR>(&parms));
    id = parms.wDeviceID;
    return error;
  }

  MCIERROR play(MCIDEVICEID id, HWND window, DWORD flags = MCI_NOTIFY) {
    MCI_PLAY_PARMS parms{};
    parms.dwCallback = reinterpret_cast<DWORD_PTR>(window);
    return mciSendCommandA(id, MCI_PLAY, flags, reinterpret_cast<DWORD_PTR>(&parms));
  }

  static MCIERROR send(MCIDEVICEID id, UINT message) { return mciSendCommandA(id, message, 0, 0); }

  ScratchDir scratch;
  std::string songPath;
};

TEST_F(SequencerTest, OpenRefusals) {
  std::string notMidi = scratch.file("picture.mid").string();
  writeFileBytes(notMidi, bytesOf("GIF89a, not a song at all"));
  std::string silent = scratch.file("silent.mid").string();
  writeFileBytes(silent, shortSong(0));
  struct Case {
    const char* name;
    std::string path;
    const char* type;
    DWORD flags;
    MCIERROR expected;
  };
  const DWORD both = MCI_OPEN_TYPE | MCI_OPEN_ELEMENT;
  const Case cases[] = {
      {"no device type", songPath, "sequencer", MCI_OPEN_ELEMENT, MCIERR_DEVICE_TYPE_REQUIRED},
      {"another device type", songPath, "waveaudio", both, MCIERR_INVALID_DEVICE_NAME},
      {"device type by number", songPath, "sequencer", both | MCI_OPEN_TYPE_ID,
       MCIERR_UNSUPPORTED_FUNCTION},
      {"no file", songPath, "sequencer", MCI_OPEN_TYPE, MCIERR_FILENAME_REQUIRED},
      {"missing file", scratch.file("none.mid").string(), "sequencer", both, MCIERR_FILE_NOT_FOUND},
      {"a directory", scratch.path().string(), "sequencer", both, MCIERR_FILE_NOT_FOUND},
      {"not a MIDI file", notMidi, "sequencer", both, MCIERR_INVALID_FILE},
      {"a song without length", silent, "sequencer", both, MCIERR_INVALID_FILE},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MCIDEVICEID id = 0;
    EXPECT_EQ(open(c.path, id, c.type, c.flags), c.expected);
  }
  EXPECT_EQ(mciSendCommandA(0, MCI_OPEN, both, 0), MCIERR_NULL_PARAMETER_BLOCK);
}

TEST_F(SequencerTest, OpensByWindowsPathWhateverTheCaseOfTheDeviceType) {
  std::string windowsPath = songPath;
  for (char& c : windowsPath)
    if (c == '/') c = '\\';
  for (const char* type : {"sequencer", "Sequencer", "SEQUENCER"}) {
    SCOPED_TRACE(type);
    MCIDEVICEID id = 0;
    ASSERT_EQ(open(windowsPath, id, type), 0u);
    EXPECT_NE(id, 0u);
    EXPECT_EQ(send(id, MCI_CLOSE), 0u);
  }
}

TEST_F(SequencerTest, OneDeviceAtATimeEachWithItsOwnId) {
  MCIDEVICEID first = 0, second = 0, third = 0;
  ASSERT_EQ(open(songPath, first), 0u);
  EXPECT_EQ(open(songPath, second), MCIERR_SEQ_PORT_INUSE);
  EXPECT_EQ(send(first + 1, MCI_PLAY), MCIERR_INVALID_DEVICE_ID);
  EXPECT_EQ(send(first + 1, MCI_STOP), MCIERR_INVALID_DEVICE_ID);
  EXPECT_EQ(send(first, MCI_CLOSE), 0u);
  EXPECT_EQ(send(first, MCI_CLOSE), MCIERR_INVALID_DEVICE_ID);
  ASSERT_EQ(open(songPath, third), 0u);
  EXPECT_NE(third, first);
  EXPECT_EQ(send(third, MCI_CLOSE), 0u);
}

// How a play ends decides its notice; lParam names the device.
TEST_F(SequencerTest, EachPlayEndsWithOneNotice) {
  struct Case {
    const char* name;
    UINT endedBy;  // 0: the song plays to its end
    WPARAM expected;
  };
  const Case cases[] = {
      {"played to the end", 0, MCI_NOTIFY_SUCCESSFUL},
      {"stopped", MCI_STOP, MCI_NOTIFY_ABORTED},
      {"closed", MCI_CLOSE, MCI_NOTIFY_ABORTED},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    NoticeWindow window(false);
    MCIDEVICEID id = 0;
    ASSERT_EQ(open(songPath, id), 0u);
    ASSERT_EQ(play(id, window.handle()), 0u);
    if (c.endedBy != 0) {
      EXPECT_EQ(send(id, c.endedBy), 0u);
    }
    ASSERT_TRUE(window.waitForNotices(1, milliseconds(3000)));
    // Nothing more comes, not even once the song would have ended.
    EXPECT_FALSE(window.waitForNotices(2, milliseconds(600)));
    EXPECT_EQ(window.notices()[0].code, c.expected);
    EXPECT_EQ(window.notices()[0].device, static_cast<LPARAM>(id));
    if (c.endedBy != MCI_CLOSE) {
      EXPECT_EQ(send(id, MCI_CLOSE), 0u);
    }
  }
}

TEST_F(SequencerTest, ASecondPlaySupersedesTheFirstNotice) {
  NoticeWindow window(false);
  MCIDEVICEID id = 0;
  ASSERT_EQ(open(songPath, id), 0u);
  ASSERT_EQ(play(id, window.handle()), 0u);
  ASSERT_EQ(play(id, window.handle()), 0u);
  ASSERT_TRUE(window.waitForNotices(2, milliseconds(3000)));
  EXPECT_EQ(window.notices()[0].code, static_cast<WPARAM>(MCI_NOTIFY_SUPERSEDED));
  EXPECT_EQ(window.notices()[1].code, static_cast<WPARAM>(MCI_NOTIFY_SUCCESSFUL));
  send(id, MCI_CLOSE);
}

TEST_F(SequencerTest, PlayWithoutNotifyTellsNothing) {
  NoticeWindow window(false);
  MCIDEVICEID id = 0;
  ASSERT_EQ(open(songPath, id), 0u);
  ASSERT_EQ(play(id, window.handle(), 0), 0u);
  EXPECT_FALSE(window.waitForNotices(1, milliseconds(1000)));
  EXPECT_EQ(send(id, MCI_CLOSE), 0u);
}

// The end of a song is found by the synthesizer's clock: a play takes the
// song's time, not less.
TEST_F(SequencerTest, ThePlayLastsTheSong) {
  NoticeWindow window(false);
  MCIDEVICEID id = 0;
  ASSERT_EQ(open(songPath, id), 0u);
  auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(play(id, window.handle()), 0u);
  ASSERT_TRUE(window.waitForNotices(1, milliseconds(3000)));
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_GE(seconds, kShortSongSeconds - 0.03);
  EXPECT_LT(seconds, kShortSongSeconds + 0.5);
  send(id, MCI_CLOSE);
}

TEST_F(SequencerTest, WithoutAnAudioOutputOpenFails) {
  if (sequencer_test::synthesizerStarted()) GTEST_SKIP() << "needs a process of its own";
  sequencer_test::Output unwritable;
  unwritable.kind = Kind::wavFile;
  unwritable.wavPath = scratch.file("no/such/dir/out.wav").string();
  sequencer_test::useOutput(unwritable);
  MCIDEVICEID id = 0;
  EXPECT_EQ(open(songPath, id), MCIERR_SEQ_PORT_NONEXISTENT);
}

TEST_F(SequencerTest, WithoutASoundFontOpenFails) {
  if (sequencer_test::synthesizerStarted()) GTEST_SKIP() << "needs a process of its own";
  sequencer_test::hideSoundFonts(true);
  MCIDEVICEID id = 0;
  EXPECT_EQ(open(songPath, id), MCIERR_SEQ_NOMIDIPRESENT);
  sequencer_test::hideSoundFonts(false);
  EXPECT_EQ(open(songPath, id), 0u);
  send(id, MCI_CLOSE);
}

struct Wav {
  int channels = 0;
  int rate = 0;
  std::vector<int16_t> samples;
};

Wav readWav(const std::filesystem::path& path) {
  Bytes file = readFileBytes(path);
  Wav wav;
  if (file.size() < 44 || std::memcmp(file.data(), "RIFF", 4) != 0) return wav;
  wav.channels = file[22] | file[23] << 8;
  wav.rate = file[24] | file[25] << 8 | file[26] << 16 | file[27] << 24;
  uint32_t dataBytes = file[40] | file[41] << 8 | file[42] << 16 | uint32_t(file[43]) << 24;
  dataBytes = std::min<uint32_t>(dataBytes, file.size() - 44);
  wav.samples.resize(dataBytes / 2);
  std::memcpy(wav.samples.data(), file.data() + 44, wav.samples.size() * 2);
  return wav;
}

// The demo song through the player's own synthesizer set-up, written to a
// WAV file as fast as it renders: real sound, for the song's whole length.
// In a process of its own (as ctest runs each test) the SoundFont loads
// afresh, so the song starts while it still loads.
TEST_F(SequencerTest, TheDemoSongSoundsForItsWholeLength) {
  std::filesystem::path wavPath = scratch.file("demo.wav");
  sequencer_test::Output wavOutput;
  wavOutput.kind = Kind::wavFile;
  wavOutput.realTime = false;
  wavOutput.wavPath = wavPath.string();
  sequencer_test::useOutput(wavOutput);
  NoticeWindow window(false);
  MCIDEVICEID id = 0;
  ASSERT_EQ(open(demoSongPath(), id), 0u);
  ASSERT_EQ(play(id, window.handle()), 0u);
  ASSERT_TRUE(window.waitForNotices(1, milliseconds(60000)));
  EXPECT_EQ(window.notices()[0].code, static_cast<WPARAM>(MCI_NOTIFY_SUCCESSFUL));
  send(id, MCI_CLOSE);
  sequencer_test::useOutput(nullOutput());

  Wav wav = readWav(wavPath);
  ASSERT_EQ(wav.channels, 2);
  ASSERT_GT(wav.rate, 0);
  double seconds = double(wav.samples.size()) / wav.channels / wav.rate;
  EXPECT_NEAR(seconds, kDemoSongSeconds, 0.25);

  // Loud enough in every second of it, and clipping nowhere much.
  size_t perSecond = static_cast<size_t>(wav.rate) * wav.channels;
  int clipped = 0;
  for (size_t second = 0; second + 1 <= wav.samples.size() / perSecond; ++second) {
    double sum = 0;
    for (size_t i = second * perSecond; i < (second + 1) * perSecond; ++i) {
      sum += double(wav.samples[i]) * wav.samples[i];
      clipped += std::abs(wav.samples[i]) >= 32767;
    }
    double rms = std::sqrt(sum / perSecond) / 32768.0;
    EXPECT_GT(rms, 0.01) << "second " << second;
  }
  EXPECT_LT(clipped, 100);
}

}  // namespace
