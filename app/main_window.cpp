#include "app/main_window.h"

#include <iterator>

#include "app/resource.h"
#include "gif/gif_animation.h"
#include "payload/music.h"
#include "picture/animation_clock.h"
#include "picture/indexed_bitmap.h"

HINSTANCE programInstance = nullptr;

namespace {

constexpr int kLineStep = 10;
constexpr int kPageStep = 100;

// ---- scroll bars ----

// How far the picture reaches beyond the client area on each side.
struct Overhang {
  int width;
  int height;
};

// The client size is derived from the window rectangle, the way the window
// was sized at creation.
Overhang pictureOverhang(HWND window) {
  RECT frame;
  GetWindowRect(window, &frame);
  int clientWidth = frame.right - frame.left - 2 * GetSystemMetrics(SM_CXFRAME);
  int clientHeight = frame.bottom - frame.top - 2 * GetSystemMetrics(SM_CYFRAME) -
                     GetSystemMetrics(SM_CYCAPTION) - GetSystemMetrics(SM_CYMENU);
  return {animation.screenWidth - clientWidth, animation.screenHeight - clientHeight};
}

// A range of 0 hides the bar; a position beyond the range comes back to it.
void setBarRange(HWND window, int bar, int range) {
  if (range < 0) range = 0;
  if (GetScrollPos(window, bar) > range) SetScrollPos(window, bar, range, FALSE);
  SetScrollRange(window, bar, 0, range, TRUE);
}

// Both bars get a range as soon as either side is too small, each widened by
// the thickness of the other bar, which takes client space.
void updateScrollRanges(HWND window) {
  Overhang overhang = pictureOverhang(window);
  if (overhang.width > 0 || overhang.height > 0) {
    setBarRange(window, SB_HORZ, GetSystemMetrics(SM_CXVSCROLL) + overhang.width);
    setBarRange(window, SB_VERT, GetSystemMetrics(SM_CYHSCROLL) + overhang.height);
  } else {
    setBarRange(window, SB_VERT, 0);
    setBarRange(window, SB_HORZ, 0);
  }
}

// What each scroll request moves the position to: a step from where it is,
// the released thumb's position, or an end of the range. Other requests (a
// thumb drag, SB_THUMBTRACK, moves nothing until it is released) change nothing.
enum class ScrollBase { kCurrent, kThumb, kMinimum, kMaximum };

struct ScrollMove {
  int code;
  ScrollBase base;
  int step;
};

constexpr ScrollMove kScrollMoves[] = {
    {SB_LINEUP, ScrollBase::kCurrent, -kLineStep}, {SB_LINEDOWN, ScrollBase::kCurrent, kLineStep},
    {SB_PAGEUP, ScrollBase::kCurrent, -kPageStep}, {SB_PAGEDOWN, ScrollBase::kCurrent, kPageStep},
    {SB_THUMBPOSITION, ScrollBase::kThumb, 0},     {SB_TOP, ScrollBase::kMinimum, 0},
    {SB_BOTTOM, ScrollBase::kMaximum, 0},
};

const ScrollMove* scrollMoveOf(int code) {
  for (const ScrollMove& move : kScrollMoves)
    if (move.code == code) return &move;
  return nullptr;
}

// The platform keeps the new position within the range.
void scrollBar(HWND window, int bar, WPARAM wParam) {
  const ScrollMove* move = scrollMoveOf(LOWORD(wParam));
  if (move == nullptr) return;
  int minimum = 0, maximum = 0;
  GetScrollRange(window, bar, &minimum, &maximum);
  const int bases[] = {GetScrollPos(window, bar), HIWORD(wParam), minimum, maximum};
  SetScrollPos(window, bar, bases[static_cast<int>(move->base)] + move->step, TRUE);
  InvalidateRect(window, nullptr, TRUE);
}

// ---- painting and palette ----

void paint(HWND window, HDC dc) {
  HPALETTE previous = SelectPalette(dc, applicationPalette, FALSE);
  drawBitmap(canvas, dc, -GetScrollPos(window, SB_HORZ), -GetScrollPos(window, SB_VERT));
  SelectPalette(dc, previous, FALSE);
}

// Realizes the application's palette in the window's context; the previous
// palette goes back as a background one when asked.
UINT realizePalette(HWND window, BOOL restoreInBackground) {
  HDC dc = GetDC(window);
  HPALETTE previous = SelectPalette(dc, applicationPalette, FALSE);
  UINT changed = RealizePalette(dc);
  SelectPalette(dc, previous, restoreInBackground);
  ReleaseDC(window, dc);
  return changed;
}

// ---- message handlers ----

LRESULT onCreate(HWND window, WPARAM, LPARAM) {
  advanceAnimation(window);
  startSong(window);
  return 0;
}

LRESULT onDestroy(HWND, WPARAM, LPARAM) {
  stopSong();
  stopClock();
  PostQuitMessage(0);
  return 0;
}

LRESULT onSize(HWND window, WPARAM, LPARAM) {
  updateScrollRanges(window);
  InvalidateRect(window, nullptr, TRUE);
  return 0;
}

LRESULT onPaint(HWND window, WPARAM, LPARAM) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(window, &ps);
  paint(window, dc);
  EndPaint(window, &ps);
  return 0;
}

