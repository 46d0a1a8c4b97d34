#include "gif/gif_parser.h"

#include <algorithm>
#include <cstring>

#include "gif/frame_row_writer.h"
#include "gif/lzw_decoder.h"
#include "picture/indexed_bitmap.h"
#include "platform/global_block.h"

ImageObserver imageObserver{nullptr, nullptr};

namespace {

constexpr int32_t kSignatureLength = 6;  // "GIF89a", or whatever stands there
constexpr int32_t kGraphicControlSize = 4;
// The pixel storage of all frames together stays within what a 32-bit
// process could have in one block: a frame that does not fit gets none, as
// when GlobalAlloc refuses it.
constexpr int64_t kFrameStorageBudget = kLargestBlock;

// What a Graphic Control Extension leaves for the next image.
struct PendingDelay {
  int32_t delay;
  bool set;
};

// Every read checks the position against the size: reaching the end ends
// the parse, and what was read until then stands.
bool readByte(PayloadBuffer& buffer, int32_t& value) {
  if (buffer.position >= buffer.size) return false;
  value = buffer.data[buffer.position++];
  return true;
}

bool readWord(PayloadBuffer& buffer, int32_t& value) {
  int32_t low = 0;
  int32_t high = 0;
  if (!readByte(buffer, low) || !readByte(buffer, high)) return false;
  value = low | high << 8;
  return true;
}

// Skipped bytes are not checked; the next read finds out whether they were
// there. The position never passes the size.
void skip(PayloadBuffer& buffer, int32_t count) {
  int64_t position = static_cast<int64_t>(buffer.position) + count;
  buffer.position = static_cast<int32_t>(std::min<int64_t>(position, buffer.size));
}

bool atEnd(const PayloadBuffer& buffer) { return buffer.position >= buffer.size; }

// Passes over data sub-blocks up to the block terminator, and stays on it.
void skipToTerminator(PayloadBuffer& buffer) {
  while (!atEnd(buffer) && buffer.data[buffer.position] != 0)
    skip(buffer, buffer.data[buffer.position] + 1);
}

bool readGraphicControl(PayloadBuffer& buffer, PendingDelay& pending) {
  int32_t size = 0;
  int32_t delay = 0;
  int32_t terminator = 0;
  if (!readByte(buffer, size) || size != kGraphicControlSize) return false;
  skip(buffer, 1);  // disposal, user input and transparency play no part
  if (!readWord(buffer, delay)) return false;
  skip(buffer, 1);  // the transparent colour index
  if (!readByte(buffer, terminator) || terminator != 0) return false;
  pending = {delay, true};
  return true;
}

// Comments, application and plain text extensions alike: their sub-blocks
// are passed over unread.
bool skipExtension(PayloadBuffer& buffer) {
  if (atEnd(buffer)) return false;
  for (;;) {
    int32_t size = 0;
    if (!readByte(buffer, size)) return false;
    if (size == 0) return true;
    skip(buffer, size);
    if (atEnd(buffer)) return false;
  }
}

bool readExtension(PayloadBuffer& buffer, PendingDelay& pending) {
  int32_t label = 0;
  if (!readByte(buffer, label)) return false;
  if (label == kGraphicControlLabel) return readGraphicControl(buffer, pending);
  return skipExtension(buffer);
}

// The list grows by 100 slots at a time; only the references are copied.
bool growFrameList() {
  GifAnimation& a = animation;
  uint64_t bytes = static_cast<uint64_t>(a.frameCapacity + kFrameListStep) * sizeof(GifFrame*);
  if (bytes > UINT32_MAX) return false;
  auto* frames = static_cast<GifFrame**>(allocateBlock(static_cast<uint32_t>(bytes)));
  if (frames == nullptr) return false;
  std::memcpy(frames, a.frames, a.frameCapacity * sizeof(GifFrame*));
  releaseBlock(a.frames);
  a.frames = frames;
  a.frameCapacity += kFrameListStep;
  return true;
}

GifFrame* newFrame() {
  auto* frame = static_cast<GifFrame*>(allocateBlock(sizeof(GifFrame)));
  if (frame == nullptr) return nullptr;
  std::memset(frame, 0, sizeof(GifFrame));
  describeBitmap(frame->bitmap, 0, 0);
  return frame;
}

void releaseFrame(GifFrame* frame) {
  releaseBitmap(frame->bitmap);
  releaseBlock(frame);
}

// A frame that cannot be kept (no frame record, or no room in the list) ends
// the parse with the frames before it.
bool readImage(PayloadBuffer& buffer, PendingDelay& pending) {
  GifAnimation& a = animation;
  GifFrame* frame = newFrame();
  if (frame == nullptr) return false;
  int32_t separator = buffer.position - 1;
  readFrame(*frame, buffer);
  if (imageObserver.imageRead != nullptr)
    imageObserver.imageRead(imageObserver.context, separator, *frame, buffer);
  if (a.frameCount == a.frameCapacity && !growFrameList()) {
    releaseFrame(frame);
    return false;
  }
  a.frames[a.frameCount++] = frame;
  if (frame->bitmap.storage != nullptr)
    a.frameStorage += bitmapStorageBytes(frame->width, frame->height);
  if (pending.set) {
    frame->delay = pending.delay;
    pending.set = false;
  }
  return true;
}

// A Graphic Control Extension applies to the next image only: several before
// one image leave the last one's delay, one that no image follows is lost.
void readBlocks(PayloadBuffer& buffer) {
  PendingDelay pending{0, false};
  for (;;) {
    int32_t introducer = 0;
    if (!readByte(buffer, introducer)) return;
    bool goOn = false;
    if (introducer == kExtensionIntroducer) goOn = readExtension(buffer, pending);
    if (introducer == kImageSeparator) goOn = readImage(buffer, pending);
    if (!goOn) return;  // the trailer, or any other byte, ends the stream
  }
}

bool readDescriptor(GifFrame& frame, PayloadBuffer& buffer, int32_t& packed) {
  return readWord(buffer, frame.left) && readWord(buffer, frame.top) &&
         readWord(buffer, frame.width) && readWord(buffer, frame.height) &&
         readByte(buffer, packed);
}

// Storage for the frame's bitmap when it fits beside the animation's frames.
void createFrameBitmap(GifFrame& frame) {
  int64_t bytes = bitmapStorageBytes(frame.width, frame.height);
  if (animation.frameStorage + bytes > kFrameStorageBudget) {
    describeBitmap(frame.bitmap, frame.width, frame.height);
    frame.bitmap.ownsStorage = 1;
    return;
  }
  createBitmap(frame.bitmap, frame.width, frame.height);
}

}  // namespace

