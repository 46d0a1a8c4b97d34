// Reading gifpack's inputs and writing its output on Windows: the same
// all-or-nothing promises as the POSIX version, kept with the Win32 API.
#define NOMINMAX
#include <windows.h>

#include <io.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <system_error>

#include "tools/gifpack/files.h"
#include "tools/gifpack/tool_error.h"

namespace {

namespace fs = std::filesystem;

std::string reason(const char* action, DWORD error = GetLastError()) {
  return std::string(action) + ": " + std::system_category().message(static_cast<int>(error));
}

Bytes readUpTo(const InputFile& input, size_t count) {
  std::ifstream in(input.path, std::ios::binary);
  if (!in) throw FileError(input.path, "cannot read");
  Bytes bytes(count);
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(count));
  if (in.bad()) throw FileError(input.path, "cannot read");
  bytes.resize(static_cast<size_t>(in.gcount()));
  return bytes;
}

class FileHandle {
 public:
  explicit FileHandle(HANDLE handle) : handle_(handle) {}
  ~FileHandle() { close(); }
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
  HANDLE get() const { return handle_; }
  bool close() {
    if (!valid()) return true;
    bool closed = CloseHandle(handle_) != 0;
    handle_ = INVALID_HANDLE_VALUE;
    return closed;
  }

 private:
  HANDLE handle_;
};

void writeAll(HANDLE file, const Bytes& bytes, const fs::path& shownAs) {
  size_t total = 0;
  while (total < bytes.size()) {
    DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - total, 1u << 30));
    DWORD written = 0;
    if (!WriteFile(file, bytes.data() + total, chunk, &written, nullptr) || written == 0)
      throw FileError(shownAs, reason("cannot write"));
    total += written;
  }
}

// A file of our own, made new: never one that somebody else made meanwhile.
fs::path createNew(const fs::path& parent, const std::string& stem, HANDLE& handle) {
  for (unsigned attempt = 0; attempt < 100; ++attempt) {
    fs::path name = parent / (stem + std::to_string(GetCurrentProcessId()) + "-" +
                              std::to_string(GetTickCount() + attempt));
    handle = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                         nullptr);
    if (handle != INVALID_HANDLE_VALUE) return name;
    if (GetLastError() != ERROR_FILE_EXISTS) break;
  }
  throw FileError(parent / stem, reason("cannot create a temporary file"));
}

void writeAndClose(FileHandle& file, const fs::path& name, const std::vector<const Bytes*>& parts,
                   const fs::path& shownAs) {
  try {
    for (const Bytes* part : parts) writeAll(file.get(), *part, shownAs);
    if (!file.close()) throw FileError(shownAs, reason("cannot write"));
  } catch (...) {
    file.close();
    DeleteFileW(name.c_str());
    throw;
  }
}

}  // namespace

InputFile openInput(const fs::path& path) {
  std::error_code error;
  fs::file_status status = fs::status(path, error);
  if (error) throw FileError(path, "cannot read: " + error.message());
  if (!fs::is_regular_file(status)) throw FileError(path, "cannot read: not a regular file");
  if (!std::ifstream(path, std::ios::binary)) throw FileError(path, "cannot read");
  uint64_t size = fs::file_size(path, error);
  if (error) throw FileError(path, "cannot read: " + error.message());
  return {path, size, static_cast<mode_t>(status.permissions())};
}

Bytes readWhole(const InputFile& input) {
  Bytes bytes = readUpTo(input, input.size);
  if (bytes.size() != input.size) throw FileError(input.path, "cannot read: it changed while read");
  return bytes;
}

Bytes readStart(const InputFile& input, size_t count) { return readUpTo(input, count); }

bool sameFile(const fs::path& a, const fs::path& b) {
  std::error_code ignored;
  return fs::equivalent(a, b, ignored);
}

fs::path programDirectory() {
  std::wstring name(MAX_PATH, L'\0');
  for (;;) {
    DWORD length = GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()));
    if (length < name.size()) return fs::path(name.substr(0, length)).parent_path();
    name.resize(name.size() * 2);
  }
}

// Windows keeps no permission bits to copy: a program is told by its name.
bool replaceFile(const fs::path& path, const std::vector<const Bytes*>& parts, mode_t,
                 const std::function<bool(const fs::path&)>& accept) {
  fs::path parent = path.has_parent_path() ? path.parent_path() : ".";
  HANDLE handle = INVALID_HANDLE_VALUE;
  std::string stem = ".";  // appended to: GCC 12 misreads a prepend (-Wrestrict)
  stem += path.filename().string() + ".gifpack-";
  fs::path temporary = createNew(parent, stem, handle);
  FileHandle file(handle);
  writeAndClose(file, temporary, parts, path);
  bool accepted = true;
  try {
    accepted = !accept || accept(temporary);
  } catch (...) {
    DeleteFileW(temporary.c_str());
    throw;
  }
  if (!accepted) {
    DeleteFileW(temporary.c_str());
    return false;
  }
  if (!MoveFileExW(temporary.c_str(), path.c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    std::string why = reason("cannot write");
    DeleteFileW(temporary.c_str());
    throw FileError(path, why);
  }
  return true;
}

void writeNewFile(const fs::path& path, const Bytes& bytes) {
  HANDLE handle = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) throw FileError(path, reason("cannot write"));
  FileHandle file(handle);
  writeAndClose(file, path, {&bytes}, path);
}

bool stderrIsTerminal() { return _isatty(_fileno(stderr)) != 0; }
