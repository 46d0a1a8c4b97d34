#include <ostream>
#include <streambuf>

#include "fuzz/fuzz_entries.h"
#include "tools/gifpack/analysis.h"
#include "tools/gifpack/report.h"
#include "tools/gifpack/tool_error.h"

namespace {

// Takes the description and drops it.
class NullBuffer : public std::streambuf {
 protected:
  int overflow(int c) override { return c; }
};

}  // namespace

// gifpack --info without reading the file: the same loading, checking and
// describing. A refusal is gifpack's ordinary answer (exit 2); any other
// exception is a fault, and is left to end the run.
int fuzzGifpackInfo(const uint8_t* data, size_t size) {
  NullBuffer sink;
  std::ostream out(&sink);
  Bytes gif(data, data + size);
  try {
    Analysis analysis = analyseAnimation(gif, walkGif(gif), std::nullopt);
    printInfo("animation.gif", analysis.check, out);
  } catch (const FileError&) {
  }
  releasePlayerRecords();
  return 0;
}
