// Reads a GIF with giflib, the reference the tests hold our own decoder and
// our writer against.
#pragma once

#include <gif_lib.h>

#include <optional>
#include <string>
#include <vector>

#include "tools/gifwriter/gif_writer.h"

namespace gifwriter {

struct GiflibFrame {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  bool interlaced = false;
  bool hasLocalTable = false;
  ColourTable localTable;
  int delay = 0;  // 0 without a graphic control extension
  int disposal = 0;
  int transparentIndex = -1;
  Bytes indices;  // width × height, picture rows from the top
};

struct GiflibImage {
  int screenWidth = 0;
  int screenHeight = 0;
  int backgroundIndex = 0;
  bool hasGlobalTable = false;
  ColourTable globalTable;
  std::vector<GiflibFrame> frames;
  int loopCount = -1;  // -1 without a NETSCAPE2.0 extension
  std::vector<std::string> comments;
};

// A stream held in memory, open in giflib for reading: get() is nullptr, and
// error() giflib's code, when giflib refuses even its start.
class GiflibFile {
 public:
  explicit GiflibFile(const Bytes& stream);
  ~GiflibFile();
  GiflibFile(const GiflibFile&) = delete;
  GiflibFile& operator=(const GiflibFile&) = delete;
  GifFileType* get() const { return file_; }
  int error() const { return error_; }

 private:
  const Bytes& stream_;
  size_t position_ = 0;
  int error_ = 0;
  GifFileType* file_ = nullptr;
};

// Decodes a whole stream held in memory with DGifSlurp; nullopt (and giflib's
// message in error) when giflib refuses it.
std::optional<GiflibImage> decodeWithGiflib(const Bytes& stream, std::string* error = nullptr);

}  // namespace gifwriter
