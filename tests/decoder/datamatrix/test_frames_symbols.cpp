// Data Matrix read from camera-like frames through the exported decoder.
#include <gtest/gtest.h>

#include <cstdlib>

#include "dm_frames_util.h"

namespace {

TEST(DmFramesDbg, Explore) {
    const char *e = std::getenv("DMEXPLORE");
    if (e == nullptr) GTEST_SKIP();
    int step = std::atoi(e);
    int reads = 0, total = 0;
    for (int size = 1; size <= dmframes::kAllSizes; ++size) {
        for (int module = 3; module <= 8; module += 1) {
            for (int angle = 0; angle < 360; angle += step) {
                dmframes::Case c;
                c.size = size; c.module = module; c.angle = angle; c.seed = size * 1000 + module * 100 + angle;
                const dmframes::Outcome o = dmframes::Run(c);
                if (!o.fits) continue;
                ++total;
                reads += o.read;
                if (!o.read) printf("MISS %s%s\n", dmframes::Name(c).c_str(), o.wrong ? " WRONG" : "");
            }
        }
    }
    printf("read %d of %d\n", reads, total);
}

}  // namespace
