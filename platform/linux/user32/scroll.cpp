// Standard scroll bars of the Linux build: ranges and positions per window.
#include "platform/linux/user32/user32.h"
#include "platform/linux/user32/window_host.h"

namespace {

ScrollBarState* scrollBar(HWND handle, int bar, Window** window = nullptr) {
  if (bar != SB_HORZ && bar != SB_VERT) return nullptr;
  Window* w = windowFromHandle(handle);
  if (w == nullptr) return nullptr;
  if (window != nullptr) *window = w;
  return &w->bars[bar];
}

}  // namespace

int WINAPI GetScrollPos(HWND handle, int bar) {
  ScrollBarState* state = scrollBar(handle, bar);
  return state != nullptr ? state->pos : 0;
}

int WINAPI SetScrollPos(HWND handle, int bar, int position, BOOL) {
  Window* w = nullptr;
  ScrollBarState* state = scrollBar(handle, bar, &w);
  if (state == nullptr) return 0;
  int previous = state->pos;
  state->pos = std::clamp(position, state->minPos, state->maxPos);
  if (WindowHost* host = activeHost()) host->layoutChanged(*w);
  return previous;
}

BOOL WINAPI GetScrollRange(HWND handle, int bar, int* minPosition, int* maxPosition) {
  ScrollBarState* state = scrollBar(handle, bar);
  if (state == nullptr || minPosition == nullptr || maxPosition == nullptr) return FALSE;
  *minPosition = state->visible ? state->minPos : 0;
  *maxPosition = state->visible ? state->maxPos : 0;
  return TRUE;
}

BOOL WINAPI SetScrollRange(HWND handle, int bar, int minPosition, int maxPosition, BOOL) {
  Window* w = nullptr;
  ScrollBarState* state = scrollBar(handle, bar, &w);
  if (state == nullptr || minPosition > maxPosition) return FALSE;
  if (static_cast<int64_t>(maxPosition) - minPosition > 0x7FFFFFFF) return FALSE;
  state->minPos = minPosition;
  state->maxPos = maxPosition;
  state->pos = std::clamp(state->pos, minPosition, maxPosition);
  state->visible = minPosition != maxPosition;
  relayout(*w);
  return TRUE;
}
