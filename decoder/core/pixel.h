// The installed grey image and its sampling functions in whole and 1/16 pixels.
#pragma once

#include "core/types.h"

namespace vexo {

struct IMAGE_DESC {
    u8 *data;     // grey pixels, row stride == width
    u8 *buffer2;  // the decoder's working copy of the same geometry
    i32 width;
    i32 height;
    i32 widthCopy;  // written with width; the profile and finder code reads this one
};

using SamplePointFn = i32 (*)(i32 x16, i32 y16, i32 dflt);
// The default is a word so that the batch samplers can serve as grid-walk row callbacks;
// its low byte is stored for outside points.
using SampleManyFn = void (*)(const i32 *xs16, const i32 *ys16, i32 count, u32 dflt, u8 *out);

// Coordinates are in 1/16 pixel. A point is inside when its pixel and the pixels to its
// right and below exist; outside points give the default.
struct PIXEL_FRAME {
    u8 *data;
    u32 width;   // negative input stored as 0
    u32 height;  // negative input stored as 0
    SamplePointFn sampleBilinear;
    SamplePointFn sampleMean4;
    SampleManyFn sampleBilinearMany;
    SampleManyFn sampleMean4Many;
};

extern IMAGE_DESC g_image;
extern PIXEL_FRAME g_frame;

void Pix_InstallFrame(u8 *data, i32 width, i32 height);
void Pix_SetImagePointer(u8 *data);
void Pix_SetSecondBuffer(u8 *buffer);
void Pix_SetImageSize(i32 width, i32 height);
// Record with the pixel pointer first and width, height as its third and fourth words.
struct PIX_IMAGE_RECORD {
    u8 *data;
    void *unused;
    i32 width;
    i32 height;
};
void Pix_SetImageRecord(const PIX_IMAGE_RECORD *record);
u8 *Pix_GetImagePointer();
u8 *Pix_GetSecondBuffer();
// The second buffer as a module's work memory: the decoder's own working image always, a
// caller's buffer only when its width x height holds `bytes`; null otherwise.
u8 *Pix_WorkMemory(i64 bytes);
i32 Pix_GetImageWidth();
i32 Pix_GetImageHeight();

// Small per-decode words kept beside the descriptor.
void Dec_SetJoinedCount(i32 count);
i32 Dec_GetJoinedCount();
void Dec_ClearModuleWords();
// The six per-decode result words cleared by Dec_ClearModuleWords.
struct MODULE_WORDS {
    i32 linearImage[2];
    i32 aztec[2];  // [1] is the Aztec result length
    i32 csCode[2];
};
extern MODULE_WORDS g_moduleWords;

}  // namespace vexo
