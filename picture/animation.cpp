#include "picture/animation.h"

#include "platform/global_block.h"

GifAnimation animation;
HPALETTE applicationPalette;
IndexedBitmap canvas;

void freeAnimation() {
  GifAnimation& a = animation;
  for (int32_t i = 0; a.frames != nullptr && i < a.frameCount; ++i) {
    releaseBitmap(a.frames[i]->bitmap);
    releaseBlock(a.frames[i]);
  }
  releaseBlock(a.frames);
  a.frames = nullptr;
  a.frameCount = 0;
  a.frameCapacity = 0;
  a.frameStorage = 0;
  if (applicationPalette != nullptr) DeleteObject(applicationPalette);
  applicationPalette = nullptr;
  releaseBitmap(canvas);
}
