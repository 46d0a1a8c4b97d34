// Writes Standard MIDI Files: the demo song's maker and the tests build their
// songs with it. Times are in ticks of the file's division.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace midi {

class Track {
 public:
  void note(int channel, int key, int velocity, uint32_t start, uint32_t length);
  void program(int channel, int program, uint32_t at = 0);
  void controller(int channel, int controller, int value, uint32_t at = 0);
  void tempo(uint32_t microsPerQuarter, uint32_t at = 0);
  void name(const std::string& text);
  void timeSignature(int numerator, int denominatorPower, uint32_t at = 0);
  // The end-of-track event; without one the track ends with its last event.
  void endAt(uint32_t tick) { end_ = tick; }

  // The "MTrk" chunk: events in time order, note-offs before other events
  // at the same tick, then the end of track.
  std::vector<uint8_t> chunk() const;

 private:
  struct Event {
    uint32_t tick;
    int order;  // 0: note-off, 1: everything else
    std::vector<uint8_t> bytes;
  };
  void add(uint32_t tick, int order, std::vector<uint8_t> bytes);

  std::vector<Event> events_;
  uint32_t end_ = 0;
};

// Format 1 (format 0 for a single track), metrical time.
std::vector<uint8_t> standardMidiFile(uint16_t ticksPerQuarter, const std::vector<Track>& tracks);

}  // namespace midi
