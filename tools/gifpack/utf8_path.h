// File names as gifpack takes and shows them: UTF-8 text on every system, so
// that names in any script survive on Windows, whose own paths are UTF-16.
#pragma once

#include <filesystem>
#include <string>

inline std::filesystem::path pathOf(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

inline std::string shownPath(const std::filesystem::path& path) {
  std::u8string utf8 = path.u8string();
  return std::string(utf8.begin(), utf8.end());
}
