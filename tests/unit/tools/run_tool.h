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
  double seconds = 0;     // processor time, user and system
  int64_t peakBytes = 0;  // the largest resident set
};

ToolRun runTool(const std::filesystem::path& program, const std::vector<std::string>& args);
ToolRun runGifpack(const std::vector<std::string>& args);
