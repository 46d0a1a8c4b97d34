// Helpers shared by the unit tests: scratch files and byte strings.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

Bytes bytesOf(const std::string& text);
Bytes lengthField(uint32_t length);
Bytes concat(std::initializer_list<Bytes> parts);
Bytes readFileBytes(const std::filesystem::path& path);
void writeFileBytes(const std::filesystem::path& path, const Bytes& data);

// A fresh directory under the system's temporary directory, removed with
// everything in it when the object goes.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path file(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};
