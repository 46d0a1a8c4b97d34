// The player's own view of an animation: the GIF loaded by the player's
// loader into the process-wide animation, palette and canvas, exactly as the
// player loads its picture record at start-up, and what it shows copied out
// into values that outlive the load.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "payload/payload_locator.h"
#include "picture/indexed_bitmap.h"

using Bytes = std::vector<uint8_t>;

// A frame as the player draws it: its place on the screen and its bitmap's
// rows as the player stores them, bottom-up and padded.
struct PlayerFrame {
  int32_t left = 0, top = 0, width = 0, height = 0;
  Bytes storage;
  bool letGo = false;  // its pixels were let go once nothing needed them
};

// What the player shows: the colour of each pixel value, the canvas's size,
// and the frames it plays, up to the first without pixels.
struct PlayerPictures {
  int32_t screenWidth = 0, screenHeight = 0;
  // Of the palette every frame is shown in: values beyond it wrap around, as
  // the drawing does; 0 without one.
  std::array<uint32_t, 256> colours{};
  std::vector<PlayerFrame> frames;
};

// A canvas of the player's kind, of its own: it starts as value 0, as the
// player's does, and frames are drawn on it as the player plays a step.
// std::bad_alloc when it gets no storage.
class PlayerCanvas {
 public:
  PlayerCanvas(int32_t width, int32_t height);
  ~PlayerCanvas();
  PlayerCanvas(const PlayerCanvas&) = delete;
  PlayerCanvas& operator=(const PlayerCanvas&) = delete;

  // The frame copied opaquely onto the canvas at its place; the area drawn,
  // cut to the canvas.
  RECT draw(const PlayerFrame& frame);
  const IndexedBitmap& bitmap() const { return bitmap_; }

 private:
  IndexedBitmap bitmap_{};
};

class PlayerLoad {
 public:
  explicit PlayerLoad(const Bytes& gif);
  ~PlayerLoad();
  PlayerLoad(const PlayerLoad&) = delete;
  PlayerLoad& operator=(const PlayerLoad&) = delete;

  // loadAnimation's result: false when the player would end at start-up.
  bool started() const { return started_; }

  // The first count frames, the colours and the canvas's size as values;
  // each frame's bitmap is let go as it is copied, so that the frames are
  // not held twice.
  PlayerPictures takePictures(int32_t count);

 private:
  bool started_ = false;
};

// One image read again by the player's readFrame from its separator, to see
// what the player makes of its data.
struct FrameReading {
  bool begun;           // the descriptor was complete and decoding started
  bool hasPixels;       // the frame's bitmap got storage
  int32_t rowsDecoded;  // rows the decoder delivered, in the frame's row order
  size_t nextBlock;     // where the player reads the next block's introducer
  int32_t storedValue;  // what the player stores for pixels of the value asked about
};

// Reads images again one at a time from one copy of the stream. Needs a
// PlayerLoad alive: frames with their own colours are mapped to its palette.
class FrameRereader {
 public:
  explicit FrameRereader(const Bytes& gif);
  ~FrameRereader();
  FrameRereader(const FrameRereader&) = delete;
  FrameRereader& operator=(const FrameRereader&) = delete;

  // value: a pixel value of the image, 0 to 255, whose stored value is wanted.
  FrameReading read(size_t separator, int32_t value);

 private:
  PayloadBuffer buffer_;
};
