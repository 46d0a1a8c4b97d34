// Telling the user what gifpack found: --info, the warnings of a pack, and
// --frames, the pictures the player shows.
#pragma once

#include <filesystem>
#include <ostream>

#include "tools/gifpack/analysis.h"

void printInfo(const std::filesystem::path& gif, const AnimationCheck& check, std::ostream& out);
// One line per warning: "gifpack: GIF: warning: ...".
void printWarnings(const std::filesystem::path& gif, const AnimationCheck& check,
                   std::ostream& out);
// DIR/frame-000.png ...: the canvas after each step the player takes, from a
// canvas of colour index 0, played from the analysis's frames, or where the
// player shows every step as browsers do, painted from the browsers' view.
// Returns the number of pictures written.
int writeFrames(const std::filesystem::path& dir, const Analysis& analysis);
