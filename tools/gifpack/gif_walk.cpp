#include "tools/gifpack/gif_walk.h"

#include <algorithm>

#include "gif/gif_parser.h"

namespace {

constexpr uint8_t kTransparencyFlag = 0x01;
constexpr size_t kScreenDescriptorEnd = 13;
constexpr size_t kImageDescriptorSize = 9;

class Reader {
 public:
  explicit Reader(const Bytes& data) : data_(data) {}
  bool has(size_t count) const { return data_.size() - position_ >= count; }
  size_t size() const { return data_.size(); }
  size_t position() const { return position_; }
  int byte(size_t at) const { return data_[position_ + at]; }
  int word(size_t at) const { return byte(at) | byte(at + 1) << 8; }
  void skip(size_t count) { position_ = std::min(position_ + count, data_.size()); }
  int take() { return has(1) ? data_[position_++] : -1; }

  // Sub-blocks up to the empty one; false when the data ends first.
  bool skipSubBlocks() {
    for (int size = take(); size != 0; size = take()) {
      if (size < 0 || !has(static_cast<size_t>(size))) return false;
      skip(static_cast<size_t>(size));
    }
    return true;
  }

  std::vector<uint32_t> colourTable(int sizeBits) {
    std::vector<uint32_t> table;
    for (int i = 0; i < 2 << sizeBits && has(3); ++i, skip(3))
      table.push_back(static_cast<uint32_t>(byte(0) | byte(1) << 8 | byte(2) << 16));
    return table;
  }

 private:
  const Bytes& data_;
  size_t position_ = 0;
};

struct Control {
  bool present = false;
  int disposal = 0;
  bool transparent = false;
  int transparentIndex = 0;
  int delay = 0;
};

bool readExtension(Reader& in, Control& control) {
  int label = in.take();
  if (label == kGraphicControlLabel && in.has(5) && in.byte(0) >= 4) {
    int packed = in.byte(1);
    control = {true, packed >> 2 & 7, (packed & kTransparencyFlag) != 0, in.byte(4), in.word(2)};
  }
  return label >= 0 && in.skipSubBlocks();
}

WalkedFrame readImage(Reader& in, Control& control) {
  WalkedFrame frame;
  frame.separator = in.position() - 1;
  frame.hasControl = control.present;
  frame.disposal = control.disposal;
  frame.transparent = control.transparent;
  frame.transparentIndex = control.transparentIndex;
  frame.delay = control.delay;
  control = {};
  frame.cutShort = !in.has(kImageDescriptorSize);
  frame.end = in.size();
  if (frame.cutShort) return frame;
  frame.left = in.word(0), frame.top = in.word(2), frame.width = in.word(4);
  frame.height = in.word(6);
  int packed = in.byte(8);
  frame.interlaced = (packed & kInterlaceFlag) != 0;
  in.skip(kImageDescriptorSize);
  if (packed & kColourTableFlag) frame.localTable = in.colourTable(packed & kColourTableSizeBits);
  frame.codeSize = in.take();
  frame.cutShort = frame.codeSize < 0 || !in.skipSubBlocks();
  if (!frame.cutShort) frame.end = in.position();
  return frame;
}

}  // namespace

WalkedGif walkGif(const Bytes& gif) {
  WalkedGif walked;
  Reader in(gif);
  walked.signature.assign(gif.begin(), gif.begin() + std::min<size_t>(gif.size(), 6));
  if (!in.has(kScreenDescriptorEnd)) return walked;
  walked.screenWidth = in.word(6);
  walked.screenHeight = in.word(8);
  int packed = in.byte(10);
  in.skip(kScreenDescriptorEnd);
  if (packed & kColourTableFlag) walked.globalTable = in.colourTable(packed & kColourTableSizeBits);
  Control control;
  for (;;) {
    int introducer = in.take();
    if (introducer == kExtensionIntroducer && readExtension(in, control)) continue;
    if (introducer != kImageSeparator) {
      walked.trailer = introducer == kTrailer;
      return walked;
    }
    walked.frames.push_back(readImage(in, control));
    if (walked.frames.back().cutShort) return walked;
  }
}
