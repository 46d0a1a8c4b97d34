// Test outputs of the MCI sequencer of the Linux build: the synthesizer's
// audio dropped or written to a WAV file instead of reaching the system's
// audio output, and SoundFonts of the test's choosing.
#pragma once

#include <string>
#include <vector>

#include "platform/linux/midi_synth.h"

namespace sequencer_test {

struct Output {
  enum class Kind {
    system,   // what the player uses: PulseAudio, else ALSA's default device
    null,     // rendered and dropped
    wavFile,  // rendered into wavPath, 16-bit stereo
  };
  Kind kind = Kind::system;
  // null and wavFile: taken at the pace of a sound card, or as fast as the
  // synthesizer renders (then only while a song plays, so no silence piles up).
  bool realTime = true;
  std::string wavPath;
};

// Closes the open sequencer device, if any (a pending notice reports
// MCI_NOTIFY_ABORTED), and the current output (a WAV file is finished). The
// next MCI_OPEN opens this output.
void useOutput(const Output& output);

// The SoundFonts to try in order from the next MCI_OPEN on (after closing as
// useOutput does); an empty list restores the system's.
void useSoundFonts(const std::vector<std::string>& paths);

using midisynth::lastStartCost;
using midisynth::StartCost;

}  // namespace sequencer_test
