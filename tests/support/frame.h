// The test kit's frames are the host image library's.
#pragma once

#include "imageio/frame.h"

namespace testkit {
using imageio::Frame;
}  // namespace testkit
