#include "tools/gifpack/player_load.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "gif/frame_row_writer.h"
#include "gif/gif_animation.h"
#include "gif/gif_parser.h"
#include "payload/payload_locator.h"

namespace {

// The GIF in a payload buffer of the player's own, as the player reads its
// picture record; data is nullptr when no block could be had.
PayloadBuffer payloadCopy(const Bytes& gif) {
  if (gif.size() > INT32_MAX) return PayloadBuffer{nullptr, 0, 0};
  PayloadBuffer buffer = makePayloadBuffer(static_cast<int32_t>(gif.size()));
  if (buffer.data != nullptr) std::memcpy(buffer.data, gif.data(), gif.size());
  return buffer;
}

}  // namespace

PlayerLoad::PlayerLoad(const Bytes& gif) {
  PayloadBuffer buffer = payloadCopy(gif);
  started_ = buffer.data != nullptr && loadAnimation(buffer) == 1;
  releasePayloadBuffer(buffer);
}

PlayerLoad::~PlayerLoad() { freeAnimation(); }

FrameRereader::FrameRereader(const Bytes& gif) : buffer_(payloadCopy(gif)) {}

FrameRereader::~FrameRereader() { releasePayloadBuffer(buffer_); }

FrameReading FrameRereader::read(size_t separator, int32_t value) {
  buffer_.position = static_cast<int32_t>(separator + 1);
  GifFrame frame{};
  describeBitmap(frame.bitmap, 0, 0);
  letGoOfFrame();
  if (buffer_.data != nullptr) readFrame(frame, buffer_);
  int32_t rows = rowsStored(frame.bitmap);
  int32_t stored = frameRowWriter.mapsColours ? frameRowWriter.colourMap[value & 0xFF] : value;
  FrameReading reading{rows >= 0, frame.bitmap.storage != nullptr, std::max(rows, 0),
                       static_cast<size_t>(buffer_.position), stored};
  letGoOfFrame();
  releaseBitmap(frame.bitmap);
  return reading;
}
