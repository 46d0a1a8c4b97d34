// The X11 side of the GTK host, kept apart: Xlib's headers name a type
// Window, as the window layer does.
#pragma once

#include <gtk/gtk.h>

#include <cstdint>

// Gives an X11 GdkWindow an X window of its own; nothing on other displays.
void giveOwnXWindow(GdkWindow* window);
// A cairo surface that draws straight into the window's own X window, or
// nullptr when it has none. Sizes are in the window's own units; the surface
// draws them at the window's scale, as GTK's drawing does.
cairo_surface_t* newXWindowSurface(GdkWindow* window, int width, int height);
void resizeXWindowSurface(cairo_surface_t* surface, GdkWindow* window, int width, int height);

// An image of the window's pixels in memory the X server shares (MIT-SHM):
// a changed rectangle is copied in and put to the window without passing
// through the connection. nullptr when the window has no X window of its
// own, its visual is not 24-bit RGB, or the server shares no memory with
// this process (another machine's display). Its sizes are the X window's
// pixels, the window's own units times its scale.
struct SharedImage;
SharedImage* newSharedImage(GdkWindow* window, int width, int height);
void freeSharedImage(SharedImage* image);
bool sharedImageFits(const SharedImage* image, int width, int height);
// Copies the rectangle of pixels (0x00RRGGBB, stride in pixels) into the
// image, each pixel as a square of scale x scale device pixels, clipped to it
// (rect, in the program's pixels, becomes the clipped one); false when nothing
// of it is left. No X call: the caller may hold the pixels' lock.
bool copyToSharedImage(SharedImage* image, const uint32_t* pixels, int stride, GdkRectangle& rect,
                       int scale);
// Puts that rectangle of the image, enlarged by scale, to the window at the
// same place.
void putSharedImage(SharedImage* image, const GdkRectangle& rect, int scale);
