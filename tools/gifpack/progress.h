// A progress line for work that may take more than a second:
//
//   Progress progress("writing frames", total);
//   for (int64_t done = 1; done <= total; ++done) { work(); progress.advance(done); }
//
// It shows only when stderr is a terminal and the work has already taken a
// second, as "gifpack: writing frames: 12 of 48", rewritten in place at most
// ten times a second; it is wiped when the Progress ends, so that whatever
// gifpack says next (or an error) starts on a clean line.
#pragma once

#include <chrono>
#include <cstdint>
#include <ostream>
#include <string>

class Progress {
 public:
  Progress(std::string task, int64_t total);
  // Where the line goes, whether that is a terminal, and how long the work
  // runs before the line appears.
  Progress(std::ostream& out, bool terminal, std::string task, int64_t total,
           std::chrono::milliseconds delay);
  ~Progress();
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  void advance(int64_t done);

 private:
  using Clock = std::chrono::steady_clock;

  std::ostream& out_;
  bool terminal_;
  std::string task_;
  int64_t total_;
  Clock::time_point showFrom_;
  Clock::time_point nextUpdate_;
  size_t shownLength_ = 0;
};
