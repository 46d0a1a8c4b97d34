// A light walk over a GIF's blocks, for what the player's loader does not
// keep: graphic control flags, local colour tables, where each image's data
// ends, and whether the stream is cut short. Pixels are not decoded here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

struct WalkedFrame {
  size_t separator = 0;  // offset of the image separator
  size_t end = 0;        // just behind the block terminator; the stream's size when cut short
  int left = 0, top = 0, width = 0, height = 0;
  bool interlaced = false;
  int codeSize = -1;                 // the LZW minimum code size; -1 when cut short before it
  std::vector<uint32_t> localTable;  // red | green << 8 | blue << 16; empty when none
  bool hasControl = false;           // a graphic control extension came before it
  int disposal = 0;
  bool transparent = false;
  int transparentIndex = 0;
  int delay = 0;
  bool cutShort = false;  // the stream ends inside the image
};

struct WalkedGif {
  std::string signature;  // the first 6 bytes
  int screenWidth = 0, screenHeight = 0;
  std::vector<uint32_t> globalTable;
  std::vector<WalkedFrame> frames;
  bool trailer = false;  // ended on the trailer rather than the end of the data or another byte
};

WalkedGif walkGif(const Bytes& gif);
