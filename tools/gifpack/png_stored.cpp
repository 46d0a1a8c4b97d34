// The PNG writer of builds without libpng (the Windows build): the image data
// goes into the zlib stream as stored, uncompressed deflate blocks.
#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "tools/gifpack/png_file.h"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint8_t kSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr uint8_t kZlibHeader[] = {0x78, 0x01};  // deflate, 32 KiB window, no preset dictionary
constexpr size_t kLongestStoredBlock = 65535;
constexpr uint8_t kNoFilter = 0;

uint32_t crc32(const Bytes& bytes, size_t from) {
  static const std::array<uint32_t, 256> table = [] {
    std::array<uint32_t, 256> t{};
    for (uint32_t n = 0; n < 256; ++n) {
      uint32_t c = n;
      for (int k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[n] = c;
    }
    return t;
  }();
  uint32_t c = 0xFFFFFFFFu;
  for (size_t i = from; i < bytes.size(); ++i) c = table[(c ^ bytes[i]) & 0xFF] ^ (c >> 8);
  return c ^ 0xFFFFFFFFu;
}

uint32_t adler32(const Bytes& bytes) {
  uint32_t a = 1, b = 0;
  for (uint8_t byte : bytes) {
    a = (a + byte) % 65521;
    b = (b + a) % 65521;
  }
  return b << 16 | a;
}

void putBigEndian(Bytes& out, uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

// Length, type, data, and the CRC of type and data.
void putChunk(Bytes& out, const char* type, const Bytes& data) {
  putBigEndian(out, static_cast<uint32_t>(data.size()));
  size_t typeAt = out.size();
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), data.begin(), data.end());
  putBigEndian(out, crc32(out, typeAt));
}

Bytes storedZlib(const Bytes& raw) {
  Bytes out(std::begin(kZlibHeader), std::end(kZlibHeader));
  size_t at = 0;
  do {
    size_t length = std::min(kLongestStoredBlock, raw.size() - at);
    bool last = at + length == raw.size();
    out.push_back(last ? 1 : 0);
    out.push_back(static_cast<uint8_t>(length));
    out.push_back(static_cast<uint8_t>(length >> 8));
    out.push_back(static_cast<uint8_t>(~length));
    out.push_back(static_cast<uint8_t>(~length >> 8));
    out.insert(out.end(), raw.begin() + at, raw.begin() + at + length);
    at += length;
  } while (at < raw.size());
  putBigEndian(out, adler32(raw));
  return out;
}

}  // namespace

std::vector<uint8_t> rgbPng(int32_t width, int32_t height,
                            const std::function<void(int32_t y, uint8_t* row)>& fillRow) {
  size_t rowBytes = static_cast<size_t>(width) * 3;
  Bytes raw;
  raw.reserve((rowBytes + 1) * static_cast<size_t>(height));
  for (int32_t y = 0; y < height; ++y) {
    raw.push_back(kNoFilter);
    raw.resize(raw.size() + rowBytes);
    fillRow(y, raw.data() + raw.size() - rowBytes);
  }
  Bytes header;
  putBigEndian(header, static_cast<uint32_t>(width));
  putBigEndian(header, static_cast<uint32_t>(height));
  header.insert(header.end(), {8, 2, 0, 0, 0});  // 8 bits, RGB, deflate, no filter, no interlace
  Bytes png(std::begin(kSignature), std::end(kSignature));
  putChunk(png, "IHDR", header);
  putChunk(png, "IDAT", storedZlib(raw));
  putChunk(png, "IEND", {});
  return png;
}
