// The seam between the window layer and what presents it: GTK on a display,
// or the in-process host that tests install (useWindowHost). The window layer calls
// these after changing its own state; a host turns user input back into
// messages through the window layer's own functions.
#pragma once

#include <chrono>

#include "window_server.h"

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
  // Blocks until a message may have arrived in queue, input was handled, or
  // the deadline passed.
  void (*waitForEvents)(MessageQueue& queue, Deadline deadline);
  // Called from any thread after something was put into a queue.
  void (*wake)();
  int screenWidth;
  int screenHeight;
};

// nullptr when no display can be opened.
WindowHost* gtkHost();
