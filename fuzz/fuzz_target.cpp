// One libFuzzer target: GIFPLAY_FUZZ_ENTRY names the entry point it runs.
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_entries.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return GIFPLAY_FUZZ_ENTRY(data, size);
}
