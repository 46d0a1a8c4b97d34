#include "tests/unit/gif/refused_blocks.h"

#include "platform/win32.h"

namespace {

std::function<bool(size_t)> refusal;

}  // namespace

void refuseBlocksWhen(std::function<bool(size_t bytes)> refuse) { refusal = std::move(refuse); }

void grantAllBlocks() { refusal = nullptr; }

// The platform layer's seam: GlobalAlloc asks it before it allocates.
extern "C" bool refuseGlobalBlock(SIZE_T bytes) { return refusal && refusal(bytes); }
