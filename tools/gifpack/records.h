// The records gifpack appends, and finding them again with the player's own
// scanner. The complete marker texts exist only at run time: they are built
// from the player's stored tags, so no binary ever holds one.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

// "*" + the tag from its fourth character + ":".
std::string markerFor(const char* storedTag);
std::string pictureMarker();
std::string musicMarker();

// marker, 32-bit little-endian length, payload.
void appendRecord(Bytes& out, const std::string& marker, const Bytes& payload);

struct FoundRecord {
  uint64_t markerOffset;
  uint64_t payloadOffset;
  bool hasLength;         // false when the file ends inside the length field
  uint32_t length;        // announced payload bytes
  uint64_t bytesPresent;  // payload bytes the file actually holds behind the field
};

// Where the player's scanner finds the record of storedTag in the file at path
// (a file under 2 GiB), or nothing. A record of length 0, or one whose length
// field is cut off, is still found: the scanner stops there all the same.
std::optional<FoundRecord> findRecord(const std::filesystem::path& path, uint64_t fileSize,
                                      const char* storedTag);
