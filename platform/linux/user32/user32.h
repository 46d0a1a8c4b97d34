// Window, message, dialog and resource services of the Linux build.
#pragma once

#include "platform/linux/win32_types.h"

ATOM WINAPI RegisterClassA(const WNDCLASSA* windowClass);
HWND WINAPI CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x,
                            int y, int width, int height, HWND parent, HMENU menu,
                            HINSTANCE instance, LPVOID param);
BOOL WINAPI DestroyWindow(HWND window);
BOOL WINAPI ShowWindow(HWND window, int showCommand);
BOOL WINAPI UpdateWindow(HWND window);
LRESULT WINAPI DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
BOOL WINAPI IsWindow(HWND window);
BOOL WINAPI EnableWindow(HWND window, BOOL enable);
BOOL WINAPI IsWindowEnabled(HWND window);

BOOL WINAPI GetMessageA(LPMSG msg, HWND window, UINT filterMin, UINT filterMax);
BOOL WINAPI PeekMessageA(LPMSG msg, HWND window, UINT filterMin, UINT filterMax, UINT remove);
BOOL WINAPI TranslateMessage(const MSG* msg);
LRESULT WINAPI DispatchMessageA(const MSG* msg);
void WINAPI PostQuitMessage(int exitCode);
BOOL WINAPI PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT WINAPI SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

INT_PTR WINAPI DialogBoxParamA(HINSTANCE instance, LPCSTR templateName, HWND owner,
                               DLGPROC dialogProc, LPARAM initParam);
BOOL WINAPI EndDialog(HWND dialog, INT_PTR result);

HICON WINAPI LoadIconA(HINSTANCE instance, LPCSTR iconName);
HCURSOR WINAPI LoadCursorA(HINSTANCE instance, LPCSTR cursorName);

int WINAPI GetSystemMetrics(int index);
BOOL WINAPI GetWindowRect(HWND window, LPRECT rect);

int WINAPI GetScrollPos(HWND window, int bar);
int WINAPI SetScrollPos(HWND window, int bar, int position, BOOL redraw);
BOOL WINAPI GetScrollRange(HWND window, int bar, int* minPosition, int* maxPosition);
BOOL WINAPI SetScrollRange(HWND window, int bar, int minPosition, int maxPosition, BOOL redraw);

BOOL WINAPI InvalidateRect(HWND window, const RECT* rect, BOOL erase);
HDC WINAPI BeginPaint(HWND window, LPPAINTSTRUCT paint);
BOOL WINAPI EndPaint(HWND window, const PAINTSTRUCT* paint);
HDC WINAPI GetDC(HWND window);
int WINAPI ReleaseDC(HWND window, HDC dc);

// Not Win32: the Linux entry calls it first, so that the desktop (GTK, its
// settings and theme) gets ready on a thread of its own while the program
// starts up. Without it the desktop starts when the first window needs it.
void startDesktop();
// Not Win32 either: the program ends (a termination signal), so a window
// still to be made waits no longer for the desktop, which may never start
// (an X server that answers nothing), and the exit waits for it only
// briefly.
void giveUpDesktop();
