// The block structure of a GIF stream: header, logical screen, colour
// tables, extensions, images and their data sub-blocks.
#include "tools/gifwriter/gif_writer.h"

#include <algorithm>
#include <fstream>
#include <stdexcept>

#include "gif/gif_parser.h"

namespace gifwriter {

namespace {

constexpr uint8_t kCommentLabel = 0xFE;
constexpr uint8_t kApplicationLabel = 0xFF;
constexpr size_t kMaxSubBlock = 255;

void require(bool condition, const std::string& message) {
  if (!condition) throw std::invalid_argument("gifwriter: " + message);
}

void putWord(Bytes& out, int value) {
  require(value >= 0 && value <= 0xFFFF, "value " + std::to_string(value) + " is not 16 bits");
  out.push_back(static_cast<uint8_t>(value));
  out.push_back(static_cast<uint8_t>(value >> 8));
}

void append(Bytes& out, const Bytes& more) { out.insert(out.end(), more.begin(), more.end()); }

// Bits of the table size field: the table holds 2^(bits) entries.
int tableBits(const ColourTable& table) {
  require(!table.empty() && table.size() <= 256, "a colour table holds 1 to 256 colours");
  int bits = 1;
  while ((size_t{1} << bits) < table.size()) ++bits;
  return bits;
}

uint8_t tableFlags(const std::optional<ColourTable>& table) {
  if (!table) return 0;
  return static_cast<uint8_t>(kColourTableFlag | (tableBits(*table) - 1));
}

void putColourTable(Bytes& out, const ColourTable& table) {
  size_t entries = size_t{1} << tableBits(table);
  for (size_t i = 0; i < entries; ++i) {
    Rgb colour = i < table.size() ? table[i] : Rgb{};
    out.insert(out.end(), {colour.red, colour.green, colour.blue});
  }
}

void putExtension(Bytes& out, const Extension& extension) {
  out.push_back(kExtensionIntroducer);
  out.push_back(extension.label);
  for (const Bytes& block : extension.subBlocks) {
    require(!block.empty() && block.size() <= kMaxSubBlock, "an extension sub-block of 1 to 255");
    out.push_back(static_cast<uint8_t>(block.size()));
    append(out, block);
  }
  out.push_back(0);
}

void putGraphicControl(Bytes& out, const GraphicControl& control) {
  uint8_t packed = static_cast<uint8_t>((control.disposal & 7) << 2 | (control.userInput ? 2 : 0) |
                                        (control.transparent ? 1 : 0));
  out.insert(out.end(), {kExtensionIntroducer, kGraphicControlLabel, 4, packed});
  putWord(out, control.delay);
  out.push_back(control.transparentIndex);
  out.push_back(0);
}

void putScreen(Bytes& out, const Gif& gif) {
  for (char c : std::string(gif.gif87a ? "GIF87a" : "GIF89a"))
    out.push_back(static_cast<uint8_t>(c));
  putWord(out, gif.screenWidth);
  putWord(out, gif.screenHeight);
  uint8_t flags = tableFlags(gif.globalTable);
  if (gif.globalTable) flags |= static_cast<uint8_t>((tableBits(*gif.globalTable) - 1) << 4);
  out.insert(out.end(), {flags, gif.backgroundIndex, gif.aspectRatio});
  if (gif.globalTable) putColourTable(out, *gif.globalTable);
}

void putDescriptor(Bytes& out, const Frame& frame) {
  out.push_back(kImageSeparator);
  putWord(out, frame.left);
  putWord(out, frame.top);
  putWord(out, frame.width);
  putWord(out, frame.height);
  out.push_back(
      static_cast<uint8_t>(tableFlags(frame.localTable) | (frame.interlaced ? kInterlaceFlag : 0)));
  if (frame.localTable) putColourTable(out, *frame.localTable);
}

int frameCodeSize(const Frame& frame, const Gif& gif) {
  if (frame.codeSize != 0) return frame.codeSize;
  const std::optional<ColourTable>& table = frame.localTable ? frame.localTable : gif.globalTable;
  if (table) return minimumCodeSize(static_cast<int>(table->size()));
  int largest = 0;
  for (uint8_t index : frame.indices) largest = std::max<int>(largest, index);
  return minimumCodeSize(largest + 1);
}

// The pixels in the order the image stores them.
Bytes streamOrder(const Frame& frame) {
  size_t width = static_cast<size_t>(frame.width);
  require(frame.width >= 0 && frame.height >= 0 &&
              frame.indices.size() == width * static_cast<size_t>(frame.height),
          "a frame of " + std::to_string(frame.width) + "x" + std::to_string(frame.height) +
              " needs as many indices");
  if (!frame.interlaced) return frame.indices;
  Bytes ordered;
  ordered.reserve(frame.indices.size());
  for (int row : interlacedRowOrder(frame.height)) {
    auto first = frame.indices.begin() + static_cast<ptrdiff_t>(static_cast<size_t>(row) * width);
    ordered.insert(ordered.end(), first, first + static_cast<ptrdiff_t>(width));
  }
  return ordered;
}

// Offset in the packed data where the bytes that hold nothing but end-code bits begin.
size_t endCodeSplit(const std::vector<int>& codes, const std::vector<size_t>& bitOffsets,
                    int codeSize) {
  if (codes.empty() || codes.back() != (1 << codeSize) + 1) return 0;
  return (bitOffsets.back() + 7) / 8;
}

void putSubBlocks(Bytes& out, const Bytes& data, const Frame& frame, size_t split) {
  require(frame.subBlockSize >= 1 && frame.subBlockSize <= 255, "sub-block size 1 to 255");
  size_t blockSize = static_cast<size_t>(frame.subBlockSize);
  int written = 0;
  for (size_t at = 0; at < data.size();) {
    size_t end = std::min(data.size(), at + blockSize);
    if (split > at && split < end) end = split;
    out.push_back(static_cast<uint8_t>(end - at));
    out.insert(out.end(), data.begin() + static_cast<ptrdiff_t>(at),
               data.begin() + static_cast<ptrdiff_t>(end));
    at = end;
    ++written;
    if (std::count(frame.emptySubBlocksAfter.begin(), frame.emptySubBlocksAfter.end(), written))
      out.push_back(0);
  }
  out.push_back(0);
}

void putImageData(Bytes& out, const Frame& frame, const Gif& gif) {
  if (frame.rawData) {
    append(out, *frame.rawData);
    return;
  }
  int codeSize = frameCodeSize(frame, gif);
  std::vector<int> codes =
      frame.codes ? *frame.codes : encodeLzw(streamOrder(frame), codeSize, frame.lzw);
  std::vector<size_t> bitOffsets;
  Bytes packed = packCodes(codes, codeSize, &bitOffsets);
  size_t split = frame.endCodeInOwnSubBlock ? endCodeSplit(codes, bitOffsets, codeSize) : 0;
  out.push_back(frame.codeSizeByte ? *frame.codeSizeByte : static_cast<uint8_t>(codeSize));
  putSubBlocks(out, packed, frame, split);
}

FrameLayout putFrame(Bytes& out, const Frame& frame, const Gif& gif) {
  FrameLayout layout;
  layout.start = out.size();
  for (const Extension& extension : frame.extensions) putExtension(out, extension);
  if (frame.control) putGraphicControl(out, *frame.control);
  layout.descriptor = out.size();
  putDescriptor(out, frame);
  layout.imageData = out.size();
  putImageData(out, frame, gif);
  layout.end = out.size();
  return layout;
}

}  // namespace

Extension commentExtension(const std::string& text) {
  Extension extension{kCommentLabel, {}};
  for (size_t at = 0; at < text.size(); at += kMaxSubBlock) {
    std::string part = text.substr(at, kMaxSubBlock);
    extension.subBlocks.emplace_back(part.begin(), part.end());
  }
  return extension;
}

Extension applicationExtension(const std::string& identifierAndCode, const Bytes& data) {
  require(identifierAndCode.size() == 11, "an application identifier and code of 11 bytes");
  Extension extension{kApplicationLabel,
                      {Bytes(identifierAndCode.begin(), identifierAndCode.end())}};
  for (size_t at = 0; at < data.size(); at += kMaxSubBlock) {
    size_t end = std::min(data.size(), at + kMaxSubBlock);
    extension.subBlocks.emplace_back(data.begin() + static_cast<ptrdiff_t>(at),
                                     data.begin() + static_cast<ptrdiff_t>(end));
  }
  return extension;
}

Extension loopExtension(int loopCount) {
  require(loopCount >= 0 && loopCount <= 0xFFFF, "a loop count of 16 bits");
  return applicationExtension(
      "NETSCAPE2.0", {1, static_cast<uint8_t>(loopCount), static_cast<uint8_t>(loopCount >> 8)});
}

Bytes writeGif(const Gif& gif, GifLayout* layout) {
  Bytes out;
  GifLayout where;
  putScreen(out, gif);
  where.screenEnd = out.size();
  for (const Extension& extension : gif.extensions) putExtension(out, extension);
  for (const Frame& frame : gif.frames) where.frames.push_back(putFrame(out, frame, gif));
  where.trailer = out.size();
  if (gif.trailer) out.push_back(kTrailer);
  if (layout != nullptr) *layout = std::move(where);
  return out;
}

Bytes truncated(const Bytes& stream, size_t length) {
  return Bytes(stream.begin(),
               stream.begin() + static_cast<ptrdiff_t>(std::min(length, stream.size())));
}

bool saveBytes(const std::filesystem::path& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out.flush());
}

Bytes joinSubBlocks(const Bytes& stream, size_t offset, size_t* next) {
  Bytes data;
  size_t at = offset;
  while (at < stream.size() && stream[at] != 0) {
    size_t end = std::min(stream.size(), at + 1 + stream[at]);
    data.insert(data.end(), stream.begin() + static_cast<ptrdiff_t>(at + 1),
                stream.begin() + static_cast<ptrdiff_t>(end));
    at = end;
  }
  if (next != nullptr) *next = std::min(stream.size(), at + 1);
  return data;
}

}  // namespace gifwriter
