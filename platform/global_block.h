// Fixed blocks of the platform's global heap, the way the program takes and
// returns all of its larger memory: GlobalAlloc(GMEM_FIXED) then GlobalLock;
// back through the handle found from the address.
#pragma once

#include <cstdint>

#include "win32.h"

// The largest block a 32-bit process could hope to get in one piece.
inline constexpr uint32_t kLargestBlock = 0x7FFFFFFF;

// Returns nullptr when the block cannot be had. Contents are not cleared.
inline void* allocateBlock(uint32_t bytes) {
  HGLOBAL handle = GlobalAlloc(GMEM_FIXED, bytes);
  return handle != nullptr ? GlobalLock(handle) : nullptr;
}

// The same, every byte 0.
inline void* allocateZeroedBlock(uint32_t bytes) {
  HGLOBAL handle = GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, bytes);
  return handle != nullptr ? GlobalLock(handle) : nullptr;
}

inline void releaseBlock(void* block) {
  if (block == nullptr) return;
  HGLOBAL handle = GlobalHandle(block);
  GlobalUnlock(handle);
  GlobalFree(handle);
}
