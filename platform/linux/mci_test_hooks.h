// Test-only controls of the MCI sequencer of the Linux build. The player never
// calls these: it plays through the system's audio output with the first
// General MIDI SoundFont it finds, and reads no setting of its own.
#pragma once

#include <string>
#include <vector>

namespace sequencer_test {

struct Output {
  enum class Kind {
    system,       // what the player uses: PulseAudio, else ALSA's default device
    null,         // rendered and dropped
    wavFile,      // rendered into wavPath, 16-bit stereo
    fluidDriver,  // a FluidSynth audio driver by name, with a device of its own
  };
  Kind kind = Kind::system;
  // null and wavFile: taken at the pace of a sound card, or as fast as the
  // synthesizer renders (then only while a song plays, so no silence piles up).
  bool realTime = true;
  std::string wavPath;
  std::string driver;  // "alsa", "pulseaudio", ...
  std::string device;  // its "audio.<driver>.device" setting; empty keeps the default
};

// Closes the open sequencer device, if any (a pending notice reports
// MCI_NOTIFY_ABORTED), and the current output (a WAV file is finished). The
// next MCI_OPEN opens this output.
void useOutput(const Output& output);

// The SoundFonts to try in order from the next MCI_OPEN on (after closing as
// useOutput does); an empty list restores the system's.
void useSoundFonts(const std::vector<std::string>& paths);

// What the last start of the synthesizer cost, in milliseconds.
struct StartCost {
  double synth = 0;      // settings and synthesizer
  double output = 0;     // opening the audio output
  double soundFont = 0;  // loading the SoundFont
};
StartCost lastStartCost();

}  // namespace sequencer_test
