#include "tools/gifpack/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

#include "tools/gifpack/tool_error.h"

namespace fs = std::filesystem;

namespace {

std::string reason(const char* action) { return std::string(action) + ": " + std::strerror(errno); }

class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(Descriptor&& other) noexcept : fd_(other.release()) {}
  Descriptor& operator=(Descriptor&& other) noexcept {
    std::swap(fd_, other.fd_);
    return *this;
  }
  int get() const { return fd_; }
  int release() { return std::exchange(fd_, -1); }

 private:
  int fd_;
};

// Without waiting for a writer: a FIFO (or anything else that is not a
// regular file) is refused before a byte is read from it.
Descriptor openForReading(const std::filesystem::path& path) {
  Descriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (fd.get() < 0) throw FileError(path, reason("cannot read"));
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0) throw FileError(path, reason("cannot read"));
  if (!S_ISREG(info.st_mode)) throw FileError(path, "cannot read: not a regular file");
  if (::fcntl(fd.get(), F_SETFL, ::fcntl(fd.get(), F_GETFL) & ~O_NONBLOCK) != 0)
    throw FileError(path, reason("cannot read"));
  return fd;
}

Bytes readUpTo(const InputFile& input, size_t count) {
  Descriptor fd = openForReading(input.path);
  Bytes bytes(count);
  size_t total = 0;
  while (total < count) {
    ssize_t n = ::read(fd.get(), bytes.data() + total, count - total);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw FileError(input.path, reason("cannot read"));
    if (n == 0) break;
    total += static_cast<size_t>(n);
  }
  bytes.resize(total);
  return bytes;
}

void writeAll(int fd, const Bytes& bytes, const std::filesystem::path& shownAs) {
  size_t total = 0;
  while (total < bytes.size()) {
    ssize_t n = ::write(fd, bytes.data() + total, bytes.size() - total);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw FileError(shownAs, reason("cannot write"));
    total += static_cast<size_t>(n);
  }
}

// Why a file cannot be made at path, in words about path itself.
std::string whyNotWritable(const std::filesystem::path& path) {
  int error = errno;
  std::error_code ignored;
  if (std::filesystem::is_directory(path, ignored)) return "cannot write: it is a directory";
  if (error == ENOENT) return "cannot write: no such folder";
  if (error == ENOTDIR) return "cannot write: its folder is not a directory";
  return std::string("cannot write: ") + std::strerror(error);
}

std::filesystem::path temporaryBeside(const std::filesystem::path& path, Descriptor& fd) {
  std::filesystem::path parent = path.has_parent_path() ? path.parent_path() : ".";
  std::string name = (parent / ("." + path.filename().string() + ".gifpack-XXXXXX")).string();
  fd = Descriptor(::mkstemp(name.data()));
  if (fd.get() < 0) throw FileError(path, whyNotWritable(path));
  return name;
}

}  // namespace

InputFile openInput(const std::filesystem::path& path) {
  Descriptor fd = openForReading(path);
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0) throw FileError(path, reason("cannot read"));
  return {path, static_cast<uint64_t>(info.st_size), info.st_mode & 07777};
}

Bytes readWhole(const InputFile& input) {
  Bytes bytes = readUpTo(input, input.size);
  if (bytes.size() != input.size) throw FileError(input.path, "cannot read: it changed while read");
  return bytes;
}

Bytes readStart(const InputFile& input, size_t count) { return readUpTo(input, count); }

fs::path programDirectory() {
  std::error_code ignored;
  return fs::read_symlink("/proc/self/exe", ignored).parent_path();
}

bool sameFile(const std::filesystem::path& a, const std::filesystem::path& b) {
  std::error_code ignored;
  return std::filesystem::equivalent(a, b, ignored);
}

HANDLE openForScanner(const std::filesystem::path& path) {
  return CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

void checkWritable(const std::filesystem::path& path) {
  std::error_code ignored;
  if (std::filesystem::is_directory(path, ignored))
    throw FileError(path, "cannot write: it is a directory");
  Descriptor fd(-1);
  std::filesystem::path probe = temporaryBeside(path, fd);
  ::unlink(probe.c_str());
}

bool replaceFile(const std::filesystem::path& path, const std::vector<const Bytes*>& parts,
                 mode_t mode, const std::function<bool(const std::filesystem::path&)>& accept,
                 bool replace) {
  Descriptor fd(-1);
  std::filesystem::path temporary = temporaryBeside(path, fd);
  try {
    for (const Bytes* part : parts) writeAll(fd.get(), *part, path);
    if (::fchmod(fd.get(), mode) != 0) throw FileError(path, reason("cannot set permissions"));
    if (::close(fd.release()) != 0) throw FileError(path, reason("cannot write"));
    if (accept && !accept(temporary)) {
      ::unlink(temporary.c_str());
      return false;
    }
    int renamed = replace ? ::rename(temporary.c_str(), path.c_str())
                          : ::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, path.c_str(),
                                        RENAME_NOREPLACE);
    if (renamed != 0 && errno == EEXIST)
      throw FileError(path, "cannot write: a file of that name came meanwhile");
    if (renamed != 0) throw FileError(path, reason("cannot write"));
  } catch (...) {
    ::unlink(temporary.c_str());
    throw;
  }
  return true;
}

void writeNewFile(const std::filesystem::path& path, const Bytes& bytes) {
  Descriptor fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
  if (fd.get() < 0) throw FileError(path, reason("cannot write"));
  try {
    writeAll(fd.get(), bytes, path);
    if (::close(fd.release()) != 0) throw FileError(path, reason("cannot write"));
  } catch (...) {
    ::unlink(path.c_str());
    throw;
  }
}

bool stderrIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

std::vector<std::string> commandArguments(int argc, char** argv) {
  return std::vector<std::string>(argv + 1, argv + argc);
}

void holdConsoleIfOwn() {}
