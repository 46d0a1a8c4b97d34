// Headless placeholders until the window layer lands: no window can be made.
#include "user32.h"

ATOM WINAPI RegisterClassA(const WNDCLASSA*) { return 0; }
HWND WINAPI CreateWindowExA(DWORD, LPCSTR, LPCSTR, DWORD, int, int, int, int, HWND, HMENU,
                            HINSTANCE, LPVOID) {
  return nullptr;
}
BOOL WINAPI DestroyWindow(HWND) { return FALSE; }
BOOL WINAPI ShowWindow(HWND, int) { return FALSE; }
BOOL WINAPI UpdateWindow(HWND) { return FALSE; }
LRESULT WINAPI DefWindowProcA(HWND, UINT, WPARAM, LPARAM) { return 0; }
BOOL WINAPI IsWindow(HWND) { return FALSE; }
BOOL WINAPI GetMessageA(LPMSG, HWND, UINT, UINT) { return 0; }
BOOL WINAPI TranslateMessage(const MSG*) { return FALSE; }
LRESULT WINAPI DispatchMessageA(const MSG*) { return 0; }
void WINAPI PostQuitMessage(int) {}
BOOL WINAPI PostMessageA(HWND, UINT, WPARAM, LPARAM) { return FALSE; }
LRESULT WINAPI SendMessageA(HWND, UINT, WPARAM, LPARAM) { return 0; }
INT_PTR WINAPI DialogBoxParamA(HINSTANCE, LPCSTR, HWND, DLGPROC, LPARAM) { return -1; }
BOOL WINAPI EndDialog(HWND, INT_PTR) { return FALSE; }
HICON WINAPI LoadIconA(HINSTANCE, LPCSTR) { return nullptr; }
HCURSOR WINAPI LoadCursorA(HINSTANCE, LPCSTR) { return nullptr; }
int WINAPI GetSystemMetrics(int) { return 0; }
BOOL WINAPI GetWindowRect(HWND, LPRECT) { return FALSE; }
BOOL WINAPI GetClientRect(HWND, LPRECT) { return FALSE; }
BOOL WINAPI MoveWindow(HWND, int, int, int, int, BOOL) { return FALSE; }
int WINAPI GetScrollPos(HWND, int) { return 0; }
int WINAPI SetScrollPos(HWND, int, int, BOOL) { return 0; }
BOOL WINAPI GetScrollRange(HWND, int, int*, int*) { return FALSE; }
BOOL WINAPI SetScrollRange(HWND, int, int, int, BOOL) { return FALSE; }
BOOL WINAPI InvalidateRect(HWND, const RECT*, BOOL) { return FALSE; }
HDC WINAPI BeginPaint(HWND, LPPAINTSTRUCT) { return nullptr; }
BOOL WINAPI EndPaint(HWND, const PAINTSTRUCT*) { return FALSE; }
HDC WINAPI GetDC(HWND) { return nullptr; }
int WINAPI ReleaseDC(HWND, HDC) { return 0; }
