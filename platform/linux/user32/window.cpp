// Window classes and windows of the Linux build: the window table, creation
// and destruction, geometry.
#include <algorithm>
#include <atomic>
#include <map>

#include "platform/linux/gdi32/gdi32.h"
#include "platform/linux/handle_table.h"
#include "platform/linux/user32/resources.h"
#include "platform/linux/user32/user32.h"
#include "platform/linux/user32/window_host.h"

namespace {

struct WindowClass {
  WNDCLASSA info;
  std::string name;
};

struct Server {
  HandleTable<Window> windows{HandleKind::kWindow};
  std::map<std::string, WindowClass> classes;
  ATOM nextAtom = 0xC000;
  std::atomic<WindowHost*> host{nullptr};
  std::once_flag hostChosen;
  int defaultPlacements = 0;
};

// Never destroyed: windows a program leaves open live until the process
// ends, as on Windows, and stay reachable with their widgets (the leak
// checkers count none of them); the timer thread may still post while
// static objects are destroyed at exit.
Server& server() {
  static Server* instance = new Server;
  return *instance;
}

// By name, in any case: the program never names a class by its atom.
WindowClass* findClass(LPCSTR name) {
  auto& classes = server().classes;
  if (IS_INTRESOURCE(name)) return nullptr;
  auto found = classes.find(resourceKey(name));
  return found != classes.end() ? &found->second : nullptr;
}

// ---- geometry ----

int frameThickness(DWORD style) {
  if (style & WS_THICKFRAME) return metrics::kFrame;
  if (style & WS_DLGFRAME) return metrics::kDialogFrame;
  return (style & WS_BORDER) ? metrics::kBorder : 0;
}

int captionHeight(DWORD style) {
  return (style & WS_CAPTION) == WS_CAPTION ? metrics::kCaption : 0;
}

void clientSizeFromOuter(const Window& w, int& width, int& height) {
  int aroundWidth = 0;
  int aroundHeight = 0;
  addNonClientSize(w.style, w.menu != nullptr, w.bars, aroundWidth, aroundHeight);
  width = std::max<int>(w.windowRect.right - w.windowRect.left - aroundWidth, 0);
  height = std::max<int>(w.windowRect.bottom - w.windowRect.top - aroundHeight, 0);
}

// The pixels that stay keep their places; new ones get the background.
void resizePixels(Window& w, int width, int height) {
  ClientPixels& old = *w.pixels;
  std::vector<uint32_t> pixels(static_cast<size_t>(width) * height, brushColour(w.background));
  std::lock_guard lock(old.mutex);
  int keepWidth = std::min(width, old.width);
  int keepHeight = std::min(height, old.height);
  for (int y = 0; y < keepHeight; ++y)
    std::copy_n(old.data.begin() + static_cast<ptrdiff_t>(y) * old.width, keepWidth,
                pixels.begin() + static_cast<ptrdiff_t>(y) * width);
  old.data.swap(pixels);
  old.width = width;
  old.height = height;
}

// Like Win32, a new top-level window is no larger than the largest tracking
// size, a little more than the screen: a picture larger than the screen gets
// a window that fits it, with scroll bars.
void limitToTrackingSize(DWORD style, int& width, int& height) {
  if (!(style & WS_THICKFRAME) && (style & (WS_POPUP | WS_CHILD))) return;
  width = std::min(width, GetSystemMetrics(SM_CXMAXTRACK));
  height = std::min(height, GetSystemMetrics(SM_CYMAXTRACK));
}

// CW_USEDEFAULT places windows in a cascade; their size is always given.
void placeDefault(int& x, int& y) {
  if (x != CW_USEDEFAULT) return;
  int step = 26 * (server().defaultPlacements++ % 8);
  x = 32 + step;
  y = 32 + step;
}

std::unique_ptr<Window> newWindow(const WindowClass& cls, LPCSTR title, DWORD style, HWND owner,
                                  HMENU menu) {
  auto w = std::make_unique<Window>();
  w->className = cls.name;
  w->title = title != nullptr ? title : "";
  w->style = style;
  w->proc = cls.info.lpfnWndProc;
  w->background = cls.info.hbrBackground;
  w->icon = cls.info.hIcon;
  w->owner = owner;
  if (!(style & WS_CHILD)) {
    w->menu = menuFromHandle(menu);
    if (w->menu == nullptr && cls.info.lpszMenuName != nullptr)
      w->menu = menuFromHandle(loadMenuResource(cls.info.lpszMenuName));
  }
  w->queue = currentQueue();
  w->bars[SB_HORZ].visible = (style & WS_HSCROLL) != 0;
  w->bars[SB_VERT].visible = (style & WS_VSCROLL) != 0;
  return w;
}

// WM_NCCREATE and WM_CREATE; false when the window refused to be created.
bool sendCreation(HWND handle, CREATESTRUCTA& cs) {
  if (!SendMessageA(handle, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&cs))) return false;
  return SendMessageA(handle, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) != -1;
}

}  // namespace

