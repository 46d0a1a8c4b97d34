// Files, process and global memory on POSIX, with Win32's results and
// conventions: counts through out-parameters, FALSE or INVALID_HANDLE_VALUE
// on failure with the reason in GetLastError.
//
// A file handle opened without FILE_SHARE_DELETE keeps the file from being
// deleted, by this process or any other, as on Windows: it holds a shared
// lock (flock) on the file, and DeleteFileA deletes only a file on which it
// gets the exclusive lock. A process that ends, however it ends, lets go of
// its locks.
#include "platform/linux/kernel32/kernel32.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

#include "platform/global_block.h"
#include "platform/linux/handle_table.h"

namespace {

thread_local DWORD lastError = ERROR_SUCCESS;

// What a 32-bit process can hope for. The fuzz build asks for less, so that
// inputs with huge screens or frames take the refusal road quickly instead of
// spending a second each on clearing a gigabyte.
#ifdef GIFPLAY_LARGEST_BLOCK
constexpr SIZE_T kLargestGlobalBlock = GIFPLAY_LARGEST_BLOCK;
#else
constexpr SIZE_T kLargestGlobalBlock = kLargestBlock;
#endif

// The sizes of cleared blocks whose pages are made present when taken.
constexpr std::pair<SIZE_T, SIZE_T> kPrefaultedBlock{64 * 1024, 4 * 1024 * 1024};
constexpr int kPopulateWrite = 23;  // MADV_POPULATE_WRITE, which older headers lack

void makePagesPresent(void* block, SIZE_T bytes) {
  constexpr uintptr_t kPage = 4096;
  uintptr_t from = (reinterpret_cast<uintptr_t>(block) + kPage - 1) & ~(kPage - 1);
  uintptr_t to = (reinterpret_cast<uintptr_t>(block) + bytes) & ~(kPage - 1);
  if (to > from) madvise(reinterpret_cast<void*>(from), to - from, kPopulateWrite);
}

struct FileObject {
  int fd;
};

auto& files() { return handleTable<FileObject, HandleKind::kFile>(); }

// The reasons the program tells apart (a name that is taken, a place it may
// not write to), a missing file, and one reason for the rest.
DWORD errorFromErrno(int error) {
  static constexpr std::pair<int, DWORD> kReasons[] = {
      {EEXIST, ERROR_FILE_EXISTS},    {EACCES, ERROR_ACCESS_DENIED}, {EPERM, ERROR_ACCESS_DENIED},
      {EISDIR, ERROR_ACCESS_DENIED},  {EROFS, ERROR_ACCESS_DENIED},  {ENOENT, ERROR_FILE_NOT_FOUND},
      {ENOTDIR, ERROR_FILE_NOT_FOUND}};
  for (const auto& [value, reason] : kReasons)
    if (error == value) return reason;
  return ERROR_INVALID_PARAMETER;
}

template <typename T>
T failWith(DWORD error, T result) {
  lastError = error;
  return result;
}

// ReadFile and WriteFile: count bytes, or what there is before the end of
// the file, through transfer(fd, done, left), which reads or writes at most
// left bytes; the count that passed goes to *passed, whatever the result.
template <typename Transfer>
BOOL transferAll(HANDLE handle, bool hasBuffer, DWORD count, LPDWORD passed, Transfer transfer) {
  if (passed != nullptr) *passed = 0;
  FileObject* file = files().find(handle);
  if (file == nullptr) return failWith(ERROR_INVALID_HANDLE, FALSE);
  if (!hasBuffer && count > 0) return failWith(ERROR_INVALID_PARAMETER, FALSE);
  DWORD done = 0;
  BOOL result = TRUE;
  while (done < count) {
    ssize_t n = transfer(file->fd, done, count - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) result = failWith(errorFromErrno(errno), FALSE);
    if (n <= 0) break;
    done += static_cast<DWORD>(n);
  }
  if (passed != nullptr) *passed = done;
  return result;
}

// A Windows path may use either separator; the host wants '/'. A name that
// exists as given is taken as given: on the host "\\" may be part of a name.
std::string hostPath(LPCSTR path) {
  std::string result(path);
  struct stat info {};
  if (result.find('\\') == std::string::npos || lstat(path, &info) == 0) return result;
  for (char& c : result)
    if (c == '\\') c = '/';
  return result;
}

// Reading an existing file, or making a new one: never one that exists, never
// through a link planted at the name.
int openFlags(DWORD access, DWORD disposition) {
  int flags = O_CLOEXEC | ((access & GENERIC_WRITE) ? O_WRONLY : O_RDONLY);
  if (disposition == CREATE_NEW) return flags | O_CREAT | O_EXCL | O_NOFOLLOW;
  return disposition == OPEN_EXISTING && !(access & GENERIC_WRITE) ? flags : -1;
}

// A new file that never exists unlocked under its name, so that no
// DeleteFileA of another process can take it between its creation and its
// lock: made without a name (O_TMPFILE), locked, then linked to the name,
// which must be free. Where the file system or /proc cannot do that, it is
// created at the name and locked at once. -1 with errno on failure.
int createLocked(const std::string& path, int flags) {
  size_t slash = path.rfind('/');
  std::string directory = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  int fd = open(directory.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
  if (fd >= 0) {
    flock(fd, LOCK_SH);
    std::string self = "/proc/self/fd/" + std::to_string(fd);
    if (linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0) return fd;
    int error = errno;
    close(fd);
    if (error != ENOENT && error != EPERM && error != EXDEV) return errno = error, -1;
  } else if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
    return -1;
  }
  fd = open(path.c_str(), flags | O_NONBLOCK, 0666);
  if (fd >= 0) flock(fd, LOCK_SH | LOCK_NB);
  return fd;
}

}  // namespace

