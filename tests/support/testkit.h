// The test kit of the decoder's tests: symbols made with libzint, rendered into camera
// frames, decoded through the library's exported interface (linked into the test).
//
//   testkit::Symbol qr = testkit::Encode(BARCODE_QRCODE, "Hello");
//   testkit::Rendered img = testkit::Render(qr, {.moduleSize = 4, .angleDeg = 30, .blurSigma = 0.7});
//   EXPECT_TRUE(testkit::ReadAs(testkit::DecodeFrame(img.frame), "Hello", 0x102, "]Q1"));
#pragma once

#include <gtest/gtest.h>

#include <string_view>

#include "support/decoder_api.h"
#include "support/frame.h"
#include "support/image_io.h"
#include "support/render.h"
#include "support/scale.h"
#include "support/symbol.h"

namespace testkit {

// The exported functions of the linked decoder.
DecoderApi LinkedDecoder();

// Calls Init now. DecodeFrame calls it once per process by itself, as the runtime does; a
// test that has reset the decoder's statics since must call this (or pass init = true).
void InitDecoder();

struct DecodeOptions {
    bool init = false;       // Init before this frame, even when done already
    bool enableAll = true;   // every symbology on before the frame
};

// Runs one frame through the linked decoder (frames above the decoder's limit are sent as
// they are: the decoder is expected to refuse them).
DecodeResult DecodeFrame(const Frame &frame, const DecodeOptions &options = {});

// Success when the frame decoded to exactly these bytes, code id and identifier; the
// failure message shows what was read, escaped.
::testing::AssertionResult ReadAs(const DecodeResult &result, std::string_view text, uint32_t codeId,
                                  std::string_view aim);

}  // namespace testkit
