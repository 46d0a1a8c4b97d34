// GTK 3 presentation of the window layer. A top-level window holds a real
// menu bar, a drawing area that shows the client pixels and, from the first
// time they are needed, two scroll bars; dialogs are real GTK windows with
// their controls at their template places.
//
// GTK runs on a thread of its own, started with the process (startDesktop),
// and every GTK call is made there. The window layer's calls arrive as tasks
// that carry copies of what they need; the GTK thread never touches a Window
// record, only the client pixels it shares under their lock. User input
// becomes messages: menu choices, scroll bar actions and the close box are
// posted; a resize of the window changes the window's size on its own thread
// (WM_SIZE). So the window answers however busy the program's thread is.
//
// Changed pixels go to the display at once, only the rectangle that changed,
// straight into the drawing area's own X window; GTK's drawing cycle (its
// frame clock) only says which part an exposure or a resize asks for.
//
// On a scaled desktop (GDK_SCALE) the window is shown as Windows shows a
// program that is not DPI-aware: sizes, scroll ranges and positions stay in
// the program's pixels, which are GTK's units, and both ways of drawing show
// each client pixel as a square of scale x scale pixels of the display; the
// menu bar and scroll bars are GTK's, at the desktop's size.
//
// When the X server goes away, the GTK thread stops where it finds that out
// and makes no X call again; the windows are lost and the program ends
// through its own shutdown.
#include <gtk/gtk.h>
#include <pthread.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <map>
#include <optional>
#include <utility>

#include "platform/linux/host/display_loss.h"
#include "platform/linux/host/gtk_x11.h"
#include "platform/linux/user32/resources.h"
#include "platform/linux/user32/user32.h"
#include "platform/linux/user32/window_host.h"

namespace {

// The About box's font: MS Sans Serif 8 has no twin here; a sans serif of the
// same pixel height keeps the texts inside their template rectangles.
constexpr char kDialogCss[] =
    "* { font-family: \"DejaVu Sans\", sans-serif; font-size: 8pt; }"
    "button { padding: 0 4px; min-height: 0; min-width: 0; }";
// Scroll bars as thick as SM_CXVSCROLL, with arrow buttons of kArrowLength
// pixels at both ends.
constexpr int kArrowLength = 14;
constexpr char kScrollBarCss[] =
    "scrollbar { -GtkScrollbar-has-backward-stepper: true;"
    " -GtkScrollbar-has-forward-stepper: true; }"
    "scrollbar button { min-width: 14px; min-height: 14px; padding: 0; margin: 0; }"
    "scrollbar slider { margin: 1px; border-width: 1px; }"
    "scrollbar.vertical slider { min-width: 12px; min-height: 24px; }"
    "scrollbar.horizontal slider { min-width: 24px; min-height: 12px; }";
// Lines a notch of the mouse wheel scrolls, as Windows' default setting.
constexpr int kWheelLines = 3;

// What the GTK thread knows of a window: copied from it on its own thread.
struct Layout {
  int clientWidth = 0;
  int clientHeight = 0;
  ScrollBarState bars[2];
};

Layout layoutOf(const Window& w) {
  return {w.clientWidth, w.clientHeight, {w.bars[SB_HORZ], w.bars[SB_VERT]}};
}

// A window's widgets; a main window's are made before they belong to it.
struct Widgets {
  GtkWidget* top = nullptr;
  GtkWidget* menuBar = nullptr;
  GtkWidget* area = nullptr;
  GtkWidget* grid = nullptr;  // the area and its scroll bars
  GtkWidget* bars[2] = {nullptr, nullptr};
  GtkWidget* standIn = nullptr;  // a menu item until the window's own come
};

struct Presentation : Widgets {
  HWND handle;
  std::shared_ptr<ClientPixels> pixels;
  Layout layout;
  bool enabled = true;
  bool visible = false;
  GtkWidget* fixed = nullptr;              // a dialog's controls
  cairo_surface_t* areaSurface = nullptr;  // the drawing area's own X window
  SharedImage* sharedImage = nullptr;      // its pixels as shared with the X server
  bool sharing = true;                     // until the server refuses to share
  bool dragging[2] = {false, false};       // the thumb is held
  int trackPos[2] = {0, 0};
  double wheel[2] = {0, 0};  // smooth scrolling not yet a whole notch
  int pendingWidth = -1;     // the drawing area's newest allocation
  int pendingHeight = -1;
  guint resizeIdle = 0;
  bool opened = false;       // shown once
  bool holdingSize = false;  // the drawing area asks for the initial client size
  int defaultButton = IDOK;
};

// ---- the GTK thread ----

struct Desktop {
  std::once_flag started;
  std::thread::id thread;
  // What the GTK thread tells the others, under stateMutex.
  std::mutex stateMutex;
  std::condition_variable stateChanged;
  bool ready = false;  // host is known
  WindowHost* host = nullptr;
  bool stopped = false;  // the GTK thread makes no GTK call again
  bool givenUp = false;  // the program ends: nobody waits for GTK to start
  int connection = -1;   // the display's socket
  std::atomic<bool> lost{false};
  bool stopping = false;  // the GTK thread's own
  std::mutex mutex;
  std::deque<std::function<void()>> tasks;
  std::map<HWND, Presentation*> presentations;  // the GTK thread's only
  Widgets prepared;                             // for the first main window
};

// Never destroyed: the GTK thread runs until the process ends.
Desktop& desktop() {
  static auto* instance = new Desktop;
  return *instance;
}

Presentation* presentationOf(gpointer handle) {
  auto& all = desktop().presentations;
  auto found = all.find(static_cast<HWND>(handle));
  return found != all.end() ? found->second : nullptr;
}

void drainTasks() {
  Desktop& d = desktop();
  std::deque<std::function<void()>> batch;
  {
    std::lock_guard lock(d.mutex);
    batch.swap(d.tasks);
  }
  for (auto& task : batch) task();
}

// The tasks' source in the GTK thread's main loop: ready while tasks wait.
// A new task wakes the loop without taking the main context's lock, which
// attaching a source would take, so that the GTK thread, woken, does not
// find it held and wait once more.
gboolean tasksWaiting(GSource*) {
  std::lock_guard lock(desktop().mutex);
  return !desktop().tasks.empty();
}
gboolean tasksWaiting(GSource* source, gint* timeout) {
  *timeout = -1;
  return tasksWaiting(source);
}
gboolean runTasks(GSource*, GSourceFunc, gpointer) {
  drainTasks();
  return G_SOURCE_CONTINUE;
}
GSourceFuncs taskSourceFuncs{tasksWaiting, tasksWaiting, runTasks, nullptr, nullptr, nullptr};

void attachTaskSource() {
  GSource* source = g_source_new(&taskSourceFuncs, sizeof(GSource));
  g_source_set_priority(source, G_PRIORITY_DEFAULT);
  g_source_attach(source, nullptr);
  g_source_unref(source);
}

// Tasks run on the GTK thread in the order they were given; the first of a
// batch wakes it.
void runOnGtk(std::function<void()> task) {
  Desktop& d = desktop();
  bool wake = false;
  {
    std::lock_guard lock(d.mutex);
    wake = d.tasks.empty();
    d.tasks.push_back(std::move(task));
  }
  if (wake) g_main_context_wakeup(nullptr);
}

// A task for the window's presentation, dropped when the window has none.
void runOnPresentation(HWND handle, std::function<void(Presentation&)> task) {
  runOnGtk([handle, task = std::move(task)] {
    if (Presentation* p = presentationOf(handle)) task(*p);
  });
}

// "&File" becomes "_File", and an underscore of the text stays one. The
// program's texts have no "&&" for an ampersand and no accelerator after a tab.
std::string mnemonicText(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '_') out += '_';
    out += c == '&' ? '_' : c;
  }
  return out;
}

