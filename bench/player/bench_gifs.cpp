// Writes the animations the player benchmark plays, 20 full frames each, a
// moving pattern: 320 x 240 with delays of 2 and 10 hundredths (delay_2.gif,
// delay_10.gif), and 640 x 480 with delays of 0 and 1 (large_delay_0.gif,
// large_delay_1.gif).
//
// Usage: bench_gifs DIRECTORY
#include <filesystem>
#include <iostream>
#include <string>

#include "tools/gifwriter/gif_writer.h"

namespace {

gifwriter::Bytes animation(int width, int height, int delay) {
  gifwriter::Gif gif;
  gif.screenWidth = width;
  gif.screenHeight = height;
  gif.globalTable = gifwriter::ColourTable{};
  for (int i = 0; i < 256; ++i)
    gif.globalTable->push_back({static_cast<uint8_t>(i), static_cast<uint8_t>(255 - i),
                                static_cast<uint8_t>((i * 7) & 0xFF)});
  for (int n = 0; n < 20; ++n) {
    gifwriter::Frame frame;
    frame.width = width;
    frame.height = height;
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x)
        frame.indices.push_back(static_cast<uint8_t>((x + y + 13 * n) / 4));
    frame.control = gifwriter::GraphicControl{};
    frame.control->delay = static_cast<uint16_t>(delay);
    gif.frames.push_back(std::move(frame));
  }
  return gifwriter::writeGif(gif);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: bench_gifs DIRECTORY\n";
    return 2;
  }
  std::filesystem::path dir = argv[1];
  std::filesystem::create_directories(dir);
  for (int delay : {2, 10}) {
    if (!gifwriter::saveBytes(dir / ("delay_" + std::to_string(delay) + ".gif"),
                              animation(320, 240, delay)))
      return 1;
  }
  for (int delay : {0, 1}) {
    if (!gifwriter::saveBytes(dir / ("large_delay_" + std::to_string(delay) + ".gif"),
                              animation(640, 480, delay)))
      return 1;
  }
  return 0;
}
