// Reading gifpack's inputs and writing its output on Windows: the same
// all-or-nothing promises as the POSIX version, kept with the Win32 API.
#define NOMINMAX
#include <windows.h>

#include <conio.h>
#include <io.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <string>
#include <system_error>

#include "tools/gifpack/files.h"
#include "tools/gifpack/tool_error.h"

namespace {

namespace fs = std::filesystem;

std::string reason(const char* action, DWORD error = GetLastError()) {
  return std::string(action) + ": " + std::system_category().message(static_cast<int>(error));
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

HANDLE openForReading(const fs::path& path) {
  return CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

Bytes readUpTo(const InputFile& input, size_t count) {
  FileHandle file(openForReading(input.path));
  if (!file.valid()) throw FileError(input.path, reason("cannot read"));
  Bytes bytes(count);
  size_t total = 0;
  while (total < count) {
    DWORD chunk = static_cast<DWORD>(std::min<size_t>(count - total, 1u << 30));
    DWORD got = 0;
    if (!ReadFile(file.get(), bytes.data() + total, chunk, &got, nullptr))
      throw FileError(input.path, reason("cannot read"));
    if (got == 0) break;
    total += got;
  }
  bytes.resize(total);
  return bytes;
}

// Why no file can be made at path, in words about path itself.
std::string whyNotWritable(const fs::path& path, DWORD error) {
  std::error_code ignored;
  if (fs::is_directory(path, ignored)) return "cannot write: it is a directory";
  if (error == ERROR_PATH_NOT_FOUND) return "cannot write: no such folder";
  return reason("cannot write", error);
}

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

// A file of our own beside path, made new: never one that somebody else made
// meanwhile. Its name is plain ASCII, whatever path's.
fs::path createNew(const fs::path& path, HANDLE& handle) {
  fs::path parent = path.has_parent_path() ? path.parent_path() : ".";
  for (unsigned attempt = 0; attempt < 100; ++attempt) {
    fs::path name = parent / (".gifpack-" + std::to_string(GetCurrentProcessId()) + "-" +
                              std::to_string(GetTickCount() + attempt));
    handle = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                         nullptr);
    if (handle != INVALID_HANDLE_VALUE) return name;
    if (GetLastError() != ERROR_FILE_EXISTS) break;
  }
  throw FileError(path, whyNotWritable(path, GetLastError()));
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
  if (!FileHandle(openForReading(path)).valid()) throw FileError(path, reason("cannot read"));
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

HANDLE openForScanner(const fs::path& path) { return openForReading(path); }

void checkWritable(const fs::path& path) {
  std::error_code ignored;
  if (fs::is_directory(path, ignored)) throw FileError(path, "cannot write: it is a directory");
  HANDLE handle = INVALID_HANDLE_VALUE;
  fs::path probe = createNew(path, handle);
  CloseHandle(handle);
  DeleteFileW(probe.c_str());
}

// Windows keeps no permission bits to copy: a program is told by its name.
bool replaceFile(const fs::path& path, const std::vector<const Bytes*>& parts, mode_t,
                 const std::function<bool(const fs::path&)>& accept, bool replace) {
  HANDLE handle = INVALID_HANDLE_VALUE;
  fs::path temporary = createNew(path, handle);
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
  DWORD flags = MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
  if (!MoveFileExW(temporary.c_str(), path.c_str(), flags)) {
    DWORD error = GetLastError();
    std::string why = error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS
                          ? "cannot write: a file of that name came meanwhile"
                          : reason("cannot write", error);
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

std::vector<std::string> commandArguments(int, char**) {
  SetConsoleOutputCP(CP_UTF8);
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> args;
  for (int i = 1; wide != nullptr && i < count; ++i) {
    int size = WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
    std::string arg(static_cast<size_t>(std::max(size, 1)), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, arg.data(), size, nullptr, nullptr);
    arg.pop_back();  // the terminating zero
    args.push_back(std::move(arg));
  }
  LocalFree(wide);
  return args;
}

void holdConsoleIfOwn() {
  DWORD processes[2];
  if (GetConsoleProcessList(processes, 2) != 1) return;
  std::cerr << "Press a key to close this window." << std::flush;
  _getch();
}
