// Shared by the Data Matrix frame benchmarks.
#pragma once

#include <benchmark/benchmark.h>

#include "support/decoder_api.h"

namespace benchdm {

// The exported interface with Data Matrix alone enabled, rectangles too.
const testkit::DecoderApi &DmOnlyDecoder();

// Decodes the frame through it once per iteration; the share read goes into the "read"
// counter.
void DecodeFrames(benchmark::State &state, const testkit::Frame &f, const char *label);

}  // namespace benchdm
