// Drawing of the Linux build: device-independent bitmaps are drawn into a
// window's client pixels through the palette selected into the device
// context; stock brushes and the default palette.
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

// WHITE_BRUSH .. NULL_BRUSH, made once and never deleted.
HBRUSH stockBrush(int object) {
  static const auto stock = [] {
    std::array<HBRUSH, NULL_BRUSH + 1> handles{};
    const uint32_t colours[] = {0xFFFFFF, 0xC0C0C0, 0x808080, 0x404040, 0x000000, 0xFFFFFF};
    for (int i = 0; i <= NULL_BRUSH; ++i)
      handles[i] = brushes().add<HBRUSH>(std::make_unique<BrushObject>(BrushObject{colours[i]}));
    return handles;
  }();
  return stock[object];
}

// System colours of the classic scheme, for brushes given as COLOR_* + 1.
uint32_t systemColour(int index) {
  switch (index) {
    case COLOR_WINDOW:
      return 0xFFFFFF;
    case COLOR_WINDOWTEXT:
      return 0x000000;
    case COLOR_BTNFACE:
      return 0xC0C0C0;
    default:
      return 0xC0C0C0;
  }
}

uint32_t rgb(BYTE r, BYTE g, BYTE b) { return static_cast<uint32_t>(r) << 16 | g << 8 | b; }

// The colour of each of the DIB's 256 possible pixel values.
bool colourTable(const BITMAPINFO* info, UINT usage, HPALETTE palette,
                 std::array<uint32_t, 256>& table) {
  const BITMAPINFOHEADER& h = info->bmiHeader;
  int entries = h.biClrUsed != 0 ? static_cast<int>(std::min<DWORD>(h.biClrUsed, 256)) : 256;
  const auto* header = reinterpret_cast<const BYTE*>(info) + h.biSize;
  table.fill(0);
  if (usage == DIB_PAL_COLORS) {
    PaletteObject* pal = paletteFromHandle(palette);
    if (pal == nullptr || pal->entries.empty()) return false;
    const auto* indices = reinterpret_cast<const WORD*>(header);
    // An index past the palette's end wraps around, as GDI does.
    for (int i = 0; i < entries; ++i) {
      const PALETTEENTRY& e = pal->entries[indices[i] % pal->entries.size()];
      table[i] = rgb(e.peRed, e.peGreen, e.peBlue);
    }
    return true;
  }
  const auto* quads = reinterpret_cast<const RGBQUAD*>(header);
  for (int i = 0; i < entries; ++i)
    table[i] = rgb(quads[i].rgbRed, quads[i].rgbGreen, quads[i].rgbBlue);
  return true;
}

struct Source {
  const BYTE* bits;
  int width;
  int height;
  bool topDown;
  int bitCount;
  size_t stride;
  const std::array<uint32_t, 256>* table;

  uint32_t pixel(int x, int y) const {
    const BYTE* row = bits + stride * (topDown ? y : height - 1 - y);
    switch (bitCount) {
      case 8:
        return (*table)[row[x]];
      case 24:
        return rgb(row[x * 3 + 2], row[x * 3 + 1], row[x * 3]);
      default:
        return rgb(row[x * 4 + 2], row[x * 4 + 1], row[x * 4]);
    }
  }
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

void drawInto(Window& w, const RECT& clip, const Mapping& m, const Source& s) {
  RECT r{std::max<LONG>(clip.left, m.xDest), std::max<LONG>(clip.top, m.yDest),
         std::min<LONG>(clip.right, m.xDest + m.destWidth),
         std::min<LONG>(clip.bottom, m.yDest + m.destHeight)};
  r.right = std::min<LONG>(r.right, w.clientWidth);
  r.bottom = std::min<LONG>(r.bottom, w.clientHeight);
  r.left = std::max<LONG>(r.left, 0);
  r.top = std::max<LONG>(r.top, 0);
  if (r.right <= r.left || r.bottom <= r.top) return;
  for (LONG y = r.top; y < r.bottom; ++y) {
    int sy = m.sourceY(y);
    uint32_t* out = w.pixels.data() + static_cast<ptrdiff_t>(y) * w.clientWidth;
    if (sy < 0 || sy >= s.height) continue;
    for (LONG x = r.left; x < r.right; ++x) {
      int sx = m.sourceX(x);
      if (sx >= 0 && sx < s.width) out[x] = s.pixel(sx, sy);
    }
  }
  if (WindowHost* host = activeHost()) host->pixelsChanged(w, r);
}

}  // namespace

uint32_t brushColour(HBRUSH brush) {
  auto value = reinterpret_cast<uintptr_t>(brush);
  if (value != 0 && value <= 31) return systemColour(static_cast<int>(value) - 1);
  BrushObject* object = brushes().find(brush);
  return object != nullptr ? object->colour : 0xFFFFFF;
}

HGDIOBJ WINAPI GetStockObject(int object) {
  if (object >= WHITE_BRUSH && object <= NULL_BRUSH) return stockBrush(object);
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
      h.biHeight == 0 || (h.biBitCount != 8 && h.biBitCount != 24 && h.biBitCount != 32))
    return 0;
  if (destWidth <= 0 || destHeight <= 0 || srcWidth <= 0 || srcHeight <= 0) return 0;
  std::array<uint32_t, 256> table;
  if (h.biBitCount == 8 && !colourTable(info, usage, context->palette, table)) return 0;
  int height = h.biHeight < 0 ? -h.biHeight : h.biHeight;
  size_t stride = ((static_cast<size_t>(h.biWidth) * h.biBitCount + 31) / 32) * 4;
  Source source{static_cast<const BYTE*>(bits),
                h.biWidth,
                height,
                h.biHeight < 0,
                h.biBitCount,
                stride,
                &table};
  // In a bottom-up bitmap the source rectangle is counted from the bottom row.
  int topRow = source.topDown ? ySrc : height - ySrc - srcHeight;
  Mapping mapping{xDest, yDest, destWidth, destHeight, xSrc, topRow, srcWidth, srcHeight};
  Window* w = windowFromHandle(context->window);
  if (w == nullptr) return srcHeight;
  for (const RECT& clip : context->clip) drawInto(*w, clip, mapping, source);
  return srcHeight;
}
