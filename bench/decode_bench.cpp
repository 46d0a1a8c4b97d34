// Decoding speed: every frame of the benchmark GIFs, decoded from memory by
// our parser and by giflib's DGifSlurp in the same run, as decoded pixels
// (one byte each) per second.
#include <benchmark/benchmark.h>
#include <gif_lib.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "gif/gif_animation.h"
#include "gif/gif_parser.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes benchFile(const std::string& name) {
  std::ifstream in(std::string(GIFPLAY_TESTDATA) + "/bench/" + name, std::ios::binary);
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
  Bytes data = benchFile(name);
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
  Bytes data = benchFile(name);
  if (data.empty()) return state.SkipWithError("benchmark file missing");
  int64_t pixels = pixelsIn(data);
  for (auto _ : state) {
    MemoryReader reader{&data, 0};
    int error = 0;
    GifFileType* file = DGifOpen(&reader, readFromMemory, &error);
    if (file == nullptr || DGifSlurp(file) != GIF_OK) state.SkipWithError("giflib failed");
    benchmark::DoNotOptimize(file->SavedImages);
    DGifCloseFile(file, &error);
  }
  reportRate(state, pixels);
}

}  // namespace

BENCHMARK_CAPTURE(ours, photo, "photo.gif")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(giflib, photo, "photo.gif")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ours, anim, "anim.gif")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(giflib, anim, "anim.gif")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ours, bw, "bw.gif")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(giflib, bw, "bw.gif")->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
