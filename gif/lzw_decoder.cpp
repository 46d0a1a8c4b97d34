#include "gif/lzw_decoder.h"

#include <bit>
#include <cstring>

#include "gif/frame_row_writer.h"

LzwDecoder lzwDecoder;

namespace {

constexpr int16_t kSmallestCodeSize = 2;
constexpr int16_t kLargestCodeSize = 9;
constexpr int32_t kKeepGoing = 1;
constexpr int32_t kFull = 56;  // bit count beyond which no further whole byte fits

// Codes are packed least significant bit first; the bulk load below takes
// eight of them in one little-endian word.
static_assert(std::endian::native == std::endian::little);

// The data bytes of one sub-block, left in place in the source.
struct SubBlock {
  const uint8_t* data;
  int32_t size;  // 0: none could be started
};

// Starts the next sub-block when all of its bytes are there, moving the
// source past it. A size byte of 0 is the image's block terminator: met
// while bits are still wanted, it ends the code stream, and the position is
// left on it so that the parser's one-byte skip passes exactly that byte.
SubBlock startSubBlock() {
  int32_t size = readSourceByte();
  if (size <= 0) {
    if (size == 0) --lzwDecoder.source->position;
    return {nullptr, 0};
  }
  PayloadBuffer& source = *lzwDecoder.source;
  if (size > source.size - source.position) {
    source.position = source.size;  // the bytes that are there were read in vain
    return {nullptr, 0};
  }
  SubBlock block{source.data + source.position, size};
  source.position += size;
  return block;
}

// Tops the bits up from the current sub-block: eight bytes in one load while
// the sub-block holds that many, byte by byte near its end.
inline void refill(uint64_t& bits, int32_t& count, const uint8_t*& cursor, int32_t& bytesLeft) {
  if (bytesLeft >= 8) {
    uint64_t word;
    std::memcpy(&word, cursor, sizeof word);
    // The bits of the partly taken byte land above count; they are that same
    // byte's bits, so the load that takes it whole later ORs in nothing new.
    bits |= word << count;
    int32_t taken = (63 - count) >> 3;
    cursor += taken;
    bytesLeft -= taken;
    count += taken * 8;
    return;
  }
  while (bytesLeft > 0 && count <= kFull) {
    bits |= static_cast<uint64_t>(*cursor++) << count;
    count += 8;
    --bytesLeft;
  }
}

// Makes sure width bits are held; false when the code stream has ended.
inline bool want(int32_t width, uint64_t& bits, int32_t& count, const uint8_t*& cursor,
                 int32_t& bytesLeft) {
  while (count < width) {
    if (bytesLeft == 0) {
      SubBlock block = startSubBlock();
      if (block.size == 0) return false;
      cursor = block.data;
      bytesLeft = block.size;
    }
    refill(bits, count, cursor, bytesLeft);
  }
  return true;
}

// Pixels of the string of code, found through its prefix chain; longer than
// a string can be when a corrupt stream has made the chain loop.
int32_t chainLength(const LzwDecoder& d, int32_t code) {
  int32_t length = 1;
  while (code >= d.firstFree && length <= kLzwLongestString) {
    code = d.prefix[code];
    ++length;
  }
  return length;
}

// Writes the string of code backwards from end - 1; returns its first pixel.
inline uint8_t writeString(const LzwDecoder& d, int32_t code, uint8_t* end) {
  while (code >= d.firstFree) {
    *--end = d.suffix[code];
    code = d.prefix[code];
  }
  *--end = static_cast<uint8_t>(code);
  return static_cast<uint8_t>(code);
}

// Hands every complete row gathered in the row buffer to the row writer and
// moves what is left of the next row to the front. A zero-width image has
// no rows: its pixels go nowhere.
int32_t handOverRows(int32_t& filled, int32_t lineWidth) {
  if (lineWidth <= 0) {
    filled = 0;
    return kKeepGoing;
  }
  uint8_t* row = lzwDecoder.row;
  int32_t start = 0;
  while (filled - start >= lineWidth) {
    int32_t result = writeRow(row + start, lineWidth);
    if (result < 0) return result;
    // Detached: the picture is complete, and nothing decoded from the bits
    // still held could reach it.
    if (lzwDecoder.source == nullptr) return kDecodeDone;
    start += lineWidth;
  }
  filled -= start;
  if (start > 0) std::memmove(row, row + start, filled);
  return kKeepGoing;
}

// The partial row at the end code, if any, then the writer's result.
int32_t finish(int32_t filled) {
  return filled > 0 ? writeRow(lzwDecoder.row, filled) : kDecodeDone;
}

// The code loop: the decoder's state lives in locals while it runs.
int32_t runCodes(int32_t lineWidth, int16_t codeSize) {
  LzwDecoder& d = lzwDecoder;
  uint64_t bits = d.reader.bits;
  int32_t count = d.reader.bitCount;
  const uint8_t* cursor = d.reader.cursor;
  int32_t bytesLeft = d.reader.bytesLeft;
  int32_t width = d.codeWidth;
  int32_t nextFree = d.nextFree;
  int32_t limit = d.limit;
  const int32_t clearCode = d.clearCode;
  const int32_t endCode = d.endCode;
  const int32_t firstFree = d.firstFree;
  uint8_t* const row = d.row;

  int32_t previous = 0;
  int32_t previousLength = 1;  // pixels of the string of previous
  uint8_t firstPixel = 0;      // its first pixel
  bool regular = true;         // every entry's prefix lies below it, lengths hold
  // The first code of the stream is taken like the first behind a clear
  // code, which encoders are asked, but not bound, to send first: it adds
  // no entry, since no string comes before it.
  bool startOfTable = true;
  int32_t filled = 0;  // pixels in the row buffer
  int32_t status = kKeepGoing;

  while (status == kKeepGoing) {
    if (!want(width, bits, count, cursor, bytesLeft)) {
      status = kDecodeDone;
      break;
    }
    int32_t c = static_cast<int32_t>(bits & ((1u << width) - 1));
    bits >>= width;
    count -= width;

    if (c == clearCode) {
      width = codeSize + 1;
      limit = 1 << width;
      nextFree = firstFree;
      regular = true;
      startOfTable = true;
      continue;
    }
    if (c == endCode) {
      status = finish(filled);
      break;
    }
    if (startOfTable) {
      if (c >= nextFree) c = 0;
      previous = c;
      previousLength = 1;
      firstPixel = static_cast<uint8_t>(c);
      row[filled++] = firstPixel;
      startOfTable = false;
    } else {
      // A code at or beyond nextFree stands for the previous string followed
      // by its own first pixel: the entry this very step defines.
      int32_t code = c;
      int32_t extra = 0;
      if (c >= nextFree) {
        code = previous;
        extra = 1;
      }
      int32_t length = code < firstFree ? 1 : regular ? d.length[code] : chainLength(d, code);
      if (length + extra > kLzwLongestString) {
        status = kDecodeDone;
        break;
      }
      uint8_t* end = row + filled + length;
      uint8_t root = writeString(d, code, end);
      if (extra) *end = firstPixel;
      filled += length + extra;
      if (nextFree < limit) {
        firstPixel = root;
        d.suffix[nextFree] = root;
        d.prefix[nextFree] = static_cast<int16_t>(previous);
        d.length[nextFree] = static_cast<uint16_t>(previousLength + 1);
        ++nextFree;
        previous = c;
        previousLength = length + extra;
        // A code beyond the table, kept as the previous code, becomes a prefix
        // that does not lie below its entry: from here to the next clear
        // code, lengths are counted along the chain.
        if (c >= nextFree) regular = false;
        // The width grows right after the entry that fills its last code.
        if (nextFree >= limit && width < kLzwWidestCode) {
          limit <<= 1;
          ++width;
        }
      }
    }
    if (filled >= lineWidth) status = handOverRows(filled, lineWidth);
  }

  d.reader = {bits, count, cursor, bytesLeft};
  d.codeWidth = static_cast<int16_t>(width);
  d.nextFree = static_cast<int16_t>(nextFree);
  d.limit = static_cast<int16_t>(limit);
  return status;
}

}  // namespace

