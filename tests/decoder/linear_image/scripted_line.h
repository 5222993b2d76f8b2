// A scripted record for the 1D table, installed through the linear side's test hook: it
// notes every edge list handed over (with the module's edge threshold at that moment) and
// answers each line with the read its script gives, so that the module's scan rules can
// be followed line by line on a synthetic bar frame.
#pragma once

#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "lineimg_test_util.h"
#include "linear/line_driver.h"
#include "linear/line_edge_input.h"
#include "linear/line_table.h"
#include "linear/line_toolkit.h"

namespace lineimgtest {

struct ScriptRead {
    std::string text;
    uint16_t id = 20;
    int verify = 1;
    uint8_t error = 0;  // 2 length, 11 check character
    uint16_t link = 0;
};

struct LineSeen {
    bool fine;         // a 1/16-pixel line (1040 samples)
    int pair;          // number of the pair in the region (from 0)
    uint32_t lineLength;
    uint16_t sampleCount;
    uint16_t firstEdge;
    uint16_t edgeCount;
    uint16_t minStep;
};

// The script: the read of a pair's whole-pixel or fine line, or none.
using Script = std::function<std::optional<ScriptRead>(int pair, bool fine)>;

inline Script g_script;
inline std::vector<LineSeen> g_seen;
inline std::optional<ScriptRead> g_current;

inline int ScriptedIsEnabled() { return 1; }

inline int ScriptedLocate(vexo::LINE_LOCATE_STATE *st) {
    if (st->found != 0 || st->edgeCount < 2) return 0;
    const bool fine = st->lineLength == 16u * vexo::kLineImgFineSamples;
    int whole = 0;
    for (const LineSeen &s : g_seen) whole += s.fine ? 0 : 1;
    const int pair = fine ? whole - 1 : whole;
    g_seen.push_back({fine, pair, st->lineLength, vexo::g_lineEdgeInput.sampleCount, st->edges[0], st->edgeCount,
                      vexo::g_lineImgState.minStep});
    g_current = g_script ? g_script(pair, fine) : std::nullopt;
    if (!g_current) return 0;
    st->startIndex = 0;
    st->endIndex = static_cast<uint16_t>(st->edgeCount - 1);
    return 1;
}

inline uint16_t ScriptedDecode(vexo::LINE_DECODE_CTX *ctx) {
    if (!g_current || ctx->data == nullptr) return 0;
    const size_t n = std::min<size_t>(g_current->text.size(), ctx->capacity);
    std::memcpy(ctx->data, g_current->text.data(), n);
    return static_cast<uint16_t>(n);
}

inline int ScriptedVerify(vexo::LINE_DECODE_CTX *ctx) {
    if (!g_current) return 0;
    ctx->symbologyId = g_current->id;
    ctx->aimLetter = 'C';
    ctx->aimModifier = '0';
    ctx->errorCode = g_current->error;
    ctx->linkFlag = g_current->link;
    return g_current->verify;
}

// Only the scripted record in the table; every internal id up to 37 enabled.
inline void InstallScript(Script script) {
    g_script = std::move(script);
    g_seen.clear();
    g_current.reset();
    vexo::Test_ClearLineTable();
    const vexo::LINE_SYMBOLOGY rec{.reset = nullptr,
                                   .isEnabled = &ScriptedIsEnabled,
                                   .locate = &ScriptedLocate,
                                   .decode = &ScriptedDecode,
                                   .verify = &ScriptedVerify};
    vexo::Test_InstallLineRecord(0, &rec);
    for (int id = 0; id < 38; ++id) vexo::g_params.flagsWord[id] |= vexo::kFlagEnabled;
}

// A 752 x 480 frame of bars that move one pixel right every second row, so that the
// first edge of a line tells its row: bars from x = 150 + (y - 100) / 2 on rows 100-299.
inline constexpr int kBarTop = 100;
inline constexpr int kBarLeft = 150;
inline std::vector<uint8_t> BarFrame() {
    static const int widths[] = {4, 2, 2, 4, 6, 2, 2, 2, 4, 4, 2, 6, 2, 2, 4, 2, 2, 2, 6, 4};
    std::vector<uint8_t> px(752 * 480, 220);
    for (int y = kBarTop; y < kBarTop + 200; ++y) {
        int x = kBarLeft + (y - kBarTop) / 2;
        for (int rep = 0; rep < 4; ++rep)
            for (size_t k = 0; k < sizeof(widths) / sizeof(widths[0]); ++k) {
                for (int i = 0; i < widths[k]; ++i, ++x)
                    if (k % 2 == 0) px[static_cast<size_t>(y) * 752 + static_cast<size_t>(x)] = 30;
            }
    }
    return px;
}

// A fixture on the bar frame: statics reset, the frame installed, an empty run and table.
class BarFrameTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetAll();
        pixels_ = BarFrame();
        InstallImage(pixels_, 752, 480);
        vexo::LineImg_ClearRun(&run_);
        vexo::LineImg_ResetLineState();
        vexo::LineImg_ResetRegions();
    }

    std::vector<uint8_t> pixels_;
    vexo::LINEIMG_RUN run_{};
};

// One region (kind 1) as the region being decoded, and an empty read set over room.
inline void InstallOneRegion(const vexo::REGION_QUAD &quad, vexo::LINEIMG_READ_SET *reads, uint8_t *room) {
    vexo::g_lineImgRegions.count = 1;
    vexo::g_lineImgRegions.quads[0] = quad;
    vexo::g_lineImgRegions.kinds[0] = 1;
    vexo::g_lineImgState.nextRegion = 1;
    vexo::g_lineImgState.region = 0;
    *reads = vexo::LINEIMG_READ_SET{};
    for (int k = 0; k < vexo::kLineImgReadCap; ++k) reads->buffer[k] = room + k * vexo::kLineImgTextBytes;
    reads->wanted = 2;
}

// The row of a whole-pixel line that starts at column x0, from its first edge.
inline int RowOfLine(const LineSeen &s, int x0) {
    const int firstBar = (s.firstEdge - 8) / 16 + x0 + 2;
    return kBarTop + 2 * (firstBar - kBarLeft);
}

}  // namespace lineimgtest
