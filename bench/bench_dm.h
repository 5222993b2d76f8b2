// Shared by the Data Matrix frame benchmarks.
#pragma once

#include "support/decoder_api.h"

namespace benchdm {

// The exported interface with Data Matrix alone enabled, rectangles too.
const testkit::DecoderApi &DmOnlyDecoder();

}  // namespace benchdm
