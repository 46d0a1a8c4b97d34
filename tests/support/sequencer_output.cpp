// The test outputs of sequencer_output.h. The synthesizer opens its audio
// output through new_fluid_audio_driver2, handing it the function that
// renders; in its place a thread of ours calls that function, at a sound
// card's pace or as fast as it renders, and drops the audio or writes it to a
// WAV file. The synthesizer asks its song for the player's status after each
// block it renders while the song plays, and only then: that tells the fast
// outputs when the song plays.
#include "tests/support/sequencer_output.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <fstream>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/linux/winmm/midi_synth.h"
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

// The synthesizer's function that renders, as an audio output calls it.
struct Source {
  fluid_audio_func_t render;
  void* data;
};

midisynth::FluidSynth real;  // the functions ours stand in for
std::atomic<bool> songAsked{false};

double millisecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

class RenderThread {
 public:
  RenderThread(const Output& output, Source source) : realTime_(output.realTime), source_(source) {
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
    float* out[2] = {left, right};
    auto block = std::chrono::duration<double>(double{kBlockFrames} / midisynth::kSampleRate);
    auto due = Clock::now();
    std::unique_lock<std::mutex> lock(lock_);
    while (!quitting_) {
      lock.unlock();
      std::fill(left, left + kBlockFrames, 0.0f);
      std::fill(right, right + kBlockFrames, 0.0f);
      songAsked = false;
      source_.render(source_.data, kBlockFrames, 0, nullptr, 2, out);
      bool wanted = realTime_ || songAsked;
      if (wanted && wav_) wav_->write(left, right, kBlockFrames);
      due = realTime_ ? due + std::chrono::duration_cast<Clock::duration>(block)
                      : Clock::now() + std::chrono::milliseconds(wanted ? 0 : 1);
      lock.lock();
      wake_.wait_until(lock, due, [this] { return quitting_; });
    }
  }

  bool realTime_;
  Source source_;
  std::unique_ptr<WavWriter> wav_;
  std::mutex lock_;
  std::condition_variable wake_;
  bool quitting_ = false;
  std::thread thread_;
};

// Never destroyed: the synthesizer may close its output while the process
// exits. The synthesizer keeps the output it opened until then; useOutput
// changes what stands behind it.
struct State {
  std::mutex lock;
  Output output;
  bool hideSoundFonts = false;
  bool driverOpen = false;  // the synthesizer holds our driver
  fluid_settings_t* settings = nullptr;
  Source source{};
  fluid_audio_driver_t* system = nullptr;  // the real driver behind ours
  std::unique_ptr<RenderThread> thread;
  bool started = false;
  StartCost cost;
  bool soundFontIn = false;
  std::condition_variable soundFontLoaded;
};
State& state() {
  static auto* instance = new State;
  return *instance;
}

// What the synthesizer holds as its driver.
fluid_audio_driver_t* ourDriver() {
  static char driver;
  return reinterpret_cast<fluid_audio_driver_t*>(&driver);
}

bool openOutput(State& s) {
  if (s.output.kind == Output::Kind::system) {
    auto begin = Clock::now();
    s.system = real.new_fluid_audio_driver2(s.settings, s.source.render, s.source.data);
    s.cost.output += millisecondsSince(begin);
    return s.system != nullptr;
  }
  s.thread = std::make_unique<RenderThread>(s.output, s.source);
  if (!s.thread->good()) s.thread.reset();
  return s.thread != nullptr;
}

void closeOutput(State& s) {
  if (s.system != nullptr) real.delete_fluid_audio_driver(s.system);
  s.system = nullptr;
  s.thread.reset();
}

fluid_audio_driver_t* newDriver(fluid_settings_t* settings, fluid_audio_func_t render, void* data) {
  State& s = state();
  std::lock_guard<std::mutex> guard(s.lock);
  s.settings = settings;
  s.source = {render, data};
  s.driverOpen = openOutput(s);
  return s.driverOpen ? ourDriver() : nullptr;
}

void deleteDriver(fluid_audio_driver_t*) {
  State& s = state();
  std::lock_guard<std::mutex> guard(s.lock);
  closeOutput(s);
  s.driverOpen = false;
}

int playerStatus(fluid_player_t* player) {
  songAsked = true;
  return real.fluid_player_get_status(player);
}

int isSoundFont(const char* path) {
  {
    std::lock_guard<std::mutex> guard(state().lock);
    if (state().hideSoundFonts) return 0;
  }
  return real.fluid_is_soundfont(path);
}

fluid_synth_t* newSynth(fluid_settings_t* settings) {
  auto begin = Clock::now();
  fluid_synth_t* synth = real.new_fluid_synth(settings);
  std::lock_guard<std::mutex> guard(state().lock);
  state().cost = {millisecondsSince(begin), 0, 0};
  state().soundFontIn = false;
  state().started = true;
  return synth;
}

int loadSoundFont(fluid_synth_t* synth, const char* path, int reset) {
  auto begin = Clock::now();
  int result = real.fluid_synth_sfload(synth, path, reset);
  State& s = state();
  {
    std::lock_guard<std::mutex> guard(s.lock);
    s.cost.soundFont = millisecondsSince(begin);
    s.soundFontIn = true;
  }
  s.soundFontLoaded.notify_all();
  return result;
}

// Once, before the synthesizer's first song.
void standIn() {
  static bool done = [] {
    midisynth::FluidSynth* functions = midisynth::fluidSynth();
    if (functions == nullptr) return false;
    real = *functions;
    functions->new_fluid_audio_driver2 = newDriver;
    functions->delete_fluid_audio_driver = deleteDriver;
    functions->fluid_player_get_status = playerStatus;
    functions->fluid_is_soundfont = isSoundFont;
    functions->new_fluid_synth = newSynth;
    functions->fluid_synth_sfload = loadSoundFont;
    return true;
  }();
  (void)done;
}

void closeDevice() { mciSendCommandA(MCI_ALL_DEVICE_ID, MCI_CLOSE, 0, 0); }

}  // namespace

void useOutput(const Output& output) {
  standIn();
  closeDevice();
  State& s = state();
  std::lock_guard<std::mutex> guard(s.lock);
  closeOutput(s);
  s.output = output;
  if (s.driverOpen) openOutput(s);
}

void hideSoundFonts(bool hide) {
  standIn();
  closeDevice();
  std::lock_guard<std::mutex> guard(state().lock);
  state().hideSoundFonts = hide;
}

bool synthesizerStarted() {
  std::lock_guard<std::mutex> guard(state().lock);
  return state().started;
}

StartCost lastStartCost() {
  standIn();
  State& s = state();
  std::unique_lock<std::mutex> lock(s.lock);
  s.soundFontLoaded.wait(lock, [&] { return s.soundFontIn; });
  return s.cost;
}

}  // namespace sequencer_test
