#include "linear_image/lineimg_thresholds.h"

#include "toolkit/matrix.h"

namespace vexo {

namespace {

// A scan line is judged on its first 128 falls.
constexpr i32 kMaxRuns = 128;

}  // namespace

i32 LineImg_EstimateEdgeThresholds(const u8 *samples, i32 count, i32 minDrop, i32 ratio, i32 *minStep,
                                   i32 /*scratch*/) {
    return Prof_EstimateFallThresholdsUpTo(samples, count, minDrop, ratio, minStep, kMaxRuns);
}

}  // namespace vexo
