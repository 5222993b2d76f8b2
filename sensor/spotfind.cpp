// Aimer spot finding. Every detector makes one pass over the frame (and one for the
// threshold's histogram) with its work buffers on the stack. Indices come from the frame's
// own sizes, checked against the buffers before any write.
#include <math.h>
#include <stdint.h>
#include <string.h>

#include "spotfind.h"
#include "spotfind_internal.h"

namespace {

constexpr int kLevels = 256;
// A band column qualifies with a run of at least this many rows.
constexpr int kMinRun = 31;
// The band's line always ends at this x, whatever the frame's width.
constexpr int kLineEndX = 479;
// Every qualifying column of x = 1 .. width - 2 gives two points.
constexpr int kBandMaxPoints = 2 * (SPOTFIND_BAND_MAX_WIDTH - 2);
constexpr int kMaxLabels = 199;
// Degrees per radian as the angles have always been measured (not 180 / pi).
constexpr double kDegrees = 57.26;
// Arms within this many degrees of perpendicular make a cross (exclusive bounds 69, 111).
constexpr int kPerpendicularLow = 70;
constexpr int kPerpendicularHigh = 110;

struct Frame {
    const uint8_t *pixels;
    int width;
    int height;
    uint8_t at(int x, int y) const { return pixels[static_cast<int64_t>(y) * width + x]; }
};

// Bright and dark against the threshold, for the eight neighbours of (x, y) inside the frame.
int bright_neighbours(const Frame &f, int x, int y, int threshold) {
    int n = 0;
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx)
            if ((dx != 0 || dy != 0) && f.at(x + dx, y + dy) > threshold) ++n;
    return n;
}

int threshold_of(const Frame &f, const __ZPT_RECT__ &rect) {
    int bins[kLevels] = {};
    Img_Hist(f.pixels, f.width, &rect, bins);
    return spot_otsu_threshold(bins);
}

// The caller's rectangle inside the frame (an empty one when it lies outside).
__ZPT_RECT__ clip(const __ZPT_RECT__ &r, int width, int height) {
    __ZPT_RECT__ c = r;
    if (c.top < 0) c.top = 0;
    if (c.left < 0) c.left = 0;
    if (c.right > width) c.right = width;
    if (c.bottom > height) c.bottom = height;
    if (c.right < c.left) c.right = c.left;
    if (c.bottom < c.top) c.bottom = c.top;
    return c;
}

// One column of the band: its longest run between isolated spots and dark gaps.
struct ColumnRun {
    int length;
    int start;
    int end;
};

ColumnRun band_column(const Frame &f, int x, int threshold) {
    ColumnRun best = {0, 0, 0};
    int run_start = 0;
    for (int y = 1; y <= f.height - 2; ++y) {
        bool bright = f.at(x, y) > threshold;
        if (bright && bright_neighbours(f, x, y, threshold) == 0) {
            run_start = y;
        } else if (!bright && f.at(x, y - 1) <= threshold && f.at(x, y + 1) <= threshold) {
            int length = (y - 1) - run_start;
            if (length > best.length) best = {length, run_start, y - 1};
            run_start = y;
        }
    }
    return best;
}

// Float to int as the line's ends are written: truncated, and 0 for a value no int holds.
int trunc_to_int(double v) {
    if (!(v > -2147483648.0 && v < 2147483648.0)) return 0;
    return static_cast<int>(v);
}

// The projection peak: the first centre of five sums whose mean beats the best so far,
// which starts as the first sum at index 0.
int projection_peak(const double *sums, int count) {
    double best = sums[0];
    int index = 0;
    for (int i = 2; i <= count - 3; ++i) {
        double mean = (sums[i - 2] + sums[i - 1] + sums[i] + sums[i + 1] + sums[i + 2]) * 0.2;
        if (mean > best) {
            best = mean;
            index = i;
        }
    }
    return index;
}

struct Outline {
    ___POINT___ left, right, top, bottom;
};

// Edge points of bright areas in raster order: at most SPOTFIND_OUTLINE_MAX_POINTS.
int outline_points(const Frame &f, int threshold, ___POINT___ *pts) {
    int n = 0;
    for (int y = 1; y <= f.height - 2; ++y) {
        for (int x = 1; x <= f.width - 2; ++x) {
            if (f.at(x, y) <= threshold) continue;
            int b = bright_neighbours(f, x, y, threshold);
            if (b < 5 || b > 7) continue;
            pts[n++] = {x, y};
            if (n >= SPOTFIND_OUTLINE_MAX_POINTS) return n;
        }
    }
    return n;
}

