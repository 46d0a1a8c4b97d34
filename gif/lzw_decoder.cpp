#include "gif/lzw_decoder.h"

#include <bit>
#include <cstring>

#include "gif/frame_row_writer.h"

LzwDecoder lzwDecoder;

namespace {

constexpr int16_t kSmallestCodeSize = 2;
constexpr int16_t kLargestCodeSize = 9;
constexpr int32_t kFull = 56;  // bit count beyond which no further whole byte fits
// Rows are handed over once this many pixels (or one row, if wider) are
// gathered, so that narrow images do not pay the handover for every row.
constexpr int32_t kBatchPixels = 8192;

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
    code = static_cast<int32_t>(d.link[code] & 0xFFFF);
    ++length;
  }
  return length;
}

struct Emitted {
  int32_t length;  // -1: longer than any string can be
  uint8_t root;    // the string's first pixel
};

// The string of code, or of the previous code and its own first pixel for a
// code beyond the table, taken pixel by pixel along the prefix chain: the
// way of a corrupt table, whose entries may change under the strings that
// lead through them.
[[gnu::noinline]] Emitted emitAlongChain(const LzwDecoder& d, int32_t code, bool beyond,
                                         uint8_t firstPixel, uint8_t* out) {
  int32_t length = chainLength(d, code);
  if (length + beyond > kLzwLongestString) return {-1, 0};
  uint8_t* at = out + length;
  if (beyond) *at = firstPixel;
  while (code >= d.firstFree) {
    *--at = static_cast<uint8_t>(d.link[code] >> 16);
    code = static_cast<int32_t>(d.link[code] & 0xFFFF);
  }
  *--at = static_cast<uint8_t>(code);
  return {length + beyond, static_cast<uint8_t>(code)};
}

inline void store8(uint8_t* to, uint64_t bytes) { std::memcpy(to, &bytes, sizeof bytes); }

// Entry code = the string of previous (length pixels) followed by root.
inline void addEntry(LzwDecoder& d, int32_t code, int32_t previous, int32_t length, uint8_t root) {
  d.link[code] = static_cast<uint32_t>(previous) | static_cast<uint32_t>(root) << 16;
  // root goes into the chunk of previous when that has room, else it
  // starts a chunk of its own.
  int32_t inLastChunk = length & 7;
  uint64_t chunk = root;
  uint32_t rest = static_cast<uint32_t>(previous);
  if (inLastChunk != 0) {
    chunk = d.chunk[previous] | chunk << (8 * inLastChunk);
    rest = d.shape[previous] >> 16;
  }
  d.chunk[code] = chunk;
  d.shape[code] = static_cast<uint32_t>(length + 1) | rest << 16;
}

// How the entries of the table stand.
enum class Table {
  fresh,    // just cleared: the next code adds no entry
  regular,  // every entry's prefix lies below it
  corrupt,  // a code beyond the table has become a prefix: strings go by the chain
};

struct Handed {
  bool complete;   // the picture has its last row
  int32_t filled;  // pixels left in the row buffer
};

// Hands every complete row gathered in the row buffer to the row writer and
// moves what is left of the next row to the front. A zero-width image has
// no rows: its pixels go nowhere.
Handed handOverRows(int32_t filled, int32_t lineWidth) {
  if (lineWidth <= 0) return {false, 0};
  uint8_t* row = lzwDecoder.row;
  int32_t start = filled / lineWidth * lineWidth;
  // Complete: nothing decoded from the bits still held could reach the
  // picture.
  if (writeRows(row, lineWidth, filled / lineWidth)) return {true, filled};
  filled -= start;
  if (start > 0) std::memmove(row, row + start, filled);
  return {false, filled};
}

// At the end code: the complete rows, then the partial row, if any. When
// the code stream ends without one, the pixels of an unfinished row are
// dropped.
void finish(int32_t filled, int32_t lineWidth, bool endCode) {
  Handed handed = handOverRows(filled, lineWidth);
  if (endCode && !handed.complete && handed.filled > 0) writeRow(lzwDecoder.row, handed.filled);
}

// Complete rows, as many as fit a batch: a multiple of the row width.
int32_t batchSize(int32_t lineWidth) {
  if (lineWidth <= 0 || lineWidth >= kBatchPixels) return lineWidth;
  return kBatchPixels / lineWidth * lineWidth;
}

// What the code loop carries from code to code.
struct CodeState {
  LzwBitReader reader;
  int32_t width;
  int32_t nextFree;
  int32_t previous;
  int32_t previousLength;  // pixels of the string of previous
  uint8_t firstPixel;      // its first pixel
  int32_t filled;          // pixels in the row buffer
};

constexpr int32_t kCodesEnded = -1;
constexpr int32_t kBatchFull = -2;

