// The player's own view of an animation: the GIF loaded by the player's
// loader into the process-wide animation, palette and canvas, exactly as the
// player loads its picture record at start-up.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "payload/payload_locator.h"

using Bytes = std::vector<uint8_t>;

class PlayerLoad {
 public:
  explicit PlayerLoad(const Bytes& gif);
  ~PlayerLoad();
  PlayerLoad(const PlayerLoad&) = delete;
  PlayerLoad& operator=(const PlayerLoad&) = delete;

  // loadAnimation's result: false when the player would end at start-up.
  bool started() const { return started_; }

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
