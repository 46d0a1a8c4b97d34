// Losing the X server, as the window layer sees it: the windows are gone.
#pragma once

#include <gdk/gdk.h>

// Replaces Xlib's and GDK's ending of the process (a message and exit code 1)
// on a lost connection to the display: every window is lost instead
// (loseEveryWindow), so that the program ends through its own shutdown.
void loseWindowsWithTheDisplay(GdkDisplay* display);
