// Painting of the Linux build: update regions, WM_PAINT's device contexts
// and the client pixels they draw into.
#include <algorithm>

#include "platform/linux/gdi32/gdi32.h"
#include "platform/linux/gdi32/gdi_objects.h"
#include "platform/linux/handle_table.h"
#include "platform/linux/user32/user32.h"
#include "platform/linux/user32/window_host.h"

namespace {

constexpr size_t kMaxUpdateRects = 32;

bool contains(const RECT& outer, const RECT& inner) {
  return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
         inner.bottom <= outer.bottom;
}

RECT boundingBox(const std::vector<RECT>& rects) {
  if (rects.empty()) return {0, 0, 0, 0};
  RECT box = rects.front();
  for (const RECT& r : rects) {
    box.left = std::min(box.left, r.left);
    box.top = std::min(box.top, r.top);
    box.right = std::max(box.right, r.right);
    box.bottom = std::max(box.bottom, r.bottom);
  }
  return box;
}

void addUpdateRect(Window& w, const RECT& r) {
  for (const RECT& existing : w.updateRects)
    if (contains(existing, r)) return;
  std::erase_if(w.updateRects, [&](const RECT& existing) { return contains(r, existing); });
  w.updateRects.push_back(r);
  if (w.updateRects.size() > kMaxUpdateRects) w.updateRects = {boundingBox(w.updateRects)};
}

auto& deviceContexts() { return handleTable<DeviceContext, HandleKind::kDc>(); }

HDC newDc(HWND window, std::vector<RECT> clip) {
  return deviceContexts().add<HDC>(
      std::make_unique<DeviceContext>(DeviceContext{window, defaultPalette(), std::move(clip)}));
}

bool deleteDc(HDC handle) { return deviceContexts().remove(handle) != nullptr; }

}  // namespace

bool isEmpty(const RECT& r) { return r.right <= r.left || r.bottom <= r.top; }

RECT intersect(const RECT& a, const RECT& b) {
  return {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
          std::min(a.bottom, b.bottom)};
}

void clipUpdateRegion(Window& w) {
  RECT client = clientRectOf(w);
  std::vector<RECT> kept;
  for (const RECT& r : w.updateRects) {
    RECT clipped = intersect(r, client);
    if (!isEmpty(clipped)) kept.push_back(clipped);
  }
  w.updateRects.swap(kept);
}

void invalidate(Window& w, const RECT* rect, bool erase) {
  RECT client = clientRectOf(w);
  RECT r = rect != nullptr ? intersect(*rect, client) : client;
  if (isEmpty(r)) return;
  addUpdateRect(w, r);
  if (erase) w.eraseNeeded = true;
}

void fillRect(Window& w, const RECT& rect, uint32_t colour) {
  RECT r = intersect(rect, clientRectOf(w));
  if (isEmpty(r)) return;
  {
    ClientPixels& pixels = *w.pixels;
    std::lock_guard lock(pixels.mutex);
    for (LONG y = r.top; y < r.bottom; ++y)
      std::fill_n(pixels.data.begin() + static_cast<ptrdiff_t>(y) * pixels.width + r.left,
                  r.right - r.left, colour);
  }
  if (WindowHost* host = activeHost()) host->pixelsChanged(w, r);
}

BOOL WINAPI InvalidateRect(HWND handle, const RECT* rect, BOOL erase) {
  Window* w = windowFromHandle(handle);
  if (w == nullptr) return FALSE;
  invalidate(*w, rect, erase != FALSE);
  return TRUE;
}

HDC WINAPI BeginPaint(HWND handle, LPPAINTSTRUCT paint) {
  Window* w = windowFromHandle(handle);
  if (w == nullptr || paint == nullptr) return nullptr;
  *paint = PAINTSTRUCT{};
  std::vector<RECT> region;
  region.swap(w->updateRects);
  bool erase = w->eraseNeeded;
  w->eraseNeeded = false;
  paint->rcPaint = boundingBox(region);
  HDC dc = newDc(handle, std::move(region));
  paint->hdc = dc;
  paint->fErase = erase && !SendMessageA(handle, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
  return dc;
}

BOOL WINAPI EndPaint(HWND, const PAINTSTRUCT* paint) {
  return paint != nullptr && deleteDc(paint->hdc);
}

HDC WINAPI GetDC(HWND handle) {
  if (handle == nullptr) return newDc(nullptr, {});
  Window* w = windowFromHandle(handle);
  if (w == nullptr) return nullptr;
  return newDc(handle, {clientRectOf(*w)});
}

int WINAPI ReleaseDC(HWND, HDC dc) { return deleteDc(dc) ? 1 : 0; }

DeviceContext* deviceContextFromHandle(HDC dc) { return deviceContexts().find(dc); }
