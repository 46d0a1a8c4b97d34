#include "fuzz/memory_file.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "payload/payload_locator.h"

namespace {

[[noreturn]] void fail(const char* what) {
  std::perror(what);
  std::abort();
}

}  // namespace

MemoryFile::MemoryFile() : fd_(memfd_create("gifplay-fuzz", MFD_CLOEXEC)) {
  if (fd_ < 0) fail("memfd_create");
  path_ = "/proc/self/fd/" + std::to_string(fd_);
}

MemoryFile::~MemoryFile() { close(fd_); }

void MemoryFile::assign(std::initializer_list<std::span<const uint8_t>> parts) {
  if (ftruncate(fd_, 0) != 0) fail("ftruncate");
  off_t offset = 0;
  for (std::span<const uint8_t> part : parts) {
    size_t done = 0;
    while (done < part.size()) {
      ssize_t n = pwrite(fd_, part.data() + done, part.size() - done, offset);
      if (n <= 0) fail("pwrite");
      done += static_cast<size_t>(n);
      offset += n;
    }
  }
}

std::string markerOf(const char* storedTag) {
  return "*" + std::string(storedTag + kTagPrefixLength) + ":";
}
