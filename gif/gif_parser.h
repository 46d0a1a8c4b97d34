// The GIF stream parser: turns the picture payload into the animation record,
// decoding every image as it is met.
#pragma once

#include <cstdint>

#include "gif/gif_animation.h"
#include "payload/payload_locator.h"

inline constexpr uint8_t kExtensionIntroducer = 0x21;
inline constexpr uint8_t kImageSeparator = 0x2C;
inline constexpr uint8_t kTrailer = 0x3B;
inline constexpr uint8_t kGraphicControlLabel = 0xF9;
// The packed fields of the screen and image descriptors.
inline constexpr uint8_t kColourTableFlag = 0x80;
inline constexpr uint8_t kColourTableSizeBits = 0x07;
inline constexpr uint8_t kInterlaceFlag = 0x40;
inline constexpr int32_t kFrameListStep = 100;

// Told of each image the parser reads, as soon as readFrame is done with it:
// where its separator stands in the buffer, the frame, and the buffer, now
// standing where the next block is read. The player sets no observer; a tool
// that checks what the player makes of a GIF sets one while it loads it, and
// may look at the row writer, which still holds the image.
struct ImageObserver {
  void (*imageRead)(void* context, int32_t separator, const GifFrame& frame,
                    const PayloadBuffer& buffer);
  void* context;
};

extern ImageObserver imageObserver;

// Parses the buffer from its position into the animation, releasing any
// earlier one first. Whatever was read before the stream ended, or before
// parsing stopped, is the animation.
void parseGif(PayloadBuffer& buffer);
// Reads a colour table of 2^(n+1) entries into table; false when the data
// ends inside it (the entries not read are then 0).
bool readColourTable(int32_t n, PayloadBuffer& buffer, PaletteTable& table);
// Reads an image descriptor (the position just behind the separator), any
// local colour table, and decodes the raster into the frame's bitmap.
void readFrame(GifFrame& frame, PayloadBuffer& buffer);