GdkPixbuf* pixbufOf(const IconImage& image) {
  GdkPixbuf* pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, TRUE, 8, image.width, image.height);
  int stride = gdk_pixbuf_get_rowstride(pixbuf);
  guchar* pixels = gdk_pixbuf_get_pixels(pixbuf);
  for (int y = 0; y < image.height; ++y)
    std::copy_n(&image.rgba[static_cast<size_t>(y) * image.width * 4], image.width * 4,
                pixels + static_cast<ptrdiff_t>(y) * stride);
  return pixbuf;
}

void setWindowIcon(GtkWindow* top, const IconObject* icon) {
  if (icon == nullptr) return;
  GList* list = nullptr;
  for (const IconImage& image : icon->images) list = g_list_append(list, pixbufOf(image));
  gtk_window_set_icon_list(top, list);
  g_list_free_full(list, g_object_unref);
}

void applyCss(GtkWidget* widget, const char* css) {
  GtkCssProvider* provider = gtk_css_provider_new();
  gtk_css_provider_load_from_data(provider, css, -1, nullptr);
  gtk_style_context_add_provider(gtk_widget_get_style_context(widget), GTK_STYLE_PROVIDER(provider),
                                 GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
  g_object_unref(provider);
}

void applyCssToTree(GtkWidget* widget, gpointer css) {
  applyCss(widget, static_cast<const char*>(css));
  if (GTK_IS_CONTAINER(widget)) gtk_container_forall(GTK_CONTAINER(widget), applyCssToTree, css);
}

// Input to a disabled window (an owner while its modal dialog runs) is dropped.
void postInput(gpointer handle, UINT message, WPARAM wParam) {
  Presentation* p = presentationOf(handle);
  if (p != nullptr && p->enabled) PostMessageA(p->handle, message, wParam, 0);
}

// A menu item was chosen or a push button clicked: WM_COMMAND with its id.
// The notification code is 0 for both: a menu's, and BN_CLICKED.
void onCommand(GtkWidget* widget, gpointer handle) {
  auto id = GPOINTER_TO_UINT(g_object_get_data(G_OBJECT(widget), "command"));
  postInput(handle, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED));
}

// ---- menus ----

