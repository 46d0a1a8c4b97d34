#include "display_loss.h"

#include <X11/Xlib.h>
#include <gdk/gdkx.h>

// From window_server.h, whose Window cannot meet Xlib's.
void loseEveryWindow();

namespace {

// Called first; says nothing, where GDK's handler would print and exit.
int onConnectionLost(Display*) { return 0; }

// Called next, in place of exit(1). Once it returns, Xlib treats the
// connection as dead and its calls return at once, so the windows can be
// destroyed as usual.
void onConnectionLostExit(Display*, void*) { loseEveryWindow(); }

}  // namespace

void loseWindowsWithTheDisplay(GdkDisplay* display) {
  if (!GDK_IS_X11_DISPLAY(display)) return;
  XSetIOErrorHandler(onConnectionLost);
  XSetIOErrorExitHandler(gdk_x11_display_get_xdisplay(display), onConnectionLostExit, nullptr);
}
