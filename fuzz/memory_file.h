// A file that lives in memory (memfd), with a path that CreateFileA opens
// like any other: the fuzz targets hand their input to the player's file
// reading without touching a disk. One per target, reused for every input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>

class MemoryFile {
 public:
  MemoryFile();
  ~MemoryFile();
  MemoryFile(const MemoryFile&) = delete;
  MemoryFile& operator=(const MemoryFile&) = delete;

  // Replaces the contents with the parts, one after the other. Aborts when
  // the file cannot be written: a fuzz run cannot go on without it.
  void assign(std::initializer_list<std::span<const uint8_t>> parts);
  const char* path() const { return path_.c_str(); }

 private:
  int fd_;
  std::string path_;
};

// The complete marker of a stored tag ("---GIF_BEGINS_HERE" gives
// "*GIF_BEGINS_HERE:"), made at run time like gifpack makes it.
std::string markerOf(const char* storedTag);
