#include "platform/temporary_directory.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr char kFreshDirectoryName[] = "/gifplay-XXXXXX";

// "gifplay-UID", the user's own: made for its owner alone, or found so.
// Anything else at that name (another user's directory, a link, a file, a
// directory that others may enter) is left alone.
bool usableUserDirectory(const std::string& path) {
  if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return false;
  struct stat info {};
  return lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == geteuid() &&
         (info.st_mode & 077) == 0;
}

}  // namespace

// In a directory with the sticky bit (like /tmp), where nobody may remove or
// rename what another user made, all the user's players share one directory,
// so that each finds the files that others left behind; elsewhere, and when
// that name is taken, mkdtemp makes a directory with a fresh name, for its
// owner alone.
DWORD makeOwnTemporaryDirectory(char* directory, DWORD length, DWORD size) {
  struct stat info {};
  if (stat(directory, &info) != 0 || !S_ISDIR(info.st_mode) || !(info.st_mode & S_IWOTH))
    return length;
  std::string shared(directory, length);
  std::string own = shared + "/gifplay-" + std::to_string(geteuid());
  if (!(info.st_mode & S_ISVTX) || own.size() >= size || !usableUserDirectory(own)) {
    own = shared + kFreshDirectoryName;
    if (own.size() >= size || mkdtemp(own.data()) == nullptr) return 0;
  }
  std::memcpy(directory, own.c_str(), own.size() + 1);
  return static_cast<DWORD>(own.size());
}
