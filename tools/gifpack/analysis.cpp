#include "tools/gifpack/analysis.h"

#include <utility>

Analysis analyseAnimation(const Bytes& gif, WalkedGif walked,
                          const std::optional<RewriteOptions>& browsers) {
  Analysis analysis;
  {
    PlayerLoad load(gif);
    analysis.check = checkAnimation(gif, std::move(walked), load.started());
    // A refused animation is never played: its frames make way at once.
    bool shown = analysis.check.refusal.empty();
    analysis.player = load.takePictures(shown ? analysis.check.shownFrames : 0);
  }
  if (browsers)
    analysis.browsers = compareWithBrowsers(gif, analysis.check, analysis.player, *browsers);
  return analysis;
}
