// The texture-region finder: quadrilaterals around the areas of 2D-code texture, from the
// labelled components of graded crossing blocks at three levels.
#pragma once

#include "core/types.h"
#include "locate/block_blobs.h"
#include "locate/texture_cells.h"

namespace vexo {

inline constexpr i32 kTextureQuadsMax = 256;

struct TEXTURE_BOX {
    i32 top, left, right, bottom;
};

// The finder's areas behind the grading's maps in the second buffer.
struct TEXTURE_FINDER_AREAS {
    u8 *labels[3];                    // grade 3, grade 2 or more, grade 1 or more
    TEXTURE_COMPONENT *components[3];  // kTextureComponentsMax records each, same order
    REGION_QUAD *quads;                // kTextureQuadsMax
    GEO_POINT *hull;                   // kBlockHullMax + 1
    TEXTURE_BOX *boxes;                // kTextureQuadsMax
};
// The areas over the installed frame, checked against the second buffer's real size; 0
// when no frame or buffer is installed or the layout does not fit.
i32 Loc_TextureFinderAreas(TEXTURE_LAYOUT *layout, TEXTURE_FINDER_AREAS *areas);

// The finder: quads into the quad table (capacity capped at 256); their number. 0 for a
// capacity of 0 or less.
i32 Loc_FindTextureQuads(i32 capacity);
i32 Loc_FindTextureQuadsSorted(REGION_QUAD *out, i32 capacity);
// The finder, then its quads as boxes, overlapping ones merged, into the areas' box list.
i32 Loc_FindTextureBoxes(i32 capacity);
void Loc_RunTextureFinder();
// Boxes of the quads in table order, each merged with every earlier box it overlaps, clamped
// to the frame; their number.
i32 Loc_MergeQuadBoxes(const REGION_QUAD *quads, i32 count, TEXTURE_BOX *boxes);
// After labelling: the finder's passes over the three component lists (steps shared by the
// finder and the tests on hand-made grade maps).
i32 Loc_SelectTextureQuads(const TEXTURE_FINDER_AREAS &areas, const i32 counts[3], i32 n, i32 m, i32 capacity);

// Hull and rectangle of one component of a label map; the rectangle's area, 0 (size set to
// 0) when the hull has fewer than 3 points.
i32 Loc_ComponentQuad(const u8 *labels, i32 n, i32 m, TEXTURE_COMPONENT *record);
i32 Loc_ComponentQuadIfValid(const u8 *labels, i32 n, i32 m, TEXTURE_COMPONENT *record);
// Hull of the component through block (x, y), closed by a copy of its first point: the
// number of points before that copy; 0 below 2.
i32 Loc_TraceComponentHull(const u8 *labels, i32 x, i32 y, GEO_POINT hull[kBlockHullMax + 1], i32 n, i32 m);
// Smallest-area rectangle around a closed hull of pixel points into the record's corners,
// c0-c1 the longer side; its area, 0 for fewer than 3 points.
i32 Loc_FitComponentRectangle(TEXTURE_COMPONENT *record, const GEO_POINT *hull, i32 count);
// Grows the record's rectangle by a on every side; extents written when both are given;
// extent 1 x extent 2.
i32 Loc_GrowComponentQuad(TEXTURE_COMPONENT *record, i32 a, i16 *extent1, i16 *extent2);
// Copies the quads to out ordered by distance of their centres from the frame centre.
void Loc_SortQuadsByCentre(const REGION_QUAD *in, REGION_QUAD *out, i32 count);

}  // namespace vexo
