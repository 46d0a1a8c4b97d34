// kernel32 may not see the host: the room check must refuse this include.
#include "platform/linux/host/gtk_x11.h"
