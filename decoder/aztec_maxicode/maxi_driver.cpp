// The MaxiCode module's decode: the finder's bulls-eye candidates are read one by one in
// table order; the first symbol ends the decode, or in multi-symbol mode one or two are
// collected. The accessors read the result back for the core.
#include <cstring>

#include "aztec_maxicode/maxi_data.h"
#include "aztec_maxicode/maxi_driver.h"
#include "aztec_maxicode/maxi_finder.h"
#include "aztec_maxicode/maxi_orient.h"
#include "aztec_maxicode/maxi_read.h"
#include "aztec_maxicode/maxi_services.h"
#include "core/modules.h"
#include "core/params.h"
#include "core/state.h"
#include "toolkit/quad.h"

namespace vexo {

MAXI_RESULT g_maxiResult;
MAXI_CARRIER g_maxiCarrier;

namespace {

// Stores the symbol just read unless it is a second sight of the first one stored: 0 then.
int StoreSymbol(const u8 *text, i32 length) {
    RESULT_STORE &rs = g_params.resultStore;
    if (rs.storedCount == 1 && Geo_QuadsOverlap(&g_maxiResult.corners, &rs.storedQuad[0]) != 0) return 0;
    if (rs.storedCount < 0 || rs.storedCount >= 2) return 1;
    const i32 slot = rs.storedCount;
    const i32 n = length < 0 ? 0 : (length > kStoredResultBytes ? kStoredResultBytes : length);
    rs.storedLength[slot] = n;
    rs.storedQuad[slot] = g_maxiResult.corners;
    if (n > 0) std::memcpy(slot == 0 ? rs.storedData0 : rs.storedData1, text, static_cast<size_t>(n));
    ++rs.storedCount;
    return 1;
}

// One candidate: orientation, sampling and reading; 1 when its symbol was read into text.
int ReadCandidate(const MAXI_BULLSEYE &c, u8 *text, i32 *length) {
    if (g_state.extraGeometryStep == 1) {
        const GEO_POINT p{c.x, c.y};
        if (Geo_InRoi(nullptr, &p, 0) == 0) return 0;
    }
    Maxi_MeasureThreshold(&c, c.radius, &g_maxiGrid.minStep, &g_maxiGrid.edgeRatio);
    const i32 pitch = Maxi_MeasureRingPitch(&c, c.radius);
    if (pitch <= 0) return 0;
    const GEO_POINT centre{c.x * 16, c.y * 16};
    g_maxiGrid.centre = centre;
    if (Maxi_FindOrientation(pitch, &centre, 0) == 0) return 0;
    Maxi_BuildIdealRings();
    *length = 0;
    if (Maxi_ReadSymbol(&g_maxiCarrier, nullptr, text, length) == 1) return 1;
    Maxi_RecentreOrientation();
    *length = 0;
    return Maxi_ReadSymbol(&g_maxiCarrier, nullptr, text, length) == 1 ? 1 : 0;
}

}  // namespace

int Maxi_DecodeImage() {
    g_maxiResult.total = 0;
    g_maxiCarrier = MAXI_CARRIER{};
    for (auto &ring : g_maxiGrid.idealRings)
        for (GEO_POINT &p : ring) p = GEO_POINT{0, 0};
    for (auto &ring : g_maxiGrid.imageRings)
        for (GEO_POINT &p : ring) p = GEO_POINT{0, 0};
    const bool multi = (g_params.flagsWord[kSymMaxiCode] & kFlag2DCountMask) == 2;
    i32 symbols = 0;
    i32 at = 0;
    const i32 count = g_maxiFinder.count < kMaxiCandidates ? g_maxiFinder.count : kMaxiCandidates;
    if (count <= 0) return 0;
    for (i32 i = 0; i < count; ++i) {
        u8 *text = g_maxiResult.text + at;
        i32 length = 0;
        if (ReadCandidate(g_maxiFinder.table[i], text, &length) == 0) continue;
        if (length < 0) length = 0;
        g_maxiResult.corners = g_maxiRead.corners;
        Geo_QuadScale16(&g_maxiResult.corners, 0);
        if (StoreSymbol(text, length) == 0) continue;
        at += length;
        g_maxiResult.total += length;
        ++symbols;
        if (!multi) break;
        // A third symbol already fails the decode; a fourth would write past the text.
        if (symbols >= 3) break;
    }
    if (symbols == 1 || (multi && symbols == 2)) {
        g_maxiResult.length = g_maxiResult.total;
        return 1;
    }
    return 0;
}

int Maxi_DecodeWholeImage() {
    g_maxiResult.length = 0;
    return Maxi_DecodeImage();
}

const u8 *Maxi_GetResultText() {
    const i32 n = g_maxiResult.length;
    if (n <= 0 || n >= kMaxiResultTextBytes) return nullptr;
    Dec_FilterText(g_maxiResult.text, n, 50, 100);
    g_maxiResult.text[n] = 0;
    return g_maxiResult.text;
}

int Maxi_GetResultLength() { return g_maxiResult.length; }

void Maxi_GetCorners(REGION_QUAD *out) {
    if (out != nullptr) *out = g_maxiResult.corners;
}

void Maxi_WriteAimId(char *out) {
    if (out == nullptr) return;
    out[0] = ']';
    out[1] = 'U';
    out[2] = static_cast<char>(g_maxiState.aimModifier);
}

}  // namespace vexo
