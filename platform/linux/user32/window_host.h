// The seam between the window layer and what presents it: GTK on a display,
// or the in-process host that tests install (useWindowHost). The window layer calls
// these on the window's thread after changing its own state; a host copies
// what it needs, never keeps a Window, and turns user input back into
// messages (PostMessageA, runOnWindowThread).
#pragma once

#include <chrono>

#include "platform/linux/user32/window_server.h"

struct WindowHost {
  // Builds the host's side of a new window; false when it cannot be shown.
  bool (*createWindow)(Window& window);
  void (*destroyWindow)(Window& window);
  // A dialog's controls were created (window.controls).
  void (*controlsCreated)(Window& window);
  void (*showWindow)(Window& window, bool show);
  void (*enableWindow)(Window& window, bool enable);
  // The client pixels inside rect changed.
  void (*pixelsChanged)(Window& window, const RECT& rect);
  // Scroll bar ranges, positions or visibility changed, or the window's size.
  void (*layoutChanged)(Window& window);
  int screenWidth;
  int screenHeight;
};

// Waits for GTK to be ready on its thread (starting it if startDesktop has
// not); nullptr when no display can be opened, the display was lost, or the
// program gave the desktop up first (giveUpDesktop).
WindowHost* gtkHost();
