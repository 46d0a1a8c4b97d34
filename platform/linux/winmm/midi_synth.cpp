// FluidSynth behind the MCI sequencer. One synthesizer for the whole run:
// the first song opens the audio output and loads the SoundFont, and both stay
// for the next songs, so each restart of the song costs only the parsing of
// the file. The SoundFont loads on a thread of its own, so that the window
// need not wait for it; the output stays silent, and the song waits at its
// start, until it is in. The audio output calls render() on its own thread; render() holds
// the lock while the synthesizer works, and songs are swapped only under the
// same lock (FluidSynth's player must not change while audio is rendered).
// When the song reaches its end, render() hands the play's number to the
// notifier thread, which tells the end handler with no lock held. The end is
// the song's last tick: FluidSynth's player would go on while notes and
// reverb fade, and then for a grace period, which would put seconds of
// silence into every repetition. FluidSynth (and ALSA, which it brings) is
// not linked: it is loaded when the first song is, so a player without a
// song never pays for it, and one without the library plays in silence.
#include "platform/linux/winmm/midi_synth.h"

#include <alsa/asoundlib.h>
#include <dlfcn.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace midisynth {
namespace {

const char* const kSystemSoundFonts[] = {
    "/usr/share/sounds/sf2/default-GM.sf2", "/usr/share/sounds/sf2/FluidR3_GM.sf2",
    "/usr/share/sounds/sf2/TimGM6mb.sf2",   "/usr/share/soundfonts/default.sf2",
    "/usr/share/soundfonts/FluidR3_GM.sf2", "/usr/share/sounds/sf3/default-GM.sf3",
};
// PulseAudio (or PipeWire's server for it) first; ALSA's default device else.
const char* const kSystemDrivers[] = {"pulseaudio", "alsa"};
constexpr int kPeriodFrames = 1024;  // about 23 ms: background music needs no low latency
constexpr int kPeriods = 4;
// FluidSynth's default of 0.2 leaves General MIDI songs quiet; 0.5 keeps
// even a full arrangement well clear of clipping.
constexpr double kGain = 0.5;

// The library as Debian ships it: the runtime package's soname.
const char* const kFluidSynthLibraries[] = {"libfluidsynth.so.3", "libfluidsynth.so.2"};

void ignoreAlsaError(const char*, int, const char*, int, const char*, ...) {}

// ALSA comes with FluidSynth; its own messages are silenced when it is there.
void silenceAlsa() {
  void* alsa = dlopen("libasound.so.2", RTLD_NOW | RTLD_NOLOAD);
  if (alsa == nullptr) return;
  auto setHandler = reinterpret_cast<decltype(&snd_lib_error_set_handler)>(
      dlsym(alsa, "snd_lib_error_set_handler"));
  if (setHandler != nullptr) setHandler(ignoreAlsaError);
  dlclose(alsa);
}

}  // namespace

