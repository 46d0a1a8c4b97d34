#include "platform/linux/winmm/midi_file.h"

#include <gtest/gtest.h>

#include <fstream>

#include "tests/support/test_support.h"
#include "tests/unit/music/song_files.h"
#include "tools/makesong/midi_writer.h"

namespace {

Bytes header(uint16_t format, uint16_t tracks, uint16_t division) {
  return {'M',
          'T',
          'h',
          'd',
          0,
          0,
          0,
          6,
          uint8_t(format >> 8),
          uint8_t(format),
          uint8_t(tracks >> 8),
          uint8_t(tracks),
          uint8_t(division >> 8),
          uint8_t(division)};
}

Bytes chunk(const char* id, const Bytes& body) {
  Bytes out(id, id + 4);
  uint32_t n = static_cast<uint32_t>(body.size());
  Bytes size{uint8_t(n >> 24), uint8_t(n >> 16), uint8_t(n >> 8), uint8_t(n)};
  return concat({out, size, body});
}

const Bytes kEndOfTrack{0x00, 0xFF, 0x2F, 0x00};
// A note of 96 ticks, then the end of the track.
const Bytes kNoteTrack =
    chunk("MTrk", {0x00, 0x90, 60, 100, 0x60, 0x80, 60, 0, 0x00, 0xFF, 0x2F, 0x00});

Bytes cut(Bytes bytes, size_t size) {
  bytes.resize(size);
  return bytes;
}

MidiFileInfo inspect(const Bytes& file) { return inspectMidiFile(file.data(), file.size()); }

TEST(MidiFileTest, Structure) {
  struct Case {
    const char* name;
    Bytes file;
    bool playable;
    uint32_t lengthTicks;
  };
  const Case cases[] = {
      {"one note", concat({header(0, 1, 96), kNoteTrack}), true, 96},
      {"format 1, the longer track counts",
       concat({header(1, 2, 96), kNoteTrack, chunk("MTrk", {0x81, 0x00, 0xFF, 0x2F, 0x00})}), true,
       128},
      {"running status",
       concat({header(0, 1, 96), chunk("MTrk", {0x00, 0x90, 60, 100, 0x10, 64, 100, 0x10, 60, 0,
                                                0x10, 64, 0, 0x00, 0xFF, 0x2F, 0x00})}),
       true, 48},
      {"sysex and meta events are skipped",
       concat({header(0, 1, 96),
               chunk("MTrk", {0x00, 0xF0, 0x03, 0x7E, 0x09, 0xF7, 0x00, 0xFF, 0x03, 0x02, 'h', 'i',
                              0x20, 0xC0, 0x05, 0x00, 0xFF, 0x2F, 0x00})}),
       true, 32},
      {"an unknown chunk before the track is passed over",
       concat({header(0, 1, 96), chunk("XFIH", {1, 2, 3}), kNoteTrack}), true, 96},
      {"a track without its end event ends with its last event",
       concat({header(0, 1, 96), chunk("MTrk", {0x00, 0x90, 60, 100, 0x30, 0x80, 60, 0})}), true,
       48},
      {"nothing but an end of track", concat({header(0, 1, 96), chunk("MTrk", kEndOfTrack)}), true,
       0},
      {"empty", {}, false, 0},
      {"not a MIDI file", bytesOf("GIF89a\x01\x00\x01\x00 and more bytes than a header"), false, 0},
      {"header cut short", cut(header(0, 1, 96), 11), false, 0},
      {"format 2", concat({header(2, 1, 96), kNoteTrack}), false, 0},
      {"SMPTE time", concat({header(0, 1, 0xE728), kNoteTrack}), false, 0},
      {"division 0", concat({header(0, 1, 0), kNoteTrack}), false, 0},
      {"no tracks", header(0, 0, 96), false, 0},
      {"fewer tracks than the header says", concat({header(1, 2, 96), kNoteTrack}), false, 0},
      {"more tracks than a player takes", concat({header(1, 129, 96), kNoteTrack}), false, 0},
      {"track chunk longer than the file",
       concat({header(0, 1, 96), Bytes{'M', 'T', 'r', 'k', 0, 0, 1, 0}, Bytes(20, 0)}), false, 0},
      {"data byte without a status", concat({header(0, 1, 96), chunk("MTrk", {0x00, 0x3C, 0x40})}),
       false, 0},
      {"delta time of five bytes",
       concat({header(0, 1, 96), chunk("MTrk", {0x81, 0x81, 0x81, 0x81, 0x01, 0xFF, 0x2F, 0x00})}),
       false, 0},
      {"note cut off by the chunk end", concat({header(0, 1, 96), chunk("MTrk", {0x00, 0x90, 60})}),
       false, 0},
      {"meta event longer than its chunk",
       concat({header(0, 1, 96), chunk("MTrk", {0x00, 0xFF, 0x03, 0x10, 'x'})}), false, 0},
      {"system common message in a track",
       concat({header(0, 1, 96), chunk("MTrk", {0x00, 0xF2, 0x00, 0x00})}), false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MidiFileInfo info = inspect(c.file);
    EXPECT_EQ(info.playable, c.playable);
    if (c.playable) {
      EXPECT_EQ(info.lengthTicks, c.lengthTicks);
    }
  }
}

TEST(MidiFileTest, TheDemoSongEndsAfterEightBars) {
  Bytes song = readFileBytes(demoSongPath());
  MidiFileInfo info = inspect(song);
  ASSERT_TRUE(info.playable);
  EXPECT_EQ(info.tracks, 6);
  EXPECT_EQ(info.lengthTicks, 8u * 4 * 480);
}

TEST(MidiFileTest, TheShortTestSongEndsAsAsked) {
  MidiFileInfo info = inspect(shortSong(0.4));
  ASSERT_TRUE(info.playable);
  EXPECT_EQ(info.lengthTicks, 192u) << "0.4 of a quarter note that lasts a second";
}

}  // namespace