void addMenuItems(GtkMenuShell* shell, const std::vector<MenuItemResource>& items, HWND handle) {
  for (const MenuItemResource& item : items) {
    GtkWidget* widget = gtk_menu_item_new_with_mnemonic(mnemonicText(item.text).c_str());
    if (item.flags & MF_POPUP) {
      GtkWidget* submenu = gtk_menu_new();
      addMenuItems(GTK_MENU_SHELL(submenu), item.children, handle);
      gtk_menu_item_set_submenu(GTK_MENU_ITEM(widget), submenu);
    } else {
      g_object_set_data(G_OBJECT(widget), "command", GUINT_TO_POINTER(item.id));
      g_signal_connect(widget, "activate", G_CALLBACK(onCommand), handle);
    }
    gtk_menu_shell_append(shell, widget);
  }
}

// ---- the client area ----
// No X call is made while the pixels' lock is held: a thread that loses the
// display stops where it is, and the window's thread must still be able to
// draw and end.

// Paints the rectangle of the pixels at its place: a copy of it, taken under
// the lock, is what cairo sends.
void paintPixels(cairo_t* cr, ClientPixels& pixels, GdkRectangle r) {
  cairo_surface_t* part = nullptr;
  {
    std::lock_guard lock(pixels.mutex);
    GdkRectangle all{0, 0, pixels.width, pixels.height};
    if (!gdk_rectangle_intersect(&r, &all, &r)) return;
    part = cairo_image_surface_create(CAIRO_FORMAT_RGB24, r.width, r.height);
    auto* rows = cairo_image_surface_get_data(part);
    int stride = cairo_image_surface_get_stride(part);
    for (int y = 0; y < r.height; ++y)
      std::copy_n(&pixels.data[static_cast<size_t>(r.y + y) * pixels.width + r.x], r.width,
                  reinterpret_cast<uint32_t*>(rows + static_cast<ptrdiff_t>(y) * stride));
    cairo_surface_mark_dirty(part);
  }
  cairo_set_source_surface(cr, part, r.x, r.y);
  // On a scaled desktop each pixel becomes a square, never a blend.
  cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
  cairo_rectangle(cr, r.x, r.y, r.width, r.height);
  cairo_fill(cr);
  cairo_surface_destroy(part);
}

bool presentNow(Presentation& p, const GdkRectangle& r);

// GTK asks for the invalid part only: what was uncovered, or what a resize
// exposed. On X11 the drawing area's own X window does not show what GTK
// draws for it, so that part goes straight there, as a changed one does;
// elsewhere cairo sends just that part of the pixels to the display.
gboolean onDraw(GtkWidget*, cairo_t* cr, gpointer handle) {
  Presentation* p = presentationOf(handle);
  GdkRectangle clip;
  if (p == nullptr || !gdk_cairo_get_clip_rectangle(cr, &clip)) return TRUE;
  if (!presentNow(*p, clip)) paintPixels(cr, *p->pixels, clip);
  return TRUE;
}

// On X11 the drawing area gets an X window of its own, for presentNow.
void onAreaRealized(GtkWidget* area, gpointer) { giveOwnXWindow(gtk_widget_get_window(area)); }

void forgetAreaSurface(Presentation& p) {
  if (p.areaSurface != nullptr) cairo_surface_destroy(p.areaSurface);
  p.areaSurface = nullptr;
  freeSharedImage(p.sharedImage);
  p.sharedImage = nullptr;
}

void onAreaUnrealized(GtkWidget*, gpointer handle) {
  if (Presentation* p = presentationOf(handle)) forgetAreaSurface(*p);
}

// Puts the rectangle through memory shared with the X server; false when
// there is none.
bool presentShared(Presentation& p, GdkWindow* window, GdkRectangle r) {
  if (!p.sharing) return false;
  ClientPixels& pixels = *p.pixels;
  int scale = gdk_window_get_scale_factor(window);
  int width = 0;
  int height = 0;
  {
    std::lock_guard lock(pixels.mutex);
    width = pixels.width * scale;
    height = pixels.height * scale;
  }
  if (width == 0 || height == 0) return true;
  if (p.sharedImage == nullptr || !sharedImageFits(p.sharedImage, width, height)) {
    freeSharedImage(p.sharedImage);
    p.sharedImage = newSharedImage(window, width, height);
    if (p.sharedImage == nullptr) {
      p.sharing = false;  // no use asking again
      return false;
    }
  }
  {
    std::lock_guard lock(pixels.mutex);
    // Resized meanwhile: the new size's own change comes next.
    if (!sharedImageFits(p.sharedImage, pixels.width * scale, pixels.height * scale) ||
        !copyToSharedImage(p.sharedImage, pixels.data.data(), pixels.width, r, scale))
      return true;
  }
  putSharedImage(p.sharedImage, r, scale);
  return true;
}

// Draws the rectangle straight into the drawing area's X window; false when
// it cannot (not shown yet, or not on X11), and GTK must draw it instead.
bool presentNow(Presentation& p, const GdkRectangle& r) {
  if (p.area == nullptr || !gtk_widget_get_mapped(p.area)) return false;
  GdkWindow* window = gtk_widget_get_window(p.area);
  if (presentShared(p, window, r)) return true;
  int width = gtk_widget_get_allocated_width(p.area);
  int height = gtk_widget_get_allocated_height(p.area);
  if (p.areaSurface == nullptr)
    p.areaSurface = newXWindowSurface(window, width, height);
  else
    resizeXWindowSurface(p.areaSurface, window, width, height);
  if (p.areaSurface == nullptr) return false;
  cairo_t* cr = cairo_create(p.areaSurface);
  paintPixels(cr, *p.pixels, r);
  cairo_destroy(cr);
  cairo_surface_flush(p.areaSurface);
  gdk_display_flush(gdk_window_get_display(window));
  return true;
}

