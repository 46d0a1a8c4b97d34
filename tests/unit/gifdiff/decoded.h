// One view of a decoded GIF for both decoders, so that our loader's result
// and giflib's can be compared field by field and pixel by pixel.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "tools/gifwriter/giflib_reader.h"

struct DecodedFrame {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  int delay = 0;
  bool hasPixels = false;
  gifwriter::Bytes indices;  // picture rows from the top
};

struct DecodedGif {
  int screenWidth = 0;
  int screenHeight = 0;
  std::vector<uint32_t> palette;  // red | green << 8 | blue << 16
  std::vector<DecodedFrame> frames;
};

DecodedGif fromGiflib(const gifwriter::GiflibImage& image);
// Parses the stream with parseGif from a buffer of exactly its size.
DecodedGif parseWithOurs(const gifwriter::Bytes& gif);
// Appends the stream to a file as a picture payload and loads it with
// loadAnimation; nullopt when loading fails.
std::optional<DecodedGif> loadWithOurs(const gifwriter::Bytes& gif,
                                       const std::filesystem::path& file);
// Empty when both agree; otherwise the first difference, in words.
std::string firstDifference(const DecodedGif& ours, const DecodedGif& giflib);