// The chunks of a string of more than sixteen pixels before its last two,
// from lastAt - 16 down to its start; rest names the chunk at lastAt - 8.
// Returns the string's first pixel.
[[gnu::noinline]] uint8_t writeLongString(const LzwDecoder& d, uint32_t rest, int32_t lastAt,
                                          uint8_t* out) {
  uint64_t chunk = 0;
  for (int32_t at = lastAt - 16; at >= 0; at -= 8) {
    rest = d.shape[rest] >> 16;
    chunk = d.chunk[rest];
    store8(out + at, chunk);
  }
  return static_cast<uint8_t>(chunk);
}

// Writes the string of an entry of the regular table, length pixels from
// out: the chunk before its last one and its last chunk in two stores (for a
// string of eight pixels or fewer, the first store lands where the second
// overwrites it), then the chunks before them, towards its start. The last
// store runs up to seven bytes past the string's end, into row buffer space
// that the strings after it overwrite. Returns the string's first pixel,
// taken from the chunks rather than read back from the row, which would
// wait for the stores.
inline uint8_t writeString(const LzwDecoder& d, int32_t code, int32_t length, uint8_t* out) {
  int32_t lastAt = (length - 1) & ~7;
  uint32_t rest = d.shape[code] >> 16;
  uint64_t before = d.chunk[rest];
  uint64_t last = d.chunk[code];
  store8(out + (lastAt > 8 ? lastAt - 8 : 0), before);
  store8(out + lastAt, last);
  if (lastAt > 8) return writeLongString(d, rest, lastAt, out);
  return static_cast<uint8_t>(lastAt == 0 ? last : before);
}

// The common case, kept apart so that its state stays in registers: codes
// of the regular table, each a string written eight pixels a store and the
// entry it makes. Returns the first other code (a clear or end code, or one
// at or beyond nextFree), kCodesEnded when the code stream ends, or
// kBatchFull once the row buffer holds a batch.
//
// While the table is not full, nextFree lies below 1 << width (the width
// grows with the entry that fills its last code); a full table holds 4096
// entries and takes no more until a clear code.
[[gnu::noinline]] int32_t regularCodes(CodeState& s, int32_t batch) {
  LzwDecoder& d = lzwDecoder;
  uint64_t bits = s.reader.bits;
  int32_t count = s.reader.bitCount;
  const uint8_t* cursor = s.reader.cursor;
  int32_t bytesLeft = s.reader.bytesLeft;
  int32_t width = s.width;
  uint32_t mask = (1u << width) - 1;
  int32_t nextFree = s.nextFree;
  int32_t previous = s.previous;
  int32_t previousLength = s.previousLength;
  uint8_t* const start = d.row + s.filled;
  uint8_t* out = start;
  uint8_t* const batchEnd = d.row + batch;
  int32_t result;
  for (;;) {
    // Topped up when short of a code: eight bytes in one load while the
    // sub-block has them, byte by byte near its end.
    if (count >= width) {
    } else if (bytesLeft >= 8) {
      refill(bits, count, cursor, bytesLeft);
    } else if (!want(width, bits, count, cursor, bytesLeft)) {
      result = kCodesEnded;
      break;
    }
    auto c = static_cast<int32_t>(bits & mask);
    bits >>= width;
    count -= width;
    // The clear and end codes have length 0.
    int32_t length = c < nextFree ? static_cast<int32_t>(d.shape[c] & 0xFFFF) : 0;
    if (length == 0) {
      result = c;
      break;
    }
    uint8_t root = writeString(d, c, length, out);
    if (nextFree < kLzwTableSize) {
      addEntry(d, nextFree, previous, previousLength, root);
      ++nextFree;
      if (nextFree > static_cast<int32_t>(mask) && width < kLzwWidestCode) {
        ++width;
        mask = mask << 1 | 1;
      }
    }
    previous = c;
    previousLength = length;
    out += length;
    if (out >= batchEnd) {
      result = kBatchFull;
      break;
    }
  }
  s.reader = {bits, count, cursor, bytesLeft};
  s.width = width;
  s.nextFree = nextFree;
  s.previous = previous;
  s.previousLength = previousLength;
  if (out != start) s.firstPixel = out[-previousLength];
  s.filled = static_cast<int32_t>(out - d.row);
  return result;
}

