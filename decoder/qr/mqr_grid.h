// Micro QR module grid fit: template lines scanned across the finder and the timing
// patterns, their edges grouped into edge lines by template coordinate, the finder's edge
// lines checked for its 1:1:3:1:1 pattern, and three transforms fitted to module centres
// found from the symbol's own edges. Image points in 1/16 pixel; half-module coordinates
// count half modules from the finder's outer corner (module (i, j) centre at 2i+1, 2j+1).
#pragma once

#include "core/types.h"
#include "qr/mqr_locate.h"
#include "toolkit/geometry.h"
#include "toolkit/perspective.h"

namespace vexo {

inline constexpr i32 kMqrEdgeLines = 34;
inline constexpr i32 kMqrScanPoints = 32;
inline constexpr i32 kMqrScanSamples = 1280;
inline constexpr i32 kMqrMaxTimingPoints = 12;

struct MQR_EDGE_LINE {
    i32 fitted;
    i32 count;
    i32 key;  // template coordinate of its points, half modules
    f32 slope;
    f32 offset;
    LINE_SUMS yOfX;
    LINE_SUMS xOfY;
    i32 minX;
    i32 maxX;
    i32 minY;
    i32 maxY;
    LINE_FIT line;
    i32 dirX;  // direction scaled to 10,000
    i32 dirY;
};

struct MQR_EDGE_SET {
    i32 count;
    MQR_EDGE_LINE lines[kMqrEdgeLines];
    // The acceptance test's model: direction against key, crossings against key.
    LINE_SUMS dirXSums;
    LINE_SUMS dirYSums;
    f64 crossX[3];
    f64 crossY[3];
};

struct MQR_EDGE_POINT {
    GEO_POINT position;
    i32 key;
    i32 kind;  // 1 not yet assigned, 0 assigned
};

struct MQR_EDGE_SCAN {
    GEO_POINT start;
    GEO_POINT end;
    i32 axis;      // 1 key = template y, 0 key = template x
    i32 subpixel;  // 1 sample between 1/16-pixel ends, 0 between whole pixels
    const PERSPECTIVE_F *inverse;
    u8 *samples;
    i32 sampleCapacity;
    i32 minStep;
    MQR_EDGE_POINT *points;
    i32 pointCapacity;
    i32 pointCount;
};

struct MQR_LINE_SCAN {
    const PERSPECTIVE *forward;  // half modules -> image
    const PERSPECTIVE_F *inverse;
    i32 subpixel;
    i32 uFrom;
    i32 vFrom;
    i32 uTo;
    i32 vTo;
    i32 axis;
    MQR_EDGE_LINE *lines;
    i32 lineCapacity;
    i32 lineCount;
};

struct MQR_FORMAT {
    i32 data;     // symbol number x 4 + mask
    i32 version;  // 1..4
    i32 size;     // 11, 13, 15, 17
};

struct MQR_STATE {
    i32 polarity;
    i32 moduleSize;
    PERSPECTIVE moduleToImage;
    PERSPECTIVE halfToImage;
    PERSPECTIVE_F imageToHalf;
    PERSPECTIVE_FIT moduleFit;
    PERSPECTIVE_FIT halfFit;
    PERSPECTIVE_FIT inverseFit;
    MQR_EDGE_SET columnEdges;
    MQR_EDGE_SET rowEdges;
    LINE_FIT finderColumns[6];  // the finder's edge lines of the last grid fit
    LINE_FIT finderRows[6];
    MQR_FORMAT formats[2];
    i32 transposed;
    i32 length;
};

// Zeroes the state and fits the two transforms through the outline: 1, or 0 for a null
// argument or a failed fit.
int MQR_InitGridState(MQR_STATE *s, const MQR_LOCATE *loc);
// 1 with the three transforms fitted to the finder (and the timing modules seen); 0 when
// the finder's edge lines are not found or not usable. Writes the reported corners.
int MQR_FitGrid(MQR_STATE *s);
// Adds module centres k + 1 .. k + 4 of the timing patterns: 0 only when a reference point
// cannot be mapped.
int MQR_ExtendGrid(MQR_STATE *s, i32 k);
int MQR_FitColumnLines(MQR_STATE *s, i32 a, i32 b, i32 c, i32 d, i32 e);
int MQR_FitRowLines(MQR_STATE *s, i32 a, i32 b, i32 c, i32 d, i32 e);
// Edge lines of the template rectangle: the number in use.
i32 MQR_CollectEdgeLines(MQR_LINE_SCAN *q);
// Edge points of one scan: 1 when at least one edge was found.
int MQR_ScanEdges(MQR_EDGE_SCAN *scan);
int MQR_EdgeLineAdd(MQR_EDGE_LINE *line, MQR_EDGE_POINT *p);
int MQR_EdgeLineFit(MQR_EDGE_LINE *line);
// Up to seven fitted lines of the set in ascending key order, their fitted flags cleared:
// how many entries were filled (exactly six fitted lines repeat the sixth as the seventh),
// -1 for a null argument or when no line is fitted. Unfitted lines take no part.
i32 MQR_TakeSortedLines(MQR_EDGE_SET *set, const MQR_EDGE_LINE *out[7]);
// 1 when keys k[i..i+5] show the finder's edges (0, 2, 4, 10, 12, 14 apart up to noise).
i32 MQR_ShowsFinder(const i32 *k, i32 i);
// The start index of the six finder lines (0 or 1) from the two sets' seven keys, or -1.
i32 MQR_FinderSpacing(const i32 columnKeys[7], const i32 rowKeys[7]);

// ---- Fits no decode path calls.

// A one-dimensional perspective map of a parameter t onto a line: x = (p0 t + p1) / (p4 t
// + 1), y = (p2 t + p3) / (p4 t + 1).
struct MQR_LINE_MAP {
    f64 matrix[5][5];
    f64 right[5];
    i32 samples;
    i64 coef[5];  // times scale
    i32 scale;
};
// Adds weighted samples (point, t); reset clears first. 1, or 0 for null arrays.
int MQR_LineMapAdd(MQR_LINE_MAP *m, const GEO_POINT *points, const i32 *t, const i32 *w, i32 count, i32 reset);
// Solves (at least 3 samples): 1, else 0.
int MQR_LineMapSolve(MQR_LINE_MAP *m, i32 scale);
// Reset, add (weights 1) and solve.
int MQR_FitLineMap(MQR_LINE_MAP *m, const GEO_POINT *points, const i32 *t, i32 count, i32 scale);
// The point at integer t: 1, or 0 when the denominator is 0.
int MQR_LineMapPoint(const MQR_LINE_MAP *m, i32 t, GEO_POINT *out);

// A map quadratic along one axis between centred point sets.
struct MQR_CURVED_MAP {
    f64 coef[11];  // x: a1 u^2, a2 u, a3 v, a4; y: b1 u^2, b2 u, b3 v, b4; c1 u^2, c2 u, c3 v
    i64 coefInt[11];  // times 2^21
    f64 fromMean[2];
    f64 toMean[2];
};
// At least 6 pairs: 1 fitted, else 0.
int MQR_FitCurvedMap(MQR_CURVED_MAP *m, const GEO_POINT *from, const GEO_POINT *to, i32 count);
// The mapped grid point, rounded: 1, or 0 when the denominator is 0.
int MQR_CurvedMapPoint(const MQR_CURVED_MAP *m, i32 u, i32 v, GEO_POINT *out);
// Grid points (u0..u1) x (v0..v1) through the map (1/16 pixel), read with the frame's
// bilinear sampler (128 outside) into out with the row step: 1, or 0 for bad arguments.
int MQR_SampleCurvedMap(const MQR_CURVED_MAP *m, i32 u0, i32 v0, i32 u1, i32 v1, u8 *out, i32 rowStep);

}  // namespace vexo
