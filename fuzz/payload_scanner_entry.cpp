#include <span>

#include "fuzz/fuzz_entries.h"
#include "fuzz/memory_file.h"
#include "payload/payload_locator.h"

namespace {

// What start-up does with a record: find it, take a block of its length,
// read the payload into it, let it go.
void readRecord(const char* path, const char* tag) {
  int32_t length = locate(path, tag);
  if (length == 0) return;
  PayloadBuffer buffer = makePayloadBuffer(length);
  readExact(buffer);
  releasePayloadBuffer(buffer);
}

}  // namespace

// The song first, then the picture, from the same file, as start-up scans
// it; then the file's size, the scanner's other service.
int fuzzPayloadScanner(const uint8_t* data, size_t size) {
  static MemoryFile file;
  file.assign({std::span(data, size)});
  readRecord(file.path(), kMusicTag);
  readRecord(file.path(), kPictureTag);
  locate(file.path(), nullptr);
  releasePlayerRecords();
  return 0;
}
