// Scripted records for the linear table, installed through the test hook: each fake hands
// out the candidates of its script, decodes and verifies them as scripted, and notes what
// it was given and which slots ran.
#pragma once

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "linear/line_table.h"
#include "linear/line_types.h"
#include "linear/test_hooks_linear.h"

namespace linetest {

inline constexpr int kFakeCount = vexo::kLineRecordCount;

// What decode and verify do with one candidate.
struct FakeRead {
    std::string text = "TEXT";  // written into the slot (as far as it has room)
    int decodeAnswer = -1;      // decode's answer; -1: the text's length
    uint16_t id = 20;
    char letter = 'A';
    char modifier = '0';
    int verify = 1;
    uint8_t error = 0;
    uint16_t link = 0;
    int16_t direction = 0;  // non-zero: decode sets the context's direction
    int32_t auxKind = 0;
    uint16_t variant = 0;
    vexo::LINE_AUX_ENTRY segment{};
    uint16_t rowState = 0;
};

struct FakeScript {
    std::vector<std::pair<uint16_t, uint16_t>> candidates;  // (startIndex, endIndex), in order
    std::vector<FakeRead> reads;  // per candidate, the last one repeating; none: decode answers 0
    // What the fake saw.
    size_t next = 0;
    int decodeCalls = 0;
    int verifyCalls = 0;
    std::vector<uint16_t> seenEdges;
    uint32_t seenLineLength = 0;
    std::vector<vexo::LINE_DECODE_CTX> contexts;  // as decode received them
};

// Slot calls in order: ('L', fake) for the first locate of a record on a line, 'D', 'V',
// 'R' (reset).
inline std::vector<std::pair<char, int>> g_fakeCalls;
inline std::array<FakeScript, kFakeCount> g_fakes;

inline void ResetFakes() {
    g_fakeCalls.clear();
    for (FakeScript &f : g_fakes) f = FakeScript{};
}

inline const FakeRead *CurrentRead(const FakeScript &f) {
    if (f.reads.empty() || f.next == 0) return nullptr;
    return &f.reads[std::min(f.next - 1, f.reads.size() - 1)];
}

template <int I>
void FakeReset() {
    g_fakeCalls.push_back({'R', I});
}

template <int I>
int FakeIsEnabled() {
    return 1;
}

template <int I>
int FakeLocate(vexo::LINE_LOCATE_STATE *st) {
    FakeScript &f = g_fakes[I];
    if (st->found == 0) {
        g_fakeCalls.push_back({'L', I});
        f.next = 0;
        f.seenEdges.assign(st->edges, st->edges + st->edgeCount);
        f.seenLineLength = st->lineLength;
    }
    if (f.next >= f.candidates.size()) return 0;
    st->startIndex = f.candidates[f.next].first;
    st->endIndex = f.candidates[f.next].second;
    ++f.next;
    return 1;
}

template <int I>
uint16_t FakeDecode(vexo::LINE_DECODE_CTX *ctx) {
    FakeScript &f = g_fakes[I];
    g_fakeCalls.push_back({'D', I});
    ++f.decodeCalls;
    f.contexts.push_back(*ctx);
    const FakeRead *r = CurrentRead(f);
    if (r == nullptr) return 0;
    if (r->direction != 0) ctx->direction = r->direction;
    ctx->aux->kind = r->auxKind;
    ctx->aux->variant = r->variant;
    ctx->aux->segments[0] = r->segment;
    if (ctx->rows != nullptr) ctx->rows->state = r->rowState;
    const size_t n = std::min<size_t>(r->text.size(), ctx->capacity);
    if (ctx->data != nullptr && n > 0) std::memcpy(ctx->data, r->text.data(), n);
    return static_cast<uint16_t>(r->decodeAnswer >= 0 ? r->decodeAnswer : static_cast<int>(r->text.size()));
}

template <int I>
int FakeVerify(vexo::LINE_DECODE_CTX *ctx) {
    FakeScript &f = g_fakes[I];
    g_fakeCalls.push_back({'V', I});
    ++f.verifyCalls;
    const FakeRead *r = CurrentRead(f);
    if (r == nullptr) return 0;
    ctx->symbologyId = r->id;
    ctx->aimLetter = r->letter;
    ctx->aimModifier = r->modifier;
    ctx->errorCode = r->error;
    ctx->linkFlag = r->link;
    return r->verify;
}

template <size_t... I>
constexpr std::array<vexo::LINE_SYMBOLOGY, sizeof...(I)> MakeFakeRecords(std::index_sequence<I...>) {
    return {{{.reset = &FakeReset<I>,
              .isEnabled = &FakeIsEnabled<I>,
              .locate = &FakeLocate<I>,
              .decode = &FakeDecode<I>,
              .verify = &FakeVerify<I>}...}};
}

inline const std::array<vexo::LINE_SYMBOLOGY, kFakeCount> kFakeRecords =
    MakeFakeRecords(std::make_index_sequence<kFakeCount>{});

// Slots a fake is installed without.
enum FakeSlots : unsigned { kWithoutReset = 1, kWithoutIsEnabled = 2, kWithoutVerify = 4 };

inline void InstallFake(int position, int fake, unsigned without = 0) {
    vexo::LINE_SYMBOLOGY rec = kFakeRecords[static_cast<size_t>(fake)];
    if ((without & kWithoutReset) != 0) rec.reset = nullptr;
    if ((without & kWithoutIsEnabled) != 0) rec.isEnabled = nullptr;
    if ((without & kWithoutVerify) != 0) rec.verify = nullptr;
    vexo::Test_InstallLineRecord(position, &rec);
}

// The fake at a table position (-1 for a record that is not one).
inline int FakeAt(int position) {
    const vexo::LINE_SYMBOLOGY &rec = vexo::g_lineTable.records[position];
    for (int i = 0; i < kFakeCount; ++i)
        if (rec.locate == kFakeRecords[static_cast<size_t>(i)].locate) return i;
    return -1;
}

// The fakes in table order (-1 for other records).
inline std::vector<int> FakeOrder() {
    std::vector<int> order;
    for (int p = 0; p < kFakeCount; ++p) order.push_back(FakeAt(p));
    return order;
}

// Fakes whose locate ran, in order.
inline std::vector<int> LocateOrder() {
    std::vector<int> order;
    for (const auto &[slot, fake] : g_fakeCalls)
        if (slot == 'L') order.push_back(fake);
    return order;
}

}  // namespace linetest
