// Decoding of located PDF417 symbols: one candidate with its erasure budget and the matrix
// cache across attempts, and the image decoder that takes candidates from boxes, decodes one
// or two symbols, joins their texts and answers the composite reader's requests.
#pragma once

#include "core/types.h"
#include "pdf417/pdf417_candidate.h"
#include "pdf417/pdf417_services.h"

namespace vexo {

// Statuses of one symbol.
inline constexpr i32 kPdfStatusText = 0;
inline constexpr i32 kPdfStatusNoData = 10;
inline constexpr i32 kPdfStatusCorrection = 20;
inline constexpr i32 kPdfStatusErasures = 30;
inline constexpr i32 kPdfStatusMatrix = 40;
inline constexpr i32 kPdfStatusGeometry = -10;
// Statuses of a region decode beyond those.
inline constexpr i32 kPdfStatusOneOfTwo = 5;
inline constexpr i32 kPdfStatusArena = -1;
inline constexpr i32 kPdfStatusContrast = -5;
inline constexpr i32 kPdfStatusNoCandidate = -30;
inline constexpr i32 kPdfStatusNoneRecorded = -41;

// The search quad of a composite component request: four (x, y) corners in cyclic order.
struct CC_PDF_REQUEST {
    i32 *quad;
    i32 linearQuad[8];
    i32 capacity;
    i32 length;
    u8 *buffer;
};

// codewords: 929 i32; rows: kPdfRowTableEntries entries. The candidate's confidence matrix
// (929 bytes) is the caller's.
i32 PDF_DecodeSymbol(PDF_CANDIDATE *candidate, i32 *codewords, PDF_ROW_ENTRY *rows);
// Keeps the best status of the image: non-negative beats negative, lower beats higher.
i32 PDF_SetStatus(i32 status);
void PDF_ClearMatrixCache();
void PDF_CacheMatrix(const PDF_CANDIDATE *candidate, const i32 *codewords, const u8 *confidences);
int PDF_MergeCachedMatrix(PDF_CANDIDATE *candidate, i32 *codewords, u8 *confidences);

// Boxes {top, left, right, bottom}; flags bit 0 scan rows, bit 1 columns. force: boxes of
// linear-code regions too.
i32 PDF_DecodeInRegions(const i32 (*boxes)[4], i32 count, const u8 *flags, i32 force);
void PDF_ClearResultLength();
void PDF_SetRegionQuad(i32 flag, const i32 *quad);
void PDF_DropCandidatesOutside(PDF_CANDIDATE *candidates, i32 count, const GEO_POINT *quad);
// Adds text at the end (front 0) or in front (1): 1, or 0 when the result would not fit.
int PDF_AddText(const u8 *text, i32 length, i32 front);
int PDF_InsertTextFront(const u8 *text, i32 length);
// 1 both flat or both steep, 2 first steep and second flat, 3 first flat and second steep.
i32 PDF_QuadPairLayout(const REGION_QUAD quads[2]);
int PDF_QuadCentreSeen(const REGION_QUAD *quads, i32 count, const REGION_QUAD *quad);

}  // namespace vexo