// The user resized the window: the drawing area's new size is the client
// area's, and the outer size follows from it, set on the window's thread.
gboolean applyResize(gpointer handle) {
  Presentation* p = presentationOf(handle);
  if (p == nullptr) return G_SOURCE_REMOVE;
  p->resizeIdle = 0;
  if (p->holdingSize) {
    p->holdingSize = false;
    gtk_widget_set_size_request(p->area, 1, 1);
  }
  const Layout& l = p->layout;
  if (p->pendingWidth == l.clientWidth && p->pendingHeight == l.clientHeight)
    return G_SOURCE_REMOVE;
  runOnWindowThread(p->handle, [width = p->pendingWidth, height = p->pendingHeight](Window& w) {
    setClientSize(w, width, height);
  });
  return G_SOURCE_REMOVE;
}

void onAreaAllocated(GtkWidget*, GdkRectangle* allocation, gpointer handle) {
  Presentation* p = presentationOf(handle);
  if (p == nullptr || !p->visible) return;
  p->pendingWidth = allocation->width;
  p->pendingHeight = allocation->height;
  if (p->resizeIdle == 0) p->resizeIdle = g_idle_add(applyResize, handle);
}

gboolean onDelete(GtkWidget*, GdkEvent*, gpointer handle) {
  postInput(handle, WM_CLOSE, 0);
  return TRUE;
}

// ---- scroll bars ----
// As on Windows: the arrows send SB_LINEUP and SB_LINEDOWN, a click in the
// trough pages, a thumb drag reports SB_THUMBTRACK and its release
// SB_THUMBPOSITION, and the wheel over a bar scrolls it by lines. GTK's own
// arrows and wheel would move the thumb smoothly instead, so the bar's
// presses and wheel turns are looked at before GTK sees them.

// The action of each GtkScrollType, in GTK's order: none and jump (the
// thumb), steps and pages backward and forward, up and down, left and right,
// then the two ends.
constexpr int kScrollCodes[] = {SB_THUMBTRACK, SB_THUMBTRACK, SB_LINEUP, SB_LINEDOWN,
                                SB_PAGEUP,     SB_PAGEDOWN,   SB_LINEUP, SB_LINEDOWN,
                                SB_PAGEUP,     SB_PAGEDOWN,   SB_LINEUP, SB_LINEDOWN,
                                SB_PAGEUP,     SB_PAGEDOWN,   SB_TOP,    SB_BOTTOM};
static_assert(std::size(kScrollCodes) == GTK_SCROLL_END + 1);

int scrollCode(GtkScrollType type) {
  return type >= 0 && type <= GTK_SCROLL_END ? kScrollCodes[type] : SB_THUMBTRACK;
}

int barOf(GtkWidget* widget) { return GPOINTER_TO_INT(g_object_get_data(G_OBJECT(widget), "bar")); }

void postScroll(gpointer handle, int bar, int code, int position = 0) {
  postInput(handle, bar == SB_HORZ ? WM_HSCROLL : WM_VSCROLL,
            MAKEWPARAM(code, static_cast<WORD>(position)));
}

// Only a held thumb moves the thumb (SB_THUMBTRACK); every other action is
// reported and left to the window, which sets the position itself.
gboolean onChangeValue(GtkRange* range, GtkScrollType type, gdouble value, gpointer handle) {
  Presentation* p = presentationOf(handle);
  if (p == nullptr) return TRUE;
  int bar = barOf(GTK_WIDGET(range));
  int code = scrollCode(type);
  if (code != SB_THUMBTRACK) {
    postScroll(handle, bar, code);
    return TRUE;
  }
  if (!p->dragging[bar]) return TRUE;
  const ScrollBarState& state = p->layout.bars[bar];
  int position = std::clamp(static_cast<int>(value + 0.5), state.minPos, state.maxPos);
  p->trackPos[bar] = position;
  gtk_range_set_value(range, position);
  postScroll(handle, bar, SB_THUMBTRACK, position);
  return TRUE;
}

// Arrows are handled here; presses on the thumb or in the trough go on to GTK.
gboolean onBarPressed(GtkWidget* widget, GdkEventButton* event, gpointer handle) {
  Presentation* p = presentationOf(handle);
  if (p == nullptr || event->type != GDK_BUTTON_PRESS || event->button != GDK_BUTTON_PRIMARY)
    return FALSE;
  int bar = barOf(widget);
  int along = static_cast<int>(bar == SB_VERT ? event->y : event->x);
  int length = bar == SB_VERT ? gtk_widget_get_allocated_height(widget)
                              : gtk_widget_get_allocated_width(widget);
  if (along < kArrowLength || along >= length - kArrowLength) {
    postScroll(handle, bar, along < kArrowLength ? SB_LINEUP : SB_LINEDOWN);
    return TRUE;
  }
  int thumbStart = 0, thumbEnd = 0;
  gtk_range_get_slider_range(GTK_RANGE(widget), &thumbStart, &thumbEnd);
  if (along >= thumbStart && along < thumbEnd) {
    p->dragging[bar] = true;
    p->trackPos[bar] = p->layout.bars[bar].pos;
  }
  return FALSE;
}

