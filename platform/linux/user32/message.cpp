// Message queues of the Linux build: one per thread, filled from any thread,
// emptied in Win32's order (sent, posted, quit, paint) by its owner.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <future>
#include <type_traits>
#include <utility>

#include "platform/linux/user32/user32.h"
#include "platform/linux/user32/window_host.h"

namespace {

thread_local std::shared_ptr<MessageQueue> threadQueue;
std::atomic<const MessageWaitCompanion*> waitCompanion{nullptr};

struct Filter {
  HWND window;
  UINT first;
  UINT last;
  bool matches(const MSG& msg) const {
    if (window != nullptr && msg.hwnd != window) return false;
    if (first == 0 && last == 0) return true;
    return msg.message >= first && msg.message <= last;
  }
};

// Adds item to one of the queue's lists (posted or sent) and wakes its thread.
template <typename Item>
void push(MessageQueue& queue, std::deque<Item>& list, std::type_identity_t<Item> item) {
  {
    std::lock_guard lock(queue.mutex);
    list.push_back(std::move(item));
  }
  queue.arrived.notify_all();
}

void runSentMessages(MessageQueue& queue) {
  for (;;) {
    std::function<void()> call;
    {
      std::lock_guard lock(queue.mutex);
      if (queue.sent.empty()) return;
      call = std::move(queue.sent.front());
      queue.sent.pop_front();
    }
    call();
  }
}

bool takePosted(MessageQueue& queue, const Filter& filter, MSG& msg, bool remove) {
  std::lock_guard lock(queue.mutex);
  for (auto it = queue.posted.begin(); it != queue.posted.end(); ++it) {
    if (!filter.matches(*it)) continue;
    msg = *it;
    if (remove) queue.posted.erase(it);
    return true;
  }
  return false;
}

bool takeQuit(MessageQueue& queue, MSG& msg, bool remove) {
  std::lock_guard lock(queue.mutex);
  if (!queue.quitPosted) return false;
  msg = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(queue.quitCode), 0, 0};
  if (remove) queue.quitPosted = false;
  return true;
}

bool findPaint(const Filter& filter, MSG& msg) {
  for (HWND handle : windowsOfThisThread()) {
    Window* w = windowFromHandle(handle);
    if (w == nullptr || w->updateRects.empty()) continue;
    MSG paint{handle, WM_PAINT, 0, 0, 0};
    if (!filter.matches(paint)) continue;
    msg = paint;
    return true;
  }
  return false;
}

