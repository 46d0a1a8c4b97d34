// Writes GIF streams for the tests and tools: well-formed GIF89a or GIF87a
// files coded by a real LZW encoder, and, on request, the damaged or unusual
// streams that a decoder has to live through (early or missing end codes,
// runs of clear codes, codes beyond the table, a full table kept without a
// clear code, empty sub-blocks inside the image data, any code sequence the
// caller names, and streams cut short anywhere).
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace gifwriter {

using Bytes = std::vector<uint8_t>;

struct Rgb {
  uint8_t red = 0;
  uint8_t green = 0;
  uint8_t blue = 0;
};

// 1 to 256 colours; written padded with black to the next power of two (at least 2).
using ColourTable = std::vector<Rgb>;

inline constexpr int kMaxCodeWidth = 12;
inline constexpr int kTableSize = 1 << kMaxCodeWidth;

// Any extension block: introducer 0x21, label, data sub-blocks (each 1 to 255
// bytes), terminator.
struct Extension {
  uint8_t label = 0;
  std::vector<Bytes> subBlocks;
};

Extension commentExtension(const std::string& text);
// NETSCAPE2.0 looping extension; 0 loops forever.
Extension loopExtension(int loopCount);
Extension applicationExtension(const std::string& identifierAndCode, const Bytes& data);

struct GraphicControl {
  int disposal = 0;  // 0 to 7
  bool userInput = false;
  bool transparent = false;
  uint8_t transparentIndex = 0;
  uint16_t delay = 0;  // hundredths of a second
};

// How the LZW code stream of one image is made from its pixels.
struct LzwOptions {
  bool initialClear = true;     // begin with a clear code
  int clearRun = 1;             // clear codes written wherever one belongs (a run when above 1)
  int clearEvery = 0;           // above 0: clear again after this many data codes
  bool deferredClear = false;   // with a full table, go on coding with it instead of clearing
  int64_t endAfterPixels = -1;  // 0 or more: the end code follows this many pixels
  bool endCode = true;          // false: the stream stops without an end code
  // 0 or more: that data code (counted from 0, clear and end codes not
  // counted) becomes the largest code of its width, beyond the table unless
  // the width is about to grow.
  int64_t beyondTableAt = -1;
};

struct Frame {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  bool interlaced = false;
  Bytes indices;  // width × height palette indices, picture rows from the top
  std::optional<ColourTable> localTable;
  std::optional<GraphicControl> control;
  std::vector<Extension> extensions;  // written before the graphic control extension
  int codeSize = 0;                   // LZW minimum code size; 0: what the colour table needs
  LzwOptions lzw;
  std::optional<std::vector<int>> codes;  // written as given instead of the coded indices
  int subBlockSize = 255;                 // 1 to 255
  std::vector<int> emptySubBlocksAfter;  // a zero-length sub-block behind these sub-blocks (from 1)
  bool endCodeInOwnSubBlock = false;     // the bytes holding only end-code bits start a sub-block
  std::optional<uint8_t> codeSizeByte;   // written in place of the code size used for coding
  std::optional<Bytes> rawData;  // everything behind the descriptor and local table, as given
};

struct Gif {
  bool gif87a = false;
  int screenWidth = 0;
  int screenHeight = 0;
  std::optional<ColourTable> globalTable;
  uint8_t backgroundIndex = 0;
  uint8_t aspectRatio = 0;
  std::vector<Extension> extensions;  // behind the global colour table, before the first image
  std::vector<Frame> frames;
  bool trailer = true;
};

// Where the parts of a written stream lie, for cutting or inspecting it.
struct FrameLayout {
  size_t start = 0;       // first byte of the frame's extensions, or of its descriptor
  size_t descriptor = 0;  // the image separator 0x2C
  size_t imageData = 0;   // the code size byte
  size_t end = 0;         // just behind the block terminator
};

struct GifLayout {
  size_t screenEnd = 0;  // behind the logical screen descriptor and global table
  std::vector<FrameLayout> frames;
  size_t trailer = 0;  // where the trailer is, or would be
};

// Throws std::invalid_argument for requests it cannot write (indices that do
// not fit the code size, a pixel count that does not match the frame, ...).
Bytes writeGif(const Gif& gif, GifLayout* layout = nullptr);

// The first length bytes of a stream.
Bytes truncated(const Bytes& stream, size_t length);

// Writes bytes to a file, replacing it; false when they could not all be written.
bool saveBytes(const std::filesystem::path& path, const Bytes& bytes);

// The LZW code stream of pixels: clear code, data codes, end code.
std::vector<int> encodeLzw(const Bytes& pixels, int codeSize, const LzwOptions& options = {});
// Packs codes least significant bit first at the width a decoder reads each
// one with; bitOffsets, when given, receives where each code starts.
Bytes packCodes(const std::vector<int>& codes, int codeSize,
                std::vector<size_t>* bitOffsets = nullptr);
// Reads packed codes back, up to and including the end code or until the bits run out.
std::vector<int> unpackCodes(const Bytes& packed, int codeSize);
// The data bytes of the sub-blocks starting at offset, up to the first empty
// one; the next offset is stored in next when given.
Bytes joinSubBlocks(const Bytes& stream, size_t offset, size_t* next = nullptr);

// Rows of a picture of the given height in the order an interlaced image stores them.
std::vector<int> interlacedRowOrder(int height);
// The smallest LZW minimum code size for a table of colours (at least 2).
int minimumCodeSize(int colours);

// Follows a code stream the way a decoder does, to know the width of the next
// code: each data code after the first behind a clear code adds an entry, and
// the width grows when the next entry no longer fits it, up to 12 bits.
class CodeWidthTracker {
 public:
  explicit CodeWidthTracker(int codeSize);
  int width() const { return width_; }
  int nextFree() const { return nextFree_; }
  int clearCode() const { return 1 << codeSize_; }
  int endCode() const { return clearCode() + 1; }
  void take(int code);

 private:
  void reset();
  int codeSize_;
  int width_ = 0;
  int nextFree_ = 0;
  bool firstAfterClear_ = true;
};

}  // namespace gifwriter