gboolean onBarReleased(GtkWidget* widget, GdkEventButton* event, gpointer handle) {
  Presentation* p = presentationOf(handle);
  if (p == nullptr || event->button != GDK_BUTTON_PRIMARY) return FALSE;
  int bar = barOf(widget);
  if (p->dragging[bar]) {
    p->dragging[bar] = false;
    postScroll(handle, bar, SB_THUMBPOSITION, p->trackPos[bar]);
  }
  postScroll(handle, bar, SB_ENDSCROLL);
  return FALSE;
}

gboolean onBarGrabBroken(GtkWidget* widget, GdkEvent*, gpointer handle) {
  if (Presentation* p = presentationOf(handle)) p->dragging[barOf(widget)] = false;
  return FALSE;
}

void scrollLines(gpointer handle, int bar, int lines) {
  for (int i = 0; i < std::abs(lines) * kWheelLines; ++i)
    postScroll(handle, bar, lines < 0 ? SB_LINEUP : SB_LINEDOWN);
}

gboolean onBarWheel(GtkWidget* widget, GdkEventScroll* event, gpointer handle) {
  Presentation* p = presentationOf(handle);
  if (p == nullptr) return TRUE;
  int bar = barOf(widget);
  switch (event->direction) {
    case GDK_SCROLL_UP:
    case GDK_SCROLL_LEFT:
      scrollLines(handle, bar, -1);
      break;
    case GDK_SCROLL_DOWN:
    case GDK_SCROLL_RIGHT:
      scrollLines(handle, bar, 1);
      break;
    case GDK_SCROLL_SMOOTH: {
      p->wheel[bar] += event->delta_y != 0 ? event->delta_y : event->delta_x;
      int notches = static_cast<int>(p->wheel[bar]);
      p->wheel[bar] -= notches;
      scrollLines(handle, bar, notches);
      break;
    }
  }
  return TRUE;
}

GtkWidget* newScrollBar(int bar) {
  GtkOrientation orientation =
      bar == SB_HORZ ? GTK_ORIENTATION_HORIZONTAL : GTK_ORIENTATION_VERTICAL;
  GtkAdjustment* adjustment = gtk_adjustment_new(0, 0, 100, 1, 10, 0);
  GtkWidget* widget = gtk_scrollbar_new(orientation, adjustment);
  g_object_set_data(G_OBJECT(widget), "bar", GINT_TO_POINTER(bar));
  applyCss(widget, kScrollBarCss);
  gtk_widget_set_no_show_all(widget, TRUE);
  return widget;
}

void connectScrollBar(GtkWidget* widget, HWND handle) {
  g_signal_connect(widget, "change-value", G_CALLBACK(onChangeValue), handle);
  g_signal_connect(widget, "button-press-event", G_CALLBACK(onBarPressed), handle);
  g_signal_connect(widget, "button-release-event", G_CALLBACK(onBarReleased), handle);
  g_signal_connect(widget, "grab-broken-event", G_CALLBACK(onBarGrabBroken), handle);
  g_signal_connect(widget, "scroll-event", G_CALLBACK(onBarWheel), handle);
}

// A main window's scroll bar is made the first time it shows: most pictures
// fit, and a bar takes as long to make and style as the rest of the window.
GtkWidget* attachScrollBar(Presentation& p, int bar) {
  GtkWidget* widget = newScrollBar(bar);
  gtk_grid_attach(GTK_GRID(p.grid), widget, bar == SB_VERT ? 1 : 0, bar == SB_VERT ? 0 : 1, 1, 1);
  connectScrollBar(widget, p.handle);
  return widget;
}

void syncScrollBars(Presentation& p) {
  for (int bar : {SB_HORZ, SB_VERT}) {
    const ScrollBarState& state = p.layout.bars[bar];
    if (p.bars[bar] == nullptr && state.visible && p.grid != nullptr)
      p.bars[bar] = attachScrollBar(p, bar);
    GtkWidget* widget = p.bars[bar];
    if (widget == nullptr) continue;
    GtkAdjustment* adjustment = gtk_range_get_adjustment(GTK_RANGE(widget));
    if (!p.dragging[bar])
      gtk_adjustment_configure(adjustment, state.pos, state.minPos, state.maxPos, 1, 10, 0);
    gtk_widget_set_visible(widget, state.visible);
  }
}

// ---- windows ----

// What a new window is built from, copied on the window's thread.
struct WindowPlan {
  HWND handle;
  HWND owner;
  std::string title;
  bool dialog;
  const MenuObject* menu;  // loaded once and kept
  const IconObject* icon;  // likewise
  RECT place;
  bool placedByDefault;
  std::shared_ptr<ClientPixels> pixels;
  Layout layout;
};

