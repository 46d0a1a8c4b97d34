// Row placement: puts the rows the decoder hands over into the frame's
// bitmap, in top-to-bottom or four-pass interlaced order, and detaches the
// decoder's source once the picture's last row is stored.
#pragma once

#include <cstdint>

#include "picture/animation.h"
#include "picture/indexed_bitmap.h"

struct FrameRowWriter {
  IndexedBitmap* target;  // nullptr until the first frame is prepared
  int32_t rowIndex;       // the picture row, from the top, that the next row fills
  int32_t interlaced;
  int32_t mapsColours;  // pixels go through colourMap on their way in
  uint8_t colourMap[256];
};

extern FrameRowWriter frameRowWriter;

void beginFrame(IndexedBitmap& bitmap, int32_t interlaced);
// For a frame with a colour table of its own: each pixel value is stored as
// the index of the nearest colour of the palette the frame is shown with.
// Values beyond the frame's table stay as they are. Until the next
// beginFrame.
void mapColours(const PaletteTable& own, const PaletteTable& shownWith);
// Stores one row of count pixels (cut to the picture's width); always 0.
// A target without storage counts its rows all the same.
int32_t writeRow(const uint8_t* pixels, int32_t count);
// The picture row after row in the current order; height or more when the
// picture is complete.
int32_t nextRowIndex(int32_t row, int32_t height);
