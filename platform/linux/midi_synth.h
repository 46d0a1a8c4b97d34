// The synthesizer behind the MCI sequencer: FluidSynth with a General MIDI
// SoundFont, heard through the system's audio output. midi_synth.cpp is the
// only file that knows FluidSynth. One song at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "mci_test_hooks.h"

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

// Test-only: the output and SoundFonts to use from the next loadSong on. Both
// close the current output; the SoundFonts also unload the current one.
void useOutput(const sequencer_test::Output& output);
void useSoundFonts(const std::vector<std::string>& paths);
sequencer_test::StartCost lastStartCost();

}  // namespace midisynth
