#include "platform/temporary_directory.h"

#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr char kOwnDirectoryName[] = "/gifplay-XXXXXX";

}  // namespace

// mkdtemp makes the directory with a fresh name, for its owner alone.
DWORD makeOwnTemporaryDirectory(char* directory, DWORD length, DWORD size) {
  struct stat info {};
  if (stat(directory, &info) != 0 || !S_ISDIR(info.st_mode) || !(info.st_mode & S_IWOTH))
    return length;
  std::string own = std::string(directory, length) + kOwnDirectoryName;
  if (own.size() >= size || mkdtemp(own.data()) == nullptr) return 0;
  std::memcpy(directory, own.c_str(), own.size() + 1);
  return static_cast<DWORD>(own.size());
}
