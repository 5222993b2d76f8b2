// Region selection and the region table on arbitrary frames and quads. Input: a mode byte,
// width and height (16-bit each), then pixels (mode 0, repeated to fill the frame) or
// 16-bit box coordinates (mode 1). Checks that selection answers 1 to 50 box quads inside
// the frame margins, that nothing beyond the scratch area is written, and that loading
// the table never loses a region: every region of the window's 50/10000 or more stays
// inside some table entry.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "core/frame_margins.h"
#include "core/pixel.h"
#include "core/state.h"
#include "core/test_hooks.h"
#include "locate/region_select.h"
#include "locate/region_table.h"

namespace {

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

int U16(const uint8_t *d) { return d[0] | (d[1] << 8); }

bool IsBox(const vexo::REGION_QUAD &q) {
    return q.c[0].y == q.c[1].y && q.c[2].y == q.c[3].y && q.c[0].x == q.c[2].x && q.c[1].x == q.c[3].x;
}

bool Holds(const vexo::REGION_QUAD &outer, const vexo::REGION_QUAD &inner) {
    return outer.c[0].x <= inner.c[0].x && outer.c[1].x >= inner.c[1].x && outer.c[0].y <= inner.c[0].y &&
           outer.c[2].y >= inner.c[2].y;
}

void Install(uint8_t *pixels, int w, int h) {
    vexo::Test_ResetDecoderStatics();
    vexo::Pix_SetImagePointer(pixels);
    vexo::Pix_SetSecondBuffer(vexo::g_internalImage);
    vexo::Pix_SetImageSize(w, h);
    vexo::Dec_ComputeFrameMargins();
}

void FuzzSelection(int w, int h, const uint8_t *data, size_t size) {
    std::vector<uint8_t> frame(static_cast<size_t>(w) * static_cast<size_t>(h), 128);
    for (size_t i = 0; i < frame.size() && size > 0; ++i) frame[i] = data[i % size];
    Install(frame.data(), w, h);
    const size_t area = frame.size();
    const bool scratchUsed = area < sizeof vexo::g_internalImage;
    if (scratchUsed) vexo::g_internalImage[area] = 0x5A;
    vexo::REGION_QUAD out[50];
    const int n = vexo::Loc_SelectRegions(out);
    Check(n >= 1 && n <= 50);
    if (scratchUsed) Check(vexo::g_internalImage[area] == 0x5A);
    const vexo::FRAME_MARGINS &m = vexo::g_frameMargins;
    for (int i = 0; i < n; ++i) {
        Check(IsBox(out[i]));
        if (w >= 16 && h >= 16) {
            Check(out[i].c[0].x >= m.firstColumn && out[i].c[3].x <= m.lastColumn);
            Check(out[i].c[0].y >= m.firstRow && out[i].c[3].y <= m.lastRow);
        }
    }
    const int32_t count = *vexo::Loc_LoadRegions(out, n);
    Check(count >= 0 && count <= n);
}

void FuzzTable(int w, int h, const uint8_t *data, size_t size) {
    Install(nullptr, w, h);
    std::vector<vexo::REGION_QUAD> in;
    for (size_t at = 0; at + 8 <= size && in.size() < 60; at += 8) {
        const int left = U16(data + at) % (w + 1), top = U16(data + at + 2) % (h + 1);
        const int right = U16(data + at + 4) % (w + 1), bottom = U16(data + at + 6) % (h + 1);
        in.push_back(vexo::REGION_QUAD{{{left, top}, {right, top}, {left, bottom}, {right, bottom}}});
    }
    if (in.empty()) return;
    const int n = static_cast<int>(in.size());
    const int32_t count = *vexo::Loc_LoadRegions(in.data(), n);
    Check(count >= 0 && count <= (n < 50 ? n : 50));
    const vexo::FRAME_MARGINS &m = vexo::g_frameMargins;
    const int64_t window = (static_cast<int64_t>(m.lastColumn) - m.firstColumn + 1) * (m.lastRow - m.firstRow + 1);
    for (int i = 0; i < n && i < 50; ++i) {
        const vexo::REGION_QUAD &r = in[static_cast<size_t>(i)];
        // Growth keeps 4 pixels from the frame edges: only regions inside that frame stay whole.
        if (r.c[0].x < 4 || r.c[1].x > w - 4 || r.c[0].y < 4 || r.c[2].y > h - 4) continue;
        const int64_t rw = r.c[1].x - r.c[0].x + 1, rh = r.c[2].y - r.c[0].y + 1;
        if (window <= 0 || rw <= 0 || rh <= 0 || rw * rh * 10000 / window <= 49) continue;
        bool held = false;
        for (int k = 0; k < count; ++k) held = held || Holds(vexo::g_state.locatedRegions[k], r);
        Check(held);
    }
    std::vector<vexo::REGION_QUAD> merged = in;
    const int left = vexo::Loc_MergeOverlappingRegions(merged.data(), n);
    Check(left >= 1 && left <= n);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 5) return 0;
    const int mode = data[0] & 1;
    // Selection frames up to 400 x 300 keep each run short; the table takes any size.
    const int w = mode == 0 ? 1 + U16(data + 1) % 400 : 1 + U16(data + 1) % 1280;
    const int h = mode == 0 ? 1 + U16(data + 3) % 300 : 1 + U16(data + 3) % 960;
    if (mode == 0) {
        FuzzSelection(w, h, data + 5, size - 5);
    } else {
        FuzzTable(w, h, data + 5, size - 5);
    }
    return 0;
}