DWORD WINAPI GetLastError() { return lastError; }

HANDLE WINAPI CreateFileA(LPCSTR fileName, DWORD desiredAccess, DWORD shareMode,
                          LPSECURITY_ATTRIBUTES, DWORD creationDisposition, DWORD, HANDLE) {
  if (fileName == nullptr) return failWith(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
  int flags = openFlags(desiredAccess, creationDisposition);
  if (flags < 0) return failWith(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
  bool keepsFile = !(shareMode & FILE_SHARE_DELETE);
  std::string path = hostPath(fileName);
  // Without waiting: opening a FIFO would otherwise block until its other
  // end is opened. Only regular files are ours to read and write.
  int fd = keepsFile && creationDisposition == CREATE_NEW
               ? createLocked(path, flags)
               : open(path.c_str(), flags | O_NONBLOCK, 0666);
  if (fd < 0) return failWith(errorFromErrno(errno), INVALID_HANDLE_VALUE);
  // A file being deleted right now.
  if (keepsFile && creationDisposition != CREATE_NEW && flock(fd, LOCK_SH | LOCK_NB) != 0) {
    close(fd);
    return failWith(ERROR_SHARING_VIOLATION, INVALID_HANDLE_VALUE);
  }
  struct stat info {};
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) ||
      fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
    close(fd);
    return failWith(ERROR_ACCESS_DENIED, INVALID_HANDLE_VALUE);
  }
  lastError = ERROR_SUCCESS;
  return files().add<HANDLE>(std::make_unique<FileObject>(FileObject{fd}));
}

BOOL WINAPI ReadFile(HANDLE handle, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead,
                     LPOVERLAPPED) {
  auto* out = static_cast<char*>(buffer);
  return transferAll(handle, buffer != nullptr, bytesToRead, bytesRead,
                     [&](int fd, DWORD done, DWORD left) { return read(fd, out + done, left); });
}

BOOL WINAPI WriteFile(HANDLE handle, LPCVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten,
                      LPOVERLAPPED) {
  const auto* in = static_cast<const char*>(buffer);
  return transferAll(handle, buffer != nullptr, bytesToWrite, bytesWritten,
                     [&](int fd, DWORD done, DWORD left) { return write(fd, in + done, left); });
}

