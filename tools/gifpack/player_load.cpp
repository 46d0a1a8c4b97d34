#include "tools/gifpack/player_load.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>
#include <utility>

#include "gif/frame_row_writer.h"
#include "gif/gif_animation.h"
#include "gif/gif_parser.h"
#include "payload/payload_locator.h"
#include "picture/compositing.h"

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

PlayerPictures PlayerLoad::takePictures(int32_t count) {
  PlayerPictures pictures;
  pictures.screenWidth = animation.screenWidth;
  pictures.screenHeight = animation.screenHeight;
  const PaletteTable& palette = animation.palette;
  for (int32_t value = 0; value < 256 && palette.count > 0; ++value)
    pictures.colours[static_cast<size_t>(value)] = palette.entries[value % palette.count];
  for (int32_t i = 0; i < count && i < animation.frameCount; ++i) {
    GifFrame& frame = *animation.frames[i];
    PlayerFrame taken{frame.left, frame.top, frame.width, frame.height, {}, false};
    if (frame.bitmap.storage != nullptr) {
      const uint8_t* storage = frame.bitmap.storage;
      taken.storage.assign(storage, storage + bitmapStorageBytes(frame.width, frame.height));
    }
    releaseBitmap(frame.bitmap);
    pictures.frames.push_back(std::move(taken));
  }
  return pictures;
}

PlayerCanvas::PlayerCanvas(int32_t width, int32_t height) {
  createBitmap(bitmap_, width, height);
  if (bitmap_.storage == nullptr && bitmapStorageBytes(width, height) > 0) throw std::bad_alloc();
}

PlayerCanvas::~PlayerCanvas() { releaseBitmap(bitmap_); }

RECT PlayerCanvas::draw(const PlayerFrame& frame) {
  IndexedBitmap bitmap{};
  describeBitmap(bitmap, frame.width, frame.height);
  bitmap.storage = const_cast<uint8_t*>(frame.storage.data());
  RECT rectangle{frame.left, frame.top, frame.left + frame.width, frame.top + frame.height};
  blitBitmap(bitmap_, bitmap, rectangle, 0, 0, kOpaqueCopy);
  return rectangle;
}

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
