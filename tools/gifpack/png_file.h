// Writing a picture as an 8-bit RGB PNG file, row by row from the top.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>

// fillRow(y, row) puts the width × 3 bytes (red, green, blue) of row y into
// row. FileError when the file cannot be written.
void writeRgbPng(const std::filesystem::path& path, int32_t width, int32_t height,
                 const std::function<void(int32_t y, uint8_t* row)>& fillRow);
