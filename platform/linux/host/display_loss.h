// Losing the X server, as the GTK host sees it: the thread that finds the
// connection gone makes no X call again.
#pragma once

#include <gdk/gdk.h>

// Called before GTK opens the display, so that neither Xlib nor GDK can end
// the process (a message and exit code 1) on a lost connection: lost() is
// called instead, on the thread that found the connection gone, which then
// waits for ever instead of going back into Xlib, whose state is broken by
// then. That thread must hold no lock that another thread needs.
void whenDisplayLost(void (*lost)());
// The socket of an X11 display's connection, -1 on other displays.
int displayConnection(GdkDisplay* display);
