// The linear module's records and its driver, region, scan-line and output steps. All
// records but the run and the read set are static, one of each; the run and the read set
// live on the stack of the call that uses them.
#pragma once

#include "core/types.h"
#include "linear/line_types.h"
#include "toolkit/geometry.h"

namespace vexo {

inline constexpr int kLineImgRegionCap = 20;
inline constexpr int kLineImgLineRecordCap = 20;
inline constexpr int kLineImgTextBytes = 256;       // one read: up to 255 bytes and a zero
inline constexpr int kLineImgComponentBytes = 2710;
inline constexpr int kLineImgOutputBytes = 5676;
inline constexpr int kLineImgReadCap = 5;
inline constexpr int kLineImgReadSetBytes = kLineImgReadCap * kLineImgTextBytes;
static_assert(kLineImgReadSetBytes == 1280);
inline constexpr int kLineImgTallyCap = 11;
inline constexpr int kLineImgPartCap = 2;
inline constexpr int kLineImgResultCap = 2;

// Region status bytes.
inline constexpr u8 kRegionUnread = 0;
inline constexpr u8 kRegionFinished = 1;
inline constexpr u8 kRegionRefused = 2;
inline constexpr u8 kRegionScanned = 3;
inline constexpr u8 kRegionStopped = 4;  // the accumulation's review stopped the region
inline constexpr u8 kRegionProfileFailed = 16;
inline constexpr u8 kRegionSkip = 17;

// Part kinds of the output's part list.
inline constexpr i32 kPartLinear = 0xC1;
inline constexpr i32 kPartComponent = 0xC2;

// The accepted output and the options loaded for every image.
struct LINEIMG_OUTPUT {
    i32 decoded;
    i32 length;
    u8 text[kLineImgOutputBytes];
    i32 partCount;
    i32 kinds[kLineImgPartCap];
    i32 ids[kLineImgPartCap];
    i32 lengths[kLineImgPartCap];
    char aimChars[3 * kLineImgPartCap + 1];
    REGION_QUAD corners;
    i32 pairMode;
    i32 pairAll;
    i32 joinItf;
    i32 couponMode;  // 0, 1 (wait for the extension while regions remain) or 2 (never alone)
    i32 couponDataBarOnly;
    i32 pairedId;  // -1, or the ITF id when ITF pairs are joined
};

// A line record of the call: a tally value with its count, the region and a tag of 32.
struct LINEIMG_SEGMENT_LINE {
    u16 value;
    u16 count;
    u16 region;
    u16 tag;
};

struct LINEIMG_REGIONS;

// The line being read and the latest line result.
struct LINEIMG_LINE_STATE {
    i32 id;
    i32 linkFlag;
    i32 componentMode;
    u8 aimLetter;
    u8 aimModifier;
    u16 regionStop;  // 0, 13 (too many unreadable lines) or the attempt answer that stopped it
    u8 profileTried;
    u8 accumulateTried;
    u16 region;
    u16 code11Count;
    i32 narrowWidth2;  // 1/16 pixel; -2 without an element range
    LINEIMG_SEGMENT_LINE *segments;
    i32 segmentCount;
    i32 nextRegion;
    LINEIMG_REGIONS *regions;
    u16 minStep;
    u16 lastLineSamples;  // whole-pixel samples of the main scan's last line
};

// The results of one decode call.
struct LINEIMG_RUN {
    u8 *text[kLineImgResultCap];  // kLineImgTextBytes each
    u8 *componentText[kLineImgResultCap];  // kLineImgComponentBytes each
    i32 length[kLineImgResultCap];
    i32 componentLength[kLineImgResultCap];
    i32 id[kLineImgResultCap];
    i32 linkFlag[kLineImgResultCap];
    i32 componentId[kLineImgResultCap];
    REGION_QUAD quad[kLineImgResultCap];
    GEO_POINT centre[kLineImgResultCap];
    u16 auxDirection[kLineImgResultCap];
    u16 couponPart[kLineImgResultCap];
    char aim[kLineImgResultCap][2];
    char componentAim[kLineImgResultCap][2];
    u8 orientation[kLineImgResultCap];
    u16 couponCount;
    i32 count;
    i32 limit;
};

// The module's regions of one image.
struct LINEIMG_REGIONS {
    REGION_QUAD quads[kLineImgRegionCap];
    i32 count;
    u8 status[kLineImgRegionCap];
    u8 failCount[kLineImgRegionCap];
    u8 kinds[kLineImgRegionCap];  // 1 bars upright (first side nearer horizontal), 2 flat
};

// The recent reads of one region, kept to confirm a read by repetition.
struct LINEIMG_READ_SET {
    u8 *buffer[kLineImgReadCap];  // kLineImgTextBytes each, from one arena block
    i32 length[kLineImgReadCap];
    i32 count;
    i32 wanted;
    u16 ids[kLineImgReadCap];
};

// One scan line's widths, edges and read.
struct LINEIMG_LINE_RECORD {
    u16 *edges;
    u16 edgeCount;
    u16 *widths;
    u16 widthCount;
    u16 room;  // entries of edges and of widths
    u8 *text;
    u16 capacity;
    u16 length;
    u16 id;
    char aimLetter;
    char aimModifier;
};

// Start and end of line A, then of line B.
struct LINEIMG_LINE_PAIR {
    GEO_POINT a0;
    GEO_POINT a1;
    GEO_POINT b0;
    GEO_POINT b1;
};

extern LINEIMG_OUTPUT g_lineImgOutput;
extern LINEIMG_LINE_STATE g_lineImgState;
extern LINEIMG_REGIONS g_lineImgRegions;
extern LINEIMG_SEGMENT_LINE g_lineImgLines[kLineImgLineRecordCap];
extern i8 g_lineImgVotes[kLineImgRegionCap];
extern u32 g_lineImgProfileOn;
// Reading methods switched off (tests only set it): bit 0 the main scan, bit 1 the
// accumulation.
inline constexpr u8 kLineImgMainScanOff = 1;
inline constexpr u8 kLineImgAccumulateOff = 2;
extern u8 g_lineImgMethodsOff;

// ---- Driver.

// Clears the run's records and its static text buffers and points the run at them.
void LineImg_ClearRun(LINEIMG_RUN *run);
// Loads the options of the output record from the parameter block.
void LineImg_LoadOptions();
// The region loop and the fallbacks of one image: 1 when an output was made.
int LineImg_Run();

// ---- Regions.

void LineImg_ResetRegions();
// 0 without work memory, else 1 (also with no region).
int LineImg_FindRegions();
// Decodes region nextRegion - 1: 1 when a result was stored in run.
int LineImg_DecodeRegion(LINEIMG_RUN *run);
// Sets unread again every region that is not finished (status 1, 2, 3) and whose eight
// coordinates lie within 49 of an unread one.
void LineImg_MergeRegionMarks();
// The value with which a region's candidate box is marked.
inline constexpr i32 kLineImgBoxMark = 1;

// ---- Region scan lines.

int LineImg_ScanRegion(LINEIMG_RUN *run, const REGION_QUAD *quad, u8 *status, u8 kind, LINEIMG_READ_SET *reads);
// Whole-pixel and 1/16-pixel reads of one line pair: 1 read and stored, 0 no read, -1 no
// usable edges.
int LineDeodeSub(const LINEIMG_LINE_PAIR *pair, LINEIMG_LINE_STATE *state, LINEIMG_READ_SET *reads,
                 const REGION_QUAD *quad);
int LineImg_DecodeLineFine(const LINEIMG_LINE_PAIR *pair, LINEIMG_LINE_STATE *state, LINEIMG_READ_SET *reads,
                           const REGION_QUAD *quad);
inline constexpr i32 kLineImgFineSamples = 1040;
// 1040 bilinear samples spread over p-q (1/16 pixel), 128 outside the frame.
i32 LineImg_SampleLineFine(const GEO_POINT *p, const GEO_POINT *q, u8 *buffer);
void LineImg_StoreLineResult(const LINEIMG_LINE_RECORD *record);
int LineImg_ReviewAttempts();
int LineImg_IsReadConfirmed(const LINEIMG_READ_SET *reads);
void LineImg_ResetLineState();
// Appends the 1D driver's latest read to the read set (bounded by its buffers): 0 when full.
int LineImg_AppendRead(LINEIMG_READ_SET *reads);
// The 1D driver's latest read into the record (bounded by its text room), then stored.
void LineImg_RecordLineRead(LINEIMG_LINE_STATE *state, LINEIMG_LINE_RECORD *record);
// The read set's last read becomes result run.count: 1, or 0 when the run is full.
int LineImg_AppendRunResult(LINEIMG_RUN *run, const LINEIMG_READ_SET *reads, const REGION_QUAD *quad,
                            GEO_POINT centre, u8 kind);

// ---- Methods of other steps (composite components, accumulation, profile path).

int LineImg_TryComponents(LINEIMG_RUN *run);
// Takes the accumulation's eight blocks: 0 (none held) when one cannot be had or the
// method is switched off.
int LineImg_AllocAccumulator();
int LineImg_ScanRegionAccumulate(LINEIMG_RUN *run, const REGION_QUAD *quad, u8 kind, LINEIMG_READ_SET *reads);
void LineImg_FreeAccumulator();
int LineImg_AllocProfileBuffers();
int LineImg_ScanRegionProfile(LINEIMG_RUN *run, const REGION_QUAD *quad, u8 kind);
void LineImg_FreeProfileBuffers();

// ---- Output rules.

int LineImg_IsCouponMain(const u8 *text, i32 length, i32 id);
int LineImg_IsCouponExtension(const u8 *text, i32 length, i32 id);
void LineImg_MarkCouponParts(LINEIMG_RUN *run);
int LineImg_AcceptResult(LINEIMG_RUN *run);
int LineImg_JoinUpcEanPair(LINEIMG_RUN *run);
int LineImg_OutputSingle(LINEIMG_RUN *run);
int LineImg_JoinItfPair(LINEIMG_RUN *run, i32 pairedId);
int LineImg_TryJoinTwo(LINEIMG_RUN *run);
int LineImg_SameOrientation(const REGION_QUAD quads[2], const u8 orientation[2]);
int LineImg_IsSecondFirst(const REGION_QUAD quads[2], i8 direction, u8 orientation);
int LineImg_OutputFirstOther(LINEIMG_RUN *run, i32 pairedId);
int LineImg_TryJoinFallback(LINEIMG_RUN *run);
int LineImg_OutputCouponPart(LINEIMG_RUN *run);

// ---- Operations beyond the module record.

void LineImg_GetCorners(REGION_QUAD *out);
int LineImg_GetDataBarValue(i32 *out);
struct LINEIMG_PART_LIST {
    i32 count;
    i32 *kinds;
    i32 *ids;
    i32 *lengths;
    char *aimChars;  // 3 per part and a closing zero
};
int LineImg_CopyPartList(LINEIMG_PART_LIST *out);

}  // namespace vexo
