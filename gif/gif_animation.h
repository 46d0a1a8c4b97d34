// Loading the picture payload into the animation records.
#pragma once

#include "payload/payload_locator.h"
#include "picture/animation.h"

// Parses the buffer from its position into the animation and makes the
// application palette and the canvas; 1 on success, 0 on failure.
int loadAnimation(PayloadBuffer& buffer);
// Loads the picture payload of the file at path; 1 on success, 0 on failure.
int loadAnimation(const char* path, const char* tag);
