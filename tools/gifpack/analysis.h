// One analysis of a GIF, from which --info, --frames, the check, the
// rewrite and packing all take what they need: its blocks walked once, the
// player's loader run once, and, unless it is packed as it is, the browsers'
// view decoded once and compared step by step with the player's. What the
// player made of it is kept as values: nothing after the analysis reads or
// writes the player's process-wide records.
#pragma once

#include <optional>

#include "tools/gifpack/animation_check.h"
#include "tools/gifpack/browser_view.h"
#include "tools/gifpack/player_load.h"
#include "tools/gifpack/rewrite.h"

struct Analysis {
  AnimationCheck check;  // with the walk of the GIF's blocks
  // The frames the player plays, when it would show the animation. Those
  // that agreed with the browsers' steps are let go: the browsers' view
  // holds the same pictures.
  PlayerPictures player;
  BrowsersComparison browsers;  // empty when packed as it is
};

// walked: the GIF's blocks, walked once before anything is decoded.
// browsers: how to paint the browsers' view, none to leave it out.
Analysis analyseAnimation(const Bytes& gif, WalkedGif walked,
                          const std::optional<RewriteOptions>& browsers);