bool readColourTable(int32_t n, PayloadBuffer& buffer, PaletteTable& table) {
  table.count = 1 << (n + 1);
  if (buffer.size - buffer.position >= 3 * table.count) {  // the whole table is there
    const uint8_t* rgb = buffer.data + buffer.position;
    for (int32_t i = 0; i < table.count; ++i, rgb += 3)
      table.entries[i] = static_cast<uint32_t>(rgb[0] | rgb[1] << 8 | rgb[2] << 16);
    buffer.position += 3 * table.count;
    return true;
  }
  for (int32_t i = 0; i < table.count; ++i) {
    int32_t red = 0;
    int32_t green = 0;
    int32_t blue = 0;
    if (!readByte(buffer, red) || !readByte(buffer, green) || !readByte(buffer, blue)) return false;
    table.entries[i] = static_cast<uint32_t>(red | green << 8 | blue << 16);
  }
  return true;
}

// A frame whose data ends inside or right behind its descriptor (or its own
// colour table) keeps no storage; it is still appended, and the parse then
// ends. A frame with its own colour table is stored in the colours of the
// global one, the palette every frame is shown with.
void readFrame(GifFrame& frame, PayloadBuffer& buffer) {
  frame.delay = 0;
  int32_t packed = 0;
  if (!readDescriptor(frame, buffer, packed)) return;
  frame.interlaced = (packed & kInterlaceFlag) != 0;
  PaletteTable own;  // read before use: its count, then that many entries
  bool ownColours = (packed & kColourTableFlag) != 0;
  if (ownColours && !readColourTable(packed & kColourTableSizeBits, buffer, own)) return;
  if (atEnd(buffer)) return;
  createFrameBitmap(frame);
  beginFrame(frame.bitmap, frame.interlaced);
  if (ownColours) mapColours(own, animation.palette);
  attachSource(buffer);
  decode(frame.width);  // a damaged raster keeps the rows that were stored
  detachSource();       // the buffer does not outlive the parse
  // The decoder stops once the picture is complete or its code stream ends,
  // which can leave sub-blocks of the image unread (the end code in a
  // sub-block of its own, data behind the end code): they are passed over,
  // so that the one-byte skip passes the block terminator and the next
  // block is read.
  skipToTerminator(buffer);
  skip(buffer, 1);
}

void parseGif(PayloadBuffer& buffer) {
  GifAnimation& a = animation;
  freeAnimation();
  forgetColourMap();
  a = GifAnimation{};
  a.frames = static_cast<GifFrame**>(allocateBlock(kFrameListStep * sizeof(GifFrame*)));
  if (a.frames == nullptr) return;
  a.frameCapacity = kFrameListStep;
  skip(buffer, kSignatureLength);  // not compared with anything: any 6 bytes will do
  int32_t packed = 0;
  if (!readWord(buffer, a.screenWidth) || !readWord(buffer, a.screenHeight) ||
      !readByte(buffer, packed))
    return;
  skip(buffer, 2);  // background colour index and pixel aspect ratio
  if (atEnd(buffer)) return;
  if (packed & kColourTableFlag) {
    if (!readColourTable(packed & kColourTableSizeBits, buffer, a.palette) || atEnd(buffer)) return;
  }
  readBlocks(buffer);
}
