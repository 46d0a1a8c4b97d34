// Drawing of the Linux build: 8-bit device-independent bitmaps with
// palette-index colours are drawn into a window's client pixels through the
// palette selected into the device context; the stock objects.
#include "gdi32.h"

#include <algorithm>
#include <array>

#include "gdi_objects.h"
#include "handle_table.h"
#include "window_host.h"

namespace {

struct BrushObject {
  uint32_t colour;  // 0x00RRGGBB
};

HandleTable<BrushObject>& brushes() {
  static auto* table = new HandleTable<BrushObject>(HandleKind::kBrush);
  return *table;
}

// WHITE_BRUSH, made once and never deleted.
HBRUSH whiteBrush() {
  static const HBRUSH white =
      brushes().add<HBRUSH>(std::make_unique<BrushObject>(BrushObject{0xFFFFFF}));
  return white;
}

uint32_t rgb(BYTE r, BYTE g, BYTE b) { return static_cast<uint32_t>(r) << 16 | g << 8 | b; }

// The colour of each of the DIB's 256 possible pixel values: its colour
// table holds indices into the palette.
bool colourTable(const BITMAPINFO* info, UINT usage, HPALETTE palette,
                 std::array<uint32_t, 256>& table) {
  const BITMAPINFOHEADER& h = info->bmiHeader;
  int entries = h.biClrUsed != 0 ? static_cast<int>(std::min<DWORD>(h.biClrUsed, 256)) : 256;
  PaletteObject* pal = paletteFromHandle(palette);
  if (usage != DIB_PAL_COLORS || pal == nullptr || pal->entries.empty()) return false;
  const auto* indices =
      reinterpret_cast<const WORD*>(reinterpret_cast<const BYTE*>(info) + h.biSize);
  table.fill(0);
  // An index past the palette's end wraps around, as GDI does.
  for (int i = 0; i < entries; ++i) {
    const PALETTEENTRY& e = pal->entries[indices[i] % pal->entries.size()];
    table[i] = rgb(e.peRed, e.peGreen, e.peBlue);
  }
  return true;
}

struct Source {
  const BYTE* bits;
  int width;
  int height;
  bool topDown;
  size_t stride;
  const std::array<uint32_t, 256>* table;

  const BYTE* row(int y) const { return bits + stride * (topDown ? y : height - 1 - y); }
};

struct Mapping {
  int xDest, yDest, destWidth, destHeight;
  int xSrc, ySrc, srcWidth, srcHeight;
  int sourceX(int x) const {
    return xSrc + static_cast<int>(static_cast<int64_t>(x - xDest) * srcWidth / destWidth);
  }
  int sourceY(int y) const {
    return ySrc + static_cast<int>(static_cast<int64_t>(y - yDest) * srcHeight / destHeight);
  }
};

// Each row through the colour table; a bitmap drawn at its own size takes
// its pixels in a run.
void convertRows(ClientPixels& pixels, const RECT& r, const Mapping& m, const Source& s) {
  const std::array<uint32_t, 256>& table = *s.table;
  bool ownSize = m.destWidth == m.srcWidth;
  for (LONG y = r.top; y < r.bottom; ++y) {
    int sy = m.sourceY(y);
    if (sy < 0 || sy >= s.height) continue;
    const BYTE* in = s.row(sy);
    uint32_t* out = pixels.data.data() + static_cast<ptrdiff_t>(y) * pixels.width;
    if (ownSize) {
      LONG left = std::max<LONG>(r.left, m.xDest - m.xSrc);
      LONG right = std::min<LONG>(r.right, m.xDest - m.xSrc + s.width);
      for (LONG x = left; x < right; ++x) out[x] = table[in[x - m.xDest + m.xSrc]];
      continue;
    }
    for (LONG x = r.left; x < r.right; ++x) {
      int sx = m.sourceX(x);
      if (sx >= 0 && sx < s.width) out[x] = table[in[sx]];
    }
  }
}

// Only the part inside the clip rectangle is converted, and only that part
// is handed to the host to show.
void drawInto(Window& w, const RECT& clip, const Mapping& m, const Source& s) {
  RECT r{std::max<LONG>(clip.left, m.xDest), std::max<LONG>(clip.top, m.yDest),
         std::min<LONG>(clip.right, m.xDest + m.destWidth),
         std::min<LONG>(clip.bottom, m.yDest + m.destHeight)};
  {
    ClientPixels& pixels = *w.pixels;
    std::lock_guard lock(pixels.mutex);
    r.right = std::min<LONG>(r.right, pixels.width);
    r.bottom = std::min<LONG>(r.bottom, pixels.height);
    r.left = std::max<LONG>(r.left, 0);
    r.top = std::max<LONG>(r.top, 0);
    if (r.right <= r.left || r.bottom <= r.top) return;
    convertRows(pixels, r, m, s);
  }
  if (WindowHost* host = activeHost()) host->pixelsChanged(w, r);
}

}  // namespace

