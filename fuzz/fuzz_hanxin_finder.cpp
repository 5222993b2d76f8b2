// The Han Xin finder entry alone through the 2D finder framework on arbitrary small frames,
// then the finder chain as the symbol reader runs it. Input: width and height (one byte each,
// 1 to 160), a byte of flags (bit 0: draw finder patterns; bits 1-2: the polarity bits of the
// Han Xin word), a module size byte, then pixels repeated to fill the frame. With bit 0 set,
// four finder patterns of a symbol's corners are drawn at the place the next bytes choose, so
// the probes, the measurement and the grouping are reached. Checks: at most 32 candidates
// and references per pass, at most 32 boxes and 8 groups, every slot a valid reference or
// empty, every valid list entry a reference in use.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/params.h"
#include "core/pixel.h"
#include "core/state.h"
#include "core/test_hooks.h"
#include "hanxin/cscn_finder.h"
#include "locate/finder.h"

namespace {

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

// A 7 x 7 finder pattern with its core in the corner (coreBottom, coreRight) of the block.
void Pattern(std::vector<uint8_t> &f, int w, int h, int x0, int y0, int m, bool coreBottom, bool coreRight, int ink) {
    for (int r = 0; r < 7; ++r)
        for (int c = 0; c < 7; ++c) {
            const int rr = coreBottom ? r : 6 - r, cc = coreRight ? c : 6 - c;
            const bool dark = rr == 0 || cc == 0 || (rr == 2 && cc >= 2) || (cc == 2 && rr >= 2) || (rr >= 4 && cc >= 4);
            if (!dark) continue;
            for (int y = y0 + r * m; y < y0 + (r + 1) * m; ++y)
                for (int x = x0 + c * m; x < x0 + (c + 1) * m; ++x)
                    if (x >= 0 && y >= 0 && x < w && y < h) f[static_cast<size_t>(y) * w + x] = static_cast<uint8_t>(ink);
        }
}

const vexo::FINDER_MODULE kHanXinAlone[1] = {{.reset = vexo::CSCN_FinderReset,
                                              .wantsRows = vexo::CSCN_FinderRowWanted,
                                              .rowLine = vexo::CSCN_FinderLine,
                                              .rowsDone = nullptr,
                                              .wantsColumns = vexo::CSCN_FinderColumnWanted,
                                              .columnLine = vexo::CSCN_FinderLine,
                                              .columnsDone = nullptr,
                                              .spare = nullptr}};

void CheckPass(const vexo::CSCN_FINDER_SET &s, const vexo::CSCN_FINDER_GROUP *groups, int n, int inverse) {
    const int count = inverse != 0 ? s.inverseCount : s.normalCount;
    const int valid = inverse != 0 ? s.inverseValidCount : s.normalValidCount;
    const uint8_t *list = inverse != 0 ? s.inverseValid : s.normalValid;
    Check(count <= vexo::kCscnCandidates && valid <= count);
    for (int k = 0; k < valid; ++k) Check(list[k] < count);
    Check(n >= 0 && n <= vexo::kCscnGroupsPerPass);
    for (int g = 0; g < vexo::kCscnGroupsPerPass; ++g)
        for (uint16_t slot : groups[g].slot) Check(slot == vexo::kCscnEmptySlot || (g < n && slot < count));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 8) return 0;
    const int w = 1 + data[0] % 160, h = 1 + data[1] % 160;
    const int m = 1 + data[3] % 8;
    std::vector<uint8_t> frame(static_cast<size_t>(w) * static_cast<size_t>(h), 220);
    if (size > 8)
        for (size_t k = 0; k < frame.size(); ++k) frame[k] = data[8 + k % (size - 8)];
    if ((data[2] & 1) != 0) {
        const int x0 = data[4] % w, y0 = data[5] % h, n = 7 + data[6] % 20;
        const int ink = (data[7] & 1) != 0 ? 220 : 30;
        Pattern(frame, w, h, x0, y0, m, true, true, ink);
        Pattern(frame, w, h, x0 + (n - 7) * m, y0, m, true, false, ink);
        Pattern(frame, w, h, x0 + (n - 7) * m, y0 + (n - 7) * m, m, false, false, ink);
        Pattern(frame, w, h, x0, y0 + (n - 7) * m, m, true, true, ink);
    }
    vexo::Test_ResetDecoderStatics();
    vexo::Pix_SetImagePointer(frame.data());
    vexo::Pix_SetSecondBuffer(vexo::g_internalImage);
    vexo::Pix_SetImageSize(w, h);
    vexo::g_params.flagsWord[vexo::kSymCsCode] = vexo::kFlagEnabled | ((data[2] & 6u) << 4);
    int queue = 0;
    vexo::g_qrFinderQueue = vexo::QR_FINDER_QUEUE{&queue, &queue};
    vexo::REGION_QUAD region{{{0, 0}, {w - 1, 0}, {0, h - 1}, {w - 1, h - 1}}};
    vexo::Loc_ResetFinderTable(kHanXinAlone, 1, &region, &region);
    vexo::Loc_RunFinderTable(kHanXinAlone, 1, &region);
    const vexo::CSCN_CANDIDATE_LISTS &c = vexo::g_cscnCandidates;
    Check(c.normalListCount >= 0 && c.normalListCount <= vexo::kCscnCandidates);
    Check(c.inverseListCount >= 0 && c.inverseListCount <= vexo::kCscnCandidates);
    for (int k = 0; k < c.normalListCount; ++k)
        Check(c.normalList[k].centre.x >= 0 && c.normalList[k].centre.x < w && c.normalList[k].centre.y >= 0 &&
              c.normalList[k].centre.y < h);
    vexo::CSCN_FINDER_SET &s = vexo::g_cscnFinderSet;
    vexo::CSCN_RefineCandidates(&c, &s);
    vexo::CSCN_MeasureFinders(&s);
    Check(vexo::g_cscnBoxes.count >= 0 && vexo::g_cscnBoxes.count <= vexo::kCscnBoxes);
    vexo::CSCN_ListValidFinders(&s);
    vexo::CSCN_MarkFinderOrientation(&s);
    for (int inverse = 0; inverse < 2; ++inverse) {
        vexo::CSCN_FINDER_GROUP groups[vexo::kCscnGroupsPerPass] = {};
        const int n = vexo::CSCN_GroupFinders(&s, groups, vexo::kCscnGroupsPerPass, inverse);
        CheckPass(s, groups, n, inverse);
    }
    return 0;
}
