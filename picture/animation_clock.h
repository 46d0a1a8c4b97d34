// The animation's pace: each step composites the next frame onto the canvas,
// asks the window to repaint that area and arms a one-shot multimedia event
// for the frame's delay. The event's callback posts WM_TIMER to the window,
// whose procedure runs the next step on the main thread.
#pragma once

#include <cstdint>

#include "platform/win32.h"

// The resolution of every clock event, matching the system timer resolution
// that start-up holds for the whole run.
inline constexpr UINT kClockResolutionMs = 10;

// The frame shown last; -1 before the first step, so that it shows frame 0.
extern int32_t currentFrame;
// The pending one-shot event; 0 when none is pending.
extern UINT clockId;

void advanceAnimation(HWND window);
// The wait the timer device is asked for: never shorter than the clock's
// resolution, and never longer than the device takes (caps; nullptr when its
// limits are unknown).
UINT boundedDelay(UINT delayMs, const TIMECAPS* caps);
// Arms the clock for delayMs, raised to the clock's resolution and cut to the
// longest delay that the timer device takes.
UINT startClock(UINT delayMs, HWND window);
void stopClock();
// Runs on whichever thread the platform runs timer events on: posts WM_TIMER
// and touches nothing else.
void CALLBACK clockCallback(UINT eventId, UINT message, DWORD_PTR user, DWORD_PTR reserved1,
                            DWORD_PTR reserved2);
