// The records appended behind the program image, and the scanner that finds
// them: "*" TAG ":" then a 32-bit little-endian length, then the payload.
#pragma once

#include <cstdint>

#include "platform/win32.h"

// The program keeps its tags with three dashes in front; matching starts at
// the fourth character, so the image never holds a complete marker.
inline constexpr const char* kPictureTag = "---GIF_BEGINS_HERE";
inline constexpr const char* kMusicTag = "---MIDI_BEGINS_HERE";
inline constexpr int kTagPrefixLength = 3;
inline constexpr int kLocatorBufferSize = 4096;

struct PayloadLocator {
  HANDLE file;  // nullptr when none is open
  uint8_t buffer[kLocatorBufferSize];
  uint8_t* cursor;
  int32_t available;
  int32_t consumed;
};

// One payload in memory; owns its block.
struct PayloadBuffer {
  uint8_t* data;
  int32_t size;
  int32_t position;
};

extern PayloadLocator payloadLocator;

// Opens path and finds the record of tag; returns its length with the file
// positioned on the payload, or 0. Without a tag, returns the file's size.
int32_t locate(const char* path, const char* tag);
// The same on a file opened for reading, which the locator then owns.
int32_t locateIn(HANDLE file, const char* tag);
// The next byte of the file as 0..255, or -1 when it cannot be read further.
int32_t nextByte();
// Fills the whole buffer from the locator's file with a single read.
bool readExact(PayloadBuffer& buffer);
// Closes the locator's file if one is open.
void closeLocator();

// A buffer of size bytes (not cleared); data is nullptr when none could be had.
PayloadBuffer makePayloadBuffer(int32_t size);
void releasePayloadBuffer(PayloadBuffer& buffer);