void replace_label(uint8_t *labels, int n, uint8_t from, uint8_t to) {
    for (int k = 0; k < n; ++k)
        if (labels[k] == from) labels[k] = to;
}

// Connected groups in point order; points in raster order, so a point's neighbours
// within one row and column come before the points two rows further on. Answers the
// number of labels opened.
int label_points(const ___POINT___ *pts, int n, uint8_t *labels) {
    int opened = 0;
    for (int i = 0; i < n; ++i) {
        if (labels[i] == 0) {
            if (opened == kMaxLabels) break;  // no 200th group: labelling stops here
            labels[i] = static_cast<uint8_t>(++opened);
        }
        for (int j = i + 1; j < n && pts[j].y <= pts[i].y + 1; ++j) {
            if (pts[j].x < pts[i].x - 1 || pts[j].x > pts[i].x + 1) continue;
            uint8_t mine = labels[i], theirs = labels[j];
            if (theirs == 0) {
                labels[j] = mine;
            } else if (theirs != mine) {
                replace_label(labels, n, mine > theirs ? mine : theirs, mine < theirs ? mine : theirs);
            }
        }
    }
    return opened;
}

// The label held by the most points (the lowest on a tie), 0 when none is held.
int winning_label(const uint8_t *labels, int n, int opened) {
    int counts[kMaxLabels + 1] = {};
    for (int k = 0; k < n; ++k) ++counts[labels[k]];
    int winner = 0, most = 0;
    for (int l = 1; l <= opened; ++l) {
        if (counts[l] > most) {
            most = counts[l];
            winner = l;
        }
    }
    return winner;
}

Outline extremes(const ___POINT___ *pts, const uint8_t *labels, int n, int winner, int width, int height) {
    Outline o = {{width, 0}, {0, 0}, {0, height}, {0, 0}};
    for (int k = 0; k < n && winner != 0; ++k) {
        if (labels[k] != winner) continue;
        const ___POINT___ &p = pts[k];
        if (p.x < o.left.x) o.left = p;
        if (p.x > o.right.x) o.right = p;
        if (p.y < o.top.y) o.top = p;
        if (p.y > o.bottom.y) o.bottom = p;
    }
    return o;
}

}  // namespace

int spot_otsu_threshold(const int bins[256]) {
    int64_t total = 0, grey = 0;
    for (int t = 0; t < kLevels; ++t) {
        total += bins[t];
        grey += static_cast<int64_t>(t) * bins[t];
    }
    int64_t c = 0, d = 0;
    double best = -1.0;
    int threshold = 0;
    for (int t = 0; t < kLevels; ++t) {
        c += bins[t];
        d += static_cast<int64_t>(t) * bins[t];
        if (c == 0) continue;
        if (c >= total) break;
        double cd = static_cast<double>(c), nc = static_cast<double>(total - c);
        double diff = static_cast<double>(d) / cd - static_cast<double>(grey - d) / nc;
        double score = diff * diff * cd * nc;
        if (score > best) {
            best = score;
            threshold = t;
        }
    }
    return threshold;
}

extern "C" int Img_Hist(const uint8_t *pixels, int width, const __ZPT_RECT__ *rect, int bins[256]) {
    if (pixels == nullptr || rect == nullptr || bins == nullptr || width <= 0) return 0;
    int left = rect->left < 0 ? 0 : rect->left, right = rect->right > width ? width : rect->right;
    int top = rect->top < 0 ? 0 : rect->top;
    int count = 0;
    for (int y = top; y < rect->bottom; ++y) {
        const uint8_t *row = pixels + static_cast<int64_t>(y) * width;
        for (int x = left; x < right; ++x) ++bins[row[x]];
        if (right > left) count += right - left;
    }
    return count;
}

