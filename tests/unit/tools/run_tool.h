// Runs a built program and collects what it said.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

struct ToolRun {
  int exitCode;  // -1 when it did not end normally
  std::string out;
  std::string err;
  int64_t peakBytes = 0;  // the largest resident set
};

// Whether a run's peak memory is the program's own: the sanitizers' shadow
// memory swells every process they watch. (Times are the benchmarks'
// business: bench/rewrite_sizes.py.)
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kPeakMemoryIsTheProgramsOwn = false;
#else
inline constexpr bool kPeakMemoryIsTheProgramsOwn = true;
#endif

ToolRun runTool(const std::filesystem::path& program, const std::vector<std::string>& args);
ToolRun runGifpack(const std::vector<std::string>& args);
