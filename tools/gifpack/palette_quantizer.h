// One palette of at most 256 colours for pictures of more colours, and
// pictures put into it: libimagequant's palette, refined, and our own error
// diffusion. Integer arithmetic wherever the result is ours, so that every
// build makes the same palette and the same pictures.
#pragma once

#include <cstdint>
#include <vector>

#include "tools/gifpack/browser_view.h"

// The squared distance of two colours, over their three channels.
int colourDistance(Colour a, Colour b);

// At most 256 colours that stand for the sample's pixels, weighted by how
// often each colour occurs in it.
std::vector<Colour> quantizedPalette(const std::vector<Colour>& sample);

// Colour to palette index, learnt on first sight: the palette's own colours
// exactly, any other colour its nearest (the first of equally near ones).
class IndexFinder {
 public:
  explicit IndexFinder(const std::vector<Colour>& palette);
  uint8_t operator()(Colour c) {
    int16_t index = index_[c];
    return static_cast<uint8_t>(index >= 0 ? index : nearest(c));
  }

 private:
  int16_t nearest(Colour c);

  const std::vector<Colour>& palette_;
  std::vector<int16_t> index_;
};

// Floyd-Steinberg error diffusion over a rectangle of a picture (rows from
// the top, width pixels a row): the palette index of each of its pixels,
// written into indices at the same places. The error stays inside the
// rectangle.
void ditherRectangle(const std::vector<Colour>& picture, int width, int left, int top,
                     int rectangleWidth, int rectangleHeight, IndexFinder& indexOf,
                     const std::vector<Colour>& palette, Bytes& indices);
