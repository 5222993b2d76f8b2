// The Aztec module's decode: the region's bulls-eye candidates are located, read and either
// the first symbol is returned or several are collected (multi-symbol reads, structured
// append) and their texts joined. The accessors read the result back for the core.
#include <cmath>
#include <cstring>

#include "aztec_maxicode/azt_data.h"
#include "aztec_maxicode/azt_services.h"
#include "aztec_maxicode/azt_symbol.h"
#include "core/params.h"
#include "core/pixel.h"
#include "core/state.h"
#include "toolkit/quad.h"

namespace vexo {

AZT_DRIVER g_aztDriver;
AztCandidateFn g_aztCandidateDecode = Azt_DecodeCandidate;

namespace {

// More candidates than the finder's table can hand out ends the loop all the same.
constexpr int kCandidateBudget = kAztMaxBullseyes + 1;

// The collection of one decode.
struct COLLECTION {
    AZT_PART parts[kAztPartTable];
    int positions[kAztPositionTable];
    char id[kAztIdBuffer];
    int n;
    int continuing;
    int expectedTotal;
    i32 used;  // bytes of the parts area
};

bool IdTooLong(const AZT_APPEND_STATE &a) {
    return a.idCut != 0 || std::strlen(a.messageId) >= static_cast<size_t>(kAztIdBuffer);
}

// Stores the symbol just read as part c->n; false when the table or the parts area is full.
bool KeepPart(COLLECTION *c, const AZT_SYMBOL &s) {
    if (c->n >= kAztPartTable) return false;
    const i32 length = g_aztDriver.textLength < 0 ? 0 : g_aztDriver.textLength;
    if (length > kAztPartsBytes - c->used) return false;
    u8 *dest = g_aztDriver.parts + c->used;
    if (length > 0) std::memcpy(dest, g_aztDriver.text, static_cast<size_t>(length));
    c->parts[c->n] = AZT_PART{s.polarity, s.full, s.moduleSize, s.size, s.refinedX, s.refinedY,
                              s.uStepX, s.uStepY, s.vStepX, s.vStepY, length, dest};
    c->used += length;
    return true;
}

void JoinByPositions(const COLLECTION &c) {
    i32 length = 0;
    for (int k = 0; k <= c.n && k < kAztPositionTable; ++k) {
        const int at = c.positions[k];
        if (at < 0 || at >= kAztPartTable) continue;
        const AZT_PART &p = c.parts[at];
        if (p.length > 0) std::memcpy(g_aztDriver.text + length, p.text, static_cast<size_t>(p.length));
        length += p.length;
    }
    g_aztDriver.textLength = length;
}

enum class Step { kNext, kReturnRead, kFinish, kEndCollection };

// A structured-append part: starts or joins the set, and ends it when complete or at the part limit.
Step TakeAppendPart(COLLECTION *c) {
    AZT_APPEND_STATE &a = g_aztState.append;
    if (c->n == 0) {
        // An ID the buffer cannot hold matches no set: the symbol stands alone.
        if (IdTooLong(a)) {
            g_aztDriver.status = kAztStatusRead;
            return Step::kReturnRead;
        }
        std::memset(c->id, 0, sizeof(c->id));
        std::memcpy(c->id, a.messageId, std::strlen(a.messageId));
        c->expectedTotal = a.total - 64;
    } else if (a.total - 64 != c->expectedTotal || IdTooLong(a) || std::strcmp(a.messageId, c->id) != 0) {
        return Step::kNext;
    }
    const int slot = a.position - 'A';
    if (slot >= 0 && slot < kAztPositionTable) c->positions[slot] = c->n;
    if (a.total == 'A' + c->n) {
        JoinByPositions(*c);
        a.present = 0;
        g_aztDriver.status = kAztStatusRead;
        return Step::kReturnRead;
    }
    ++c->n;
    if (c->n == static_cast<int>(g_aztDriver.appendOptions & 7u) + 1) {
        if (c->n > 1) Azt_JoinParts(c->parts, c->n);
        g_aztDriver.status = kAztStatusRead;
        return Step::kReturnRead;
    }
    c->continuing = 1;
    return Step::kNext;
}

// One symbol read: kept as a part, or returned alone.
Step TakeSymbol(COLLECTION *c, const AZT_SYMBOL &s) {
    const bool part = g_aztState.append.present != 0;
    if (c->continuing != 0 && !part) return Step::kNext;
    if (c->continuing == 0 && part) {
        c->n = 0;
        c->used = 0;
    }
    if (c->continuing == 0 && !part && g_aztDriver.joinedCount == 1) {
        g_aztDriver.status = kAztStatusRead;
        return Step::kReturnRead;
    }
    if (!KeepPart(c, s)) return Step::kEndCollection;
    if (!part) {
        ++c->n;
        return c->n == g_aztDriver.joinedCount ? Step::kFinish : Step::kNext;
    }
    return TakeAppendPart(c);
}

int Finish(const COLLECTION &c) {
    if (c.n <= 0) return 0;
    g_aztDriver.status = kAztStatusRead;
    Azt_JoinParts(c.parts, c.n);
    return 1;
}

int EndCollection(const COLLECTION &c) {
    if (c.continuing == 0) return Finish(c);
    if (c.id[0] == 0) {
        g_aztDriver.status = kAztStatusIncompleteSet;
        return 0;
    }
    const AZT_PART &p = c.parts[Azt_NearestPartToCentre(c.parts, c.n)];
    if (p.length > 0) std::memcpy(g_aztDriver.text, p.text, static_cast<size_t>(p.length));
    g_aztDriver.textLength = p.length;
    g_aztDriver.status = kAztStatusRead;
    return 1;
}

}  // namespace

void Azt_SetWorkAreas(u8 *work) {
    if (work == nullptr) return;
    g_aztDriver.scratch = work + kAztScratchOffset;
    g_aztDriver.modules = work + kAztModulesOffset;
    g_aztDriver.grid = work + kAztGridOffset;
    g_aztDriver.text = work + kAztTextOffset;
    g_aztDriver.parts = work + kAztPartsOffset;
}

int Azt_StoreResult(const u8 *text, i32 length) {
    RESULT_STORE &rs = g_params.resultStore;
    if (rs.storedCount < 0 || rs.storedCount >= 2) return 0;
    const i32 n = length < 0 ? 0 : length;
    // A slot holds kStoredResultBytes: a longer text cannot be carried whole.
    if (n > kStoredResultBytes || (n > 0 && text == nullptr)) return 0;
    const i32 slot = rs.storedCount;
    rs.storedLength[slot] = n;
    rs.storedQuad[slot] = g_aztDriver.corners;
    if (n > 0) std::memcpy(slot == 0 ? rs.storedData0 : rs.storedData1, text, static_cast<size_t>(n));
    ++rs.storedCount;
    return 1;
}

int AztbProcMain() {
    u8 *work = Pix_WorkMemory(kAztWorkBytes);
    if (g_image.data == nullptr || g_image.width < 1 || g_image.height < 1 || work == nullptr) {
        g_aztDriver.status = kAztStatusNoImage;
        return 0;
    }
    g_aztDriver.joinedCount = static_cast<i32>(g_params.flagsWord[kSymAztec] & kFlag2DCountMask);
    if (g_aztDriver.joinedCount == 0) return 0;
    Azt_SetWorkAreas(work);
    g_aztDriver.status = kAztStatusStarted;
    g_aztDriver.textLength = 0;
    g_aztState.append.present = 0;
    COLLECTION c{};
    for (int budget = 0; budget < kCandidateBudget; ++budget) {
        AZT_SYMBOL s{};
        const int r = g_aztCandidateDecode(&s, c.continuing);
        if (r == kAztNoCandidate) break;
        if (r != kAztCandidateRead) continue;
        Azt_StoreResult(g_aztDriver.text, g_aztDriver.textLength);
        const Step step = TakeSymbol(&c, s);
        if (step == Step::kReturnRead) return 1;
        if (step == Step::kFinish) return Finish(c);
        if (step == Step::kEndCollection) break;
    }
    return EndCollection(c);
}

int Azt_DecodeCandidate(AZT_SYMBOL *symbol, int continuing) {
    AZT_BULLSEYE *b = Azt_NextBullseyeCandidate();
    if (b == nullptr) return kAztNoCandidate;
    const AZT_GEOMETRY g{b->full != 0 ? 1 : 0, b->centreX >> 4, b->centreY >> 4, b->polarity == 0 ? 1 : 0};
    g_aztDriver.bullseye = *b;
    const u32 opts = g_aztDriver.appendOptions;
    if (g_state.extraGeometryStep == 1 && continuing == 0 && g_aztState.append.present == 0 &&
        (((opts >> 3) & 3u) == 0 || (opts & 7u) == 0)) {
        const GEO_POINT p{g.centreX, g.centreY};
        if (Geo_InRoi(nullptr, &p, 0) == 0) return kAztNotRead;
    }
    if (Azt_LocateSymbol(&g, symbol) == 0) return kAztNotLocated;
    g_aztState.append.present = 0;
    return Azt_ReadSymbol(symbol) == 1 ? kAztCandidateRead : kAztNotRead;
}

int Azt_LocateSymbol(const AZT_GEOMETRY *geometry, AZT_SYMBOL *symbol) {
    if (geometry == nullptr || symbol == nullptr) return 0;
    const AZT_GEOMETRY g = *geometry;
    symbol->located = 0;
    const i32 point[2] = {g.centreX, g.centreY};
    i32 refined[2];
    if (Azt_RefineCentre(point, refined) == 0) {
        refined[0] = static_cast<i32>(static_cast<i64>(g.centreX) * 16);
        refined[1] = static_cast<i32>(static_cast<i64>(g.centreY) * 16);
    }
    symbol->polarity = g.polarity;
    symbol->refinedX = refined[0];
    symbol->refinedY = refined[1];
    symbol->full = g.full != 0 ? 1 : 0;
    g_aztDriver.current = symbol;
    if ((g.full != 0 ? Azt_LocateFull(&g, symbol) : Azt_LocateCompact(&g, symbol)) != 1) return 0;
    symbol->located = 1;
    return 1;
}

int Azt_ReadSymbol(AZT_SYMBOL *symbol) {
    if (symbol == nullptr || symbol->located != 1 || g_aztDriver.grid == nullptr) return 0;
    g_aztDriver.current = symbol;
    const int read = symbol->full != 0 ? Azt_ReadFullGrid(g_aztDriver.grid) : Azt_ReadCompactGrid(symbol);
    if (read != 1) return 0;
    AZT_BITSTREAM grid{g_aztDriver.grid, symbol->size * symbol->size, symbol->size};
    AZT_TEXT_OUT out{g_aztDriver.text, 0};
    const i32 r = Azt_DecodeGrid(&grid, &out);
    if (r == kAztGridDecoded) {
        g_aztDriver.textLength = out.length;
        g_aztDriver.status = kAztStatusRead;
        return 1;
    }
    g_aztDriver.status = r == kAztGridTextFailed ? kAztStatusTextFailed : kAztStatusCodewordsFailed;
    return 0;
}

int Azt_AngleCosine(GEO_POINT a, GEO_POINT b, GEO_POINT c) {
    const i64 bx = static_cast<i64>(b.x) - a.x, by = static_cast<i64>(b.y) - a.y;
    const i64 cx = static_cast<i64>(c.x) - a.x, cy = static_cast<i64>(c.y) - a.y;
    const i64 ex = static_cast<i64>(b.x) - c.x, ey = static_cast<i64>(b.y) - c.y;
    const i64 d1 = bx * bx + by * by, d2 = cx * cx + cy * cy, d3 = ex * ex + ey * ey;
    const f64 l1 = std::trunc(std::sqrt(static_cast<f64>(d1)));
    const f64 l12 = std::trunc(std::sqrt(static_cast<f64>(d1) * static_cast<f64>(d2)));
    if (l1 * l12 <= 0.0 || !(l12 < 9.0e18)) return 0;
    return static_cast<int>(((d1 + d2 - d3) << 9) / static_cast<i64>(l12));
}

void Azt_JoinParts(const AZT_PART *parts, int count) {
    if (parts == nullptr || count <= 0 || g_aztDriver.text == nullptr) return;
    const int n = count < kAztPartTable ? count : kAztPartTable;
    int order[kAztPartTable] = {};
    if (n > 1) {
        i32 minX = 99999, maxX = 0, minY = 99999, maxY = 0;
        for (int i = 0; i < n; ++i) {
            minX = parts[i].centreX < minX ? parts[i].centreX : minX;
            maxX = parts[i].centreX > maxX ? parts[i].centreX : maxX;
            minY = parts[i].centreY < minY ? parts[i].centreY : minY;
            maxY = parts[i].centreY > maxY ? parts[i].centreY : maxY;
        }
        const bool row = maxX - minX > maxY - minY;
        int keys[kAztPartTable + 1] = {};  // the sort's work slot after the keys
        for (int i = 0; i < n; ++i) keys[i] = (row ? parts[i].centreX : parts[i].centreY) * 16 + i;
        Azt_SortInts(keys, n);
        for (int i = 0; i < n; ++i) order[i] = keys[i] & 15;
        const AZT_PART &first = parts[order[0]];
        i64 sx = 0, sy = 0, vx = 0, vy = 0;
        for (int i = 0; i < n; ++i) {
            sx += parts[i].centreX - first.centreX;
            sy += parts[i].centreY - first.centreY;
            vx += row ? parts[i].uStepX : parts[i].vStepX;
            vy += row ? parts[i].uStepY : parts[i].vStepY;
        }
        const GEO_POINT spread{static_cast<i32>(sx / ((n - 1) * 16)), static_cast<i32>(sy / ((n - 1) * 16))};
        const GEO_POINT axis{static_cast<i32>(vx / n), static_cast<i32>(vy / n)};
        if (Azt_AngleCosine(GEO_POINT{0, 0}, spread, axis) <= 0) {
            for (int i = 0; i < n / 2; ++i) {
                const int t = order[i];
                order[i] = order[n - 1 - i];
                order[n - 1 - i] = t;
            }
        }
    }
    i32 length = 0;
    for (int i = 0; i < n; ++i) {
        const AZT_PART &p = parts[order[i]];
        if (p.length > 0 && p.text != nullptr) std::memcpy(g_aztDriver.text + length, p.text, static_cast<size_t>(p.length));
        length += p.length > 0 ? p.length : 0;
    }
    g_aztDriver.textLength = length;
}

int Azt_NearestPartToCentre(const AZT_PART *parts, int count) {
    if (parts == nullptr || count <= 0) return 0;
    int best = 0;
    i64 bestD = -1;
    for (int i = 0; i < count && i < kAztPartTable; ++i) {
        const i64 dx = parts[i].centreX / 16 - (g_image.width >> 1);
        const i64 dy = parts[i].centreY / 16 - (g_image.height >> 1);
        const i64 d = dx * dx + dy * dy;
        if (bestD < 0 || d < bestD) {
            bestD = d;
            best = i;
        }
    }
    return best;
}

void Azt_SetAppendOptions(u32 value) { g_aztDriver.appendOptions = value; }

const u8 *Azt_GetResultText() {
    if (g_aztDriver.status != kAztStatusRead || g_aztDriver.textLength <= 0 || g_aztDriver.text == nullptr) return nullptr;
    g_aztDriver.text[g_aztDriver.textLength] = 0;
    return g_aztDriver.text;
}

int Azt_GetResultLength() { return g_aztDriver.textLength < 0 ? 0 : g_aztDriver.textLength; }

void Azt_GetCorners(REGION_QUAD *out) {
    if (out != nullptr) *out = g_aztDriver.corners;
}

void Azt_WriteAimId(char *out) {
    if (out == nullptr) return;
    out[0] = ']';
    out[1] = 'z';
    out[2] = static_cast<char>(g_aztState.aimModifier);
}

}  // namespace vexo
