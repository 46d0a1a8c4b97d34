// What the player will do with an animation, in plain words: checked with
// the player's own loader, with a light walk of the GIF for what the loader
// does not keep.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tools/gifpack/gif_walk.h"
#include "tools/gifpack/player_load.h"

struct FrameCheck {
  WalkedFrame walked;
  bool readByPlayer = false;  // the player keeps this image as the frame of the same number
  bool hasPixels = false;     // the player's frame has pixel storage
  int32_t rowsDecoded = 0;
  bool endsInPlace = true;         // the player reads on right behind the image's data
  int coloursWithoutMatch = 0;     // own colours not found exactly in the global table
  int32_t transparentValue = 0;    // the transparent index as the player stores it
  bool transparencyShows = false;  // drawn opaquely, a transparent pixel changes the picture
  std::vector<std::string> notes;  // short notes for --info
};

struct AnimationCheck {
  WalkedGif walked;
  bool started = false;  // the player's loader succeeded
  int32_t playerFrames = 0;
  int32_t shownFrames = 0;  // frames played before a frame without pixels halts the player
  int64_t memoryBytes = 0;  // pixel storage of the player's canvas and frames
  std::vector<FrameCheck> frames;
  std::string refusal;  // empty when the player would show the animation
  std::vector<std::string> warnings;
};

// The most memory a player can have for its pictures: a 32-bit Windows
// program has 2 GiB.
inline constexpr int64_t kPlayerMemory = int64_t{1} << 31;

// "12 KB", "2049 MB": rounded up.
std::string memoryText(int64_t bytes);

// Why the player would not start with a screen of this size.
std::string screenRefusal(int64_t width, int64_t height);

// The images whose readings the check takes from the player's loader.
std::vector<AskedImage> askedImages(const WalkedGif& walked);

// Part of the analysis (analysis.h): needs the GIF walked already and loaded
// by a PlayerLoad (player_load.h) that is still alive, asked about
// askedImages(walked); readings are its readings.
AnimationCheck checkAnimation(const Bytes& gif, WalkedGif walked, bool started,
                              const std::vector<std::optional<FrameReading>>& readings);
