// Headless placeholders until the drawing layer lands.
#include "gdi32.h"

HGDIOBJ WINAPI GetStockObject(int) { return nullptr; }
HPALETTE WINAPI SelectPalette(HDC, HPALETTE, BOOL) { return nullptr; }
UINT WINAPI RealizePalette(HDC) { return GDI_ERROR; }
int WINAPI StretchDIBits(HDC, int, int, int, int, int, int, int, int, const void*,
                         const BITMAPINFO*, UINT, DWORD) {
  return 0;
}
