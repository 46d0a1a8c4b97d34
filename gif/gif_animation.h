// Loading the picture payload into the animation records.
#pragma once

#include "picture/animation.h"

// Loads the picture payload of the file at path; 1 on success, 0 on failure.
int loadAnimation(const char* path, const char* tag);
