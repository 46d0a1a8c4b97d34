// Test-only controls of the window layer (headless.h), and the host they
// install: windows exist only in memory.
#include "tests/support/headless.h"

#include <mutex>

#include "platform/linux/user32/resources.h"
#include "platform/linux/user32/user32.h"
#include "platform/linux/user32/window_host.h"

namespace headless {

namespace {
bool createWindow(Window&) { return true; }
void destroyWindow(Window&) {}
void controlsCreated(Window&) {}
std::function<void(HWND)>& dialogHook() {
  static std::function<void(HWND)> hook;
  return hook;
}

// A modal dialog is shown once it is built and has had WM_INITDIALOG, just
// before its loop runs: the test's hook acts then.
void showWindow(Window& w, bool show) {
  if (show && w.dialogProc != nullptr && dialogHook()) dialogHook()(w.handle);
}
void enableWindow(Window&, bool) {}
void pixelsChanged(Window&, const RECT&) {}
void layoutChanged(Window&) {}

WindowHost* headlessHost() {
  static WindowHost host{createWindow,  destroyWindow,         controlsCreated,
                         showWindow,    enableWindow,          pixelsChanged,
                         layoutChanged, metrics::kScreenWidth, metrics::kScreenHeight};
  return &host;
}

bool acceptsInput(Window* w) { return w != nullptr && w->enabled; }

void collectMenu(const std::vector<MenuItemResource>& items, const std::string& popup,
                 std::vector<MenuEntry>& out) {
  for (const MenuItemResource& item : items) {
    if (item.flags & MF_POPUP)
      collectMenu(item.children, item.text, out);
    else
      out.push_back({popup, item.text, item.id});
  }
}

// The next message of the range [first, last].
bool dispatchOne(PumpResult& result, bool& gotMessage, UINT first = 0, UINT last = 0) {
  MSG msg;
  gotMessage = PeekMessageA(&msg, nullptr, first, last, PM_REMOVE);
  if (!gotMessage) return false;
  if (msg.message == WM_QUIT) {
    result.quit = true;
    result.exitCode = static_cast<int>(msg.wParam);
    return true;
  }
  TranslateMessage(&msg);
  DispatchMessageA(&msg);
  ++result.dispatched;
  return false;
}

void waitUntil(Deadline deadline) { waitOnQueue(*currentQueue(), deadline); }

}  // namespace

void enable() { useWindowHost(headlessHost()); }

void reset() {
  destroyWindowsOfThisThread();
  auto queue = currentQueue();
  std::lock_guard lock(queue->mutex);
  queue->posted.clear();
  queue->quitPosted = false;
  queue->quitCode = 0;
}

uint32_t Pixels::at(int x, int y) const {
  size_t i = (static_cast<size_t>(y) * width + x) * 3;
  return static_cast<uint32_t>(rgb[i]) << 16 | rgb[i + 1] << 8 | rgb[i + 2];
}

Pixels clientPixels(HWND window) {
  Pixels result;
  Window* w = windowFromHandle(window);
  if (w == nullptr) return result;
  std::lock_guard lock(w->pixels->mutex);
  result.width = w->pixels->width;
  result.height = w->pixels->height;
  result.rgb.reserve(w->pixels->data.size() * 3);
  for (uint32_t p : w->pixels->data) {
    result.rgb.push_back(static_cast<uint8_t>(p >> 16));
    result.rgb.push_back(static_cast<uint8_t>(p >> 8));
    result.rgb.push_back(static_cast<uint8_t>(p));
  }
  return result;
}

std::vector<RECT> updateRegion(HWND window) {
  Window* w = windowFromHandle(window);
  return w != nullptr ? w->updateRects : std::vector<RECT>{};
}

bool scrollBarVisible(HWND window, int bar) {
  Window* w = windowFromHandle(window);
  return w != nullptr && (bar == SB_HORZ || bar == SB_VERT) && w->bars[bar].visible;
}

std::vector<MenuEntry> menuEntries(HWND window) {
  std::vector<MenuEntry> result;
  Window* w = windowFromHandle(window);
  if (w != nullptr && w->menu != nullptr) collectMenu(w->menu->items, "", result);
  return result;
}

void resizeWindow(HWND window, int outerWidth, int outerHeight) {
  Window* w = windowFromHandle(window);
  if (acceptsInput(w)) setOuterSize(*w, outerWidth, outerHeight);
}

void scroll(HWND window, int bar, int code, int position) {
  if (!acceptsInput(windowFromHandle(window))) return;
  bool carriesPosition = code == SB_THUMBTRACK || code == SB_THUMBPOSITION;
  PostMessageA(window, bar == SB_HORZ ? WM_HSCROLL : WM_VSCROLL,
               MAKEWPARAM(code, carriesPosition ? position : 0), 0);
}

void chooseMenuItem(HWND window, UINT id) {
  if (acceptsInput(windowFromHandle(window)))
    PostMessageA(window, WM_COMMAND, MAKEWPARAM(id, 0), 0);
}

void closeWindow(HWND window) {
  if (acceptsInput(windowFromHandle(window))) PostMessageA(window, WM_CLOSE, 0, 0);
}

void onDialog(std::function<void(HWND dialog)> hook) { dialogHook() = std::move(hook); }

std::vector<Control> dialogControls(HWND dialog) {
  std::vector<Control> result;
  Window* w = windowFromHandle(dialog);
  if (w == nullptr) return result;
  for (const ControlResource& c : w->controls)
    result.push_back({c.className, c.text, c.id, c.style, c.rect});
  return result;
}

std::vector<HWND> windows() { return windowsOfThisThread(); }

std::string windowText(HWND window) {
  Window* w = windowFromHandle(window);
  return w != nullptr ? w->title : std::string();
}

void clickButton(HWND dialog, int id) {
  if (acceptsInput(windowFromHandle(dialog)))
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
}

void pressEscape(HWND dialog) {
  if (acceptsInput(windowFromHandle(dialog)))
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
}

PumpResult pumpMessages(std::chrono::milliseconds timeout) {
  PumpResult result;
  Deadline deadline = std::chrono::steady_clock::now() + timeout;
  bool gotMessage = true;
  while (gotMessage && std::chrono::steady_clock::now() < deadline)
    if (dispatchOne(result, gotMessage)) break;
  return result;
}

PumpResult handlePosted() {
  PumpResult result;
  bool gotMessage = true;
  while (gotMessage) {
    if (dispatchOne(result, gotMessage, 0, WM_PAINT - 1)) break;
    if (!gotMessage && dispatchOne(result, gotMessage, WM_PAINT + 1, ~0u)) break;
  }
  return result;
}

PumpResult pumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  PumpResult result;
  Deadline deadline = std::chrono::steady_clock::now() + timeout;
  while (!done() && std::chrono::steady_clock::now() < deadline) {
    bool gotMessage = false;
    if (dispatchOne(result, gotMessage)) break;
    if (!gotMessage && !done()) waitUntil(deadline);
  }
  return result;
}

PumpResult pumpMessagesFor(std::chrono::milliseconds duration) {
  return pumpUntil([] { return false; }, duration);
}

}  // namespace headless
