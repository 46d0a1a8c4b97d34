// The records of the Linux window layer: classes, windows, message queues and
// device contexts. Windows live in memory; a host (GTK on a thread of its own,
// or the in-process headless host) only presents them and turns user input
// into messages.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/linux/user32/resource_templates.h"
#include "platform/linux/win32_types.h"

struct WindowHost;
using Deadline = std::chrono::steady_clock::time_point;
struct MenuObject;

// One queue per thread that owns windows or posts to itself. Other threads
// post into it; only the owner takes messages out.
struct MessageQueue {
  std::mutex mutex;
  std::condition_variable arrived;
  std::deque<MSG> posted;
  std::deque<std::function<void()>> sent;  // SendMessageA calls from other threads
  bool quitPosted = false;
  int quitCode = 0;
  bool windowsLost = false;  // see loseWindows
  std::thread::id owner;
};

struct ScrollBarState {
  int minPos = 0;
  int maxPos = 100;
  int pos = 0;
  bool visible = false;
};

inline constexpr char kDialogClass[] = "#32770";

// A window's client area as pixels, 0x00RRGGBB, rows top-down. The host
// shows them from its own thread: every access holds the mutex.
struct ClientPixels {
  std::mutex mutex;
  int width = 0;
  int height = 0;
  std::vector<uint32_t> data;
};

struct Window {
  HWND handle;
  std::string className;
  std::string title;
  DWORD style;
  WNDPROC proc;
  HBRUSH background;
  HICON icon;
  HWND owner;
  MenuObject* menu;
  std::shared_ptr<MessageQueue> queue;
  bool visible = false;
  bool enabled = true;
  bool destroying = false;
  bool placedByDefault = false;  // CW_USEDEFAULT: the desktop chooses the place

  RECT windowRect;  // outer rectangle, screen coordinates
  int clientWidth = 0;
  int clientHeight = 0;
  std::shared_ptr<ClientPixels> pixels = std::make_shared<ClientPixels>();

  std::vector<RECT> updateRects;  // the update region as a union of rectangles
  bool eraseNeeded = false;

  ScrollBarState bars[2];  // SB_HORZ, SB_VERT

  DLGPROC dialogProc = nullptr;
  bool dialogEnded = false;
  INT_PTR dialogResult = 0;
  std::vector<ControlResource> controls;
};

struct DeviceContext {
  HWND window;
  HPALETTE palette;
  std::vector<RECT> clip;  // client coordinates; drawing only lands inside these
};

// Metrics of the non-client parts, in pixels.
namespace metrics {
constexpr int kFrame = 4;
constexpr int kDialogFrame = 3;
constexpr int kCaption = 19;
constexpr int kMenu = 19;
constexpr int kScrollBar = 16;
constexpr int kBorder = 1;
constexpr int kIcon = 32;
// The screen when no host tells its own.
constexpr int kScreenWidth = 1024;
constexpr int kScreenHeight = 768;
}  // namespace metrics

// Registry of windows. Lookups are thread-safe; a Window is used only by the
// thread that owns its queue.
Window* windowFromHandle(HWND handle);
std::shared_ptr<MessageQueue> queueOfWindow(HWND handle);
std::shared_ptr<MessageQueue> currentQueue();
std::vector<HWND> windowsOfThisThread();

// The active host: chosen when first needed; nullptr when no window can be shown.
WindowHost* activeHost();
// Before the first window: every window from now on is presented by host
// (tests install an in-process one).
void useWindowHost(WindowHost* host);
// Waits until a message may have arrived in queue (posted, sent, the quit
// request) or the deadline passed: how a thread waits for its messages.
void waitOnQueue(MessageQueue& queue, Deadline deadline);
// Work of another room that a thread's wait for its messages takes on, so
// that the thread wakes once for it: before the wait, waitBegins says when
// at the latest the thread must wake (Deadline::max() for never); after it,
// waitEnded does what has come due. Both run on the waiting thread, with no
// lock of the window layer held.
struct MessageWaitCompanion {
  Deadline (*waitBegins)();
  void (*waitEnded)();
};
void joinMessageWaits(MessageWaitCompanion companion);

// Geometry and state changes shared by the API and the hosts.
RECT clientRectOf(const Window& window);  // client coordinates: 0, 0, width, height
RECT intersect(const RECT& a, const RECT& b);
bool isEmpty(const RECT& r);
void setOuterSize(Window& window, int width, int height);   // recomputes the client, sends WM_SIZE
void setClientSize(Window& window, int width, int height);  // the outer size that gives it
// Adds the frame, caption, menu and visible scroll bars (bars may be nullptr)
// of a window of that style to the size of its client area.
void addNonClientSize(DWORD style, bool hasMenu, const ScrollBarState* bars, int& width,
                      int& height);
// Recomputes the client area from the outer rectangle and the scroll bars;
// newly exposed parts become invalid, and the window hears of its new size.
void relayout(Window& window);
// Keeps the update region within the client area.
void clipUpdateRegion(Window& window);
void invalidate(Window& window, const RECT* rect, bool erase);
// Runs call with the window on the thread that owns it, the next time that
// thread looks at its messages (as a message sent from another thread is);
// nothing when the window is gone by then. Does not wait.
void runOnWindowThread(HWND handle, std::function<void(Window&)> call);
void destroyWindowsOfThisThread();
// The desktop is gone for the queue's thread (a termination signal, or the
// display was lost): its next look at its queue destroys every window it
// owns, as closing them for good would, and then ends its message loop with
// exit code 0. Any thread may call this.
void loseWindows(MessageQueue& queue);
// The same for every thread that owns windows.
void loseEveryWindow();

DeviceContext* deviceContextFromHandle(HDC dc);

void fillRect(Window& window, const RECT& rect, uint32_t colour);
uint32_t brushColour(HBRUSH brush);
