#include "tools/gifpack/prepare.h"

#include <algorithm>
#include <cctype>

#include "picture/indexed_bitmap.h"
#include "tools/gifpack/analysis.h"
#include "tools/gifpack/gif_walk.h"
#include "tools/gifpack/media.h"
#include "tools/gifpack/report.h"
#include "tools/gifpack/tool_error.h"
#include "tools/gifpack/words.h"

namespace {

constexpr const char* kRewritten = "rewritten so that the player shows it as browsers do: ";
constexpr const char* kShownDifferently = "the player would not show it as browsers do: ";

// What the player asks for before it decodes a pixel: the canvas and every
// image at the size its descriptor gives, read from the GIF's blocks alone,
// so that a GIF beyond the limit is refused before anything is decoded.
void checkMemory(const std::filesystem::path& path, const WalkedGif& walked,
                 const MemoryLimit& limit, const std::string& prefix = "") {
  int64_t bytes = bitmapStorageBytes(walked.screenWidth, walked.screenHeight);
  if (bytes > limit.block)
    throw FileError(path, prefix + screenRefusal(walked.screenWidth, walked.screenHeight));
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
                                sizeText(frame.width, frame.height) + " would need " +
                                memoryText(frameBytes) + ", more than " + limit.blockWords);
  }
}

// The one analysis of a GIF, once its blocks are within the memory limit;
// the browsers' view is left out when the GIF is packed as it is.
Analysis analyse(const std::filesystem::path& path, const Bytes& gif, const MemoryLimit& limit,
                 std::optional<RewriteOptions> browsers, const std::string& prefix = "") {
  WalkedGif walked = walkGif(gif);
  checkMemory(path, walked, limit, prefix);
  return analyseAnimation(gif, std::move(walked), browsers);
}

Analysis analyse(const std::filesystem::path& path, const Bytes& gif,
                 const Preparation& preparation) {
  std::optional<RewriteOptions> browsers;
  if (preparation.rewriting != Rewriting::kAsIs) browsers = preparation.options;
  return analyse(path, gif, preparation.memory, browsers);
}

struct Verdict {
  RewriteChoice choice;
  std::string refusal;
};

Verdict judge(const std::filesystem::path& path, const Analysis& analysis,
              const Preparation& preparation, std::ostream* warnings) {
  Verdict verdict;
  if (preparation.rewriting != Rewriting::kAsIs)
    verdict.choice =
        chooseRewrite(analysis.browsers.view, analysis.check, analysis.browsers.agrees);
  if (verdict.choice.reasons.empty()) {
    verdict.refusal = analysis.check.refusal;
    if (warnings != nullptr && verdict.refusal.empty())
      printWarnings(path, analysis.check, *warnings);
  }
  return verdict;
}

// The GIF to use, and with forFrames its analysis; a rewritten GIF, or one
// made of another kind, is analysed only for its frames (--frames). The GIF
// writer gives it a global colour table, a first frame over the whole screen
// and every frame within it: beyond the memory its blocks ask for, the
// player refuses none.
struct Prepared {
  Bytes gif;
  std::optional<Analysis> analysis;
};

Prepared prepare(const std::filesystem::path& path, const Bytes& gif,
                 const Preparation& preparation, std::ostream& messages, bool forFrames) {
  Prepared prepared;
  std::string said, prefix;
  if (MediaKind kind = mediaKindOf(gif); kind != MediaKind::kGif) {
    MediaGif made = prepareMedia(path, kind, preparation);
    prepared.gif = std::move(made.gif);
    said = made.source + ", made into a GIF: " + made.made;
  } else {
    prepared.analysis = analyse(path, gif, preparation);
    Verdict verdict = judge(path, *prepared.analysis, preparation, &messages);
    if (!verdict.refusal.empty()) throw FileError(path, verdict.refusal);
    const std::vector<std::string>& reasons = verdict.choice.reasons;
    if (reasons.empty()) {
      prepared.gif = gif;
      return prepared;
    }
    if (preparation.rewriting == Rewriting::kStrict)
      throw FileError(path, kShownDifferently + reasonList(reasons));
    try {
      prepared.gif = rewriteAnimation(*prepared.analysis->browsers.view, preparation.options);
    } catch (const std::runtime_error& error) {
      throw FileError(path, error.what());
    }
    prepared.analysis.reset();  // the browsers' view makes way for the rewrite's
    said = kRewritten + reasonList(reasons);
    prefix = "rewritten, ";
  }
  if (forFrames) {
    prepared.analysis = analyse(path, prepared.gif, preparation.memory, std::nullopt, prefix);
    if (!prepared.analysis->check.refusal.empty())
      throw FileError(path, prefix + prepared.analysis->check.refusal);
  } else {
    checkMemory(path, walkGif(prepared.gif), preparation.memory, prefix);
  }
  messages << "gifpack: " << shownPath(path) << ": " << said << "\n";
  return prepared;
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
  return prepare(path, gif, preparation, messages, false).gif;
}

int writePreparedFrames(const std::filesystem::path& dir, const std::filesystem::path& path,
                        const Bytes& gif, const Preparation& preparation, std::ostream& messages) {
  return writeFrames(dir, *prepare(path, gif, preparation, messages, true).analysis);
}

void printPreparedInfo(const std::filesystem::path& path, const Bytes& gif,
                       const Preparation& preparation, std::ostream& out) {
  if (MediaKind kind = mediaKindOf(gif); kind != MediaKind::kGif)
    return printMediaInfo(path, kind, preparation, out);
  Analysis analysis = analyse(path, gif, preparation);
  printInfo(path, analysis.check, out);
  std::string refusal = analysis.check.refusal;
  if (preparation.rewriting != Rewriting::kAsIs) {
    Verdict verdict = judge(path, analysis, preparation, nullptr);
    const std::vector<std::string>& reasons = verdict.choice.reasons;
    const std::optional<BrowserView>& view = analysis.browsers.view;
    refusal = verdict.refusal;
    if (!reasons.empty() && preparation.rewriting == Rewriting::kStrict)
      out << "--strict refuses it: " << kShownDifferently << reasonList(reasons) << "\n";
    else if (!reasons.empty())
      out << "packed " << kRewritten << reasonList(reasons) << "\n";
    else if (refusal.empty() && view && view->frames.empty())
      out << "packed as it is: browsers decode none of its frames\n";
    else if (refusal.empty() && verdict.choice.shownAlike)
      out << "packed as it is: the player shows it as browsers do\n";
  }
  if (!refusal.empty()) throw FileError(path, refusal);
}
