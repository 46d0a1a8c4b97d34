#include "platform/linux/host/display_loss.h"

#include <X11/Xlib.h>
#include <gdk/gdkx.h>
#include <unistd.h>

namespace {

void (*onLost)() = nullptr;

// Never returns: Xlib would go on with the broken connection (and GDK after it).
int onConnectionLost(Display*) {
  onLost();
  for (;;) pause();
}

}  // namespace

void whenDisplayLost(void (*lost)()) {
  onLost = lost;
  // GDK installs its own handler, which exits, when its X11 display class is
  // first used, just after the connection is opened: used now, it finds
  // this one in place of Xlib's, and leaves it.
  g_type_class_ref(GDK_TYPE_X11_DISPLAY);
  XSetIOErrorHandler(onConnectionLost);
}

int displayConnection(GdkDisplay* display) {
  return GDK_IS_X11_DISPLAY(display) ? ConnectionNumber(gdk_x11_display_get_xdisplay(display)) : -1;
}
