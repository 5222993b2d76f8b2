// The static words of the decode in progress, shared by the sequencer, the interface,
// region locating and the symbology decoders.
#pragma once

#include "core/module_types.h"
#include "core/types.h"
#include "vexo3.h"

namespace vexo {

inline constexpr int kMaxRegions = 50;
inline constexpr int kMaxDecodedQuads = 16;
inline constexpr int kInternalImageBytes = 1280 * 960;

struct IMAGE_RECORD {
    u8 *data;
    u8 *secondBuffer;
    i32 width;
    i32 height;
};

struct PDF_CANDIDATE_BOX {
    i32 top;
    i32 left;
    i32 right;
    i32 bottom;
};

// stageEnable bits.
inline constexpr u32 kStageLinear = 1u << 0;
inline constexpr u32 kStageFastPdf = 1u << 1;
inline constexpr u32 kStageRegion = 1u << 2;
inline constexpr u32 kStagePdfWalk = 1u << 4;
inline constexpr u32 kStageRegionWalk = 1u << 5;
inline constexpr u32 kStageOcrPostal = 1u << 6;
inline constexpr u32 kAllStages = 127;

// decodeSource values.
enum DecodeSource : u8 {
    kSourceNone = 0,
    kSourceStacked = 1,
    kSourceMatrix = 2,
    kSourceExternal = 3,
    kSourceOcrPostal = 4,
};

inline constexpr int kRegionClassBars = 1000;

struct DECODER_STATE {
    u32 decoded;
    IMAGE_RECORD image;
    void *extensionArgs[4];
    u32 initialised;
    u32 imageCopyFlags;
    u8 *imageCopyDest;
    u32 stageEnable;
    u32 stageWord;
    u32 stageWordAux;  // the word cleared together with stageWord
    u32 walkCount = 3;
    u8 walkIds[4] = {1, 2, 5, 9};
    i32 regionClass[kMaxRegions];
    i32 lastSymbologyCode;
    u16 decodedModuleId;
    u8 decodeSource;
    i32 matrixIndex;
    i32 ocrIndex;
    u8 matrixSuccess[32];
    u8 ocrSuccess;
    MODULE_HEADER moduleHeader;
    MODULE_RESULT moduleResult;
    u16 decodedQuadCount;
    u16 decodedQuadCapacity;
    REGION_QUAD decodedQuads[kMaxDecodedQuads];
    REGION_QUAD stageRegionRaw;
    REGION_QUAD stageRegionAligned;
    REGION_QUAD stageRegionOriginal;  // always all zeros
    u32 linearLinkage;
    u32 smoothing;
    i32 frameCounter;
    // Region of interest.
    i32 roiPercent;
    ROI_RECORD roiRecord;
    REGION_QUAD roiQuad;
    u32 roiExplicit;
    i32 roiLeft;
    i32 roiRight = 751;  // the edges start as a 752 x 480 frame
    i32 roiTop;
    i32 roiBottom = 479;
    i32 roiEnable;
    // Accept only symbols whose centre lies in the region of interest (0 or 1). Set by
    // 0x100212; read by the Aztec, Han Xin, Data Matrix, MaxiCode, PDF417 and QR decoders.
    i8 extraGeometryStep;
    u32 flag400000;      // set by id 0x400000; nothing reads it
    u16 word400009 = 29;  // set by id 0x400009; nothing reads it
    u16 word40000a = 31;  // set by id 0x40000a; nothing reads it
    i32 locatedCount;
    REGION_QUAD locatedRegions[kMaxRegions];
    i32 walkRegionCount;
    REGION_QUAD walkRegions[kMaxRegions];
    u8 decodeRecord[32];
    u32 decodeRecordWord;  // 1: a PDF417 symbol was found but not decoded
    REGION_QUAD decodeRecordQuad;  // that symbol's corners while the word is 1
    PDF_CANDIDATE_BOX pdfCandidateBoxes[kMaxRegions];
    u8 pdfCandidateTags[kMaxRegions];
    i32 pdfCandidateCount;
};

extern DECODER_STATE g_state;
// The 1280 x 960 working image installed as the frame's second buffer. Kept apart from
// g_state so that it stays in zero-initialised storage.
extern u8 g_internalImage[kInternalImageBytes];

}  // namespace vexo
