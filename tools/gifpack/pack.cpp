#include "tools/gifpack/pack.h"

#include <string>
#include <vector>

#include "payload/payload_locator.h"
#include "tools/gifpack/animation_check.h"
#include "tools/gifpack/files.h"
#include "tools/gifpack/player_load.h"
#include "tools/gifpack/records.h"
#include "tools/gifpack/report.h"
#include "tools/gifpack/tool_error.h"

namespace {

namespace fs = std::filesystem;

struct Inputs {
  InputFile player;
  InputFile animation;
  std::optional<InputFile> song;
};

// A record's length field has 32 bits; the player takes it as a signed
// value and counts its file offsets in signed 32 bits as well.
constexpr uint64_t kRecordLimit = uint64_t{1} << 32;
constexpr uint64_t kPlayerLimit = uint64_t{1} << 31;
constexpr uint64_t kLengthFieldSize = 4;

const char* const kPlayerPlaces[] = {"gifplay", "../../app/gifplay", "../libexec/gifplay/gifplay"};

void refuseOutputOverInputs(const fs::path& output, const std::vector<const InputFile*>& inputs) {
  for (const InputFile* input : inputs)
    if (sameFile(output, input->path))
      throw FileError(output, "is the same file as the input " + input->path.string());
}

void checkPayloadSize(const InputFile& input) {
  std::string size = std::to_string(input.size) + " bytes";
  if (input.size >= kRecordLimit)
    throw FileError(input.path, "too large (" + size + "): a record holds less than 4 GiB");
  if (input.size >= kPlayerLimit)
    throw FileError(input.path, "too large (" + size + "): the player reads less than 2 GiB");
}

void checkOutputSize(const fs::path& output, uint64_t total) {
  if (total >= kPlayerLimit)
    throw FileError(output, "would be " + std::to_string(total) +
                                " bytes: the player finds records only in its first 2 GiB");
}

bool beginsWith(const Bytes& start, const std::string& signature) {
  return start.size() >= signature.size() &&
         std::equal(signature.begin(), signature.end(), start.begin());
}

void checkAnimationSignature(const InputFile& animation) {
  Bytes start = readStart(animation, 6);
  if (!beginsWith(start, "GIF87a") && !beginsWith(start, "GIF89a"))
    throw FileError(animation.path, "not a GIF: it does not begin with \"GIF87a\" or \"GIF89a\"");
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
  Inputs inputs{openInput(request.player ? *request.player : defaultPlayer()),
                openInput(request.animation), std::nullopt};
  if (request.song) inputs.song = openInput(*request.song);
  return inputs;
}

void checkSizes(const Inputs& inputs, const fs::path& output) {
  checkPayloadSize(inputs.animation);
  uint64_t total =
      inputs.player.size + pictureMarker().size() + kLengthFieldSize + inputs.animation.size;
  if (inputs.song) {
    checkPayloadSize(*inputs.song);
    total += musicMarker().size() + kLengthFieldSize + inputs.song->size;
  }
  checkOutputSize(output, total);
}

// Everything that can be told without reading the inputs whole.
void checkInputs(const Inputs& inputs, const fs::path& output) {
  std::vector<const InputFile*> all{&inputs.player, &inputs.animation};
  if (inputs.song) all.push_back(&*inputs.song);
  refuseOutputOverInputs(output, all);
  checkSizes(inputs, output);
  checkAnimationSignature(inputs.animation);
  if (inputs.song) checkSongSignature(*inputs.song);
  refuseCarriedRecords(inputs.player);
}

// The player's loader decides: what it cannot show is refused, what it shows
// differently is said.
void checkWithPlayer(const InputFile& animation, const Bytes& gif, std::ostream& warnings) {
  PlayerLoad load(gif);
  AnimationCheck check = checkAnimation(gif, load.started());
  if (!check.refusal.empty()) throw FileError(animation.path, check.refusal);
  printWarnings(animation.path, check, warnings);
}

}  // namespace

fs::path defaultPlayer() {
  std::error_code error;
  fs::path here = fs::read_symlink("/proc/self/exe", error).parent_path();
  for (const char* place : kPlayerPlaces)
    if (fs::is_regular_file(here / place, error)) return (here / place).lexically_normal();
  throw FileError(here, "no gifplay here, in ../../app or ../libexec/gifplay: use --player");
}

std::vector<uint8_t> readAnimation(const fs::path& path) {
  InputFile animation = openInput(path);
  checkPayloadSize(animation);
  checkAnimationSignature(animation);
  return readWhole(animation);
}

void pack(const PackRequest& request, std::ostream& warnings) {
  Inputs inputs = openInputs(request);
  checkInputs(inputs, request.output);
  Bytes gif = readWhole(inputs.animation);
  checkWithPlayer(inputs.animation, gif, warnings);
  Bytes records;
  appendRecord(records, pictureMarker(), gif);
  if (inputs.song) appendRecord(records, musicMarker(), readWhole(*inputs.song));
  Bytes image = readWhole(inputs.player);
  replaceFile(request.output, {&image, &records}, inputs.player.mode);
}
