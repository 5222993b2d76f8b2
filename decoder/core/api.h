// The decoder interface's own operations: image installation, region of interest, the
// result record and its read-back, the banner and the version list.
#pragma once

#include "core/state.h"
#include "core/types.h"
#include "vexo3.h"

namespace vexo {

// The library's copy of the last successful decode.
struct API_RESULT {
    u32 codeId;
    u32 length;
    const u8 *data;
    char aimId[3];
    u8 rest8;
    u16 rest16a;
    u16 rest16b;
    u32 rest32;
};

extern API_RESULT g_apiResult;

inline constexpr u32 kNoCodeId = 0xFFFF;
inline constexpr char kBannerText[] = "\r\nVexo Ver:     4.10.001";
inline constexpr char kBannerSuffix[] = "B00";
inline constexpr i32 kBuildStamp = 20151223;

// True for a frame that Decode accepts: both sides in 1..1280 and at most 1,228,800 pixels.
bool Dec_FrameSizeAcceptable(i32 width, i32 height);
void Dec_SetImage(const IMAGE_RECORD *record);
void Dec_SetRoiPercent(int flag, i32 percent);
void Dec_SetRoiRecord(const ROI_RECORD *record);
void Dec_ApplyRoiWords();
void Dec_ComputeRoiBox();
void Dec_SetExtraGeometryStep(u32 value);

int Dec_RunDecode();
u32 Dec_MapCodeId();
const u8 *Dec_GetResultData();
int Dec_GetResultDataLength();
u32 Dec_GetResultKind();
u32 Dec_GetResultSymbologyBit();
void Dec_GetAimId(char *out);
i32 Dec_GetResultStatus();
u32 Dec_GetCodeId();
// Copies the result text (with the AIM prefix when that option is on) into buf; answers
// the bytes written. No terminator.
int Dec_CopyResultText(char *buf, u32 cap);
int Dec_GetResultLength();
u32 Dec_GetResultWord();
const char *Dec_FormatBanner();
// The banner line and every module's version line, at most limit bytes (ending in "..."
// when cut); answers the bytes written.
int Dec_FormatVersionList(char *dst, int limit);
int Dec_MapExternalSymbology();
i32 Dec_GetJoinedCountForApi();

// Empty hooks of the interface.
void Dec_ConnectHook(u32 value);
void Dec_IgnoreOption202(u64 value);
void Dec_IgnoreOption210(u64 value);

// A TEXT_DESC that Get may fill: size at least 24, capacity non-zero, buffer non-null.
bool Dec_TextDescUsable(const TEXT_DESC *desc);

}  // namespace vexo
