// makesong: writes the demo song, a short original tune in C major for five
// General MIDI instruments, as a Standard MIDI File. Eight bars at 100 beats
// per minute (19.2 seconds); the last bar's G7 leads back into the first
// bar's C, so the song loops without a seam.
//
//   makesong OUTPUT.mid
#include <cstdio>
#include <fstream>
#include <vector>

#include "tools/makesong/midi_writer.h"

namespace {

constexpr uint16_t kQuarter = 480;
constexpr uint32_t kBar = 4 * kQuarter;
constexpr int kBars = 8;
constexpr uint32_t kSongEnd = kBars * kBar;
constexpr uint32_t kTempo = 600000;  // microseconds per quarter note: 100 bpm

// General MIDI programs and drum keys.
constexpr int kFlute = 73;
constexpr int kElectricPiano = 4;
constexpr int kFingerBass = 33;
constexpr int kStrings = 48;
constexpr int kDrumChannel = 9;
constexpr int kKick = 36, kSnare = 38, kClosedHat = 42, kCrash = 49;
constexpr int kVolume = 7, kPan = 10, kReverb = 91;

struct Chord {
  int bass;
  std::vector<int> tones;
};

// | C | Am | Dm | G | C | Em | F | G7 |
const Chord kChords[kBars] = {
    {36, {60, 64, 67}}, {33, {57, 60, 64}}, {38, {62, 65, 69}}, {31, {55, 59, 62}},
    {36, {60, 64, 67}}, {40, {59, 64, 67}}, {29, {57, 60, 65}}, {31, {55, 59, 62, 65}},
};

struct Note {
  int key;
  double beat;  // from the start of the song
  double beats;
};

// The tune, bar by bar.
const Note kMelody[] = {
    {76, 0, 1},    {79, 1, 1},      {84, 2, 1.5},  {83, 3.5, 0.5},   // C
    {81, 4, 1.5},  {79, 5.5, 0.5},  {76, 6, 1},    {72, 7, 1},       // Am
    {77, 8, 1.5},  {76, 9.5, 0.5},  {74, 10, 1},   {81, 11, 1},      // Dm
    {79, 12, 2.5}, {77, 14.5, 0.5}, {76, 15, 0.5}, {74, 15.5, 0.5},  // G
    {76, 16, 1},   {79, 17, 1},     {84, 18, 1},   {88, 19, 1},      // C
    {86, 20, 1.5}, {84, 21.5, 0.5}, {83, 22, 1},   {79, 23, 1},      // Em
    {81, 24, 1},   {84, 25, 1},     {77, 26, 1},   {81, 27, 1},      // F
    {79, 28, 1.5}, {77, 29.5, 0.5}, {74, 30, 1},   {71, 31, 0.75},   // G7
};

uint32_t ticks(double beats) { return static_cast<uint32_t>(beats * kQuarter + 0.5); }

midi::Track instrument(const char* name, int channel, int program, int volume, int pan) {
  midi::Track track;
  track.name(name);
  track.program(channel, program);
  track.controller(channel, kVolume, volume);
  track.controller(channel, kPan, pan);
  track.controller(channel, kReverb, 40);
  track.endAt(kSongEnd);
  return track;
}

midi::Track melody() {
  midi::Track track = instrument("Flute", 0, kFlute, 110, 64);
  for (const Note& n : kMelody) track.note(0, n.key, 92, ticks(n.beat), ticks(n.beats) - 20);
  return track;
}

// Broken chords in eighth notes: up and back down.
midi::Track arpeggio() {
  midi::Track track = instrument("Electric piano", 1, kElectricPiano, 80, 40);
  for (int bar = 0; bar < kBars; ++bar) {
    const std::vector<int>& tones = kChords[bar].tones;
    int period = 2 * static_cast<int>(tones.size()) - 2;
    for (int step = 0; step < 8; ++step) {
      int phase = step % period;
      int index = phase < period / 2 + 1 ? phase : period - phase;
      track.note(1, tones[index], step % 2 == 0 ? 70 : 56, bar * kBar + step * kQuarter / 2,
                 kQuarter / 2);
    }
  }
  return track;
}

midi::Track bass() {
  midi::Track track = instrument("Bass", 2, kFingerBass, 105, 64);
  for (int bar = 0; bar < kBars; ++bar) {
    int root = kChords[bar].bass;
    uint32_t start = bar * kBar;
    track.note(2, root, 100, start, ticks(1.5) - 10);
    track.note(2, root, 80, start + ticks(1.5), ticks(0.5) - 10);
    track.note(2, root + 7, 90, start + ticks(2), ticks(1) - 10);
    track.note(2, root + 12, 85, start + ticks(3), ticks(1) - 10);
  }
  return track;
}

midi::Track pad() {
  midi::Track track = instrument("Strings", 3, kStrings, 64, 88);
  for (int bar = 0; bar < kBars; ++bar)
    for (int key : kChords[bar].tones) track.note(3, key, 60, bar * kBar, kBar - 30);
  return track;
}

midi::Track drums() {
  midi::Track track;
  track.name("Drums");
  track.controller(kDrumChannel, kVolume, 90);
  track.endAt(kSongEnd);
  track.note(kDrumChannel, kCrash, 90, 0, kQuarter);
  for (int bar = 0; bar < kBars; ++bar) {
    uint32_t start = bar * kBar;
    for (int eighth = 0; eighth < 8; ++eighth)
      track.note(kDrumChannel, kClosedHat, eighth % 2 == 0 ? 72 : 50, start + eighth * kQuarter / 2,
                 kQuarter / 4);
    track.note(kDrumChannel, kKick, 100, start, kQuarter / 4);
    track.note(kDrumChannel, kKick, 90, start + ticks(2), kQuarter / 4);
    if (bar % 2 == 1) track.note(kDrumChannel, kKick, 80, start + ticks(2.5), kQuarter / 4);
    track.note(kDrumChannel, kSnare, 95, start + ticks(1), kQuarter / 4);
    track.note(kDrumChannel, kSnare, 95, start + ticks(3), kQuarter / 4);
  }
  return track;
}

midi::Track conductor() {
  midi::Track track;
  track.name("gifplay demo song");
  track.tempo(kTempo);
  track.timeSignature(4, 2);
  track.endAt(kSongEnd);
  return track;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: makesong OUTPUT.mid\n");
    return 2;
  }
  std::vector<uint8_t> song =
      midi::standardMidiFile(kQuarter, {conductor(), melody(), arpeggio(), bass(), pad(), drums()});
  std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(song.data()), static_cast<std::streamsize>(song.size()));
  out.close();
  if (!out) {
    std::fprintf(stderr, "makesong: %s: cannot write the song\n", argv[1]);
    return 1;
  }
  return 0;
}
