#include "core/pixel.h"

#include "core/state.h"

namespace vexo {

namespace {

i32 g_joinedCount;

// The two common sensor sizes index rows by a constant stride and test bounds with two
// unsigned comparisons; other sizes read the stride from the frame.
template <int W, int H>
struct FixedFrame {
    static int Stride() { return W; }
    static bool Inside(i32 x16, i32 y16) {
        return static_cast<u32>(x16) <= static_cast<u32>((W - 1) * 16 - 1) &&
               static_cast<u32>(y16) <= static_cast<u32>((H - 1) * 16 - 1);
    }
};

struct GeneralFrame {
    static int Stride() { return static_cast<int>(g_frame.width); }
    static bool Inside(i32 x16, i32 y16) {
        const i64 xLimit = (static_cast<i64>(g_frame.width) - 1) * 16;
        const i64 yLimit = (static_cast<i64>(g_frame.height) - 1) * 16;
        return x16 >= 0 && y16 >= 0 && x16 < xLimit && y16 < yLimit;
    }
};

template <class F>
const u8 *TopLeft(i32 x16, i32 y16) {
    return g_frame.data + static_cast<i64>(y16 >> 4) * F::Stride() + (x16 >> 4);
}

template <class F>
i32 Bilinear(i32 x16, i32 y16, i32 dflt) {
    if (!F::Inside(x16, y16)) return dflt;
    const u8 *p = TopLeft<F>(x16, y16);
    const int s = F::Stride();
    const int fx = x16 & 15;
    const int fy = y16 & 15;
    const int sum = p[0] * (16 - fx) * (16 - fy) + p[1] * fx * (16 - fy) + p[s] * (16 - fx) * fy + p[s + 1] * fx * fy;
    return sum >> 8;
}

template <class F>
i32 Mean4(i32 x16, i32 y16, i32 dflt) {
    if (!F::Inside(x16, y16)) return dflt;
    const u8 *p = TopLeft<F>(x16, y16);
    const int s = F::Stride();
    return (p[0] + p[1] + p[s] + p[s + 1]) >> 2;
}

template <class F, i32 (*Point)(i32, i32, i32)>
void Many(const i32 *xs16, const i32 *ys16, i32 count, u32 dflt, u8 *out) {
    for (i32 i = 0; i < count; ++i) out[i] = static_cast<u8>(Point(xs16[i], ys16[i], dflt));
}

template <class F>
void InstallVariant() {
    g_frame.sampleBilinear = &Bilinear<F>;
    g_frame.sampleMean4 = &Mean4<F>;
    g_frame.sampleBilinearMany = &Many<F, &Bilinear<F>>;
    g_frame.sampleMean4Many = &Many<F, &Mean4<F>>;
}

}  // namespace

IMAGE_DESC g_image;
// Usable before the first install: the general variant over an empty frame.
PIXEL_FRAME g_frame = {nullptr, 0, 0, &Bilinear<GeneralFrame>, &Mean4<GeneralFrame>,
                       &Many<GeneralFrame, &Bilinear<GeneralFrame>>, &Many<GeneralFrame, &Mean4<GeneralFrame>>};
MODULE_WORDS g_moduleWords;

void Pix_InstallFrame(u8 *data, i32 width, i32 height) {
    g_frame.data = data;
    g_frame.width = width < 0 ? 0u : static_cast<u32>(width);
    g_frame.height = height < 0 ? 0u : static_cast<u32>(height);
    if (width == 752 && height == 480) {
        InstallVariant<FixedFrame<752, 480>>();
    } else if (width == 640 && height == 480) {
        InstallVariant<FixedFrame<640, 480>>();
    } else {
        InstallVariant<GeneralFrame>();
    }
}

void Pix_SetImagePointer(u8 *data) {
    g_image.data = data;
    Pix_InstallFrame(data, g_image.width, g_image.height);
}

void Pix_SetSecondBuffer(u8 *buffer) { g_image.buffer2 = buffer; }

void Pix_SetImageSize(i32 width, i32 height) {
    g_image.width = width;
    g_image.height = height;
    g_image.widthCopy = width;
    Pix_InstallFrame(g_image.data, width, height);
}

void Pix_SetImageRecord(const PIX_IMAGE_RECORD *record) {
    if (record == nullptr) return;
    Pix_SetImagePointer(record->data);
    Pix_SetImageSize(record->width, record->height);
}

u8 *Pix_GetImagePointer() { return g_image.data; }
u8 *Pix_GetSecondBuffer() { return g_image.buffer2; }

u8 *Pix_WorkMemory(i64 bytes) {
    u8 *buffer = g_image.buffer2;
    if (buffer == nullptr) return nullptr;
    if (buffer == g_internalImage) return bytes <= kInternalImageBytes ? buffer : nullptr;
    const i64 size = static_cast<i64>(g_image.width) * static_cast<i64>(g_image.height);
    return g_image.width > 0 && g_image.height > 0 && size >= bytes ? buffer : nullptr;
}
i32 Pix_GetImageWidth() { return g_image.width; }
i32 Pix_GetImageHeight() { return g_image.height; }

void Dec_SetJoinedCount(i32 count) { g_joinedCount = count; }
i32 Dec_GetJoinedCount() { return g_joinedCount; }
void Dec_ClearModuleWords() { g_moduleWords = MODULE_WORDS{}; }

}  // namespace vexo
