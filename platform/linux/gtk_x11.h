// The X11 side of the GTK host, kept apart: Xlib's headers name a type
// Window, as the window layer does.
#pragma once

#include <gtk/gtk.h>

// Gives an X11 GdkWindow an X window of its own; nothing on other displays.
void giveOwnXWindow(GdkWindow* window);
// A cairo surface that draws straight into the window's own X window, or
// nullptr when it has none.
cairo_surface_t* newXWindowSurface(GdkWindow* window, int width, int height);
void resizeXWindowSurface(cairo_surface_t* surface, int width, int height);
