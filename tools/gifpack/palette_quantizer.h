// One palette of at most 256 colours for pictures of more colours, and
// pictures put into it: ImageMagick's colour quantizer (Magick++).
#pragma once

#include <cstdint>
#include <vector>

#include "tools/gifpack/browser_view.h"

// The squared distance of two colours, over their three channels.
int colourDistance(Colour a, Colour b);

// At most 256 colours that stand for the sample's pixels, weighted by how
// often each colour occurs in it.
std::vector<Colour> quantizedPalette(const std::vector<Colour>& sample);

// The picture in the palette's colours by Floyd-Steinberg error diffusion:
// each pixel's colour afterwards, always one of the palette's.
std::vector<Colour> ditheredPicture(const std::vector<Colour>& picture, int width, int height,
                                    const std::vector<Colour>& palette);
