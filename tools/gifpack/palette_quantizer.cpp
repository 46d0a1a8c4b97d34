#include "tools/gifpack/palette_quantizer.h"

#include <Magick++.h>

#include <climits>

#include <algorithm>
#include <mutex>
#include <unordered_map>

namespace {

constexpr size_t kMaxColours = 256;
constexpr size_t kSampleWidth = 1024;

void initializeOnce() {
  static std::once_flag once;
  std::call_once(once, [] { Magick::InitializeMagick(nullptr); });
}

std::vector<uint8_t> rgbBytes(const std::vector<Colour>& pixels, size_t count) {
  std::vector<uint8_t> rgb(count * 3);
  for (size_t i = 0; i < count; ++i) {
    Colour c = pixels[i % pixels.size()];
    rgb[3 * i] = static_cast<uint8_t>(c);
    rgb[3 * i + 1] = static_cast<uint8_t>(c >> 8);
    rgb[3 * i + 2] = static_cast<uint8_t>(c >> 16);
  }
  return rgb;
}

Magick::Image imageOf(const std::vector<Colour>& pixels, size_t width, size_t height) {
  std::vector<uint8_t> rgb = rgbBytes(pixels, width * height);
  return Magick::Image(width, height, "RGB", Magick::CharPixel, rgb.data());
}

std::vector<Colour> pixelsOf(Magick::Image& image) {
  size_t count = image.columns() * image.rows();
  std::vector<uint8_t> rgb(count * 3);
  image.write(0, 0, image.columns(), image.rows(), "RGB", Magick::CharPixel, rgb.data());
  std::vector<Colour> pixels(count);
  for (size_t i = 0; i < count; ++i)
    pixels[i] = static_cast<Colour>(rgb[3 * i] | rgb[3 * i + 1] << 8 | rgb[3 * i + 2] << 16);
  return pixels;
}

struct Weighted {
  Colour colour;
  uint32_t count;
  int nearest = 0;   // palette entry
  int distance = 0;  // squared, to that entry
};

void assign(std::vector<Weighted>& colours, const std::vector<Colour>& palette) {
  for (Weighted& w : colours) {
    w.distance = INT32_MAX;
    for (size_t i = 0; i < palette.size() && w.distance > 0; ++i)
      if (int d = colourDistance(w.colour, palette[i]); d < w.distance)
        w.distance = d, w.nearest = static_cast<int>(i);
  }
}

// The quantizer may leave entries unused: they go to the colours it serves
// worst, and then every entry moves to the mean of the colours nearest to it
// (a few rounds of k-means), which only lowers the error.
std::vector<Colour> refined(std::vector<Colour> palette, const std::vector<Colour>& sample) {
  constexpr int kRounds = 4;
  std::unordered_map<Colour, uint32_t> counts;
  for (Colour c : sample) ++counts[c];
  std::vector<Weighted> colours;
  colours.reserve(counts.size());
  for (auto [colour, count] : counts) colours.push_back({colour, count});
  assign(colours, palette);
  while (palette.size() < kMaxColours) {
    auto worst =
        std::max_element(colours.begin(), colours.end(), [](const Weighted& a, const Weighted& b) {
          return static_cast<double>(a.distance) * a.count <
                 static_cast<double>(b.distance) * b.count;
        });
    if (worst == colours.end() || worst->distance == 0) break;
    palette.push_back(worst->colour);
    for (Weighted& w : colours)
      if (int d = colourDistance(w.colour, palette.back()); d < w.distance)
        w.distance = d, w.nearest = static_cast<int>(palette.size() - 1);
  }
  for (int round = 0; round < kRounds; ++round) {
    std::vector<double> sums(palette.size() * 4, 0);
    for (const Weighted& w : colours) {
      double* sum = &sums[static_cast<size_t>(w.nearest) * 4];
      for (int channel = 0; channel < 3; ++channel)
        sum[channel] += double((w.colour >> (8 * channel)) & 0xFF) * w.count;
      sum[3] += w.count;
    }
    for (size_t i = 0; i < palette.size(); ++i) {
      const double* sum = &sums[i * 4];
      if (sum[3] == 0) continue;
      Colour mean = 0;
      for (int channel = 0; channel < 3; ++channel)
        mean |= static_cast<Colour>(sum[channel] / sum[3] + 0.5) << (8 * channel);
      palette[i] = mean;
    }
    assign(colours, palette);
  }
  std::sort(palette.begin(), palette.end());
  palette.erase(std::unique(palette.begin(), palette.end()), palette.end());
  return palette;
}

}  // namespace

int colourDistance(Colour a, Colour b) {
  int d = 0;
  for (int shift = 0; shift < 24; shift += 8) {
    int e = static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF);
    d += e * e;
  }
  return d;
}

std::vector<Colour> quantizedPalette(const std::vector<Colour>& sample) {
  initializeOnce();
  size_t width = std::min(sample.size(), kSampleWidth);
  size_t height = (sample.size() + width - 1) / width;
  Magick::Image image = imageOf(sample, width, height);
  image.quantizeColors(kMaxColours);
  image.quantizeDither(false);
  image.quantize();
  std::vector<Colour> palette = pixelsOf(image);
  std::sort(palette.begin(), palette.end());
  palette.erase(std::unique(palette.begin(), palette.end()), palette.end());
  return refined(std::move(palette), sample);
}

std::vector<Colour> ditheredPicture(const std::vector<Colour>& picture, int width, int height,
                                    const std::vector<Colour>& palette) {
  initializeOnce();
  Magick::Image image = imageOf(picture, static_cast<size_t>(width), static_cast<size_t>(height));
  Magick::Image colours = imageOf(palette, palette.size(), 1);
  image.quantizeDitherMethod(Magick::FloydSteinbergDitherMethod);
  image.map(colours, true);
  return pixelsOf(image);
}
