// Scripted stages for the Data Matrix driver: L candidates, locate answers and geometry,
// a sampler that writes a given symbol's modules (or another sampler), and a record of
// what each stage was asked.
#pragma once

#include <cstdint>
#include <vector>

#include "datamatrix/dm_driver.h"
#include "datamatrix/dm_stages.h"

namespace dmtest {

using vexo::DM_GEOMETRY;
using vexo::DM_L_CANDIDATE;
using vexo::DM_PREPARED_CANDIDATE;
using vexo::GEO_POINT;

inline constexpr GEO_POINT kCentre{376, 240};  // of the 752 x 480 frame

struct Script {
    std::vector<DM_L_CANDIDATE> candidates;
    size_t next = 0;
    int getCalls = 0;
    std::vector<int> locateAnswers;  // per call; -100 beyond the list
    std::vector<GEO_POINT> located;  // the corner of each candidate that reached locate
    bool setGeometry = false;
    DM_GEOMETRY geometry{};  // what a successful locate writes (lattice and counts)
    int regularizeCalls = 0;
    std::vector<int> sampledRows;  // module rows per region at each sampling
    std::vector<int> sampledCols;
    int sampleAnswer = 0;
    // What the sampler writes: a whole symbol's modules (1 dark) when its size is the
    // requested one, else pseudo-random greys.
    std::vector<uint8_t> symbol;
    int symbolRows = 0;
    int symbolCols = 0;
    vexo::REGION_QUAD corners{};
    // Or another sampler altogether.
    vexo::i32 (*sampler)(vexo::u8 *image, DM_GEOMETRY *geo) = nullptr;
    int pairCalls = 0;
};
inline Script g_s;

inline vexo::i32 ScriptGetDM(DM_L_CANDIDATE *out) {
    ++g_s.getCalls;
    if (g_s.next >= g_s.candidates.size()) return 0;
    *out = g_s.candidates[g_s.next++];
    return 1;
}

inline vexo::i32 ScriptLocate(vexo::u8 *, DM_PREPARED_CANDIDATE *cand, DM_GEOMETRY *geo) {
    const size_t call = g_s.located.size();
    g_s.located.push_back(cand->corner);
    const int answer = call < g_s.locateAnswers.size() ? g_s.locateAnswers[call] : -100;
    if (answer == 0 && g_s.setGeometry) *geo = g_s.geometry;
    return answer;
}

inline void ScriptRegularize(DM_GEOMETRY *) { ++g_s.regularizeCalls; }

inline vexo::i32 ScriptSample(vexo::u8 *image, DM_GEOMETRY *geo) {
    g_s.sampledRows.push_back(geo->moduleRows);
    g_s.sampledCols.push_back(geo->moduleCols);
    if (g_s.sampler != nullptr) return g_s.sampler(image, geo);
    vexo::g_dmResult.corners = g_s.corners;
    if (g_s.sampleAnswer != 0) return g_s.sampleAnswer;
    const int rows = geo->regionRows * geo->moduleRows, cols = geo->regionCols * geo->moduleCols;
    const bool match = rows == g_s.symbolRows && cols == g_s.symbolCols;
    for (int i = 0; i < rows * cols; ++i) {
        geo->modules[i] = match ? (g_s.symbol[static_cast<size_t>(i)] != 0 ? 30 : 220)
                                : static_cast<vexo::u8>((i * 2654435761u) >> 24);
    }
    return 0;
}

inline vexo::i32 ScriptPair(vexo::DM_CANDIDATE *, vexo::i32, vexo::i32 *, vexo::i32) {
    ++g_s.pairCalls;
    return 0;
}

inline const vexo::DM_STAGES kScripted = {
    .getDM = ScriptGetDM,
    .locateAndSize = ScriptLocate,
    .regularizeLattice = ScriptRegularize,
    .sampleModules = ScriptSample,
    .pairCandidates = ScriptPair,
};

// An L in whole pixels as the finder delivers it (1/16 pixel; a light-on-dark L starts
// with its bottom arm).
inline DM_L_CANDIDATE L(GEO_POINT armEnd1, GEO_POINT corner, GEO_POINT armEnd2, int darkOnLight = 1) {
    const GEO_POINT e1 = darkOnLight != 0 ? armEnd1 : armEnd2;
    const GEO_POINT e2 = darkOnLight != 0 ? armEnd2 : armEnd1;
    return DM_L_CANDIDATE{e1.x * 16, e1.y * 16, 0, 0, e2.x * 16, e2.y * 16, corner.x * 16, corner.y * 16, darkOnLight};
}

// A square L of side `side` whose centre lies at centre + (dx, dy).
inline DM_L_CANDIDATE SquareAt(int dx, int dy, int side = 60) {
    const GEO_POINT corner{kCentre.x + dx - side / 2, kCentre.y + dy + side / 2};
    return L({corner.x, corner.y - side}, corner, {corner.x + side, corner.y});
}

// The same L reflected about the image centre's vertical.
inline DM_L_CANDIDATE Reflected(DM_L_CANDIDATE l) {
    l.end1X = 2 * 16 * kCentre.x - l.end1X;
    l.end2X = 2 * 16 * kCentre.x - l.end2X;
    l.cornerX = 2 * 16 * kCentre.x - l.cornerX;
    return l;
}

inline GEO_POINT CornerOf(const DM_L_CANDIDATE &l) { return GEO_POINT{l.cornerX >> 4, l.cornerY >> 4}; }

}  // namespace dmtest
