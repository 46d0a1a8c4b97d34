// Makes an optimized GIF of the kind that web tools write for a video with a
// still background: a first frame over the whole screen, then frames over
// nearly the whole screen that are transparent but for a few small moving
// objects scattered over it, each frame with a colour table of its own.
//
// Usage: gifplay_make_scattered_gif OUT.gif [FRAMES [WIDTH HEIGHT [OBJECTS]]]
// (defaults 259 frames of 1000 x 175, 6 objects; delay 5 hundredths).
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "tools/gifwriter/gif_writer.h"

namespace {

using gifwriter::Rgb;

constexpr int kCube = 6;  // the background's colours: a 6 x 6 x 6 cube
constexpr int kCubeColours = kCube * kCube * kCube;
constexpr int kObjectColours = 39;  // each frame's own colours for the objects
constexpr uint8_t kTransparent = 255;
constexpr int kRadius = 9;

uint8_t cubeLevel(int i) { return static_cast<uint8_t>(i * 51); }

// The still background: a smooth picture in the cube's colours.
uint8_t backgroundAt(int x, int y, int width, int height) {
  int r = (x * (kCube - 1) + width / 2) / width;
  int g = (y * (kCube - 1) + height / 2) / height;
  int b = ((x / 40 + y / 25) % kCube);
  return static_cast<uint8_t>((r * kCube + g) * kCube + b);
}

gifwriter::ColourTable tableFor(int frame) {
  gifwriter::ColourTable table;
  for (int i = 0; i < kCubeColours; ++i)
    table.push_back({cubeLevel(i / 36), cubeLevel(i / 6 % 6), cubeLevel(i % 6)});
  for (int i = 0; i < kObjectColours; ++i) {
    double hue = (i * 9 + frame * 5) * 3.14159265358979 / 180;
    table.push_back({static_cast<uint8_t>(128 + 120 * std::cos(hue)),
                     static_cast<uint8_t>(128 + 120 * std::cos(hue + 2.1)),
                     static_cast<uint8_t>(128 + 120 * std::cos(hue + 4.2))});
  }
  while (table.size() < 256) table.push_back({});
  return table;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s OUT.gif [FRAMES [WIDTH HEIGHT [OBJECTS]]]\n", argv[0]);
    return 1;
  }
  int frames = argc > 2 ? std::atoi(argv[2]) : 259;
  int width = argc > 4 ? std::atoi(argv[3]) : 1000;
  int height = argc > 4 ? std::atoi(argv[4]) : 175;
  int objects = argc > 5 ? std::atoi(argv[5]) : 6;
  size_t pixels = static_cast<size_t>(width) * height;

  gifwriter::Gif gif;
  gif.screenWidth = width, gif.screenHeight = height;
  gif.extensions.push_back(gifwriter::loopExtension(0));
  std::vector<uint8_t> shown(pixels);  // the picture after each frame, in palette slots
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      shown[static_cast<size_t>(y) * width + x] = backgroundAt(x, y, width, height);
  for (int f = 0; f < frames; ++f) {
    // Where each object is in this frame, and what it covers.
    std::vector<uint8_t> next(pixels);
    for (size_t i = 0; i < pixels; ++i)
      next[i] =
          backgroundAt(static_cast<int>(i % width), static_cast<int>(i / width), width, height);
    for (int o = 0; o < objects; ++o) {
      int cx =
          (width * (2 * o + 1)) / (2 * objects) + static_cast<int>(30 * std::sin(f * 0.11 + o));
      int cy =
          height / 2 + static_cast<int>((height / 2 - kRadius - 2) * std::sin(f * 0.07 + 2 * o));
      for (int y = cy - kRadius; y <= cy + kRadius; ++y)
        for (int x = cx - kRadius; x <= cx + kRadius; ++x) {
          int d2 = (x - cx) * (x - cx) + (y - cy) * (y - cy);
          if (x < 0 || y < 0 || x >= width || y >= height || d2 > kRadius * kRadius) continue;
          next[static_cast<size_t>(y) * width + x] =
              static_cast<uint8_t>(kCubeColours + (d2 / 7 + o * 5) % kObjectColours);
        }
    }
    gifwriter::Frame frame;
    frame.width = width, frame.height = height;
    frame.indices.resize(pixels);
    for (size_t i = 0; i < pixels; ++i)
      frame.indices[i] =
          f > 0 && next[i] == shown[i] && next[i] < kCubeColours ? kTransparent : next[i];
    frame.localTable = tableFor(f);
    frame.control = gifwriter::GraphicControl{};
    frame.control->disposal = 1;
    frame.control->delay = 5;
    frame.control->transparent = f > 0;
    frame.control->transparentIndex = kTransparent;
    gif.frames.push_back(std::move(frame));
    shown.swap(next);
  }
  return gifwriter::saveBytes(argv[1], gifwriter::writeGif(gif)) ? 0 : 1;
}
