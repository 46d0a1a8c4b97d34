#include "tools/gifpack/pack.h"

#include <algorithm>
#include <cctype>
#include <iterator>
#include <string>
#include <vector>

#include "payload/payload_locator.h"
#include "tools/gifpack/files.h"
#include "tools/gifpack/media.h"
#include "tools/gifpack/records.h"
#include "tools/gifpack/tool_error.h"
#include "tools/gifpack/words.h"

namespace {

namespace fs = std::filesystem;

struct Inputs {
  InputFile player;
  InputFile animation;
  MediaKind animationKind;  // told once, from its first bytes
  std::optional<InputFile> song;
};

// A record's length field has 32 bits; the player takes it as a signed
// value and counts its file offsets in signed 32 bits as well.
constexpr uint64_t kRecordLimit = uint64_t{1} << 32;
constexpr uint64_t kPlayerLimit = uint64_t{1} << 31;
constexpr uint64_t kLengthFieldSize = 4;

// The build names this system's player, and where the build tree keeps the
// Windows one (for a Linux build: the cross-build it was configured with).
constexpr const char* kPlayerName = GIFPACK_PLAYER_NAME;
constexpr const char* kWindowsPlayerName = "gifplay.exe";

// An ELF image, or an MZ header whose e_lfanew (at 0x3C) leads to "PE\0\0".
constexpr size_t kPeOffsetField = 0x3C;
constexpr uint32_t kPeOffsetLimit = 4096;
constexpr uint8_t kPeSignature[] = {'P', 'E', 0, 0};

void refuseOutputOverInputs(const fs::path& output, const std::vector<const InputFile*>& inputs) {
  for (const InputFile* input : inputs)
    if (sameFile(output, input->path))
      throw FileError(output, "is the same file as the input " + shownPath(input->path));
}

void checkPayloadSize(const InputFile& input) {
  std::string size = counted(input.size, "byte");
  if (input.size >= kRecordLimit)
    throw FileError(input.path, "too large (" + size + "): a record holds less than 4 GiB");
  if (input.size >= kPlayerLimit)
    throw FileError(input.path, "too large (" + size + "): the player reads less than 2 GiB");
}

void checkOutputSize(const fs::path& output, uint64_t total) {
  if (total >= kPlayerLimit)
    throw FileError(output, "would be " + counted(total, "byte") +
                                ": the player finds records only in its first 2 GiB");
}

bool beginsWith(const Bytes& start, const std::string& signature) {
  return start.size() >= signature.size() &&
         std::equal(signature.begin(), signature.end(), start.begin());
}

// The kind of animation, from the file's first bytes.
MediaKind kindOf(const InputFile& animation) {
  return mediaKindOf(readStart(animation, kKindBytes));
}

void checkAnimationSignature(const InputFile& animation, MediaKind kind) {
  if (kind == MediaKind::kUnknown)
    throw FileError(animation.path,
                    std::string("not a GIF: it does not begin with \"GIF87a\" or \"GIF89a\"") +
                        kOtherKindsRead);
}

void checkSongSignature(const InputFile& song) {
  if (!beginsWith(readStart(song, 4), "MThd"))
    throw FileError(song.path, "not a Standard MIDI File: it does not begin with \"MThd\"");
}

// The player's scanner stops at the first marker it meets, so a player that
// already carries a record would never reach the ones appended behind it.
void refuseCarriedRecords(const InputFile& player) {
  const std::pair<const char*, const char*> kinds[] = {{kPictureTag, "picture"},
                                                       {kMusicTag, "music"}};
  for (auto [tag, kind] : kinds)
    if (auto record = findRecord(player.path, player.size, tag))
      throw FileError(player.path, std::string("already carries a ") + kind + " record (at " +
                                       std::to_string(record->markerOffset) +
                                       "): give a player without records");
}

Inputs openInputs(const PackRequest& request) {
  Inputs inputs{openInput(request.player ? *request.player : defaultPlayer(request.windows)),
                openInput(request.animation), MediaKind::kUnknown, std::nullopt};
  inputs.animationKind = kindOf(inputs.animation);
  if (request.song) inputs.song = openInput(*request.song);
  return inputs;
}

// Of an animation that is not a GIF, only the GIF made of it is packed: its
// own size is no payload's.
void checkSizes(const Inputs& inputs, const fs::path& output) {
  uint64_t total = inputs.player.size + pictureMarker().size() + kLengthFieldSize;
  if (inputs.animationKind == MediaKind::kGif) {
    checkPayloadSize(inputs.animation);
    total += inputs.animation.size;
  }
  if (inputs.song) {
    checkPayloadSize(*inputs.song);
    total += musicMarker().size() + kLengthFieldSize + inputs.song->size;
  }
  checkOutputSize(output, total);
}

uint32_t littleEndian32(const Bytes& bytes, size_t at) {
  return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 |
         static_cast<uint32_t>(bytes[at + 3]) << 24;
}

bool isWindowsProgram(const InputFile& player) {
  Bytes start = readStart(player, kPeOffsetField + 4);
  if (!beginsWith(start, "MZ") || start.size() < kPeOffsetField + 4) return false;
  uint32_t peOffset = littleEndian32(start, kPeOffsetField);
  if (peOffset > kPeOffsetLimit) return false;
  Bytes header = readStart(player, peOffset + 4);
  return header.size() == peOffset + 4 &&
         std::equal(std::begin(kPeSignature), std::end(kPeSignature), header.begin() + peOffset);
}

// A player is a program of Linux or of Windows; anything else is refused.
// Windows runs a program only by a name ending in .exe.
// Whether it is a Windows program.
bool checkPlayerKind(const InputFile& player, const fs::path& output, std::ostream& warnings) {
  if (beginsWith(readStart(player, 4),
                 "\x7F"
                 "ELF"))
    return false;
  if (!isWindowsProgram(player))
    throw FileError(player.path, "not a player: neither a Linux (ELF) nor a Windows (PE) program");
  if (!endsInExe(output))
    warnings << "gifpack: " << shownPath(output)
             << ": warning: a Windows program, but its name does not end in .exe: Windows "
                "will not run it so\n";
  return true;
}

// Everything that can be told without reading the inputs whole; true for a
// Windows player.
bool checkInputs(const Inputs& inputs, const fs::path& output, std::ostream& warnings) {
  std::vector<const InputFile*> all{&inputs.player, &inputs.animation};
  if (inputs.song) all.push_back(&*inputs.song);
  refuseOutputOverInputs(output, all);
  checkSizes(inputs, output);
  checkAnimationSignature(inputs.animation, inputs.animationKind);
  if (inputs.song) checkSongSignature(*inputs.song);
  refuseCarriedRecords(inputs.player);
  return checkPlayerKind(inputs.player, output, warnings);
}

// The records in one order. The player's scanner takes the first complete
// marker of a tag anywhere in the file and skips one directly behind a "*",
// so what a payload holds can hide a record behind it or stand in for one.
struct Layout {
  Bytes records;
  uint64_t pictureAt;               // marker offsets within records
  std::optional<uint64_t> musicAt;  // the song's record; none without a song
};

// The picture first and the song directly behind it; else the song first.
// Without a song, the second layout puts an empty music record in front, so
// that a marker inside the GIF cannot give the player a song of its own: a
// record of length 0 is no music.
std::vector<Layout> layoutsFor(const Bytes& gif, const std::optional<Bytes>& song) {
  Layout pictureFirst{{}, 0, std::nullopt};
  appendRecord(pictureFirst.records, pictureMarker(), gif);
  Layout songFirst{{}, 0, std::nullopt};
  appendRecord(songFirst.records, musicMarker(), song ? *song : Bytes{});
  songFirst.pictureAt = songFirst.records.size();
  appendRecord(songFirst.records, pictureMarker(), gif);
  if (song) {
    pictureFirst.musicAt = pictureFirst.records.size();
    appendRecord(pictureFirst.records, musicMarker(), *song);
    songFirst.musicAt = 0;
  }
  return {pictureFirst, songFirst};
}

bool foundAt(const std::optional<FoundRecord>& record, uint64_t offset, size_t length) {
  return record && record->markerOffset == offset && record->length == length;
}

// Asks the player's own scanner, on the written file that is to become the
// output.
bool playerFindsThem(const fs::path& written, uint64_t imageSize, const Layout& layout,
                     const Bytes& gif, const std::optional<Bytes>& song) {
  uint64_t size = imageSize + layout.records.size();
  auto picture = findRecord(written, size, kPictureTag);
  auto music = findRecord(written, size, kMusicTag);
  if (!foundAt(picture, imageSize + layout.pictureAt, gif.size())) return false;
  if (song) return foundAt(music, imageSize + *layout.musicAt, song->size());
  return !music || music->length == 0;
}

bool holds(const Bytes& payload, const std::string& text) {
  return std::search(payload.begin(), payload.end(), text.begin(), text.end()) != payload.end();
}

// No order works: say which payload holds what the player would take for a
// marker.
FileError unpackable(const Inputs& inputs, const Bytes& gif, const std::optional<Bytes>& song) {
  std::string why = "the player would not find the records as packed in any order: ";
  for (const std::string& marker : {musicMarker(), pictureMarker()}) {
    if (holds(gif, marker))
      return FileError(inputs.animation.path,
                       why + "the animation holds the text \"" + marker + "\"; remove it");
    if (song && holds(*song, marker))
      return FileError(inputs.song->path,
                       why + "the song holds the text \"" + marker + "\"; remove it");
  }
  return FileError(inputs.animation.path,
                   why + "a \"*\" at the end of a payload hides the record behind it");
}

// A GIF whole; of another kind only the first bytes, which tell it: its
// decoder reads the file itself, a piece at a time.
Bytes readAnimationInput(const InputFile& animation, MediaKind kind) {
  if (kind == MediaKind::kGif) return readWhole(animation);
  return readStart(animation, kKindBytes);
}

}  // namespace

