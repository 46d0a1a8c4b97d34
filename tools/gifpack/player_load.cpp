#include "tools/gifpack/player_load.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "gif/frame_row_writer.h"
#include "gif/gif_animation.h"
#include "gif/gif_parser.h"
#include "payload/payload_locator.h"
#include "tools/gifpack/files.h"
#include "tools/gifpack/records.h"
#include "tools/gifpack/tool_error.h"

namespace {

// The loader reads a picture record from a file, so the GIF goes into a
// file of one record for the time of the load.
class RecordFile {
 public:
  explicit RecordFile(const Bytes& gif) {
    Bytes record;
    appendRecord(record, pictureMarker(), gif);
    path_ = writeTemporaryFile(record);
  }
  ~RecordFile() {
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
  }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

int32_t rowsDelivered(const IndexedBitmap& bitmap) {
  int32_t rowIndex = frameRowWriter.rowIndex;
  if (rowIndex >= bitmap.height) return bitmap.height;
  int32_t rows = 0;
  for (int32_t row = 0; row != rowIndex && row < bitmap.height;
       row = nextRowIndex(row, bitmap.height))
    ++rows;
  return rows;
}

}  // namespace

PlayerLoad::PlayerLoad(const Bytes& gif) {
  RecordFile file(gif);
  started_ = loadAnimation(file.path().string().c_str(), kPictureTag) == 1;
  closeLocator();
}

PlayerLoad::~PlayerLoad() {
  freeAnimation();
  releaseBitmap(canvas);
  canvas.storage = nullptr;
  if (applicationPalette != nullptr) DeleteObject(applicationPalette);
  applicationPalette = nullptr;
}

FrameRereader::FrameRereader(const Bytes& gif)
    : buffer_(makePayloadBuffer(static_cast<int32_t>(gif.size()))) {
  if (buffer_.data != nullptr) std::memcpy(buffer_.data, gif.data(), gif.size());
}

FrameRereader::~FrameRereader() { releasePayloadBuffer(buffer_); }

FrameReading FrameRereader::read(size_t separator) {
  buffer_.position = static_cast<int32_t>(separator + 1);
  GifFrame frame{};
  describeBitmap(frame.bitmap, 0, 0);
  frameRowWriter.target = nullptr;
  if (buffer_.data != nullptr) readFrame(frame, buffer_);
  FrameReading reading{frameRowWriter.target == &frame.bitmap, frame.bitmap.storage != nullptr, 0,
                       static_cast<size_t>(buffer_.position)};
  if (reading.begun) reading.rowsDecoded = rowsDelivered(frame.bitmap);
  frameRowWriter.target = nullptr;
  releaseBitmap(frame.bitmap);
  return reading;
}
