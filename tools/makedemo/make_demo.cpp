// Draws the demo animation: a red ball bouncing back and forth across a
// meadow at sunset. One global table of 256 colours; the first frame and
// one in the middle cover the whole screen, every other frame only the
// rectangle where the ball and its shadow were and are now, since the
// player lays frames over each other without clearing.
//
//   gifplay_makedemo OUTPUT.gif
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>

#include "tools/gifwriter/gif_writer.h"

using namespace gifwriter;

namespace {

constexpr int kWidth = 320;
constexpr int kHeight = 200;
constexpr int kFrames = 48;
constexpr int kBounces = 4;  // per trip there and back

// Colour ranges of the one global table.
constexpr int kSky = 0, kSkyShades = 100;
constexpr int kSun = 100, kSunShades = 16;
constexpr int kHills = 116, kHillShades = 24;
constexpr int kGrass = 140, kGrassShades = 48;
constexpr int kShade = 188, kShadeShades = 24;
constexpr int kBall = 212, kBallShades = 44;

constexpr double kGroundLine = 178;  // where the ball touches the ground
constexpr double kRadius = 17;

Rgb mix(Rgb a, Rgb b, double t) {
  auto channel = [t](uint8_t x, uint8_t y) {
    return static_cast<uint8_t>(std::lround(x + (y - x) * std::clamp(t, 0.0, 1.0)));
  };
  return {channel(a.red, b.red), channel(a.green, b.green), channel(a.blue, b.blue)};
}

// A ramp through three colours: from, over middle (at the halfway point), to.
void ramp(ColourTable& table, int first, int count, Rgb from, Rgb middle, Rgb to) {
  for (int i = 0; i < count; ++i) {
    double t = static_cast<double>(i) / (count - 1);
    table[static_cast<size_t>(first + i)] =
        t < 0.5 ? mix(from, middle, t * 2) : mix(middle, to, t * 2 - 1);
  }
}

ColourTable demoPalette() {
  ColourTable table(256);
  ramp(table, kSky, kSkyShades, {18, 20, 74}, {150, 70, 130}, {255, 170, 90});
  ramp(table, kSun, kSunShades, {255, 120, 40}, {255, 200, 90}, {255, 250, 210});
  ramp(table, kHills, kHillShades, {40, 24, 70}, {70, 40, 90}, {120, 70, 110});
  ramp(table, kGrass, kGrassShades, {20, 60, 30}, {60, 120, 40}, {150, 170, 60});
  ramp(table, kShade, kShadeShades, {8, 24, 16}, {22, 50, 24}, {50, 72, 30});
  ramp(table, kBall, kBallShades, {50, 4, 16}, {215, 32, 40}, {255, 235, 220});
  return table;
}

uint8_t shadeOf(int first, int count, double level) {
  int step = static_cast<int>(std::lround(std::clamp(level, 0.0, 1.0) * (count - 1)));
  return static_cast<uint8_t>(first + step);
}

// An ordered dither between neighbouring shades, so that gradients show no bands.
uint8_t ditheredShadeOf(int first, int count, double level, int x, int y) {
  static constexpr int kBayer[4][4] = {
      {0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};
  double offset = (kBayer[y % 4][x % 4] + 0.5) / 16 - 0.5;
  return shadeOf(first, count, level + offset / (count - 1));
}

double hillTop(double x) { return 128 + 10 * std::sin(x / 37.0) + 6 * std::sin(x / 13.0 + 1.7); }
double meadowTop(double x) { return 150 + 5 * std::sin(x / 53.0 + 0.4) + 2 * std::sin(x / 19.0); }

// The still scene: sky, sun, far hills, meadow.
uint8_t backgroundAt(int x, int y) {
  double fx = x, fy = y;
  if (fy >= meadowTop(fx)) {
    double depth = (fy - meadowTop(fx)) / (kHeight - meadowTop(fx) + 1);
    double blades = 0.08 * std::sin(fx * 1.7 + std::sin(fy * 0.9) * 2.0);
    return shadeOf(kGrass, kGrassShades, 0.85 - 0.6 * depth + blades);
  }
  if (fy >= hillTop(fx))
    return ditheredShadeOf(kHills, kHillShades, 1.0 - (fy - hillTop(fx)) / 30.0, x, y);
  double sun = std::hypot(fx - 236, fy - 118);
  if (sun < 24) return ditheredShadeOf(kSun, kSunShades, 1.0 - sun / 24, x, y);
  // The sky brightens towards the horizon, a little more near the sun.
  double glow = std::max(0.0, 1.0 - sun / 160) * 0.12;
  return ditheredShadeOf(kSky, kSkyShades, fy / 140 + glow, x, y);
}

struct Ball {
  double x, y;    // centre
  double rx, ry;  // radii: squashed when it meets the ground
  double shadowRx, shadowRy;
};

Ball ballAt(int frame) {
  double t = static_cast<double>(frame) / kFrames;
  double x = 160 - 118 * std::cos(2 * std::numbers::pi * t);
  double hop = std::abs(std::sin(std::numbers::pi * kBounces * t));  // 0 on the ground
  double squash = hop < 0.12 ? 0.12 - hop : 0;
  Ball ball;
  ball.rx = kRadius * (1 + squash);
  ball.ry = kRadius * (1 - squash);
  ball.x = x;
  ball.y = kGroundLine - ball.ry - 82 * hop;
  ball.shadowRx = kRadius * (1.1 - 0.45 * hop);
  ball.shadowRy = 3.5 - 1.5 * hop;
  return ball;
}

// Lit from the upper left, with a highlight.
uint8_t ballShade(double nx, double ny) {
  double nz = std::sqrt(std::max(0.0, 1 - nx * nx - ny * ny));
  double lx = -0.5, ly = -0.6, lz = 0.62;
  double diffuse = std::max(0.0, nx * lx + ny * ly + nz * lz);
  double reflect = 2 * diffuse * nz - lz;
  double highlight = std::pow(std::max(0.0, reflect), 24);
  return shadeOf(kBall, kBallShades, 0.1 + 0.62 * diffuse + 0.4 * highlight);
}

// The whole screen as it looks in one frame.
Bytes drawScene(int frame) {
  Ball ball = ballAt(frame);
  Bytes pixels(kWidth * kHeight);
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      uint8_t index = backgroundAt(x, y);
      double sx = (x + 0.5 - ball.x) / ball.shadowRx, sy = (y + 0.5 - kGroundLine) / ball.shadowRy;
      if (sx * sx + sy * sy < 1 && index >= kGrass && index < kGrass + kGrassShades)
        index = static_cast<uint8_t>(kShade + (index - kGrass) / 2);
      double nx = (x + 0.5 - ball.x) / ball.rx, ny = (y + 0.5 - ball.y) / ball.ry;
      if (nx * nx + ny * ny < 1) index = ballShade(nx, ny);
      pixels[static_cast<size_t>(y * kWidth + x)] = index;
    }
  }
  return pixels;
}

