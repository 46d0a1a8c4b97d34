// GDI objects of the Linux build, shared by the palette and drawing code.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/linux/win32_types.h"

struct PaletteObject {
  std::vector<PALETTEENTRY> entries;
  bool realized = false;  // mapped to the surface once already
};

// The palette behind a handle, or nullptr when the handle is not one.
PaletteObject* paletteFromHandle(HPALETTE palette);
// The stock default palette: 20 static colours, as on Windows.
HPALETTE defaultPalette();
