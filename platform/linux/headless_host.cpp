// The host for tests and for running without a display: windows exist only in
// memory.
#include "window_host.h"

namespace {

bool createWindow(Window&) { return true; }
void destroyWindow(Window&) {}
void controlsCreated(Window&) {}
void showWindow(Window&, bool) {}
void enableWindow(Window&, bool) {}
void pixelsChanged(Window&, const RECT&) {}
void layoutChanged(Window&) {}

}  // namespace

WindowHost* headlessHost() {
  static WindowHost host{createWindow,  destroyWindow, controlsCreated,
                         showWindow,    enableWindow,  pixelsChanged,
                         layoutChanged, 1024,          768};
  return &host;
}
