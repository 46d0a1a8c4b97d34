// Multimedia timers of the Linux build: events run their callbacks on one
// timer thread of ours, paced by the steady clock. The thread waits (and can
// be woken by new or cancelled events) until shortly before an event is due,
// then sleeps to the event's exact time on the monotonic clock, with the
// kernel's timer slack taken off, so events fire well within a millisecond
// of their time. Callbacks run outside the lock.
#include "winmm.h"

#include <pthread.h>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

constexpr UINT kMinPeriod = 1;
constexpr UINT kMaxPeriod = 1000;
constexpr UINT kMaxDelay = 1000000;
constexpr auto kFinalApproach = std::chrono::microseconds(500);
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
    events_[id] =
        TimerEvent{Clock::now() + std::chrono::milliseconds(delay), period, callback, user};
    changed_.notify_one();
    return id;
  }

  bool remove(UINT id) {
    std::lock_guard lock(mutex_);
    bool found = events_.erase(id) != 0;
    if (found) changed_.notify_one();
    return found;
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

  // Waits until the earliest event is due; false when the set changed meanwhile.
  bool waitUntilDue(std::unique_lock<std::mutex>& lock, UINT id, Clock::time_point due) {
    if (Clock::now() < due - kFinalApproach) {
      changed_.wait_until(lock, due - kFinalApproach);
      return false;
    }
    lock.unlock();
    sleepUntil(due);
    lock.lock();
    auto found = events_.find(id);
    return found != events_.end() && found->second.due == due;
  }

  static void sleepUntil(Clock::time_point due) {
    auto sinceEpoch = std::chrono::duration_cast<std::chrono::nanoseconds>(due.time_since_epoch());
    timespec at{static_cast<time_t>(sinceEpoch.count() / 1000000000),
                static_cast<long>(sinceEpoch.count() % 1000000000)};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr) != 0) {
    }
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

  void run() {
    prctl(PR_SET_TIMERSLACK, 1UL, 0, 0, 0);
    raisePriority();
    std::unique_lock lock(mutex_);
    for (;;) {
      if (events_.empty()) {
        changed_.wait(lock);
        continue;
      }
      auto next = earliest();
      UINT id = next->first;
      if (!waitUntilDue(lock, id, next->second.due)) continue;
      TimerEvent event = events_[id];
      if (event.period.count() > 0)
        events_[id].due += event.period;
      else
        events_.erase(id);
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

MMRESULT WINAPI timeSetEvent(UINT delay, UINT, LPTIMECALLBACK callback, DWORD_PTR user,
                             UINT eventType) {
  bool periodic = (eventType & TIME_PERIODIC) != 0;
  if (callback == nullptr || delay > kMaxDelay || (periodic && delay == 0)) return 0;
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
