// Reads a block of bytes front to back, for the resource, icon and MIDI
// readers. A read beyond the end fails the reader for good: ok turns false,
// and that read and every later one give 0.
#pragma once

#include <cstddef>
#include <cstdint>

struct ByteReader {
  const uint8_t* data;
  size_t size;
  size_t at = 0;
  bool ok = true;

  size_t left() const { return ok ? size - at : 0; }
  bool has(size_t bytes) {
    if (ok && bytes <= size - at) return true;
    ok = false;
    return false;
  }
  void skip(size_t bytes) {
    if (has(bytes)) at += bytes;
  }
  void alignTo(size_t unit) { skip((unit - at % unit) % unit); }
  // The next byte without taking it; 0 at the end.
  uint8_t peek() const { return left() > 0 ? data[at] : 0; }
  uint8_t u8() { return has(1) ? data[at++] : 0; }
  // Little-endian, as Windows writes its files.
  uint16_t u16() {
    uint16_t low = u8();
    return static_cast<uint16_t>(low | u8() << 8);
  }
  uint32_t u32() {
    uint32_t low = u16();
    return low | static_cast<uint32_t>(u16()) << 16;
  }
  // Big-endian, as MIDI files are.
  uint32_t bigEndian(int bytes) {
    uint32_t value = 0;
    for (int i = 0; i < bytes; ++i) value = value << 8 | u8();
    return value;
  }
};
