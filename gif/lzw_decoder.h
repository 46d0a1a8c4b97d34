// The LZW raster decoder: turns the code stream of one image, read from the
// payload buffer in data sub-blocks, into rows of palette indices that it
// hands to the frame row writer.
#pragma once

#include <cstdint>

#include "payload/payload_locator.h"

inline constexpr int kLzwTableSize = 4096;  // codes are at most 12 bits wide
inline constexpr int kLzwWidestCode = 12;
// The longest string one code may stand for; a longer one only comes out of
// a corrupt table and ends the decoding.
inline constexpr int kLzwLongestString = 4096;
inline constexpr int32_t kWidestRow = 65535;  // the largest width a GIF can give

// Results of decode.
inline constexpr int16_t kDecodeDone = 0;
inline constexpr int16_t kDecodeNoCodeSize = -1;
inline constexpr int16_t kDecodeBadCodeSize = -20;

// The bits of the code stream not yet taken. A sub-block is checked whole
// when it is started and then read in place from the buffer.
struct LzwBitReader {
  uint64_t bits;          // taken from the low end, least significant bit first
  int32_t bitCount;       // bits held in bits
  const uint8_t* cursor;  // next unread byte of the current sub-block
  int32_t bytesLeft;      // unread bytes of the current sub-block
};

struct LzwDecoder {
  PayloadBuffer* source;  // nullptr when detached
  int16_t codeWidth;      // code size + 1 after each reset, at most 12
  int16_t clearCode;      // 1 << code size
  int16_t endCode;        // clearCode + 1
  int16_t firstFree;      // clearCode + 2: the first entry of two or more pixels
  int16_t nextFree;       // the next entry to be filled
  // Entry e as a chain: its string without its last pixel is the string
  // of entry link & 0xFFFF, the last pixel is link >> 16.
  uint32_t link[kLzwTableSize];
  // While every entry's prefix lies below it, entry e in chunks: its last
  // 1 to 8 pixels in chunk[e] (first in the low byte), the rest being the
  // string of entry shape[e] >> 16, and shape[e] & 0xFFFF its length.
  uint32_t shape[kLzwTableSize];
  uint64_t chunk[kLzwTableSize];
  // Entries below this hold their root string (length and chunk) from
  // an earlier image: only the entries a larger code size adds are set up.
  int32_t rootsReady;
  LzwBitReader reader;
  // The rows being assembled (handed over a batch at a time), with room
  // behind them for one whole string and the chunk written past its end.
  uint8_t row[kWidestRow + kLzwLongestString + 8];
};

extern LzwDecoder lzwDecoder;

// The byte source: the payload buffer, positioned on an image's code size.
void attachSource(PayloadBuffer& buffer);
void detachSource();
// The byte at the source's position, which moves on; -1 when detached or at
// the end of the buffer.
int32_t readSourceByte();

// Prepares the code table counters and the bit reader for a new image.
void resetTables(int16_t codeSize);
// Decodes one image of lineWidth pixels per row (0 to 65535), handing every
// row to writeRow until the picture is complete. Returns 0 (picture
// complete, end code or end of data), -1 (no code size byte) or -20 (code
// size outside 2..9).
int16_t decode(int32_t lineWidth);