// The code loop.
//
// Besides its prefix and suffix (link), each entry keeps its length and its
// pixels in chunks of eight: its last 1 to 8 pixels in chunk, and in shape
// the entry that stands for the pixels before them. A string is then written
// eight pixels a step. This holds while every entry's prefix lies below it;
// a code beyond the table breaks that, and from there to the next clear code
// strings are taken pixel by pixel along the prefix chain.
void runCodes(int32_t lineWidth, int16_t codeSize) {
  LzwDecoder& d = lzwDecoder;
  const int32_t clearCode = d.clearCode;
  uint8_t* const row = d.row;
  CodeState s{d.reader, d.codeWidth, d.nextFree, 0, 1, 0, 0};
  // The first code of the stream is taken like the first behind a clear
  // code, which encoders are asked, but not bound, to send first: it adds
  // no entry, since no string comes before it.
  Table table = Table::fresh;
  const int32_t batch = batchSize(lineWidth);
  bool going = true;

  while (going) {
    int32_t c;
    if (table == Table::regular) {
      c = regularCodes(s, batch);
    } else if (want(s.width, s.reader.bits, s.reader.bitCount, s.reader.cursor,
                    s.reader.bytesLeft)) {
      c = static_cast<int32_t>(s.reader.bits & ((1u << s.width) - 1));
      s.reader.bits >>= s.width;
      s.reader.bitCount -= s.width;
    } else {
      c = kCodesEnded;
    }
    if (c == kCodesEnded) {
      finish(s.filled, lineWidth, false);
      break;
    }
    if (c == kBatchFull) {
      Handed handed = handOverRows(s.filled, lineWidth);
      going = !handed.complete;
      s.filled = handed.filled;
      continue;
    }
    if (static_cast<uint32_t>(c - clearCode) < 2) {
      if (c != clearCode) {
        finish(s.filled, lineWidth, true);
        break;
      }
      s.width = codeSize + 1;
      s.nextFree = clearCode + 2;
      table = Table::fresh;
      continue;
    }
    if (table == Table::fresh) {
      if (c >= s.nextFree) c = 0;
      s.previous = c;
      s.previousLength = 1;
      s.firstPixel = static_cast<uint8_t>(c);
      row[s.filled++] = s.firstPixel;
      table = Table::regular;
    } else {
      int32_t length;
      uint8_t root;
      if (table == Table::regular) {
        // A code at or beyond nextFree stands for the previous string
        // followed by its own first pixel: the entry this very step defines,
        // written once it is in. A code beyond nextFree is taken exactly like
        // nextFree.
        length = s.previousLength + 1;
        root = s.firstPixel;
      } else {
        bool beyond = c >= s.nextFree;
        Emitted e =
            emitAlongChain(d, beyond ? s.previous : c, beyond, s.firstPixel, row + s.filled);
        if (e.length < 0) {
          finish(s.filled, lineWidth, false);
          break;
        }
        length = e.length;
        root = e.root;
      }
      // A full table (4096 entries) takes no more until a clear code; no code
      // can then lie beyond it.
      if (s.nextFree < 1 << s.width) {
        addEntry(d, s.nextFree, s.previous, s.previousLength, root);
        if (c >= s.nextFree && table == Table::regular)
          writeString(d, s.nextFree, length, row + s.filled);
        ++s.nextFree;
        s.previous = c;
        s.previousLength = length;
        s.firstPixel = root;
        // A code beyond the table, kept as the previous code, becomes the
        // prefix of the next entry without lying below it.
        if (c >= s.nextFree) table = Table::corrupt;
        // The width grows right after the entry that fills its last code.
        if (s.nextFree >> s.width && s.width < kLzwWidestCode) ++s.width;
      }
      s.filled += length;
    }
    if (s.filled >= batch) {
      Handed handed = handOverRows(s.filled, lineWidth);
      going = !handed.complete;
      s.filled = handed.filled;
    }
  }

  d.reader = s.reader;
  d.codeWidth = static_cast<int16_t>(s.width);
  d.nextFree = static_cast<int16_t>(s.nextFree);
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
  d.clearCode = static_cast<int16_t>(1 << codeSize);
  d.endCode = static_cast<int16_t>(d.clearCode + 1);
  d.firstFree = d.nextFree = static_cast<int16_t>(d.clearCode + 2);
  d.reader = {0, 0, nullptr, 0};
  for (int32_t root = d.rootsReady; root < d.clearCode; ++root) {
    d.shape[root] = 1;
    d.chunk[root] = static_cast<uint8_t>(root);
  }
  // Entries from clearCode on are the table's, overwritten as it fills; the
  // clear and end codes have no string.
  d.rootsReady = d.clearCode;
  d.shape[d.clearCode] = 0;
  d.shape[d.endCode] = 0;
}

int16_t decode(int32_t lineWidth) {
  int32_t codeSize = readSourceByte();
  if (codeSize < 0) return kDecodeNoCodeSize;
  if (codeSize < kSmallestCodeSize || codeSize > kLargestCodeSize) return kDecodeBadCodeSize;
  if (lineWidth > kWidestRow) lineWidth = kWidestRow;
  resetTables(static_cast<int16_t>(codeSize));
  runCodes(lineWidth, static_cast<int16_t>(codeSize));
  return kDecodeDone;
}
