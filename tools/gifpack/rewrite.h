// Rewriting an animation so that the player, which draws every frame
// opaquely over the last with one global palette, shows each step as web
// browsers do: one global colour table, a first frame over the whole screen,
// then for each step an opaque rectangle around what changed, with the
// browsers' delay.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "tools/gifpack/animation_check.h"
#include "tools/gifpack/browser_view.h"

struct RewriteOptions {
  std::optional<Colour> background;  // for pixels left transparent; the GIF's own by default
  bool dither = false;               // error diffusion when the colours have to be reduced
};

struct RewriteChoice {
  // The browsers' view, when a rewrite needs it; none when giflib cannot read the GIF.
  std::optional<BrowserView> view;
  // What the player would show differently, in a few words each; empty when
  // it shows the animation as browsers do, or when rewriting cannot help.
  std::vector<std::string> reasons;
  bool shownAlike = false;  // the player shows the animation as browsers do
};

// Whether the player shows every step as browsers do. Needs the GIF loaded
// by a PlayerLoad that is still alive, and its check; the browsers' frames
// are decoded one at a time beside the player's.
bool playerAgrees(const Bytes& gif, const AnimationCheck& check, const RewriteOptions& options);

// Whether to rewrite, and why, with the player's frames gone: the browsers'
// view is decoded whole only when the player does not agree.
RewriteChoice chooseRewrite(const Bytes& gif, const AnimationCheck& check, bool agrees);

// The rewritten GIF: exact when all steps together use at most 256 colours,
// otherwise in one palette that libimagequant makes for them all. The same
// view and options give the same bytes on every system.
Bytes rewriteAnimation(const BrowserView& view, const RewriteOptions& options);