FluidSynth* fluidSynth() {
  static FluidSynth* loaded = []() -> FluidSynth* {
    void* library = nullptr;
    for (const char* name : kFluidSynthLibraries)
      if ((library = dlopen(name, RTLD_NOW | RTLD_LOCAL)) != nullptr) break;
    if (library == nullptr) return nullptr;
    static FluidSynth f;
    bool complete = true;
#define GIFPLAY_LOAD(name)                                             \
  f.name = reinterpret_cast<decltype(&::name)>(dlsym(library, #name)); \
  complete = complete && f.name != nullptr;
    GIFPLAY_FLUID_FUNCTIONS(GIFPLAY_LOAD)
#undef GIFPLAY_LOAD
    if (!complete) return nullptr;
    for (int level : {FLUID_PANIC, FLUID_ERR, FLUID_WARN, FLUID_INFO, FLUID_DBG})
      f.fluid_set_log_function(level, nullptr, nullptr);
    silenceAlsa();
    return &f;
  }();
  return loaded;
}

namespace {

class Synth {
 public:
  Synth() : notifier_([this] { notifyLoop(); }) {}
  ~Synth() {
    if (driver_ != nullptr) fluid_->delete_fluid_audio_driver(driver_);
    unloadSong();
    {
      std::lock_guard<std::mutex> guard(noticeLock_);
      quitting_ = true;
    }
    noticeWake_.notify_one();
    notifier_.join();
    deleteSynth();
  }

  void setEndHandler(EndHandler handler) {
    std::lock_guard<std::mutex> guard(noticeLock_);
    endHandler_ = handler;
  }

  Result loadSong(const uint8_t* data, size_t size, uint32_t endTick) {
    if (Result result = start(); result != Result::ok) return result;
    std::lock_guard<std::mutex> guard(lock_);
    deletePlayer();
    resetAfterSong();
    endTick_ = endTick;
    player_ = fluid_->new_fluid_player(synth_);
    if (player_ != nullptr && fluid_->fluid_player_add_mem(player_, data, size) == FLUID_OK)
      return Result::ok;
    deletePlayer();
    return Result::outOfMemory;
  }

  uint32_t playSong() {
    std::lock_guard<std::mutex> guard(lock_);
    if (player_ == nullptr) return 0;
    fluid_->fluid_player_play(player_);
    playing_ = true;
    return ++plays_;
  }

  void pauseSong() {
    std::lock_guard<std::mutex> guard(lock_);
    if (player_ != nullptr && playing_) fluid_->fluid_player_stop(player_);
    playing_ = false;
  }

  void unloadSong() {
    std::lock_guard<std::mutex> guard(lock_);
    deletePlayer();
  }

 private:
  enum class SoundFontState { none, loading, ready, failed };

  // Effects are mixed into the two dry buffers, which the audio output has
  // cleared; they stay silent while the SoundFont loads.
  static int renderForDriver(void* self, int frames, int, float*[], int channels, float* out[]) {
    static_cast<Synth*>(self)->render(frames, channels, out);
    return FLUID_OK;
  }

  void render(int frames, int channels, float* out[]) {
    std::lock_guard<std::mutex> guard(lock_);
    if (soundFontState_ != SoundFontState::ready) return;
    fluid_->fluid_synth_process(synth_, frames, channels, out, channels, out);
    if (playing_ && songOver()) {
      playing_ = false;
      reportEnd(plays_);
    }
  }

  // Synthesizer, a SoundFont file, the output, then the SoundFont's loading:
  // without a SoundFont no output is opened, and without an output nothing
  // is loaded. A SoundFont that turns out unreadable leaves the output
  // silent and the songs waiting; the next start fails.
  Result start() {
    if (fluid_ == nullptr) return Result::noSynthesizer;
    if (synth_ == nullptr && !createSynth()) return Result::outOfMemory;
    if (soundFontState_ == SoundFontState::failed) return Result::noSoundFont;
    std::string soundFont;
    if (soundFontState_ == SoundFontState::none && (soundFont = findSoundFont()).empty())
      return Result::noSoundFont;
    if (driver_ == nullptr && !openOutput()) return Result::noAudioOutput;
    if (!soundFont.empty()) startLoading(soundFont);
    return Result::ok;
  }

  bool createSynth() {
    settings_ = fluid_->new_fluid_settings();
    if (settings_ == nullptr) return false;
    fluid_->fluid_settings_setnum(settings_, "synth.sample-rate", kSampleRate);
    fluid_->fluid_settings_setint(settings_, "synth.lock-memory", 0);
    fluid_->fluid_settings_setnum(settings_, "synth.gain", kGain);
    fluid_->fluid_settings_setint(settings_, "audio.period-size", kPeriodFrames);
    fluid_->fluid_settings_setint(settings_, "audio.periods", kPeriods);
    synth_ = fluid_->new_fluid_synth(settings_);
    if (synth_ == nullptr) deleteSynth();
    return synth_ != nullptr;
  }

  // The first of the system's SoundFonts whose file looks like one.
  std::string findSoundFont() const {
    for (const char* path : kSystemSoundFonts)
      if (fluid_->fluid_is_soundfont(path)) return path;
    return {};
  }

  // Nothing renders until the state is ready, so the synthesizer is the
  // loader's alone meanwhile, the player's creation aside (FluidSynth's own
  // lock covers that).
  void startLoading(const std::string& path) {
    soundFontState_ = SoundFontState::loading;
    soundFontLoader_ = std::thread([this, path] {
      bool loaded = fluid_->fluid_synth_sfload(synth_, path.c_str(), 1) != FLUID_FAILED;
      soundFontState_ = loaded ? SoundFontState::ready : SoundFontState::failed;
    });
  }

  bool openOutput() {
    for (const char* name : kSystemDrivers) {
      fluid_->fluid_settings_setstr(settings_, "audio.driver", name);
      driver_ = fluid_->new_fluid_audio_driver2(settings_, renderForDriver, this);
      if (driver_ != nullptr) return true;
    }
    return false;
  }

  bool songOver() const {
    return fluid_->fluid_player_get_status(player_) == FLUID_PLAYER_DONE ||
           static_cast<uint32_t>(fluid_->fluid_player_get_current_tick(player_)) >= endTick_;
  }

  void deletePlayer() {
    if (player_ != nullptr) fluid_->delete_fluid_player(player_);
    player_ = nullptr;
    playing_ = false;
  }

  // Each song starts from the synthesizer's power-on state. A fresh one is
  // in it already, and resetting it would wait for the SoundFont's loading,
  // which holds FluidSynth's lock.
  void resetAfterSong() {
    if (songsLoaded_++ > 0) fluid_->fluid_synth_system_reset(synth_);
  }

  void deleteSynth() {
    if (soundFontLoader_.joinable()) soundFontLoader_.join();
    if (synth_ != nullptr) fluid_->delete_fluid_synth(synth_);
    if (settings_ != nullptr) fluid_->delete_fluid_settings(settings_);
    synth_ = nullptr;
    settings_ = nullptr;
  }

  void reportEnd(uint32_t play) {
    {
      std::lock_guard<std::mutex> guard(noticeLock_);
      ended_.push_back(play);
    }
    noticeWake_.notify_one();
  }

  void notifyLoop() {
    std::unique_lock<std::mutex> lock(noticeLock_);
    for (;;) {
      noticeWake_.wait(lock, [this] { return quitting_ || !ended_.empty(); });
      if (quitting_) return;
      std::vector<uint32_t> plays;
      plays.swap(ended_);
      EndHandler handler = endHandler_;
      lock.unlock();
      for (uint32_t play : plays)
        if (handler != nullptr) handler(play);
      lock.lock();
    }
  }

  const FluidSynth* fluid_ = fluidSynth();  // nullptr: no FluidSynth on this system
  std::mutex lock_;                         // held while rendering and while the song changes
  fluid_settings_t* settings_ = nullptr;
  fluid_synth_t* synth_ = nullptr;
  std::atomic<SoundFontState> soundFontState_{SoundFontState::none};
  std::thread soundFontLoader_;
  fluid_audio_driver_t* driver_ = nullptr;
  fluid_player_t* player_ = nullptr;
  bool playing_ = false;
  uint32_t endTick_ = 0;
  int songsLoaded_ = 0;  // since the synthesizer was made
  uint32_t plays_ = 0;

  std::mutex noticeLock_;
  std::condition_variable noticeWake_;
  std::vector<uint32_t> ended_;
  bool quitting_ = false;
  EndHandler endHandler_ = nullptr;
  std::thread notifier_;
};

Synth& synth() {
  static Synth instance;
  return instance;
}

}  // namespace

void setEndHandler(EndHandler handler) { synth().setEndHandler(handler); }
Result loadSong(const uint8_t* data, size_t size, uint32_t endTick) {
  return synth().loadSong(data, size, endTick);
}
uint32_t playSong() { return synth().playSong(); }
void pauseSong() { synth().pauseSong(); }
void unloadSong() { synth().unloadSong(); }

}  // namespace midisynth
