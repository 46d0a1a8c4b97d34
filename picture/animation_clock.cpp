#include "picture/animation_clock.h"

#include <algorithm>

#include "picture/animation.h"
#include "picture/compositing.h"

int32_t currentFrame = -1;
UINT clockId = 0;

namespace {

GifFrame* frameAt(int32_t index) {
  if (animation.frames == nullptr || index >= animation.frameCount) return nullptr;
  return animation.frames[index];
}

// Canvas coordinates become client coordinates: painting draws the canvas at
// minus the scroll positions.
void canvasToClient(HWND window, RECT& rectangle) {
  int x = GetScrollPos(window, SB_HORZ);
  int y = GetScrollPos(window, SB_VERT);
  rectangle.left -= x;
  rectangle.right -= x;
  rectangle.top -= y;
  rectangle.bottom -= y;
}

}  // namespace

// A frame that cannot be shown ends the chain here: the clock stays stopped
// and the picture stays as it is for the rest of the run.
void advanceAnimation(HWND window) {
  stopClock();
  if (++currentFrame >= animation.frameCount) currentFrame = 0;
  GifFrame* frame = frameAt(currentFrame);
  if (frame == nullptr) return;
  RECT rectangle;
  IndexedBitmap* bitmap = frameRect(*frame, rectangle);
  if (bitmap == nullptr) return;
  blitBitmap(canvas, *bitmap, rectangle, 0, 0, kOpaqueCopy);
  canvasToClient(window, rectangle);
  InvalidateRect(window, &rectangle, FALSE);
  if (animation.frameCount >= 2) startClock(static_cast<UINT>(frame->delay) * 10, window);
}

// Windows refuses events below its minimum, so a frame of delay 0 would end
// the animation there: it is shown for one hundredth instead. Without the
// device's limits the delay passes as it is.
UINT boundedDelay(UINT delayMs, const TIMECAPS* caps) {
  UINT delay = std::max(delayMs, kClockResolutionMs);
  return caps != nullptr ? std::min(delay, std::max<UINT>(caps->wPeriodMax, kClockResolutionMs))
                         : delay;
}

UINT startClock(UINT delayMs, HWND window) {
  stopClock();
  TIMECAPS caps{};
  bool known = timeGetDevCaps(&caps, sizeof caps) == TIMERR_NOERROR;
  clockId = timeSetEvent(boundedDelay(delayMs, known ? &caps : nullptr), kClockResolutionMs,
                         clockCallback, reinterpret_cast<DWORD_PTR>(window), TIME_ONESHOT);
  return clockId;
}

void stopClock() {
  if (clockId != 0) timeKillEvent(clockId);
  clockId = 0;
}

void CALLBACK clockCallback(UINT eventId, UINT, DWORD_PTR user, DWORD_PTR, DWORD_PTR) {
  PostMessageA(reinterpret_cast<HWND>(user), WM_TIMER, eventId, 0);
}
