// The linear decode driver on hostile edge lists: 0 to 2,000 edges in arrays of exactly that
// size, any sample count and flag words, each line walked twice (the second time through the
// reordered table). Optionally a scripted record sits in the end record's place and answers
// from the input: candidates on and off the line, counts beyond the text's room, any
// direction, segment, row state, id, identifier, error byte and link value.
//
// Invariants (trap on violation): an answer of 1 comes with a text of 1 to 256 bytes inside
// the driver's buffer, an identifier "]" letter digit, and start and end positions that are
// edges of the list with start <= end; the attempt log holds at most 32 known codes.
//
// Input: [sample count u16] [flag word u32] [mode] ([script length] [script]) [increments].
// Mode: bit 0 increments of two bytes, bit 1 the scripted record, bit 2 the defaults under
// the flag word, bit 3 the flag word turned by the id for each id.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "core/params.h"
#include "linear/line_driver.h"
#include "linear/line_edge_input.h"
#include "linear/line_table.h"
#include "linear/test_hooks_linear.h"

namespace {

using namespace vexo;

#define LINE_CHECK(cond)               \
    do {                               \
        if (!(cond)) __builtin_trap(); \
    } while (0)

struct Script {
    const uint8_t *data = nullptr;
    size_t size = 0;
    size_t pos = 0;
    int candidates = 0;

    uint8_t Byte() { return pos < size ? data[pos++] : 0; }
    uint16_t Word() { return static_cast<uint16_t>(Byte() | (Byte() << 8)); }
    bool Done() const { return pos >= size; }
};

Script g_script;

int ScriptedEnabled() { return 1; }

int ScriptedLocate(LINE_LOCATE_STATE *st) {
    if (st->found == 0) g_script.candidates = 0;
    if (g_script.Done() || ++g_script.candidates > 8) return 0;
    const uint32_t span = static_cast<uint32_t>(st->edgeCount) + 3;  // now and then off the line
    st->startIndex = static_cast<uint16_t>(g_script.Word() % span);
    st->endIndex = static_cast<uint16_t>(g_script.Word() % span);
    st->locateValue = g_script.Byte();
    return 1;
}

uint16_t ScriptedDecode(LINE_DECODE_CTX *ctx) {
    static const int16_t kDirections[4] = {1, -1, -2, 0};
    const uint16_t count = static_cast<uint16_t>(g_script.Word() % 320);
    const uint8_t shape = g_script.Byte();
    if ((shape & 3) != 0) ctx->direction = kDirections[shape & 3];
    ctx->aux->kind = (shape >> 2) % 3;
    ctx->aux->variant = (shape >> 4) & 3;
    ctx->aux->segments[0].value1 = g_script.Byte();
    ctx->aux->segments[0].finder = g_script.Byte() & 3;
    ctx->aux->segments[0].present = shape >> 7;
    if (ctx->rows != nullptr) ctx->rows->state = g_script.Byte() % 3;
    const uint16_t room = std::min(count, ctx->capacity);
    if (ctx->data != nullptr) std::memset(ctx->data, 'x', room);
    return count;
}

int ScriptedVerify(LINE_DECODE_CTX *ctx) {
    static const uint8_t kErrors[4] = {0, 2, 11, 7};
    const uint8_t a = g_script.Byte();
    const uint8_t b = g_script.Byte();
    ctx->symbologyId = g_script.Byte() % 70;
    ctx->aimLetter = static_cast<char>(((a & 32) != 0 ? 'a' : 'A') + (a & 31) % 26);
    ctx->aimModifier = static_cast<char>('0' + b % 10);
    ctx->errorCode = kErrors[(b >> 4) & 3];
    ctx->linkFlag = (b >> 6) != 0 ? static_cast<uint16_t>(a % 15) : 0;
    return (a >> 6) & 1;
}

constexpr LINE_SYMBOLOGY kScripted = {.reset = nullptr,
                                      .isEnabled = &ScriptedEnabled,
                                      .locate = &ScriptedLocate,
                                      .decode = &ScriptedDecode,
                                      .verify = &ScriptedVerify};

bool IsEdge(const std::vector<uint16_t> &edges, uint16_t pos) {
    return std::find(edges.begin(), edges.end(), pos) != edges.end();
}

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

void CheckLine(int answer, const std::vector<uint16_t> &edges) {
    LINE_CHECK(answer == 0 || answer == 1);
    uint8_t codes[kLineAttemptLimit + 8];
    const uint8_t n = Line_CopyAttemptCodes(codes);
    LINE_CHECK(n <= kLineAttemptLimit);
    for (uint8_t i = 0; i < n; ++i)
        LINE_CHECK(codes[i] == 1 || codes[i] == 2 || codes[i] == 3 || codes[i] == 4 || codes[i] == 5 ||
                   codes[i] == 11);
    char aim[3];
    Line_WriteResultAimId(aim);
    LINE_CHECK(aim[0] == ']');
    if (answer == 0) return;
    const uint8_t *text = Line_GetResultData();
    const uint16_t length = Line_GetResultLength();
    LINE_CHECK(text != nullptr && length >= 1 && length <= kLineTextCapacity);
    LINE_CHECK(text >= g_lineDriver.text && text + length <= g_lineDriver.text + kLineTextCapacity);
    LINE_CHECK(IsLetter(aim[1]) && aim[2] >= '0' && aim[2] <= '9');
    const LINE_RESULT &r = g_lineDriver.results[0];
    LINE_CHECK(r.startPos <= r.endPos);
    LINE_CHECK(IsEdge(edges, r.startPos) && IsEdge(edges, r.endPos));
}

uint32_t Rotl(uint32_t w, int k) { return k == 0 ? w : (w << k) | (w >> (32 - k)); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 7) return 0;
    Test_ResetLinearStatics();
    g_params = DECODE_PARAMS{};
    const uint16_t sampleCount = static_cast<uint16_t>(data[0] | (data[1] << 8));
    const uint32_t word = static_cast<uint32_t>(data[2] | (data[3] << 8) | (data[4] << 16)) |
                          (static_cast<uint32_t>(data[5]) << 24);
    const uint8_t mode = data[6];
    if ((mode & 4) != 0) Par_InstallDefaults();
    for (int id = 0; id < 40; ++id) g_params.flagsWord[id] ^= Rotl(word, (mode & 8) != 0 ? id % 32 : 0);
    size_t pos = 7;
    g_script = Script{};
    if ((mode & 2) != 0 && pos < size) {
        const size_t wanted = data[pos++];
        const size_t length = std::min(wanted, size - pos);
        g_script.data = data + pos;
        g_script.size = length;
        pos += length;
        Test_InstallLineRecord(kLineRecEnd, &kScripted);
    }

