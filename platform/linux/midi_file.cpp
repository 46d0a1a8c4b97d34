// Standard MIDI File structure: an "MThd" chunk (format, track count,
// division), then chunks of which the "MTrk" ones hold events, each behind a
// variable-length delta time. Everything is big-endian.
#include "midi_file.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr char kHeaderId[] = "MThd";
constexpr char kTrackId[] = "MTrk";
constexpr size_t kChunkHeaderSize = 8;
constexpr uint32_t kMinHeaderLength = 6;
constexpr int kMaxTracks = 128;  // what the synthesizer's player takes
constexpr uint16_t kSmpteDivision = 0x8000;
constexpr uint8_t kMetaEvent = 0xFF;
constexpr uint8_t kSysexEvent = 0xF0;
constexpr uint8_t kSysexContinuation = 0xF7;
constexpr uint8_t kEndOfTrack = 0x2F;

class Reader {
 public:
  Reader(const uint8_t* begin, const uint8_t* end) : p_(begin), end_(end) {}
  bool atEnd() const { return p_ >= end_; }
  size_t left() const { return static_cast<size_t>(end_ - p_); }
  bool byte(uint8_t& out) {
    if (atEnd()) return false;
    out = *p_++;
    return true;
  }
  bool peek(uint8_t& out) const {
    if (atEnd()) return false;
    out = *p_;
    return true;
  }
  bool skip(size_t count) {
    if (count > left()) return false;
    p_ += count;
    return true;
  }
  bool bigEndian(size_t bytes, uint32_t& out) {
    if (bytes > left()) return false;
    out = 0;
    for (size_t i = 0; i < bytes; ++i) out = out << 8 | *p_++;
    return true;
  }
  // At most four bytes of seven bits each, the last one without bit 7.
  bool variableLength(uint32_t& out) {
    out = 0;
    for (int i = 0; i < 4; ++i) {
      uint8_t b = 0;
      if (!byte(b)) return false;
      out = out << 7 | (b & 0x7F);
      if ((b & 0x80) == 0) return true;
    }
    return false;
  }
  const uint8_t* position() const { return p_; }

 private:
  const uint8_t* p_;
  const uint8_t* end_;
};

int dataBytesOf(uint8_t status) {
  uint8_t kind = status & 0xF0;
  return kind == 0xC0 || kind == 0xD0 ? 1 : 2;
}

bool readMeta(Reader& in, bool& ended) {
  uint8_t type = 0;
  uint32_t length = 0;
  if (!in.byte(type) || !in.variableLength(length) || length > in.left()) return false;
  ended = type == kEndOfTrack;
  return in.skip(length);
}

bool readChannelMessage(Reader& in, uint8_t& runningStatus) {
  uint8_t first = 0;
  if (!in.peek(first)) return false;
  if (first & 0x80) {
    runningStatus = first;
    in.skip(1);
  }
  if (runningStatus < 0x80 || runningStatus >= 0xF0) return false;
  for (int i = dataBytesOf(runningStatus); i > 0; --i) {
    uint8_t data = 0;
    if (!in.byte(data) || (data & 0x80)) return false;
  }
  return true;
}

// One track's events up to its end-of-track event or the end of its chunk.
bool readTrack(Reader in, uint32_t& endTick) {
  uint32_t tick = 0;
  uint8_t runningStatus = 0;
  bool ended = false;
  while (!ended && !in.atEnd()) {
    uint32_t delta = 0;
    uint8_t status = 0;
    if (!in.variableLength(delta) || !in.peek(status)) return false;
    tick += delta;
    bool ok = true;
    if (status == kMetaEvent) {
      in.skip(1);
      ok = readMeta(in, ended);
    } else if (status == kSysexEvent || status == kSysexContinuation) {
      uint32_t length = 0;
      in.skip(1);
      ok = in.variableLength(length) && in.skip(length);
    } else {
      ok = readChannelMessage(in, runningStatus);
    }
    if (!ok) return false;
  }
  endTick = tick;
  return true;
}

bool chunkIs(const Reader& in, const char* id) {
  return in.left() >= 4 && std::memcmp(in.position(), id, 4) == 0;
}

}  // namespace

MidiFileInfo inspectMidiFile(const uint8_t* data, size_t size) {
  MidiFileInfo info;
  Reader in(data, data + size);
  uint32_t headerLength = 0, format = 0, trackCount = 0, division = 0;
  if (!chunkIs(in, kHeaderId) || !in.skip(4) || !in.bigEndian(4, headerLength) ||
      headerLength < kMinHeaderLength || headerLength > in.left())
    return info;
  Reader header(in.position(), in.position() + headerLength);
  header.bigEndian(2, format);
  header.bigEndian(2, trackCount);
  header.bigEndian(2, division);
  in.skip(headerLength);
  if (format > 1 || division == 0 || (division & kSmpteDivision) || trackCount == 0 ||
      trackCount > kMaxTracks)
    return info;

  while (info.tracks < static_cast<int>(trackCount) && in.left() >= kChunkHeaderSize) {
    bool isTrack = chunkIs(in, kTrackId);
    uint32_t length = 0;
    in.skip(4);
    in.bigEndian(4, length);
    if (length > in.left()) return info;
    Reader chunk(in.position(), in.position() + length);
    in.skip(length);
    if (!isTrack) continue;
    uint32_t endTick = 0;
    if (!readTrack(chunk, endTick)) return info;
    info.lengthTicks = std::max(info.lengthTicks, endTick);
    ++info.tracks;
  }
  info.playable = info.tracks == static_cast<int>(trackCount);
  return info;
}
