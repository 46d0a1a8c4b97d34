#include "tools/gifpack/palette_quantizer.h"

#include <libimagequant.h>

#include <algorithm>
#include <climits>
#include <memory>

namespace {

constexpr size_t kMaxColours = 256;
constexpr size_t kColourSpace = size_t{1} << 24;
constexpr size_t kSampleWidth = 1024;
// libimagequant works on colours raised to a power of its own; given its own
// exponent as the pictures' gamma it takes them as they are, through
// arithmetic that gives the same answer everywhere.
constexpr double kTakenAsTheyAre = 0.5499;

int channel(Colour c, int index) { return static_cast<int>((c >> (8 * index)) & 0xFF); }

// libimagequant's palette for the sample laid out as rows of kSampleWidth.
std::vector<Colour> imagequantPalette(const std::vector<Colour>& sample) {
  size_t width = std::min(sample.size(), kSampleWidth);
  size_t height = (sample.size() + width - 1) / width;
  std::vector<liq_color> rgba(width * height);
  for (size_t i = 0; i < rgba.size(); ++i) {
    Colour c = sample[i % sample.size()];
    rgba[i] = {static_cast<unsigned char>(c), static_cast<unsigned char>(c >> 8),
               static_cast<unsigned char>(c >> 16), 255};
  }
  std::unique_ptr<liq_attr, void (*)(liq_attr*)> attr(liq_attr_create(), liq_attr_destroy);
  if (!attr || liq_set_max_colors(attr.get(), static_cast<int>(kMaxColours)) != LIQ_OK) return {};
  std::unique_ptr<liq_image, void (*)(liq_image*)> image(
      liq_image_create_rgba(attr.get(), rgba.data(), static_cast<int>(width),
                            static_cast<int>(height), kTakenAsTheyAre),
      liq_image_destroy);
  if (!image) return {};
  std::unique_ptr<liq_result, void (*)(liq_result*)> result(
      liq_quantize_image(attr.get(), image.get()), liq_result_destroy);
  if (!result) return {};
  const liq_palette* palette = liq_get_palette(result.get());
  std::vector<Colour> colours;
  for (unsigned i = 0; palette != nullptr && i < palette->count; ++i)
    colours.push_back(static_cast<Colour>(palette->entries[i].r | palette->entries[i].g << 8 |
                                          palette->entries[i].b << 16));
  return colours;
}

struct Weighted {
  Colour colour;
  uint32_t count;
  int nearest = 0;   // palette entry
  int distance = 0;  // squared, to that entry
};

void assign(std::vector<Weighted>& colours, const std::vector<Colour>& palette) {
  for (Weighted& w : colours) {
    w.distance = INT_MAX;
    for (size_t i = 0; i < palette.size() && w.distance > 0; ++i)
      if (int d = colourDistance(w.colour, palette[i]); d < w.distance)
        w.distance = d, w.nearest = static_cast<int>(i);
  }
}

// The sample's colours in increasing order, each with how often it occurs.
std::vector<Weighted> countedColours(std::vector<Colour> sample) {
  std::sort(sample.begin(), sample.end());
  std::vector<Weighted> colours;
  for (size_t i = 0; i < sample.size();) {
    size_t j = i;
    while (j < sample.size() && sample[j] == sample[i]) ++j;
    colours.push_back({sample[i], static_cast<uint32_t>(j - i)});
    i = j;
  }
  return colours;
}

// Entries left unused go to the colours served worst, and then every entry
// moves to the mean of the colours nearest to it (a few rounds of k-means),
// which only lowers the error.
std::vector<Colour> refined(std::vector<Colour> palette, const std::vector<Colour>& sample) {
  constexpr int kRounds = 4;
  std::vector<Weighted> colours = countedColours(sample);
  assign(colours, palette);
  while (palette.size() < kMaxColours) {
    auto worst =
        std::max_element(colours.begin(), colours.end(), [](const Weighted& a, const Weighted& b) {
          return uint64_t(uint32_t(a.distance)) * a.count <
                 uint64_t(uint32_t(b.distance)) * b.count;
        });
    if (worst == colours.end() || worst->distance == 0) break;
    palette.push_back(worst->colour);
    for (Weighted& w : colours)
      if (int d = colourDistance(w.colour, palette.back()); d < w.distance)
        w.distance = d, w.nearest = static_cast<int>(palette.size() - 1);
  }
  for (int round = 0; round < kRounds; ++round) {
    std::vector<uint64_t> sums(palette.size() * 4, 0);
    for (const Weighted& w : colours) {
      uint64_t* sum = &sums[static_cast<size_t>(w.nearest) * 4];
      for (int c = 0; c < 3; ++c) sum[c] += uint64_t(channel(w.colour, c)) * w.count;
      sum[3] += w.count;
    }
    for (size_t i = 0; i < palette.size(); ++i) {
      const uint64_t* sum = &sums[i * 4];
      if (sum[3] == 0) continue;
      Colour mean = 0;
      for (int c = 0; c < 3; ++c)
        mean |= static_cast<Colour>((2 * sum[c] + sum[3]) / (2 * sum[3])) << (8 * c);
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
  for (int c = 0; c < 3; ++c) {
    int e = channel(a, c) - channel(b, c);
    d += e * e;
  }
  return d;
}

std::vector<Colour> quantizedPalette(const std::vector<Colour>& sample) {
  if (sample.empty()) return {};
  std::vector<Colour> palette = imagequantPalette(sample);
  std::sort(palette.begin(), palette.end());
  palette.erase(std::unique(palette.begin(), palette.end()), palette.end());
  return refined(std::move(palette), sample);
}

IndexFinder::IndexFinder(const std::vector<Colour>& palette)
    : palette_(palette), index_(kColourSpace, -1) {
  for (size_t i = 0; i < palette.size(); ++i) index_[palette[i]] = static_cast<int16_t>(i);
}

int16_t IndexFinder::nearest(Colour c) {
  auto nearest = std::min_element(palette_.begin(), palette_.end(), [c](Colour a, Colour b) {
    return colourDistance(a, c) < colourDistance(b, c);
  });
  return index_[c] = static_cast<int16_t>(nearest - palette_.begin());
}

// Errors are kept in sixteenths; each pixel passes 7/16 of its error on to
// the right, 3/16, 5/16 and 1/16 to the row below.
void ditherRectangle(const std::vector<Colour>& picture, int width, int left, int top,
                     int rectangleWidth, int rectangleHeight, IndexFinder& indexOf,
                     const std::vector<Colour>& palette, Bytes& indices) {
  size_t span = static_cast<size_t>(rectangleWidth) + 2;
  std::vector<int> current(span * 3, 0), below(span * 3, 0);
  for (int y = top; y < top + rectangleHeight; ++y) {
    std::fill(below.begin(), below.end(), 0);
    for (int x = 0; x < rectangleWidth; ++x) {
      size_t at = static_cast<size_t>(y) * width + static_cast<size_t>(left + x);
      Colour wanted = 0;
      int* error = &current[(static_cast<size_t>(x) + 1) * 3];
      for (int c = 0; c < 3; ++c) {
        int value = std::clamp(channel(picture[at], c) + ((error[c] + 8) >> 4), 0, 255);
        wanted |= static_cast<Colour>(value) << (8 * c);
        error[c] = value;  // the wanted channel, until the chosen colour is known
      }
      uint8_t index = indexOf(wanted);
      indices[at] = index;
      for (int c = 0; c < 3; ++c) {
        int e = error[c] - channel(palette[index], c);
        current[(static_cast<size_t>(x) + 2) * 3 + c] += 7 * e;
        below[static_cast<size_t>(x) * 3 + c] += 3 * e;
        below[(static_cast<size_t>(x) + 1) * 3 + c] += 5 * e;
        below[(static_cast<size_t>(x) + 2) * 3 + c] += e;
      }
    }
    current.swap(below);
  }
}
