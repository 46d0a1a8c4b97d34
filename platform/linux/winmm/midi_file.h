// A look at a Standard MIDI File before the sequencer takes it: is it one the
// synthesizer can play, and where does it end.
#pragma once

#include <cstddef>
#include <cstdint>

struct MidiFileInfo {
  bool playable = false;     // format 0 or 1, metrical time, every track readable
  int tracks = 0;            // track chunks read
  uint32_t lengthTicks = 0;  // the latest track end (its end-of-track event)
};

// Walks the header and every track chunk; never reads past size.
MidiFileInfo inspectMidiFile(const uint8_t* data, size_t size);
