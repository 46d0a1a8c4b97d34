// GTK 3 presentation of the window layer. A top-level window holds a real
// menu bar, a drawing area that shows the client pixels and two scroll bars;
// dialogs are real GTK windows with their controls at their template places.
// GTK runs on the thread that runs the message loop: waiting for messages
// iterates GLib's main context, which other threads wake when they post.
// User input becomes messages: menu choices and scroll bar actions are
// posted, a resize of the window changes the window's size (WM_SIZE), the
// close box posts WM_CLOSE.
#include <gtk/gtk.h>

#include <algorithm>

#include "display_loss.h"
#include "resources.h"
#include "user32.h"
#include "window_host.h"

namespace {

constexpr char kDialogClass[] = "#32770";
// The About box's font: MS Sans Serif 8 has no twin here; a sans serif of the
// same pixel height keeps the texts inside their template rectangles.
constexpr char kDialogCss[] =
    "* { font-family: \"DejaVu Sans\", sans-serif; font-size: 8pt; }"
    "button { padding: 0 4px; min-height: 0; min-width: 0; }";
// Scroll bars as thick as SM_CXVSCROLL, with arrow buttons at both ends.
constexpr char kScrollBarCss[] =
    "scrollbar { -GtkScrollbar-has-backward-stepper: true;"
    " -GtkScrollbar-has-forward-stepper: true; }"
    "scrollbar button { min-width: 14px; min-height: 14px; padding: 0; margin: 0; }"
    "scrollbar slider { margin: 1px; border-width: 1px; }"
    "scrollbar.vertical slider { min-width: 12px; min-height: 24px; }"
    "scrollbar.horizontal slider { min-width: 24px; min-height: 12px; }";

struct Presentation {
  HWND handle;
  GtkWidget* top = nullptr;
  GtkWidget* menuBar = nullptr;
  GtkWidget* area = nullptr;
  GtkWidget* bars[2] = {nullptr, nullptr};
  GtkWidget* fixed = nullptr;  // a dialog's controls
  bool syncing = false;        // adjusting widgets to the window's state
  bool dragging[2] = {false, false};
  int trackPos[2] = {0, 0};
  int pendingWidth = -1;  // the drawing area's newest allocation
  int pendingHeight = -1;
  guint resizeIdle = 0;
  bool holdingSize = false;  // the drawing area asks for the initial client size
  int defaultButton = IDOK;
};

Presentation* presentationOf(Window& w) { return static_cast<Presentation*>(w.hostData); }

Window* liveWindow(HWND handle) {
  Window* w = windowFromHandle(handle);
  return w != nullptr && w->hostData != nullptr ? w : nullptr;
}

// "&File" becomes "_File"; "&&" stays a literal '&'; text after a tab (an
// accelerator's name) is dropped.
std::string mnemonicText(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size() && text[i] != '\t'; ++i) {
    char c = text[i];
    if (c == '&' && i + 1 < text.size() && text[i + 1] == '&') {
      out += '&';
      ++i;
    } else if (c == '&') {
      out += '_';
    } else if (c == '_') {
      out += "__";
    } else {
      out += c;
    }
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

void setWindowIcon(GtkWindow* top, HICON icon) {
  IconObject* object = iconFromHandle(icon);
  if (object == nullptr) return;
  GList* list = nullptr;
  for (const IconImage& image : object->images) list = g_list_append(list, pixbufOf(image));
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

// ---- menus ----

void onMenuItem(GtkMenuItem* item, gpointer handle) {
  auto id = GPOINTER_TO_UINT(g_object_get_data(G_OBJECT(item), "command"));
  Window* w = liveWindow(static_cast<HWND>(handle));
  if (w != nullptr && w->enabled) PostMessageA(w->handle, WM_COMMAND, MAKEWPARAM(id, 0), 0);
}

void addMenuItems(GtkMenuShell* shell, const std::vector<MenuItemResource>& items, HWND handle) {
  for (const MenuItemResource& item : items) {
    GtkWidget* widget = nullptr;
    if (item.flags & MF_SEPARATOR) {
      widget = gtk_separator_menu_item_new();
    } else {
      widget = gtk_menu_item_new_with_mnemonic(mnemonicText(item.text).c_str());
      gtk_widget_set_sensitive(widget, !(item.flags & (MF_GRAYED | MF_DISABLED)));
    }
    if (item.flags & MF_POPUP) {
      GtkWidget* submenu = gtk_menu_new();
      addMenuItems(GTK_MENU_SHELL(submenu), item.children, handle);
      gtk_menu_item_set_submenu(GTK_MENU_ITEM(widget), submenu);
    } else if (!(item.flags & MF_SEPARATOR)) {
      g_object_set_data(G_OBJECT(widget), "command", GUINT_TO_POINTER(item.id));
      g_signal_connect(widget, "activate", G_CALLBACK(onMenuItem), handle);
    }
    gtk_menu_shell_append(shell, widget);
  }
}

// ---- the client area ----

gboolean onDraw(GtkWidget*, cairo_t* cr, gpointer handle) {
  Window* w = liveWindow(static_cast<HWND>(handle));
  if (w == nullptr || w->clientWidth == 0 || w->clientHeight == 0) return TRUE;
  cairo_surface_t* surface = cairo_image_surface_create_for_data(
      reinterpret_cast<unsigned char*>(w->pixels.data()), CAIRO_FORMAT_RGB24, w->clientWidth,
      w->clientHeight, w->clientWidth * 4);
  cairo_set_source_surface(cr, surface, 0, 0);
  cairo_paint(cr);
  cairo_surface_destroy(surface);
  return TRUE;
}

// The user resized the window: the drawing area's new size is the client
// area's, and the outer size follows from it.
gboolean applyResize(gpointer handle) {
  Window* w = liveWindow(static_cast<HWND>(handle));
  if (w == nullptr) return G_SOURCE_REMOVE;
  Presentation* p = presentationOf(*w);
  p->resizeIdle = 0;
  if (p->holdingSize) {
    p->holdingSize = false;
    gtk_widget_set_size_request(p->area, 1, 1);
  }
  if (p->pendingWidth == w->clientWidth && p->pendingHeight == w->clientHeight)
    return G_SOURCE_REMOVE;
  int width =
      p->pendingWidth + 2 * metrics::kFrame + (w->bars[SB_VERT].visible ? metrics::kScrollBar : 0);
  int height = p->pendingHeight + 2 * metrics::kFrame + metrics::kCaption +
               (w->menu != nullptr ? metrics::kMenu : 0) +
               (w->bars[SB_HORZ].visible ? metrics::kScrollBar : 0);
  setOuterSize(*w, width, height);
  return G_SOURCE_REMOVE;
}

void onAreaAllocated(GtkWidget*, GdkRectangle* allocation, gpointer handle) {
  Window* w = liveWindow(static_cast<HWND>(handle));
  if (w == nullptr || !w->visible) return;
  Presentation* p = presentationOf(*w);
  p->pendingWidth = allocation->width;
  p->pendingHeight = allocation->height;
  if (p->resizeIdle == 0) p->resizeIdle = g_idle_add(applyResize, handle);
}

gboolean onDelete(GtkWidget*, GdkEvent*, gpointer handle) {
  Window* w = liveWindow(static_cast<HWND>(handle));
  if (w != nullptr && w->enabled) PostMessageA(w->handle, WM_CLOSE, 0, 0);
  return TRUE;
}

// ---- scroll bars ----

int scrollCode(GtkScrollType type) {
  switch (type) {
    case GTK_SCROLL_STEP_BACKWARD:
    case GTK_SCROLL_STEP_UP:
    case GTK_SCROLL_STEP_LEFT:
      return SB_LINEUP;
    case GTK_SCROLL_STEP_FORWARD:
    case GTK_SCROLL_STEP_DOWN:
    case GTK_SCROLL_STEP_RIGHT:
      return SB_LINEDOWN;
    case GTK_SCROLL_PAGE_BACKWARD:
    case GTK_SCROLL_PAGE_UP:
    case GTK_SCROLL_PAGE_LEFT:
      return SB_PAGEUP;
    case GTK_SCROLL_PAGE_FORWARD:
    case GTK_SCROLL_PAGE_DOWN:
    case GTK_SCROLL_PAGE_RIGHT:
      return SB_PAGEDOWN;
    case GTK_SCROLL_START:
      return SB_TOP;
    case GTK_SCROLL_END:
      return SB_BOTTOM;
    default:
      return SB_THUMBTRACK;
  }
}

int barOf(GtkWidget* widget) { return GPOINTER_TO_INT(g_object_get_data(G_OBJECT(widget), "bar")); }

void postScroll(Window& w, int bar, int code, int position) {
  PostMessageA(w.handle, bar == SB_HORZ ? WM_HSCROLL : WM_VSCROLL,
               MAKEWPARAM(code, static_cast<WORD>(position)), 0);
}

// A thumb drag moves the thumb and reports SB_THUMBTRACK; every other action
// is reported and left to the window, which sets the position itself.
gboolean onChangeValue(GtkRange* range, GtkScrollType type, gdouble value, gpointer handle) {
  Window* w = liveWindow(static_cast<HWND>(handle));
  if (w == nullptr) return TRUE;
  Presentation* p = presentationOf(*w);
  int bar = barOf(GTK_WIDGET(range));
  int code = scrollCode(type);
  if (code != SB_THUMBTRACK) {
    postScroll(*w, bar, code, 0);
    return TRUE;
  }
  const ScrollBarState& state = w->bars[bar];
  int position = std::clamp(static_cast<int>(value + 0.5), state.minPos, state.maxPos);
  p->dragging[bar] = true;
  p->trackPos[bar] = position;
  p->syncing = true;
  gtk_range_set_value(range, position);
  p->syncing = false;
  postScroll(*w, bar, SB_THUMBTRACK, position);
  return TRUE;
}

gboolean onBarReleased(GtkWidget* widget, GdkEventButton*, gpointer handle) {
  Window* w = liveWindow(static_cast<HWND>(handle));
  if (w == nullptr) return FALSE;
  Presentation* p = presentationOf(*w);
  int bar = barOf(widget);
  if (p->dragging[bar]) {
    p->dragging[bar] = false;
    postScroll(*w, bar, SB_THUMBPOSITION, p->trackPos[bar]);
  }
  postScroll(*w, bar, SB_ENDSCROLL, 0);
  return FALSE;
}

GtkWidget* newScrollBar(int bar, HWND handle) {
  GtkOrientation orientation =
      bar == SB_HORZ ? GTK_ORIENTATION_HORIZONTAL : GTK_ORIENTATION_VERTICAL;
  GtkAdjustment* adjustment = gtk_adjustment_new(0, 0, 100, 1, 10, 0);
  GtkWidget* widget = gtk_scrollbar_new(orientation, adjustment);
  g_object_set_data(G_OBJECT(widget), "bar", GINT_TO_POINTER(bar));
  applyCss(widget, kScrollBarCss);
  gtk_widget_set_no_show_all(widget, TRUE);
  g_signal_connect(widget, "change-value", G_CALLBACK(onChangeValue), handle);
  g_signal_connect(widget, "button-release-event", G_CALLBACK(onBarReleased), handle);
  return widget;
}

void syncScrollBars(Window& w) {
  Presentation* p = presentationOf(w);
  p->syncing = true;
  for (int bar : {SB_HORZ, SB_VERT}) {
    GtkWidget* widget = p->bars[bar];
    if (widget == nullptr) continue;
    const ScrollBarState& state = w.bars[bar];
    GtkAdjustment* adjustment = gtk_range_get_adjustment(GTK_RANGE(widget));
    if (!p->dragging[bar])
      gtk_adjustment_configure(adjustment, state.pos, state.minPos, state.maxPos, 1, 10, 0);
    gtk_widget_set_visible(widget, state.visible);
  }
  p->syncing = false;
}

// ---- windows ----

void buildMainWindow(Window& w, Presentation& p) {
  GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
  gtk_container_add(GTK_CONTAINER(p.top), box);
  if (w.menu != nullptr) {
    p.menuBar = gtk_menu_bar_new();
    addMenuItems(GTK_MENU_SHELL(p.menuBar), w.menu->items, w.handle);
    gtk_box_pack_start(GTK_BOX(box), p.menuBar, FALSE, FALSE, 0);
  }
  GtkWidget* grid = gtk_grid_new();
  gtk_box_pack_start(GTK_BOX(box), grid, TRUE, TRUE, 0);
  p.area = gtk_drawing_area_new();
  gtk_widget_set_hexpand(p.area, TRUE);
  gtk_widget_set_vexpand(p.area, TRUE);
  g_signal_connect(p.area, "draw", G_CALLBACK(onDraw), w.handle);
  g_signal_connect(p.area, "size-allocate", G_CALLBACK(onAreaAllocated), w.handle);
  gtk_grid_attach(GTK_GRID(grid), p.area, 0, 0, 1, 1);
  p.bars[SB_VERT] = newScrollBar(SB_VERT, w.handle);
  p.bars[SB_HORZ] = newScrollBar(SB_HORZ, w.handle);
  gtk_grid_attach(GTK_GRID(grid), p.bars[SB_VERT], 1, 0, 1, 1);
  gtk_grid_attach(GTK_GRID(grid), p.bars[SB_HORZ], 0, 1, 1, 1);
  setWindowIcon(GTK_WINDOW(p.top), w.icon);
}

gboolean onDialogKey(GtkWidget*, GdkEventKey* event, gpointer handle) {
  Window* w = liveWindow(static_cast<HWND>(handle));
  if (w == nullptr) return FALSE;
  if (event->keyval == GDK_KEY_Escape) {
    PostMessageA(w->handle, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    return TRUE;
  }
  if (event->keyval == GDK_KEY_Return || event->keyval == GDK_KEY_KP_Enter) {
    PostMessageA(w->handle, WM_COMMAND, MAKEWPARAM(presentationOf(*w)->defaultButton, BN_CLICKED),
                 0);
    return TRUE;
  }
  return FALSE;
}

void buildDialogWindow(Window& w, Presentation& p) {
  // A layout, unlike a fixed container, does not grow with its children's
  // wishes: the dialog keeps its template size.
  p.fixed = gtk_layout_new(nullptr, nullptr);
  gtk_layout_set_size(GTK_LAYOUT(p.fixed), w.clientWidth, w.clientHeight);
  gtk_widget_set_size_request(p.fixed, w.clientWidth, w.clientHeight);
  gtk_container_add(GTK_CONTAINER(p.top), p.fixed);
  gtk_window_set_resizable(GTK_WINDOW(p.top), FALSE);
  gtk_window_set_type_hint(GTK_WINDOW(p.top), GDK_WINDOW_TYPE_HINT_DIALOG);
  gtk_window_set_modal(GTK_WINDOW(p.top), TRUE);
  gtk_window_set_skip_taskbar_hint(GTK_WINDOW(p.top), TRUE);
  if (Window* owner = liveWindow(w.owner)) {
    gtk_window_set_transient_for(GTK_WINDOW(p.top), GTK_WINDOW(presentationOf(*owner)->top));
    gtk_window_set_destroy_with_parent(GTK_WINDOW(p.top), TRUE);
  }
  gtk_window_move(GTK_WINDOW(p.top), w.windowRect.left, w.windowRect.top);
  g_signal_connect(p.top, "key-press-event", G_CALLBACK(onDialogKey), w.handle);
}

bool createWindow(Window& w) {
  auto* p = new Presentation{w.handle};
  w.hostData = p;
  p->top = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_title(GTK_WINDOW(p->top), w.title.c_str());
  g_signal_connect(p->top, "delete-event", G_CALLBACK(onDelete), w.handle);
  if (w.className == kDialogClass)
    buildDialogWindow(w, *p);
  else
    buildMainWindow(w, *p);
  if (!w.placedByDefault) gtk_window_move(GTK_WINDOW(p->top), w.windowRect.left, w.windowRect.top);
  return true;
}

void destroyWindow(Window& w) {
  Presentation* p = presentationOf(w);
  if (p == nullptr) return;
  w.hostData = nullptr;
  if (p->resizeIdle != 0) g_source_remove(p->resizeIdle);
  gtk_widget_destroy(p->top);
  delete p;
}

void onButtonClicked(GtkButton* button, gpointer handle) {
  int id = GPOINTER_TO_INT(g_object_get_data(G_OBJECT(button), "command"));
  Window* w = liveWindow(static_cast<HWND>(handle));
  if (w != nullptr) PostMessageA(w->handle, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
}

GtkWidget* newButton(const DialogControl& c, Presentation& p, HWND handle) {
  GtkWidget* button = gtk_button_new_with_mnemonic(mnemonicText(c.text).c_str());
  g_object_set_data(G_OBJECT(button), "command", GINT_TO_POINTER(c.id));
  g_signal_connect(button, "clicked", G_CALLBACK(onButtonClicked), handle);
  if ((c.style & BS_TYPEMASK) == BS_DEFPUSHBUTTON) {
    p.defaultButton = c.id;
    gtk_widget_set_can_default(button, TRUE);
    gtk_style_context_add_class(gtk_widget_get_style_context(button), "suggested-action");
  }
  return button;
}

GtkWidget* newLabel(const DialogControl& c) {
  GtkWidget* label = gtk_label_new(nullptr);
  gtk_label_set_text_with_mnemonic(GTK_LABEL(label), mnemonicText(c.text).c_str());
  DWORD align = c.style & SS_TYPEMASK;
  gtk_label_set_xalign(GTK_LABEL(label), align == SS_RIGHT ? 1.0f : align == SS_CENTER ? 0.5f : 0);
  gtk_label_set_yalign(GTK_LABEL(label), 0);
  gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
  gtk_label_set_max_width_chars(GTK_LABEL(label), 1);
  gtk_label_set_justify(GTK_LABEL(label), align == SS_RIGHT    ? GTK_JUSTIFY_RIGHT
                                          : align == SS_CENTER ? GTK_JUSTIFY_CENTER
                                                               : GTK_JUSTIFY_LEFT);
  return label;
}

GtkWidget* newIcon(const DialogControl& c, HINSTANCE instance) {
  const IconImage* image = iconImage(LoadIconA(instance, c.text.c_str()), metrics::kIcon);
  if (image == nullptr) return gtk_image_new();
  GdkPixbuf* pixbuf = pixbufOf(*image);
  GtkWidget* widget = gtk_image_new_from_pixbuf(pixbuf);
  g_object_unref(pixbuf);
  return widget;
}

GtkWidget* newControl(const DialogControl& c, Presentation& p, Window& w) {
  if (c.className == "BUTTON") {
    DWORD type = c.style & BS_TYPEMASK;
    if (type == BS_GROUPBOX) return gtk_frame_new(c.text.empty() ? nullptr : c.text.c_str());
    return newButton(c, p, w.handle);
  }
  if (c.className == "STATIC" && (c.style & SS_TYPEMASK) == SS_ICON) return newIcon(c, w.instance);
  return newLabel(c);
}

void controlsCreated(Window& w) {
  Presentation* p = presentationOf(w);
  if (p == nullptr || p->fixed == nullptr) return;
  for (const DialogControl& c : w.controls) {
    GtkWidget* widget = newControl(c, *p, w);
    gtk_widget_set_size_request(widget, c.rect.right - c.rect.left, c.rect.bottom - c.rect.top);
    gtk_layout_put(GTK_LAYOUT(p->fixed), widget, c.rect.left, c.rect.top);
  }
  applyCssToTree(p->top, const_cast<char*>(kDialogCss));
}

// A new window opens with its client area at the size the window layer gave
// it: the drawing area asks for that size until its first allocation, then
// lets the user make the window smaller.
void showWindow(Window& w, bool show) {
  Presentation* p = presentationOf(w);
  if (p == nullptr) return;
  if (!show) {
    gtk_widget_hide(p->top);
    return;
  }
  if (p->area != nullptr && !gtk_widget_get_realized(p->top)) {
    syncScrollBars(w);
    gtk_widget_set_size_request(p->area, w.clientWidth, w.clientHeight);
    p->holdingSize = true;
  }
  gtk_widget_show_all(p->top);
  gtk_window_present(GTK_WINDOW(p->top));
}

void enableWindow(Window& w, bool enable) {
  if (Presentation* p = presentationOf(w)) gtk_widget_set_sensitive(p->top, enable);
}

void pixelsChanged(Window& w, const RECT& r) {
  Presentation* p = presentationOf(w);
  if (p == nullptr || p->area == nullptr) return;
  gtk_widget_queue_draw_area(p->area, r.left, r.top, r.right - r.left, r.bottom - r.top);
}

void layoutChanged(Window& w) {
  Presentation* p = presentationOf(w);
  if (p == nullptr || p->area == nullptr) return;
  syncScrollBars(w);
  gtk_widget_queue_draw(p->area);
}

gboolean deadlinePassed(gpointer) { return G_SOURCE_REMOVE; }

void waitForEvents(MessageQueue& queue, Deadline deadline) {
  {
    std::lock_guard lock(queue.mutex);
    if (!queue.posted.empty() || !queue.sent.empty() || queue.quitPosted) return;
  }
  guint timeout = 0;
  if (deadline != Deadline::max()) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return;
    timeout = g_timeout_add(static_cast<guint>(left.count()), deadlinePassed, nullptr);
  }
  g_main_context_iteration(nullptr, TRUE);
  if (timeout != 0) {
    GSource* source = g_main_context_find_source_by_id(nullptr, timeout);
    if (source != nullptr) g_source_destroy(source);
  }
}

void wake() { g_main_context_wakeup(nullptr); }

WindowHost* startGtk() {
  // The layer draws with cairo on images, never with OpenGL. Left alone, GDK
  // opens GLX at start only to choose a visual, which on a software renderer
  // loads LLVM: 50 MB and tens of milliseconds. A GDK_GL the user set stands.
  g_setenv("GDK_GL", "disable", FALSE);
  if (!gtk_init_check(nullptr, nullptr)) return nullptr;
  loseWindowsWithTheDisplay(gdk_display_get_default());
  // Clicking a scroll bar's trough pages, as on Windows, instead of jumping there.
  g_object_set(gtk_settings_get_default(), "gtk-primary-button-warps-slider", FALSE, nullptr);
  GdkRectangle screen{0, 0, 1024, 768};
  GdkDisplay* display = gdk_display_get_default();
  GdkMonitor* monitor = gdk_display_get_primary_monitor(display);
  if (monitor == nullptr) monitor = gdk_display_get_monitor(display, 0);
  if (monitor != nullptr) gdk_monitor_get_geometry(monitor, &screen);
  static WindowHost host{createWindow, destroyWindow, controlsCreated, showWindow,
                         enableWindow, pixelsChanged, layoutChanged,   waitForEvents,
                         wake,         screen.width,  screen.height};
  return &host;
}

}  // namespace

WindowHost* gtkHost() {
  static WindowHost* host = startGtk();
  return host;
}
