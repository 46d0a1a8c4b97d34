#include "tools/gifpack/palette_quantizer.h"

#include <Magick++.h>

#include <algorithm>
#include <mutex>

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

}  // namespace

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
  return palette;
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
