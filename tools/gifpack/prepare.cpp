#include "tools/gifpack/prepare.h"

#include <algorithm>
#include <cctype>

#include "picture/indexed_bitmap.h"
#include "tools/gifpack/gif_walk.h"
#include "tools/gifpack/media.h"
#include "tools/gifpack/player_load.h"
#include "tools/gifpack/report.h"
#include "tools/gifpack/tool_error.h"

namespace {

constexpr const char* kRewritten = "rewritten so that the player shows it as browsers do: ";
constexpr const char* kShownDifferently = "the player would not show it as browsers do: ";

// What the player asks for before it decodes a pixel: the canvas and every
// image at the size its descriptor gives, read from the GIF's blocks alone,
// so that a GIF beyond the limit is refused before anything is decoded.
void checkMemory(const std::filesystem::path& path, const Bytes& gif, const MemoryLimit& limit,
                 const std::string& prefix = "") {
  WalkedGif walked = walkGif(gif);
  int64_t bytes = bitmapStorageBytes(walked.screenWidth, walked.screenHeight);
  if (bytes > limit.block)
    throw FileError(path, prefix + "the player would not start: its screen of " +
                              std::to_string(walked.screenWidth) + " x " +
                              std::to_string(walked.screenHeight) + " is too large to allocate");
  for (const WalkedFrame& frame : walked.frames)
    bytes += bitmapStorageBytes(frame.width, frame.height);
  if (bytes > limit.bytes)
    throw FileError(path, prefix + "the player would need " + memoryText(bytes) +
                              " for its canvas and frames, more than " + limit.words);
  for (size_t i = 0; i < walked.frames.size(); ++i) {
    const WalkedFrame& frame = walked.frames[i];
    if (int64_t frameBytes = bitmapStorageBytes(frame.width, frame.height);
        frameBytes > limit.block)
      throw FileError(path, prefix + "frame " + std::to_string(i) + " of " +
                                std::to_string(frame.width) + " x " + std::to_string(frame.height) +
                                " would need " + memoryText(frameBytes) + ", more than " +
                                limit.blockWords);
  }
}

struct Verdict {
  RewriteChoice choice;
  std::string refusal;
};

// The player's frames make way before the browsers' view is decoded whole.
Verdict judge(const std::filesystem::path& path, const Bytes& gif, const Preparation& preparation,
              std::ostream* warnings) {
  bool rewriting = preparation.rewriting != Rewriting::kAsIs, agrees = false;
  AnimationCheck check;
  {
    PlayerLoad load(gif);
    check = checkAnimation(gif, load.started());
    if (rewriting) agrees = playerAgrees(gif, check, preparation.options);
  }
  Verdict verdict;
  if (rewriting) verdict.choice = chooseRewrite(gif, check, agrees);
  if (verdict.choice.reasons.empty()) {
    verdict.refusal = check.refusal;
    if (warnings != nullptr && verdict.refusal.empty()) printWarnings(path, check, *warnings);
  }
  return verdict;
}

}  // namespace

std::optional<Colour> parseColour(const std::string& text) {
  if (text.size() != 7 || text[0] != '#') return std::nullopt;
  if (!std::all_of(text.begin() + 1, text.end(), [](char c) { return std::isxdigit(c); }))
    return std::nullopt;
  uint32_t rgb = static_cast<uint32_t>(std::stoul(text.substr(1), nullptr, 16));
  return static_cast<Colour>((rgb >> 16) | (rgb & 0xFF00) | (rgb & 0xFF) << 16);
}

std::string reasonList(const std::vector<std::string>& reasons) {
  std::string list;
  for (const std::string& reason : reasons) list += (list.empty() ? "" : ", ") + reason;
  return list;
}

Bytes prepareAnimation(const std::filesystem::path& path, const Bytes& gif,
                       const Preparation& preparation, std::ostream& messages) {
  if (mediaKindOf(gif) != MediaKind::kGif) return prepareMedia(path, gif, preparation, messages);
  checkMemory(path, gif, preparation.memory);
  Verdict verdict = judge(path, gif, preparation, &messages);
  if (!verdict.refusal.empty()) throw FileError(path, verdict.refusal);
  const std::vector<std::string>& reasons = verdict.choice.reasons;
  if (reasons.empty()) return gif;
  if (preparation.rewriting == Rewriting::kStrict)
    throw FileError(path, kShownDifferently + reasonList(reasons));
  std::string why = reasonList(reasons);
  Bytes rewritten;
  try {
    rewritten = rewriteAnimation(*verdict.choice.view, preparation.options);
  } catch (const std::runtime_error& error) {
    throw FileError(path, error.what());
  }
  verdict = Verdict{};  // the browsers' view makes way for the player's
  checkMemory(path, rewritten, preparation.memory, "rewritten, ");
  PlayerLoad load(rewritten);
  AnimationCheck check = checkAnimation(rewritten, load.started());
  if (!check.refusal.empty()) throw FileError(path, "rewritten, " + check.refusal);
  messages << "gifpack: " << shownPath(path) << ": " << kRewritten << why << "\n";
  return rewritten;
}

void printPreparedInfo(const std::filesystem::path& path, const Bytes& gif,
                       const Preparation& preparation, std::ostream& out) {
  if (mediaKindOf(gif) != MediaKind::kGif) return printMediaInfo(path, gif, preparation, out);
  checkMemory(path, gif, preparation.memory);
  std::string refusal;
  {
    PlayerLoad load(gif);
    AnimationCheck check = checkAnimation(gif, load.started());
    printInfo(path, check, out);
    refusal = check.refusal;
  }
  if (preparation.rewriting != Rewriting::kAsIs) {
    Verdict verdict = judge(path, gif, preparation, nullptr);
    const std::vector<std::string>& reasons = verdict.choice.reasons;
    refusal = verdict.refusal;
    if (!reasons.empty() && preparation.rewriting == Rewriting::kStrict)
      out << "--strict refuses it: " << kShownDifferently << reasonList(reasons) << "\n";
    else if (!reasons.empty())
      out << "packed " << kRewritten << reasonList(reasons) << "\n";
    else if (refusal.empty() && verdict.choice.view && verdict.choice.view->frames.empty())
      out << "packed as it is: browsers decode none of its frames\n";
    else if (refusal.empty() && verdict.choice.shownAlike)
      out << "packed as it is: the player shows it as browsers do\n";
  }
  if (!refusal.empty()) throw FileError(path, refusal);
}
