#include "gif/gif_animation.h"

#include <cstddef>
#include <cstdint>

#include "gif/gif_parser.h"
#include "payload/payload_locator.h"

namespace {

constexpr WORD kPaletteVersion = 0x300;

// Entry i of the logical palette is entry i of the global colour table.
void createApplicationPalette(const PaletteTable& table) {
  alignas(LOGPALETTE) uint8_t block[sizeof(LOGPALETTE) + 255 * sizeof(PALETTEENTRY)];
  auto* palette = reinterpret_cast<LOGPALETTE*>(block);
  auto* entries = reinterpret_cast<PALETTEENTRY*>(block + offsetof(LOGPALETTE, palPalEntry));
  palette->palVersion = kPaletteVersion;
  palette->palNumEntries = static_cast<WORD>(table.count);
  for (int32_t i = 0; i < table.count; ++i) {
    uint32_t colour = table.entries[i];
    entries[i] = {static_cast<BYTE>(colour), static_cast<BYTE>(colour >> 8),
                  static_cast<BYTE>(colour >> 16), 0};
  }
  applicationPalette = CreatePalette(palette);
}

// The palette and the canvas of a parsed animation. Without a global colour
// table there is nothing to show with; without canvas storage nothing to
// show on.
int finishPicture() {
  if (animation.palette.count == 0) return 0;
  createApplicationPalette(animation.palette);
  createBitmap(canvas, animation.screenWidth, animation.screenHeight);
  return canvas.storage != nullptr ? 1 : 0;
}

}  // namespace

int loadAnimation(PayloadBuffer& buffer) {
  parseGif(buffer);
  return finishPicture();
}

int loadAnimation(const char* path, const char* tag) {
  int32_t length = locate(path, tag);
  if (length == 0) return 0;
  PayloadBuffer buffer = makePayloadBuffer(length);
  int result = readExact(buffer) && loadAnimation(buffer) ? 1 : 0;
  if (result == 1) closeLocator();
  releasePayloadBuffer(buffer);
  return result;
}
