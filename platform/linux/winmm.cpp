// Multimedia timers of the Linux build: events run their callbacks on one
// timer thread of ours, paced by the steady clock. The thread sleeps until
// the earliest event is due (on the monotonic clock, with the kernel's timer
// slack taken off, so events fire well within a millisecond of their time)
// and is woken only when an earlier event is added. Callbacks run outside the
// lock. The timer device takes delays and periods of 1 to 65,535 ms, as
// Wine's does, and refuses others as Windows does.
#include "winmm.h"

#include <pthread.h>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

constexpr UINT kMinPeriod = 1;
constexpr UINT kMaxPeriod = 65535;
constexpr int kTimerThreadNice = -10;

struct TimerEvent {
  Clock::time_point due;
  std::chrono::milliseconds period;  // zero for one-shot events
  LPTIMECALLBACK callback;
  DWORD_PTR user;
};

class TimerThread {
 public:
  UINT add(UINT delay, LPTIMECALLBACK callback, DWORD_PTR user, bool periodic) {
    std::lock_guard lock(mutex_);
    startLocked();
    UINT id = nextId();
    auto period = std::chrono::milliseconds(periodic ? delay : 0);
    auto due = Clock::now() + std::chrono::milliseconds(delay);
    events_[id] = TimerEvent{due, period, callback, user};
    if (due < sleepingUntil_) changed_.notify_one();
    return id;
  }

  // The thread, if it sleeps for this event, wakes at its time to find
  // nothing due and sleeps on.
  bool remove(UINT id) {
    std::lock_guard lock(mutex_);
    return events_.erase(id) != 0;
  }

 private:
  UINT nextId() {
    do {
      ++lastId_;
    } while (lastId_ == 0 || events_.count(lastId_) != 0);
    return lastId_;
  }

  void startLocked() {
    if (started_) return;
    started_ = true;
    std::thread([this] { run(); }).detach();
  }

  std::map<UINT, TimerEvent>::iterator earliest() {
    auto best = events_.begin();
    for (auto it = events_.begin(); it != events_.end(); ++it)
      if (it->second.due < best->second.due) best = it;
    return best;
  }

  // Windows runs its timer thread at time-critical priority; here the lowest
  // real-time priority, or a better nice value, where the system grants it
  // (a busy machine otherwise delays events by milliseconds). Callbacks are
  // short: the program's only posts a message.
  static void raisePriority() {
    sched_param lowestRealTime{sched_get_priority_min(SCHED_FIFO)};
    if (pthread_setschedparam(pthread_self(), SCHED_FIFO, &lowestRealTime) == 0) return;
    setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), kTimerThreadNice);
  }

  // Sleeps until the earliest event is due, or until an earlier one is added.
  void sleepUntilDue(std::unique_lock<std::mutex>& lock, Clock::time_point due) {
    sleepingUntil_ = due;
    if (due == Clock::time_point::max())
      changed_.wait(lock);
    else
      changed_.wait_until(lock, due);
    sleepingUntil_ = Clock::time_point::min();
  }

  void run() {
    prctl(PR_SET_TIMERSLACK, 1UL, 0, 0, 0);
    raisePriority();
    std::unique_lock lock(mutex_);
    for (;;) {
      if (events_.empty()) {
        sleepUntilDue(lock, Clock::time_point::max());
        continue;
      }
      auto next = earliest();
      if (Clock::now() < next->second.due) {
        sleepUntilDue(lock, next->second.due);
        continue;
      }
      UINT id = next->first;
      TimerEvent event = next->second;
      if (event.period.count() > 0)
        next->second.due += event.period;
      else
        events_.erase(next);
      lock.unlock();
      event.callback(id, 0, event.user, 0, 0);
      lock.lock();
    }
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  std::map<UINT, TimerEvent> events_;
  UINT lastId_ = 0;
  bool started_ = false;
  // While the thread runs (not sleeping), min: it looks at the events anyway.
  Clock::time_point sleepingUntil_ = Clock::time_point::min();
};

// Never destroyed: the thread may still be running when the process exits.
TimerThread& timerThread() {
  static auto* thread = new TimerThread;
  return *thread;
}

}  // namespace

MMRESULT WINAPI timeBeginPeriod(UINT period) {
  return period >= kMinPeriod && period <= kMaxPeriod ? TIMERR_NOERROR : TIMERR_NOCANDO;
}

MMRESULT WINAPI timeEndPeriod(UINT period) {
  return period >= kMinPeriod && period <= kMaxPeriod ? TIMERR_NOERROR : TIMERR_NOCANDO;
}

MMRESULT WINAPI timeGetDevCaps(LPTIMECAPS caps, UINT size) {
  if (caps == nullptr || size < sizeof(TIMECAPS)) return TIMERR_NOCANDO;
  *caps = TIMECAPS{kMinPeriod, kMaxPeriod};
  return TIMERR_NOERROR;
}

MMRESULT WINAPI timeSetEvent(UINT delay, UINT, LPTIMECALLBACK callback, DWORD_PTR user,
                             UINT eventType) {
  bool periodic = (eventType & TIME_PERIODIC) != 0;
  if (callback == nullptr || delay < kMinPeriod || delay > kMaxPeriod) return 0;
  if ((eventType & ~static_cast<UINT>(TIME_PERIODIC | TIME_KILL_SYNCHRONOUS)) != 0) return 0;
  return timerThread().add(delay, callback, user, periodic);
}

MMRESULT WINAPI timeKillEvent(UINT timerId) {
  return timerThread().remove(timerId) ? TIMERR_NOERROR : MMSYSERR_INVALPARAM;
}

DWORD WINAPI timeGetTime() {
  using namespace std::chrono;
  return static_cast<DWORD>(duration_cast<milliseconds>(Clock::now().time_since_epoch()).count());
}