// Absolute positions only, below 2 GiB.
DWORD WINAPI SetFilePointer(HANDLE handle, LONG distanceToMove, PLONG distanceToMoveHigh,
                            DWORD moveMethod) {
  FileObject* file = files().find(handle);
  if (file == nullptr) return failWith(ERROR_INVALID_HANDLE, INVALID_SET_FILE_POINTER);
  if (moveMethod != FILE_BEGIN || distanceToMoveHigh != nullptr)
    return failWith(ERROR_INVALID_PARAMETER, INVALID_SET_FILE_POINTER);
  if (lseek(file->fd, distanceToMove, SEEK_SET) < 0)
    return failWith(errorFromErrno(errno), INVALID_SET_FILE_POINTER);
  return static_cast<DWORD>(distanceToMove);
}

DWORD WINAPI GetFileSize(HANDLE handle, LPDWORD fileSizeHigh) {
  FileObject* file = files().find(handle);
  if (file == nullptr) return failWith(ERROR_INVALID_HANDLE, INVALID_FILE_SIZE);
  struct stat info {};
  if (fstat(file->fd, &info) != 0) return failWith(errorFromErrno(errno), INVALID_FILE_SIZE);
  auto size = static_cast<uint64_t>(info.st_size);
  if (fileSizeHigh != nullptr) *fileSizeHigh = static_cast<DWORD>(size >> 32);
  return static_cast<DWORD>(size);
}

BOOL WINAPI CloseHandle(HANDLE handle) {
  std::unique_ptr<FileObject> file = files().remove(handle);
  if (file == nullptr) return failWith(ERROR_INVALID_HANDLE, FALSE);
  int result = close(file->fd);
  return result == 0 ? TRUE : failWith(errorFromErrno(errno), FALSE);
}

// A link is deleted itself, as on Windows; a regular file only while no
// handle keeps it (the exclusive lock is held until it is gone).
BOOL WINAPI DeleteFileA(LPCSTR fileName) {
  if (fileName == nullptr) return failWith(ERROR_INVALID_PARAMETER, FALSE);
  std::string path = hostPath(fileName);
  int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  struct stat info {};
  if (fd >= 0 && fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
      flock(fd, LOCK_EX | LOCK_NB) != 0) {
    close(fd);
    return failWith(ERROR_SHARING_VIOLATION, FALSE);
  }
  int result = unlink(path.c_str());
  int error = errno;
  if (fd >= 0) close(fd);
  return result == 0 ? TRUE : failWith(errorFromErrno(error), FALSE);
}

// What the program asks of a name: a plain file (NORMAL, or READONLY when
// its owner may not write it), a directory, a link (REPARSE_POINT, not
// followed), or something else (DEVICE).
DWORD WINAPI GetFileAttributesA(LPCSTR fileName) {
  if (fileName == nullptr) return failWith(ERROR_INVALID_PARAMETER, INVALID_FILE_ATTRIBUTES);
  struct stat info {};
  if (lstat(hostPath(fileName).c_str(), &info) != 0)
    return failWith(errorFromErrno(errno), INVALID_FILE_ATTRIBUTES);
  if (S_ISLNK(info.st_mode)) return FILE_ATTRIBUTE_REPARSE_POINT;
  if (S_ISDIR(info.st_mode)) return FILE_ATTRIBUTE_DIRECTORY;
  if (!S_ISREG(info.st_mode)) return FILE_ATTRIBUTE_DEVICE;
  return (info.st_mode & S_IWUSR) ? FILE_ATTRIBUTE_NORMAL : FILE_ATTRIBUTE_READONLY;
}

BOOL WINAPI RemoveDirectoryA(LPCSTR pathName) {
  if (pathName == nullptr) return failWith(ERROR_INVALID_PARAMETER, FALSE);
  if (rmdir(hostPath(pathName).c_str()) != 0) return failWith(errorFromErrno(errno), FALSE);
  return TRUE;
}

// The program's own module only.
HMODULE WINAPI GetModuleHandleA(LPCSTR) {
  static int programImage;
  return reinterpret_cast<HMODULE>(&programImage);
}

