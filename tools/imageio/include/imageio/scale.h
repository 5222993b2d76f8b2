// Shrinking frames, as decode-image, the blackbox runner and the host camera library do.
#pragma once

#include "imageio/frame.h"

namespace imageio {

// The decoder reads frames of at most 1280 pixels per side and 1,228,800 pixels in all.
inline constexpr int kFrameMaxSide = 1280;
inline constexpr int64_t kFrameMaxPixels = 1228800;

bool FitsFrameLimit(int width, int height);

// The largest size of the same proportions (rounded down, at least 1x1) that fits the
// limit; a size that already fits is answered unchanged.
void SizeToFit(int width, int height, int *fitWidth, int *fitHeight);

// Area-averaging resize to a smaller or equal size: every output pixel is the mean of the
// source area it covers, fractional edge pixels weighted by their share.
Frame ScaleDown(const Frame &in, int width, int height);

// The frame itself when it fits; else scaled to SizeToFit. *scaled tells which.
Frame FitToFrameLimit(const Frame &in, bool *scaled = nullptr);

}  // namespace imageio
