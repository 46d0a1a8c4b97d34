// The test outputs of sequencer_output.h: a thread of ours takes the
// synthesizer's audio, at a sound card's pace or as fast as it renders, and
// drops it or writes it to a WAV file.
#include "tests/support/sequencer_output.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <fstream>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/win32.h"

namespace sequencer_test {
namespace {

using Clock = std::chrono::steady_clock;
constexpr int kBlockFrames = 512;

// 16-bit stereo PCM in a RIFF WAVE file; the sizes are written at the end.
class WavWriter {
 public:
  explicit WavWriter(const std::string& path) : out_(path, std::ios::binary | std::ios::trunc) {
    writeHeader();
  }
  ~WavWriter() {
    out_.seekp(0);
    writeHeader();
  }
  bool good() const { return out_.good(); }
  void write(const float* left, const float* right, int frames) {
    for (int i = 0; i < frames; ++i) {
      put16(toSample(left[i]));
      put16(toSample(right[i]));
    }
    dataBytes_ += static_cast<uint32_t>(frames) * 4;
  }

 private:
  static int16_t toSample(float value) {
    return static_cast<int16_t>(std::clamp(value, -1.0f, 1.0f) * 32767.0f);
  }
  void put16(uint16_t v) {
    char bytes[2] = {static_cast<char>(v), static_cast<char>(v >> 8)};
    out_.write(bytes, 2);
  }
  void put32(uint32_t v) {
    put16(static_cast<uint16_t>(v));
    put16(static_cast<uint16_t>(v >> 16));
  }
  void writeHeader() {
    const auto rate = static_cast<uint32_t>(midisynth::kSampleRate);
    out_.write("RIFF", 4);
    put32(36 + dataBytes_);
    out_.write("WAVEfmt ", 8);
    put32(16);
    put16(1);  // PCM
    put16(2);  // channels
    put32(rate);
    put32(rate * 4);
    put16(4);   // bytes per frame
    put16(16);  // bits per sample
    out_.write("data", 4);
    put32(dataBytes_);
  }

  std::ofstream out_;
  uint32_t dataBytes_ = 0;
};

class RenderThread {
 public:
  explicit RenderThread(const Output& output) : realTime_(output.realTime) {
    if (output.kind == Output::Kind::wavFile) wav_ = std::make_unique<WavWriter>(output.wavPath);
    if (good()) thread_ = std::thread([this] { run(); });
  }
  ~RenderThread() {
    {
      std::lock_guard<std::mutex> guard(lock_);
      quitting_ = true;
    }
    wake_.notify_one();
    if (thread_.joinable()) thread_.join();
  }
  bool good() const { return !wav_ || wav_->good(); }

 private:
  void run() {
    float left[kBlockFrames], right[kBlockFrames];
    auto block = std::chrono::duration<double>(double{kBlockFrames} / midisynth::kSampleRate);
    auto due = Clock::now();
    std::unique_lock<std::mutex> lock(lock_);
    while (!quitting_) {
      lock.unlock();
      bool wanted = realTime_ || midisynth::songPlaying();
      if (wanted) {
        std::fill(left, left + kBlockFrames, 0.0f);
        std::fill(right, right + kBlockFrames, 0.0f);
        wanted = midisynth::renderSong(kBlockFrames, left, right) || realTime_;
        if (wanted && wav_) wav_->write(left, right, kBlockFrames);
      }
      due = realTime_ ? due + std::chrono::duration_cast<Clock::duration>(block)
                      : Clock::now() + std::chrono::milliseconds(wanted ? 0 : 1);
      lock.lock();
      wake_.wait_until(lock, due, [this] { return quitting_; });
    }
  }

  bool realTime_;
  std::unique_ptr<WavWriter> wav_;
  std::mutex lock_;
  std::condition_variable wake_;
  bool quitting_ = false;
  std::thread thread_;
};

// Never destroyed: the synthesizer may close its output while the process
// exits.
struct State {
  Output output;
  std::unique_ptr<RenderThread> thread;
};
State& state() {
  static auto* instance = new State;
  return *instance;
}

bool openOutput() {
  state().thread = std::make_unique<RenderThread>(state().output);
  if (!state().thread->good()) state().thread.reset();
  return state().thread != nullptr;
}

void closeOutput() { state().thread.reset(); }

const midisynth::AudioOutput kTestOutput{openOutput, closeOutput};

void closeDevice() { mciSendCommandA(MCI_ALL_DEVICE_ID, MCI_CLOSE, 0, 0); }

}  // namespace

void useOutput(const Output& output) {
  closeDevice();
  state().output = output;
  midisynth::useOutput(output.kind == Output::Kind::system ? nullptr : &kTestOutput);
}

void useSoundFonts(const std::vector<std::string>& paths) {
  closeDevice();
  midisynth::useSoundFonts(paths);
}

}  // namespace sequencer_test