struct Box {
  int left, top, right, bottom;  // right and bottom excluded
};

Box boxOf(const Ball& ball) {
  double halfWidth = std::max(ball.rx, ball.shadowRx) + 2;
  return {static_cast<int>(std::floor(ball.x - halfWidth)),
          static_cast<int>(std::floor(ball.y - ball.ry - 2)),
          static_cast<int>(std::ceil(ball.x + halfWidth)),
          static_cast<int>(std::ceil(kGroundLine + ball.shadowRy + 2))};
}

Box unite(Box a, Box b) {
  return {std::max(0, std::min(a.left, b.left)), std::max(0, std::min(a.top, b.top)),
          std::min(kWidth, std::max(a.right, b.right)),
          std::min(kHeight, std::max(a.bottom, b.bottom))};
}

Frame cut(const Bytes& scene, Box box) {
  Frame frame;
  frame.left = box.left;
  frame.top = box.top;
  frame.width = box.right - box.left;
  frame.height = box.bottom - box.top;
  for (int y = box.top; y < box.bottom; ++y) {
    auto row = scene.begin() + y * kWidth;
    frame.indices.insert(frame.indices.end(), row + box.left, row + box.right);
  }
  return frame;
}

// Frames 0 and 24 are whole screens (0 interlaced); 12 and 36 are partial
// and interlaced. The ball lingers a little where it meets the ground.
Frame demoFrame(int number) {
  Bytes scene = drawScene(number);
  bool whole = number % (kFrames / 2) == 0;
  Box box = whole ? Box{0, 0, kWidth, kHeight}
                  : unite(boxOf(ballAt((number + kFrames - 1) % kFrames)), boxOf(ballAt(number)));
  Frame frame = cut(scene, box);
  frame.interlaced = number % (kFrames / 4) == 0 && number != kFrames / 2;
  double hop = std::abs(std::sin(std::numbers::pi * kBounces * number / kFrames));
  frame.control = GraphicControl{.delay = static_cast<uint16_t>(hop < 0.15 ? 8 : 6)};
  return frame;
}

Gif demoGif() {
  Gif gif;
  gif.screenWidth = kWidth;
  gif.screenHeight = kHeight;
  gif.globalTable = demoPalette();
  gif.extensions = {loopExtension(0), commentExtension("gifplay demo: a ball at sunset")};
  for (int i = 0; i < kFrames; ++i) gif.frames.push_back(demoFrame(i));
  return gif;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: gifplay_makedemo OUTPUT.gif\n");
    return 2;
  }
  if (!saveBytes(argv[1], writeGif(demoGif()))) {
    std::fprintf(stderr, "gifplay_makedemo: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
