// Rewriting an animation so that the player, which draws every frame
// opaquely over the last with one global palette, shows each step as web
// browsers do: one global colour table, a first frame over the whole screen,
// then for each step an opaque rectangle around what changed, with the
// browsers' delay.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tools/gifpack/animation_check.h"
#include "tools/gifpack/browser_view.h"
#include "tools/gifpack/player_load.h"

struct RewriteOptions {
  std::optional<Colour> background;  // for pixels left transparent; the GIF's own by default
  bool dither = false;               // error diffusion when the colours have to be reduced
};

struct RewriteChoice {
  // What the player would show differently, in a few words each; empty when
  // it shows the animation as browsers do, or when rewriting cannot help.
  std::vector<std::string> reasons;
  bool shownAlike = false;  // the player shows the animation as browsers do
};

// The browsers' view of an animation and whether the player shows every step
// as browsers do.
struct BrowsersComparison {
  std::optional<BrowserView> view;  // none when giflib cannot read the GIF
  bool agrees = false;
  Colour background = 0;  // what the view's steps were painted with, when compared
};

// Decodes the browsers' view once, comparing each step as it comes with the
// player's, played from its frames. A player's frame is let go once its
// step agrees (the view holds the same picture), and all of them once a
// step does not (the animation is then rewritten from the view, refused, or
// has an empty screen), so that the frames are not held twice.
BrowsersComparison compareWithBrowsers(const Bytes& gif, const AnimationCheck& check,
                                       PlayerPictures& player, const RewriteOptions& options);

// Whether to rewrite, and why, from the browsers' view and the comparison.
RewriteChoice chooseRewrite(const std::optional<BrowserView>& view, const AnimationCheck& check,
                            bool agrees);

// The rewritten GIF: exact when all steps together use at most 256 colours,
// otherwise in one palette that libimagequant makes for them all. The same
// view and options give the same bytes on every system.
Bytes rewriteAnimation(const BrowserView& view, const RewriteOptions& options);

// Opaque pictures of one size, one after another: the browsers' steps of a
// GIF, or the frames of an animation of another kind.
class PictureSteps {
 public:
  virtual ~PictureSteps() = default;
  // The picture after the next step, rows from the top; false after the last.
  virtual bool next() = 0;
  virtual const std::vector<Colour>& picture() const = 0;
  virtual int step() const = 0;
  // Where the picture may differ from the one before: the whole screen at
  // the first step.
  virtual const ScreenArea& changed() const = 0;
};

// An animation as the GIF writer takes it: its pictures, which it goes
// through a few times (start makes a new pass), and each step's delay.
struct StepSequence {
  int width = 0, height = 0;
  std::vector<int> delays;  // hundredths of a second, one for each step
  int loopCount = -1;       // -1 without a looping extension
  size_t sourceBytes = 0;   // the GIF may grow to twice this before steps are split
  // The palette's sample takes every so many changed pixels as they come;
  // 0: it keeps them all and thins them out at the end.
  size_t sampleStride = 0;
  std::function<std::unique_ptr<PictureSteps>()> start;
};

// The GIF of the steps: one global colour table, exact up to 256 colours,
// else libimagequant's; a first frame over the whole screen, then each step
// as opaque rectangles around what changed.
Bytes writeSteps(const StepSequence& steps, bool dither);
