// Drawing of the Linux build: 8-bit device-independent bitmaps with
// palette-index colours are drawn at their own size into a window's client
// pixels through the palette selected into the device context; the stock
// objects.
#include "platform/linux/gdi32/gdi32.h"

#include <algorithm>
#include <array>
#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

#include "platform/linux/gdi32/gdi_objects.h"
#include "platform/linux/handle_table.h"
#include "platform/linux/user32/window_host.h"

namespace {

struct BrushObject {
  uint32_t colour;  // 0x00RRGGBB
};

auto& brushes() { return handleTable<BrushObject, HandleKind::kBrush>(); }

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

// A row's pixel values through the colour table: the time a frame costs the
// program is mostly this. Eight at a time where the processor can gather
// them (AVX2), twice as fast as one at a time.
void convertRowSingly(const BYTE* in, uint32_t* out, LONG count, const uint32_t* table) {
  for (LONG x = 0; x < count; ++x) out[x] = table[in[x]];
}

#if defined(__x86_64__) || defined(__i386__)
[[gnu::target("avx2")]] void convertRowGathering(const BYTE* in, uint32_t* out, LONG count,
                                                 const uint32_t* table) {
  LONG x = 0;
  for (; x + 8 <= count; x += 8) {
    __m256i values =
        _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(in + x)));
    __m256i colours = _mm256_i32gather_epi32(reinterpret_cast<const int*>(table), values, 4);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + x), colours);
  }
  convertRowSingly(in + x, out + x, count - x, table);
}

void convertRow(const BYTE* in, uint32_t* out, LONG count, const uint32_t* table) {
  static const bool gathers = __builtin_cpu_supports("avx2");
  (gathers ? convertRowGathering : convertRowSingly)(in, out, count, table);
}
#else
void convertRow(const BYTE* in, uint32_t* out, LONG count, const uint32_t* table) {
  convertRowSingly(in, out, count, table);
}
#endif

// A bottom-up bitmap placed on the client area: the bitmap's pixel (x, y),
// counted from its top row, lands at (x + dx, y + dy).
struct Placement {
  const BYTE* bits;
  int width;
  int height;
  size_t stride;
  int dx, dy;
  const std::array<uint32_t, 256>* table;
};

// Only the part inside the clip rectangle is drawn, each row through the
// colour table, and only that part is handed to the host to show.
void drawInto(Window& w, const RECT& clip, const RECT& dest, const Placement& p) {
  RECT r = intersect(clip, intersect(dest, {p.dx, p.dy, p.dx + p.width, p.dy + p.height}));
  {
    ClientPixels& pixels = *w.pixels;
    std::lock_guard lock(pixels.mutex);
    r = intersect(r, {0, 0, pixels.width, pixels.height});
    if (isEmpty(r)) return;
    for (LONG y = r.top; y < r.bottom; ++y) {
      const BYTE* in = p.bits + p.stride * (p.height - 1 - (y - p.dy));
      uint32_t* out = pixels.data.data() + static_cast<ptrdiff_t>(y) * pixels.width;
      convertRow(in + r.left - p.dx, out + r.left, r.right - r.left, p.table->data());
    }
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
  // Made once and never deleted.
  static const HBRUSH white =
      brushes().add<HBRUSH>(std::make_unique<BrushObject>(BrushObject{0xFFFFFF}));
  if (object == WHITE_BRUSH) return white;
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

// Bottom-up bitmaps drawn at their own size: the player stretches none and
// has none top-down, and such calls are refused.
int WINAPI StretchDIBits(HDC dc, int xDest, int yDest, int destWidth, int destHeight, int xSrc,
                         int ySrc, int srcWidth, int srcHeight, const void* bits,
                         const BITMAPINFO* info, UINT usage, DWORD rop) {
  DeviceContext* context = deviceContextFromHandle(dc);
  if (context == nullptr || bits == nullptr || info == nullptr || rop != SRCCOPY) return 0;
  const BITMAPINFOHEADER& h = info->bmiHeader;
  if (h.biSize < sizeof(BITMAPINFOHEADER) || h.biCompression != BI_RGB || h.biWidth <= 0 ||
      h.biHeight <= 0 || h.biBitCount != 8)
    return 0;
  if (destWidth <= 0 || destHeight <= 0 || destWidth != srcWidth || destHeight != srcHeight)
    return 0;
  std::array<uint32_t, 256> table;
  if (!colourTable(info, usage, context->palette, table)) return 0;
  // The source rectangle is counted from the bottom row.
  int topRow = h.biHeight - ySrc - srcHeight;
  Placement placement{static_cast<const BYTE*>(bits),
                      h.biWidth,
                      h.biHeight,
                      (static_cast<size_t>(h.biWidth) + 3) & ~size_t{3},
                      xDest - xSrc,
                      yDest - topRow,
                      &table};
  RECT dest{xDest, yDest, xDest + destWidth, yDest + destHeight};
  Window* w = windowFromHandle(context->window);
  if (w == nullptr) return srcHeight;
  for (const RECT& clip : context->clip) drawInto(*w, clip, dest, placement);
  return srcHeight;
}
