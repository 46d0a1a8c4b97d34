#include "tools/gifpack/progress.h"

#include <algorithm>
#include <iostream>
#include <utility>

#include "tools/gifpack/files.h"

namespace {

constexpr std::chrono::milliseconds kDelay{1000};
constexpr std::chrono::milliseconds kUpdateInterval{100};

}  // namespace

Progress::Progress(std::string task, int64_t total)
    : Progress(std::cerr, stderrIsTerminal(), std::move(task), total, kDelay) {}

Progress::Progress(std::ostream& out, bool terminal, std::string task, int64_t total,
                   std::chrono::milliseconds delay)
    : out_(out),
      terminal_(terminal),
      task_(std::move(task)),
      total_(total),
      showFrom_(Clock::now() + delay),
      nextUpdate_(showFrom_) {}

Progress::~Progress() {
  if (shownLength_ == 0) return;
  out_ << '\r' << std::string(shownLength_, ' ') << '\r' << std::flush;
}

void Progress::advance(int64_t done) {
  if (!terminal_) return;
  Clock::time_point now = Clock::now();
  if (now < nextUpdate_) return;
  nextUpdate_ = now + kUpdateInterval;
  std::string line =
      "gifpack: " + task_ + ": " + std::to_string(done) + " of " + std::to_string(total_);
  size_t length = line.size();
  if (length < shownLength_) line.append(shownLength_ - length, ' ');
  out_ << '\r' << line << std::flush;
  shownLength_ = std::max(shownLength_, length);
}
