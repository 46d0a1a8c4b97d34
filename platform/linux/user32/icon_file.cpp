// An icon image is a BITMAPINFOHEADER whose height counts both the colour
// (XOR) rows and the mask (AND) rows, its colour table, the colour rows
// bottom-up and the 1-bit mask rows bottom-up, each row padded to 4 bytes.
#include "platform/linux/user32/icon_file.h"

#include "platform/linux/byte_reader.h"

namespace {

constexpr uint32_t kInfoHeaderSize = 40;

size_t rowBytes(int width, int bitCount) {
  return ((static_cast<size_t>(width) * bitCount + 31) / 32) * 4;
}

uint32_t pixelIndex(const uint8_t* row, int x, int bitCount) {
  switch (bitCount) {
    case 1:
      return (row[x / 8] >> (7 - x % 8)) & 1;
    case 4:
      return (row[x / 2] >> (x % 2 == 0 ? 4 : 0)) & 0x0F;
    default:
      return row[x];
  }
}

}  // namespace

bool readIconImage(const uint8_t* data, size_t size, IconImage& image) {
  ByteReader in{data, data != nullptr ? size : 0};
  if (in.u32() != kInfoHeaderSize || size < kInfoHeaderSize) return false;
  auto width = static_cast<int32_t>(in.u32());
  auto doubledHeight = static_cast<int32_t>(in.u32());
  in.skip(2);  // planes
  int bitCount = in.u16();
  uint32_t compression = in.u32();
  in.skip(12);  // image size, resolution
  uint32_t used = in.u32();
  if (compression != 0 || width <= 0 || width > 256 || doubledHeight <= 0 || doubledHeight > 512)
    return false;
  if (bitCount != 1 && bitCount != 4 && bitCount != 8) return false;
  uint32_t colours = used != 0 && used < (1u << bitCount) ? used : 1u << bitCount;
  int height = doubledHeight / 2;  // of the colour part

  const uint8_t* table = data + kInfoHeaderSize;
  size_t colourRow = rowBytes(width, bitCount);
  size_t maskRow = rowBytes(width, 1);
  size_t colourBytes = colourRow * height;
  const uint8_t* pixels = table + colours * 4;
  size_t headerBytes = kInfoHeaderSize + colours * 4;
  if (headerBytes + colourBytes > size) return false;
  const uint8_t* mask = pixels + colourBytes;
  bool hasMask = headerBytes + colourBytes + maskRow * height <= size;
  image = IconImage{width, height, bitCount, {}};
  image.rgba.resize(static_cast<size_t>(width) * height * 4);
  for (int y = 0; y < height; ++y) {
    const uint8_t* row = pixels + colourRow * (height - 1 - y);
    const uint8_t* maskBits = mask + maskRow * (height - 1 - y);
    for (int x = 0; x < width; ++x) {
      uint8_t* out = &image.rgba[(static_cast<size_t>(y) * width + x) * 4];
      uint32_t index = pixelIndex(row, x, bitCount);
      const uint8_t* c = index < colours ? table + index * 4 : table;
      out[0] = c[2], out[1] = c[1], out[2] = c[0];
      out[3] = hasMask && pixelIndex(maskBits, x, 1) != 0 ? 0 : 255;
    }
  }
  return true;
}