// Like Windows XP and later: a truncated name is still terminated, the
// result is then the buffer size and the error ERROR_INSUFFICIENT_BUFFER.
DWORD WINAPI GetModuleFileNameA(HMODULE, LPSTR fileName, DWORD size) {
  if (fileName == nullptr || size == 0) return failWith(ERROR_INSUFFICIENT_BUFFER, DWORD{0});
  ssize_t length = readlink("/proc/self/exe", fileName, size);
  if (length <= 0) return failWith(ERROR_FILE_NOT_FOUND, DWORD{0});
  if (static_cast<DWORD>(length) >= size) {
    fileName[size - 1] = '\0';
    return failWith(ERROR_INSUFFICIENT_BUFFER, size);
  }
  fileName[length] = '\0';
  return static_cast<DWORD>(length);
}

// Returns the length copied, or, when the buffer is too small, the size
// needed including the terminator (the buffer is then left untouched).
DWORD WINAPI GetEnvironmentVariableA(LPCSTR name, LPSTR buffer, DWORD size) {
  const char* value = name != nullptr ? std::getenv(name) : nullptr;
  if (value == nullptr) return failWith(ERROR_ENVVAR_NOT_FOUND, DWORD{0});
  size_t length = std::strlen(value);
  if (buffer == nullptr || length >= size) return static_cast<DWORD>(length + 1);
  std::memcpy(buffer, value, length + 1);
  return static_cast<DWORD>(length);
}

// The host has no Windows directory; its temporary directory is the one
// that exists and can be written for certain.
UINT WINAPI GetWindowsDirectoryA(LPSTR buffer, UINT size) {
  const char* directory = std::getenv("TMPDIR");
  struct stat info {};
  if (directory == nullptr || *directory == '\0' || stat(directory, &info) != 0 ||
      !S_ISDIR(info.st_mode))
    directory = "/tmp";
  size_t length = std::strlen(directory);
  while (length > 1 && directory[length - 1] == '/') --length;
  if (buffer == nullptr || length >= size) return static_cast<UINT>(length + 1);
  std::memcpy(buffer, directory, length);
  buffer[length] = '\0';
  return static_cast<UINT>(length);
}

// Fixed blocks only (the program asks for no other): as on Windows, the
// handle of a GMEM_FIXED block is its address, so GlobalLock and GlobalHandle
// give back what they are handed.
//
// A cleared block of a frame's size is written whole at once: its pages are
// made present in one call before the clearing instead of one fault each
// (1 ms of the 12.5 ms that decoding the 100 frames of 320 x 240 of the
// benchmark's anim.gif takes). Kernels before 5.14 refuse the request, and
// the pages come one by one. Larger cleared blocks come from calloc as fresh
// zero pages, only as present as what is written into them.
HGLOBAL WINAPI GlobalAlloc(UINT flags, SIZE_T bytes) {
  if (bytes > kLargestGlobalBlock || (refuseGlobalBlock && refuseGlobalBlock(bytes)))
    return failWith(ERROR_NOT_ENOUGH_MEMORY, HGLOBAL{});
  bool prefault = (flags & GMEM_ZEROINIT) && bytes >= kPrefaultedBlock.first &&
                  bytes <= kPrefaultedBlock.second;
  void* block = (flags & GMEM_ZEROINIT) && !prefault ? std::calloc(bytes ? bytes : 1, 1)
                                                     : std::malloc(bytes ? bytes : 1);
  if (block == nullptr) return failWith(ERROR_NOT_ENOUGH_MEMORY, HGLOBAL{});
  if (prefault) {
    makePagesPresent(block, bytes);
    std::memset(block, 0, bytes);
  }
  return block;
}

LPVOID WINAPI GlobalLock(HGLOBAL memory) { return memory; }

BOOL WINAPI GlobalUnlock(HGLOBAL) { return FALSE; }  // a fixed block carries no lock count

HGLOBAL WINAPI GlobalFree(HGLOBAL memory) {
  std::free(memory);
  return nullptr;
}

HGLOBAL WINAPI GlobalHandle(LPCVOID memory) { return const_cast<LPVOID>(memory); }
