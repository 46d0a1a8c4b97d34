#include "payload/payload_locator.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "platform/global_block.h"

PayloadLocator payloadLocator;

namespace {

constexpr int kMarker = '*';
constexpr int kSeparator = ':';

// Finds the next "*" a buffer at a time: hands out every byte up to and
// including it, exactly as reading them one by one would.
bool skipToMarker() {
  PayloadLocator& l = payloadLocator;
  for (;;) {
    if (l.available == 0) {
      int32_t c = nextByte();
      if (c < 0) return false;
      if (c == kMarker) return true;
      continue;
    }
    auto* found = static_cast<uint8_t*>(std::memchr(l.cursor, kMarker, l.available));
    int32_t passed = found ? static_cast<int32_t>(found - l.cursor) + 1 : l.available;
    l.cursor += passed;
    l.available -= passed;
    l.consumed += passed;
    if (found) return true;
  }
}

// Matches the tag text and the ":" behind it after a "*". The first byte that
// differs ends the attempt and is not looked at again, even when it is "*".
int32_t matchTagAfterMarker(const char* match) {
  for (const char* m = match; *m != '\0'; ++m) {
    int32_t c = nextByte();
    if (c != static_cast<uint8_t>(*m)) return c < 0 ? -1 : 0;
  }
  int32_t c = nextByte();
  if (c < 0) return -1;
  return c == kSeparator ? 1 : 0;
}

int32_t readLengthField() {
  PayloadLocator& l = payloadLocator;
  if (SetFilePointer(l.file, l.consumed, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER) return 0;
  uint8_t field[4];
  DWORD got = 0;
  if (!ReadFile(l.file, field, sizeof field, &got, nullptr) || got != sizeof field) return 0;
  uint32_t length =
      field[0] | field[1] << 8 | field[2] << 16 | static_cast<uint32_t>(field[3]) << 24;
  return static_cast<int32_t>(length);
}

}  // namespace

// Positions are signed 32-bit values: the read-ahead never goes past the
// largest one, so consumed + available stays within it and a file of 2 GiB
// or more simply ends there for the scanner.
int32_t nextByte() {
  PayloadLocator& l = payloadLocator;
  if (l.available == 0) {
    DWORD room = std::min<DWORD>(kLocatorBufferSize, INT32_MAX - l.consumed);
    DWORD got = 0;
    if (l.file == nullptr || room == 0 || !ReadFile(l.file, l.buffer, room, &got, nullptr) ||
        got < 1)
      return -1;
    l.available = static_cast<int32_t>(got);
    l.cursor = l.buffer;
  }
  --l.available;
  ++l.consumed;
  return *l.cursor++;
}

int32_t locate(const char* path, const char* tag) {
  return locateIn(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr),
                  tag);
}

int32_t locateIn(HANDLE file, const char* tag) {
  PayloadLocator& l = payloadLocator;
  closeLocator();
  l.consumed = 0;
  l.available = 0;
  l.file = file;
  if (l.file == INVALID_HANDLE_VALUE) {
    l.file = nullptr;
    return 0;
  }
  if (tag == nullptr) return static_cast<int32_t>(GetFileSize(l.file, nullptr));
  const char* match = tag + kTagPrefixLength;
  while (skipToMarker()) {
    int32_t matched = matchTagAfterMarker(match);
    if (matched < 0) return 0;
    if (matched > 0) return readLengthField();
  }
  return 0;
}

bool readExact(PayloadBuffer& buffer) {
  if (buffer.data == nullptr || buffer.size < 0 || payloadLocator.file == nullptr) return false;
  DWORD got = 0;
  auto wanted = static_cast<DWORD>(buffer.size);
  return ReadFile(payloadLocator.file, buffer.data, wanted, &got, nullptr) && got == wanted;
}

void closeLocator() {
  if (payloadLocator.file == nullptr) return;
  CloseHandle(payloadLocator.file);
  payloadLocator.file = nullptr;
}

// A length read from the file is a signed 32-bit value; one that is not
// positive (a length field of 2 GiB or more) gives no block.
PayloadBuffer makePayloadBuffer(int32_t size) {
  PayloadBuffer buffer{nullptr, size, 0};
  if (size > 0) buffer.data = static_cast<uint8_t*>(allocateBlock(static_cast<uint32_t>(size)));
  return buffer;
}

void releasePayloadBuffer(PayloadBuffer& buffer) {
  releaseBlock(buffer.data);
  buffer.data = nullptr;
}
