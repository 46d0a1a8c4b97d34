// Decoding speed of the i686 build, run under Wine: ours next to giflib and
// Wuffs, built by the same MinGW compiler with the same options, on the
// files of the Linux decode benchmark (bench/decode_bench.cpp, whose
// comment says what each decoder keeps). Google Benchmark has no MinGW
// build here, so the timing is its own: for every repetition, each decoder
// in turn decodes each file for at least 0.2 s; the table takes each
// decoder's best repetition, since other work on the machine only ever
// slows a run down.
//
// Usage: gifplay_decode_speed [TESTDATA [REPETITIONS]]
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/decoders.h"

using namespace decoders;

namespace {

double seconds() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

enum Decoder { kOurs, kGiflib, kWuffs, kWuffsMapped, kDecoders };
const char* const kDecoderNames[kDecoders] = {"ours", "giflib", "Wuffs", "Wuffs+map"};

struct File {
  std::string name;
  Bytes data;
  int64_t pixels;
#ifdef GIFPLAY_WUFFS
  WuffsGif gif;
  ShownMapping mapping;
#endif
  double best[kDecoders];  // MB/s
};

bool decodeOnce(File& f, int decoder) {
  switch (decoder) {
    case kOurs:
      parseOnce(f.data);
      freeAnimation();
      return true;
    case kGiflib:
      return giflibDecode(f.data);
#ifdef GIFPLAY_WUFFS
    case kWuffs:
      return wuffsDecode(f.data, f.gif, false, nullptr);
    case kWuffsMapped:
      return wuffsDecode(f.data, f.gif, false, &f.mapping);
#endif
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1) testdata = argv[1];
  int repetitions = argc > 2 ? std::atoi(argv[2]) : 5;
  std::vector<File> files;
  for (const char* path : kFiles) {
    File f;
    f.name = std::strrchr(path, '/') + 1;
    f.name.resize(f.name.size() - 4);
    f.data = testFile(path);
    if (f.data.empty()) {
      std::printf("%s: missing\n", path);
      continue;
    }
    f.pixels = pixelsIn(f.data);
#ifdef GIFPLAY_WUFFS
    f.mapping = tablesOf(f.data);
    f.gif.decoder.resize(sizeof__wuffs_gif__decoder());
    if (!wuffsDecode(f.data, f.gif, true, nullptr)) f.gif.frames.clear();
#endif
    std::fill(std::begin(f.best), std::end(f.best), 0.0);
    files.push_back(std::move(f));
  }
  for (int r = 0; r < repetitions; ++r)
    for (File& f : files)
      for (int decoder = 0; decoder < kDecoders; ++decoder) {
        int64_t runs = 0;
        double start = seconds(), elapsed = 0;
        do {
          if (!decodeOnce(f, decoder)) break;
          ++runs;
          elapsed = seconds() - start;
        } while (elapsed < 0.2);
        if (runs > 0) f.best[decoder] = std::max(f.best[decoder], f.pixels * runs / elapsed / 1e6);
      }
  std::printf("i686, %d repetitions, best each\n%-22s", repetitions, "decoded MB/s");
  for (const char* name : kDecoderNames) std::printf(" %10s", name);
  std::printf(" %12s %11s %15s\n", "ours/giflib", "ours/Wuffs", "ours/Wuffs+map");
  for (const File& f : files) {
    std::printf("%-22s", f.name.c_str());
    for (double rate : f.best) std::printf(" %10.1f", rate);
    auto ratio = [&](int d) { return f.best[d] > 0 ? f.best[kOurs] / f.best[d] : 0.0; };
    std::printf(" %12.2f %11.2f %15.2f\n", ratio(kGiflib), ratio(kWuffs), ratio(kWuffsMapped));
  }
  return 0;
}
