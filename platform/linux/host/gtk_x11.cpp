#include "platform/linux/host/gtk_x11.h"

#include <X11/Xlib.h>
#include <X11/extensions/XShm.h>
#include <cairo-xlib.h>
#include <gdk/gdkx.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <algorithm>

void giveOwnXWindow(GdkWindow* window) {
  if (GDK_IS_X11_WINDOW(window)) gdk_window_ensure_native(window);
}

cairo_surface_t* newXWindowSurface(GdkWindow* window, int width, int height) {
  if (!GDK_IS_X11_WINDOW(window) || !gdk_window_has_native(window)) return nullptr;
  cairo_surface_t* surface =
      cairo_xlib_surface_create(GDK_WINDOW_XDISPLAY(window), GDK_WINDOW_XID(window),
                                GDK_VISUAL_XVISUAL(gdk_window_get_visual(window)), 1, 1);
  resizeXWindowSurface(surface, window, width, height);
  return surface;
}

void resizeXWindowSurface(cairo_surface_t* surface, GdkWindow* window, int width, int height) {
  int scale = gdk_window_get_scale_factor(window);
  cairo_xlib_surface_set_size(surface, width * scale, height * scale);
  cairo_surface_set_device_scale(surface, scale, scale);
}

struct SharedImage {
  Display* xDisplay;
  XID window;
  GC gc;
  XImage* image;
  XShmSegmentInfo segment;
};

namespace {

// The pixels' own layout: 32 bits a pixel, red in bits 16-23, in the byte
// order of this machine.
bool isXrgb(const XImage* image) {
  constexpr int kNativeOrder = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__ ? LSBFirst : MSBFirst;
  return image->bits_per_pixel == 32 && image->byte_order == kNativeOrder &&
         image->red_mask == 0xFF0000 && image->green_mask == 0xFF00 && image->blue_mask == 0xFF;
}

// The segment is attached to the server, or the server refused it (it runs
// elsewhere, or may not read this process's memory).
bool attach(GdkDisplay* display, Display* xDisplay, XShmSegmentInfo& segment) {
  gdk_x11_display_error_trap_push(display);
  XShmAttach(xDisplay, &segment);
  XSync(xDisplay, False);
  return gdk_x11_display_error_trap_pop(display) == 0;
}

}  // namespace

SharedImage* newSharedImage(GdkWindow* window, int width, int height) {
  if (width <= 0 || height <= 0 || !GDK_IS_X11_WINDOW(window) || !gdk_window_has_native(window))
    return nullptr;
  GdkDisplay* display = gdk_window_get_display(window);
  Display* xDisplay = GDK_DISPLAY_XDISPLAY(display);
  GdkVisual* visual = gdk_window_get_visual(window);
  if (gdk_visual_get_depth(visual) != 24 || !XShmQueryExtension(xDisplay)) return nullptr;
  auto* shared = new SharedImage{xDisplay, GDK_WINDOW_XID(window), nullptr, nullptr, {}};
  auto fail = [shared] {
    freeSharedImage(shared);
    return static_cast<SharedImage*>(nullptr);
  };
  shared->segment.shmid = -1;
  shared->image = XShmCreateImage(xDisplay, GDK_VISUAL_XVISUAL(visual), 24, ZPixmap, nullptr,
                                  &shared->segment, width, height);
  if (shared->image == nullptr || !isXrgb(shared->image)) return fail();
  shared->segment.shmid = shmget(
      IPC_PRIVATE, static_cast<size_t>(shared->image->bytes_per_line) * height, IPC_CREAT | 0600);
  if (shared->segment.shmid < 0) return fail();
  shared->segment.shmaddr = static_cast<char*>(shmat(shared->segment.shmid, nullptr, 0));
  // Marked for removal at once: it goes when the server and this process
  // have both let go of it, however the process ends.
  shmctl(shared->segment.shmid, IPC_RMID, nullptr);
  if (shared->segment.shmaddr == reinterpret_cast<char*>(-1)) {
    shared->segment.shmaddr = nullptr;
    return fail();
  }
  shared->image->data = shared->segment.shmaddr;
  shared->segment.readOnly = True;
  if (!attach(display, xDisplay, shared->segment)) {
    shared->segment.shmid = -1;  // not attached: nothing to detach
    return fail();
  }
  shared->gc = XCreateGC(xDisplay, shared->window, 0, nullptr);
  return shared;
}

void freeSharedImage(SharedImage* shared) {
  if (shared == nullptr) return;
  if (shared->gc != nullptr) XFreeGC(shared->xDisplay, shared->gc);
  if (shared->segment.shmid >= 0) XShmDetach(shared->xDisplay, &shared->segment);
  if (shared->image != nullptr) {
    shared->image->data = nullptr;  // the segment's, not Xlib's to free
    XDestroyImage(shared->image);
  }
  if (shared->segment.shmaddr != nullptr) shmdt(shared->segment.shmaddr);
  delete shared;
}

bool sharedImageFits(const SharedImage* shared, int width, int height) {
  return shared->image->width == width && shared->image->height == height;
}

namespace {

// Row y of the image from column x on.
uint32_t* imageRow(XImage* image, int y, int x) {
  return reinterpret_cast<uint32_t*>(image->data +
                                     static_cast<ptrdiff_t>(y) * image->bytes_per_line) +
         x;
}

// A row of pixels, each repeated scale times.
void enlargeRow(const uint32_t* from, int width, int scale, uint32_t* to) {
  if (scale == 1) {
    std::copy_n(from, width, to);
  } else if (scale == 2) {
    for (int x = 0; x < width; ++x) to[2 * x] = to[2 * x + 1] = from[x];
  } else {
    for (int x = 0; x < width; ++x) std::fill_n(to + x * scale, scale, from[x]);
  }
}

}  // namespace

bool copyToSharedImage(SharedImage* shared, const uint32_t* pixels, int stride, GdkRectangle& rect,
                       int scale) {
  XImage* image = shared->image;
  int right = std::min(rect.x + rect.width, image->width / scale);
  int bottom = std::min(rect.y + rect.height, image->height / scale);
  rect.x = std::max(rect.x, 0);
  rect.y = std::max(rect.y, 0);
  rect.width = right - rect.x;
  rect.height = bottom - rect.y;
  if (rect.width <= 0 || rect.height <= 0) return false;
  for (int y = rect.y; y < bottom; ++y) {
    uint32_t* first = imageRow(image, y * scale, rect.x * scale);
    enlargeRow(pixels + static_cast<ptrdiff_t>(y) * stride + rect.x, rect.width, scale, first);
    for (int copy = 1; copy < scale; ++copy)
      std::copy_n(first, rect.width * scale, imageRow(image, y * scale + copy, rect.x * scale));
  }
  return true;
}

// The server copies a put rectangle when it reads the request, long before
// the next frame writes the segment again; were it ever that late, it would
// show the newer pixels early, never stale ones.
void putSharedImage(SharedImage* shared, const GdkRectangle& rect, int scale) {
  XShmPutImage(shared->xDisplay, shared->window, shared->gc, shared->image, rect.x * scale,
               rect.y * scale, rect.x * scale, rect.y * scale,
               static_cast<unsigned>(rect.width * scale),
               static_cast<unsigned>(rect.height * scale), False);
  XFlush(shared->xDisplay);
}
