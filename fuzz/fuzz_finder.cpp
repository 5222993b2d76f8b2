// The finder passes, the projection proposals and edge-list pairing on arbitrary small
// frames, regions and lists. Input: width, height, ratio, minimum step (one byte each),
// four corners (two bytes per coordinate), then pixels, repeated to fill the frame.
// Checks that every line handed to a finder lies in the frame with its edges within
// capacity, that the Aztec bulls-eyes handed out lie in the frame, that proposals lie in
// the analysed area and number at most 39, and that pairs are valid ascending indexes.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "aztec_maxicode/azt_finder.h"
#include "core/params.h"
#include "core/pixel.h"
#include "core/state.h"
#include "core/test_hooks.h"
#include "locate/edge_pairing.h"
#include "locate/finder.h"
#include "locate/projection.h"

namespace {

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

const uint8_t *g_first;
const uint8_t *g_end;
int g_width;
uint8_t g_ring[4];

void Reset(vexo::REGION_QUAD *, vexo::REGION_QUAD *) { vexo::g_qrFinderQueue = {g_ring, g_ring}; }
int Wants() { return 1; }

void CheckLine(vexo::FINDER_LINE *line) {
    Check(line != nullptr && line->current != nullptr && line->previous != nullptr);
    const vexo::EDGE_LINE &c = *line->current;
    Check(c.edgeCount >= 0 && c.edgeCount <= c.capacity && c.capacity == vexo::kFinderLineEdges);
    Check(c.edgeCount == c.risingCount + c.fallingCount);
    if (c.sampleCount <= 0) return;
    const int64_t step = c.direction == 1 ? 1 : g_width;
    Check(c.samples >= g_first && c.samples + (c.sampleCount - 1) * step < g_end);
    if (c.direction == 1) Check((c.samples - g_first) / g_width == (c.samples + c.sampleCount - 1 - g_first) / g_width);
}

void Done() {}

constexpr vexo::FINDER_MODULE kCheckTable[2] = {
    {Reset, Wants, CheckLine, Done, Wants, CheckLine, Done, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr},
};

int32_t Coord(const uint8_t *p) { return static_cast<int32_t>(static_cast<uint16_t>(p[0] | (p[1] << 8)) % 400) - 100; }

void CheckProposals(int w, int h) {
    if (vexo::Loc_ProjectionThresholds() == 0) return;
    const vexo::PROJ_STATE p = vexo::g_projState;
    Check(p.x0 >= 0 && p.x0 + p.cols <= w && p.y0 >= 0 && p.y0 + p.rows <= h);
    vexo::REGION_QUAD quads[40];
    for (int pass = 0; pass < 2; ++pass) {
        const int n = pass == 0 ? vexo::Loc_ColumnProjectionQuads(quads, 40) : vexo::Loc_RowProjectionQuads(quads, 40);
        Check(n >= 0 && n <= 39);
        for (int k = 0; k < n; ++k) {
            const vexo::REGION_QUAD &q = quads[k];
            Check(q.c[0].x >= p.x0 && q.c[1].x <= p.x0 + p.cols && q.c[0].y >= p.y0 && q.c[2].y <= p.y0 + p.rows);
            Check(q.c[0].x <= q.c[1].x && q.c[0].y <= q.c[2].y);
        }
    }
}

// Every bulls-eye handed out has its centre and box in the frame.
void CheckBullseyes(int w, int h) {
    int n = 0;
    while (const vexo::AZT_BULLSEYE *b = vexo::Azt_NextBullseyeCandidate()) {
        Check(++n <= vexo::kAztMaxBullseyes);
        Check(b->full == 0 || b->full == 1);
        Check(b->minX >= 0 && b->maxX <= (w - 1) * 16 && b->minY >= 0 && b->maxY <= (h - 1) * 16);
        Check(b->centreX >= b->minX && b->centreX <= b->maxX && b->centreY >= b->minY && b->centreY <= b->maxY);
    }
}

void CheckPairing(const uint8_t *data, size_t size) {
    std::vector<int32_t> a, b;
    int32_t xa = 0, xb = 0;
    for (size_t k = 0; k < size && k < 128; ++k) {
        if ((data[k] & 1) != 0) {
            a.push_back(xa += data[k] >> 1);
        } else {
            b.push_back(xb += data[k] >> 1);
        }
    }
    // Strictly ascending is what the edge finders give; equal steps of 0 are allowed here.
    std::vector<int32_t> ma(a.size() + 1, -1), mb(b.size() + 1, -1);
    vexo::EDGE_PAIRING e{};
    e.countA = static_cast<int32_t>(a.size());
    e.countB = static_cast<int32_t>(b.size());
    e.posA = a.data();
    e.posB = b.data();
    e.matchA = ma.data();
    e.matchB = mb.data();
    const int r = vexo::Loc_PairEdgeLists(&e);
    if (a.empty() || b.empty()) {
        Check(r == 0);
        return;
    }
    Check(r == 1 && e.matchCount >= 0 && e.matchCount <= static_cast<int32_t>(std::min(a.size(), b.size())));
    for (int k = 0; k < e.matchCount; ++k) {
        Check(ma[k] >= 0 && ma[k] < e.countA && mb[k] >= 0 && mb[k] < e.countB);
        if (k > 0) Check(ma[k] > ma[k - 1] && mb[k] > mb[k - 1]);
    }
    Check(ma[a.size()] == -1 && mb[b.size()] == -1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 20) return 0;
    const int w = 1 + data[0] % 160, h = 1 + data[1] % 160;
    std::vector<uint8_t> frame(static_cast<size_t>(w) * h);
    const uint8_t *pixels = data + 20;
    const size_t n = size - 20;
    for (size_t k = 0; k < frame.size(); ++k) frame[k] = n > 0 ? pixels[k % n] : 0;

    vexo::Test_ResetDecoderStatics();
    vexo::Pix_SetImagePointer(frame.data());
    vexo::Pix_SetSecondBuffer(vexo::g_internalImage);
    vexo::Pix_SetImageSize(w, h);
    g_first = frame.data();
    g_end = frame.data() + frame.size();
    g_width = w;

    vexo::REGION_QUAD region;
    for (int k = 0; k < 4; ++k) region.c[k] = {Coord(data + 4 + 4 * k), Coord(data + 6 + 4 * k)};
    vexo::u32 step = 0;
    const int ratio = vexo::Loc_QuadMidlineThresholds(&region, &step);
    Check(ratio >= 102 && step >= 6);
    vexo::g_edgeThresholds = {data[2], data[3]};
    vexo::Loc_ResetFinderTable(kCheckTable, 2, &region, &region);
    const int linear = vexo::Loc_RunFinderTable(kCheckTable, 2, &region);
    Check(linear == 0 || linear == 1);
    // The registered finders with the Aztec finder on in the polarities byte 3 selects.
    vexo::g_params.flagsWord[vexo::kSymAztec] = vexo::kFlagEnabled | ((data[3] & 3u) << vexo::kFlag2DReadModeShift);
    vexo::Loc_ResetFinders(&region, &region);
    Check(vexo::Loc_RunFinders(&region) == linear);
    CheckBullseyes(w, h);
    const int drop = vexo::Loc_RegionDropRatio(&region);
    Check(drop >= 102 && drop <= 512);

    CheckProposals(w, h);
    CheckPairing(pixels, n);
    return 0;
}
