// The program's run from entry to exit: start-up in a fixed order, the
// message loop, and shutdown in a fixed order on every way out.
#pragma once

#include "platform/win32.h"

// The system timer resolution held for the whole run, in milliseconds.
inline constexpr UINT kTimerResolutionMs = 10;

// Extracts the song, holds the timer resolution, loads the animation,
// registers the window class and shows the window; 1 when the window runs,
// 0 when a step failed.
int startUp(HINSTANCE instance, int showCommand);
// Dispatches messages until WM_QUIT; returns its exit code.
int runMessageLoop();
// Releases everything start-up made, whatever it reached; returns exitCode.
int shutDown(int exitCode);
// The whole run; returns the program's exit code.
int runPlayer(HINSTANCE instance, int showCommand);
