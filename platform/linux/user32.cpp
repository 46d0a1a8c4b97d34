// Window classes, windows, the message queue and painting of the Linux build.
// Windows live in memory (window_server.h); the active host presents them.
#include "user32.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <future>
#include <map>
#include <utility>

#include "gdi32.h"
#include "gdi_objects.h"
#include "handle_table.h"
#include "resources.h"
#include "window_host.h"

namespace {

constexpr uintptr_t kFirstHandle = 0x10010;
constexpr uint64_t kMaxInvalidationLog = 4096;
constexpr size_t kMaxUpdateRects = 32;

struct WindowClass {
  WNDCLASSA info;
  std::string name;
  ATOM atom;
};

struct Server {
  std::mutex mutex;
  std::map<uintptr_t, std::unique_ptr<Window>> windows;
  uintptr_t nextHandle = kFirstHandle;
  std::map<std::string, WindowClass> classes;
  ATOM nextAtom = 0xC000;
  std::atomic<uint64_t> invalidationSequence{1};
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

thread_local std::shared_ptr<MessageQueue> threadQueue;

std::string upper(const char* text) {
  std::string result = text != nullptr ? text : "";
  for (char& c : result) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return result;
}

bool isEmpty(const RECT& r) { return r.right <= r.left || r.bottom <= r.top; }

RECT intersect(const RECT& a, const RECT& b) {
  return {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
          std::min(a.bottom, b.bottom)};
}

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

WindowClass* findClass(LPCSTR name) {
  auto& classes = server().classes;
  if (IS_INTRESOURCE(name)) {
    auto atom = static_cast<ATOM>(reinterpret_cast<uintptr_t>(name));
    for (auto& [key, cls] : classes)
      if (cls.atom == atom) return &cls;
    return nullptr;
  }
  auto found = classes.find(upper(name));
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
  int frame = frameThickness(w.style);
  width = w.windowRect.right - w.windowRect.left - 2 * frame;
  height = w.windowRect.bottom - w.windowRect.top - 2 * frame - captionHeight(w.style);
  if (w.menu != nullptr) height -= metrics::kMenu;
  if (w.bars[SB_VERT].visible) width -= metrics::kScrollBar;
  if (w.bars[SB_HORZ].visible) height -= metrics::kScrollBar;
  width = std::max(width, 0);
  height = std::max(height, 0);
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

void clipUpdateRegion(Window& w) {
  RECT client = clientRectOf(w);
  std::vector<RECT> kept;
  for (const RECT& r : w.updateRects) {
    RECT clipped = intersect(r, client);
    if (!isEmpty(clipped)) kept.push_back(clipped);
  }
  w.updateRects.swap(kept);
}

// Recomputes the client area from the outer rectangle and the scroll bars;
// newly exposed parts become invalid, and the window hears of its new size.
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
  if (!isEmpty(right)) invalidate(w, &right, true);
  if (!isEmpty(bottom)) invalidate(w, &bottom, true);
  if (host != nullptr) host->layoutChanged(w);
  SendMessageA(w.handle, WM_SIZE, 0, MAKELPARAM(width, height));
}

// ---- messages ----

struct Filter {
  HWND window;
  UINT first;
  UINT last;
  bool matches(const MSG& msg) const {
    if (window != nullptr && msg.hwnd != window) return false;
    if (first == 0 && last == 0) return true;
    return msg.message >= first && msg.message <= last;
  }
};

void runSentMessages(MessageQueue& queue) {
  for (;;) {
    std::function<void()> call;
    {
      std::lock_guard lock(queue.mutex);
      if (queue.sent.empty()) return;
      call = std::move(queue.sent.front());
      queue.sent.pop_front();
    }
    call();
  }
}

bool takePosted(MessageQueue& queue, const Filter& filter, MSG& msg, bool remove) {
  std::lock_guard lock(queue.mutex);
  for (auto it = queue.posted.begin(); it != queue.posted.end(); ++it) {
    if (!filter.matches(*it)) continue;
    msg = *it;
    if (remove) queue.posted.erase(it);
    return true;
  }
  return false;
}

bool takeQuit(MessageQueue& queue, MSG& msg, bool remove) {
  std::lock_guard lock(queue.mutex);
  if (!queue.quitPosted) return false;
  msg = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(queue.quitCode), 0, 0, {0, 0}};
  if (remove) queue.quitPosted = false;
  return true;
}

bool findPaint(const Filter& filter, MSG& msg) {
  for (HWND handle : windowsOfThisThread()) {
    Window* w = windowFromHandle(handle);
    if (w == nullptr || w->updateRects.empty()) continue;
    MSG paint{handle, WM_PAINT, 0, 0, 0, {0, 0}};
    if (!filter.matches(paint)) continue;
    msg = paint;
    return true;
  }
  return false;
}

DWORD messageTime() {
  using namespace std::chrono;
  return static_cast<DWORD>(
      duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

bool takeWindowsLost(MessageQueue& queue) {
  std::lock_guard lock(queue.mutex);
  return std::exchange(queue.windowsLost, false);
}

// The next message in Win32's order: sent, posted, the quit request, paint.
// Lost windows go first, through their ordinary destruction.
bool nextMessage(MSG& msg, const Filter& filter, bool remove) {
  auto queue = currentQueue();
  if (takeWindowsLost(*queue)) {
    destroyWindowsOfThisThread();
    PostQuitMessage(0);
  }
  runSentMessages(*queue);
  if (takePosted(*queue, filter, msg, remove)) return true;
  if (takeQuit(*queue, msg, remove)) return true;
  if (findPaint(filter, msg)) {
    msg.time = messageTime();
    return true;
  }
  return false;
}

void addUpdateRect(Window& w, const RECT& r) {
  for (const RECT& existing : w.updateRects)
    if (contains(existing, r)) return;
  std::erase_if(w.updateRects, [&](const RECT& existing) { return contains(r, existing); });
  w.updateRects.push_back(r);
  if (w.updateRects.size() > kMaxUpdateRects) w.updateRects = {boundingBox(w.updateRects)};
}

void logInvalidation(Window& w, const RECT& r) {
  if (w.invalidations.size() >= kMaxInvalidationLog)
    w.invalidations.erase(w.invalidations.begin(),
                          w.invalidations.begin() + kMaxInvalidationLog / 2);
  w.invalidations.push_back({server().invalidationSequence.fetch_add(1), r});
}

HandleTable<DeviceContext>& deviceContexts() {
  static auto* table = new HandleTable<DeviceContext>(HandleKind::kDeviceContext);
  return *table;
}

DeviceContext* dcFromHandle(HDC dc) { return deviceContexts().find(dc); }

HDC newDc(HWND window, std::vector<RECT> clip) {
  return deviceContexts().add<HDC>(
      std::make_unique<DeviceContext>(DeviceContext{window, defaultPalette(), std::move(clip)}));
}

bool deleteDc(HDC handle) { return deviceContexts().remove(handle) != nullptr; }

void placeDefault(int& x, int& y, int& width, int& height, WindowHost* host) {
  int step = 26 * (server().defaultPlacements++ % 8);
  if (x == CW_USEDEFAULT) {
    x = 32 + step;
    y = 32 + step;
  }
  if (width == CW_USEDEFAULT) {
    width = host->screenWidth * 3 / 4;
    height = host->screenHeight * 3 / 4;
  }
}

// Like Win32, a new top-level window is no larger than the largest tracking
// size, a little more than the screen: a picture larger than the screen gets
// a window that fits it, with scroll bars.
void limitToTrackingSize(DWORD style, int& width, int& height) {
  if (!(style & WS_THICKFRAME) && (style & (WS_POPUP | WS_CHILD))) return;
  width = std::min(width, GetSystemMetrics(SM_CXMAXTRACK));
  height = std::min(height, GetSystemMetrics(SM_CYMAXTRACK));
}

std::unique_ptr<Window> newWindow(const WindowClass& cls, DWORD exStyle, LPCSTR title, DWORD style,
                                  HWND owner, HMENU menu, HINSTANCE instance) {
  auto w = std::make_unique<Window>();
  w->className = cls.name;
  w->title = title != nullptr ? title : "";
  w->style = style;
  w->exStyle = exStyle;
  w->proc = cls.info.lpfnWndProc;
  w->background = cls.info.hbrBackground;
  w->icon = cls.info.hIcon;
  w->instance = instance;
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

HWND registerWindow(std::unique_ptr<Window> w) {
  Server& s = server();
  std::lock_guard lock(s.mutex);
  uintptr_t id = s.nextHandle;
  s.nextHandle += 4;
  w->handle = reinterpret_cast<HWND>(id);
  HWND handle = w->handle;
  s.windows.emplace(id, std::move(w));
  return handle;
}

void unregisterWindow(HWND handle) {
  std::unique_ptr<Window> gone;
  {
    Server& s = server();
    std::lock_guard lock(s.mutex);
    auto found = s.windows.find(reinterpret_cast<uintptr_t>(handle));
    if (found == s.windows.end()) return;
    gone = std::move(found->second);
    s.windows.erase(found);
  }
}

// WM_NCCREATE and WM_CREATE; false when the window refused to be created.
bool sendCreation(HWND handle, CREATESTRUCTA& cs) {
  if (!SendMessageA(handle, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&cs))) return false;
  return SendMessageA(handle, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) != -1;
}

void sendInitialSize(Window& w) {
  SendMessageA(w.handle, WM_SIZE, 0, MAKELPARAM(w.clientWidth, w.clientHeight));
  SendMessageA(w.handle, WM_MOVE, 0, MAKELPARAM(w.windowRect.left, w.windowRect.top));
}

}  // namespace

// ---- the window server's shared helpers ----

Window* windowFromHandle(HWND handle) {
  Server& s = server();
  std::lock_guard lock(s.mutex);
  auto found = s.windows.find(reinterpret_cast<uintptr_t>(handle));
  return found != s.windows.end() ? found->second.get() : nullptr;
}

std::shared_ptr<MessageQueue> queueOfWindow(HWND handle) {
  Server& s = server();
  std::lock_guard lock(s.mutex);
  auto found = s.windows.find(reinterpret_cast<uintptr_t>(handle));
  return found != s.windows.end() ? found->second->queue : nullptr;
}

std::shared_ptr<MessageQueue> currentQueue() {
  if (!threadQueue) {
    threadQueue = std::make_shared<MessageQueue>();
    threadQueue->owner = std::this_thread::get_id();
  }
  return threadQueue;
}

std::vector<HWND> windowsOfThisThread() {
  std::vector<HWND> result;
  auto id = std::this_thread::get_id();
  Server& s = server();
  std::lock_guard lock(s.mutex);
  for (auto& [key, w] : s.windows)
    if (w->queue->owner == id) result.push_back(w->handle);
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

void waitOnQueue(MessageQueue& queue, Deadline deadline) {
  std::unique_lock lock(queue.mutex);
  auto ready = [&] { return !queue.posted.empty() || !queue.sent.empty() || queue.quitPosted; };
  if (deadline == Deadline::max())
    queue.arrived.wait(lock, ready);
  else
    queue.arrived.wait_until(lock, deadline, ready);
}

RECT clientRectOf(const Window& w) { return {0, 0, w.clientWidth, w.clientHeight}; }

void setOuterSize(Window& w, int width, int height) {
  w.windowRect.right = w.windowRect.left + std::max(width, 0);
  w.windowRect.bottom = w.windowRect.top + std::max(height, 0);
  relayout(w);
}

void invalidate(Window& w, const RECT* rect, bool erase) {
  RECT client = clientRectOf(w);
  RECT r = rect != nullptr ? intersect(*rect, client) : client;
  if (isEmpty(r)) return;
  addUpdateRect(w, r);
  logInvalidation(w, r);
  if (erase) w.eraseNeeded = true;
}

void pushMessage(MessageQueue& queue, const MSG& msg) {
  {
    std::lock_guard lock(queue.mutex);
    queue.posted.push_back(msg);
  }
  queue.arrived.notify_all();
}

void runOnWindowThread(HWND handle, std::function<void(Window&)> call) {
  auto queue = queueOfWindow(handle);
  if (!queue) return;
  {
    std::lock_guard lock(queue->mutex);
    queue->sent.push_back([handle, call = std::move(call)] {
      if (Window* w = windowFromHandle(handle)) call(*w);
    });
  }
  queue->arrived.notify_all();
}

void destroyWindowsOfThisThread() {
  for (HWND handle : windowsOfThisThread()) DestroyWindow(handle);
}

// The flag is what counts; the thread message (WM_NULL, which dispatching
// ignores) only wakes a thread that waits for its queue.
void loseWindows(MessageQueue& queue) {
  {
    std::lock_guard lock(queue.mutex);
    queue.windowsLost = true;
  }
  pushMessage(queue, MSG{nullptr, WM_NULL, 0, 0, 0, {0, 0}});
}

void loseEveryWindow() {
  std::vector<std::shared_ptr<MessageQueue>> queues;
  {
    Server& s = server();
    std::lock_guard lock(s.mutex);
    for (auto& [key, w] : s.windows)
      if (std::find(queues.begin(), queues.end(), w->queue) == queues.end())
        queues.push_back(w->queue);
  }
  for (auto& queue : queues) loseWindows(*queue);
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

void forgetWindowClasses() { server().classes.clear(); }

uint64_t invalidationSequenceNow() { return server().invalidationSequence.load(); }

// ---- classes and windows ----

ATOM WINAPI RegisterClassA(const WNDCLASSA* windowClass) {
  if (windowClass == nullptr || windowClass->lpfnWndProc == nullptr ||
      windowClass->lpszClassName == nullptr || IS_INTRESOURCE(windowClass->lpszClassName))
    return 0;
  Server& s = server();
  std::string key = upper(windowClass->lpszClassName);
  if (s.classes.count(key) != 0) return 0;
  ATOM atom = s.nextAtom++;
  s.classes[key] = WindowClass{*windowClass, windowClass->lpszClassName, atom};
  return atom;
}

HWND WINAPI CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x,
                            int y, int width, int height, HWND parent, HMENU menu,
                            HINSTANCE instance, LPVOID param) {
  WindowClass* cls = findClass(className);
  WindowHost* host = activeHost();
  if (cls == nullptr || host == nullptr) return nullptr;
  bool placedByDefault = x == CW_USEDEFAULT;
  placeDefault(x, y, width, height, host);
  limitToTrackingSize(style, width, height);
  auto owned = newWindow(*cls, exStyle, windowName, style, parent, menu, instance);
  owned->placedByDefault = placedByDefault;
  owned->windowRect = {x, y, x + width, y + height};
  Window& w = *owned;
  clientSizeFromOuter(w, w.clientWidth, w.clientHeight);
  resizePixels(w, w.clientWidth, w.clientHeight);
  HWND handle = registerWindow(std::move(owned));
  if (!host->createWindow(w)) {
    unregisterWindow(handle);
    return nullptr;
  }
  CREATESTRUCTA cs{
      param,      instance,  menu,   parent, height, width, y, x, static_cast<LONG>(style),
      windowName, className, exStyle};
  invalidate(w, nullptr, true);
  if (!sendCreation(handle, cs)) {
    DestroyWindow(handle);
    return nullptr;
  }
  if (windowFromHandle(handle) == nullptr) return nullptr;
  sendInitialSize(w);
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
  unregisterWindow(handle);
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

int WINAPI GetWindowTextA(HWND handle, LPSTR text, int maxCount) {
  Window* w = windowFromHandle(handle);
  if (w == nullptr || text == nullptr || maxCount <= 0) return 0;
  int n = std::min(static_cast<int>(w->title.size()), maxCount - 1);
  std::copy_n(w->title.begin(), n, text);
  text[n] = '\0';
  return n;
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
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) == SC_CLOSE) SendMessageA(handle, WM_CLOSE, 0, 0);
      return 0;
    case WM_ERASEBKGND: {
      DeviceContext* dc = dcFromHandle(reinterpret_cast<HDC>(wParam));
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

// ---- messages ----

BOOL WINAPI GetMessageA(LPMSG msg, HWND window, UINT filterMin, UINT filterMax) {
  if (msg == nullptr) return -1;
  if (window != nullptr && windowFromHandle(window) == nullptr) return -1;
  Filter filter{window, filterMin, filterMax};
  auto queue = currentQueue();
  while (!nextMessage(*msg, filter, true)) waitOnQueue(*queue, Deadline::max());
  return msg->message != WM_QUIT;
}

BOOL WINAPI PeekMessageA(LPMSG msg, HWND window, UINT filterMin, UINT filterMax, UINT remove) {
  if (msg == nullptr) return FALSE;
  return nextMessage(*msg, Filter{window, filterMin, filterMax}, (remove & PM_REMOVE) != 0);
}

BOOL WINAPI TranslateMessage(const MSG* msg) {
  return msg != nullptr && msg->message == WM_KEYDOWN;
}

LRESULT WINAPI DispatchMessageA(const MSG* msg) {
  if (msg == nullptr) return 0;
  Window* w = windowFromHandle(msg->hwnd);
  if (w == nullptr) return 0;
  WNDPROC proc = w->proc;
  return proc(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

void WINAPI PostQuitMessage(int exitCode) {
  auto queue = currentQueue();
  std::lock_guard lock(queue->mutex);
  queue->quitPosted = true;
  queue->quitCode = exitCode;
}

BOOL WINAPI PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto queue = window == nullptr ? currentQueue() : queueOfWindow(window);
  if (!queue) return FALSE;
  pushMessage(*queue, MSG{window, message, wParam, lParam, messageTime(), {0, 0}});
  return TRUE;
}

LRESULT WINAPI SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto queue = queueOfWindow(window);
  if (!queue) return 0;
  if (queue->owner == std::this_thread::get_id()) {
    Window* w = windowFromHandle(window);
    WNDPROC proc = w->proc;
    return proc(window, message, wParam, lParam);
  }
  auto result = std::make_shared<std::promise<LRESULT>>();
  auto answer = result->get_future();
  {
    std::lock_guard lock(queue->mutex);
    queue->sent.push_back([=] {
      Window* w = windowFromHandle(window);
      result->set_value(w != nullptr ? w->proc(window, message, wParam, lParam) : 0);
    });
  }
  queue->arrived.notify_all();
  return answer.get();
}

// ---- metrics and geometry ----

int WINAPI GetSystemMetrics(int index) {
  switch (index) {
    case SM_CXSCREEN:
    case SM_CYSCREEN: {
      WindowHost* host = activeHost();
      if (host == nullptr)
        return index == SM_CXSCREEN ? metrics::kScreenWidth : metrics::kScreenHeight;
      return index == SM_CXSCREEN ? host->screenWidth : host->screenHeight;
    }
    case SM_CXVSCROLL:
    case SM_CYHSCROLL:
    case SM_CYVTHUMB:
    case SM_CXHTHUMB:
      return metrics::kScrollBar;
    case SM_CYCAPTION:
      return metrics::kCaption;
    case SM_CXBORDER:
    case SM_CYBORDER:
      return metrics::kBorder;
    case SM_CXDLGFRAME:
    case SM_CYDLGFRAME:
      return metrics::kDialogFrame;
    case SM_CYMENU:
      return metrics::kMenu;
    case SM_CXFRAME:
    case SM_CYFRAME:
      return metrics::kFrame;
    case SM_CXICON:
    case SM_CYICON:
      return metrics::kIcon;
    case SM_CXSMICON:
    case SM_CYSMICON:
      return metrics::kSmallIcon;
    case SM_CXMAXTRACK:
      return GetSystemMetrics(SM_CXSCREEN) + 4 + 2 * metrics::kFrame;
    case SM_CYMAXTRACK:
      return GetSystemMetrics(SM_CYSCREEN) + 4 + 2 * metrics::kFrame;
    default:
      return 0;
  }
}

BOOL WINAPI GetWindowRect(HWND handle, LPRECT rect) {
  Window* w = windowFromHandle(handle);
  if (w == nullptr || rect == nullptr) return FALSE;
  *rect = w->windowRect;
  return TRUE;
}

BOOL WINAPI GetClientRect(HWND handle, LPRECT rect) {
  Window* w = windowFromHandle(handle);
  if (w == nullptr || rect == nullptr) return FALSE;
  *rect = clientRectOf(*w);
  return TRUE;
}

// ---- scroll bars ----

namespace {

ScrollBarState* scrollBar(HWND handle, int bar, Window** window = nullptr) {
  if (bar != SB_HORZ && bar != SB_VERT) return nullptr;
  Window* w = windowFromHandle(handle);
  if (w == nullptr) return nullptr;
  if (window != nullptr) *window = w;
  return &w->bars[bar];
}

}  // namespace

int WINAPI GetScrollPos(HWND handle, int bar) {
  ScrollBarState* state = scrollBar(handle, bar);
  return state != nullptr ? state->pos : 0;
}

int WINAPI SetScrollPos(HWND handle, int bar, int position, BOOL) {
  Window* w = nullptr;
  ScrollBarState* state = scrollBar(handle, bar, &w);
  if (state == nullptr) return 0;
  int previous = state->pos;
  state->pos = std::clamp(position, state->minPos, state->maxPos);
  if (WindowHost* host = activeHost()) host->layoutChanged(*w);
  return previous;
}

BOOL WINAPI GetScrollRange(HWND handle, int bar, int* minPosition, int* maxPosition) {
  ScrollBarState* state = scrollBar(handle, bar);
  if (state == nullptr || minPosition == nullptr || maxPosition == nullptr) return FALSE;
  *minPosition = state->visible ? state->minPos : 0;
  *maxPosition = state->visible ? state->maxPos : 0;
  return TRUE;
}

BOOL WINAPI SetScrollRange(HWND handle, int bar, int minPosition, int maxPosition, BOOL) {
  Window* w = nullptr;
  ScrollBarState* state = scrollBar(handle, bar, &w);
  if (state == nullptr || minPosition > maxPosition) return FALSE;
  if (static_cast<int64_t>(maxPosition) - minPosition > 0x7FFFFFFF) return FALSE;
  state->minPos = minPosition;
  state->maxPos = maxPosition;
  state->pos = std::clamp(state->pos, minPosition, maxPosition);
  state->visible = minPosition != maxPosition;
  relayout(*w);
  return TRUE;
}

// ---- painting ----

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

DeviceContext* deviceContextFromHandle(HDC dc) { return dcFromHandle(dc); }
