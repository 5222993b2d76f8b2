// The three spot detectors on any frame of 1 x 1 to 64 x 64 with any rectangle. Input: width
// and height bytes, four rectangle bytes (signed, scaled past the frame's edges), then the
// pixels (repeated to fill the frame). Every read stays inside the frame (ASan), and the
// results keep their ranges: -1 or a thickness with its line at x 0 and 479, a point
// inside the frame, an outline inside the frame or the empty one.
#include <stddef.h>
#include <stdint.h>

#include <vector>

#include "spotfind.h"

namespace {

void check(bool ok) {
    if (!ok) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 7) return 0;
    const int width = 1 + data[0] % 64, height = 1 + data[1] % 64;
    __ZPT_RECT__ rect = {static_cast<int8_t>(data[2]), static_cast<int8_t>(data[3]), static_cast<int8_t>(data[4]) * 2,
                         static_cast<int8_t>(data[5]) * 2};
    // The frame holds exactly its pixels, so that ASan sees any read past it.
    std::vector<uint8_t> frame(static_cast<size_t>(width * height));
    for (size_t i = 0; i < frame.size(); ++i) frame[i] = data[6 + i % (size - 6)];

    int line[4] = {};
    int thickness = Img_Light_Dots(frame.data(), width, height, &rect, line);
    check(thickness == -1 || (thickness >= 31 && thickness < height && line[0] == 0 && line[2] == 479));

    int point[2] = {-1, -1};
    if (Img_Detect_Cross(frame.data(), width, height, point) == 1)
        check(point[0] >= 2 && point[0] < width - 2 && point[1] >= 2 && point[1] < height - 2);
    else
        check(point[0] == -1 && point[1] == -1);

    int outline[8];
    double angles[2];
    int cross = Img_Cross_light(frame.data(), width, height, outline, angles);
    check(cross == 0 || cross == 1);
    bool empty = outline[0] == width && outline[5] == height;
    for (int i = 0; i < 4 && !empty; ++i)
        check(outline[2 * i] >= 1 && outline[2 * i] <= width - 2 && outline[2 * i + 1] >= 1 &&
              outline[2 * i + 1] <= height - 2);
    return 0;
}