bool endsInExe(const fs::path& path) {
  std::string extension = shownPath(path.extension());
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return std::tolower(c); });
  return extension == ".exe";
}

fs::path defaultPlayer(bool windows) {
  std::string name = windows ? kWindowsPlayerName : kPlayerName;
  std::vector<fs::path> places{name, "../libexec/gifplay/" + name, "../../app/" + name};
  if (windows) places[2] = GIFPACK_WINDOWS_BUILD_PLAYER;
  std::error_code error;
  fs::path here = programDirectory();
  std::string tried;
  for (const fs::path& place : places) {
    if (fs::is_regular_file(here / place, error)) return (here / place).lexically_normal();
    tried += (tried.empty() ? "" : ", ") + shownPath((here / place).lexically_normal());
  }
  throw FileError(name, "not found at " + tried + ": use --player");
}

std::vector<uint8_t> readAnimation(const fs::path& path) {
  InputFile animation = openInput(path);
  MediaKind kind = kindOf(animation);
  if (kind == MediaKind::kGif) checkPayloadSize(animation);
  checkAnimationSignature(animation, kind);
  return readAnimationInput(animation, kind);
}

PackedSizes pack(const PackRequest& request, std::ostream& warnings) {
  checkWritable(request.output);
  Inputs inputs = openInputs(request);
  Preparation preparation = request.preparation;
  if (checkInputs(inputs, request.output, warnings)) preparation.memory = kWindowsPlayerLimit;
  Bytes gif = prepareAnimation(inputs.animation.path,
                               readAnimationInput(inputs.animation, inputs.animationKind),
                               preparation, warnings);
  uint64_t songSize = inputs.song ? inputs.song->size : 0;
  checkOutputSize(request.output, inputs.player.size + gif.size() + songSize);
  std::optional<Bytes> song;
  if (inputs.song) song = readWhole(*inputs.song);
  Bytes image = readWhole(inputs.player);
  for (const Layout& layout : layoutsFor(gif, song)) {
    auto found = [&](const fs::path& written) {
      return playerFindsThem(written, image.size(), layout, gif, song);
    };
    if (replaceFile(request.output, {&image, &layout.records}, inputs.player.mode, found,
                    request.replace))
      return {image.size() + layout.records.size(), gif.size(), songSize};
  }
  throw unpackable(inputs, gif, song);
}
