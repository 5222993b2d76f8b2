// The test kit scales frames through the host image library.
#pragma once

#include "imageio/scale.h"
#include "support/frame.h"

namespace testkit {
using imageio::FitsFrameLimit;
using imageio::FitToFrameLimit;
using imageio::kFrameMaxPixels;
using imageio::kFrameMaxSide;
using imageio::ScaleDown;
using imageio::SizeToFit;
}  // namespace testkit
