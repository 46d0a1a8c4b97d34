// Decoding speed: every frame of seven GIFs and of one made here, decoded
// from memory by our parser, by giflib's DGifSlurp and by Wuffs in the same
// run, as decoded pixels (one byte each) per second, with a table of ratios
// at the end.
// With --benchmark_repetitions (and, on a busy machine,
// --benchmark_enable_random_interleaving=true) the table takes each
// decoder's best repetition: other work on the machine only ever slows a
// run down.
//
// The same work for all three: every frame is kept, as palette indices.
// Ours allocates each frame's storage while it decodes; giflib keeps each
// frame in SavedImages; Wuffs decodes frame i into a buffer of its own,
// allocated before the timing starts. All three write into memory the
// process already holds: malloc keeps what ours and giflib free for their
// next run, as Wuffs keeps its buffers. Otherwise only ours and giflib
// would pay the kernel for fresh pages at every run (on anim.gif, 7.7 MB
// of frames: about 40 % of ours), and how much would depend on where
// malloc's dynamic thresholds stood after the file before.
//
// A frame with a colour table of its own is stored by ours in the colours of
// the global table, the one palette every frame is shown with. A decoder
// that shows such frames must do the same, so "wuffs+map" is Wuffs followed
// by that mapping, written plainly: for each own table (made again only
// when it differs from the last one), every entry's nearest global colour by
// squared distance, the first of equals, found by comparing it with every
// global entry; then every pixel of the frame through that map. Which frames
// have their own table is read with giflib before the timing. On files
// without such frames it is Wuffs alone.
//
// own-tables-50x20x20 is made here: 50 frames of 20 x 20, each with its own
// table of 256 colours, all differing from the global table and each other.
#include "bench/decoders.h"

#include <benchmark/benchmark.h>
#include <malloc.h>

#include <cstdio>
#include <map>

namespace {

using namespace decoders;

void reportRate(benchmark::State& state, int64_t pixels) {
  state.counters["MB/s"] = benchmark::Counter(
      static_cast<double>(pixels) * static_cast<double>(state.iterations()) / 1e6,
      benchmark::Counter::kIsRate);
}

void ours(benchmark::State& state, const char* name) {
  Bytes data = testFile(name);
  if (data.empty()) return state.SkipWithError("benchmark file missing");
  int64_t pixels = pixelsIn(data);
  for (auto _ : state) {
    parseOnce(data);
    benchmark::DoNotOptimize(animation.frames);
    freeAnimation();
  }
  reportRate(state, pixels);
}

void giflib(benchmark::State& state, const char* name) {
  Bytes data = testFile(name);
  if (data.empty()) return state.SkipWithError("benchmark file missing");
  int64_t pixels = pixelsIn(data);
  for (auto _ : state)
    if (!giflibDecode(data)) return state.SkipWithError("giflib failed");
  reportRate(state, pixels);
}

#ifdef GIFPLAY_WUFFS
void wuffs(benchmark::State& state, const char* name, bool mapped) {
  Bytes data = testFile(name);
  if (data.empty()) return state.SkipWithError("benchmark file missing");
  int64_t pixels = pixelsIn(data);
  ShownMapping mapping = tablesOf(data);
  ShownMapping* map = mapped ? &mapping : nullptr;
  WuffsGif gif;
  gif.decoder.resize(sizeof__wuffs_gif__decoder());
  if (!wuffsDecode(data, gif, true, map)) return state.SkipWithError("Wuffs failed");
  for (auto _ : state) {
    wuffsDecode(data, gif, false, map);
    benchmark::DoNotOptimize(gif.frames.back().data());
  }
  reportRate(state, pixels);
}
#endif

// Collects each decoder's best MB/s per file, for the table of ratios.
class RateCollector : public benchmark::ConsoleReporter {
 public:
  std::map<std::string, std::map<std::string, double>> rates;  // file, decoder

  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      std::string name = run.benchmark_name();
      auto slash = name.find('/');
      auto counter = run.counters.find("MB/s");
      if (run.run_type != Run::RT_Iteration || slash == std::string::npos ||
          counter == run.counters.end() || run.error_occurred)
        continue;
      double& best = rates[name.substr(slash + 1)][name.substr(0, slash)];
      best = std::max(best, static_cast<double>(counter->second));
    }
  }
};

void printRatios(const RateCollector& collector) {
  std::printf("\n%-22s %9s %9s %9s %10s %12s %11s %15s\n", "decoded MB/s", "ours", "giflib",
              "Wuffs", "Wuffs+map", "ours/giflib", "ours/Wuffs", "ours/Wuffs+map");
  for (const char* file : kFiles) {
    std::string name = std::strrchr(file, '/') + 1;
    name.resize(name.size() - 4);
    auto found = collector.rates.find(name);
    if (found == collector.rates.end()) continue;
    auto rate = [&](const char* decoder) {
      auto r = found->second.find(decoder);
      return r == found->second.end() ? 0.0 : r->second;
    };
    double o = rate("ours"), g = rate("giflib"), w = rate("wuffs"), m = rate("wuffs+map");
    std::printf("%-22s %9.1f %9.1f %9.1f %10.1f %12.2f %11.2f %15.2f\n", name.c_str(), o, g, w, m,
                g > 0 ? o / g : 0.0, w > 0 ? o / w : 0.0, m > 0 ? o / m : 0.0);
  }
}

}  // namespace

int main(int argc, char** argv) {
  for (const char* file : kFiles) {
    std::string name = std::strrchr(file, '/') + 1;
    name.resize(name.size() - 4);
    benchmark::RegisterBenchmark(("ours/" + name).c_str(), ours, file)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("giflib/" + name).c_str(), giflib, file)
        ->Unit(benchmark::kMillisecond);
#ifdef GIFPLAY_WUFFS
    benchmark::RegisterBenchmark(("wuffs/" + name).c_str(), wuffs, file, false)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("wuffs+map/" + name).c_str(), wuffs, file, true)
        ->Unit(benchmark::kMillisecond);
#endif
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  mallopt(M_MMAP_THRESHOLD, 32 << 20);  // the most malloc takes: frames come from the heap
  mallopt(M_TRIM_THRESHOLD, INT_MAX);   // which is never given back
  RateCollector collector;
  benchmark::RunSpecifiedBenchmarks(&collector);
  printRatios(collector);
  benchmark::Shutdown();
  return 0;
}
