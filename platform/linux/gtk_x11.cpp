#include "gtk_x11.h"

#include <cairo-xlib.h>
#include <gdk/gdkx.h>

void giveOwnXWindow(GdkWindow* window) {
  if (GDK_IS_X11_WINDOW(window)) gdk_window_ensure_native(window);
}

cairo_surface_t* newXWindowSurface(GdkWindow* window, int width, int height) {
  if (!GDK_IS_X11_WINDOW(window) || !gdk_window_has_native(window)) return nullptr;
  return cairo_xlib_surface_create(GDK_WINDOW_XDISPLAY(window), GDK_WINDOW_XID(window),
                                   GDK_VISUAL_XVISUAL(gdk_window_get_visual(window)), width,
                                   height);
}

void resizeXWindowSurface(cairo_surface_t* surface, int width, int height) {
  cairo_xlib_surface_set_size(surface, width, height);
}
