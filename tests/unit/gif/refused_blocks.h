// Lets a test refuse the platform's fixed blocks, through the platform
// layer's refuseGlobalBlock seam.
#pragma once

#include <cstddef>
#include <functional>

// While set, a request for which refuse(bytes) is true gets no block.
void refuseBlocksWhen(std::function<bool(size_t bytes)> refuse);
void grantAllBlocks();
