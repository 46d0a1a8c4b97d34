// Runs the decoder over hand-made image data into a bitmap and reads back
// what it stored.
#pragma once

#include <cstring>
#include <vector>

#include "gif/frame_row_writer.h"
#include "gif/lzw_decoder.h"
#include "picture/indexed_bitmap.h"
#include "tests/support/test_support.h"

namespace gifbytes {

inline constexpr uint8_t kUntouched = 0xEE;

struct Decoded {
  int16_t result = 0;
  std::vector<Bytes> rows;  // picture rows from the top, width pixels each
  int32_t position = 0;     // where the decoder left the buffer
  bool detached = false;
};

inline Decoded decodeImage(const Bytes& data, int32_t width, int32_t height,
                           int32_t interlaced = 0) {
  Bytes copy = data;  // the buffer's exact extent, so that reading past it shows
  PayloadBuffer buffer{copy.data(), static_cast<int32_t>(copy.size()), 0};
  IndexedBitmap bitmap;
  createBitmap(bitmap, width, height);
  if (bitmap.storage != nullptr)
    std::memset(bitmap.storage, kUntouched, static_cast<size_t>(bitmap.stride) * height);
  beginFrame(bitmap, interlaced);
  attachSource(buffer);
  Decoded out;
  out.result = decode(width);
  out.position = buffer.position;
  out.detached = lzwDecoder.source == nullptr;
  detachSource();
  for (int32_t y = 0; y < height && bitmap.storage != nullptr; ++y) {
    const uint8_t* row = bitmapRowAddress(bitmap, 0, height - 1 - y);
    out.rows.emplace_back(row, row + width);
  }
  frameRowWriter.target = nullptr;
  releaseBitmap(bitmap);
  return out;
}

}  // namespace gifbytes