void attachSource(PayloadBuffer& buffer) { lzwDecoder.source = &buffer; }

void detachSource() { lzwDecoder.source = nullptr; }

int32_t readSourceByte() {
  PayloadBuffer* source = lzwDecoder.source;
  if (source == nullptr || source->position >= source->size || source->position < 0) return -1;
  return source->data[source->position++];
}

void resetTables(int16_t codeSize) {
  LzwDecoder& d = lzwDecoder;
  d.codeWidth = static_cast<int16_t>(codeSize + 1);
  d.limit = static_cast<int16_t>(1 << d.codeWidth);
  d.clearCode = static_cast<int16_t>(1 << codeSize);
  d.endCode = static_cast<int16_t>(d.clearCode + 1);
  d.firstFree = d.nextFree = static_cast<int16_t>(d.clearCode + 2);
  d.reader = {0, 0, nullptr, 0};
}

int16_t nextCode() {
  LzwBitReader& r = lzwDecoder.reader;
  int32_t width = lzwDecoder.codeWidth;
  if (!want(width, r.bits, r.bitCount, r.cursor, r.bytesLeft)) return -1;
  auto code = static_cast<int16_t>(r.bits & ((1u << width) - 1));
  r.bits >>= width;
  r.bitCount -= width;
  return code;
}

int16_t decode(int32_t lineWidth) {
  int32_t codeSize = readSourceByte();
  if (codeSize < 0) return kDecodeNoCodeSize;
  if (codeSize < kSmallestCodeSize || codeSize > kLargestCodeSize) return kDecodeBadCodeSize;
  if (lineWidth > kWidestRow) lineWidth = kWidestRow;
  resetTables(static_cast<int16_t>(codeSize));
  int32_t result = runCodes(lineWidth, static_cast<int16_t>(codeSize));
  return static_cast<int16_t>(result < INT16_MIN ? INT16_MIN : result);
}
