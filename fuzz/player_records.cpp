#include "fuzz/fuzz_entries.h"
#include "gif/frame_row_writer.h"
#include "gif/gif_animation.h"
#include "gif/lzw_decoder.h"
#include "payload/payload_locator.h"

// The player frees its records at shutdown; here they go after each input.
void releasePlayerRecords() {
  closeLocator();
  freeAnimation();
  animation = GifAnimation{};
  describeBitmap(canvas, 0, 0);
  letGoOfFrame();
  detachSource();
}

bool playerRecordsEmpty() {
  return payloadLocator.file == nullptr && animation.frames == nullptr &&
         animation.frameCount == 0 && applicationPalette == nullptr && canvas.storage == nullptr;
}
