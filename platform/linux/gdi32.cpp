// Headless placeholders until the drawing layer lands.
#include "gdi32.h"

HPALETTE WINAPI CreatePalette(const LOGPALETTE*) { return nullptr; }
BOOL WINAPI DeleteObject(HGDIOBJ) { return FALSE; }
HGDIOBJ WINAPI GetStockObject(int) { return nullptr; }
HPALETTE WINAPI SelectPalette(HDC, HPALETTE, BOOL) { return nullptr; }
UINT WINAPI RealizePalette(HDC) { return GDI_ERROR; }
UINT WINAPI GetPaletteEntries(HPALETTE, UINT, UINT, LPPALETTEENTRY) { return 0; }
int WINAPI StretchDIBits(HDC, int, int, int, int, int, int, int, int, const void*,
                         const BITMAPINFO*, UINT, DWORD) {
  return 0;
}