Widgets newMainWidgets() {
  Widgets m;
  m.top = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
  gtk_container_add(GTK_CONTAINER(m.top), box);
  m.menuBar = gtk_menu_bar_new();
  gtk_box_pack_start(GTK_BOX(box), m.menuBar, FALSE, FALSE, 0);
  m.grid = gtk_grid_new();
  gtk_box_pack_start(GTK_BOX(box), m.grid, TRUE, TRUE, 0);
  m.area = gtk_drawing_area_new();
  gtk_widget_set_hexpand(m.area, TRUE);
  gtk_widget_set_vexpand(m.area, TRUE);
  g_signal_connect(m.area, "realize", G_CALLBACK(onAreaRealized), nullptr);
  gtk_grid_attach(GTK_GRID(m.grid), m.area, 0, 0, 1, 1);
  return m;
}

// GTK loads its settings and theme when a widget first asks for its style,
// and its fonts when a text is first measured; making and styling a
// window's widgets takes about as long again. The first main window's
// widgets are made and measured, with a stand-in menu item, while the
// program's thread still decodes, so that showing the window takes little.
// (Not realized: a realized window would keep the size it was given then.)
Widgets preparedMainWidgets() {
  Widgets m = newMainWidgets();
  m.standIn = gtk_menu_item_new_with_mnemonic("_File");
  gtk_menu_shell_append(GTK_MENU_SHELL(m.menuBar), m.standIn);
  gtk_widget_show_all(gtk_bin_get_child(GTK_BIN(m.top)));  // the toplevel when shown
  GtkRequisition size;
  gtk_widget_get_preferred_size(m.top, &size, nullptr);
  return m;
}

void buildMainWindow(const WindowPlan& plan, Presentation& p) {
  if (p.standIn != nullptr) gtk_widget_destroy(p.standIn);
  if (plan.menu != nullptr)
    addMenuItems(GTK_MENU_SHELL(p.menuBar), plan.menu->items, plan.handle);
  else
    gtk_widget_destroy(p.menuBar);
  g_signal_connect(p.area, "draw", G_CALLBACK(onDraw), plan.handle);
  g_signal_connect(p.area, "size-allocate", G_CALLBACK(onAreaAllocated), plan.handle);
  g_signal_connect(p.area, "unrealize", G_CALLBACK(onAreaUnrealized), plan.handle);
  setWindowIcon(GTK_WINDOW(p.top), plan.icon);
}

