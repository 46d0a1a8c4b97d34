// Times the payload scanner over one file: gifplay_locate_speed FILE [RUNS].
// Prints the best run's throughput, counted over the whole file, in MB/s,
// next to a loop that only reads the file through ReadFile in pieces of the
// scanner's buffer size: the floor that the buffer size sets.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "payload/payload_locator.h"

namespace {

using Clock = std::chrono::steady_clock;

double since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

double timeLocate(const char* path, int32_t& length) {
  auto start = Clock::now();
  length = locate(path, kPictureTag);
  double seconds = since(start);
  closeLocator();
  return seconds;
}

double timeReadLoop(const char* path) {
  auto start = Clock::now();
  HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  static uint8_t buffer[kLocatorBufferSize];
  DWORD got = 0;
  while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) {
  }
  double seconds = since(start);
  CloseHandle(file);
  return seconds;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s FILE [RUNS]\n", argv[0]);
    return 1;
  }
  int runs = argc > 2 ? std::atoi(argv[2]) : 10;
  double bestLocate = 1e9, bestRead = 1e9;
  int32_t length = 0;
  for (int i = 0; i < runs; ++i) {
    bestRead = std::min(bestRead, timeReadLoop(argv[1]));
    bestLocate = std::min(bestLocate, timeLocate(argv[1], length));
  }
  double megabytes = static_cast<double>(payloadLocator.consumed) / 1e6;
  std::printf("ReadFile loop, %d-byte reads: %.0f MB/s\n", kLocatorBufferSize,
              megabytes / bestRead);
  std::printf("locate: %.1f MB in %.2f ms, %.0f MB/s (payload length %d)\n", megabytes,
              bestLocate * 1e3, megabytes / bestLocate, length);
  return length > 0 ? 0 : 2;
}