void relayout(Window& w) {
  int width = 0;
  int height = 0;
  clientSizeFromOuter(w, width, height);
  WindowHost* host = activeHost();
  if (width == w.clientWidth && height == w.clientHeight) {
    if (host != nullptr) host->layoutChanged(w);
    return;
  }
  int oldWidth = w.clientWidth;
  int oldHeight = w.clientHeight;
  resizePixels(w, width, height);
  w.clientWidth = width;
  w.clientHeight = height;
  clipUpdateRegion(w);
  RECT right{oldWidth, 0, width, height};
  RECT bottom{0, oldHeight, width, height};
  invalidate(w, &right, true);
  invalidate(w, &bottom, true);
  if (host != nullptr) host->layoutChanged(w);
  SendMessageA(w.handle, WM_SIZE, 0, MAKELPARAM(width, height));
}

Window* windowFromHandle(HWND handle) { return server().windows.find(handle); }

// Other threads ask while the owner may destroy the window: read under the lock.
std::shared_ptr<MessageQueue> queueOfWindow(HWND handle) {
  std::shared_ptr<MessageQueue> queue;
  server().windows.forEach<HWND>([&](HWND each, const Window& w) {
    if (each == handle) queue = w.queue;
  });
  return queue;
}

std::vector<HWND> windowsOfThisThread() {
  std::vector<HWND> result;
  auto id = std::this_thread::get_id();
  server().windows.forEach<HWND>([&](HWND each, const Window& w) {
    if (w.queue->owner == id) result.push_back(each);
  });
  return result;
}

void useWindowHost(WindowHost* host) { server().host = host; }

WindowHost* activeHost() {
  Server& s = server();
  std::call_once(s.hostChosen, [&] {
    if (s.host.load() == nullptr) s.host = gtkHost();
  });
  return s.host.load();
}

RECT clientRectOf(const Window& w) { return {0, 0, w.clientWidth, w.clientHeight}; }

void addNonClientSize(DWORD style, bool hasMenu, const ScrollBarState* bars, int& width,
                      int& height) {
  int frame = frameThickness(style);
  width += 2 * frame + (bars != nullptr && bars[SB_VERT].visible ? metrics::kScrollBar : 0);
  height += 2 * frame + captionHeight(style) + (hasMenu ? metrics::kMenu : 0) +
            (bars != nullptr && bars[SB_HORZ].visible ? metrics::kScrollBar : 0);
}

void setClientSize(Window& w, int width, int height) {
  addNonClientSize(w.style, w.menu != nullptr, w.bars, width, height);
  setOuterSize(w, width, height);
}

void setOuterSize(Window& w, int width, int height) {
  w.windowRect.right = w.windowRect.left + std::max(width, 0);
  w.windowRect.bottom = w.windowRect.top + std::max(height, 0);
  relayout(w);
}

void destroyWindowsOfThisThread() {
  for (HWND handle : windowsOfThisThread()) DestroyWindow(handle);
}

void loseEveryWindow() {
  std::vector<std::shared_ptr<MessageQueue>> queues;
  server().windows.forEach<HWND>([&](HWND, const Window& w) {
    if (std::find(queues.begin(), queues.end(), w.queue) == queues.end()) queues.push_back(w.queue);
  });
  for (auto& queue : queues) loseWindows(*queue);
}

// ---- classes and windows ----

ATOM WINAPI RegisterClassA(const WNDCLASSA* windowClass) {
  if (windowClass == nullptr || windowClass->lpfnWndProc == nullptr ||
      windowClass->lpszClassName == nullptr || IS_INTRESOURCE(windowClass->lpszClassName))
    return 0;
  Server& s = server();
  std::string key = resourceKey(windowClass->lpszClassName);
  if (s.classes.count(key) != 0) return 0;
  s.classes[key] = WindowClass{*windowClass, windowClass->lpszClassName};
  return s.nextAtom++;
}

