// Test outputs of the MCI sequencer of the Linux build: the synthesizer's
// audio dropped or written to a WAV file instead of reaching the system's
// audio output, the system's SoundFonts hidden, and what the synthesizer's
// start cost. They take the place of some of the FluidSynth functions the
// synthesizer calls (midisynth::fluidSynth()).
#pragma once

#include <string>

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
// synthesizer's audio goes to this output from now on.
void useOutput(const Output& output);

// With hide, the next MCI_OPEN finds none of the system's SoundFonts, as on a
// system without any.
void hideSoundFonts(bool hide);

// The synthesizer keeps the output it opened and the SoundFont it loaded
// until the process ends: a test of its start needs a process of its own (as
// ctest runs each test).
bool synthesizerStarted();

// What the start of the synthesizer cost, in milliseconds; waits for the
// SoundFont to be in.
struct StartCost {
  double synth = 0;      // the synthesizer
  double output = 0;     // opening the audio output
  double soundFont = 0;  // loading the SoundFont
};
StartCost lastStartCost();

}  // namespace sequencer_test
