// A picture as an 8-bit RGB PNG file, row by row from the top.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

// The bytes of the PNG file; fillRow(y, row) puts the width × 3 bytes (red,
// green, blue) of row y into row. Empty when the PNG cannot be made.
std::vector<uint8_t> rgbPng(int32_t width, int32_t height,
                            const std::function<void(int32_t y, uint8_t* row)>& fillRow);
