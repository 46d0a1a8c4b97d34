// Copying frames onto the canvas.
#pragma once

#include <cstdint>

#include "picture/animation.h"
#include "picture/indexed_bitmap.h"
#include "platform/win32.h"

// A keyIndex that copies every pixel.
inline constexpr int32_t kOpaqueCopy = -1;

// Copies source from (sourceX, sourceY) into rectangle of destination,
// clipped to both bitmaps; rectangle comes back clipped, also when nothing
// was copied. keyIndex 0..255 names a source value that is not copied;
// negative copies everything.
void blitBitmap(IndexedBitmap& destination, const IndexedBitmap& source, RECT& rectangle,
                int32_t sourceX, int32_t sourceY, int32_t keyIndex);
// The frame's rectangle on the logical screen and its bitmap; nullptr, with
// rectangle untouched, when the bitmap has no storage.
IndexedBitmap* frameRect(GifFrame& frame, RECT& rectangle);
