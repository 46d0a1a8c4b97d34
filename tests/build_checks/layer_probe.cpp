// A picture/ source that reaches up into gif/: the build must refuse it.
#include "gif/gif_parser.h"
