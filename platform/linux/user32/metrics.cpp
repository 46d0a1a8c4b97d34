// System metrics and window rectangles of the Linux build.
#include "platform/linux/user32/user32.h"
#include "platform/linux/user32/window_host.h"

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
      return metrics::kScrollBar;
    case SM_CYCAPTION:
      return metrics::kCaption;
    case SM_CYMENU:
      return metrics::kMenu;
    case SM_CXFRAME:
    case SM_CYFRAME:
      return metrics::kFrame;
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
