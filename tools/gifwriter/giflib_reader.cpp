#include "tools/gifwriter/giflib_reader.h"

#include <algorithm>
#include <cstring>

namespace gifwriter {

namespace {

ColourTable coloursOf(const ColorMapObject* map) {
  ColourTable table;
  for (int i = 0; i < map->ColorCount; ++i)
    table.push_back({map->Colors[i].Red, map->Colors[i].Green, map->Colors[i].Blue});
  return table;
}

// Comments and the loop count, from one list of extension blocks; a block
// carried on in further sub-blocks arrives as CONTINUE blocks behind it.
void readExtensions(const ExtensionBlock* blocks, int count, GiflibImage& image) {
  for (int i = 0; i < count; ++i) {
    const ExtensionBlock& block = blocks[i];
    if (block.Function == COMMENT_EXT_FUNC_CODE) {
      std::string text(block.Bytes, block.Bytes + block.ByteCount);
      for (int j = i + 1; j < count && blocks[j].Function == CONTINUE_EXT_FUNC_CODE; ++j)
        text.append(blocks[j].Bytes, blocks[j].Bytes + blocks[j].ByteCount);
      image.comments.push_back(text);
    }
    bool netscape = block.Function == APPLICATION_EXT_FUNC_CODE && block.ByteCount == 11 &&
                    std::memcmp(block.Bytes, "NETSCAPE2.0", 11) == 0;
    if (netscape && i + 1 < count && blocks[i + 1].Function == CONTINUE_EXT_FUNC_CODE &&
        blocks[i + 1].ByteCount == 3 && blocks[i + 1].Bytes[0] == 1)
      image.loopCount = blocks[i + 1].Bytes[1] | blocks[i + 1].Bytes[2] << 8;
  }
}

GiflibFrame frameOf(GifFileType* file, int index) {
  const SavedImage& saved = file->SavedImages[index];
  const GifImageDesc& desc = saved.ImageDesc;
  GiflibFrame frame;
  frame.left = desc.Left;
  frame.top = desc.Top;
  frame.width = desc.Width;
  frame.height = desc.Height;
  frame.interlaced = desc.Interlace;
  frame.hasLocalTable = desc.ColorMap != nullptr;
  if (desc.ColorMap != nullptr) frame.localTable = coloursOf(desc.ColorMap);
  size_t pixels = static_cast<size_t>(desc.Width) * static_cast<size_t>(desc.Height);
  if (saved.RasterBits != nullptr)
    frame.indices.assign(saved.RasterBits, saved.RasterBits + pixels);
  GraphicsControlBlock control;
  if (DGifSavedExtensionToGCB(file, index, &control) == GIF_OK) {
    frame.delay = control.DelayTime;
    frame.disposal = control.DisposalMode;
    frame.transparentIndex = control.TransparentColor;
  }
  return frame;
}

GiflibImage imageOf(GifFileType* file) {
  GiflibImage image;
  image.screenWidth = file->SWidth;
  image.screenHeight = file->SHeight;
  image.backgroundIndex = file->SBackGroundColor;
  image.hasGlobalTable = file->SColorMap != nullptr;
  if (file->SColorMap != nullptr) image.globalTable = coloursOf(file->SColorMap);
  for (int i = 0; i < file->ImageCount; ++i) {
    image.frames.push_back(frameOf(file, i));
    readExtensions(file->SavedImages[i].ExtensionBlocks, file->SavedImages[i].ExtensionBlockCount,
                   image);
  }
  readExtensions(file->ExtensionBlocks, file->ExtensionBlockCount, image);
  return image;
}

}  // namespace

GiflibFile::GiflibFile(const Bytes& stream) : stream_(stream) {
  file_ = DGifOpen(
      this,
      [](GifFileType* file, GifByteType* into, int wanted) {
        auto& self = *static_cast<GiflibFile*>(file->UserData);
        size_t count = std::min(static_cast<size_t>(wanted), self.stream_.size() - self.position_);
        std::memcpy(into, self.stream_.data() + self.position_, count);
        self.position_ += count;
        return static_cast<int>(count);
      },
      &error_);
}

GiflibFile::~GiflibFile() {
  if (file_ != nullptr) DGifCloseFile(file_, &error_);
}

std::optional<GiflibImage> decodeWithGiflib(const Bytes& stream, std::string* error) {
  GiflibFile giflib(stream);
  GifFileType* file = giflib.get();
  if (file == nullptr || DGifSlurp(file) != GIF_OK) {
    if (error != nullptr) *error = GifErrorString(file == nullptr ? giflib.error() : file->Error);
    return std::nullopt;
  }
  return imageOf(file);
}

}  // namespace gifwriter
