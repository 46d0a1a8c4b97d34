// The decoded animation: the process-wide records that loading fills and
// playing reads.
#pragma once

#include <cstdint>

#include "picture/indexed_bitmap.h"
#include "platform/win32.h"

struct PaletteTable {
  int32_t count;          // 0 when the stream has no global colour table
  uint32_t entries[256];  // red | green << 8 | blue << 16
};

struct GifFrame {
  int32_t left;
  int32_t top;
  int32_t width;
  int32_t height;
  int32_t interlaced;
  IndexedBitmap bitmap;
  int32_t delay;  // hundredths of a second
};

struct GifAnimation {
  int32_t screenWidth;
  int32_t screenHeight;
  PaletteTable palette;
  GifFrame** frames;
  int32_t frameCount;
  int32_t frameCapacity;
  int64_t frameStorage;  // bytes of pixel storage held by the frames
};

extern GifAnimation animation;
extern HPALETTE applicationPalette;
extern IndexedBitmap canvas;

// Returns everything loading made: every frame's storage, every frame record,
// the frame list, the application palette and the canvas's storage.
void freeAnimation();
