// Counts in words: "1 frame", "48 frames".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

inline std::string counted(uint64_t count, std::string_view noun) {
  return std::to_string(count) + " " + std::string(noun) + (count == 1 ? "" : "s");
}

// A picture's size: "320 x 240".
inline std::string sizeText(int64_t width, int64_t height) {
  return std::to_string(width) + " x " + std::to_string(height);
}
