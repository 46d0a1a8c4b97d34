// Writes the animations that the end-to-end tests pack into the player, and
// what the player's window must show for them, as binary PPM pictures:
//   three_frames.gif     64 x 48, three frames of 1 s; shown_0.ppm .. shown_2.ppm
//                        are the window after frames 0, 1 and 2
//   large.gif            240 x 180, one frame, every 16 x 12 block its own
//                        colour; large.ppm
//   no_global_table.gif  a frame with only a local colour table
//   zero_delays.gif      640 x 480, three frames of delay 0, each one colour
//                        (the colours of shown_zero.txt, one "R G B" a line)
//   red_blue.gif         64 x 48, a red frame of delay 0, a blue one of 1 s
//   larger.gif           1100 x 900, larger than the test screen, one frame
//                        in the blocks of large.gif; larger_corner.ppm is its
//                        top left 300 x 200
//
// Usage: make_player_gifs DIRECTORY
#include <cstdint>
#include <filesystem>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "tools/gifwriter/gif_writer.h"

namespace {

using gifwriter::Bytes;
using gifwriter::ColourTable;
using gifwriter::Rgb;

struct Picture {
  int width, height;
  std::vector<uint8_t> indices;  // rows from the top
};

template <typename Pattern>
gifwriter::Frame makeFrame(int left, int top, int width, int height, int delay, Pattern pattern) {
  gifwriter::Frame frame;
  frame.left = left;
  frame.top = top;
  frame.width = width;
  frame.height = height;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) frame.indices.push_back(pattern(x, y));
  frame.control = gifwriter::GraphicControl{};
  frame.control->delay = static_cast<uint16_t>(delay);
  return frame;
}

// Opaque and cumulative: each frame overwrites its rectangle, clipped.
void composite(Picture& canvas, const gifwriter::Frame& frame) {
  for (int y = 0; y < frame.height; ++y)
    for (int x = 0; x < frame.width; ++x) {
      int cx = frame.left + x, cy = frame.top + y;
      if (cx >= canvas.width || cy >= canvas.height) continue;
      canvas.indices[cy * canvas.width + cx] = frame.indices[y * frame.width + x];
    }
}

void writeFile(const std::filesystem::path& path, const Bytes& data) {
  if (!gifwriter::saveBytes(path, data)) throw std::runtime_error(path.string() + ": cannot write");
}

void writePpm(const std::filesystem::path& path, const Picture& picture,
              const ColourTable& colours) {
  std::string header =
      "P6\n" + std::to_string(picture.width) + " " + std::to_string(picture.height) + "\n255\n";
  Bytes data(header.begin(), header.end());
  for (uint8_t index : picture.indices)
    data.insert(data.end(), {colours[index].red, colours[index].green, colours[index].blue});
  writeFile(path, data);
}

void writeThreeFrames(const std::filesystem::path& dir) {
  const ColourTable colours = {{0, 0, 0},     {255, 255, 255}, {200, 40, 40},  {40, 160, 60},
                               {30, 60, 200}, {240, 200, 30},  {150, 50, 170}, {20, 180, 190}};
  gifwriter::Gif gif;
  gif.screenWidth = 64;
  gif.screenHeight = 48;
  gif.globalTable = colours;
  gif.frames.push_back(makeFrame(
      0, 0, 64, 48, 100, [](int x, int y) { return static_cast<uint8_t>((x / 8 + y / 6) % 4); }));
  gif.frames.push_back(makeFrame(8, 6, 30, 20, 100,
                                 [](int x, int) { return static_cast<uint8_t>(4 + (x / 5) % 2); }));
  gif.frames.push_back(makeFrame(24, 16, 36, 28, 100,
                                 [](int, int y) { return static_cast<uint8_t>(6 + (y / 4) % 2); }));
  writeFile(dir / "three_frames.gif", gifwriter::writeGif(gif));
  Picture canvas{64, 48, std::vector<uint8_t>(64 * 48, 0)};
  for (size_t i = 0; i < gif.frames.size(); ++i) {
    composite(canvas, gif.frames[i]);
    writePpm(dir / ("shown_" + std::to_string(i) + ".ppm"), canvas, colours);
  }
}

