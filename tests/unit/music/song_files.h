// Songs and program files for the music tests.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "platform/win32.h"
#include "tests/support/headless.h"
#include "tests/support/test_support.h"

// A one-track song of a few piano notes that lasts the given time.
Bytes shortSong(double seconds);
// The demo song that the build writes.
std::string demoSongPath();
// A program image followed by a picture record and, when song is not empty, a
// music record.
Bytes programWith(const Bytes& song);

// MM_MCINOTIFY as a window received it.
struct Notice {
  WPARAM code;
  LPARAM device;
};

// A headless window of its own class, collecting the MM_MCINOTIFY messages it
// receives; each is then handed to the main window's procedure when asked to,
// so that the program's own handling restarts the song.
class NoticeWindow {
 public:
  explicit NoticeWindow(bool programHandling);
  ~NoticeWindow();
  HWND handle() const { return window_; }
  const std::vector<Notice>& notices() const { return notices_; }
  // Pumps messages until count notices have arrived or the timeout passes.
  bool waitForNotices(size_t count, std::chrono::milliseconds timeout);

 private:
  static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  HWND window_ = nullptr;
  bool programHandling_;
  std::vector<Notice> notices_;
};
