// The synthesizer behind the MCI sequencer: FluidSynth with a General MIDI
// SoundFont, heard through the system's audio output. midi_synth.cpp is the
// only file that knows FluidSynth. One song at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace midisynth {

enum class Result { ok, noSynthesizer, noSoundFont, noAudioOutput, outOfMemory };

// Told on the synthesizer's own thread, with no lock held, when a play has
// reached the end of the song; play is the number that playSong gave it.
using EndHandler = void (*)(uint32_t play);
void setEndHandler(EndHandler handler);

// Makes data (a whole Standard MIDI File, copied) the song, positioned at its
// start; it ends at endTick, where its last track ends. The first call starts
// the synthesizer: FluidSynth's library, audio output, then SoundFont.
Result loadSong(const uint8_t* data, size_t size, uint32_t endTick);
// Plays from the current position and returns the play's number. A song that
// has already played to its end ends again at once.
uint32_t playSong();
// Stops playing and keeps the position; sounding notes are released.
void pauseSong();
void unloadSong();

// ---- for tests and benchmarks ----

inline constexpr int kSampleRate = 44100;  // frames per second, two channels

// An output of the caller's own in place of the system's audio output: from
// the next song on, open is called where the system's output would be opened
// (false: it cannot be), and the output then takes the audio with renderSong,
// on a thread of its own, until close returns. nullptr: the system's again.
// Closes the current output.
struct AudioOutput {
  bool (*open)();
  void (*close)();
};
void useOutput(const AudioOutput* output);
// Mixes frames of audio into left and right, which the caller has cleared;
// false while there is nothing to render (the SoundFont still loads).
bool renderSong(int frames, float* left, float* right);
bool songPlaying();
// The SoundFonts to try in order from the next song on (an empty list: the
// system's). Closes the output and unloads the current song and SoundFont.
void useSoundFonts(const std::vector<std::string>& paths);

// What the last start of the synthesizer cost, in milliseconds; waits for
// the SoundFont to be in.
struct StartCost {
  double synth = 0;      // settings and synthesizer
  double output = 0;     // opening the audio output
  double soundFont = 0;  // loading the SoundFont
};
StartCost lastStartCost();

}  // namespace midisynth