// Escape clicks Cancel, Enter the default button.
gboolean onDialogKey(GtkWidget*, GdkEventKey* event, gpointer handle) {
  Presentation* p = presentationOf(handle);
  if (p == nullptr) return FALSE;
  guint key = event->keyval;
  int id = key == GDK_KEY_Escape                              ? IDCANCEL
           : key == GDK_KEY_Return || key == GDK_KEY_KP_Enter ? p->defaultButton
                                                              : 0;
  if (id != 0) PostMessageA(p->handle, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
  return id != 0;
}

void buildDialogWindow(const WindowPlan& plan, Presentation& p) {
  // A layout, unlike a fixed container, does not grow with its children's
  // wishes: the dialog keeps its template size.
  p.fixed = gtk_layout_new(nullptr, nullptr);
  gtk_layout_set_size(GTK_LAYOUT(p.fixed), plan.layout.clientWidth, plan.layout.clientHeight);
  gtk_widget_set_size_request(p.fixed, plan.layout.clientWidth, plan.layout.clientHeight);
  gtk_container_add(GTK_CONTAINER(p.top), p.fixed);
  gtk_window_set_resizable(GTK_WINDOW(p.top), FALSE);
  gtk_window_set_type_hint(GTK_WINDOW(p.top), GDK_WINDOW_TYPE_HINT_DIALOG);
  gtk_window_set_modal(GTK_WINDOW(p.top), TRUE);
  gtk_window_set_skip_taskbar_hint(GTK_WINDOW(p.top), TRUE);
  if (Presentation* owner = presentationOf(plan.owner)) {
    gtk_window_set_transient_for(GTK_WINDOW(p.top), GTK_WINDOW(owner->top));
    gtk_window_set_destroy_with_parent(GTK_WINDOW(p.top), TRUE);
  }
  g_signal_connect(p.top, "key-press-event", G_CALLBACK(onDialogKey), plan.handle);
}

void buildWindow(const WindowPlan& plan) {
  Desktop& d = desktop();
  Widgets widgets = plan.dialog                 ? Widgets{gtk_window_new(GTK_WINDOW_TOPLEVEL)}
                    : d.prepared.top != nullptr ? std::exchange(d.prepared, {})
                                                : newMainWidgets();
  auto* p = new Presentation{widgets, plan.handle, plan.pixels, plan.layout};
  d.presentations[plan.handle] = p;
  if (plan.dialog)
    buildDialogWindow(plan, *p);
  else
    buildMainWindow(plan, *p);
  gtk_window_set_title(GTK_WINDOW(p->top), plan.title.c_str());
  g_signal_connect(p->top, "delete-event", G_CALLBACK(onDelete), plan.handle);
  if (!plan.placedByDefault) gtk_window_move(GTK_WINDOW(p->top), plan.place.left, plan.place.top);
}

bool createWindow(Window& w) {
  if (desktop().lost) return false;
  WindowPlan plan{w.handle,     w.owner,
                  w.title,      w.className == kDialogClass,
                  w.menu,       iconFromHandle(w.icon),
                  w.windowRect, w.placedByDefault,
                  w.pixels,     layoutOf(w)};
  runOnGtk([plan] { buildWindow(plan); });
  return true;
}

void destroyWindow(Window& w) {
  runOnPresentation(w.handle, [](Presentation& p) {
    desktop().presentations.erase(p.handle);
    if (p.resizeIdle != 0) g_source_remove(p.resizeIdle);
    forgetAreaSurface(p);
    gtk_widget_destroy(p.top);
    delete &p;
  });
}

GtkWidget* newButton(const ControlResource& c, Presentation& p) {
  GtkWidget* button = gtk_button_new_with_mnemonic(mnemonicText(c.text).c_str());
  g_object_set_data(G_OBJECT(button), "command", GINT_TO_POINTER(c.id));
  g_signal_connect(button, "clicked", G_CALLBACK(onCommand), p.handle);
  if ((c.style & BS_TYPEMASK) == BS_DEFPUSHBUTTON) {
    p.defaultButton = c.id;
    gtk_widget_set_can_default(button, TRUE);
    gtk_style_context_add_class(gtk_widget_get_style_context(button), "suggested-action");
  }
  return button;
}

GtkWidget* newLabel(const ControlResource& c) {
  GtkWidget* label = gtk_label_new(nullptr);
  gtk_label_set_text_with_mnemonic(GTK_LABEL(label), mnemonicText(c.text).c_str());
  DWORD align = c.style & SS_TYPEMASK;
  gtk_label_set_xalign(GTK_LABEL(label), align == SS_RIGHT ? 1.0f : 0);
  gtk_label_set_yalign(GTK_LABEL(label), 0);
  gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
  gtk_label_set_max_width_chars(GTK_LABEL(label), 1);
  gtk_label_set_justify(GTK_LABEL(label), align == SS_RIGHT ? GTK_JUSTIFY_RIGHT : GTK_JUSTIFY_LEFT);
  return label;
}

GtkWidget* newIcon(const IconImage* image) {
  if (image == nullptr) return gtk_image_new();
  GdkPixbuf* pixbuf = pixbufOf(*image);
  GtkWidget* widget = gtk_image_new_from_pixbuf(pixbuf);
  g_object_unref(pixbuf);
  return widget;
}

// An icon control comes with its image, found on the window's thread.
struct PlannedControl {
  ControlResource control;
  const IconImage* icon;
};

GtkWidget* newControl(const PlannedControl& planned, Presentation& p) {
  const ControlResource& c = planned.control;
  if (c.className == "BUTTON") {
    DWORD type = c.style & BS_TYPEMASK;
    if (type == BS_GROUPBOX) return gtk_frame_new(c.text.empty() ? nullptr : c.text.c_str());
    return newButton(c, p);
  }
  if (isIconControl(c)) return newIcon(planned.icon);
  return newLabel(c);
}

void controlsCreated(Window& w) {
  std::vector<PlannedControl> controls;
  for (const ControlResource& c : w.controls)
    controls.push_back({c, isIconControl(c)
                               ? iconImage(LoadIconA(nullptr, c.text.c_str()), metrics::kIcon)
                               : nullptr});
  runOnPresentation(w.handle, [controls = std::move(controls)](Presentation& p) {
    if (p.fixed == nullptr) return;
    for (const PlannedControl& planned : controls) {
      GtkWidget* widget = newControl(planned, p);
      const RECT& r = planned.control.rect;
      gtk_widget_set_size_request(widget, r.right - r.left, r.bottom - r.top);
      gtk_layout_put(GTK_LAYOUT(p.fixed), widget, r.left, r.top);
    }
    applyCssToTree(p.top, const_cast<char*>(kDialogCss));
  });
}

// A new window opens with its client area at the size the window layer gave
// it: the drawing area asks for that size until its first allocation, then
// lets the user make the window smaller.
void showWindow(Window& w, bool show) {
  runOnPresentation(w.handle, [layout = layoutOf(w), show](Presentation& p) {
    p.layout = layout;
    p.visible = show;
    if (!show) {
      gtk_widget_hide(p.top);
      return;
    }
    if (p.area != nullptr && !p.opened) {
      p.opened = true;
      syncScrollBars(p);
      gtk_widget_set_size_request(p.area, p.layout.clientWidth, p.layout.clientHeight);
      p.holdingSize = true;
    }
    gtk_widget_show_all(p.top);
    gtk_window_present(GTK_WINDOW(p.top));
  });
}

void enableWindow(Window& w, bool enable) {
  runOnPresentation(w.handle, [enable](Presentation& p) {
    p.enabled = enable;
    gtk_widget_set_sensitive(p.top, enable);
  });
}

void pixelsChanged(Window& w, const RECT& r) {
  GdkRectangle changed{r.left, r.top, r.right - r.left, r.bottom - r.top};
  runOnPresentation(w.handle, [changed](Presentation& p) {
    if (p.area == nullptr || presentNow(p, changed)) return;
    gtk_widget_queue_draw_area(p.area, changed.x, changed.y, changed.width, changed.height);
  });
}

void layoutChanged(Window& w) {
  runOnPresentation(w.handle, [layout = layoutOf(w)](Presentation& p) {
    if (p.area == nullptr) return;
    p.layout = layout;
    syncScrollBars(p);
    gtk_widget_queue_draw(p.area);
  });
}

// The display went away: the windows are lost, and the GTK thread, which
// found that out, stops where it is (whenDisplayLost).
void displayLost() {
  Desktop& d = desktop();
  d.lost = true;
  {
    std::lock_guard lock(d.stateMutex);
    d.ready = true;  // a host not made yet never will be
    d.stopped = true;
  }
  d.stateChanged.notify_all();
  loseEveryWindow();
}

WindowHost* startGtk() {
  // The layer draws with cairo on images, never with OpenGL. Left alone, GDK
  // opens GLX at start only to choose a visual, which on a software renderer
  // loads LLVM: 50 MB and tens of milliseconds. A GDK_GL the user set stands.
  g_setenv("GDK_GL", "disable", FALSE);
  whenDisplayLost(displayLost);
  if (!gtk_init_check(nullptr, nullptr)) return nullptr;
  // Pango readies fontconfig on a thread of its own once the font map
  // exists: made now, that overlaps the theme's loading below, instead of
  // the first text's measuring waiting for it.
  pango_cairo_font_map_get_default();
  // Clicking a scroll bar's trough pages, as on Windows, instead of jumping there.
  g_object_set(gtk_settings_get_default(), "gtk-primary-button-warps-slider", FALSE, nullptr);
  desktop().prepared = preparedMainWidgets();
  GdkRectangle screen{0, 0, 1024, 768};
  GdkDisplay* display = gdk_display_get_default();
  GdkMonitor* monitor = gdk_display_get_primary_monitor(display);
  if (monitor == nullptr) monitor = gdk_display_get_monitor(display, 0);
  if (monitor != nullptr) gdk_monitor_get_geometry(monitor, &screen);
  static WindowHost host{createWindow,  destroyWindow, controlsCreated, showWindow,   enableWindow,
                         pixelsChanged, layoutChanged, screen.width,    screen.height};
  return &host;
}

void tellState(const std::function<void(Desktop&)>& change) {
  Desktop& d = desktop();
  {
    std::lock_guard lock(d.stateMutex);
    change(d);
  }
  d.stateChanged.notify_all();
}

void runGtk() {
  Desktop& d = desktop();
  pthread_setname_np(pthread_self(), "gtk");  // as the process's threads are listed
  attachTaskSource();
  WindowHost* host = startGtk();
  int connection = host != nullptr ? displayConnection(gdk_display_get_default()) : -1;
  tellState([&](Desktop& state) {
    state.ready = true;
    state.host = host;
    state.connection = connection;
    state.stopped = host == nullptr;
  });
  if (host == nullptr) return;
  while (!d.stopping) g_main_context_iteration(nullptr, TRUE);
  tellState([](Desktop& state) { state.stopped = true; });
}

// Waits until the GTK thread is ready, for longest at most, or until the
// program gives up waiting for it; the host, nullptr when there is none.
WindowHost* awaitHost(std::optional<std::chrono::milliseconds> longest, bool untilGivenUp) {
  Desktop& d = desktop();
  std::unique_lock lock(d.stateMutex);
  auto known = [&] { return d.ready || (untilGivenUp && d.givenUp); };
  if (longest)
    d.stateChanged.wait_for(lock, *longest, known);
  else
    d.stateChanged.wait(lock, known);
  return d.ready ? d.host : nullptr;
}

// At exit, before the libraries' own clean-up (Xlib frees its locks), the
// GTK thread finishes what it does and leaves GTK alone: a program that ends
// while GTK still starts would otherwise crash. Windows stay as they are.
// An X server that answers nothing would keep the GTK thread waiting for
// ever: after a moment its connection is cut, which makes the display lost.
void stopDesktop() {
  using namespace std::chrono_literals;
  Desktop& d = desktop();
  if (std::this_thread::get_id() == d.thread) return;  // GTK itself ends the process
  bool givenUp = false;
  {
    std::lock_guard lock(d.stateMutex);
    givenUp = d.givenUp;
  }
  if (awaitHost(givenUp ? 250ms : 5s, false) == nullptr) return;
  runOnGtk([] { desktop().stopping = true; });
  std::unique_lock lock(d.stateMutex);
  if (d.stateChanged.wait_for(lock, 250ms, [&] { return d.stopped; })) return;
  if (d.connection >= 0) shutdown(d.connection, SHUT_RDWR);
  d.stateChanged.wait_for(lock, 500ms, [&] { return d.stopped; });
}

}  // namespace

void startDesktop() {
  std::call_once(desktop().started, [] {
    std::thread thread(runGtk);
    desktop().thread = thread.get_id();
    thread.detach();
    std::atexit(stopDesktop);
  });
}

void giveUpDesktop() {
  tellState([](Desktop& d) { d.givenUp = true; });
}

WindowHost* gtkHost() {
  startDesktop();
  return awaitHost(std::nullopt, true);
}