LRESULT onCommand(HWND window, WPARAM wParam, LPARAM lParam) {
  switch (LOWORD(wParam)) {
    case IDM_EXIT:
      PostQuitMessage(0);
      return 0;
    case IDM_ABOUT:
      DialogBoxParamA(programInstance, MAKEINTRESOURCEA(IDD_ABOUT), window, aboutDialogProcedure,
                      0);
      return 0;
    default:
      return DefWindowProcA(window, WM_COMMAND, wParam, lParam);
  }
}

LRESULT onTimer(HWND window, WPARAM, LPARAM) {
  advanceAnimation(window);
  return 0;
}

LRESULT onHScroll(HWND window, WPARAM wParam, LPARAM) {
  scrollBar(window, SB_HORZ, wParam);
  return 0;
}

LRESULT onVScroll(HWND window, WPARAM wParam, LPARAM) {
  scrollBar(window, SB_VERT, wParam);
  return 0;
}

LRESULT onQueryNewPalette(HWND window, WPARAM, LPARAM) { return realizePalette(window, TRUE); }

LRESULT onPaletteChanged(HWND window, WPARAM, LPARAM) {
  realizePalette(window, FALSE);
  return 0;
}

// The song has played to its end: close the sequencer and play it again
// from the beginning. Other notices (a stop, a failure) change nothing.
LRESULT onSongNotice(HWND window, WPARAM wParam, LPARAM) {
  if (wParam != MCI_NOTIFY_SUCCESSFUL) return 0;
  stopSong();
  startSong(window);
  return 0;
}

struct MessageHandler {
  UINT message;
  LRESULT (*handle)(HWND, WPARAM, LPARAM);
};

constexpr MessageHandler kHandlers[] = {
    {WM_CREATE, onCreate},
    {WM_DESTROY, onDestroy},
    {WM_SIZE, onSize},
    {WM_PAINT, onPaint},
    {WM_COMMAND, onCommand},
    {WM_TIMER, onTimer},
    {WM_HSCROLL, onHScroll},
    {WM_VSCROLL, onVScroll},
    {WM_QUERYNEWPALETTE, onQueryNewPalette},
    {WM_PALETTECHANGED, onPaletteChanged},
    {MM_MCINOTIFY, onSongNotice},
};

}  // namespace

LRESULT CALLBACK mainWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  for (const MessageHandler& handler : kHandlers)
    if (handler.message == message) return handler.handle(window, wParam, lParam);
  return DefWindowProcA(window, message, wParam, lParam);
}

INT_PTR CALLBACK aboutDialogProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_INITDIALOG) return TRUE;
  if (message != WM_COMMAND) return FALSE;
  if (LOWORD(wParam) != IDOK && LOWORD(wParam) != IDCANCEL) return FALSE;
  EndDialog(dialog, 1);
  return TRUE;
}

ATOM registerMainClass(HINSTANCE instance) {
  WNDCLASSA windowClass{};
  windowClass.style = 0;
  windowClass.lpfnWndProc = mainWindowProcedure;
  windowClass.hInstance = instance;
  windowClass.hIcon = LoadIconA(instance, kIconName);
  windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  windowClass.lpszMenuName = MAKEINTRESOURCEA(IDR_MAINMENU);
  windowClass.lpszClassName = kMainClassName;
  return RegisterClassA(&windowClass);
}

// The window is made just large enough for a client area of the picture's size.
int createMainWindow(HINSTANCE instance, int showCommand) {
  int width = animation.screenWidth + 2 * GetSystemMetrics(SM_CXFRAME);
  int height = animation.screenHeight + 2 * GetSystemMetrics(SM_CYFRAME) +
               GetSystemMetrics(SM_CYCAPTION) + GetSystemMetrics(SM_CYMENU);
  HWND window = CreateWindowExA(0, kMainClassName, kMainWindowTitle,
                                WS_OVERLAPPEDWINDOW | WS_VSCROLL | WS_HSCROLL, CW_USEDEFAULT,
                                CW_USEDEFAULT, width, height, nullptr, nullptr, instance, nullptr);
  if (window == nullptr) return 0;
  ShowWindow(window, showCommand);
  UpdateWindow(window);
  return 1;
}
