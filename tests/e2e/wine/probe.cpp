// wine_probe: looks at the running Windows player from inside the same Wine
// session and prints what it finds, one fact per line, for the Wine tests.
//
//   wine_probe window TITLE [TIMEOUT_MS]  the window's client size, the screen
//                                         position of its client area, its menu
//   wine_probe dialog TITLE [TIMEOUT_MS]  the dialog's controls: class, text,
//                                         and whether an icon control holds one
//   wine_probe gone TITLE [TIMEOUT_MS]    waits until no window has that title
//
// Exit status 0 when the window was there (gone: was not), 1 when it was not,
// 2 on wrong usage.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

HWND waitForWindow(const char* className, const char* title, DWORD timeoutMs) {
  DWORD start = GetTickCount();
  for (;;) {
    HWND window = FindWindowA(className, title);
    if (window != nullptr && IsWindowVisible(window)) return window;
    if (GetTickCount() - start >= timeoutMs) return nullptr;
    Sleep(50);
  }
}

std::string windowText(HWND window) {
  char text[512] = "";
  GetWindowTextA(window, text, sizeof text);
  return text;
}

std::string className(HWND window) {
  char name[128] = "";
  GetClassNameA(window, name, sizeof name);
  return name;
}

void printMenu(HMENU menu, int depth) {
  int count = GetMenuItemCount(menu);
  for (int i = 0; i < count; ++i) {
    char text[128] = "";
    GetMenuStringA(menu, i, text, sizeof text, MF_BYPOSITION);
    HMENU popup = GetSubMenu(menu, i);
    if (popup != nullptr) {
      std::printf("%*smenu \"%s\"\n", depth * 2, "", text);
      printMenu(popup, depth + 1);
    } else {
      std::printf("%*sitem \"%s\" %u\n", depth * 2, "", text, GetMenuItemID(menu, i));
    }
  }
}

int probeWindow(const char* title, DWORD timeoutMs) {
  HWND window = waitForWindow(nullptr, title, timeoutMs);
  if (window == nullptr) {
    std::printf("no window \"%s\"\n", title);
    return 1;
  }
  RECT client;
  GetClientRect(window, &client);
  POINT origin{0, 0};
  ClientToScreen(window, &origin);
  std::printf("class \"%s\"\n", className(window).c_str());
  std::printf("client %ld %ld\n", client.right - client.left, client.bottom - client.top);
  std::printf("origin %ld %ld\n", origin.x, origin.y);
  std::printf("scrollbars %d %d\n", (GetWindowLongA(window, GWL_STYLE) & WS_HSCROLL) != 0,
              (GetWindowLongA(window, GWL_STYLE) & WS_VSCROLL) != 0);
  HMENU menu = GetMenu(window);
  if (menu != nullptr) printMenu(menu, 0);
  return 0;
}

BOOL CALLBACK printControl(HWND control, LPARAM) {
  RECT box;
  GetWindowRect(control, &box);
  std::string kind = className(control);
  std::printf("control %s %d \"%s\" %ldx%ld", kind.c_str(), GetDlgCtrlID(control),
              windowText(control).c_str(), box.right - box.left, box.bottom - box.top);
  LONG style = GetWindowLongA(control, GWL_STYLE);
  if (lstrcmpiA(kind.c_str(), "Static") == 0 && (style & SS_TYPEMASK) == SS_ICON)
    std::printf(" icon=%s", SendMessageA(control, STM_GETICON, 0, 0) != 0 ? "yes" : "no");
  std::printf("\n");
  return TRUE;
}

int probeDialog(const char* title, DWORD timeoutMs) {
  HWND dialog = waitForWindow(MAKEINTATOM(32770), title, timeoutMs);
  if (dialog == nullptr) {
    std::printf("no dialog \"%s\"\n", title);
    return 1;
  }
  RECT client;
  GetClientRect(dialog, &client);
  HWND owner = GetWindow(dialog, GW_OWNER);
  std::printf("dialog \"%s\" owner \"%s\"\n", windowText(dialog).c_str(),
              owner != nullptr ? windowText(owner).c_str() : "");
  std::printf("client %ld %ld\n", client.right - client.left, client.bottom - client.top);
  EnumChildWindows(dialog, printControl, 0);
  return 0;
}

int probeGone(const char* title, DWORD timeoutMs) {
  DWORD start = GetTickCount();
  while (FindWindowA(nullptr, title) != nullptr) {
    if (GetTickCount() - start >= timeoutMs) {
      std::printf("still there: \"%s\"\n", title);
      return 1;
    }
    Sleep(50);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3 || argc > 4) {
    std::fprintf(stderr, "usage: wine_probe window|dialog|gone TITLE [TIMEOUT_MS]\n");
    return 2;
  }
  DWORD timeoutMs = argc == 4 ? std::strtoul(argv[3], nullptr, 10) : 10000;
  std::string command = argv[1];
  int status = 2;
  if (command == "window") status = probeWindow(argv[2], timeoutMs);
  if (command == "dialog") status = probeDialog(argv[2], timeoutMs);
  if (command == "gone") status = probeGone(argv[2], timeoutMs);
  std::fflush(stdout);
  return status;
}