    const size_t step = (mode & 1) != 0 ? 2 : 1;
    const size_t count = std::min<size_t>(2000, (size - pos) / step);
    std::vector<uint16_t> edges(count);
    std::vector<uint16_t> widths(count > 0 ? count - 1 : 0);
    uint32_t at = 0;
    for (size_t k = 0; k < count; ++k) {
        const uint32_t inc = step == 2 ? static_cast<uint32_t>(data[pos + 2 * k] | (data[pos + 2 * k + 1] << 8))
                                       : data[pos + k];
        at = std::min<uint32_t>(65535, (k == 0 ? 0 : at) + inc);
        edges[k] = static_cast<uint16_t>(at);
        if (k > 0) widths[k - 1] = static_cast<uint16_t>(edges[k] - edges[k - 1]);
    }
    g_lineEdgeInput.edgeCount = static_cast<uint16_t>(count);
    g_lineEdgeInput.widthCount = static_cast<int16_t>(widths.size());
    g_lineEdgeInput.sampleCount = sampleCount;
    g_lineEdgeInput.edges = edges.data();
    g_lineEdgeInput.widths = widths.data();

    for (int pass = 0; pass < 2; ++pass) {
        g_script.pos = 0;
        CheckLine(Line_DecodeEdgeLine(), edges);
    }
    Line_Reset();
    return 0;
}
