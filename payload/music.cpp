// The song: copied out of the program file into a temporary file of the
// player's own at start-up, played through the MCI sequencer, started again
// whenever it ends, and deleted at exit.
#include "payload/music.h"

#include <cstdio>
#include <cstring>

#include "payload/payload_locator.h"
#include "platform/temporary_directory.h"

MusicPlayer musicPlayer;

namespace {

// "\gifplay.mid" while that name is free; other players in the same
// directory, or files put there by anybody, make it "\gifplay-2.mid" and on.
// The separator is appended whether or not the directory already ends in one.
//
// A player keeps its song file open without FILE_SHARE_DELETE for as long as
// it runs, so that nobody can delete it. A song file that can be deleted was
// left by a player that ended without deleting it (killed, or the power
// went): each player deletes such files before it makes its own.
constexpr char kSongFileName[] = "\\gifplay.mid";
constexpr char kNumberedSongFileName[] = "\\gifplay-%d.mid";
constexpr int kSongFileNames = 99;
constexpr DWORD kSongPathSize = sizeof musicPlayer.songPath;
constexpr DWORD kLongestDirectory = kSongPathSize - sizeof kSongFileName;  // 243 characters
constexpr char kSequencerType[] = "sequencer";

// "TEMP", else the Windows directory. A directory that does not fit, or
// leaves no room for the file name, gives no path at all: GetEnvironmentVariableA
// then reports the size it needs instead of a length, and nothing was copied.
DWORD fetchSongDirectory(char* path) {
  DWORD length = GetEnvironmentVariableA("TEMP", path, kSongPathSize);
  if (length >= kSongPathSize) return 0;
  if (length == 0) length = GetWindowsDirectoryA(path, kSongPathSize);
  return length <= kLongestDirectory ? length : 0;
}

// The name may belong to another player, or to anything else put there:
// then the next one is tried. Other failures end the search.
bool nameTaken() {
  DWORD error = GetLastError();
  return error == ERROR_FILE_EXISTS || error == ERROR_ACCESS_DENIED;
}

// The name numbered n behind the directory; false when it does not fit.
bool songFileName(char* path, DWORD directoryLength, int n) {
  char* name = path + directoryLength;
  size_t room = kSongPathSize - directoryLength;
  int length = n == 1 ? std::snprintf(name, room, "%s", kSongFileName)
                      : std::snprintf(name, room, kNumberedSongFileName, n);
  return length >= 0 && static_cast<size_t>(length) < room;
}

// A plain file, not read-only: what players write. Links, directories and
// other things at the names are not players' and stay as they are.
bool mayBeLeftover(const char* path) {
  DWORD attributes = GetFileAttributesA(path);
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE |
                        FILE_ATTRIBUTE_REPARSE_POINT)) == 0;
}

// The song files of players that no longer run: DeleteFileA fails on those
// that a running player keeps.
void deleteLeftovers(char* path, DWORD directoryLength) {
  for (int n = 1; n <= kSongFileNames; ++n) {
    if (songFileName(path, directoryLength, n) && mayBeLeftover(path)) DeleteFileA(path);
  }
}

// A new file, created by this call: never one that exists, never through a
// link. path holds the directory; the file's name is appended to it.
HANDLE createSongFile(char* path, DWORD directoryLength) {
  for (int n = 1; n <= kSongFileNames; ++n) {
    if (!songFileName(path, directoryLength, n)) break;
    HANDLE file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) return file;
    if (!nameTaken()) break;
  }
  return INVALID_HANDLE_VALUE;
}

void removeDirectory(const char* path, DWORD length) {
  char directory[kSongPathSize];
  std::memcpy(directory, path, length);
  directory[length] = '\0';
  RemoveDirectoryA(directory);
}

// The directory that another player leaves empty goes with it; made again,
// a few times, when that happens between its making and the file's.
constexpr int kDirectoryAttempts = 3;

// Sets the song path only when the file was created here: that file, and a
// directory made for it, are what deleteSong removes. The sequencer reads
// the file through a handle of its own, which the hold allows; the hold is
// opened before the writing handle closes, so that the file is kept all along.
void writeSongFile(const PayloadBuffer& song) {
  char path[kSongPathSize];
  DWORD shared = fetchSongDirectory(path);
  if (shared == 0) return;
  DWORD directory = 0;
  HANDLE file = INVALID_HANDLE_VALUE;
  for (int attempt = 0; attempt < kDirectoryAttempts && file == INVALID_HANDLE_VALUE; ++attempt) {
    path[shared] = '\0';
    directory = makeOwnTemporaryDirectory(path, shared, kSongPathSize);
    if (directory == 0) return;
    deleteLeftovers(path, directory);
    file = createSongFile(path, directory);
    DWORD error = GetLastError();
    if (error != ERROR_PATH_NOT_FOUND && error != ERROR_FILE_NOT_FOUND) break;
  }
  DWORD ownDirectory = directory != shared ? directory : 0;
  if (file == INVALID_HANDLE_VALUE) {
    if (ownDirectory != 0) removeDirectory(path, ownDirectory);
    return;
  }
  DWORD written = 0;
  WriteFile(file, song.data, static_cast<DWORD>(song.size), &written, nullptr);
  HANDLE hold = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  CloseHandle(file);
  std::memcpy(musicPlayer.songPath, path, kSongPathSize);
  musicPlayer.ownDirectory = ownDirectory;
  musicPlayer.songHold = hold != INVALID_HANDLE_VALUE ? hold : nullptr;
}

bool openSequencer() {
  MCI_OPEN_PARMSA open{};
  open.lpstrDeviceType = kSequencerType;
  open.lpstrElementName = musicPlayer.songPath;
  if (mciSendCommandA(0, MCI_OPEN, MCI_OPEN_TYPE | MCI_OPEN_ELEMENT,
                      reinterpret_cast<DWORD_PTR>(&open)) != 0)
    return false;
  musicPlayer.device = open.wDeviceID;
  return true;
}

void closeSequencer() {
  mciSendCommandA(musicPlayer.device, MCI_CLOSE, 0, 0);
  musicPlayer.device = 0;
}

}  // namespace

void extractSong(const char* programPath, const char* tag) {
  int32_t length = locate(programPath, tag);
  if (length == 0) return;
  PayloadBuffer song = makePayloadBuffer(length);
  if (song.data != nullptr && readExact(song)) writeSongFile(song);
  releasePayloadBuffer(song);
}

// The notice goes to window: the callback field carries the whole handle.
void startSong(HWND window) {
  if (musicPlayer.songPath[0] == '\0') return;
  if (musicPlayer.device == 0 && !openSequencer()) return;
  MCI_PLAY_PARMS play{};
  play.dwCallback = reinterpret_cast<DWORD_PTR>(window);
  if (mciSendCommandA(musicPlayer.device, MCI_PLAY, MCI_NOTIFY,
                      reinterpret_cast<DWORD_PTR>(&play)) != 0)
    closeSequencer();
}

void stopSong() {
  if (musicPlayer.device == 0) return;
  mciSendCommandA(musicPlayer.device, MCI_STOP, 0, 0);
  closeSequencer();
}

// The hold is let go first: it keeps the file from this player too.
void deleteSong() {
  if (musicPlayer.songPath[0] == '\0') return;
  if (musicPlayer.songHold != nullptr) CloseHandle(musicPlayer.songHold);
  musicPlayer.songHold = nullptr;
  DeleteFileA(musicPlayer.songPath);
  if (musicPlayer.ownDirectory != 0)
    removeDirectory(musicPlayer.songPath, musicPlayer.ownDirectory);
}
