// Hand-made pieces of GIF streams for the decoder and parser tests; whole
// images come from the project's GIF writer.
#pragma once

#include <algorithm>
#include <vector>

#include "tests/support/test_support.h"
#include "tools/gifwriter/gif_writer.h"

inline Bytes word(int32_t value) {
  return {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8)};
}

// Code size byte, the codes (packed at the widths a decoder reads them with)
// in sub-blocks of blockSize bytes, and the block terminator.
inline Bytes imageData(const std::vector<int>& codes, int codeSize, size_t blockSize = 255,
                       bool terminator = true) {
  Bytes packed = gifwriter::packCodes(codes, codeSize);
  Bytes out{static_cast<uint8_t>(codeSize)};
  for (size_t at = 0; at < packed.size(); at += blockSize) {
    size_t n = std::min(blockSize, packed.size() - at);
    out.push_back(static_cast<uint8_t>(n));
    out.insert(out.end(), packed.begin() + at, packed.begin() + at + n);
  }
  if (terminator) out.push_back(0);
  return out;
}

inline Bytes descriptor(int32_t left, int32_t top, int32_t width, int32_t height,
                        uint8_t packed = 0) {
  return concat({{0x2C}, word(left), word(top), word(width), word(height), {packed}});
}

// Descriptor and LZW-coded raster of an image at (0, 0), code size 8.
inline Bytes image(int32_t width, int32_t height, const Bytes& pixels, uint8_t packed = 0) {
  return concat(
      {descriptor(0, 0, width, height, packed), imageData(gifwriter::encodeLzw(pixels, 8), 8)});
}

// Screen descriptor with a global table of 2^(n+1) entries, entry i being
// (i, 2i, 3i).
inline Bytes screen(int32_t width, int32_t height, int n = 7, const char* signature = "GIF89a") {
  Bytes out = concat(
      {bytesOf(signature), word(width), word(height), {static_cast<uint8_t>(0x80 | n), 0, 0}});
  for (int i = 0; i < 2 << n; ++i)
    out.insert(out.end(),
               {static_cast<uint8_t>(i), static_cast<uint8_t>(2 * i), static_cast<uint8_t>(3 * i)});
  return out;
}

inline Bytes graphicControl(int32_t delay) {
  return concat({{0x21, 0xF9, 4, 0}, word(delay), {0, 0}});
}
