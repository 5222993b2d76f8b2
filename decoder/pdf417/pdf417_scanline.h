// Scan lines for the PDF417 readers: grey samples along a straight line and their edges to
// 1/16 sample, weighted by the grey step, and the two bar-pattern readers that find the
// edges of one codeword or one row address pattern between two points of a line.
#pragma once

#include "core/pixel.h"
#include "core/types.h"

namespace vexo {

// Reading parameters the decoders set per symbol.
struct PDF_READ_PARAMS {
    i32 refineRounds;  // passes of the blurred-edge refinement (2)
    i32 skipRefine;    // 1: keep the edges as found
    i32 readersOn;     // 0: the bar-pattern readers answer 0
    i32 minEdgeStep;   // smallest grey step of a bar reader's edge (6)
    i32 inverted;      // 1: light bars on a dark ground
};
extern PDF_READ_PARAMS g_pdfReadParams;

// Defaults for the first four fields; `inverted` stays.
void PDF_ResetReadParams();
// Defaults plus `inverted` (every caller passes mode 0).
void PDF_SetReadParams(i32 mode, i32 inverted);

// Edge records of the bar readers (positions in 1/16 sample; see the readers).
inline constexpr int kPdfCodewordRecord = 13;
inline constexpr int kPdfRapRecord = 11;
inline constexpr int kPdfEdgeSpreadSize = 53;
extern const i32 PDF_EdgeSpreadTable[kPdfEdgeSpreadSize];

// Samples the image from (x0, y0) to (x1, y1) inclusive with a Bresenham walk into out, at
// most min(capacity, image width) bytes. An outside first point stores 128, later outside
// points leave the byte as it was. Answers the count.
i32 PDF_SampleLine(const IMAGE_DESC *image, i32 x0, i32 y0, i32 x1, i32 y1, u8 *out, i32 capacity);
// Samples p-q of the installed image extended by half its length at both ends; *start16 and
// *end16 are where p and q fall, in 1/16 sample. 0 without pointers or image.
i32 PDF_SampleExtendedSegment(POINT_I32 p, POINT_I32 q, u8 *out, i32 capacity, i32 *start16, i32 *end16);

// Gated edges: falling (light to dark) or rising runs whose drop is at least minStep and whose
// bright end reaches the line's gate; position = drop-weighted mean step index x 16. At most
// capacity edges; 0 for fewer than 2 samples.
i32 PDF_FallingEdgesOnLine(const u8 *samples, i32 n, u8 minStep, i32 *positions, u8 *magnitudes, i32 capacity);
i32 PDF_RisingEdgesOnLine(const u8 *samples, i32 n, u8 minStep, i32 *positions, u8 *magnitudes, i32 capacity);
// The same down the image column from `point` over n rows, stopping before the last image
// row; a point outside the image finds nothing.
i32 PDF_FallingEdgesDownColumn(POINT_I32 point, i32 n, u8 minStep, i32 *positions, u8 *magnitudes, i32 capacity);
i32 PDF_RisingEdgesDownColumn(POINT_I32 point, i32 n, u8 minStep, i32 *positions, u8 *magnitudes, i32 capacity);
// Gate of a column: min + (max - min) / 5 over every third pixel below point; 0 for n <= 5.
i32 PDF_ColumnGate(POINT_I32 point, i32 n);

// Strictly monotone runs of at least minStep, positions only.
i32 PDF_FallingEdgeCentres(const u8 *samples, i32 n, i32 *positions, i32 capacity, i32 minStep);
i32 PDF_RisingEdgeCentres(const u8 *samples, i32 n, i32 *positions, i32 capacity, i32 minStep);
// Rises and falls in turn along the line; each list at most capacity edges.
void PDF_AlternatingEdges(const u8 *samples, i32 n, i32 minStep, i32 *risePositions, u8 *riseMagnitudes,
                          i32 *riseCount, i32 *fallPositions, u8 *fallMagnitudes, i32 *fallCount, i32 capacity);
// Edge lists of the bar readers: strict runs, position + 8 (the middle of the step);
// *level the brightest top (falling) or the darkest bottom (rising).
i32 PDF_FallingEdgeList(const u8 *samples, i32 n, i32 *positions, i32 *magnitudes, i32 *level, i32 minStep,
                        i32 capacity);
i32 PDF_RisingEdgeList(const u8 *samples, i32 n, i32 *positions, i32 *magnitudes, i32 *level, i32 minStep,
                       i32 capacity);

// The codeword between startIndex16 and endIndex16 of a line from PDF_SampleExtendedSegment:
// 1 with record[2..10] its nine edges (strictly increasing), refined unless skipRefine.
int PDF_ReadCodewordOnLine(const u8 *samples, i32 n, i32 startIndex16, i32 endIndex16, i32 record[kPdfCodewordRecord]);
// The same for a row address pattern: record[2..8] its seven edges.
int PDF_ReadRapOnLine(const u8 *samples, i32 n, i32 startIndex16, i32 endIndex16, i32 record[kPdfRapRecord]);

// Grey value of the blurred-edge model at x (1/16 sample): edges[0..12], starting at edge
// `index`, the stretch after it dark (polarity 0) or light (1), levels light and dark.
struct PDF_BLUR_MODEL {
    const i32 *edges;
    i32 count;
    i32 x;
    i32 index;
    i32 polarity;
    i32 light;
    i32 dark;
};
i32 PDF_BlurModelValue(const PDF_BLUR_MODEL *model);

}  // namespace vexo
