// Telling the user what gifpack found: --info, the warnings of a pack, and
// --frames, the pictures the player shows.
#pragma once

#include <filesystem>
#include <ostream>

#include "tools/gifpack/animation_check.h"

void printInfo(const std::filesystem::path& gif, const AnimationCheck& check, std::ostream& out);
// One line per warning: "gifpack: GIF: warning: ...".
void printWarnings(const std::filesystem::path& gif, const AnimationCheck& check,
                   std::ostream& out);
// DIR/frame-000.png ...: the canvas after each step the player takes, from a
// canvas of colour index 0. Needs the PlayerLoad of the check alive. Returns
// the number of pictures written.
int writeFrames(const std::filesystem::path& dir, const AnimationCheck& check);
