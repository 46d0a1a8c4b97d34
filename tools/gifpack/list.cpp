#include "tools/gifpack/list.h"

#include <string>

#include "payload/payload_locator.h"
#include "tools/gifpack/files.h"
#include "tools/gifpack/records.h"
#include "tools/gifpack/tool_error.h"
#include "tools/gifpack/words.h"

namespace {

constexpr uint64_t kScannerLimit = uint64_t{1} << 31;

std::string describe(const FoundRecord& record) {
  std::string where = "marker at " + std::to_string(record.markerOffset);
  if (!record.hasLength) return where + ", its length field cut off by the end of the file";
  std::string length = counted(record.length, "byte");
  if (record.length == 0) return where + ", length 0: the player takes it as absent";
  if (record.length >= kScannerLimit)
    return where + ", length " + length + ": too large for the player to read";
  std::string payload =
      where + ", payload at " + std::to_string(record.payloadOffset) + ", " + length;
  if (record.bytesPresent < record.length)
    return payload + ", but only " + std::to_string(record.bytesPresent) +
           " follow: the player cannot read it";
  return payload;
}

}  // namespace

void listRecords(const std::filesystem::path& path, std::ostream& out) {
  InputFile file = openInput(path);
  if (file.size >= kScannerLimit)
    throw FileError(path, "2 GiB or more: beyond the reach of the player's scanner");
  out << shownPath(path) << ": " << counted(file.size, "byte") << "\n";
  const std::pair<const char*, const char*> kinds[] = {{kPictureTag, "picture"},
                                                       {kMusicTag, "music  "}};
  for (auto [tag, kind] : kinds) {
    auto record = findRecord(path, file.size, tag);
    out << kind << ": " << (record ? describe(*record) : "none") << "\n";
  }
}
