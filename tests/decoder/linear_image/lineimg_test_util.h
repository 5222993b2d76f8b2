// Shared set-up of the linear module's tests: a grey frame installed as the decoder's image
// (with the decoder's own work buffer), the module's statics reset and installed regions.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "core/arena.h"
#include "core/params.h"
#include "core/pixel.h"
#include "core/state.h"
#include "core/test_hooks.h"
#include "linear/test_hooks_linear.h"
#include "linear_image/lineimg_module.h"
#include "linear_image/lineimg_services.h"
#include "linear_image/test_hooks_lineimg.h"
#include "locate/projection.h"

namespace lineimgtest {

// A region quad from its corners: top-left, top-right, bottom-left, bottom-right.
inline vexo::REGION_QUAD Quad(int x0, int y0, int x1, int y1, int x2, int y2, int x3, int y3) {
    return vexo::REGION_QUAD{{{x0, y0}, {x1, y1}, {x2, y2}, {x3, y3}}};
}
// An axis-aligned box as a quad.
inline vexo::REGION_QUAD Box(int left, int top, int right, int bottom) {
    return Quad(left, top, right, top, left, bottom, right, bottom);
}

// Installs pixels (kept by the caller) as the decoder's image, with the internal work buffer.
inline void InstallImage(std::vector<uint8_t> &pixels, int width, int height) {
    vexo::Pix_SetImagePointer(pixels.data());
    vexo::Pix_SetImageSize(width, height);
    vexo::Pix_SetSecondBuffer(vexo::g_internalImage);
    vexo::Pix_InstallFrame(pixels.data(), width, height);
    vexo::Mem_ResetArena();
}

// Every static back to its state at load, the defaults installed, Code 128 and GS1-128 on.
inline void ResetAll() {
    vexo::Test_ResetDecoderStatics();
    vexo::Test_ResetLinearStatics();
    vexo::Test_ResetLineImgStatics();
    vexo::Par_InstallDefaults();
    for (int id : {vexo::kSymCode128, vexo::kSymGs1128}) vexo::g_params.flagsWord[id] |= vexo::kFlagEnabled;
}

inline std::string OutputText() {
    const uint8_t *t = vexo::LineImg_GetResultText();
    const int n = vexo::LineImg_GetResultLength();
    return t == nullptr ? std::string() : std::string(reinterpret_cast<const char *>(t), static_cast<size_t>(n));
}

inline std::string OutputAim() {
    char aim[3] = {};
    vexo::LineImg_WriteAimId(aim);
    return std::string(aim, 3);
}

// The row pass's proposals (eight coordinates each) after the column pass, with between()
// run between the passes as the core's linear stage runs the module; maps (when set) gets
// the difference maps as the row pass found them.
template <class Between>
std::vector<vexo::i32> RowPassAfter(Between between, std::vector<vexo::u8> *maps = nullptr) {
    vexo::Mem_ResetArena();
    EXPECT_EQ(vexo::Loc_ProjectionThresholds(), 1);
    vexo::REGION_QUAD quads[40];
    vexo::Loc_ColumnProjectionQuads(quads, 40);
    between();
    if (maps != nullptr) {
        const vexo::i64 bytes = 2 * static_cast<vexo::i64>(vexo::g_projState.rows) * vexo::g_projState.cols;
        maps->assign(vexo::g_projState.mapH, vexo::g_projState.mapH + bytes);
    }
    const int n = vexo::Loc_RowProjectionQuads(quads, 40);
    std::vector<vexo::i32> out;
    for (int k = 0; k < n; ++k)
        for (const vexo::POINT_I32 &c : quads[k].c) out.insert(out.end(), {c.x, c.y});
    return out;
}

}  // namespace lineimgtest
