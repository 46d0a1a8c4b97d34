// Multimedia timers of the Linux build: events run their callbacks on one
// timer thread of ours, paced by the monotonic clock. The thread sleeps on a
// timer of the kernel (timerfd) set for the earliest event; a new earlier
// event sets it again without waking the thread, so each event costs one
// wake-up, at its time, well within a millisecond. Callbacks run outside the
// lock. The timer device takes delays and periods of 1 to 1,000,000 ms, as
// Windows' does (Wine's stops at 65,535), and refuses others.
//
// An event whose thread waits for its messages when the event comes due is
// run by that thread, woken by its wait's deadline: a callback may only post
// messages and the like, and the program's posts a message to that very
// thread, which then wakes once a frame instead of twice. The timer's alarm
// leaves out the events of waiting threads; a thread that stops waiting puts
// its events back in, so that its other waits do not hold them up.
#include "platform/linux/winmm/winmm.h"

#include "platform/linux/winmm/timer_events.h"

#include "platform/linux/user32/window_server.h"

#include <pthread.h>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

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
  std::thread::id owner;  // the thread that set it
};

class TimerThread;
TimerThread& timerThread();

class TimerThread {
 public:
  UINT add(UINT delay, LPTIMECALLBACK callback, DWORD_PTR user, bool periodic) {
    std::lock_guard lock(mutex_);
    if (!startLocked()) return 0;
    UINT id = nextId();
    auto period = std::chrono::milliseconds(periodic ? delay : 0);
    auto due = Clock::now() + std::chrono::milliseconds(delay);
    events_[id] = TimerEvent{due, period, delay, callback, user, std::this_thread::get_id()};
    if (due < armedFor_) arm(due);
    return id;
  }

  // The calling thread starts waiting for its messages: its events leave the
  // alarm, and the wait ends at the earliest of them.
  Deadline waitBegins() {
    // Woken at its events' times, as the timer thread is.
    static thread_local bool precise = prctl(PR_SET_TIMERSLACK, 1UL, 0, 0, 0) == 0;
    (void)precise;
    std::lock_guard lock(mutex_);
    auto self = std::this_thread::get_id();
    waiting_.push_back(self);
    armForTheRest();
    Deadline earliest = Deadline::max();
    for (const auto& [id, event] : events_)
      if (event.owner == self) earliest = std::min(earliest, event.due);
    return earliest;
  }

  // It stops waiting: it runs its events that are due, and the alarm takes
  // the rest of them back.
  void waitEnded() {
    std::unique_lock lock(mutex_);
    auto self = std::this_thread::get_id();
    waiting_.erase(std::find(waiting_.begin(), waiting_.end(), self));
    fireDue(lock, [self](const TimerEvent& event) { return event.owner == self; });
    armForTheRest();
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
    joinMessageWaits(
        {[] { return timerThread().waitBegins(); }, [] { timerThread().waitEnded(); }});
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

  bool ownerWaits(const TimerEvent& event) const {
    return std::find(waiting_.begin(), waiting_.end(), event.owner) != waiting_.end();
  }

  // The earliest event that matches, or the end.
  template <typename Matches>
  std::map<UINT, TimerEvent>::iterator earliest(Matches matches) {
    auto best = events_.end();
    for (auto it = events_.begin(); it != events_.end(); ++it)
      if (matches(it->second) && (best == events_.end() || it->second.due < best->second.due))
        best = it;
    return best;
  }

  // Sets the alarm for the earliest event no waiting thread will run, or
  // stops it when there is none.
  void armForTheRest() {
    auto next = earliest([this](const TimerEvent& event) { return !ownerWaits(event); });
    Clock::time_point due = next != events_.end() ? next->second.due : Clock::time_point::max();
    if (due == armedFor_) return;
    if (due != Clock::time_point::max()) {
      arm(due);
      return;
    }
    armedFor_ = due;
    itimerspec never{};
    timerfd_settime(alarm_, 0, &never, nullptr);
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

  // Runs every event that matches and is due, the earliest first.
  template <typename Matches>
  void fireDue(std::unique_lock<std::mutex>& lock, Matches matches) {
    for (;;) {
      auto next = earliest(matches);
      if (next == events_.end() || Clock::now() < next->second.due) return;
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
      fireDue(lock, [](const TimerEvent&) { return true; });
      armForTheRest();
    }
  }

  std::mutex mutex_;
  std::map<UINT, TimerEvent> events_;
  std::vector<std::thread::id> waiting_;  // threads waiting for their messages
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
