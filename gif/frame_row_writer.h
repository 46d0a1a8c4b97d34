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
  // The nearest colour is looked for only for the values a frame uses:
  // until then colourKnown[v] is 0.
  uint8_t colourKnown[256];
  const PaletteTable* ownColours;
  const PaletteTable* shownWith;
  // The distinct colours of shownWith sorted by one channel (keyShift), as
  // entry numbers: those of value v from firstWithKey[v] on in byKey. Made
  // at a frame's first look-up, again only when the table is not the one
  // sorted last.
  int32_t sorted;
  int32_t keyShift;
  int32_t distinctCount;
  uint8_t byKey[256];
  uint16_t firstWithKey[257];
  int32_t sortedCount;
  uint32_t sortedFrom[256];
};

extern FrameRowWriter frameRowWriter;

void beginFrame(IndexedBitmap& bitmap, int32_t interlaced);
// For a frame with a colour table of its own: each pixel value is stored as
// the index of the nearest colour of the palette the frame is shown with.
// Values beyond the frame's table stay as they are. Until the next
// beginFrame; both tables must live as long.
void mapColours(const PaletteTable& own, const PaletteTable& shownWith);
// Stores one row of count pixels (cut to the picture's width); always 0.
// A target without storage counts its rows all the same.
int32_t writeRow(const uint8_t* pixels, int32_t count);
// The picture row after row in the current order; height or more when the
// picture is complete.
int32_t nextRowIndex(int32_t row, int32_t height);
// For tools that read images one at a time: the rows stored into bitmap so
// far, counted in its row order, or -1 when no frame began on bitmap since
// the writer last let go of its frame.
int32_t rowsStored(const IndexedBitmap& bitmap);
void letGoOfFrame();
