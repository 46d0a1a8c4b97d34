#include "tests/unit/gifdiff/decoded.h"

#include "gif/gif_animation.h"
#include "gif/gif_parser.h"
#include "payload/payload_locator.h"
#include "tests/support/test_support.h"

using gifwriter::Bytes;

namespace {

DecodedGif fromAnimation() {
  DecodedGif gif;
  gif.screenWidth = animation.screenWidth;
  gif.screenHeight = animation.screenHeight;
  gif.palette.assign(animation.palette.entries,
                     animation.palette.entries + animation.palette.count);
  for (int32_t i = 0; i < animation.frameCount; ++i) {
    const GifFrame& frame = *animation.frames[i];
    DecodedFrame decoded{frame.left, frame.top, frame.width, frame.height, frame.delay, false, {}};
    const IndexedBitmap& bitmap = frame.bitmap;
    decoded.hasPixels = bitmap.storage != nullptr;
    for (int32_t y = 0; decoded.hasPixels && y < frame.height; ++y) {
      const uint8_t* row = bitmapRowAddress(bitmap, 0, frame.height - 1 - y);
      decoded.indices.insert(decoded.indices.end(), row, row + frame.width);
    }
    gif.frames.push_back(std::move(decoded));
  }
  return gif;
}

// The marker is put together here so that no built program holds it whole.
Bytes pictureRecord(const Bytes& gif) {
  std::string marker = std::string("*") + (kPictureTag + kTagPrefixLength) + ":";
  return concat({bytesOf("a program image would stand here"), bytesOf(marker),
                 lengthField(static_cast<uint32_t>(gif.size())), gif});
}

std::string frameDifference(size_t index, const DecodedFrame& ours, const DecodedFrame& theirs) {
  std::string at = "frame " + std::to_string(index) + ": ";
  auto field = [&](const char* name, int mine, int reference) {
    return at + name + " " + std::to_string(mine) + ", giflib " + std::to_string(reference);
  };
  if (ours.left != theirs.left) return field("left", ours.left, theirs.left);
  if (ours.top != theirs.top) return field("top", ours.top, theirs.top);
  if (ours.width != theirs.width) return field("width", ours.width, theirs.width);
  if (ours.height != theirs.height) return field("height", ours.height, theirs.height);
  if (ours.delay != theirs.delay) return field("delay", ours.delay, theirs.delay);
  if (!ours.hasPixels) return at + "no pixels";
  for (size_t i = 0; i < theirs.indices.size(); ++i) {
    if (ours.indices[i] == theirs.indices[i]) continue;
    size_t width = static_cast<size_t>(theirs.width);
    return at + "first differing pixel x " + std::to_string(i % width) + ", y " +
           std::to_string(i / width) + ": " + std::to_string(ours.indices[i]) + ", giflib " +
           std::to_string(theirs.indices[i]);
  }
  return "";
}

}  // namespace

DecodedGif fromGiflib(const gifwriter::GiflibImage& image) {
  DecodedGif gif;
  gif.screenWidth = image.screenWidth;
  gif.screenHeight = image.screenHeight;
  for (const gifwriter::Rgb& colour : image.globalTable)
    gif.palette.push_back(colour.red | colour.green << 8 | colour.blue << 16);
  for (const gifwriter::GiflibFrame& frame : image.frames) {
    gif.frames.push_back(
        {frame.left, frame.top, frame.width, frame.height, frame.delay, true, frame.indices});
  }
  return gif;
}

DecodedGif parseWithOurs(const Bytes& gif) {
  // A block of exactly the stream's size, so that reading past it is caught.
  auto* data = new uint8_t[gif.size()];
  std::copy(gif.begin(), gif.end(), data);
  PayloadBuffer buffer{data, static_cast<int32_t>(gif.size()), 0};
  parseGif(buffer);
  DecodedGif decoded = fromAnimation();
  freeAnimation();
  delete[] data;
  return decoded;
}

std::optional<DecodedGif> loadWithOurs(const Bytes& gif, const std::filesystem::path& file) {
  writeFileBytes(file, pictureRecord(gif));
  std::optional<DecodedGif> decoded;
  if (loadAnimation(file.string().c_str(), kPictureTag) == 1) {
    decoded = fromAnimation();
  }
  closeLocator();
  freeAnimation();
  return decoded;
}

std::string firstDifference(const DecodedGif& ours, const DecodedGif& giflib) {
  if (ours.screenWidth != giflib.screenWidth || ours.screenHeight != giflib.screenHeight)
    return "screen " + std::to_string(ours.screenWidth) + "x" + std::to_string(ours.screenHeight) +
           ", giflib " + std::to_string(giflib.screenWidth) + "x" +
           std::to_string(giflib.screenHeight);
  if (ours.palette != giflib.palette) return "global colour table";
  size_t frames = std::min(ours.frames.size(), giflib.frames.size());
  for (size_t i = 0; i < frames; ++i) {
    std::string difference = frameDifference(i, ours.frames[i], giflib.frames[i]);
    if (!difference.empty()) return difference;
  }
  if (ours.frames.size() != giflib.frames.size())
    return std::to_string(ours.frames.size()) + " frames, giflib " +
           std::to_string(giflib.frames.size());
  return "";
}
