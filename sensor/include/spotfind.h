/* libspotfind: where the engine's aimer falls in a grey camera frame. Three detectors
 * (a band of light dots, a cross found by projections, a bright cross found by its
 * outline) and two utilities. No state, nothing from the heap: work buffers are on the
 * caller's stack (about 60 KB for the outline detector). Frames are 8-bit grey, row after
 * row, the stride equal to the width. */
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define SPOTFIND_EXPORT __attribute__((visibility("default")))

/* Rows top..bottom - 1 and columns left..right - 1. */
typedef struct __ZPT_RECT__ {
    int32_t top;
    int32_t left;
    int32_t right;
    int32_t bottom;
} __ZPT_RECT__;

typedef struct ___POINT___ {
    int32_t x;
    int32_t y;
} ___POINT___;

/* The widest frame the band detector takes (the widest the decoder takes). */
#define SPOTFIND_BAND_MAX_WIDTH 1280
/* The largest frame the projection detector takes. */
#define SPOTFIND_CROSS_MAX_WIDTH 1280
#define SPOTFIND_CROSS_MAX_HEIGHT 960
/* The outline detector keeps at most this many edge points and opens at most 199 groups. */
#define SPOTFIND_OUTLINE_MAX_POINTS 6001

/* Adds every pixel of the rectangle (its columns clipped to the width, its top to 0; the
 * caller answers for its bottom) to bins, which the caller clears: the pixels counted. */
SPOTFIND_EXPORT int Img_Hist(const uint8_t *pixels, int width, const __ZPT_RECT__ *rect, int bins[256]);
/* Least-squares line through n points (float sums): swap 0 gives y = out[0] x + out[1],
 * otherwise x = out[0] y + out[1]. Points all on one x (one y with swap) give slope 0 and
 * their mean. */
SPOTFIND_EXPORT void Img_LstSqr(float out[2], const ___POINT___ *pts, int n, int swap);
/* The band of light dots: the mean thickness of the qualifying columns and the band's line
 * from x 0 to x 479; -1 when no band was found, for frames narrower or lower than 3 pixels
 * and wider than SPOTFIND_BAND_MAX_WIDTH. rect (clipped to the frame) sets the threshold. */
SPOTFIND_EXPORT int Img_Light_Dots(const uint8_t *pixels, int width, int height, __ZPT_RECT__ *rect, int line[4]);
/* The cross centre by row and column projections: 1 and point (x, y), or 0 with point
 * untouched (also for frames over SPOTFIND_CROSS_MAX_WIDTH x SPOTFIND_CROSS_MAX_HEIGHT). */
SPOTFIND_EXPORT int Img_Detect_Cross(const uint8_t *pixels, int width, int height, int point[2]);
/* The bright cross by its outline: 1 when its arms are nearly perpendicular, else 0. The
 * outline (leftmost, rightmost, topmost, bottommost points) and the two angles in degrees
 * are written in every case. */
SPOTFIND_EXPORT int Img_Cross_light(const uint8_t *pixels, int width, int height, int outline[8], double angles[2]);

#ifdef __cplusplus
}
#endif
