// Test-only controls of the Linux window layer. Not for the program itself.
//
// headless::enable() makes windows work in-process without a display: every
// Win32 call (CreateWindowExA, GetMessageA, InvalidateRect, StretchDIBits,
// scroll bars, DialogBoxParamA, ...) behaves as it does under GTK, but nothing
// is shown. The hooks below read a window's state back and act as the user
// would. Windows belong to the thread that created them: call the hooks and
// the pumps on that thread.
//
// A typical window procedure test:
//   headless::enable();
//   headless::reset();                       // no windows, classes or messages left
//   HWND w = CreateWindowExA(...);           // WM_NCCREATE, WM_CREATE, WM_SIZE
//   headless::pumpMessages();                // handles what is queued, WM_PAINT last
//   auto shot = headless::clientPixels(w);   // what the user would see
//   headless::resizeWindow(w, 200, 150);     // as a drag of the frame: WM_SIZE
//   headless::scroll(w, SB_HORZ, SB_THUMBPOSITION, 12);
//   headless::chooseMenuItem(w, 1003);       // WM_COMMAND, as the menu does
//   auto quit = headless::pumpMessages();    // quit.quit, quit.exitCode
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/win32.h"

namespace headless {

// Windows are created without a display from now on, in this process. Call it
// before the first CreateWindowExA (GetSystemMetrics is fine either way).
void enable();

// Destroys every window of this thread (each gets WM_DESTROY, as with
// DestroyWindow) and empties this thread's message queue, a pending WM_QUIT
// included. For a clean start in each test. Window classes stay registered
// until the process ends, as on Windows: register a class once per process.
void reset();

// ---- reading state back ----

// This thread's windows, oldest first.
std::vector<HWND> windows();

// The client area as the user would see it, rows top-down, 3 bytes (R, G, B)
// per pixel.
struct Pixels {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> rgb;
  // 0xRRGGBB of the pixel at (x, y) of the client area.
  uint32_t at(int x, int y) const;
};
Pixels clientPixels(HWND window);

// The current update region's rectangles (what the next WM_PAINT repaints),
// in client coordinates, clipped to the client area. A rectangle that lies
// within the region already adds nothing; one that holds some of its
// rectangles takes their place. What a message invalidated shows here when
// it is handled on its own (handlePosted) after the last paint.
std::vector<RECT> updateRegion(HWND window);

// Whether a standard scroll bar (SB_HORZ or SB_VERT) is shown.
bool scrollBarVisible(HWND window, int bar);

// The window's menu bar, flattened: one entry per command item, with the text
// of its popup ("&File") and its own text ("E&xit"), as in the resource.
struct MenuEntry {
  std::string popup;
  std::string text;
  UINT id;
};
std::vector<MenuEntry> menuEntries(HWND window);

// ---- acting as the user ----
// These post or send the messages that GTK input would, and return without
// pumping (except where noted). Input to a disabled window (an owner while its
// modal dialog runs) is dropped, as on the desktop.

// Drags the frame: the outer size becomes width x height; the client area is
// what is left inside the frame, caption, menu and visible scroll bars.
// WM_SIZE is sent at once.
void resizeWindow(HWND window, int outerWidth, int outerHeight);
// A scroll bar action on SB_HORZ or SB_VERT: posts WM_HSCROLL or WM_VSCROLL
// with MAKEWPARAM(code, position). For SB_THUMBTRACK and SB_THUMBPOSITION the
// position is the thumb's; for other codes it is ignored (0 is sent).
void scroll(HWND window, int bar, int code, int position = 0);
// Chooses a menu item: posts WM_COMMAND with MAKEWPARAM(id, 0), lParam 0.
void chooseMenuItem(HWND window, UINT id);
// The close box: posts WM_CLOSE (DefWindowProcA destroys the window; in a
// dialog it becomes WM_COMMAND IDCANCEL).
void closeWindow(HWND window);

// ---- modal dialogs ----

// Called once each time a modal dialog (DialogBoxParamA) has been built, has
// had WM_INITDIALOG and is about to run its loop; the hook may inspect it and
// press its buttons (the presses are handled once the hook returns). Pass an
// empty function to remove it. Without a hook a dialog waits for input, so a
// test that opens one must set a hook that ends it.
void onDialog(std::function<void(HWND dialog)> hook);
// A dialog's controls as created from the template, positions in pixels of
// the dialog's client area.
struct Control {
  std::string className;  // "BUTTON", "STATIC"
  std::string text;       // for an icon control, the icon's resource name
  int id;
  DWORD style;
  RECT rect;
};
std::vector<Control> dialogControls(HWND dialog);
std::string windowText(HWND window);
// Clicks a push button: posts WM_COMMAND MAKEWPARAM(id, BN_CLICKED).
void clickButton(HWND dialog, int id);
// The Escape key in a dialog: posts WM_COMMAND IDCANCEL.
void pressEscape(HWND dialog);

// ---- running messages ----

struct PumpResult {
  int dispatched = 0;  // messages handed to window procedures (WM_PAINT included)
  bool quit = false;   // WM_QUIT was taken from the queue
  int exitCode = 0;    // its wParam
};
// Handles every message that is waiting (posted messages, then WM_PAINT for
// every window with an update region) until none is left, WM_QUIT arrives or
// the timeout passes. Does not wait for messages still to come.
PumpResult pumpMessages(std::chrono::milliseconds timeout = std::chrono::milliseconds(2000));
// Handles every posted message that is waiting, and no WM_PAINT: the update
// region then shows what they invalidated.
PumpResult handlePosted();
// Handles messages as they arrive (timers, other threads) for the given time,
// or until WM_QUIT.
PumpResult pumpMessagesFor(std::chrono::milliseconds duration);
// Handles messages as they arrive until done() is true (checked after each
// message and before waiting), WM_QUIT, or the timeout. result.quit tells.
PumpResult pumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);

}  // namespace headless
