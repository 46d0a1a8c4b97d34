// GTK presentation of the window layer (placeholder until it lands).
#include "window_host.h"

WindowHost* gtkHost() { return nullptr; }
