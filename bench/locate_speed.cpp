// Times the payload scanner over one file: gifplay_locate_speed FILE [RUNS].
// Prints the best run's throughput, counted over the whole file, in MB/s.
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "payload/payload_locator.h"

namespace {

double secondsFor(const char* path, int32_t& length) {
  auto start = std::chrono::steady_clock::now();
  length = locate(path, kPictureTag);
  auto end = std::chrono::steady_clock::now();
  closeLocator();
  return std::chrono::duration<double>(end - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s FILE [RUNS]\n", argv[0]);
    return 1;
  }
  int runs = argc > 2 ? std::atoi(argv[2]) : 10;
  double best = 1e9;
  int32_t length = 0;
  for (int i = 0; i < runs; ++i) {
    double seconds = secondsFor(argv[1], length);
    if (seconds < best) best = seconds;
  }
  double megabytes = static_cast<double>(payloadLocator.consumed) / 1e6;
  std::printf("locate: %.1f MB in %.2f ms, %.0f MB/s (payload length %d)\n", megabytes, best * 1e3,
              megabytes / best, length);
  return length > 0 ? 0 : 2;
}
