// Logical palettes: objects that keep their entries until deleted.
#include "gdi32.h"
#include "gdi_objects.h"

#include <algorithm>

namespace {

constexpr uint32_t kPaletteMagic = 0x50414c31;  // "PAL1"

PaletteObject& stockPalette() {
  static PaletteObject palette{kPaletteMagic, {}};
  if (palette.entries.empty()) {
    static const BYTE colours[20][3] = {
        {0, 0, 0},       {128, 0, 0},     {0, 128, 0},     {128, 128, 0},   {0, 0, 128},
        {128, 0, 128},   {0, 128, 128},   {192, 192, 192}, {192, 220, 192}, {166, 202, 240},
        {255, 251, 240}, {160, 160, 164}, {128, 128, 128}, {255, 0, 0},     {0, 255, 0},
        {255, 255, 0},   {0, 0, 255},     {255, 0, 255},   {0, 255, 255},   {255, 255, 255}};
    for (const auto& c : colours) palette.entries.push_back({c[0], c[1], c[2], 0});
  }
  return palette;
}

}  // namespace

PaletteObject* paletteFromHandle(HPALETTE palette) {
  auto* object = reinterpret_cast<PaletteObject*>(palette);
  return object != nullptr && object->magic == kPaletteMagic ? object : nullptr;
}

HPALETTE defaultPalette() { return reinterpret_cast<HPALETTE>(&stockPalette()); }

HPALETTE WINAPI CreatePalette(const LOGPALETTE* palette) {
  if (palette == nullptr || palette->palVersion != 0x300 || palette->palNumEntries == 0)
    return nullptr;
  auto* object = new PaletteObject{kPaletteMagic, {}};
  object->entries.assign(palette->palPalEntry, palette->palPalEntry + palette->palNumEntries);
  return reinterpret_cast<HPALETTE>(object);
}

UINT WINAPI GetPaletteEntries(HPALETTE palette, UINT start, UINT count, LPPALETTEENTRY entries) {
  PaletteObject* object = paletteFromHandle(palette);
  if (object == nullptr) return 0;
  UINT size = static_cast<UINT>(object->entries.size());
  if (entries == nullptr) return size;
  if (start >= size) return 0;
  UINT n = std::min(count, size - start);
  std::copy_n(object->entries.begin() + start, n, entries);
  return n;
}

// Deletes palettes; stock objects and unknown handles are refused.
BOOL WINAPI DeleteObject(HGDIOBJ object) {
  auto palette = static_cast<HPALETTE>(object);
  PaletteObject* found = paletteFromHandle(palette);
  if (found == nullptr || palette == defaultPalette()) return FALSE;
  found->magic = 0;
  delete found;
  return TRUE;
}
