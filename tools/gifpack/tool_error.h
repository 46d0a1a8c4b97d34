// How gifpack reports what stops it: a usage error (exit 1) or a refusal or
// failure tied to one file (exit 2). main() prints the one line and exits.
#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>

#include "tools/gifpack/utf8_path.h"

inline constexpr int kExitDone = 0;
inline constexpr int kExitUsage = 1;
inline constexpr int kExitRefused = 2;

class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class FileError : public std::runtime_error {
 public:
  FileError(const std::filesystem::path& file, const std::string& what)
      : std::runtime_error(shownPath(file) + ": " + what) {}
};
