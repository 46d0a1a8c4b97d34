// Runs a built program and collects what it said.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

struct ToolRun {
  int exitCode;  // -1 when it did not end normally
  std::string out;
  std::string err;
  double cpuSeconds = 0;   // user and system
  long peakKilobytes = 0;  // resident
};

ToolRun runTool(const std::filesystem::path& program, const std::vector<std::string>& args);
ToolRun runGifpack(const std::vector<std::string>& args);
