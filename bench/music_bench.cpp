// What the music costs inside the process, through the MCI sequencer as the
// player drives it:
//   start       the first MCI_OPEN: synthesizer, audio output, SoundFont
//   restart     MCI_STOP, MCI_CLOSE, MCI_OPEN, MCI_PLAY, as on each repetition
//   render      the whole song as fast as the synthesizer renders it
//   real time   CPU of the process while the song plays in real time
//   memory      resident memory before the first open and after it
//
//   gifplay_music_bench SONG.mid [system|null]
// "system" (the default) opens the audio output the player would use;
// "null" drops the audio at a sound card's pace.
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "platform/win32.h"
#include "tests/support/headless.h"
#include "tests/support/sequencer_output.h"

namespace {

using Clock = std::chrono::steady_clock;
using Kind = sequencer_test::Output::Kind;

int notices = 0;

LRESULT CALLBACK countNotices(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == MM_MCINOTIFY && wParam == MCI_NOTIFY_SUCCESSFUL) ++notices;
  return DefWindowProcA(window, message, wParam, lParam);
}

HWND noticeWindow() {
  headless::enable();
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = countNotices;
  windowClass.lpszClassName = "MusicBench";
  RegisterClassA(&windowClass);
  return CreateWindowExA(0, "MusicBench", "bench", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr,
                         nullptr, nullptr, nullptr);
}

double msSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double cpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

long residentKb() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  return -1;
}

MCIDEVICEID openSong(const char* path, MCIERROR& error) {
  MCI_OPEN_PARMSA open{};
  open.lpstrDeviceType = "sequencer";
  open.lpstrElementName = path;
  error = mciSendCommandA(0, MCI_OPEN, MCI_OPEN_TYPE | MCI_OPEN_ELEMENT,
                          reinterpret_cast<DWORD_PTR>(&open));
  return open.wDeviceID;
}

void play(MCIDEVICEID device, HWND window) {
  MCI_PLAY_PARMS parms{};
  parms.dwCallback = reinterpret_cast<DWORD_PTR>(window);
  mciSendCommandA(device, MCI_PLAY, MCI_NOTIFY, reinterpret_cast<DWORD_PTR>(&parms));
}

void close(MCIDEVICEID device) {
  mciSendCommandA(device, MCI_STOP, 0, 0);
  mciSendCommandA(device, MCI_CLOSE, 0, 0);
}

bool waitForEnd(std::chrono::seconds timeout) {
  int before = notices;
  headless::pumpUntil([&] { return notices > before; }, timeout);
  return notices > before;
}

void reportRestarts(const char* song, HWND window) {
  std::vector<double> times;
  for (int i = 0; i < 20; ++i) {
    auto start = Clock::now();
    MCIERROR error = 0;
    MCIDEVICEID device = openSong(song, error);
    play(device, window);
    times.push_back(msSince(start));
    close(device);
  }
  std::sort(times.begin(), times.end());
  std::printf("restart (open + play)   median %.2f ms, max %.2f ms over %zu\n",
              times[times.size() / 2], times.back(), times.size());
}

void reportRender(const char* song, HWND window) {
  sequencer_test::Output fast;
  fast.kind = Kind::null;
  fast.realTime = false;
  sequencer_test::useOutput(fast);
  MCIERROR error = 0;
  MCIDEVICEID device = openSong(song, error);
  double cpu = cpuSeconds();
  auto start = Clock::now();
  play(device, window);
  bool ended = waitForEnd(std::chrono::seconds(120));
  double wall = msSince(start) / 1000;
  cpu = cpuSeconds() - cpu;
  close(device);
  std::printf("render whole song       %.3f s wall, %.3f s CPU%s\n", wall, cpu,
              ended ? "" : " (did not end)");
}

void reportRealTime(const char* song, HWND window, const sequencer_test::Output& output,
                    double seconds) {
  sequencer_test::useOutput(output);
  MCIERROR error = 0;
  MCIDEVICEID device = openSong(song, error);
  play(device, window);
  double cpu = cpuSeconds();
  auto start = Clock::now();
  headless::pumpMessagesFor(std::chrono::milliseconds(static_cast<int>(seconds * 1000)));
  double wall = msSince(start) / 1000;
  cpu = cpuSeconds() - cpu;
  close(device);
  std::printf("playing in real time    %.1f%% of one core over %.0f s\n", 100 * cpu / wall, wall);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: gifplay_music_bench SONG.mid [system|null]\n");
    return 2;
  }
  const char* song = argv[1];
  sequencer_test::Output output;
  if (argc > 2 && std::strcmp(argv[2], "null") == 0) output.kind = Kind::null;
  sequencer_test::useOutput(output);
  HWND window = noticeWindow();

  long before = residentKb();
  double cpuBefore = cpuSeconds();
  auto start = Clock::now();
  MCIERROR error = 0;
  MCIDEVICEID device = openSong(song, error);
  double firstOpen = msSince(start);
  double cpu = cpuSeconds() - cpuBefore;
  if (error != 0) {
    std::printf("MCI_OPEN failed with %u after %.1f ms: no music here\n", error, firstOpen);
    return 1;
  }
  play(device, window);
  sequencer_test::StartCost cost = sequencer_test::lastStartCost();
  double startCpu = cpuSeconds() - cpuBefore;
  long after = residentKb();
  std::printf("output                  %s\n", output.kind == Kind::null ? "null" : "system");
  std::printf(
      "first open              %.1f ms (synthesizer %.1f, output %.1f, SoundFont %.1f);"
      " %.1f ms CPU\n",
      firstOpen, cost.synth, cost.output, cost.soundFont, cpu * 1000);
  std::printf("SoundFont in             %.1f ms CPU for the whole start\n", startCpu * 1000);
  std::printf("resident memory         %ld kB before, %ld kB with the SoundFont (+%ld kB)\n",
              before, after, after - before);
  close(device);

  reportRestarts(song, window);
  reportRealTime(song, window, output, 5);
  reportRender(song, window);
  return 0;
}
