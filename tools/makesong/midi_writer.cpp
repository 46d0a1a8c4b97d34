#include "tools/makesong/midi_writer.h"

#include <algorithm>

namespace midi {
namespace {

constexpr uint8_t kNoteOff = 0x80;
constexpr uint8_t kNoteOn = 0x90;
constexpr uint8_t kControlChange = 0xB0;
constexpr uint8_t kProgramChange = 0xC0;
constexpr uint8_t kMeta = 0xFF;
constexpr uint8_t kMetaTrackName = 0x03;
constexpr uint8_t kMetaEndOfTrack = 0x2F;
constexpr uint8_t kMetaTempo = 0x51;
constexpr uint8_t kMetaTimeSignature = 0x58;

void putVariableLength(std::vector<uint8_t>& out, uint32_t value) {
  uint8_t groups[5];
  int count = 0;
  do {
    groups[count++] = value & 0x7F;
    value >>= 7;
  } while (value != 0);
  while (count > 1) out.push_back(groups[--count] | 0x80);
  out.push_back(groups[0]);
}

void putBigEndian(std::vector<uint8_t>& out, uint32_t value, int bytes) {
  for (int shift = (bytes - 1) * 8; shift >= 0; shift -= 8) out.push_back(uint8_t(value >> shift));
}

void putChunk(std::vector<uint8_t>& out, const char* id, const std::vector<uint8_t>& body) {
  out.insert(out.end(), id, id + 4);
  putBigEndian(out, static_cast<uint32_t>(body.size()), 4);
  out.insert(out.end(), body.begin(), body.end());
}

std::vector<uint8_t> metaEvent(uint8_t type, const std::vector<uint8_t>& data) {
  std::vector<uint8_t> bytes{kMeta, type};
  putVariableLength(bytes, static_cast<uint32_t>(data.size()));
  bytes.insert(bytes.end(), data.begin(), data.end());
  return bytes;
}

uint8_t statusOf(uint8_t kind, int channel) {
  return static_cast<uint8_t>(kind | (channel & 0x0F));
}

}  // namespace

void Track::add(uint32_t tick, int order, std::vector<uint8_t> bytes) {
  events_.push_back({tick, order, std::move(bytes)});
}

void Track::note(int channel, int key, int velocity, uint32_t start, uint32_t length) {
  add(start, 1, {statusOf(kNoteOn, channel), uint8_t(key), uint8_t(velocity)});
  add(start + length, 0, {statusOf(kNoteOff, channel), uint8_t(key), 0});
}

void Track::program(int channel, int program, uint32_t at) {
  add(at, 1, {statusOf(kProgramChange, channel), uint8_t(program)});
}

void Track::controller(int channel, int controller, int value, uint32_t at) {
  add(at, 1, {statusOf(kControlChange, channel), uint8_t(controller), uint8_t(value)});
}

void Track::tempo(uint32_t microsPerQuarter, uint32_t at) {
  std::vector<uint8_t> data;
  putBigEndian(data, microsPerQuarter, 3);
  add(at, 1, metaEvent(kMetaTempo, data));
}

void Track::name(const std::string& text) {
  add(0, 1, metaEvent(kMetaTrackName, std::vector<uint8_t>(text.begin(), text.end())));
}

void Track::timeSignature(int numerator, int denominatorPower, uint32_t at) {
  add(at, 1, metaEvent(kMetaTimeSignature, {uint8_t(numerator), uint8_t(denominatorPower), 24, 8}));
}

std::vector<uint8_t> Track::chunk() const {
  std::vector<Event> sorted = events_;
  std::stable_sort(sorted.begin(), sorted.end(), [](const Event& a, const Event& b) {
    return a.tick != b.tick ? a.tick < b.tick : a.order < b.order;
  });
  std::vector<uint8_t> body;
  uint32_t now = 0;
  for (const Event& event : sorted) {
    putVariableLength(body, event.tick - now);
    body.insert(body.end(), event.bytes.begin(), event.bytes.end());
    now = event.tick;
  }
  putVariableLength(body, std::max(end_, now) - now);
  std::vector<uint8_t> end = metaEvent(kMetaEndOfTrack, {});
  body.insert(body.end(), end.begin(), end.end());
  std::vector<uint8_t> out;
  putChunk(out, "MTrk", body);
  return out;
}

std::vector<uint8_t> standardMidiFile(uint16_t ticksPerQuarter, const std::vector<Track>& tracks) {
  std::vector<uint8_t> header;
  putBigEndian(header, tracks.size() == 1 ? 0 : 1, 2);
  putBigEndian(header, static_cast<uint32_t>(tracks.size()), 2);
  putBigEndian(header, ticksPerQuarter, 2);
  std::vector<uint8_t> out;
  putChunk(out, "MThd", header);
  for (const Track& track : tracks) {
    std::vector<uint8_t> chunk = track.chunk();
    out.insert(out.end(), chunk.begin(), chunk.end());
  }
  return out;
}

}  // namespace midi
