#include "picture/animation.h"

#include "platform/global_block.h"

GifAnimation animation;
HPALETTE applicationPalette;
IndexedBitmap canvas;

void freeAnimation() {
  GifAnimation& a = animation;
  if (a.frames == nullptr) return;
  for (int32_t i = 0; i < a.frameCount; ++i) {
    releaseBitmap(a.frames[i]->bitmap);
    releaseBlock(a.frames[i]);
  }
  releaseBlock(a.frames);
  a.frames = nullptr;
  a.frameCount = 0;
  a.frameCapacity = 0;
}
