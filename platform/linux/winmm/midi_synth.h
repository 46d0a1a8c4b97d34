// The synthesizer behind the MCI sequencer: FluidSynth with a General MIDI
// SoundFont, heard through the system's audio output. midi_synth.cpp is the
// only file of the player that calls FluidSynth. One song at a time.
#pragma once

#include <fluidsynth.h>

#include <cstddef>
#include <cstdint>

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

inline constexpr int kSampleRate = 44100;  // frames per second, two channels

// The FluidSynth calls the synthesizer makes, found in the library at run
// time; each member has the name and type of its function. The synthesizer
// calls through the table, so a test or benchmark may put functions of its
// own in the place of some (an audio output that writes a file, timings)
// before the first song.
#define GIFPLAY_FLUID_FUNCTIONS(X) \
  X(new_fluid_settings)            \
  X(delete_fluid_settings)         \
  X(fluid_settings_setnum)         \
  X(fluid_settings_setint)         \
  X(fluid_settings_setstr)         \
  X(new_fluid_synth)               \
  X(delete_fluid_synth)            \
  X(fluid_synth_sfload)            \
  X(fluid_is_soundfont)            \
  X(fluid_synth_process)           \
  X(fluid_synth_system_reset)      \
  X(new_fluid_audio_driver2)       \
  X(delete_fluid_audio_driver)     \
  X(new_fluid_player)              \
  X(delete_fluid_player)           \
  X(fluid_player_add_mem)          \
  X(fluid_player_play)             \
  X(fluid_player_stop)             \
  X(fluid_player_get_status)       \
  X(fluid_player_get_current_tick) \
  X(fluid_set_log_function)

struct FluidSynth {
#define GIFPLAY_DECLARE(name) decltype(&::name) name;
  GIFPLAY_FLUID_FUNCTIONS(GIFPLAY_DECLARE)
#undef GIFPLAY_DECLARE
};

// Loads FluidSynth once, for the rest of the run; nullptr when it cannot be
// had. The player shows and logs nothing: FluidSynth and ALSA keep quiet.
FluidSynth* fluidSynth();

}  // namespace midisynth
