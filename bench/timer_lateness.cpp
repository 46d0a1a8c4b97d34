// How late one-shot multimedia timer events fire: arms a 20 ms event (or the
// delay given), waits for it, arms the next, as the animation clock does, and
// prints the lateness of each event's callback behind its due time.
//   gifplay_timer_lateness [delay_ms] [events]
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "platform/win32.h"

namespace {

using Clock = std::chrono::steady_clock;

std::atomic<int64_t> firedAt{0};

void CALLBACK onEvent(UINT, UINT, DWORD_PTR, DWORD_PTR, DWORD_PTR) {
  firedAt = Clock::now().time_since_epoch().count();
}

double percentile(std::vector<double> values, double p) {
  std::sort(values.begin(), values.end());
  size_t i = std::min(values.size() - 1, static_cast<size_t>(p * values.size()));
  return values[i];
}

}  // namespace

int main(int argc, char** argv) {
  UINT delay = argc > 1 ? static_cast<UINT>(std::atoi(argv[1])) : 20;
  int events = argc > 2 ? std::atoi(argv[2]) : 250;
  timeBeginPeriod(10);
  std::vector<double> lateness;
  for (int i = 0; i < events; ++i) {
    firedAt = 0;
    auto armed = Clock::now();
    if (timeSetEvent(delay, 10, onEvent, 0, TIME_ONESHOT) == 0) return 1;
    while (firedAt.load() == 0) std::this_thread::sleep_for(std::chrono::microseconds(200));
    auto due = armed + std::chrono::milliseconds(delay);
    auto fired = Clock::time_point(Clock::duration(firedAt.load()));
    lateness.push_back(std::chrono::duration<double, std::micro>(fired - due).count());
  }
  timeEndPeriod(10);
  std::printf(
      "%d one-shot events of %u ms: lateness median %.0f us, p90 %.0f us, p99 %.0f us, "
      "max %.0f us, min %.0f us\n",
      events, delay, percentile(lateness, 0.5), percentile(lateness, 0.9),
      percentile(lateness, 0.99), *std::max_element(lateness.begin(), lateness.end()),
      *std::min_element(lateness.begin(), lateness.end()));
  return 0;
}
