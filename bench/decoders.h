// The decoders the decode benchmarks compare, each decoding every frame of a
// GIF held in memory, and the files they decode: bench/decode_bench.cpp
// (Google Benchmark) and, for the Windows build, bench/windows/decode_speed.cpp.
#pragma once

#include <gif_lib.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "gif/gif_animation.h"
#include "gif/gif_parser.h"
#include "tools/gifwriter/gif_writer.h"

#ifdef GIFPLAY_WUFFS
#define WUFFS_CONFIG__MODULES
#define WUFFS_CONFIG__MODULE__BASE
#define WUFFS_CONFIG__MODULE__GIF
#define WUFFS_CONFIG__MODULE__LZW
#include GIFPLAY_WUFFS
#endif

namespace decoders {

using Bytes = std::vector<uint8_t>;

// Under the shared test data: the benchmark set, then real-world GIFs with
// many tiny frames (muybridge) and a local colour table (animated-red-blue).
inline const char* const kFiles[] = {
    "bench/photo.gif",
    "gif/harvesters.gif",
    "bench/anim.gif",
    "bench/bw.gif",
    "gif/gifplayer-muybridge.gif",
    "gif/muybridge.gif",
    "gif/animated-red-blue.gif",
    "made/own-tables-50x20x20.gif",
};

// 50 frames of 20 x 20, each with its own table of 256 colours.
inline Bytes ownTablesGif() {
  gifwriter::Gif gif;
  gif.screenWidth = gif.screenHeight = 20;
  gif.globalTable = gifwriter::ColourTable{};
  for (int i = 0; i < 256; ++i)
    gif.globalTable->push_back(
        {static_cast<uint8_t>(i), static_cast<uint8_t>(i * 3), static_cast<uint8_t>(255 - i)});
  for (int n = 0; n < 50; ++n) {
    gifwriter::Frame frame;
    frame.width = frame.height = 20;
    frame.localTable = gifwriter::ColourTable{};
    for (int i = 0; i < 256; ++i)
      frame.localTable->push_back({static_cast<uint8_t>(i * 5 + n),
                                   static_cast<uint8_t>(i * 11 + 3 * n),
                                   static_cast<uint8_t>(i * 17 + 7 * n + 1)});
    for (int y = 0; y < 20; ++y)
      for (int x = 0; x < 20; ++x)
        frame.indices.push_back(static_cast<uint8_t>((x * 7 + y * 13 + n * 3) / 2));
    frame.control = gifwriter::GraphicControl{};
    frame.control->delay = 4;
    gif.frames.push_back(std::move(frame));
  }
  return gifwriter::writeGif(gif);
}

// Where the files of kFiles are; the made one is made on the spot.
inline std::string testdata = GIFPLAY_TESTDATA;

inline Bytes testFile(const std::string& name) {
  if (name == "made/own-tables-50x20x20.gif") return ownTablesGif();
  std::ifstream in(testdata + "/" + name, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void parseOnce(Bytes& data) {
  PayloadBuffer buffer{data.data(), static_cast<int32_t>(data.size()), 0};
  parseGif(buffer);
}

inline int64_t pixelsIn(Bytes& data) {
  parseOnce(data);
  int64_t pixels = 0;
  for (int32_t i = 0; i < animation.frameCount; ++i)
    pixels += static_cast<int64_t>(animation.frames[i]->width) * animation.frames[i]->height;
  freeAnimation();
  return pixels;
}

struct MemoryReader {
  const Bytes* data;
  size_t position;
};

inline int readFromMemory(GifFileType* file, GifByteType* to, int wanted) {
  auto* reader = static_cast<MemoryReader*>(file->UserData);
  size_t n = std::min(static_cast<size_t>(wanted), reader->data->size() - reader->position);
  std::memcpy(to, reader->data->data() + reader->position, n);
  reader->position += n;
  return static_cast<int>(n);
}

// giflib's DGifSlurp: every frame kept in SavedImages. A file cut short
// keeps the frames read.
inline bool giflibDecode(Bytes& data) {
  MemoryReader reader{&data, 0};
  int error = 0;
  GifFileType* file = DGifOpen(&reader, readFromMemory, &error);
  if (file == nullptr) return false;
  DGifSlurp(file);
  DGifCloseFile(file, &error);
  return true;
}

#ifdef GIFPLAY_WUFFS
// The mapping a decoder adds to show frames with their own table through the
// global one.
struct ShownMapping {
  std::vector<int> ownCount;     // per frame: the entries of its own table, 0 for none
  std::vector<uint8_t> shown;    // the global table, red, green, blue
  std::vector<uint8_t> lastOwn;  // the Wuffs palette (BGRA) the map was made from
  uint8_t map[256];
};

// What giflib reads of the tables, before the timing.
inline ShownMapping tablesOf(Bytes& data) {
  ShownMapping m;
  MemoryReader reader{&data, 0};
  int error = 0;
  GifFileType* file = DGifOpen(&reader, readFromMemory, &error);
  if (file == nullptr) return m;
  DGifSlurp(file);
  if (file->SColorMap != nullptr)
    for (int i = 0; i < file->SColorMap->ColorCount; ++i) {
      const GifColorType& c = file->SColorMap->Colors[i];
      m.shown.insert(m.shown.end(), {c.Red, c.Green, c.Blue});
    }
  for (int i = 0; i < file->ImageCount; ++i) {
    const ColorMapObject* own = file->SavedImages[i].ImageDesc.ColorMap;
    m.ownCount.push_back(own != nullptr ? own->ColorCount : 0);
  }
  DGifCloseFile(file, &error);
  return m;
}

inline void mapFrame(ShownMapping& m, size_t frame, wuffs_base__pixel_buffer& pixels,
                     const wuffs_base__rect_ie_u32& bounds) {
  int count = frame < m.ownCount.size() ? m.ownCount[frame] : 0;
  if (count == 0 || m.shown.empty()) return;
  const uint8_t* palette = wuffs_base__pixel_buffer__palette(&pixels).ptr;  // B, G, R, A
  if (m.lastOwn.size() != 1024u || std::memcmp(palette, m.lastOwn.data(), 1024) != 0) {
    m.lastOwn.assign(palette, palette + 1024);
    for (int v = 0; v < count; ++v) {
      int best = INT_MAX;
      for (size_t i = 0; i < m.shown.size() / 3; ++i) {
        int red = m.shown[3 * i] - palette[4 * v + 2];
        int green = m.shown[3 * i + 1] - palette[4 * v + 1];
        int blue = m.shown[3 * i + 2] - palette[4 * v];
        int distance = red * red + green * green + blue * blue;
        if (distance < best) {
          best = distance;
          m.map[v] = static_cast<uint8_t>(i);
        }
      }
    }
    for (int v = count; v < 256; ++v) m.map[v] = static_cast<uint8_t>(v);
  }
  wuffs_base__table_u8 plane = wuffs_base__pixel_buffer__plane(&pixels, 0);
  for (uint32_t y = bounds.min_incl_y; y < bounds.max_excl_y; ++y) {
    uint8_t* row = plane.ptr + y * plane.stride;
    for (uint32_t x = bounds.min_incl_x; x < bounds.max_excl_x; ++x) row[x] = m.map[row[x]];
  }
}

struct WuffsGif {
  std::vector<uint8_t> decoder;
  wuffs_base__image_config config;
  std::vector<Bytes> frames;  // palette (1024 bytes) + pixels of the whole screen, each
  Bytes workBuffer;
};

// Decodes every frame of data; frame i into frames[i], then through
// mapping when given. With grow, a frame buffer is added for every frame met
// (the set-up run). False on an error.
inline bool wuffsDecode(Bytes& data, WuffsGif& gif, bool grow, ShownMapping* mapping) {
  auto* decoder = reinterpret_cast<wuffs_gif__decoder*>(gif.decoder.data());
  if (wuffs_gif__decoder__initialize(decoder, gif.decoder.size(), WUFFS_VERSION,
                                     WUFFS_INITIALIZE__LEAVE_INTERNAL_BUFFERS_UNINITIALIZED)
          .repr != nullptr)
    return false;
  if (mapping != nullptr) mapping->lastOwn.clear();  // a new stream makes its maps anew
  wuffs_base__io_buffer source = wuffs_base__ptr_u8__reader(data.data(), data.size(), true);
  if (wuffs_gif__decoder__decode_image_config(decoder, &gif.config, &source).repr != nullptr)
    return false;
  uint32_t width = wuffs_base__pixel_config__width(&gif.config.pixcfg);
  uint32_t height = wuffs_base__pixel_config__height(&gif.config.pixcfg);
  wuffs_base__pixel_config__set(&gif.config.pixcfg, WUFFS_BASE__PIXEL_FORMAT__INDEXED__BGRA_BINARY,
                                WUFFS_BASE__PIXEL_SUBSAMPLING__NONE, width, height);
  if (grow) gif.workBuffer.resize(wuffs_gif__decoder__workbuf_len(decoder).max_incl);
  for (size_t i = 0;; ++i) {
    wuffs_base__frame_config frame;
    wuffs_base__status status = wuffs_gif__decoder__decode_frame_config(decoder, &frame, &source);
    if (status.repr == wuffs_base__note__end_of_data) return true;
    if (status.repr != nullptr) return false;
    if (grow) gif.frames.emplace_back(1024 + static_cast<size_t>(width) * height);
    if (i >= gif.frames.size()) return false;
    wuffs_base__pixel_buffer pixels;
    if (wuffs_base__pixel_buffer__set_from_slice(
            &pixels, &gif.config.pixcfg,
            wuffs_base__make_slice_u8(gif.frames[i].data(), gif.frames[i].size()))
            .repr != nullptr)
      return false;
    status = wuffs_gif__decoder__decode_frame(
        decoder, &pixels, &source, WUFFS_BASE__PIXEL_BLEND__SRC,
        wuffs_base__make_slice_u8(gif.workBuffer.data(), gif.workBuffer.size()), nullptr);
    if (status.repr != nullptr) return false;
    if (mapping != nullptr) mapFrame(*mapping, i, pixels, wuffs_base__frame_config__bounds(&frame));
  }
}

#endif

}  // namespace decoders
