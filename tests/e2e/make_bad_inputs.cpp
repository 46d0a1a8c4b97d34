// Writes the GIFs that the bad-input tests pack into the player:
//   small.gif         the smallest sensible animation: one 2 x 2 frame behind
//                     a graphic control extension, 43 bytes (every byte of it
//                     is changed to every other value)
//   three_frames.gif  three frames with delays, cut after every byte
//   huge_screen.gif   a logical screen of 65535 x 65535 with one 4 x 4 frame;
//                     huge_screen_32767.gif the same on 32767 x 65535 (a canvas
//                     just under 2 GiB, a window far larger than any screen)
//   zero_frames.gif   frames of 0 x 0, 0 x 5 and 5 x 0, then a 4 x 4 one
//   wide_frame.gif    a frame 65535 pixels wide and 2 high on a 64 x 16 screen
//   lzw_*.gif         damaged code streams: codes beyond the table, random
//                     bytes for image data, code sizes 0 and 12, a stream
//                     without end code running into the trailer, nothing but
//                     clear codes
//
// Usage: make_bad_inputs DIRECTORY
#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <iostream>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "tools/gifwriter/gif_writer.h"

namespace {

namespace fs = std::filesystem;
using gifwriter::Bytes;
using gifwriter::Frame;
using gifwriter::Gif;

gifwriter::ColourTable colours(int count) {
  gifwriter::ColourTable table;
  for (int i = 0; i < count; ++i)
    table.push_back({static_cast<uint8_t>(i * 60), static_cast<uint8_t>(255 - i * 40),
                     static_cast<uint8_t>(i * 97)});
  return table;
}

Frame frame(int left, int top, int width, int height, int delay) {
  Frame f;
  f.left = left;
  f.top = top;
  f.width = width;
  f.height = height;
  for (int i = 0; i < width * height; ++i) f.indices.push_back(static_cast<uint8_t>(i / 3 % 4));
  f.control = gifwriter::GraphicControl{};
  f.control->delay = static_cast<uint16_t>(delay);
  return f;
}

Gif screen(int width, int height, int colourCount = 4) {
  Gif gif;
  gif.screenWidth = width;
  gif.screenHeight = height;
  gif.globalTable = colours(colourCount);
  return gif;
}

Bytes small() {
  Gif gif = screen(2, 2, 2);
  Frame f = frame(0, 0, 2, 2, 5);
  f.indices = {0, 1, 1, 0};
  gif.frames = {f};
  return writeGif(gif);
}

Bytes threeFrames() {
  Gif gif = screen(12, 10);
  gif.frames = {frame(0, 0, 12, 10, 20), frame(3, 2, 6, 5, 20), frame(8, 6, 4, 4, 20)};
  gif.frames[1].interlaced = true;
  return writeGif(gif);
}

Bytes hugeScreen(int width, int height) {
  Gif gif = screen(width, height);
  gif.frames = {frame(0, 0, 4, 4, 10)};
  return writeGif(gif);
}

Bytes zeroFrames() {
  Gif gif = screen(10, 10);
  gif.frames = {frame(0, 0, 0, 0, 10), frame(2, 2, 0, 5, 10), frame(2, 2, 5, 0, 10),
                frame(3, 3, 4, 4, 10)};
  return writeGif(gif);
}

Bytes wideFrame() {
  Gif gif = screen(64, 16);
  gif.frames = {frame(0, 3, 65535, 2, 10), frame(0, 0, 8, 8, 10)};
  return writeGif(gif);
}

Gif oneDamagedFrame(const std::function<void(Frame&)>& damage) {
  Gif gif = screen(16, 16);
  Frame f = frame(0, 0, 16, 16, 10);
  damage(f);
  gif.frames = {f, frame(4, 4, 8, 8, 10)};
  return gif;
}

Bytes randomBytes(size_t count, unsigned seed) {
  std::mt19937 random(seed);
  Bytes bytes(count);
  for (uint8_t& b : bytes) b = static_cast<uint8_t>(random());
  return bytes;
}

// Random image data in sub-blocks of 255, with a code size byte of 8.
Bytes randomImageData() {
  Bytes data{8};
  Bytes noise = randomBytes(700, 1234);
  for (size_t at = 0; at < noise.size(); at += 255) {
    size_t n = std::min<size_t>(255, noise.size() - at);
    data.push_back(static_cast<uint8_t>(n));
    data.insert(data.end(), noise.begin() + static_cast<ptrdiff_t>(at),
                noise.begin() + static_cast<ptrdiff_t>(at + n));
  }
  data.push_back(0);
  return data;
}

struct Output {
  const char* name;
  std::function<Bytes()> make;
};

const std::vector<Output> kOutputs = {
    {"small.gif", small},
    {"three_frames.gif", threeFrames},
    {"huge_screen.gif", [] { return hugeScreen(65535, 65535); }},
    {"huge_screen_32767.gif", [] { return hugeScreen(32767, 65535); }},
    {"zero_frames.gif", zeroFrames},
    {"wide_frame.gif", wideFrame},
    {"lzw_beyond_table.gif",
     [] { return writeGif(oneDamagedFrame([](Frame& f) { f.lzw.beyondTableAt = 3; })); }},
    {"lzw_random_data.gif",
     [] { return writeGif(oneDamagedFrame([](Frame& f) { f.rawData = randomImageData(); })); }},
    {"lzw_code_size_0.gif",
     [] { return writeGif(oneDamagedFrame([](Frame& f) { f.codeSizeByte = 0; })); }},
    {"lzw_code_size_12.gif",
     [] { return writeGif(oneDamagedFrame([](Frame& f) { f.codeSizeByte = 12; })); }},
    {"lzw_no_end_code.gif",
     [] {
       return writeGif(oneDamagedFrame([](Frame& f) {
         f.lzw.endCode = false;
         f.lzw.endAfterPixels = 100;
       }));
     }},
    {"lzw_only_clear_codes.gif",
     [] {
       return writeGif(oneDamagedFrame([](Frame& f) { f.codes = std::vector<int>(2000, 4); }));
     }},
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: make_bad_inputs DIRECTORY\n";
    return 1;
  }
  fs::path dir = argv[1];
  try {
    fs::create_directories(dir);
    for (const Output& output : kOutputs) {
      if (!gifwriter::saveBytes(dir / output.name, output.make()))
        throw std::runtime_error("cannot write " + (dir / output.name).string());
    }
  } catch (const std::exception& error) {
    std::cerr << "make_bad_inputs: " << error.what() << "\n";
    return 1;
  }
  return 0;
}
