// The test kit reads and writes image files through the host image library.
#pragma once

#include "imageio/image_io.h"
#include "support/frame.h"

namespace testkit {
using imageio::GreyOf;
using imageio::kMaxImagePixels;
using imageio::kMaxImageSide;
using imageio::LoadImage;
using imageio::LoadPgm;
using imageio::LoadPng;
using imageio::ParsePgm;
using imageio::WritePgm;
using imageio::WritePng;
using imageio::WritePngRgb;
}  // namespace testkit
