// Draws the program's icon and writes it as a Windows .ico file: a 32 x 32 and
// a 16 x 16 image, 16 colours each (4 bits per pixel with an AND mask).
//
// The picture: a blue sweeping curve with grey edges that rises from the lower
// left to the upper right, and in front of it a small yellow chequered folder
// outlined in grey. Both sizes are drawn from the same shapes, laid out in
// units of the icon's width, so the small one is the large one in miniature.
//
// Usage: makeicon OUTPUT.ico
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <vector>

namespace {

// The 16 colours of the standard VGA palette, in the order Windows uses.
enum Colour : uint8_t {
  kBlack = 0,
  kOlive = 3,
  kNavy = 4,
  kSilver = 7,
  kGrey = 8,
  kYellow = 11,
  kBlue = 12,
};
constexpr std::array<std::array<uint8_t, 3>, 16> kPalette{{{0, 0, 0},
                                                           {128, 0, 0},
                                                           {0, 128, 0},
                                                           {128, 128, 0},
                                                           {0, 0, 128},
                                                           {128, 0, 128},
                                                           {0, 128, 128},
                                                           {192, 192, 192},
                                                           {128, 128, 128},
                                                           {255, 0, 0},
                                                           {0, 255, 0},
                                                           {255, 255, 0},
                                                           {0, 0, 255},
                                                           {255, 0, 255},
                                                           {0, 255, 255},
                                                           {255, 255, 255}}};

// One image: a colour per pixel, or transparent, rows from the top.
struct Image {
  int size;
  std::vector<uint8_t> colour;
  std::vector<bool> opaque;

  explicit Image(int n) : size(n), colour(n * n, kBlack), opaque(n * n, false) {}
  void set(int x, int y, uint8_t c) {
    if (x < 0 || y < 0 || x >= size || y >= size) return;
    colour[y * size + x] = c;
    opaque[y * size + x] = true;
  }
};

struct Point {
  double x, y;
};

// The sweep: a quadratic curve from the lower left, low and flat at first,
// bending up steeply towards the upper right, widening as it goes.
Point sweepAt(double t) {
  const Point p0{0.04, 0.95}, p1{0.55, 0.85}, p2{0.95, 0.06};
  double a = (1 - t) * (1 - t), b = 2 * (1 - t) * t, c = t * t;
  return {a * p0.x + b * p1.x + c * p2.x, a * p0.y + b * p1.y + c * p2.y};
}

double sweepHalfWidth(double t) { return 0.05 + 0.08 * t; }

void drawSweep(Image& image) {
  const int n = image.size;
  const double pixel = 1.0 / n;
  for (int y = 0; y < n; ++y) {
    for (int x = 0; x < n; ++x) {
      Point centre{(x + 0.5) * pixel, (y + 0.5) * pixel};
      double best = 1e9, bestT = 0;
      for (int i = 0; i <= 400; ++i) {
        double t = i / 400.0;
        Point p = sweepAt(t);
        double d = std::hypot(p.x - centre.x, p.y - centre.y);
        if (d < best) best = d, bestT = t;
      }
      double half = std::max(sweepHalfWidth(bestT), 1.6 * pixel);
      if (best > half) continue;
      bool edge = best > half - pixel * 1.05;
      bool shade = !edge && best > half * 0.45 && centre.y > sweepAt(bestT).y;
      image.set(x, y, edge ? kGrey : shade ? kNavy : kBlue);
    }
  }
}

// The folder: a tab on the upper left of a body, both in the lower left half
// of the icon, drawn over the sweep. Squares of the chequer are one pixel in
// the small image and two in the large one.
void drawFolder(Image& image) {
  const int n = image.size;
  auto at = [n](double u) { return static_cast<int>(std::lround(u * n)); };
  const int left = at(0.28), right = at(0.72), bodyTop = at(0.56), bottom = at(0.88);
  const int tabRight = at(0.47), tabTop = bodyTop - std::max(2, n / 10);
  const int square = std::max(1, n / 16);
  auto fill = [&](int x0, int y0, int x1, int y1) {
    for (int y = y0; y <= y1; ++y)
      for (int x = x0; x <= x1; ++x) {
        bool border = x == x0 || x == x1 || y == y0 || y == y1;
        bool light = ((x / square) + (y / square)) % 2 == 0;
        image.set(x, y, border ? kGrey : light ? kYellow : kOlive);
      }
  };
  fill(left, tabTop, tabRight, bodyTop);
  fill(left, bodyTop, right, bottom);
  for (int x = left + 1; x < tabRight; ++x) image.set(x, bodyTop, x % 2 ? kYellow : kOlive);
  for (int x = left + 1; x <= right; ++x) image.set(x, bottom + 1, kSilver);
  for (int y = bodyTop + 1; y <= bottom + 1; ++y) image.set(right + 1, y, kSilver);
}

Image drawIcon(int size) {
  Image image(size);
  drawSweep(image);
  drawFolder(image);
  return image;
}

void put16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(v & 0xFF);
  out.push_back((v >> 8) & 0xFF);
}

