// Multimedia timers of the Linux build: events run their callbacks on one
// timer thread of ours, paced by the monotonic clock. The thread sleeps on a
// timer of the kernel (timerfd) set for the earliest event; a new earlier
// event sets it again without waking the thread, so each event costs one
// wake-up, at its time, well within a millisecond. Callbacks run outside the
// lock. The timer device takes delays and periods of 1 to 1,000,000 ms, as
// Windows' does (Wine's stops at 65,535), and refuses others.
#include "platform/linux/winmm/winmm.h"

#include "platform/linux/winmm/timer_events.h"

#include <pthread.h>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

constexpr UINT kMinPeriod = 1;
constexpr UINT kMaxPeriod = 1000000;
constexpr int kTimerThreadNice = -10;

struct TimerEvent {
  Clock::time_point due;
  std::chrono::milliseconds period;  // zero for one-shot events
  UINT delay;                        // as asked for
  LPTIMECALLBACK callback;
  DWORD_PTR user;
};

class TimerThread {
 public:
  UINT add(UINT delay, LPTIMECALLBACK callback, DWORD_PTR user, bool periodic) {
    std::lock_guard lock(mutex_);
    if (!startLocked()) return 0;
    UINT id = nextId();
    auto period = std::chrono::milliseconds(periodic ? delay : 0);
    auto due = Clock::now() + std::chrono::milliseconds(delay);
    events_[id] = TimerEvent{due, period, delay, callback, user};
    if (due < armedFor_) arm(due);
    return id;
  }

  // The alarm, if it was set for this event, wakes the thread at its time to
  // find nothing due.
  bool remove(UINT id) {
    std::lock_guard lock(mutex_);
    return events_.erase(id) != 0;
  }

  UINT delayOf(UINT id) {
    std::lock_guard lock(mutex_);
    auto it = events_.find(id);
    return it != events_.end() ? it->second.delay : 0;
  }

 private:
  UINT nextId() {
    do {
      ++lastId_;
    } while (lastId_ == 0 || events_.count(lastId_) != 0);
    return lastId_;
  }

  bool startLocked() {
    if (started_) return alarm_ >= 0;
    started_ = true;
    alarm_ = timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC);
    if (alarm_ < 0) return false;
    std::thread([this] { run(); }).detach();
    return true;
  }

  // The steady clock is the monotonic one.
  void arm(Clock::time_point due) {
    armedFor_ = due;
    auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(due.time_since_epoch()).count();
    itimerspec at{{0, 0},
                  {static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)}};
    if (at.it_value.tv_sec == 0 && at.it_value.tv_nsec == 0) at.it_value.tv_nsec = 1;  // 0 disarms
    timerfd_settime(alarm_, TFD_TIMER_ABSTIME, &at, nullptr);
  }

  void waitForAlarm() {
    uint64_t expirations = 0;
    while (read(alarm_, &expirations, sizeof expirations) < 0 && errno == EINTR) {
    }
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

  // Runs every event that is due, the earliest first.
  void fireDue(std::unique_lock<std::mutex>& lock) {
    while (!events_.empty()) {
      auto next = earliest();
      if (Clock::now() < next->second.due) return;
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

  void run() {
    prctl(PR_SET_NAME, "timer", 0, 0, 0);  // as the process's threads are listed
    prctl(PR_SET_TIMERSLACK, 1UL, 0, 0, 0);
    raisePriority();
    for (;;) {
      waitForAlarm();
      std::unique_lock lock(mutex_);
      armedFor_ = Clock::time_point::max();
      fireDue(lock);
      if (!events_.empty()) arm(earliest()->second.due);
    }
  }

  std::mutex mutex_;
  std::map<UINT, TimerEvent> events_;
  UINT lastId_ = 0;
  bool started_ = false;
  int alarm_ = -1;  // the timerfd
  Clock::time_point armedFor_ = Clock::time_point::max();
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

MMRESULT WINAPI timeEndPeriod(UINT period) { return timeBeginPeriod(period); }

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

UINT pendingEventDelay(UINT timerId) { return timerThread().delayOf(timerId); }

MMRESULT WINAPI timeKillEvent(UINT timerId) {
  return timerThread().remove(timerId) ? TIMERR_NOERROR : MMSYSERR_INVALPARAM;
}
