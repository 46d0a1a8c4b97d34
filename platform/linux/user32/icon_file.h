// Reads an icon image: its device-independent bitmap (1, 4 or 8 bits per
// pixel through a colour table, with its AND mask), as an ICON resource holds
// it, becomes RGBA.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct IconImage {
  int width = 0;
  int height = 0;
  int bitCount = 0;
  std::vector<uint8_t> rgba;  // rows top-down, 4 bytes per pixel, not premultiplied
};

// False when the bitmap cannot be read (true colour, PNG-compressed, damaged).
bool readIconImage(const uint8_t* data, size_t size, IconImage& image);
