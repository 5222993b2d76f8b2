// Edge runs along rows and columns and the trackers that follow an edge from row to row (or
// column to column) of the module's image record.
#include "datamatrix/dm_segment.h"

namespace vexo {

namespace {

inline i32 Abs(i32 v) { return v < 0 ? -v : v; }
inline i32 Min(i32 a, i32 b) { return a < b ? a : b; }
inline i32 Max(i32 a, i32 b) { return a > b ? a : b; }

// Threshold of a run whose rule level is level: automatic below 1, given up to 255, and from
// 256 on the larger of the automatic quarter rule and the argument's low byte.
i32 RunContrast(i32 level, i32 contrast) {
    if (contrast < 1) return level < 73 ? 10 : (level - 40) / 3;
    if (contrast <= 255) return contrast;
    return Max(level < 84 ? 10 : (level - 40) >> 2, contrast & 0xFF);
}

// One polarity along a line of samples `stride` bytes apart. A falling run may start only at
// or below levelLimit; a rising run ends on the first sample above it. No run starts on the
// last sample: its neighbour would lie past the line.
i32 EdgeRuns(const u8 *s, i32 stride, i32 length, bool rising, i32 *positions, i32 capacity, u8 *bright, u8 *dark,
             u8 *widths, i32 levelLimit, i32 contrast) {
    if (s == nullptr || length < 2 || capacity <= 0) return 0;
    const i32 last = length - 1;
    const auto at = [&](i32 i) { return static_cast<i32>(s[static_cast<i64>(i) * stride]); };
    const auto on = [&](i32 a, i32 b) { return rising ? b > a : b < a; };  // b continues the run from a
    i32 n = 0;
    i32 p = 0;
    while (p < last && n < capacity) {
        if (!on(at(p), at(p + 1)) || (!rising && at(p) > levelLimit)) {
            ++p;
            continue;
        }
        i32 e = p;
        for (;;) {
            if (e + 1 <= last && on(at(e), at(e + 1))) {
                ++e;
            } else if (e + 2 <= last && on(at(e), at(e + 2))) {
                e += 2;  // one sample that does not follow is bridged
            } else {
                break;
            }
            if (rising && at(e) > levelLimit) break;
        }
        const i32 sp = at(p), se = at(e);
        const i32 step = rising ? se - sp : sp - se;
        const i32 width = e - p + 2;
        if (step >= RunContrast(rising ? se : sp, contrast) && width <= 30) {
            i64 moment = 0;
            for (i32 j = p; j < e; ++j) moment += static_cast<i64>(j) * (rising ? at(j + 1) - at(j) : at(j) - at(j + 1));
            positions[n] = static_cast<i32>(16 * moment / step + 8);
            bright[n] = static_cast<u8>(rising ? se : sp);
            dark[n] = static_cast<u8>(rising ? sp : se);
            widths[n] = static_cast<u8>(width);
            ++n;
        }
        p = e;
    }
    return n;
}

}  // namespace

i32 DM_EdgeRunsFallingRow(const u8 *line, i32 length, i32 *positions, i32 capacity, u8 *brightLevels,
                          u8 *darkLevels, u8 *widths, i32 levelLimit, i32 contrast) {
    return EdgeRuns(line, 1, length, false, positions, capacity, brightLevels, darkLevels, widths, levelLimit, contrast);
}

i32 DM_EdgeRunsRisingRow(const u8 *line, i32 length, i32 *positions, i32 capacity, u8 *brightLevels,
                         u8 *darkLevels, u8 *widths, i32 levelLimit, i32 contrast) {
    return EdgeRuns(line, 1, length, true, positions, capacity, brightLevels, darkLevels, widths, levelLimit, contrast);
}

i32 DM_EdgeRunsFallingColumn(const u8 *line, i32 length, i32 *positions, i32 capacity, u8 *brightLevels,
                             u8 *darkLevels, u8 *widths, i32 levelLimit, i32 contrast) {
    return EdgeRuns(line, g_dmImage.width, length, false, positions, capacity, brightLevels, darkLevels, widths,
                    levelLimit, contrast);
}

i32 DM_EdgeRunsRisingColumn(const u8 *line, i32 length, i32 *positions, i32 capacity, u8 *brightLevels,
                            u8 *darkLevels, u8 *widths, i32 levelLimit, i32 contrast) {
    return EdgeRuns(line, g_dmImage.width, length, true, positions, capacity, brightLevels, darkLevels, widths,
                    levelLimit, contrast);
}

void DM_ScanRowEdges(const u8 *row, i32 length, i32 *risingPositions, i32 *fallingPositions, i32 capacity,
                     u8 *risingBright, u8 *fallingBright, u8 *risingWidths, u8 *fallingWidths, i32 *risingCount,
                     i32 *fallingCount, i32 levelLimit, i32 contrast) {
    i32 nr = 0, nf = 0;
    if (row != nullptr && length >= 2) {
        const i32 last = length - 1;
        i32 p = 0;
        while (p < last) {
            const i32 sp = row[p];
            const bool falling = row[p + 1] < sp && sp <= levelLimit;
            const bool rising = row[p + 1] > sp;
            if (!falling && !rising) {
                ++p;
                continue;
            }
            const auto on = [&](i32 a, i32 b) { return rising ? row[b] > row[a] : row[b] < row[a]; };
            i32 e = p;
            for (;;) {
                if (e + 1 <= last && on(e, e + 1)) {
                    ++e;
                } else if (e + 2 <= last && on(e, e + 2)) {
                    e += 2;
                } else {
                    break;
                }
                if (rising && row[e] > levelLimit) break;
            }
            const i32 se = row[e];
            const i32 step = rising ? se - sp : sp - se;
            const i32 level = rising ? se : sp;
            const i32 t = contrast > 0 ? contrast : (level < 73 ? 10 : (level - 40) / 3);
            const i32 width = e - p + 1;
            i32 *count = rising ? &nr : &nf;
            if (step >= t && width <= 30 && *count < capacity) {
                i64 moment = 0;
                for (i32 j = p; j < e; ++j) moment += static_cast<i64>(j) * (rising ? row[j + 1] - row[j] : row[j] - row[j + 1]);
                const i32 pos = static_cast<i32>(16 * moment / step + 8);
                if (rising) {
                    risingPositions[nr] = pos;
                    risingBright[nr] = static_cast<u8>(level);
                    risingWidths[nr] = static_cast<u8>(width);
                } else {
                    fallingPositions[nf] = pos;
                    fallingBright[nf] = static_cast<u8>(level);
                    fallingWidths[nf] = static_cast<u8>(width);
                }
                ++*count;
            }
            p = e;
        }
    }
    if (risingCount != nullptr) *risingCount = nr;
    if (fallingCount != nullptr) *fallingCount = nf;
}

namespace {

// One end of a track as the shared tracker sees it: `along` the 1/16 coordinate across the
// edge, `line` the row (edge tracks) or column (arm tracks) the end lies on.
struct TrackEnd {
    i32 *along;
    i32 *line;
    u8 *level;
    u8 *width;
    i32 *drift;
    i32 *steps;
    i32 *misses;
    i32 polarity;
    i32 threshold;
    bool column;  // arm track: the window runs down a column
};

enum TrackResult { kTrackShort = 0, kTrackDone = 1, kTrackLost = 2 };

// Up to three edges of the end's polarity in the window around pred at line `at`, positions
// in 1/16 pixel of the image.
i32 ProbeEdges(const TrackEnd &end, i32 at, i32 pred, i32 t, i32 *pos, u8 *level, u8 *widths) {
    const DM_IMAGE &img = g_dmImage;
    if (img.pixels == nullptr) return 0;
    const i32 w = *end.width;
    const i32 extent = end.column ? img.height : img.width;
    const i32 lines = end.column ? img.width : img.height;
    if (at < 0 || at >= lines) return 0;
    const i32 a0 = Max(((pred + 8) >> 4) - w, 0);
    const i32 a1 = Min(a0 + 2 * w, extent - 1);
    const i32 n = a1 - a0 + 1;
    if (n < 2) return 0;
    u8 dark[3];
    const i32 limit = *end.level + 40;
    i32 found;
    if (end.column) {
        const u8 *s = img.pixels + static_cast<i64>(a0) * img.width + at;
        found = end.polarity == 0 ? DM_EdgeRunsFallingColumn(s, n, pos, 3, level, dark, widths, limit, t)
                                  : DM_EdgeRunsRisingColumn(s, n, pos, 3, level, dark, widths, limit, t);
    } else {
        const u8 *s = img.pixels + static_cast<i64>(at) * img.width + a0;
        found = end.polarity == 0 ? DM_EdgeRunsFallingRow(s, n, pos, 3, level, dark, widths, limit, t)
                                  : DM_EdgeRunsRisingRow(s, n, pos, 3, level, dark, widths, limit, t);
    }
    for (i32 i = 0; i < found; ++i) pos[i] += a0 * 16;
    return found;
}

// The threshold follows a taken edge's level; a and b are 1 and 2 in the first phase, 2 and
// 3 after it.
i32 FollowThreshold(i32 t, i32 level, i32 a, i32 b) {
    if (level < 84) return t - a > 10 ? t - b : 10;
    const i32 u = (level - 40) >> 2;
    return u < t - a ? t - b : u;
}

// Runs both phases towards limit in direction dir (-1 or +1); firstSteps single-line steps
// while steps is below 5. kTrackLost: the edge was lost in the first phase.
i32 TrackFirst(const TrackEnd &end, i32 dir, i32 firstSteps, i32 *threshold) {
    i32 t;
    if (g_dmOptions.segmentFinderOption != 0) {
        t = end.threshold;
    } else {
        t = *end.level > 83 ? (*end.level - 40) >> 2 : 10;
    }
    i32 pos[3];
    u8 level[3], width[3];
    for (i32 i = 0; i < firstSteps && *end.steps < 5; ++i) {
        const i32 pred = *end.along;
        const i32 n = ProbeEdges(end, *end.line + dir, pred, t, pos, level, width);
        i32 best = 36, taken = -1;
        for (i32 k = 0; k < n; ++k) {
            const i32 d = Abs(pos[k] - pred);
            if (d <= best) {
                best = d;
                taken = k;
            }
        }
        if (taken < 0) return kTrackLost;
        const i32 d = pos[taken] - pred;
        *end.along += d;
        *end.line += dir;
        *end.drift += dir * d;
        *end.steps += 1;
        *end.level = level[taken];
        *end.width = width[taken];
        t = FollowThreshold(t, level[taken], 1, 2);
    }
    *threshold = t;
    return *end.steps <= 4 ? kTrackShort : kTrackDone;
}

i32 TrackSecond(const TrackEnd &end, i32 dir, i32 limit, bool takeWidthLater, i32 t) {
    i32 r = dir < 0 ? *end.line - limit : limit - *end.line;
    const i32 base = Abs(4 * *end.drift / *end.steps) >= 64 ? 2 : 4;
    bool recovering = false;
    i32 recoveryLimit = 0, recoveryMisses = 0, jump = base;
    i32 pos[3];
    u8 level[3], width[3];
    while (r > 0) {
        i32 j;
        if (!recovering) {
            j = Min(base, r);
            r -= j;
        } else {
            if (recoveryLimit <= jump) break;
            j = jump;
            r -= 1;
        }
        const i32 p = static_cast<i32>(static_cast<i64>(dir) * *end.drift * j / *end.steps);
        const i32 pred = *end.along + p;
        const i32 n = ProbeEdges(end, *end.line + dir * j, pred, t, pos, level, width);
        i32 best = 36, taken = -1;
        for (i32 k = 0; k < n; ++k) {
            const i32 d = Abs(pos[k] - pred);
            const i32 reach = k == 0 ? Max(9, 9 * j) : Max(9, best * j / 4);
            if (d <= reach) {
                best = d;
                taken = k;
            }
        }
        if (taken >= 0) {
            const i32 s = pos[taken] - pred + p;
            *end.along += s;
            *end.line += dir * j;
            *end.drift += dir * s;
            *end.steps += j;
            *end.level = level[taken];
            if (takeWidthLater) *end.width = width[taken];
            t = FollowThreshold(t, level[taken], 2, 3);
            recovering = false;
            recoveryMisses = 0;
            jump = base;
        } else if (!recovering) {
            r += j;
            recovering = true;
            const i32 drift = Abs(*end.drift);
            recoveryLimit = drift > 16 * *end.steps ? static_cast<i32>(static_cast<i64>(*end.steps) * 112 / drift) : 5;
            recoveryLimit = Min(recoveryLimit, r - 1);
            jump = 1;
        } else {
            *end.misses += 1;
            ++recoveryMisses;
            ++jump;
            if (recoveryLimit < jump) break;
        }
    }
    if (recovering) *end.misses -= recoveryMisses;
    return kTrackDone;
}

// Both phases; the first-phase result when it ends the call.
// down: the track of DM_TrackDown, whose upper end is followed once when this call brings
// it to five steps.
i32 RunTracker(const TrackEnd &end, i32 dir, i32 limit, i32 firstSteps, bool takeWidthLater, DM_EDGE_TRACK *down) {
    const i32 before = *end.steps;
    i32 t = 10;
    const i32 first = TrackFirst(end, dir, firstSteps, &t);
    if (first != kTrackDone) return first;
    if (down != nullptr && before < 5) DM_TrackUp(down, 0);
    return TrackSecond(end, dir, limit, takeWidthLater, t);
}

TrackEnd TopEnd(DM_EDGE_TRACK *k) {
    return TrackEnd{&k->topX, &k->topY, &k->topLevel, &k->topWidth, &k->drift, &k->steps, &k->misses,
                    k->polarity, k->threshold, false};
}

TrackEnd BottomEnd(DM_EDGE_TRACK *k) {
    return TrackEnd{&k->bottomX, &k->bottomY, &k->bottomLevel, &k->bottomWidth, &k->drift, &k->steps, &k->misses,
                    k->polarity, k->threshold, false};
}

TrackEnd LeftEnd(DM_ARM_TRACK *k) {
    return TrackEnd{&k->leftY, &k->leftX, &k->leftLevel, &k->leftWidth, &k->drift, &k->steps, &k->misses,
                    k->polarity, k->threshold, true};
}

TrackEnd RightEnd(DM_ARM_TRACK *k) {
    return TrackEnd{&k->rightY, &k->rightX, &k->rightLevel, &k->rightWidth, &k->drift, &k->steps, &k->misses,
                    k->polarity, k->threshold, true};
}

}  // namespace

i32 DM_TrackUp(DM_EDGE_TRACK *track, i32 limitRow) {
    if (track == nullptr || track->steps < 0) return 0;
    const i32 limit = Max(limitRow, 0);
    if (track->topY <= limit) return 0;
    const i32 r = RunTracker(TopEnd(track), -1, limit, Min(track->topY - limit, 5), true, nullptr);
    return r == kTrackShort ? 0 : 1;
}

i32 DM_TrackDown(DM_EDGE_TRACK *track, i32 limitRow) {
    if (track == nullptr || track->steps < 0) return 0;
    const i32 limit = Min(limitRow, g_dmImage.height - 1);
    const i32 r = RunTracker(BottomEnd(track), 1, limit, Min(limit - track->bottomY, 5 - track->steps), false,
                             track);
    if (r == kTrackLost) {
        track->closed = 1;
        return 1;
    }
    if (r == kTrackShort) return 0;
    if (track->bottomY != limit) track->closed = 1;
    return 1;
}

i32 DM_TrackLeft(DM_ARM_TRACK *track, i32 limitColumn) {
    if (track == nullptr || track->steps < 0) return 0;
    const i32 limit = Max(limitColumn, 0);
    if (track->leftX <= limit) return 0;
    const i32 r = RunTracker(LeftEnd(track), -1, limit, Min(track->leftX - limit, 5), false, nullptr);
    return r == kTrackShort ? 0 : 1;
}

i32 DM_TrackRight(DM_ARM_TRACK *track, i32 limitColumn) {
    if (track == nullptr || track->steps < 0) return 0;
    const i32 limit = Min(limitColumn, g_dmImage.width - 1);
    const i32 r = RunTracker(RightEnd(track), 1, limit, Min(limit - track->rightX, 5 - track->steps), false,
                             nullptr);
    return r == kTrackShort ? 0 : 1;
}

i32 DM_StartTracks(i32 *positions, const u8 *brightLevels, const u8 *widths, i32 count, i32 polarity, i32 row,
                   DM_EDGE_TRACK *tracks, i32 trackCount, i32 capacity) {
    if (positions == nullptr || brightLevels == nullptr || widths == nullptr || tracks == nullptr) return trackCount;
    if (count <= 0 || trackCount >= capacity || row < 0 || row > g_dmImage.height) return trackCount;
    const i32 existing = trackCount;
    const i32 right = (g_dmImage.width - 5) * 16;
    for (i32 i = 0; i < count && trackCount < capacity; ++i) {
        // An edge continuing a same-polarity track that ends on this row starts nothing: the
        // bisection of each such track picks the first edge from bottomX - 48 on.
        bool used = false;
        for (i32 k = 0; k < existing && !used; ++k) {
            const DM_EDGE_TRACK &t = tracks[k];
            if (t.polarity != polarity || t.bottomY != row) continue;
            i32 lo = 0, hi = count;
            while (lo < hi) {
                const i32 mid = lo + (hi - lo) / 2;
                if (positions[mid] < t.bottomX - 48) lo = mid + 1; else hi = mid;
            }
            used = lo == i && positions[lo] <= t.bottomX + 48;
        }
        if (used || positions[i] <= 80 || positions[i] >= right) continue;
        DM_EDGE_TRACK &n = tracks[trackCount];
        n = DM_EDGE_TRACK{};
        n.state = 1;
        n.polarity = polarity;
        n.topX = n.bottomX = positions[i];
        n.topY = n.bottomY = row;
        n.seedX = positions[i] / 16;
        n.seedY = row;
        n.topLevel = n.bottomLevel = brightLevels[i];
        n.topWidth = n.bottomWidth = widths[i];
        if (DM_TrackUp(&n, 0) == 1) ++trackCount;
    }
    return trackCount;
}

}  // namespace vexo
