#include "tests/unit/music/song_files.h"

#include "app/main_window.h"
#include "tools/makesong/midi_writer.h"

namespace {

constexpr uint16_t kQuarter = 480;
constexpr uint32_t kOneSecondTempo = 1000000;  // a quarter note lasts a second
constexpr char kClassName[] = "GifplayNoticeWindow";
NoticeWindow* current = nullptr;

}  // namespace

Bytes shortSong(double seconds) {
  midi::Track track;
  track.tempo(kOneSecondTempo);
  track.program(0, 0);
  auto length = static_cast<uint32_t>(seconds * kQuarter);
  const int keys[] = {60, 64, 67, 72};
  for (int i = 0; i < 4; ++i) track.note(0, keys[i], 100, length * i / 4, length / 4);
  track.endAt(length);
  return midi::standardMidiFile(kQuarter, {track});
}

std::string demoSongPath() { return std::string(GIFPLAY_BUILD_DIR) + "/demo/demo.mid"; }

Bytes programWith(const Bytes& song) {
  Bytes gif = bytesOf("GIF89a, as far as the music is concerned");
  Bytes program =
      concat({Bytes(3000, 0x90), bytesOf("*GIF_BEGINS_HERE:"), lengthField(gif.size()), gif});
  if (song.empty()) return program;
  return concat({program, bytesOf("*MIDI_BEGINS_HERE:"), lengthField(song.size()), song});
}

NoticeWindow::NoticeWindow(bool programHandling) : programHandling_(programHandling) {
  headless::enable();
  headless::reset();
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = procedure;
  windowClass.lpszClassName = kClassName;
  RegisterClassA(&windowClass);
  current = this;
  window_ = CreateWindowExA(0, kClassName, "notices", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr,
                            nullptr, nullptr, nullptr);
}

NoticeWindow::~NoticeWindow() {
  headless::reset();
  current = nullptr;
}

bool NoticeWindow::waitForNotices(size_t count, std::chrono::milliseconds timeout) {
  headless::pumpUntil([&] { return notices_.size() >= count; }, timeout);
  return notices_.size() >= count;
}

LRESULT CALLBACK NoticeWindow::procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != MM_MCINOTIFY || current == nullptr)
    return DefWindowProcA(window, message, wParam, lParam);
  current->notices_.push_back({wParam, lParam});
  return current->programHandling_ ? mainWindowProcedure(window, message, wParam, lParam) : 0;
}
