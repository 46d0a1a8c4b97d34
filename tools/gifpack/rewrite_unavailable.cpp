// The Windows gifpack is built without giflib and ImageMagick: it packs
// animations as they are, with warnings, and rewrites none.
#include <stdexcept>

#include "tools/gifpack/rewrite.h"

bool playerAgrees(const Bytes&, const AnimationCheck&, const RewriteOptions&) { return false; }

RewriteChoice chooseRewrite(const Bytes&, const AnimationCheck&, bool) { return {}; }

Bytes rewriteAnimation(const BrowserView&, const RewriteOptions&) {
  throw std::logic_error("this gifpack rewrites no animations");
}
