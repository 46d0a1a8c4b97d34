// Row placement: puts the rows the decoder hands over into the frame's
// bitmap, in top-to-bottom or four-pass interlaced order, and says when the
// picture's last row is stored.
#pragma once

#include <cstdint>

#include "picture/animation.h"
#include "picture/indexed_bitmap.h"

// The palette the frames are shown with, made ready for nearest-colour
// look-ups: a hash of its colours for exact matches, and a tree of boxes
// over its distinct colours (each as its first entry; a later entry of the
// same colour is never the nearest) for the others.
inline constexpr int32_t kColourHashSlots = 512;
inline constexpr int32_t kColourLeafSize = 8;
inline constexpr int32_t kColourNodes = 128;  // leaves hold 4 to 8 colours
inline constexpr uint32_t kColourKeyBit = 1u << 24;

struct ColourNode {
  uint8_t low[3];  // the box around the node's colours, channel by channel
  uint8_t high[3];
  int16_t children;  // the first of two, the other right behind it; 0 for a leaf
  int16_t first;     // a leaf's colours: members[first], the count after it
  int16_t count;
};

struct ShownColours {
  int32_t count;  // the table the rest was made from
  uint32_t entries[256];
  uint32_t hashKeys[kColourHashSlots];  // colour | kColourKeyBit; 0 for a free slot
  uint8_t hashIndices[kColourHashSlots];
  uint8_t members[256];  // entry numbers, grouped leaf by leaf
  ColourNode nodes[kColourNodes];
};

struct FrameRowWriter {
  IndexedBitmap* target;  // nullptr until the first frame is prepared
  int32_t rowIndex;       // the picture row, from the top, that the next row fills
  int32_t interlaced;
  int32_t mapsColours;  // pixels go through colourMap on their way in
  uint8_t colourMap[256];
  // The nearest colour is looked for only for the values a frame uses:
  // until then colourKnown[v] is 0. The map is kept for the next frame
  // whose own table is the same (mappedFrom) and shown with the same one.
  uint8_t colourKnown[256];
  PaletteTable mappedFrom;
  int32_t mapKept;  // colourKnown holds for mappedFrom and shown
  const PaletteTable* ownColours;
  const PaletteTable* shownWith;
  // Made at a frame's first look-up that needs it, again only when the
  // table differs from the one it was made from.
  int32_t shownReady;
  uint8_t lastNearest;  // where the next search starts
  ShownColours shown;
};

extern FrameRowWriter frameRowWriter;

void beginFrame(IndexedBitmap& bitmap, int32_t interlaced);
// For a frame with a colour table of its own: each pixel value is stored as
// the index of the nearest colour of the palette the frame is shown with.
// Values beyond the frame's table stay as they are. Until the next
// beginFrame; both tables must live as long.
void mapColours(const PaletteTable& own, const PaletteTable& shownWith);
// Forgets the colour map kept from an earlier frame: a new stream begins.
void forgetColourMap();
// Stores one row of count pixels (cut to the picture's width); true when
// that row completes the picture. A target without storage counts its rows
// all the same.
bool writeRow(const uint8_t* pixels, int32_t count);
// The picture row after row in the current order; height or more when the
// picture is complete.
int32_t nextRowIndex(int32_t row, int32_t height);
// For tools that read images one at a time: the rows stored into bitmap so
// far, counted in its row order, or -1 when no frame began on bitmap since
// the writer last let go of its frame.
int32_t rowsStored(const IndexedBitmap& bitmap);
void letGoOfFrame();
