// Stamps the animation's road on stderr, as nanoseconds of the monotonic
// clock: "arm" when a step arms the clock, "post" when the timer thread posts
// WM_TIMER, "step" when the window procedure starts the next step. Linked only
// into the benchmark's player, by wrapping the calls at link time.
#include <time.h>

#include <cstdio>

#include "platform/win32.h"

namespace {

void stamp(const char* what) {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  std::fprintf(stderr, "%s %lld\n", what,
               static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec);
}

}  // namespace

extern "C" {

void __real__Z16advanceAnimationP6HWND__(HWND window);
BOOL __real__Z12PostMessageAP6HWND__jml(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
MMRESULT __real__Z12timeSetEventjjPFvjjmmmEmj(UINT delay, UINT resolution, LPTIMECALLBACK callback,
                                              DWORD_PTR user, UINT eventType);

void __wrap__Z16advanceAnimationP6HWND__(HWND window) {
  stamp("step");
  __real__Z16advanceAnimationP6HWND__(window);
}

BOOL __wrap__Z12PostMessageAP6HWND__jml(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_TIMER) stamp("post");
  return __real__Z12PostMessageAP6HWND__jml(window, message, wParam, lParam);
}

MMRESULT __wrap__Z12timeSetEventjjPFvjjmmmEmj(UINT delay, UINT resolution, LPTIMECALLBACK callback,
                                              DWORD_PTR user, UINT eventType) {
  stamp("arm");
  return __real__Z12timeSetEventjjPFvjjmmmEmj(delay, resolution, callback, user, eventType);
}

}  // extern "C"