HWND WINAPI CreateWindowExA(DWORD, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y,
                            int width, int height, HWND parent, HMENU menu, HINSTANCE instance,
                            LPVOID param) {
  WindowClass* cls = findClass(className);
  WindowHost* host = activeHost();
  if (cls == nullptr || host == nullptr) return nullptr;
  bool placedByDefault = x == CW_USEDEFAULT;
  placeDefault(x, y);
  limitToTrackingSize(style, width, height);
  auto owned = newWindow(*cls, windowName, style, parent, menu);
  owned->placedByDefault = placedByDefault;
  owned->windowRect = {x, y, x + width, y + height};
  Window& w = *owned;
  clientSizeFromOuter(w, w.clientWidth, w.clientHeight);
  resizePixels(w, w.clientWidth, w.clientHeight);
  HWND handle = w.handle = server().windows.add<HWND>(std::move(owned));
  if (!host->createWindow(w)) {
    server().windows.remove(handle);
    return nullptr;
  }
  CREATESTRUCTA cs{param,     instance, menu, height, width, y, x, static_cast<LONG>(style),
                   windowName};
  invalidate(w, nullptr, true);
  if (!sendCreation(handle, cs)) {
    DestroyWindow(handle);
    return nullptr;
  }
  if (windowFromHandle(handle) == nullptr) return nullptr;
  SendMessageA(handle, WM_SIZE, 0, MAKELPARAM(w.clientWidth, w.clientHeight));
  SendMessageA(handle, WM_MOVE, 0, MAKELPARAM(w.windowRect.left, w.windowRect.top));
  if (style & WS_VISIBLE) ShowWindow(handle, SW_SHOW);
  return handle;
}

BOOL WINAPI DestroyWindow(HWND handle) {
  Window* w = windowFromHandle(handle);
  if (w == nullptr) return FALSE;
  if (w->destroying) return TRUE;
  w->destroying = true;
  for (HWND other : windowsOfThisThread()) {
    Window* owned = windowFromHandle(other);
    if (owned != nullptr && owned->owner == handle) DestroyWindow(other);
  }
  if (w->visible) ShowWindow(handle, SW_HIDE);
  SendMessageA(handle, WM_DESTROY, 0, 0);
  SendMessageA(handle, WM_NCDESTROY, 0, 0);
  if (WindowHost* host = activeHost()) host->destroyWindow(*w);
  server().windows.remove(handle);
  return TRUE;
}

BOOL WINAPI ShowWindow(HWND handle, int showCommand) {
  Window* w = windowFromHandle(handle);
  if (w == nullptr) return FALSE;
  bool wasVisible = w->visible;
  bool show = showCommand != SW_HIDE;
  if (show == wasVisible) return wasVisible;
  SendMessageA(handle, WM_SHOWWINDOW, show, 0);
  w->visible = show;
  if (WindowHost* host = activeHost()) host->showWindow(*w, show);
  return wasVisible;
}

BOOL WINAPI UpdateWindow(HWND handle) {
  Window* w = windowFromHandle(handle);
  if (w == nullptr) return FALSE;
  if (!w->updateRects.empty()) SendMessageA(handle, WM_PAINT, 0, 0);
  return TRUE;
}

BOOL WINAPI IsWindow(HWND handle) { return windowFromHandle(handle) != nullptr; }

BOOL WINAPI EnableWindow(HWND handle, BOOL enable) {
  Window* w = windowFromHandle(handle);
  if (w == nullptr) return FALSE;
  bool wasDisabled = !w->enabled;
  w->enabled = enable != FALSE;
  if (wasDisabled == !w->enabled) return wasDisabled;
  if (WindowHost* host = activeHost()) host->enableWindow(*w, w->enabled);
  return wasDisabled;
}

BOOL WINAPI IsWindowEnabled(HWND handle) {
  Window* w = windowFromHandle(handle);
  return w != nullptr && w->enabled;
}

LRESULT WINAPI DefWindowProcA(HWND handle, UINT message, WPARAM wParam, LPARAM) {
  Window* w = windowFromHandle(handle);
  if (w == nullptr) return 0;
  switch (message) {
    case WM_NCCREATE:
      return TRUE;
    case WM_CLOSE:
      DestroyWindow(handle);
      return 0;
    case WM_ERASEBKGND: {
      DeviceContext* dc = deviceContextFromHandle(reinterpret_cast<HDC>(wParam));
      if (dc == nullptr || w->background == nullptr) return 0;
      for (const RECT& r : dc->clip) fillRect(*w, r, brushColour(w->background));
      return 1;
    }
    case WM_PAINT: {
      PAINTSTRUCT ps;
      BeginPaint(handle, &ps);
      EndPaint(handle, &ps);
      return 0;
    }
    default:
      return 0;
  }
}
