// Decoding speed: every frame of seven GIFs, decoded from memory by our
// parser, by giflib's DGifSlurp and by Wuffs in the same run, as decoded
// pixels (one byte each) per second, with a table of ratios at the end.
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
#include <benchmark/benchmark.h>
#include <gif_lib.h>
#include <malloc.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "gif/gif_animation.h"
#include "gif/gif_parser.h"

#ifdef GIFPLAY_WUFFS
#define WUFFS_CONFIG__MODULES
#define WUFFS_CONFIG__MODULE__BASE
#define WUFFS_CONFIG__MODULE__GIF
#define WUFFS_CONFIG__MODULE__LZW
#include GIFPLAY_WUFFS
#endif

namespace {

using Bytes = std::vector<uint8_t>;

// Under the shared test data: the benchmark set, then real-world GIFs with
// many tiny frames (muybridge) and a local colour table (animated-red-blue).
const char* const kFiles[] = {
    "bench/photo.gif",
    "gif/harvesters.gif",
    "bench/anim.gif",
    "bench/bw.gif",
    "gif/gifplayer-muybridge.gif",
    "gif/muybridge.gif",
    "gif/animated-red-blue.gif",
};

Bytes testFile(const std::string& name) {
  std::ifstream in(std::string(GIFPLAY_TESTDATA) + "/" + name, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void parseOnce(Bytes& data) {
  PayloadBuffer buffer{data.data(), static_cast<int32_t>(data.size()), 0};
  parseGif(buffer);
}

int64_t pixelsIn(Bytes& data) {
  parseOnce(data);
  int64_t pixels = 0;
  for (int32_t i = 0; i < animation.frameCount; ++i)
    pixels += static_cast<int64_t>(animation.frames[i]->width) * animation.frames[i]->height;
  freeAnimation();
  return pixels;
}

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

struct MemoryReader {
  const Bytes* data;
  size_t position;
};

int readFromMemory(GifFileType* file, GifByteType* to, int wanted) {
  auto* reader = static_cast<MemoryReader*>(file->UserData);
  size_t n = std::min(static_cast<size_t>(wanted), reader->data->size() - reader->position);
  std::memcpy(to, reader->data->data() + reader->position, n);
  reader->position += n;
  return static_cast<int>(n);
}

void giflib(benchmark::State& state, const char* name) {
  Bytes data = testFile(name);
  if (data.empty()) return state.SkipWithError("benchmark file missing");
  int64_t pixels = pixelsIn(data);
  for (auto _ : state) {
    MemoryReader reader{&data, 0};
    int error = 0;
    GifFileType* file = DGifOpen(&reader, readFromMemory, &error);
    if (file == nullptr) return state.SkipWithError("giflib failed");
    DGifSlurp(file);  // a file cut short keeps the frames read
    benchmark::DoNotOptimize(file->SavedImages);
    DGifCloseFile(file, &error);
  }
  reportRate(state, pixels);
}

#ifdef GIFPLAY_WUFFS
struct WuffsGif {
  std::vector<uint8_t> decoder;
  wuffs_base__image_config config;
  std::vector<Bytes> frames;  // palette (1024 bytes) + pixels of the whole screen, each
  Bytes workBuffer;
};

// Decodes every frame of data; frame i into frames[i]. With grow, a frame
// buffer is added for every frame met (the set-up run). False on an error.
bool wuffsDecode(Bytes& data, WuffsGif& gif, bool grow) {
  auto* decoder = reinterpret_cast<wuffs_gif__decoder*>(gif.decoder.data());
  if (wuffs_gif__decoder__initialize(decoder, gif.decoder.size(), WUFFS_VERSION,
                                     WUFFS_INITIALIZE__LEAVE_INTERNAL_BUFFERS_UNINITIALIZED)
          .repr != nullptr)
    return false;
  wuffs_base__io_buffer source = wuffs_base__ptr_u8__reader(data.data(), data.size(), true);
  if (wuffs_gif__decoder__decode_image_config(decoder, &gif.config, &source).repr != nullptr)
    return false;
  uint32_t width = wuffs_base__pixel_config__width(&gif.config.pixcfg);
  uint32_t height = wuffs_base__pixel_config__height(&gif.config.pixcfg);
  wuffs_base__pixel_config__set(&gif.config.pixcfg, WUFFS_BASE__PIXEL_FORMAT__INDEXED__BGRA_BINARY,
                                WUFFS_BASE__PIXEL_SUBSAMPLING__NONE, width, height);
  if (grow) gif.workBuffer.resize(wuffs_gif__decoder__workbuf_len(decoder).max_incl);
  for (size_t i = 0;; ++i) {
    wuffs_base__frame_config frame;
    wuffs_base__status status = wuffs_gif__decoder__decode_frame_config(decoder, &frame, &source);
    if (status.repr == wuffs_base__note__end_of_data) return true;
    if (status.repr != nullptr) return false;
    if (grow) gif.frames.emplace_back(1024 + static_cast<size_t>(width) * height);
    if (i >= gif.frames.size()) return false;
    wuffs_base__pixel_buffer pixels;
    if (wuffs_base__pixel_buffer__set_from_slice(
            &pixels, &gif.config.pixcfg,
            wuffs_base__make_slice_u8(gif.frames[i].data(), gif.frames[i].size()))
            .repr != nullptr)
      return false;
    status = wuffs_gif__decoder__decode_frame(
        decoder, &pixels, &source, WUFFS_BASE__PIXEL_BLEND__SRC,
        wuffs_base__make_slice_u8(gif.workBuffer.data(), gif.workBuffer.size()), nullptr);
    if (status.repr != nullptr) return false;
  }
}

void wuffs(benchmark::State& state, const char* name) {
  Bytes data = testFile(name);
  if (data.empty()) return state.SkipWithError("benchmark file missing");
  int64_t pixels = pixelsIn(data);
  WuffsGif gif;
  gif.decoder.resize(sizeof__wuffs_gif__decoder());
  if (!wuffsDecode(data, gif, true)) return state.SkipWithError("Wuffs failed");
  for (auto _ : state) {
    wuffsDecode(data, gif, false);
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
  std::printf("\n%-22s %10s %10s %10s %12s %12s\n", "decoded MB/s", "ours", "giflib", "Wuffs",
              "ours/giflib", "ours/Wuffs");
  for (const char* file : kFiles) {
    std::string name = std::strrchr(file, '/') + 1;
    name.resize(name.size() - 4);
    auto found = collector.rates.find(name);
    if (found == collector.rates.end()) continue;
    auto rate = [&](const char* decoder) {
      auto r = found->second.find(decoder);
      return r == found->second.end() ? 0.0 : r->second;
    };
    double o = rate("ours"), g = rate("giflib"), w = rate("wuffs");
    std::printf("%-22s %10.1f %10.1f %10.1f %12.2f %12.2f\n", name.c_str(), o, g, w,
                g > 0 ? o / g : 0.0, w > 0 ? o / w : 0.0);
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
    benchmark::RegisterBenchmark(("wuffs/" + name).c_str(), wuffs, file)
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