void writeLarge(const std::filesystem::path& dir) {
  ColourTable colours;
  for (int i = 0; i < 256; ++i)
    colours.push_back({static_cast<uint8_t>((i % 16) * 16 + 8), static_cast<uint8_t>((i / 16) * 16),
                       static_cast<uint8_t>(255 - i)});
  gifwriter::Gif gif;
  gif.screenWidth = 240;
  gif.screenHeight = 180;
  gif.globalTable = colours;
  gif.frames.push_back(makeFrame(0, 0, 240, 180, 0, [](int x, int y) {
    return static_cast<uint8_t>((y / 12) * 16 + x / 16);
  }));
  writeFile(dir / "large.gif", gifwriter::writeGif(gif));
  Picture canvas{240, 180, std::vector<uint8_t>(240 * 180, 0)};
  composite(canvas, gif.frames[0]);
  writePpm(dir / "large.ppm", canvas, colours);
}

void writeSolidFrames(const std::filesystem::path& dir, const std::string& name, int width,
                      int height, const std::vector<std::pair<Rgb, int>>& colourAndDelay) {
  gifwriter::Gif gif;
  gif.screenWidth = width;
  gif.screenHeight = height;
  ColourTable table;
  std::string colours;
  for (size_t i = 0; i < colourAndDelay.size(); ++i) {
    const auto& [colour, delay] = colourAndDelay[i];
    table.push_back(colour);
    gif.frames.push_back(
        makeFrame(0, 0, width, height, delay, [i](int, int) { return static_cast<uint8_t>(i); }));
    colours += std::to_string(colour.red) + " " + std::to_string(colour.green) + " " +
               std::to_string(colour.blue) + "\n";
  }
  gif.globalTable = table;
  writeFile(dir / (name + ".gif"), gifwriter::writeGif(gif));
  writeFile(dir / (name + ".txt"), Bytes(colours.begin(), colours.end()));
}

void writeLarger(const std::filesystem::path& dir) {
  ColourTable colours;
  for (int i = 0; i < 256; ++i)
    colours.push_back({static_cast<uint8_t>((i % 16) * 16 + 8), static_cast<uint8_t>((i / 16) * 16),
                       static_cast<uint8_t>(255 - i)});
  auto block = [](int x, int y) { return static_cast<uint8_t>(((y / 12) * 16 + x / 16) % 256); };
  gifwriter::Gif gif;
  gif.screenWidth = 1100;
  gif.screenHeight = 900;
  gif.globalTable = colours;
  gif.frames.push_back(makeFrame(0, 0, 1100, 900, 0, block));
  writeFile(dir / "larger.gif", gifwriter::writeGif(gif));
  Picture corner{300, 200, {}};
  for (int y = 0; y < corner.height; ++y)
    for (int x = 0; x < corner.width; ++x) corner.indices.push_back(block(x, y));
  writePpm(dir / "larger_corner.ppm", corner, colours);
}

void writeNoGlobalTable(const std::filesystem::path& dir) {
  gifwriter::Gif gif;
  gif.screenWidth = 16;
  gif.screenHeight = 16;
  gifwriter::Frame frame =
      makeFrame(0, 0, 16, 16, 10, [](int x, int y) { return static_cast<uint8_t>((x + y) % 2); });
  frame.localTable = ColourTable{{0, 0, 0}, {255, 255, 255}};
  gif.frames.push_back(frame);
  writeFile(dir / "no_global_table.gif", gifwriter::writeGif(gif));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: make_player_gifs DIRECTORY\n";
    return 2;
  }
  try {
    std::filesystem::path dir = argv[1];
    std::filesystem::create_directories(dir);
    writeThreeFrames(dir);
    writeLarge(dir);
    writeNoGlobalTable(dir);
    writeSolidFrames(dir, "zero_delays", 640, 480,
                     {{{200, 40, 40}, 0}, {{40, 160, 60}, 0}, {{30, 60, 200}, 0}});
    writeSolidFrames(dir, "red_blue", 64, 48, {{{255, 0, 0}, 0}, {{0, 0, 255}, 100}});
    writeLarger(dir);
  } catch (const std::exception& e) {
    std::cerr << "make_player_gifs: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
