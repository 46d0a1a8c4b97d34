// The MCI "sequencer" device of the Linux build. MCI_OPEN takes a Standard
// MIDI File by path, MCI_PLAY plays it through the synthesizer (midi_synth.h)
// and, asked to, posts MM_MCINOTIFY to the window in the callback field once
// the play is over: MCI_NOTIFY_SUCCESSFUL when the song reached its end,
// MCI_NOTIFY_ABORTED when MCI_STOP or MCI_CLOSE ended it, and
// MCI_NOTIFY_SUPERSEDED when another MCI_PLAY took its place. Like a MIDI
// port, the sequencer serves one open device at a time; MCI_CLOSE to
// MCI_ALL_DEVICE_ID closes it, whatever its id.
#include <strings.h>

#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/linux/kernel32/kernel32.h"
#include "platform/linux/user32/user32.h"
#include "platform/linux/winmm/midi_file.h"
#include "platform/linux/winmm/midi_synth.h"
#include "platform/linux/winmm/winmm.h"

namespace {

constexpr char kSequencerType[] = "sequencer";

struct Device {
  MCIDEVICEID id;
  HWND notifyWindow;  // the window of the play that still owes a notice
  bool notifyPending;
  uint32_t play;  // the synthesizer's number for the current play
};

// Guards the device; the synthesizer's thread takes it to report a song's end.
std::mutex deviceLock;
std::optional<Device> device;
MCIDEVICEID lastDeviceId = 0;

void notify(HWND window, WPARAM code, MCIDEVICEID id) {
  PostMessageA(window, MM_MCINOTIFY, code, static_cast<LPARAM>(id));
}

// Settles the pending notice of the current play, if there is one.
void settlePlay(WPARAM code) {
  if (!device || !device->notifyPending) return;
  device->notifyPending = false;
  notify(device->notifyWindow, code, device->id);
}

void onSongEnded(uint32_t play) {
  std::lock_guard<std::mutex> guard(deviceLock);
  if (device && device->play == play) settlePlay(MCI_NOTIFY_SUCCESSFUL);
}

// The whole file, through the layer's own file calls, which take a path as
// Windows writes it.
bool readSongFile(const char* path, std::vector<uint8_t>& data) {
  HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD size = GetFileSize(file, nullptr);
  DWORD got = 0;
  if (size != INVALID_FILE_SIZE) data.resize(size);
  bool read =
      size != INVALID_FILE_SIZE && ReadFile(file, data.data(), size, &got, nullptr) && got == size;
  CloseHandle(file);
  return read;
}

// The error of each synthesizer result, in midisynth::Result's order: ok, no
// synthesizer, no SoundFont, no audio output, out of memory.
constexpr MCIERROR kErrors[] = {0, MCIERR_SEQ_NOMIDIPRESENT, MCIERR_SEQ_NOMIDIPRESENT,
                                MCIERR_SEQ_PORT_NONEXISTENT, MCIERR_OUT_OF_MEMORY};
static_assert(std::size(kErrors) == static_cast<size_t>(midisynth::Result::outOfMemory) + 1);

MCIDEVICEID nextDeviceId() {
  if (++lastDeviceId == 0) ++lastDeviceId;
  return lastDeviceId;
}

MCIERROR checkOpenRequest(DWORD_PTR flags, const MCI_OPEN_PARMSA* open) {
  if (open == nullptr) return MCIERR_NULL_PARAMETER_BLOCK;
  if (flags & MCI_OPEN_TYPE_ID) return MCIERR_UNSUPPORTED_FUNCTION;
  if (!(flags & MCI_OPEN_TYPE) || open->lpstrDeviceType == nullptr)
    return MCIERR_DEVICE_TYPE_REQUIRED;
  if (strcasecmp(open->lpstrDeviceType, kSequencerType) != 0) return MCIERR_INVALID_DEVICE_NAME;
  if (!(flags & MCI_OPEN_ELEMENT) || open->lpstrElementName == nullptr)
    return MCIERR_FILENAME_REQUIRED;
  return device ? MCIERR_SEQ_PORT_INUSE : 0;
}

// A song without length would end as soon as it starts, and each restart
// would follow at once: it is refused like any file the player cannot play.
MCIERROR loadSong(const char* path) {
  std::vector<uint8_t> song;
  if (!readSongFile(path, song)) return MCIERR_FILE_NOT_FOUND;
  MidiFileInfo info = inspectMidiFile(song.data(), song.size());
  if (!info.playable || info.lengthTicks == 0) return MCIERR_INVALID_FILE;
  midisynth::setEndHandler(onSongEnded);
  return kErrors[static_cast<int>(midisynth::loadSong(song.data(), song.size(), info.lengthTicks))];
}

MCIERROR openDevice(DWORD_PTR flags, MCI_OPEN_PARMSA* open) {
  if (MCIERROR error = checkOpenRequest(flags, open)) return error;
  if (MCIERROR error = loadSong(open->lpstrElementName)) return error;
  device = Device{nextDeviceId(), nullptr, false, 0};
  open->wDeviceID = device->id;
  return 0;
}

MCIERROR playDevice(DWORD_PTR flags, const MCI_PLAY_PARMS* play) {
  if (flags & (MCI_FROM | MCI_TO | MCI_WAIT)) return MCIERR_UNSUPPORTED_FUNCTION;
  if ((flags & MCI_NOTIFY) && play == nullptr) return MCIERR_NULL_PARAMETER_BLOCK;
  settlePlay(MCI_NOTIFY_SUPERSEDED);
  if (flags & MCI_NOTIFY) {
    device->notifyWindow = reinterpret_cast<HWND>(play->dwCallback);
    device->notifyPending = true;
  }
  device->play = midisynth::playSong();
  return 0;
}

void stopDevice() {
  settlePlay(MCI_NOTIFY_ABORTED);
  midisynth::pauseSong();
}

void closeDevice() {
  stopDevice();
  midisynth::unloadSong();
  device.reset();
}

// MCI_NOTIFY on the commands that finish at once: the notice follows them.
void notifyCompletion(DWORD_PTR flags, DWORD_PTR param, MCIDEVICEID id) {
  if (!(flags & MCI_NOTIFY) || param == 0) return;
  notify(reinterpret_cast<HWND>(reinterpret_cast<const MCI_GENERIC_PARMS*>(param)->dwCallback),
         MCI_NOTIFY_SUCCESSFUL, id);
}

MCIERROR dispatch(MCIDEVICEID id, UINT message, DWORD_PTR flags, DWORD_PTR param) {
  if (message == MCI_OPEN) {
    MCIERROR error = openDevice(flags, reinterpret_cast<MCI_OPEN_PARMSA*>(param));
    if (error == 0) notifyCompletion(flags, param, device->id);
    return error;
  }
  if (id == MCI_ALL_DEVICE_ID && message == MCI_CLOSE) {
    if (!device) return 0;
    id = device->id;
  }
  if (!device || device->id != id) return MCIERR_INVALID_DEVICE_ID;
  switch (message) {
    case MCI_PLAY:
      return playDevice(flags, reinterpret_cast<const MCI_PLAY_PARMS*>(param));
    case MCI_STOP:
      stopDevice();
      break;
    case MCI_CLOSE:
      closeDevice();
      break;
    default:
      return MCIERR_UNSUPPORTED_FUNCTION;
  }
  notifyCompletion(flags, param, id);
  return 0;
}

}  // namespace

MCIERROR WINAPI mciSendCommandA(MCIDEVICEID id, UINT message, DWORD_PTR flags, DWORD_PTR param) {
  std::lock_guard<std::mutex> guard(deviceLock);
  return dispatch(id, message, flags, param);
}