DWORD messageTime() {
  using namespace std::chrono;
  return static_cast<DWORD>(
      duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

bool takeWindowsLost(MessageQueue& queue) {
  std::lock_guard lock(queue.mutex);
  return std::exchange(queue.windowsLost, false);
}

// The next message in Win32's order: sent, posted, the quit request, paint.
// Lost windows go first, through their ordinary destruction.
bool nextMessage(MSG& msg, const Filter& filter, bool remove) {
  auto queue = currentQueue();
  if (takeWindowsLost(*queue)) {
    destroyWindowsOfThisThread();
    PostQuitMessage(0);
  }
  runSentMessages(*queue);
  if (takePosted(*queue, filter, msg, remove)) return true;
  if (takeQuit(*queue, msg, remove)) return true;
  if (findPaint(filter, msg)) {
    msg.time = messageTime();
    return true;
  }
  return false;
}

// While a send to another thread waits for its answer, the sends that reach
// this thread are served, as Win32 does: two threads that send to each other
// do not wait for ever.
LRESULT awaitAnswer(MessageQueue& own, std::future<LRESULT>& answer) {
  auto answered = [&] {
    return answer.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
  };
  while (!answered()) {
    runSentMessages(own);
    std::unique_lock lock(own.mutex);
    own.arrived.wait(lock, [&] { return !own.sent.empty() || answered(); });
  }
  return answer.get();
}

}  // namespace

std::shared_ptr<MessageQueue> currentQueue() {
  if (!threadQueue) {
    threadQueue = std::make_shared<MessageQueue>();
    threadQueue->owner = std::this_thread::get_id();
  }
  return threadQueue;
}

void joinMessageWaits(MessageWaitCompanion companion) {
  waitCompanion.store(new MessageWaitCompanion(companion));  // kept: waits may still read it
}

void waitOnQueue(MessageQueue& queue, Deadline deadline) {
  const MessageWaitCompanion* companion = waitCompanion.load();
  if (companion != nullptr) deadline = std::min(deadline, companion->waitBegins());
  {
    std::unique_lock lock(queue.mutex);
    auto ready = [&] { return !queue.posted.empty() || !queue.sent.empty() || queue.quitPosted; };
    if (deadline == Deadline::max())
      queue.arrived.wait(lock, ready);
    else
      queue.arrived.wait_until(lock, deadline, ready);
  }
  if (companion != nullptr) companion->waitEnded();
}

void runOnWindowThread(HWND handle, std::function<void(Window&)> call) {
  auto queue = queueOfWindow(handle);
  if (!queue) return;
  push(*queue, queue->sent, [handle, call = std::move(call)] {
    if (Window* w = windowFromHandle(handle)) call(*w);
  });
}

// The flag is what counts; the thread message (WM_NULL, which dispatching
// ignores) only wakes a thread that waits for its queue.
void loseWindows(MessageQueue& queue) {
  {
    std::lock_guard lock(queue.mutex);
    queue.windowsLost = true;
  }
  push(queue, queue.posted, MSG{nullptr, WM_NULL, 0, 0, 0});
}

BOOL WINAPI GetMessageA(LPMSG msg, HWND window, UINT filterMin, UINT filterMax) {
  if (msg == nullptr) return -1;
  if (window != nullptr && windowFromHandle(window) == nullptr) return -1;
  Filter filter{window, filterMin, filterMax};
  auto queue = currentQueue();
  while (!nextMessage(*msg, filter, true)) waitOnQueue(*queue, Deadline::max());
  return msg->message != WM_QUIT;
}

BOOL WINAPI PeekMessageA(LPMSG msg, HWND window, UINT filterMin, UINT filterMax, UINT remove) {
  if (msg == nullptr) return FALSE;
  return nextMessage(*msg, Filter{window, filterMin, filterMax}, (remove & PM_REMOVE) != 0);
}

BOOL WINAPI TranslateMessage(const MSG* msg) {
  return msg != nullptr && msg->message == WM_KEYDOWN;
}

LRESULT WINAPI DispatchMessageA(const MSG* msg) {
  if (msg == nullptr) return 0;
  Window* w = windowFromHandle(msg->hwnd);
  return w != nullptr ? w->proc(msg->hwnd, msg->message, msg->wParam, msg->lParam) : 0;
}

void WINAPI PostQuitMessage(int exitCode) {
  auto queue = currentQueue();
  std::lock_guard lock(queue->mutex);
  queue->quitPosted = true;
  queue->quitCode = exitCode;
}

BOOL WINAPI PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto queue = window == nullptr ? currentQueue() : queueOfWindow(window);
  if (!queue) return FALSE;
  push(*queue, queue->posted, MSG{window, message, wParam, lParam, messageTime()});
  return TRUE;
}

LRESULT WINAPI SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto queue = queueOfWindow(window);
  if (!queue) return 0;
  if (queue->owner == std::this_thread::get_id())
    return windowFromHandle(window)->proc(window, message, wParam, lParam);
  auto result = std::make_shared<std::promise<LRESULT>>();
  auto answer = result->get_future();
  auto own = currentQueue();
  push(*queue, queue->sent, [=] {
    Window* w = windowFromHandle(window);
    result->set_value(w != nullptr ? w->proc(window, message, wParam, lParam) : 0);
    std::lock_guard ownLock(own->mutex);
    own->arrived.notify_all();
  });
  return awaitAnswer(*own, answer);
}
