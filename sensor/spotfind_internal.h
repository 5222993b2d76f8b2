// Internals of the spot finder that its tests reach through the static objects.
#pragma once

#include <stdint.h>

// Otsu's threshold of a histogram: the first level with the largest between-class score,
// 0 when no level splits the pixels (one level, or none). Pixels above it are bright.
int spot_otsu_threshold(const int bins[256]);
