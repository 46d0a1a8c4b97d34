// System metrics and window rectangles of the Linux build.
#include "user32.h"
#include "window_host.h"

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
