// Resampling and edge routines of the re-fit that no decode path calls: projection
// resampling of a small grey image, resampling a finder window, and row/column edge lists.
#include "core/pixel.h"
#include "qr/qr_refit.h"
#include "toolkit/perspective.h"

namespace vexo {

namespace {

i32 AbsI(i32 v) { return v < 0 ? -v : v; }

u8 g_projection[kQrProjectionMaxSide * kQrProjectionMaxSide];

// One row (direction 1) or column (0) of the installed image through the toolkit's edge list.
i32 EdgesAlongLine(i32 index, i32 direction, i32 ratio, i32 minStep, EDGE_ITEM *edges, i32 capacity) {
    const i32 lines = direction == 1 ? g_image.height : g_image.width;
    if (edges == nullptr || capacity <= 0 || g_image.data == nullptr || index < 0 || index >= lines) return 0;
    EDGE_LINE line{};
    line.samples = g_image.data + (direction == 1 ? static_cast<i64>(index) * g_image.width : index);
    line.sampleCount = direction == 1 ? g_image.width : g_image.height;
    line.linePosition = index;
    line.linePosition16 = 16 * index;
    line.direction = direction;
    line.edges = edges;
    line.capacity = capacity;
    line.ratio = ratio;
    line.minStep = minStep;
    if (direction == 1) {
        Prof_RowEdges(&line);
    } else {
        Prof_ColumnEdges(&line);
    }
    return line.edgeCount;
}

}  // namespace

i32 QR_ReducePeaks(const i32 *profile, i32 length, i32 k, i32 *out) {
    if (profile == nullptr || out == nullptr || k <= 0 || length < 3 || length > kQrProjectionMaxSide) return 0;
    i32 d2[kQrProjectionMaxSide];
    d2[0] = d2[length - 1] = 0;
    for (i32 i = 1; i < length - 1; ++i) d2[i] = profile[i - 1] - 2 * profile[i] + profile[i + 1];
    i32 peaks[kQrProjectionMaxSide];
    i32 count = 0;
    for (i32 i = 1; i < length - 1; ++i) {
        if (d2[i] > 0 && d2[i] >= d2[i - 1] && d2[i] > d2[i + 1]) peaks[count++] = i;
    }
    if (count < k) return 0;
    // Drop the weakest peak (the later one on ties) until k remain.
    while (count > k) {
        i32 weakest = 0;
        for (i32 j = 1; j < count; ++j) {
            if (d2[peaks[j]] <= d2[peaks[weakest]]) weakest = j;
        }
        for (i32 j = weakest; j + 1 < count; ++j) peaks[j] = peaks[j + 1];
        --count;
    }
    for (i32 j = 0; j < k; ++j) out[j] = peaks[j];
    return k;
}

i32 QR_FindProfileMinima(const i32 *profile, i32 length, i32 k, i32 *out) {
    if (profile == nullptr || out == nullptr || k <= 0 || length < 3 || length > kQrProjectionMaxSide) return 0;
    i32 minima[kQrProjectionMaxModules];
    i32 count = 0;
    for (i32 i = 1; i < length - 1 && count < kQrProjectionMaxModules; ++i) {
        if (profile[i] < profile[i - 1] && profile[i] <= profile[i + 1]) minima[count++] = i;
    }
    if (count != k) return QR_ReducePeaks(profile, length, k, out);
    for (i32 j = 0; j < k; ++j) out[j] = minima[j];
    return k;
}

i32 QR_ResampleByProjection(u8 *image, i32 s, i32 k) {
    if (image == nullptr || s < 3 || s > kQrProjectionMaxSide || k < 1 || k > s || k > kQrProjectionMaxModules) return 0;
    i32 columns[kQrProjectionMaxSide] = {};
    i32 rows[kQrProjectionMaxSide] = {};
    for (i32 y = 1; y < s - 1; ++y) {
        for (i32 x = 1; x < s - 1; ++x) {
            const i32 gx = AbsI(image[y * s + x + 1] - image[y * s + x - 1]);
            const i32 gy = AbsI(image[(y + 1) * s + x] - image[(y - 1) * s + x]);
            columns[x] += gx - gy;
            rows[y] += gy - gx;
        }
    }
    i32 cx[kQrProjectionMaxModules], cy[kQrProjectionMaxModules];
    if (QR_FindProfileMinima(columns, s, k, cx) != k || QR_FindProfileMinima(rows, s, k, cy) != k) return 0;
    u8 samples[kQrProjectionMaxModules * kQrProjectionMaxModules];
    for (i32 j = 0; j < k; ++j) {
        for (i32 i = 0; i < k; ++i) samples[j * k + i] = image[cy[j] * s + cx[i]];
    }
    for (i32 i = 0; i < k * k; ++i) image[i] = samples[i];
    return 1;
}

i32 QR_ResampleByProjectionSmall(u8 *image, i32 s, i32 k) { return k < 50 ? QR_ResampleByProjection(image, s, k) : 0; }

i32 QR_ResampleFinderWindow(const QR_FINDER_PATTERN *finder, i32 k, u8 *out) {
    if (finder == nullptr || out == nullptr || k < 7 || k > kQrProjectionMaxModules || g_frame.sampleBilinear == nullptr) return 0;
    // Ring corners at the centres of the finder's corner modules, in tenths of a module.
    const GEO_POINT from[4] = {{5, 5}, {65, 5}, {65, 65}, {5, 65}};
    PERSPECTIVE t{};
    PERSPECTIVE_FIT fit{};
    fit.from = from;
    fit.to = finder->corners;
    fit.count = 4;
    fit.reset = 1;
    fit.outInt = &t;
    fit.scale = 1 << 20;
    if (Geo_FitPerspectiveInt(&fit, 1) != 1) return 0;
    const i32 side = 5 * k + 2;
    for (i32 j = 0; j < side; ++j) {
        for (i32 i = 0; i < side; ++i) {
            // Sample i sits at (2 i - 1) / 10 module: five a module, one spare on each side.
            i32 x = 0, y = 0;
            const bool mapped = Geo_MapPointPerspective(&t, 2 * i - 1, 2 * j - 1, &x, &y) == 1;
            g_projection[j * side + i] = static_cast<u8>(mapped ? g_frame.sampleBilinear(x, y, 0) : 0);
        }
    }
    if (QR_ResampleByProjection(g_projection, side, k) != 1) return 0;
    for (i32 i = 0; i < k * k; ++i) out[i] = g_projection[i];
    return 1;
}

i32 QR_EdgesAlongRow(i32 row, i32 ratio, i32 minStep, EDGE_ITEM *edges, i32 capacity) {
    return EdgesAlongLine(row, 1, ratio, minStep, edges, capacity);
}

i32 QR_EdgesAlongColumn(i32 column, i32 ratio, i32 minStep, EDGE_ITEM *edges, i32 capacity) {
    return EdgesAlongLine(column, 0, ratio, minStep, edges, capacity);
}

}  // namespace vexo
