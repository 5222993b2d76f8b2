#include "locate/finder.h"

#include <cstring>

#include "core/pixel.h"
#include "locate/finder_services.h"

namespace vexo {

FINDER_STATE g_finderState = {{0, 0, 0, 0, 0, 0, 0, 0}, kFinderNoneLocked, 0, {}};
QR_FINDER_QUEUE g_qrFinderQueue = {nullptr, nullptr};
EDGE_THRESHOLDS g_edgeThresholds = kDefaultEdgeThresholds;

// Asked in this order on every pass; the order is also the order of the resets.
const FINDER_MODULE g_finderTable[kFinderEntries] = {
    // 0: QR Code and Micro QR, id 2
    {.reset = QR_FinderReset,
     .wantsRows = QR_FinderRowWanted,
     .rowLine = QR_FinderRowLine,
     .rowsDone = nullptr,
     .wantsColumns = nullptr,
     .columnLine = nullptr,
     .columnsDone = nullptr,
     .spare = nullptr},
    // 1: Data Matrix, id 3
    {.reset = DM_FinderReset,
     .wantsRows = DM_FinderRowWanted,
     .rowLine = DM_FinderRowLine,
     .rowsDone = DM_FinderRowFinish,
     .wantsColumns = DM_FinderColumnWanted,
     .columnLine = DM_FinderColumnLine,
     .columnsDone = DM_FinderColumnFinish,
     .spare = nullptr},
    // 2: MaxiCode, id 6
    {.reset = Maxi_FinderReset,
     .wantsRows = Maxi_FinderRowWanted,
     .rowLine = Maxi_FinderRowLine,
     .rowsDone = nullptr,
     .wantsColumns = nullptr,
     .columnLine = nullptr,
     .columnsDone = nullptr,
     .spare = nullptr},
    // 3: Aztec, id 4
    {.reset = Azt_FinderReset,
     .wantsRows = Azt_FinderRowWanted,
     .rowLine = Azt_FinderRowLine,
     .rowsDone = nullptr,
     .wantsColumns = nullptr,
     .columnLine = nullptr,
     .columnsDone = nullptr,
     .spare = nullptr},
    // 4: CS Code, id 5
    {.reset = CSCN_FinderReset,
     .wantsRows = CSCN_FinderRowWanted,
     .rowLine = CSCN_FinderLine,
     .rowsDone = nullptr,
     .wantsColumns = CSCN_FinderColumnWanted,
     .columnLine = CSCN_FinderLine,
     .columnsDone = nullptr,
     .spare = nullptr},
    // 5: end
    {.reset = nullptr,
     .wantsRows = nullptr,
     .rowLine = nullptr,
     .rowsDone = nullptr,
     .wantsColumns = nullptr,
     .columnLine = nullptr,
     .columnsDone = nullptr,
     .spare = nullptr},
};
static_assert(sizeof(g_finderTable) / sizeof(g_finderTable[0]) == kFinderEntries);

namespace {

// Which of the two passes a loop serves: its slots and how its lines are read.
struct PassSlots {
    FinderWantsFn FINDER_MODULE::*wants;
    FinderLineFn FINDER_MODULE::*line;
    FinderDoneFn FINDER_MODULE::*done;
};
constexpr PassSlots kRowSlots = {&FINDER_MODULE::wantsRows, &FINDER_MODULE::rowLine, &FINDER_MODULE::rowsDone};
constexpr PassSlots kColumnSlots = {&FINDER_MODULE::wantsColumns, &FINDER_MODULE::columnLine,
                                    &FINDER_MODULE::columnsDone};

// A missing wants slot takes no part.
bool Wants(const FINDER_MODULE &entry, FinderWantsFn FINDER_MODULE::*wants) {
    const FinderWantsFn fn = entry.*wants;
    return fn != nullptr && fn() == 1;
}

bool AnyWants(const FINDER_MODULE *table, int count, const PassSlots &slots) {
    for (int k = 0; k < count; ++k)
        if (Wants(table[k], slots.wants)) return true;
    return false;
}

void CallLineHandlers(const FINDER_MODULE *table, int count, const PassSlots &slots, FINDER_LINE *line) {
    for (int k = 0; k < count; ++k) {
        if (!Wants(table[k], slots.wants)) continue;
        const FinderLineFn fn = table[k].*slots.line;
        if (fn != nullptr) fn(line);
    }
}

void CallFinishers(const FINDER_MODULE *table, int count, const PassSlots &slots) {
    for (int k = 0; k < count; ++k) {
        const FinderDoneFn fn = table[k].*slots.done;
        if (fn != nullptr && Wants(table[k], slots.wants)) fn();
    }
}

void ClearFinderEdges() { std::memset(g_finderState.edges, 0, sizeof(g_finderState.edges)); }

// The two line records of the current pass; static so that no handler is ever left
// with a record that has gone.
EDGE_LINE g_passRecords[2];

bool QrQueueReady() { return g_qrFinderQueue.read != nullptr && g_qrFinderQueue.write != nullptr; }

// The lines of one pass: positions first, first + 4, ... below end, of `count` samples
// from `along` (both already cut to the frame), and how a line's first pixel is found.
struct PassGeometry {
    i32 first;
    i32 end;
    i32 along;  // first sample's coordinate along the line
    i32 count;  // samples per line
    bool rows;
};

// Lines of the box lo..hi (exclusive) across, from..to along, cut to a frame of `size`
// across and `length` along; lines keep the phase of lo.
PassGeometry CutPass(i32 lo, i32 hi, i32 from, i32 to, i32 size, i32 length, bool rows) {
    const i32 along = from < 0 ? 0 : (from > length ? length : from);
    PassGeometry g{lo, hi < size ? hi : size, along, 0, rows};
    if (g.first < 0) {
        const i64 skipped = (-static_cast<i64>(g.first) + kFinderLineStep - 1) / kFinderLineStep;
        g.first = static_cast<i32>(g.first + skipped * kFinderLineStep);
    }
    const i32 stop = to < length ? to : length;
    g.count = stop > g.along ? stop - g.along : 0;
    return g;
}

// Both records of a pass: everything but the samples, which a record gets when it is
// first filled (until then it is the empty record handed as the first line's previous).
void PrepareRecords(EDGE_LINE records[2], const PassGeometry &g) {
    for (int k = 0; k < 2; ++k) {
        EDGE_LINE &r = records[k];
        r = EDGE_LINE{};
        r.base = g.along * 16;
        r.direction = g.rows ? 1 : 0;
        r.edges = g_finderState.edges[k];
        r.capacity = kFinderLineEdges;
        r.ratio = kFinderLineRatio;
        r.minStep = kFinderLineMinStep;
    }
}

void RunPass(const FINDER_MODULE *table, int count, const PassSlots &slots, REGION_QUAD *region,
             const PassGeometry &g) {
    if (!AnyWants(table, count, slots)) return;
    EDGE_LINE *records = g_passRecords;
    PrepareRecords(records, g);
    FINDER_LINE line{g_image.data, g_image.width, g_image.height, g_image.widthCopy, 0, region, nullptr, nullptr};
    const i64 stride = g_image.width;
    int slot = 0;
    for (i32 pos = g.first; pos < g.end; pos += kFinderLineStep) {
        if (g_finderState.lockFlag == 0) Loc_LockWinningFinder();
        EDGE_LINE &cur = records[slot];
        cur.samples = g.rows ? g_image.data + pos * stride + g.along : g_image.data + g.along * stride + pos;
        cur.sampleCount = g.count;
        cur.linePosition16 = pos * 16;
        cur.linePosition = pos;
        if (g.rows) {
            Prof_RowEdges(&cur);
        } else {
            Prof_ColumnEdges(&cur);
        }
        if (!QrQueueReady()) return;
        line.current = &cur;
        line.previous = &records[1 - slot];
        line.limit = g.rows ? g_image.height - 1 : pos;
        CallLineHandlers(table, count, slots, &line);
        slot = 1 - slot;
    }
}

// No lines without pixels, or for a frame whose rows the decoder would not take.
bool FrameUsable() {
    return g_image.data != nullptr && g_image.width > 0 && g_image.height > 0 && g_image.widthCopy == g_image.width;
}

}  // namespace

void Loc_ResetFinderTable(const FINDER_MODULE *table, int count, REGION_QUAD *region, REGION_QUAD *unaligned) {
    for (int k = 0; table != nullptr && k < count; ++k)
        if (table[k].reset != nullptr) table[k].reset(region, unaligned);
    for (u8 &s : g_finderState.success) s = 0;
    g_finderState.lockedId = kFinderNoneLocked;
    g_finderState.lockFlag = 0;
}

void Loc_ResetFinders(REGION_QUAD *region, REGION_QUAD *unaligned) {
    Loc_ResetFinderTable(g_finderTable, kFinderEntries, region, unaligned);
}

int Loc_RunFinderTable(const FINDER_MODULE *table, int count, REGION_QUAD *region) {
    if (region == nullptr) return 0;
    ClearFinderEdges();
    if (Loc_RegionLooksLinear(region) == 1) return 1;
    if (table == nullptr || count <= 0) return 0;
    const POINT_I32 *c = region->c;
    const bool usable = FrameUsable();
    const i32 w = usable ? g_image.width : 0;
    const i32 h = usable ? g_image.height : 0;
    RunPass(table, count, kRowSlots, region,
            CutPass(c[kTopLeft].y, c[kBottomRight].y, c[kTopLeft].x, c[kTopRight].x, h, w, true));
    CallFinishers(table, count, kRowSlots);
    ClearFinderEdges();
    RunPass(table, count, kColumnSlots, region,
            CutPass(c[kTopLeft].x, c[kTopRight].x, c[kTopLeft].y, c[kBottomLeft].y, w, h, false));
    CallFinishers(table, count, kColumnSlots);
    return 0;
}

int Loc_RunFinders(REGION_QUAD *region) { return Loc_RunFinderTable(g_finderTable, kFinderEntries, region); }

int Loc_OtherFinderSucceeded(int id) {
    for (int k = 0; k < 8; ++k)
        if (k != id && g_finderState.success[k] != 0) return 1;
    return 0;
}

int Loc_LockWinningFinder() {
    for (int k = 0; k < 8; ++k) {
        if (g_finderState.success[k] == 1) {
            g_finderState.lockedId = static_cast<u16>(k);
            g_finderState.lockFlag = 1;
            return k;
        }
    }
    return kFinderNoWinner;
}

int Loc_GetWinningFinder() {
    return g_finderState.lockFlag != 0 ? g_finderState.lockedId : Loc_LockWinningFinder();
}

// ---------------------------------------------------------------------------------------
// Line handlers for lines built elsewhere

namespace {

int RunLineHandlers(FINDER_LINE *line, const FINDER_MODULE *table, u16 count, const PassSlots &slots,
                    i32 direction) {
    if (line == nullptr || table == nullptr || count == 0) return 0;
    if (line->current == nullptr || line->current->direction != direction) return 0;
    if (line->previous != nullptr && line->previous->direction != direction) return 0;
    int called = 0;
    for (int k = 0; k < count; ++k) {
        if (!Wants(table[k], slots.wants)) continue;
        const FinderLineFn fn = table[k].*slots.line;
        if (fn == nullptr) continue;
        fn(line);
        ++called;
    }
    return called;
}

// The two records of a job or a line set.
EDGE_LINE g_setRecords[2];

// Any of the first count entries answering its wants slot with a non-zero value.
bool AnyAnswers(const FINDER_MODULE *table, int count, FinderWantsFn FINDER_MODULE::*wants) {
    for (int k = 0; k < count; ++k) {
        const FinderWantsFn fn = table[k].*wants;
        if (fn != nullptr && fn() != 0) return true;
    }
    return false;
}

bool JobUsable(const COLUMN_JOB *job) {
    if (job == nullptr || job->busy != 0 || job->edges == nullptr || job->table == nullptr) return false;
    if (job->count == 0 || job->step == 0 || !FrameUsable()) return false;
    if (job->left < 0 || job->top < 0 || job->left >= job->right || job->top >= job->bottom) return false;
    return job->right <= g_image.width && job->bottom <= g_image.height;
}

}  // namespace

int Loc_RunRowLineHandlers(FINDER_LINE *line, const FINDER_MODULE *table, u16 count) {
    return RunLineHandlers(line, table, count, kRowSlots, 1);
}

int Loc_RunColumnLineHandlers(FINDER_LINE *line, const FINDER_MODULE *table, u16 count) {
    return RunLineHandlers(line, table, count, kColumnSlots, 0);
}

void Loc_RunColumnJob(COLUMN_JOB *job) {
    if (!JobUsable(job) || !AnyAnswers(job->table, job->count, &FINDER_MODULE::wantsColumns)) return;
    std::memset(job->edges, 0, static_cast<size_t>(job->capacity) * sizeof(EDGE_ITEM));
    const u32 half = job->capacity / 2;
    const u32 sizes[2] = {half, job->capacity - half};
    EDGE_LINE *records = g_setRecords;
    for (int k = 0; k < 2; ++k) {
        EDGE_LINE &r = records[k];
        r = EDGE_LINE{};
        r.base = job->top * 16;
        r.direction = 0;
        r.edges = job->edges + (k == 0 ? 0 : half);
        r.capacity = static_cast<i32>(sizes[k] < kFinderLineEdges ? sizes[k] : kFinderLineEdges);
        r.ratio = job->ratio;
        r.minStep = job->minStep;
    }
    FINDER_LINE line{g_image.data, g_image.width, g_image.height, g_image.widthCopy, g_image.height, nullptr,
                     nullptr, nullptr};
    const i64 stride = g_image.width;
    int slot = 0;
    for (i32 x = job->left + job->step / 2; x < job->right; x += job->step) {
        EDGE_LINE &cur = records[slot];
        cur.samples = g_image.data + job->top * stride + x;
        cur.sampleCount = job->bottom - job->top;
        cur.linePosition16 = x * 16;
        cur.linePosition = x;
        Prof_ColumnEdges(&cur);
        cur.samples = g_image.data + x;
        cur.sampleCount = g_image.height;
        line.current = &cur;
        line.previous = &records[1 - slot];
        Loc_RunColumnLineHandlers(&line, job->table, job->count);
        slot = 1 - slot;
    }
}

void Loc_RunLineSet(int rows, LINE_SET *set, const FINDER_MODULE *table, u16 count) {
    if (set == nullptr || table == nullptr || count == 0 || set->active == 0 || set->lineCount <= 0) return;
    if (set->edges == nullptr || set->risingCounts == nullptr || set->fallingCounts == nullptr ||
        set->positions == nullptr || !FrameUsable())
        return;
    const PassSlots &slots = rows != 0 ? kRowSlots : kColumnSlots;
    if (!AnyAnswers(table, count, slots.wants)) return;
    EDGE_LINE *records = g_setRecords;
    for (int k = 0; k < 2; ++k) {
        records[k] = EDGE_LINE{};
        records[k].direction = rows != 0 ? 1 : 0;
        records[k].ratio = 1;
        records[k].minStep = 1;
    }
    FINDER_LINE line{g_image.data, g_image.width, g_image.height, g_image.widthCopy, g_image.height, nullptr,
                     nullptr, nullptr};
    const i32 across = rows != 0 ? g_image.height : g_image.width;
    const i64 stride = g_image.width;
    int slot = 0;
    for (i32 j = 0; j < set->lineCount; ++j) {
        const i32 pos = set->positions[j];
        const i32 rising = set->risingCounts[j];
        const i32 falling = set->fallingCounts[j];
        if (pos < 0 || pos >= across || set->edges[j] == nullptr || rising < 0 || falling < 0 ||
            rising + falling > kFinderLineEdges)
            continue;
        EDGE_LINE &cur = records[slot];
        cur.linePosition16 = pos * 16;
        cur.linePosition = pos;
        cur.edges = set->edges[j];
        cur.risingCount = rising;
        cur.fallingCount = falling;
        cur.edgeCount = rising + falling;
        cur.capacity = rising + falling;
        cur.samples = rows != 0 ? g_image.data + pos * stride : g_image.data + pos;
        cur.sampleCount = rows != 0 ? g_image.width : g_image.height;
        line.current = &cur;
        line.previous = &records[1 - slot];
        if (rows != 0) {
            Loc_RunRowLineHandlers(&line, table, count);
        } else {
            Loc_RunColumnLineHandlers(&line, table, count);
        }
        slot = 1 - slot;
    }
}

}  // namespace vexo
