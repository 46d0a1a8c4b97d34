// Standard MIDI File structure: an "MThd" chunk (format, track count,
// division), then chunks of which the "MTrk" ones hold events, each behind a
// variable-length delta time. Everything is big-endian.
#include "platform/linux/winmm/midi_file.h"

#include <algorithm>
#include <cstring>

#include "platform/linux/byte_reader.h"

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

// At most four bytes of seven bits each, the last one without bit 7.
uint32_t variableLength(ByteReader& in) {
  uint32_t value = 0;
  for (int i = 0; i < 4; ++i) {
    uint8_t b = in.u8();
    value = value << 7 | (b & 0x7F);
    if ((b & 0x80) == 0) return value;
  }
  in.ok = false;
  return 0;
}

int dataBytesOf(uint8_t status) {
  uint8_t kind = status & 0xF0;
  return kind == 0xC0 || kind == 0xD0 ? 1 : 2;
}

// A status byte, or in running status none, then the data bytes.
void readChannelMessage(ByteReader& in, uint8_t& runningStatus) {
  if (in.peek() & 0x80) runningStatus = in.u8();
  if (runningStatus < 0x80 || runningStatus >= 0xF0) in.ok = false;
  for (int i = dataBytesOf(runningStatus); i > 0; --i)
    if (in.u8() & 0x80) in.ok = false;
}

// One track's events up to its end-of-track event or the end of its chunk.
bool readTrack(ByteReader in, uint32_t& endTick) {
  uint32_t tick = 0;
  uint8_t runningStatus = 0;
  bool ended = false;
  while (!ended && in.left() > 0) {
    tick += variableLength(in);
    uint8_t status = in.peek();
    if (status == kMetaEvent) {
      in.skip(1);
      ended = in.u8() == kEndOfTrack;
      in.skip(variableLength(in));
    } else if (status == kSysexEvent || status == kSysexContinuation) {
      in.skip(1);
      in.skip(variableLength(in));
    } else {
      readChannelMessage(in, runningStatus);
    }
  }
  endTick = tick;
  return in.ok;
}

bool chunkIs(const ByteReader& in, const char* id) {
  return in.left() >= 4 && std::memcmp(in.data + in.at, id, 4) == 0;
}

}  // namespace

MidiFileInfo inspectMidiFile(const uint8_t* data, size_t size) {
  MidiFileInfo info;
  ByteReader in{data, size};
  if (!chunkIs(in, kHeaderId)) return info;
  in.skip(4);
  uint32_t headerLength = in.bigEndian(4);
  if (headerLength < kMinHeaderLength || headerLength > in.left()) return info;
  ByteReader header{data + in.at, headerLength};
  uint32_t format = header.bigEndian(2);
  uint32_t trackCount = header.bigEndian(2);
  uint32_t division = header.bigEndian(2);
  in.skip(headerLength);
  if (format > 1 || division == 0 || (division & kSmpteDivision) || trackCount == 0 ||
      trackCount > kMaxTracks)
    return info;

  while (info.tracks < static_cast<int>(trackCount) && in.left() >= kChunkHeaderSize) {
    bool isTrack = chunkIs(in, kTrackId);
    in.skip(4);
    uint32_t length = in.bigEndian(4);
    if (length > in.left()) return info;
    ByteReader chunk{data + in.at, length};
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
