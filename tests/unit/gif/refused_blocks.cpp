#include "tests/unit/gif/refused_blocks.h"

#include "platform/win32.h"

namespace {

std::function<bool(size_t)> refusal;

}  // namespace

void refuseBlocksWhen(std::function<bool(size_t bytes)> refuse) { refusal = std::move(refuse); }

void grantAllBlocks() { refusal = nullptr; }

// GlobalAlloc(UINT, SIZE_T) as the linker names it; see area.cmake.
extern "C" HGLOBAL __real__Z11GlobalAllocjm(UINT flags, SIZE_T bytes);

extern "C" HGLOBAL __wrap__Z11GlobalAllocjm(UINT flags, SIZE_T bytes) {
  if (refusal && refusal(bytes)) return nullptr;
  return __real__Z11GlobalAllocjm(flags, bytes);
}
