// QR symbol decode: one symbol candidate of the finder turned into a decoded QR Code or
// Micro QR symbol, with the geometry set-up, the sampling and the decoding retries
// (mirrored, rotated, equalised, quadratically re-sampled, re-fitted).
//
// Work memory: a block of the work arena per candidate (released before every return,
// with every block taken below it), and the grey module matrix, the bit matrix and the
// geometry samples at fixed offsets of the image's second buffer.
#pragma once

#include "core/types.h"
#include "qr/qr_state.h"
#include "toolkit/matrix.h"

namespace vexo {

// Status words of the steps (0 is success).
inline constexpr i32 kQrStatusStart = -10000;
inline constexpr i32 kQrStatusBadArguments = -200;
inline constexpr i32 kQrStatusFewFinders = -100;
inline constexpr i32 kQrStatusNoVersion = -90;
inline constexpr i32 kQrStatusNoMemory = 80;  // also: no grid was built / imported
inline constexpr i32 kQrStatusNoGrid = 70;
inline constexpr i32 kQrStatusSampling = 60;
inline constexpr i32 kQrStatusMatrix = 50;
inline constexpr i32 kQrStatusBlock = 20;
inline constexpr i32 kQrStatusSegments = 10;

// Path bits recorded in the decoder's third status word.
inline constexpr u32 kQrPathBinarised = 0x10;
inline constexpr u32 kQrPathMatrixDone = 0x40;

// Bytes of the arena block held per candidate.
inline constexpr i32 kQrCandidateBlock = 12544;
// The grey matrix kept for the equalised second attempt (up to 41 x 41 modules).
inline constexpr i32 kQrSavedMatrixSide = 41;

// Decodes the next candidate: *centre receives its mean centre (whole pixels), *orientation
// its orientation code. Answers kQrSymbolDecoded (1), kQrMicroDecoded (2), kQrNoCandidate
// (3: none left, or the arena refused the candidate's block, or no work memory) or
// kQrCandidateFailed (10).
int QR_DecodeOneSymbol(GEO_POINT *centre, int *orientation);

// Summaries and geometry points of a candidate's n patterns (1..3) of the given type: the
// summaries go to the slots the descriptor points at (null slots are skipped), the static
// summaries and g's finder slots; the points to the geometry work area and g.
void QR_FillGeometry(const QR_FINDER_PATTERN *patterns, int n, QR_SUMMARY_SET *desc, QR_GEOMETRY *g,
                     i32 type);
// The summary of one pattern.
QR_FINDER_SUMMARY QR_SummarisePattern(const QR_FINDER_PATTERN &p);
// Version and grid of the candidate: 0 ready; kQrStatusBadArguments, kQrStatusFewFinders,
// kQrStatusNoVersion, or kQrStatusNoMemory when the geometry could not be saved.
i32 QR_SetupGeometry(const QR_FINDER_SUMMARY *summaries, int n, QR_GEOMETRY *g);
// Samples and decodes with the retries: 0 decoded, kQrStatusNoMemory, kQrStatusNoGrid,
// kQrStatusSampling, or the best failure status.
i32 QR_SampleAndDecode(QR_GEOMETRY *g);
// Binarises the grey module matrix and decodes it (Model 1, then Model 2 plain, mirrored,
// rotated): 0 decoded, kQrStatusMatrix, or the best failure status. flag 0 lets the
// matrix's contrast choose the binariser.
i32 QR_DecodeMatrix(MODULE_BITS *request, i32 flag);
// The same on the histogram-equalised grey matrix, one Model 2 attempt.
i32 QR_DecodeMatrixEqualised(MODULE_BITS *request, i32 flag);

// Histogram of the rectangle x0..x1 by y0..y1 of a byte matrix with row stride `stride`
// into hist[256]. Nothing for an empty rectangle or null buffers.
void QR_RegionHistogram(const u8 *data, i32 stride, i32 x0, i32 y0, i32 x1, i32 y1, i32 hist[256]);
// A packed, equalised copy of the rectangle.
struct QR_EQUALISED {
    u8 *data;  // (x1 - x0 + 1) x (y1 - y0 + 1) bytes, given by the caller
    i32 width;
    i32 height;
};
// 1 when written, 0 for an empty rectangle or null buffers.
int QR_EqualiseRegion(const u8 *data, i32 stride, i32 x0, i32 y0, i32 x1, i32 y1, QR_EQUALISED *out);

// Re-samples the grey matrix through a quadratic map fitted to the finder corners and the
// last alignment pattern (three-pattern candidates only). Nothing happens when the fit is
// singular or a mapped position is not finite or out of range.
void QR_ResampleQuadratic(const QR_GEOMETRY *g);
// Normal equations of X = c0 u^2 + c1 v^2 + c2 u v + c3 u + c4 v + c5 (and Y likewise)
// through count pairs of image point (X, Y) and module point (u, v): the 6 x 6 matrix
// (row-major) and the two right-hand sides. Answers 1, 0 for null arguments.
int QR_FitQuadraticMap(const GEO_POINT *image, const GEO_POINT *module, i32 count, f64 matrix[36], f64 rightX[6],
                       f64 rightY[6]);
// The same when more than five pairs are given, else 0.
int QR_FitQuadraticMapChecked(const GEO_POINT *image, const GEO_POINT *module, i32 count, f64 matrix[36],
                              f64 rightX[6], f64 rightY[6]);
// The re-fit of small distorted symbols: 0 decoded, -1 not.
i32 QR_RefitFallback(const QR_FINDER_PATTERN *patterns, i32 type);

// Routines no decode path calls.
// A grey matrix record.
struct QR_GREY_MATRIX {
    u8 *data;
    i32 columns;
    i32 rows;
};
// Gamma g (at least 0.1) then a linear stretch to 0..255: 0 stretched, 1 all values equal
// (unchanged), -1 work memory refused or an empty matrix.
i32 QR_GammaStretch(QR_GREY_MATRIX *m, f64 g);
// Points the work areas at the image's second buffer and the text at the text buffer.
void QR_SetWorkBuffers();
// 1000 x the cosine of the angle at p between q and r, truncated.
i32 QR_CosineTimes1000(const GEO_POINT *p, const GEO_POINT *q, const GEO_POINT *r);

}  // namespace vexo