void put32(std::vector<uint8_t>& out, uint32_t v) {
  put16(out, v & 0xFFFF);
  put16(out, v >> 16);
}

int paddedRowBytes(int bits) { return (bits + 31) / 32 * 4; }

// One image as an icon resource stores it: a BITMAPINFOHEADER of twice the
// height, the 16-entry colour table, the 4-bit colour rows and the 1-bit AND
// mask rows, both bottom-up and padded to 4 bytes.
std::vector<uint8_t> iconImage(const Image& image) {
  const int n = image.size;
  const int xorRow = paddedRowBytes(n * 4), andRow = paddedRowBytes(n);
  std::vector<uint8_t> out;
  put32(out, 40);
  put32(out, n);
  put32(out, 2 * n);
  put16(out, 1);
  put16(out, 4);
  put32(out, 0);
  put32(out, (xorRow + andRow) * n);
  put32(out, 0);
  put32(out, 0);
  put32(out, 16);
  put32(out, 0);
  for (const auto& c : kPalette) out.insert(out.end(), {c[2], c[1], c[0], 0});
  for (int y = n - 1; y >= 0; --y) {
    std::vector<uint8_t> row(xorRow, 0);
    for (int x = 0; x < n; ++x) row[x / 2] |= image.colour[y * n + x] << (x % 2 ? 0 : 4);
    out.insert(out.end(), row.begin(), row.end());
  }
  for (int y = n - 1; y >= 0; --y) {
    std::vector<uint8_t> row(andRow, 0);
    for (int x = 0; x < n; ++x)
      if (!image.opaque[y * n + x]) row[x / 8] |= 0x80 >> (x % 8);
    out.insert(out.end(), row.begin(), row.end());
  }
  return out;
}

// ICONDIR, one 16-byte ICONDIRENTRY per image, then the images.
std::vector<uint8_t> iconFile(const std::vector<Image>& images) {
  std::vector<std::vector<uint8_t>> bodies;
  for (const Image& image : images) bodies.push_back(iconImage(image));
  std::vector<uint8_t> out;
  put16(out, 0);
  put16(out, 1);
  put16(out, static_cast<uint32_t>(images.size()));
  uint32_t offset = 6 + 16 * static_cast<uint32_t>(images.size());
  for (size_t i = 0; i < images.size(); ++i) {
    out.push_back(static_cast<uint8_t>(images[i].size));
    out.push_back(static_cast<uint8_t>(images[i].size));
    out.push_back(16);
    out.push_back(0);
    put16(out, 1);
    put16(out, 4);
    put32(out, static_cast<uint32_t>(bodies[i].size()));
    put32(out, offset);
    offset += static_cast<uint32_t>(bodies[i].size());
  }
  for (const auto& body : bodies) out.insert(out.end(), body.begin(), body.end());
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: makeicon OUTPUT.ico\n";
    return 2;
  }
  std::vector<uint8_t> data = iconFile({drawIcon(32), drawIcon(16)});
  std::ofstream out(argv[1], std::ios::binary);
  out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
  if (!out) {
    std::cerr << "makeicon: " << argv[1] << ": cannot write\n";
    return 1;
  }
  return 0;
}
