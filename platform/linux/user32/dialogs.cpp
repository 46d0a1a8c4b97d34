// Modal dialogs built from the dialog resources: the template's dialog units
// become pixels with the base units of MS Sans Serif 8, the dialog procedure
// gets WM_INITDIALOG, and a loop of the dialog's own runs, with the owner
// disabled, until EndDialog.
#include <algorithm>

#include "platform/linux/user32/resources.h"
#include "platform/linux/user32/user32.h"
#include "platform/linux/user32/window_host.h"

namespace {

constexpr int kBaseUnitX = 6;
constexpr int kBaseUnitY = 13;

int pixelsX(int units) { return (units * kBaseUnitX + 2) / 4; }
int pixelsY(int units) { return (units * kBaseUnitY + 4) / 8; }

LRESULT CALLBACK dialogWindowProc(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
  Window* w = windowFromHandle(handle);
  if (w != nullptr && w->dialogProc != nullptr) {
    INT_PTR handled = w->dialogProc(handle, message, wParam, lParam);
    if (handled) return handled;
  }
  switch (message) {
    case WM_CLOSE:
      PostMessageA(handle, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
      return 0;
    default:
      return DefWindowProcA(handle, message, wParam, lParam);
  }
}

void registerDialogClass() {
  WNDCLASSA cls{};
  cls.lpfnWndProc = dialogWindowProc;
  cls.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<uintptr_t>(COLOR_BTNFACE + 1));
  cls.lpszClassName = kDialogClass;
  RegisterClassA(&cls);  // fails harmlessly once registered
}

// A control's rectangle in pixels; an icon control takes the icon's size.
ControlResource inPixels(ControlResource c) {
  const RECT& r = c.rect;
  c.rect = {pixelsX(r.left), pixelsY(r.top), pixelsX(r.right), pixelsY(r.bottom)};
  if (isIconControl(c)) {
    c.rect.right = c.rect.left + metrics::kIcon;
    c.rect.bottom = c.rect.top + metrics::kIcon;
  }
  return c;
}

// The outer rectangle, centred on the screen: the About box asks for
// DS_CENTER, and no dialog here is placed otherwise.
RECT dialogPlacement(int width, int height) {
  WindowHost* host = activeHost();
  int x = (host->screenWidth - width) / 2;
  int y = (host->screenHeight - height) / 2;
  return {x, y, x + width, y + height};
}

HWND createDialog(const DialogResource& d, HINSTANCE instance, HWND owner, DLGPROC proc) {
  registerDialogClass();
  DWORD style = d.style & ~static_cast<DWORD>(WS_VISIBLE);
  int width = pixelsX(d.width);
  int height = pixelsY(d.height);
  addNonClientSize(style, false, nullptr, width, height);
  RECT place = dialogPlacement(width, height);
  HWND dialog = CreateWindowExA(0, kDialogClass, d.caption.c_str(), style, place.left, place.top,
                                width, height, owner, nullptr, instance, nullptr);
  Window* w = windowFromHandle(dialog);
  if (w == nullptr) return nullptr;
  w->dialogProc = proc;
  for (const ControlResource& c : d.controls) w->controls.push_back(inPixels(c));
  activeHost()->controlsCreated(*w);
  return dialog;
}

INT_PTR runDialogLoop(HWND dialog) {
  for (;;) {
    Window* w = windowFromHandle(dialog);
    if (w == nullptr) return 0;
    if (w->dialogEnded) return w->dialogResult;
    MSG msg;
    if (!GetMessageA(&msg, nullptr, 0, 0)) {
      PostQuitMessage(static_cast<int>(msg.wParam));
      return 0;
    }
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

}  // namespace

INT_PTR WINAPI DialogBoxParamA(HINSTANCE instance, LPCSTR templateName, HWND owner,
                               DLGPROC dialogProc, LPARAM initParam) {
  DialogResource resource;
  if (!loadDialogResource(templateName, resource) || dialogProc == nullptr ||
      activeHost() == nullptr)
    return -1;
  HWND dialog = createDialog(resource, instance, owner, dialogProc);
  if (dialog == nullptr) return -1;
  bool ownerWasEnabled = owner != nullptr && IsWindowEnabled(owner);
  if (ownerWasEnabled) EnableWindow(owner, FALSE);
  SendMessageA(dialog, WM_INITDIALOG, 0, initParam);
  Window* w = windowFromHandle(dialog);
  if (w != nullptr && !w->dialogEnded) ShowWindow(dialog, SW_SHOW);
  INT_PTR result = runDialogLoop(dialog);
  if (ownerWasEnabled) EnableWindow(owner, TRUE);
  DestroyWindow(dialog);
  return result;
}

BOOL WINAPI EndDialog(HWND dialog, INT_PTR result) {
  Window* w = windowFromHandle(dialog);
  if (w == nullptr || w->dialogProc == nullptr) return FALSE;
  w->dialogEnded = true;
  w->dialogResult = result;
  if (w->owner != nullptr) EnableWindow(w->owner, TRUE);
  ShowWindow(dialog, SW_HIDE);
  return TRUE;
}
