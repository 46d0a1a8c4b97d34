// Logical palettes: objects that keep their entries until deleted.
#include "platform/linux/gdi32/gdi32.h"
#include "platform/linux/gdi32/gdi_objects.h"
#include "platform/linux/handle_table.h"

namespace {

auto& palettes() { return handleTable<PaletteObject, HandleKind::kPalette>(); }

std::unique_ptr<PaletteObject> makeStockPalette() {
  auto palette = std::make_unique<PaletteObject>();
  static const BYTE colours[20][3] = {
      {0, 0, 0},       {128, 0, 0},     {0, 128, 0},     {128, 128, 0},   {0, 0, 128},
      {128, 0, 128},   {0, 128, 128},   {192, 192, 192}, {192, 220, 192}, {166, 202, 240},
      {255, 251, 240}, {160, 160, 164}, {128, 128, 128}, {255, 0, 0},     {0, 255, 0},
      {255, 255, 0},   {0, 0, 255},     {255, 0, 255},   {0, 255, 255},   {255, 255, 255}};
  for (const auto& c : colours) palette->entries.push_back({c[0], c[1], c[2], 0});
  return palette;
}

}  // namespace

PaletteObject* paletteFromHandle(HPALETTE palette) { return palettes().find(palette); }

HPALETTE defaultPalette() {
  static const HPALETTE stock = palettes().add<HPALETTE>(makeStockPalette());
  return stock;
}

HPALETTE WINAPI CreatePalette(const LOGPALETTE* palette) {
  if (palette == nullptr || palette->palVersion != 0x300 || palette->palNumEntries == 0)
    return nullptr;
  auto object = std::make_unique<PaletteObject>();
  object->entries.assign(palette->palPalEntry, palette->palPalEntry + palette->palNumEntries);
  return palettes().add<HPALETTE>(std::move(object));
}

// Deletes palettes; stock objects and unknown or deleted handles are refused.
BOOL WINAPI DeleteObject(HGDIOBJ object) {
  if (object == nullptr || object == defaultPalette()) return FALSE;
  return palettes().remove(object) != nullptr;
}
