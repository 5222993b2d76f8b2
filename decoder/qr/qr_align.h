// Alignment-pattern search of QR Model 2 candidates: templates of the pattern's rings from
// each finder's local transform, the ranking of the grid nodes by their distance from the
// nearest finder, and the window scan that finds one pattern. The stage entry points
// (QR_BuildAlignTemplates, QR_RankAlignNodes, QR_SearchAlignPatterns) are declared in
// qr/qr_symbol_stages.h; the window routines below are what they are built from.
//
// Pixels are read from the installed grey image (g_image); positions are whole pixels unless
// stated, results of the window search in 1/4 pixel. The candidate's polarity is g_qrPolarity
// (1 dark modules on light ground, 0 light on dark).
#pragma once

#include "core/types.h"
#include "toolkit/geometry.h"
#include "toolkit/perspective.h"

namespace vexo {

inline constexpr i32 kQrTemplatePoints = 25;
inline constexpr i32 kQrRowCandidateCapacity = 20;

// One row of the window scan. Sample k lies at (startX + signX ((k stepX) >> 10), startY +
// signY ((k stepY) >> 10)); steps in 1/1024 pixel per sample, signs +1 or -1.
struct QR_ALIGN_ROW {
    i32 startX;
    i32 startY;
    i32 stepX;
    i32 stepY;
    i32 signX;
    i32 signY;
    i32 count;         // samples in the row
    i32 threshold;     // grey threshold of the window
    i32 runTolerance;  // a foreground run must stay below this in x and in y
    i32 *xs;           // candidate outputs, capacity entries each
    i32 *ys;
    i32 capacity;
    // When set, start + last of each candidate's run (twice its centre): a run of even
    // length centres between two pixels, which the whole-pixel outputs round down.
    i32 *twiceXs;
    i32 *twiceYs;
};

// How a window is searched at a local module size of m pixels (m as the templates measure
// it: the offset of the diagonal neighbour module).
struct QR_ALIGN_WINDOW_PARAMS {
    i32 halfWidth;         // modules from the predicted centre to the window's sides
    i32 rowStep;           // pixels between scanned rows
    i32 runTolerance;      // pixels a foreground run must stay below
    i32 clusterTolerance;  // pixels between a hit and its cluster's centre
};
QR_ALIGN_WINDOW_PARAMS QR_AlignWindowParams(i32 m);

// The four window corners (tl, bl, tr, br, pixels) of the node at module (mx, my) through t
// (module indices to 1/4 pixel): 1, or 0 when a corner cannot be mapped or lies outside the
// image.
i32 QR_AlignWindowCorners(const PERSPECTIVE *t, i32 mx, i32 my, i32 halfWidth, GEO_POINT corners[4]);

// Scans the window with corners tl, bl, tr, br (pixels, in the window's own orientation) for
// the alignment pattern, testing blobs against the four templates (kQrTemplatePoints pixel
// offsets each) of one finder slot; m is the local module size in pixels. 1 with the
// pattern centre in 1/4 pixel in out, 0 when nothing was found (out untouched).
i32 QR_SearchAlignWindow(GEO_POINT tl, GEO_POINT bl, GEO_POINT tr, GEO_POINT br, const GEO_POINT (*templates)[kQrTemplatePoints],
                         i32 m, GEO_POINT *out);
// The grey threshold of the diagonal from tl to br (0..255): 255 for a zero-length diagonal,
// 0 when its contrast is 14 or less.
i32 QR_WindowThreshold(GEO_POINT tl, GEO_POINT br);
// Centres of the short foreground runs of one row (at most row->capacity); a run as long as
// the tolerance, or one still open at the row's last sample inside the image, is none.
i32 QR_FindRowCandidates(const QR_ALIGN_ROW *row);
// 1 with *score 25 - misses when the template centred at pixel (x, y) has at most one miss
// against threshold t; 0 when it has more, a point lies outside the image or the centre is
// not foreground.
i32 QR_TestAlignTemplate(i32 x, i32 y, const GEO_POINT *tmpl, i32 t, i32 *score);
// Walks from pixel p to the darkest 3 x 3 neighbourhood (at most three moves) and answers
// the number of neighbourhood evaluations (1..4) with its weighted centroid in 1/4 pixel in
// out; 0 for p outside the image, an all-white neighbourhood, a fourth move or a flat
// neighbourhood (out then holds 4 p).
i32 QR_RefineDarkCentre(GEO_POINT p, GEO_POINT *out);

}  // namespace vexo
