// Reads Windows icon files (.ico): each image's device-independent bitmap
// (1, 4, 8, 24 or 32 bits per pixel, with its AND mask) becomes RGBA.
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

// The images of the file in directory order; empty when the file is not an
// icon. Images that cannot be read (PNG-compressed, damaged) are left out.
std::vector<IconImage> readIconFile(const uint8_t* data, size_t size);
