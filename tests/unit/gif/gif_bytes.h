// Small hand-made GIF pieces for the decoder and parser tests.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "tests/support/test_support.h"

namespace gifbytes {

inline Bytes word(int32_t value) {
  return {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8)};
}

// Codes packed least significant bit first, each with its own width.
inline Bytes packCodes(const std::vector<std::pair<int, int>>& codesAndWidths) {
  Bytes out;
  uint32_t bits = 0;
  int count = 0;
  for (auto [code, width] : codesAndWidths) {
    bits |= static_cast<uint32_t>(code) << count;
    count += width;
    while (count >= 8) {
      out.push_back(static_cast<uint8_t>(bits));
      bits >>= 8;
      count -= 8;
    }
  }
  if (count > 0) out.push_back(static_cast<uint8_t>(bits));
  return out;
}

inline Bytes packCodes(const std::vector<int>& codes, int width) {
  std::vector<std::pair<int, int>> withWidths;
  for (int code : codes) withWidths.emplace_back(code, width);
  return packCodes(withWidths);
}

// Data cut into sub-blocks of at most blockSize bytes, without a terminator.
inline Bytes subBlocks(const Bytes& data, size_t blockSize = 255) {
  Bytes out;
  for (size_t at = 0; at < data.size(); at += blockSize) {
    size_t n = std::min(blockSize, data.size() - at);
    out.push_back(static_cast<uint8_t>(n));
    out.insert(out.end(), data.begin() + at, data.begin() + at + n);
  }
  return out;
}

// The code stream of pixels as root codes only, with a clear code before
// the table would make the codes wider: every code is codeSize + 1 bits.
inline Bytes rootCodes(const Bytes& pixels, int codeSize, bool endCode = true) {
  const int clear = 1 << codeSize;
  const int width = codeSize + 1;
  const int perClear = (1 << width) - (clear + 2);  // the first code adds no entry
  std::vector<int> codes;
  for (size_t i = 0; i < pixels.size(); ++i) {
    if (i % perClear == 0) codes.push_back(clear);
    codes.push_back(pixels[i]);
  }
  if (endCode) codes.push_back(clear + 1);
  return packCodes(codes, width);
}

// Code size byte, sub-blocks and terminator of an image's pixels.
inline Bytes raster(const Bytes& pixels, int codeSize = 8, size_t blockSize = 255) {
  return concat(
      {{static_cast<uint8_t>(codeSize)}, subBlocks(rootCodes(pixels, codeSize), blockSize), {0}});
}

inline Bytes header(int32_t width, int32_t height, uint8_t packed,
                    const char* signature = "GIF89a") {
  return concat({bytesOf(signature), word(width), word(height), {packed, 0, 0}});
}

// 2^(n+1) entries; entry i is (i, 2i, 3i) unless given.
inline Bytes colourTable(int n) {
  Bytes out;
  for (int i = 0; i < (1 << (n + 1)); ++i)
    out.insert(out.end(),
               {static_cast<uint8_t>(i), static_cast<uint8_t>(2 * i), static_cast<uint8_t>(3 * i)});
  return out;
}

inline Bytes graphicControl(int32_t delay) {
  return concat({{0x21, 0xF9, 4, 0}, word(delay), {0, 0}});
}

inline Bytes descriptor(int32_t left, int32_t top, int32_t width, int32_t height,
                        uint8_t packed = 0) {
  return concat({{0x2C}, word(left), word(top), word(width), word(height), {packed}});
}

// A whole image: descriptor and raster.
inline Bytes image(int32_t width, int32_t height, const Bytes& pixels, uint8_t packed = 0) {
  return concat({descriptor(0, 0, width, height, packed), raster(pixels)});
}

// A header with a 256-entry global table, screen of the given size.
inline Bytes start(int32_t width, int32_t height) {
  return concat({header(width, height, 0x87), colourTable(7)});
}

}  // namespace gifbytes