// A system colour (COLOR_* + 1) is the classic scheme's button face: the
// dialogs' background, the only one asked for.
uint32_t brushColour(HBRUSH brush) {
  auto value = reinterpret_cast<uintptr_t>(brush);
  if (value != 0 && value <= 31) return 0xC0C0C0;
  BrushObject* object = brushes().find(brush);
  return object != nullptr ? object->colour : 0xFFFFFF;
}

HGDIOBJ WINAPI GetStockObject(int object) {
  if (object == WHITE_BRUSH) return whiteBrush();
  if (object == DEFAULT_PALETTE) return defaultPalette();
  return nullptr;
}

HPALETTE WINAPI SelectPalette(HDC dc, HPALETTE palette, BOOL) {
  DeviceContext* context = deviceContextFromHandle(dc);
  if (context == nullptr || paletteFromHandle(palette) == nullptr) return nullptr;
  HPALETTE previous = context->palette;
  context->palette = palette;
  return previous;
}

// The surface is true colour: a palette's entries are mapped the first time
// it is realized, and nothing changes afterwards.
UINT WINAPI RealizePalette(HDC dc) {
  DeviceContext* context = deviceContextFromHandle(dc);
  if (context == nullptr) return GDI_ERROR;
  PaletteObject* palette = paletteFromHandle(context->palette);
  if (palette == nullptr || context->palette == defaultPalette() || palette->realized) return 0;
  palette->realized = true;
  return static_cast<UINT>(palette->entries.size());
}

int WINAPI StretchDIBits(HDC dc, int xDest, int yDest, int destWidth, int destHeight, int xSrc,
                         int ySrc, int srcWidth, int srcHeight, const void* bits,
                         const BITMAPINFO* info, UINT usage, DWORD rop) {
  DeviceContext* context = deviceContextFromHandle(dc);
  if (context == nullptr || bits == nullptr || info == nullptr || rop != SRCCOPY) return 0;
  const BITMAPINFOHEADER& h = info->bmiHeader;
  if (h.biSize < sizeof(BITMAPINFOHEADER) || h.biCompression != BI_RGB || h.biWidth <= 0 ||
      h.biHeight == 0 || h.biBitCount != 8)
    return 0;
  if (destWidth <= 0 || destHeight <= 0 || srcWidth <= 0 || srcHeight <= 0) return 0;
  std::array<uint32_t, 256> table;
  if (!colourTable(info, usage, context->palette, table)) return 0;
  int height = h.biHeight < 0 ? -h.biHeight : h.biHeight;
  size_t stride = (static_cast<size_t>(h.biWidth) + 3) & ~size_t{3};
  Source source{static_cast<const BYTE*>(bits), h.biWidth, height, h.biHeight < 0, stride, &table};
  // In a bottom-up bitmap the source rectangle is counted from the bottom row.
  int topRow = source.topDown ? ySrc : height - ySrc - srcHeight;
  Mapping mapping{xDest, yDest, destWidth, destHeight, xSrc, topRow, srcWidth, srcHeight};
  Window* w = windowFromHandle(context->window);
  if (w == nullptr) return srcHeight;
  for (const RECT& clip : context->clip) drawInto(*w, clip, mapping, source);
  return srcHeight;
}
