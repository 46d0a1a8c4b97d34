// The host for tests and for running without a display: windows exist only in
// memory, and waiting for messages is waiting on the queue itself.
#include "window_host.h"

namespace {

bool createWindow(Window&) { return true; }
void destroyWindow(Window&) {}
void controlsCreated(Window&) {}
void showWindow(Window&, bool) {}
void enableWindow(Window&, bool) {}
void pixelsChanged(Window&, const RECT&) {}
void layoutChanged(Window&) {}

void waitForEvents(MessageQueue& queue, Deadline deadline) {
  std::unique_lock lock(queue.mutex);
  auto ready = [&] { return !queue.posted.empty() || !queue.sent.empty() || queue.quitPosted; };
  if (deadline == Deadline::max())
    queue.arrived.wait(lock, ready);
  else
    queue.arrived.wait_until(lock, deadline, ready);
}

void wake() {}

}  // namespace

WindowHost* headlessHost() {
  static WindowHost host{createWindow,
                         destroyWindow,
                         controlsCreated,
                         showWindow,
                         enableWindow,
                         pixelsChanged,
                         layoutChanged,
                         waitForEvents,
                         wake,
                         1024,
                         768};
  return &host;
}
