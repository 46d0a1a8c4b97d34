#include "tools/gifpack/records.h"

#include <cstring>
#include <fstream>

#include "payload/payload_locator.h"
#include "tools/gifpack/files.h"
#include "tools/gifpack/tool_error.h"

namespace {

constexpr uint64_t kLengthFieldSize = 4;

// A scan that ran to the end of the file without finding a marker leaves
// consumed at the file's size; so does one whose marker's ":" is the last
// byte. Only the file's own last bytes tell those two apart.
bool endsWithMarker(const std::filesystem::path& path, uint64_t fileSize,
                    const std::string& marker) {
  if (fileSize < marker.size()) return false;
  std::ifstream in(path, std::ios::binary);
  in.seekg(static_cast<std::streamoff>(fileSize - marker.size()));
  std::string tail(marker.size(), '\0');
  in.read(tail.data(), static_cast<std::streamsize>(tail.size()));
  return in && tail == marker;
}

FoundRecord recordBehind(uint64_t separatorEnd, size_t markerSize, uint64_t fileSize) {
  FoundRecord record{};
  record.markerOffset = separatorEnd - markerSize;
  record.payloadOffset = separatorEnd + kLengthFieldSize;
  record.hasLength = fileSize >= record.payloadOffset;
  if (!record.hasLength) record.payloadOffset = separatorEnd;
  return record;
}

}  // namespace

std::string markerFor(const char* storedTag) {
  std::string marker = "*";  // appended to, not prepended: GCC 12 misreads the prepend (-Wrestrict)
  marker += storedTag + kTagPrefixLength;
  return marker + ":";
}

std::string pictureMarker() { return markerFor(kPictureTag); }
std::string musicMarker() { return markerFor(kMusicTag); }

void appendRecord(Bytes& out, const std::string& marker, const Bytes& payload) {
  out.insert(out.end(), marker.begin(), marker.end());
  auto length = static_cast<uint32_t>(payload.size());
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<uint8_t>(length >> shift));
  out.insert(out.end(), payload.begin(), payload.end());
}

std::optional<FoundRecord> findRecord(const std::filesystem::path& path, uint64_t fileSize,
                                      const char* storedTag) {
  std::string marker = markerFor(storedTag);
  int32_t length = locateIn(openForScanner(path), storedTag);
  auto separatorEnd = static_cast<uint64_t>(payloadLocator.consumed);
  bool opened = payloadLocator.file != nullptr;
  closeLocator();
  if (!opened) throw FileError(path, "cannot be opened");
  bool found = length != 0 || separatorEnd < fileSize || endsWithMarker(path, fileSize, marker);
  if (!found) return std::nullopt;
  FoundRecord record = recordBehind(separatorEnd, marker.size(), fileSize);
  record.length = static_cast<uint32_t>(length);
  record.bytesPresent = record.hasLength ? fileSize - record.payloadOffset : 0;
  return record;
}
