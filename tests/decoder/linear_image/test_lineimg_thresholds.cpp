// Edge thresholds of a scan line from its falls.
#include <vector>

#include "decoder_test.h"
#include "linear_image/lineimg_thresholds.h"

namespace {

using vexo_test::DecoderTest;

struct ThresholdCase {
    const char *what;
    std::vector<uint8_t> samples;
    int minDrop, ratio;
    int result, minStep;
};

// `falls` two-sample falls from 200 to 100, then `more` from 200 to 20.
std::vector<uint8_t> Falls(int falls, int more) {
    std::vector<uint8_t> s;
    for (int k = 0; k < falls; ++k) s.insert(s.end(), {200, 100});
    for (int k = 0; k < more; ++k) s.insert(s.end(), {200, 20});
    return s;
}

TEST_F(DecoderTest, LineImgEstimateEdgeThresholdsTable) {
    const ThresholdCase cases[] = {
        // One fall of 100 from 200: relative drop 512.
        {"one fall", {200, 100, 100}, 6, 102, 256, 50},
        {"a rising profile", {10, 20, 30, 40, 50}, 6, 102, 102, 6},
        {"no samples", {}, 6, 102, 102, 6},
        {"one sample", {200}, 6, 102, 102, 6},
        // The fall runs on while each sample is lower: 200 -> 50, drop 150, relative 768.
        {"a fall over several samples", {200, 150, 90, 50, 60}, 6, 102, 384, 75},
        {"a drop of minDrop does not count", {200, 194, 194}, 6, 0, 102, 6},
        {"a drop above minDrop does", {200, 193, 193}, 6, 0, 102, 7},
        // Drop 20 from 200 is 102.4 / 1024: counts at ratio 102, not at 103.
        {"ratio reached", {200, 180}, 6, 102, 102, 10},
        {"ratio missed", {200, 180}, 6, 103, 102, 6},
        // Falls of 40 (relative 204) and 200 (1024): means 614 and 120.
        {"two falls", {200, 160, 200, 0}, 6, 102, 307, 60},
        // The scan steps two samples where nothing falls: the fall from index 1 is not seen.
        {"falls start on even samples", {50, 200, 100, 100}, 6, 102, 102, 6},
        {"the first 128 falls count", Falls(128, 50), 6, 102, 256, 50},
        {"fewer than 128 falls all count", Falls(100, 28), 6, 102, (100 * 512 + 28 * 921) / 128 / 2,
         (100 * 100 + 28 * 180) / 128 / 2},
    };
    for (const ThresholdCase &c : cases) {
        int minStep = -1;
        const int r =
            vexo::LineImg_EstimateEdgeThresholds(c.samples.empty() ? nullptr : c.samples.data(),
                                                 static_cast<int>(c.samples.size()), c.minDrop, c.ratio, &minStep, 0);
        EXPECT_EQ(r, c.result) << c.what;
        EXPECT_EQ(minStep, c.minStep) << c.what;
    }
    const std::vector<uint8_t> s = {200, 100};
    EXPECT_EQ(vexo::LineImg_EstimateEdgeThresholds(s.data(), 2, 6, 102, nullptr, 0), 256);
}

}  // namespace