extern "C" void Img_LstSqr(float out[2], const ___POINT___ *pts, int n, int swap) {
    if (out == nullptr) return;
    out[0] = 0.0f;
    out[1] = 0.0f;
    if (pts == nullptr || n <= 0) return;
    // Float sums about the means: the raw sums of squares of a frame's points exceed a
    // float's exact range, and their difference would lose the line (a level band must
    // come out level).
    float su = 0, sv = 0;
    for (int i = 0; i < n; ++i) {
        su += static_cast<float>(swap != 0 ? pts[i].y : pts[i].x);
        sv += static_cast<float>(swap != 0 ? pts[i].x : pts[i].y);
    }
    const float fn = static_cast<float>(n), mu = su / fn, mv = sv / fn;
    float suu = 0, suv = 0;
    for (int i = 0; i < n; ++i) {
        float du = static_cast<float>(swap != 0 ? pts[i].y : pts[i].x) - mu;
        float dv = static_cast<float>(swap != 0 ? pts[i].x : pts[i].y) - mv;
        suu += du * du;
        suv += du * dv;
    }
    // Points on one u have no slope in this direction: a flat line through their mean.
    out[0] = suu != 0.0f ? suv / suu : 0.0f;
    out[1] = mv - out[0] * mu;
}

extern "C" int Img_Light_Dots(const uint8_t *pixels, int width, int height, __ZPT_RECT__ *rect, int line[4]) {
    if (pixels == nullptr || rect == nullptr || line == nullptr) return -1;
    if (width < 3 || height < 3 || width > SPOTFIND_BAND_MAX_WIDTH) return -1;
    const Frame f = {pixels, width, height};
    const int threshold = threshold_of(f, clip(*rect, width, height));
    ___POINT___ pts[kBandMaxPoints];
    int n = 0, columns = 0, sum = 0;
    for (int x = 1; x <= width - 2; ++x) {
        ColumnRun run = band_column(f, x, threshold);
        if (run.length < kMinRun) continue;
        pts[n++] = {x, run.start};
        pts[n++] = {x, run.end};
        sum += run.length;
        ++columns;
    }
    if (n < 4) return -1;
    float ab[2];
    Img_LstSqr(ab, pts, n, 0);
    line[0] = 0;
    line[1] = trunc_to_int(ab[1]);
    line[2] = kLineEndX;
    line[3] = trunc_to_int(static_cast<double>(static_cast<float>(kLineEndX) * ab[0] + ab[1]));
    return sum / columns;
}

extern "C" int Img_Detect_Cross(const uint8_t *pixels, int width, int height, int point[2]) {
    if (pixels == nullptr || point == nullptr || width < 1 || height < 1) return 0;
    // The sums' buffers hold no more: a larger frame has no cross found here.
    if (width > SPOTFIND_CROSS_MAX_WIDTH || height > SPOTFIND_CROSS_MAX_HEIGHT) return 0;
    double rows[SPOTFIND_CROSS_MAX_HEIGHT] = {};
    double columns[SPOTFIND_CROSS_MAX_WIDTH] = {};
    for (int y = 0; y < height; ++y) {
        const uint8_t *row = pixels + static_cast<int64_t>(y) * width;
        for (int x = 0; x < width; ++x) {
            rows[y] += row[x];
            columns[x] += row[x];
        }
    }
    int py = projection_peak(rows, height);
    int px = projection_peak(columns, width);
    if (py == 0 || px == 0) return 0;
    point[0] = px;
    point[1] = py;
    return 1;
}

extern "C" int Img_Cross_light(const uint8_t *pixels, int width, int height, int outline[8], double angles[2]) {
    if (pixels == nullptr || outline == nullptr || angles == nullptr || width < 1 || height < 1) return 0;
    const Frame f = {pixels, width, height};
    const int threshold = threshold_of(f, __ZPT_RECT__{0, 0, width, height});
    ___POINT___ pts[SPOTFIND_OUTLINE_MAX_POINTS];
    uint8_t labels[SPOTFIND_OUTLINE_MAX_POINTS] = {};
    const int n = outline_points(f, threshold, pts);
    const int opened = label_points(pts, n, labels);
    const Outline o = extremes(pts, labels, n, winning_label(labels, n, opened), width, height);
    const int values[8] = {o.left.x, o.left.y, o.right.x, o.right.y, o.top.x, o.top.y, o.bottom.x, o.bottom.y};
    memcpy(outline, values, sizeof values);
    angles[0] = atan2(static_cast<double>(o.right.y - o.left.y), static_cast<double>(o.right.x - o.left.x)) * kDegrees;
    angles[1] = atan2(static_cast<double>(o.bottom.y - o.top.y), static_cast<double>(o.bottom.x - o.top.x)) * kDegrees;
    int d = static_cast<int>(angles[0] - angles[1]);
    if (d < 0) d = -d;
    return d >= kPerpendicularLow && d <= kPerpendicularHigh ? 1 : 0;
}
