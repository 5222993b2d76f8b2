// PDF417 image side on small images of any size: guard scans of boxes anywhere (also inside
// out and beyond the image), codeword and row address reads between arbitrary points, and
// the signature readers on arbitrary positions. Input: width, height, reverse/max byte, box
// (four signed bytes scaled), two points, then pixels. Checks the candidate count and kinds,
// that every value read belongs to the table its reader serves, and that the arena is given
// back.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "core/arena.h"
#include "core/pixel.h"
#include "core/test_hooks.h"
#include "pdf417/pdf417_codeword.h"
#include "pdf417/pdf417_guards.h"
#include "pdf417/pdf417_scanline.h"

namespace {

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

int ArenaUsed() {
    vexo::ARENA_STATS stats{};
    vexo::Mem_GetStats(&stats);
    return stats.used;
}

bool KindOk(int32_t kind) { return kind != 0 && kind >= -4 && kind <= 4; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    using namespace vexo;
    if (size < 11) return 0;
    const int w = 1 + data[0] % 96;
    const int h = 1 + data[1] % 64;
    const int reverse = data[2] & 3;
    const int max = (data[2] >> 2) % 6;
    const i32 box[4] = {static_cast<int8_t>(data[3]) * 2, static_cast<int8_t>(data[4]) * 2,
                        static_cast<int8_t>(data[5]) * 2, static_cast<int8_t>(data[6]) * 2};
    const POINT_I32 p{static_cast<int8_t>(data[7]), static_cast<int8_t>(data[8])};
    const POINT_I32 q{static_cast<int8_t>(data[9]), static_cast<int8_t>(data[10])};
    std::vector<uint8_t> pixels(static_cast<size_t>(w) * h, 200);
    for (size_t k = 11; k < size && k - 11 < pixels.size(); ++k) pixels[k - 11] = data[k];

    Test_ResetDecoderStatics();
    Mem_ResetArena();
    g_image.data = pixels.data();
    g_image.width = w;
    g_image.height = h;
    g_image.widthCopy = w;
    Pix_InstallFrame(pixels.data(), w, h);

    PDF_CANDIDATE found[kPdfMaxCandidates] = {};
    const int rows = PDF_ScanRowsForGuards(found, max, reverse, box, h);
    Check(rows >= 0 && rows <= (max >= 1 && max <= 4 ? max : 0));
    for (int k = 0; k < rows; ++k) Check(KindOk(found[k].kind) && found[k].end1.y <= found[k].end2.y);
    const int columns = PDF_ScanColumnsForGuards(found, max, reverse, box, w);
    Check(columns >= 0 && columns <= (max >= 1 ? 4 : 0) && columns <= max);
    for (int k = 0; k < columns; ++k) Check(KindOk(found[k].kind) && found[k].end1.x <= found[k].end2.x);
    Check(ArenaUsed() == 0);

    g_pdfReadParams.inverted = reverse & 1;
    i32 value = 0;
    if (PDF_ReadCodewordOnSegment(p, q, &value) == 1) Check(value >> 28 == 0 || value >> 28 == 3 || value >> 28 == 6);
    if (PDF_ReadRapOnSegment(p, q, &value) == 1) Check(value >> 28 == 1 || value >> 28 == 2);
    Check(ArenaUsed() == 0);

    // The pixels as positions for the signature readers.
    i32 edges[9];
    for (int k = 0; k < 9; ++k) {
        edges[k] = static_cast<i32>(static_cast<uint32_t>(pixels[static_cast<size_t>(k) % pixels.size()]) << (k % 4 * 8));
    }
    value = 0;
    if (PDF_ReadCodewordSignature(edges, &value) == 1) Check(value >> 28 == 0 || value >> 28 == 3 || value >> 28 == 6);
    if (PDF_ReadRapSignature(edges, &value) == 1) Check(value >> 28 == 1 || value >> 28 == 2);
    return 0;
}
