// Reading gifpack's inputs and writing its output: all or nothing.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/win32.h"

using Bytes = std::vector<uint8_t>;

struct InputFile {
  std::filesystem::path path;
  uint64_t size;
  mode_t mode;
};

// The size and permissions of a readable regular file; FileError otherwise.
InputFile openInput(const std::filesystem::path& path);
Bytes readWhole(const InputFile& input);
// Up to count bytes from the start of the file.
Bytes readStart(const InputFile& input, size_t count);

bool sameFile(const std::filesystem::path& a, const std::filesystem::path& b);

// The directory of the running gifpack.
std::filesystem::path programDirectory();

// The file opened for the player's scanner (locateIn), whatever its name.
HANDLE openForScanner(const std::filesystem::path& path);

// Whether a file can be made at path: FileError naming path says why not
// (no such folder, a directory there, no permission). Nothing is left behind.
void checkWritable(const std::filesystem::path& path);

// Writes the parts to a temporary file beside path with the given permissions,
// then renames it over path, or, without replace, to path only while nothing
// is there. On any failure the temporary file is removed, path is left as it
// was, and FileError names path and what went wrong. accept, when given,
// looks at the written temporary file first: false leaves path as it was
// too, and the result is false.
bool replaceFile(const std::filesystem::path& path, const std::vector<const Bytes*>& parts,
                 mode_t mode,
                 const std::function<bool(const std::filesystem::path& written)>& accept = {},
                 bool replace = true);

// Writes bytes to a file made new at path: never over a file that is there,
// never through a link. On failure nothing is left and FileError says why.
void writeNewFile(const std::filesystem::path& path, const Bytes& bytes);

// Whether stderr is a terminal, where a progress line can be rewritten.
bool stderrIsTerminal();

// The arguments as UTF-8, whatever the system's own code page; on Windows the
// console then shows UTF-8 output as such.
std::vector<std::string> commandArguments(int argc, char** argv);

// A console that gifpack has to itself (Explorer started it for a file
// dropped on it) stays open until a key is pressed, so that what gifpack
// said can be read; elsewhere this does nothing.
void holdConsoleIfOwn();
