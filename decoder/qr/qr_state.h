// The QR module's shared records: its result, the per-candidate finder summaries and saved
// geometry, the geometry work area the grid stages fill, and the work areas in the image's
// second buffer.
#pragma once

#include "core/types.h"
#include "qr/qr_finder.h"
#include "qr/qr_matrix.h"
#include "qr/qr_services.h"
#include "toolkit/geometry.h"
#include "toolkit/perspective.h"

namespace vexo {

// Symbol types of QR_GetSymbolType.
inline constexpr i32 kQrSymbolQr = 0;
inline constexpr i32 kQrSymbolMicro = static_cast<i32>(kQrTypeMicro);

// How a candidate's matrix was sampled: through the alignment grid or the whole-symbol fit,
// the quadratic re-sampling, or the local window re-fit.
inline constexpr i32 kQrSampledPlain = 1;
inline constexpr i32 kQrSampledQuadratic = 2;
inline constexpr i32 kQrSampledRefit = 4;

// Symbology numbers the core reports.
inline constexpr i32 kQrSymbologyCode = 258;
inline constexpr i32 kMqrSymbologyCode = 259;

// Longest joined text: the text buffer less its terminator.
inline constexpr i32 kQrMaxJoinedLength = kQrTextCapacity - 1;

// Offsets of the QR work areas in the image's second buffer.
inline constexpr i32 kQrGreyMatrixOffset = 1280;
inline constexpr i32 kQrBitMatrixOffset = 39696;
inline constexpr i32 kQrJoinBufferOffset = 85424;
inline constexpr i32 kQrWorkBufferBytes = kQrJoinBufferOffset + kQrTextCapacity;

// The module's result; one static instance.
struct QR_RESULT {
    i32 decoded;         // 1 once a decode of this image concluded with a result
    i32 length;          // reported text length
    i32 microQrEnabled;  // enable bits copied at the start of each decode
    i32 qrEnabled;
    i32 symbolType;      // kQrSymbolQr or kQrSymbolMicro
    REGION_QUAD corners;  // whole pixels, of the symbol decoded last
    u8 *text;            // the text buffer
    QR_SA_INFO saInfo;
    i32 bestStatus;         // best failure status since the current candidate began
    i32 firstFailureCount;  // candidates whose first QR attempt failed, this decode
    i32 samplings;          // kQrSampled* bits: the matrices sampled for the current candidate
    i32 readBy;             // the kQrSampled* pass whose matrix read, 0 while none did
    i32 alignListed;        // alignment nodes the current candidate's search listed
    i32 alignFound;         // and the patterns it found among them
    // The decoders are given kQrTextCapacity bytes; one more holds the terminator.
    u8 textBuffer[kQrTextCapacity + 1];
};

// One symbol collected in read modes 2 and up.
struct QR_PART {
    GEO_POINT centre;  // mean of the candidate's pattern centres, whole pixels
    REGION_QUAD corners;
    const u8 *data;    // its bytes in the join buffer
    i32 length;
    i32 orientation;   // arrangement code, 0 or 1..4
    i32 saPresent;
};

// One finder pattern of a candidate as the geometry stages see it.
struct QR_FINDER_SUMMARY {
    i32 centreX;  // whole pixels
    i32 centreY;
    i32 size;     // outer width in pixels; <= 0 means absent
    i32 width;    // x and y extent of the ring corners plus one module, pixels
    i32 height;
    i32 score;
    f32 moduleSize;  // pixels per module
};

// The summaries of one candidate.
struct QR_SUMMARY_SET {
    i32 count;
    QR_FINDER_SUMMARY *slot[3];
};

// One node of the alignment grid.
struct QR_GRID_NODE {
    i32 moduleX;
    i32 moduleY;
    i32 imageX;  // 1/4 pixel
    i32 imageY;
    i32 gridCol;
    i32 gridRow;
    i32 nearestFinder;
    i32 found;
};

inline constexpr i32 kQrMaxGridNodes = 49;
inline constexpr i32 kQrAlignListNodes = 62;

// Finder arrangements.
enum QrArrangement : i32 {
    kQrArrangeOne = 0,
    kQrArrangeThree = 1,
    kQrArrangeTopPair = 2,
    kQrArrangeSidePair = 3,
    kQrArrangeDiagonal = 4,
};

// Candidate types of the grouping.
enum QrCandidateType : i32 {
    kQrCandidateOne = 1,
    kQrCandidateThree = 3,
    kQrCandidateDiagonal = 4,
    kQrCandidateSide = 5,
};

// The geometry of the candidate being decoded, filled by the symbol decode and the grid
// stages and reloaded from a QR_GEOMETRY before sampling.
struct QR_GEOM_WORK {
    u8 *sampleBuffer;
    i32 arrangement;
    f64 pairModuleSize;
    QR_FINDER_SUMMARY finder[3];   // 0 top-left, 1 bottom-left, 2 top-right
    PERSPECTIVE finderTransform[3];
    GEO_POINT imagePoints[3][5];   // 1/4 pixel
    GEO_POINT modulePoints[3][5];  // finder-local 1/11 module, later module indices
    i32 orientationKnown;
    GEO_POINT templates[3][4][25];
    i32 templateValid[3];
    i32 globalValid;
    PERSPECTIVE globalTransform;
    GEO_POINT lastAlignment;  // pixels
};

// A candidate's saved geometry.
struct QR_GEOMETRY {
    i32 saved;
    QR_FINDER_SUMMARY finder[3];
    GEO_POINT imagePoints[3][5];
    GEO_POINT modulePoints[3][5];
    PERSPECTIVE finderTransform[3];
    i32 arrangement;
    i32 orientationKnown;
    f64 pairModuleSize;
    QR_SYMBOL_STATE symbol;
    PERSPECTIVE globalTransform;
    i32 globalValid;
};

// Where the sampled matrices live for the candidate being decoded (the image's second
// buffer at fixed offsets); null while no candidate has set them.
struct QR_WORK_AREAS {
    u8 *greyMatrix;
    u8 *bitMatrix;
};

extern QR_RESULT g_qrResult;
extern QR_GEOM_WORK g_qrGeomWork;
extern QR_WORK_AREAS g_qrWorkAreas;
// The candidate's finder summaries as the Micro QR path and the geometry set-up read them.
extern QR_FINDER_SUMMARY g_qrSummaries[3];
// 1 when the candidate's first pattern is dark on light.
extern i32 g_qrPolarity;

// The image's second buffer when it holds every QR work area, else null.
u8 *QR_WorkBuffer();

}  // namespace vexo
