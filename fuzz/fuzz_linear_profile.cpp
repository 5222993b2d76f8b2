// The profile path's routines on hostile input: random lines run through the alignment, the
// edge tracks and the line model; random models through both resampling paths; random
// profiles through the edge lists and the sharpening.
//
// Invariants (trap on violation): every answer is 0 or a count within its capacity, profile
// values stay in 0..1,023 and level edges increase.
//
// Input: [mode] [n u16] [l] [4 model doubles] [samples...].
#include <cstdint>
#include <cstring>
#include <vector>

#include "linear_image/lineimg_profile.h"

namespace {

using namespace vexo;

#define PROF_CHECK(cond)               \
    do {                               \
        if (!(cond)) __builtin_trap(); \
    } while (0)

struct ProfInput {
    const uint8_t *data;
    size_t size;
    size_t pos = 0;
    uint8_t Byte() { return pos < size ? data[pos++] : 0; }
    f64 Double() {
        uint64_t bits = 0;
        for (int k = 0; k < 8; ++k) bits |= static_cast<uint64_t>(Byte()) << (8 * k);
        f64 v = 0;
        std::memcpy(&v, &bits, sizeof v);
        return v;
    }
};

void CheckProfile(const std::vector<u16> &p, i32 count, i32 cap) {
    PROF_CHECK(count >= 0 && count <= cap);
    for (i32 i = 0; i < count; ++i) PROF_CHECK(p[static_cast<size_t>(i)] <= 1023);
}

void Edges(std::vector<u16> &p, i32 n) {
    std::vector<u16> out(300), second(static_cast<size_t>(n) + 1);
    const i32 shape = LineImg_ProfileEdgesByShape(p.data(), n, out.data(), 300);
    PROF_CHECK(shape >= 0 && shape <= 300);
    LineImg_SharpenProfile(p.data(), n, second.data());
    CheckProfile(p, n, n);
    const i32 level = LineImg_ProfileEdgesByLevel(p.data(), n, out.data(), 300);
    PROF_CHECK(level >= 0 && level <= 300);
    for (i32 i = 1; i < level; ++i) PROF_CHECK(out[static_cast<size_t>(i)] > out[static_cast<size_t>(i - 1)]);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    ProfInput in{data, size};
    const uint8_t mode = in.Byte();
    i32 n = in.Byte() | (in.Byte() << 8);
    if (mode % 3 == 2) {
        n = n % kProfCapacity;
        std::vector<u16> p(static_cast<size_t>(n) + 1);
        for (i32 i = 0; i < n; ++i) p[static_cast<size_t>(i)] = static_cast<u16>((in.Byte() << 2) | (in.Byte() & 3));
        Edges(p, n);
        return 0;
    }
    n = 4 + n % (kProfLineBytes - 3);
    const i32 l = 1 + in.Byte() % kProfLines;
    const LINE_MODEL model{in.Double(), in.Double(), in.Double(), in.Double()};
    std::vector<u8> rows(static_cast<size_t>(kProfLines * kProfLineBytes));
    for (u8 &v : rows) v = in.Byte();
    PROFILE_LINES lines{};
    lines.n = n;
    lines.l = l;
    for (i32 j = 0; j < l; ++j) lines.rows[j] = rows.data() + j * kProfLineBytes;
    if (mode % 3 == 0) {
        i32 scores[kProfLines];
        LineImg_AlignLines(&lines, scores);
        PROF_CHECK(lines.l >= 0 && lines.l <= l && lines.n <= n);
        if (lines.n < 4) return 0;
        std::vector<i16> filtered(static_cast<size_t>(kProfLines * kProfLineBytes));
        std::vector<u8> used(static_cast<size_t>(kProfLines * kProfLineBytes));
        std::vector<PROFILE_TRACK> tracks(kProfMaxTracks);
        const i32 t = LineImg_TrackEdges(&lines, filtered.data(), used.data(), tracks.data());
        PROF_CHECK(t >= 0 && t <= kProfMaxTracks);
        LINE_MODEL m{};
        if (t >= 4 && LineImg_SolveLineModel(&m, tracks.data(), t) == 1) {
            std::vector<u16> p(kProfCapacity);
            CheckProfile(p, LineImg_ResampleProfile(&m, &lines, p.data(), kProfCapacity), kProfCapacity);
        }
        return 0;
    }
    std::vector<u16> p(kProfCapacity);
    CheckProfile(p, LineImg_ResampleProfile(&model, &lines, p.data(), kProfCapacity), kProfCapacity);
    std::vector<i16> pos(kProfMergedCap), d2(kProfMergedCap);
    std::vector<u8> val(kProfMergedCap);
    PROFILE_MERGED merged{pos.data(), d2.data(), val.data(), 0, kProfMergedCap};
    const i32 count = LineImg_SuperResolve(&model, &lines, &merged, p.data(), kProfCapacity);
    CheckProfile(p, count, kProfCapacity);
    if (count >= 4) Edges(p, count);
    return 0;
}
