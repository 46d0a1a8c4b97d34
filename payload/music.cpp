// The song: copied out of the program file into "gifplay.mid" in the
// temporary directory at start-up, played through the MCI sequencer, started
// again whenever it ends, and deleted at exit.
#include "payload/music.h"

#include <cstring>

#include "payload/payload_locator.h"

MusicPlayer musicPlayer;

namespace {

// Appended whether or not the directory already ends in a backslash.
constexpr char kSongFileName[] = "\\gifplay.mid";
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

bool makeSongPath(char* path) {
  DWORD length = fetchSongDirectory(path);
  if (length == 0) {
    path[0] = '\0';
    return false;
  }
  std::memcpy(path + length, kSongFileName, sizeof kSongFileName);
  return true;
}

void writeSongFile(const char* path, const PayloadBuffer& song) {
  HANDLE file =
      CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, song.data, static_cast<DWORD>(song.size), &written, nullptr);
  CloseHandle(file);
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
  if (song.data != nullptr && readExact(song) && makeSongPath(musicPlayer.songPath))
    writeSongFile(musicPlayer.songPath, song);
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

void deleteSong() {
  if (musicPlayer.songPath[0] != '\0') DeleteFileA(musicPlayer.songPath);
}
