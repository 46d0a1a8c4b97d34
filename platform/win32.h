// The one header through which the program reaches the Win32 API.
// On Windows it is the real API; elsewhere it is our own implementation of
// the subset the program uses, with the same names, types and values.
#pragma once

#ifdef _WIN32
#include <windows.h>  // first: the other Windows headers need its types

#include <mmsystem.h>
#else
#include "linux/win32_types.h"  // first: the types of all the others

#include "linux/gdi32/gdi32.h"
#include "linux/kernel32/kernel32.h"
#include "linux/user32/user32.h"
#include "linux/winmm/winmm.h"
#endif
