#include <cstdlib>

#include "fuzz/fuzz_entries.h"
#include "platform/linux/winmm/midi_file.h"

// What the sequencer asks of a song file before the synthesizer gets it:
// playable or not, and its length, read without going past its end. A
// playable song has tracks.
int fuzzMidiFile(const uint8_t* data, size_t size) {
  MidiFileInfo info = inspectMidiFile(data, size);
  if (info.playable && info.tracks < 1) std::abort();
  return 0;
}
