// Row placement: puts the rows the decoder hands over into the frame's
// bitmap, in top-to-bottom or four-pass interlaced order, and says when the
// picture's last row is stored.
#pragma once

#include <cstdint>

#include "picture/animation.h"
#include "picture/indexed_bitmap.h"

// The palette the frames are shown with, made ready for nearest-colour
// look-ups: a hash of its colours for exact matches, and its channels laid
// out for comparing a colour with several entries at once. Each channel is
// scaled by 16, so that a squared distance comes out times 256 with room
// for the entry's number below it.
inline constexpr int32_t kColourHashSlots = 512;
inline constexpr uint32_t kColourKeyBit = 1u << 24;

struct ShownColours {
  int32_t count;  // the table the rest was made from
  uint32_t entries[256];
  uint32_t hashKeys[kColourHashSlots];  // colour | kColourKeyBit; 0 for a free slot
  uint8_t hashIndices[kColourHashSlots];
  int32_t filled;  // entries laid out: count, made up to a multiple of 8 with copies of entry 0
  alignas(32) int32_t redGreen[256];  // 16-bit halves: red, green
  alignas(32) int32_t blue[256];      // 16-bit halves: blue, 0
};

struct FrameRowWriter {
  IndexedBitmap* target;  // nullptr until the first frame is prepared
  int32_t rowIndex;       // the picture row, from the top, that the next row fills
  int32_t interlaced;
  int32_t mapsColours;  // pixels go through colourMap on their way in
  // Made for every value of the frame's table when the frame begins, and
  // kept for the next frame whose own table is the same (mappedFrom) and
  // shown with the same one.
  uint8_t colourMap[256];
  PaletteTable mappedFrom;
  // Made again when the table differs from the one it was made from, and for
  // each stream.
  ShownColours shown;
};

extern FrameRowWriter frameRowWriter;

void beginFrame(IndexedBitmap& bitmap, int32_t interlaced);
// For a frame with a colour table of its own: each pixel value is stored as
// the index of the nearest colour of the palette the frame is shown with.
// Values beyond the frame's table stay as they are. Until the next
// beginFrame.
void mapColours(const PaletteTable& own, const PaletteTable& shownWith);
// A new stream begins: nothing is kept from the last one, and its first
// frame with a table of its own makes the map and the shown palette's layout
// anew.
void forgetColourMap();
// Stores one row of count pixels (cut to the picture's width); true when
// that row completes the picture. A target without storage counts its rows
// all the same.
bool writeRow(const uint8_t* pixels, int32_t count);
// Rows rows of count pixels each, one after another from pixels, stored as
// writeRow stores them; true when one of them completes the picture, and
// the rows behind it are then not looked at.
bool writeRows(const uint8_t* pixels, int32_t count, int32_t rows);
// The picture row after row in the current order; height or more when the
// picture is complete.
int32_t nextRowIndex(int32_t row, int32_t height);
// For tools that read images one at a time: the rows stored into bitmap so
// far, counted in its row order, or -1 when no frame began on bitmap since
// the writer last let go of its frame.
int32_t rowsStored(const IndexedBitmap& bitmap);
void letGoOfFrame();
