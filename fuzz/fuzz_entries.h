// The fuzz targets' entry points: each takes arbitrary bytes through one road
// of the player (or of gifpack) and leaves no process-wide record behind, so
// that runs are independent of each other. The libFuzzer targets call them,
// and the regression test replays saved inputs through them in the ordinary
// and sanitizer builds.
#pragma once

#include <cstddef>
#include <cstdint>

// The bytes as the picture record's payload: loadAnimation (parse, decode
// every frame, palette and canvas), then the player's compositing steps over
// every frame and across the wrap to frame 0, then everything released.
int fuzzGifLoader(const uint8_t* data, size_t size);

// The bytes as a whole program file: locate both tags, read each payload
// found with readExact, and ask for the file's size, as start-up does.
int fuzzPayloadScanner(const uint8_t* data, size_t size);

// The bytes as a song file the Linux sequencer opens: the look it takes at a
// Standard MIDI File before the synthesizer gets it (inspectMidiFile).
int fuzzMidiFile(const uint8_t* data, size_t size);

// The bytes as the ANIMATION of gifpack --info: loaded with the player's own
// code, checked and described.
int fuzzGifpackInfo(const uint8_t* data, size_t size);

// Releases what loading leaves in the process-wide records: the locator's
// file, the animation with its frames, the palette and the canvas, and the
// decoder's and row writer's references to them.
void releasePlayerRecords();

// True when no process-wide record holds anything.
bool playerRecordsEmpty();
