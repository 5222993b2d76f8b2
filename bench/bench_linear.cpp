// The linear decode driver per scan line: the three start/stop searches run to the end of a
// 252-edge line (the longest edge list the image side hands over for a scan line) with
// matchers that refuse everything, and whole walks over the same line: through an empty
// table, and through the table as loaded with every linear symbology enabled (the worst
// case of a line without a symbol; it grows as the families' records land). Code 128 lines
// through the record's locate and decode: 20 and 60 data characters, clean or with one
// damaged character (a partial read that only votes), forward and reversed. EAN-13 lines
// through the record's slots, forward and reversed, with and without a 5-digit add-on to
// search and read. Code 39 (3:1, 2.5 samples a narrow element) and Code 93 lines of 10 and
// 30 data characters likewise; ITF-14 and a 12-character Codabar line, forward and reversed.
// Code 11 ("123-4552", 2:1), MSI ("123448", 2:1) and Plessey (eight values and the CRC,
// 3:1) lines built from their key tables, 2.5 samples a narrow element, forward and
// reversed. The walk with every record enabled runs with and without those three records.
// A GS1 DataBar Expanded line of 11 pairs (the most a line list holds) through the Expanded
// record's locate and decode, the store emptied each time, forward and reversed.
// The whole walk over a Code 128 and an EAN-13 line with the table in its order at load,
// with records 0 and 1 (fixed 8-digit code, 2 of 5 variant A) at its head and with their
// slots emptied; variant A (12 digits) and fixed 8-digit lines through their records.
#include <benchmark/benchmark.h>

#include "../tests/decoder/linear/code128_lines.h"
#include "../tests/decoder/linear/databar_lines.h"
#include "../tests/decoder/linear/ean_lines.h"
#include "../tests/decoder/linear/edge_lists.h"
#include "../tests/decoder/linear/var25a_fixed8_lines.h"
#include "../tests/decoder/linear/width_lines.h"
#include "core/params.h"
#include "core/test_hooks.h"
#include "linear/codabar.h"
#include "linear/code11.h"
#include "linear/code128.h"
#include "linear/databar.h"
#include "linear/ean_upc.h"
#include "linear/line_driver.h"
#include "linear/line_search.h"
#include "linear/line_table.h"
#include "linear/msi_plessey.h"
#include "linear/test_hooks_linear.h"

namespace {

using namespace vexo;

constexpr int kEdges = 252;
constexpr uint8_t kItfBlock[8] = {14, 18, 10, 10, 6, 11, 3, 4};
constexpr uint8_t kCode39Block[5] = {30, 30, 10, 28, 2};

int Refuse(const uint16_t *) { return 0; }
int RefuseStart(const uint16_t *, uint16_t *) { return 0; }
int RefusePairStart(const uint16_t *, uint16_t *, int) { return 0; }
int RefusePairStop(const uint16_t *, int) { return 0; }

// Arg 0: noise (elements of 1 to 10 samples); arg 1: equal elements, a run everywhere.
linetest::EdgeLine BenchLine(int64_t kind) {
    return kind == 0 ? linetest::MakeNoiseLine(kEdges, 11) : linetest::MakeNoiseLine(kEdges, 11, 48, 48);
}


void BM_LineFindStartStop(benchmark::State &state) {
    const linetest::EdgeLine line = BenchLine(state.range(0));
    for (auto _ : state) {
        LINE_LOCATE_STATE st = linetest::LocateState(line);
        benchmark::DoNotOptimize(Line_FindStartStop(&st, kItfBlock, Refuse, Refuse, Refuse, Refuse));
    }
}
BENCHMARK(BM_LineFindStartStop)->Arg(0)->Arg(1);

void BM_LineFindStartStopAlt(benchmark::State &state) {
    const linetest::EdgeLine line = BenchLine(state.range(0));
    for (auto _ : state) {
        LINE_LOCATE_STATE st = linetest::LocateState(line);
        benchmark::DoNotOptimize(Line_FindStartStopAlt(&st, kCode39Block, RefuseStart, RefuseStart, Refuse, Refuse));
    }
}
BENCHMARK(BM_LineFindStartStopAlt)->Arg(0)->Arg(1);

void BM_LineFindStartStopByPairs(benchmark::State &state) {
    const linetest::EdgeLine line = BenchLine(state.range(0));
    for (auto _ : state) {
        LINE_LOCATE_STATE st = linetest::LocateState(line);
        benchmark::DoNotOptimize(Line_FindStartStopByPairs(&st, RefusePairStart, RefusePairStop, 26));
    }
}
BENCHMARK(BM_LineFindStartStopByPairs)->Arg(0)->Arg(1);

void BM_LineWalkEmptyTable(benchmark::State &state) {
    Test_ResetDecoderStatics();
    Test_ClearLineTable();
    linetest::EdgeLine line = BenchLine(0);
    linetest::Install(line);
    for (auto _ : state) benchmark::DoNotOptimize(Line_DecodeEdgeLine());
    Test_ResetDecoderStatics();
}
BENCHMARK(BM_LineWalkEmptyTable);

// Arg 0: 1 without the Code 11, MSI and Plessey records.
void BM_LineWalkEveryRecordEnabled(benchmark::State &state) {
    Test_ResetDecoderStatics();
    Par_InstallDefaults();
    for (int id = 0; id <= kSymFixed8; ++id) g_params.flagsWord[id] |= kFlagEnabled;
    if (state.range(0) == 1)
        for (int index : {kLineRecPlessey, kLineRecMsi, kLineRecCode11}) Test_InstallLineRecord(index, nullptr);
    linetest::EdgeLine line = BenchLine(0);
    linetest::Install(line);
    for (auto _ : state) benchmark::DoNotOptimize(Line_DecodeEdgeLine());
    Test_ResetDecoderStatics();
}
BENCHMARK(BM_LineWalkEveryRecordEnabled)->Arg(0)->Arg(1);

// Arg 0: 0 Code 11, 1 MSI, 2 Plessey; arg 1: reversed.
void BM_WidthClassPeripheryLine(benchmark::State &state) {
    Test_ResetDecoderStatics();
    const int which = static_cast<int>(state.range(0));
    std::vector<int> runs;
    size_t count = 0;
    if (which == 0) {
        const std::vector<uint8_t> values = {1, 2, 3, 10, 4, 5, 5, 2};
        std::vector<int32_t> keys = {kCode11Keys[11]};
        for (uint8_t v : values) keys.push_back(kCode11Keys[v]);
        keys.push_back(kCode11Keys[11]);
        runs = linetest::KeyRuns(keys, 5, 1, 2, true);
        count = values.size();
    } else {
        const std::vector<uint8_t> values = which == 1 ? std::vector<uint8_t>{1, 2, 3, 4, 4, 8}
                                                       : std::vector<uint8_t>{1, 2, 10, 11, 0, 15, 7, 3, 4, 9};
        std::vector<int32_t> keys;
        for (uint8_t v : values) keys.push_back(which == 1 ? kMsiKeys[v] : kPlesseyKeys[v]);
        const int w = which == 1 ? 2 : 3;
        runs = which == 1 ? std::vector<int>{w, 1} : std::vector<int>{w, 1, w, 1, 1, w, w, 1};
        const std::vector<int> body = linetest::KeyRuns(keys, 8, 1, w, false);
        runs.insert(runs.end(), body.begin(), body.end());
        const std::vector<int> stop = which == 1 ? std::vector<int>{1, w, 1} : std::vector<int>{w, w, 1, w, 1, 1, w, 1, w};
        runs.insert(runs.end(), stop.begin(), stop.end());
        count = values.size();
    }
    const linetest::EdgeLine line = linetest::MakeEdgeLine(
        runs, {.moduleSamples = 2.5, .jitter16 = 1, .reversed = state.range(1) != 0, .quietBefore = 30,
               .quietAfter = 30, .seed = 3});
    const int records[] = {kLineRecCode11, kLineRecMsi, kLineRecPlessey};
    const LINE_SYMBOLOGY &rec = kLineTableAtLoad.records[records[which]];
    // Plessey's values here carry no valid CRC: the record reads them all the same.
    if (linetest::ReadRecordLine(rec, line).count != count) state.SkipWithError("the line does not read");
    for (auto _ : state) benchmark::DoNotOptimize(linetest::ReadRecordLine(rec, line).count);
    state.SetItemsProcessed(state.iterations());
    Test_ResetDecoderStatics();
}
BENCHMARK(BM_WidthClassPeripheryLine)->ArgsProduct({{0, 1, 2}, {0, 1}});

// Arg 0: data characters; arg 1: a damaged character; arg 2: reversed.
void BM_Code128Line(benchmark::State &state) {
    Test_ResetDecoderStatics();
    std::vector<uint8_t> values = {104};
    for (int i = 0; i < state.range(0); ++i) values.push_back(static_cast<uint8_t>((i * 29 + 7) % 96));
    values = linetest::WithCheck(values);
    std::vector<int> runs = linetest::SymbolRuns(values);
    if (state.range(1) != 0) {  // character 5's middle three elements merged
        runs[31] = runs[31] + runs[32] + runs[33];
        runs.erase(runs.begin() + 32, runs.begin() + 34);
    }
    const linetest::EdgeLine line = linetest::MakeEdgeLine(
        runs, {.moduleSamples = 2.5, .spread = 0.1, .jitter16 = 1, .reversed = state.range(2) != 0, .seed = 3});
    for (auto _ : state) {
        Code128_Reset();
        benchmark::DoNotOptimize(linetest::ReadCode128Line(line).count);
    }
    state.SetItemsProcessed(state.iterations());
    Test_ResetDecoderStatics();
}
BENCHMARK(BM_Code128Line)->ArgsProduct({{20, 60}, {0, 1}, {0, 1}});

// Arg 0: reversed; arg 1: a 5-digit add-on behind the symbol (searched and read forward).
void BM_Ean13Line(benchmark::State &state) {
    Test_ResetDecoderStatics();
    linetest::SetEanWords();
    std::vector<int> runs = linetest::Ean13Runs("4006381333931");
    if (state.range(1) != 0) linetest::Append(runs, linetest::AddOnRuns("52495"));
    const linetest::EdgeLine line = linetest::MakeEdgeLine(
        runs, {.moduleSamples = 2.5, .spread = 0.1, .jitter16 = 1, .reversed = state.range(0) != 0, .seed = 3});
    for (auto _ : state) benchmark::DoNotOptimize(linetest::ReadEanLine(line, Ean13_Locate, Ean13_Decode).count);
    state.SetItemsProcessed(state.iterations());
    Test_ResetDecoderStatics();
}
BENCHMARK(BM_Ean13Line)->ArgsProduct({{0, 1}, {0, 1}});

// Arg 0: data characters; arg 1: reversed.
void BM_Code39Line(benchmark::State &state) {
    Test_ResetDecoderStatics();
    std::vector<uint8_t> values = {kCode39StartStop};
    for (int i = 0; i < state.range(0); ++i) values.push_back(static_cast<uint8_t>((i * 17 + 5) % 43));
    values.push_back(kCode39StartStop);
    const linetest::EdgeLine line = linetest::MakeEdgeLine(
        linetest::Code39Runs(values, 1, 3),
        {.moduleSamples = 2.5, .spread = 0.1, .jitter16 = 1, .reversed = state.range(1) != 0, .seed = 3});
    const LINE_SYMBOLOGY &rec = kLineTableAtLoad.records[kLineRecCode39];
    if (linetest::ReadRecordLine(rec, line).count != values.size()) state.SkipWithError("the line does not read");
    for (auto _ : state) benchmark::DoNotOptimize(linetest::ReadRecordLine(rec, line).count);
    state.SetItemsProcessed(state.iterations());
    Test_ResetDecoderStatics();
}
BENCHMARK(BM_Code39Line)->ArgsProduct({{10, 30}, {0, 1}});

void BM_Code93Line(benchmark::State &state) {
    Test_ResetDecoderStatics();
    Par_InstallDefaults();
    std::vector<uint8_t> data;
    for (int i = 0; i < state.range(0); ++i) data.push_back(static_cast<uint8_t>((i * 17 + 5) % 43));
    const linetest::EdgeLine line = linetest::MakeEdgeLine(
        linetest::Code93Runs(data, 1),
        {.moduleSamples = 2.5, .spread = 0.1, .jitter16 = 1, .reversed = state.range(1) != 0, .seed = 3});
    const LINE_SYMBOLOGY &rec = kLineTableAtLoad.records[kLineRecCode93];
    if (linetest::ReadRecordLine(rec, line).count != data.size() + 2) state.SkipWithError("the line does not read");
    for (auto _ : state) benchmark::DoNotOptimize(linetest::ReadRecordLine(rec, line).count);
    state.SetItemsProcessed(state.iterations());
    Test_ResetDecoderStatics();
}
BENCHMARK(BM_Code93Line)->ArgsProduct({{10, 30}, {0, 1}});

// Arg 0: 0 ITF-14, 1 Codabar; arg 1: reversed.
void BM_TwoWidthLine(benchmark::State &state) {
    Test_ResetDecoderStatics();
    const std::vector<uint8_t> itf14 = {1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 1, 2, 3, 1};
    const std::vector<uint8_t> codabar = {16, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 17};
    std::vector<int32_t> keys;
    for (uint8_t v : codabar) keys.push_back(kCodabarKeys[v]);
    const bool isItf = state.range(0) == 0;
    const linetest::EdgeLine line = linetest::MakeEdgeLine(
        isItf ? linetest::ItfRuns(itf14, 1, 3) : linetest::KeyRuns(keys, 7, 1, 3, true),
        {.moduleSamples = 2.5, .spread = 0.1, .jitter16 = 1, .reversed = state.range(1) != 0, .quietBefore = 30,
         .quietAfter = 30, .seed = 3});
    const LINE_SYMBOLOGY &rec = kLineTableAtLoad.records[isItf ? kLineRecItf : kLineRecCodabar];
    if (linetest::ReadRecordLine(rec, line).count != (isItf ? itf14 : codabar).size())
        state.SkipWithError("the line does not read");
    for (auto _ : state) benchmark::DoNotOptimize(linetest::ReadRecordLine(rec, line).count);
    state.SetItemsProcessed(state.iterations());
    Test_ResetDecoderStatics();
}
BENCHMARK(BM_TwoWidthLine)->ArgsProduct({{0, 1}, {0, 1}});
// The module runs of a symbol of 21 data characters ("[01]00012345678905[10]ABCDEFGHIJKLMNOPQRST
// [21]12345678901234"), taken from a libzint rendering.
constexpr char kExpanded11Pairs[] =
    "1231421131841123113331114221511148131124213341211143641133221411123161211146311141324143151113461111"
    "1512423421411111823111213441224223132811112343212214322111562211243223114141226511111223341112351311"
    "9223331312134212311229111";

// Arg 0: reversed.
void BM_DataBarExpandedLine(benchmark::State &state) {
    Test_ResetDecoderStatics();
    linetest::SetDataBarWords();
    const linetest::EdgeLine line = linetest::MakeEdgeLine(
        linetest::Runs(kExpanded11Pairs),
        {.moduleSamples = 2.5, .spread = 0.1, .jitter16 = 1, .reversed = state.range(0) != 0, .seed = 3});
    uint8_t buffer[kLineTextCapacity];
    LINE_AUX_ENTRY segments[kLineSegmentCapacity];
    u16 length = 0;
    for (auto _ : state) {
        DataBar_Reset();
        LINE_LOCATE_STATE st = linetest::LocateState(line);
        if (DataBar_LocateExpanded(&st) != 1) continue;
        LINE_AUX aux{};
        aux.segments = segments;
        aux.segmentCapacity = kLineSegmentCapacity;
        LINE_DECODE_CTX ctx = linetest::DecodeContext(st, buffer, sizeof buffer);
        ctx.aux = &aux;
        length = DataBar_DecodeExpanded(&ctx);
        benchmark::DoNotOptimize(length);
    }
    if (length == 0) state.SkipWithError("the Expanded line did not read");
    state.SetItemsProcessed(state.iterations());
    Test_ResetDecoderStatics();
}
BENCHMARK(BM_DataBarExpandedLine)->Arg(0)->Arg(1);

// Arg 0: 0 a Code 128 line, 1 an EAN-13 line; arg 1: records 0 and 1 at the head of the
// table (1) or their slots emptied (0). Defaults, so both head records run but stay disabled.
void BM_LineWalkHeadRecords(benchmark::State &state) {
    Test_ResetDecoderStatics();
    Par_InstallDefaults();
    if (state.range(1) == 0) {
        const LINE_SYMBOLOGY empty{};
        Test_InstallLineRecord(kLineRecFixed8, &empty);
        Test_InstallLineRecord(kLineRecVar25a, &empty);
    }
    std::vector<int> runs;
    if (state.range(0) == 0) {
        std::vector<uint8_t> values = {104};
        for (int i = 0; i < 20; ++i) values.push_back(static_cast<uint8_t>((i * 29 + 7) % 96));
        runs = linetest::SymbolRuns(linetest::WithCheck(values));
    } else {
        runs = linetest::Ean13Runs("4006381333931");
    }
    linetest::EdgeLine line = linetest::MakeEdgeLine(runs, {.moduleSamples = 2.5, .spread = 0.1, .jitter16 = 1, .seed = 3});
    linetest::Install(line);
    for (auto _ : state) benchmark::DoNotOptimize(Line_DecodeEdgeLine());
    state.SetItemsProcessed(state.iterations());
    Test_ResetDecoderStatics();
}
BENCHMARK(BM_LineWalkHeadRecords)->ArgsProduct({{0, 1}, {0, 1}});

// Arg 0: 0 variant A, 1 the fixed 8-digit code; arg 1: reversed.
void BM_Var25aFixed8Line(benchmark::State &state) {
    Test_ResetDecoderStatics();
    const bool fixed8 = state.range(0) != 0;
    const std::vector<int> runs =
        fixed8 ? linetest::Fixed8SymbolRuns("9081726") : linetest::Var25aSymbolRuns("471108154203", 1, 3);
    const linetest::EdgeLine line = linetest::MakeEdgeLine(
        runs, {.moduleSamples = 2.5, .spread = 0.1, .jitter16 = 1, .reversed = state.range(1) != 0,
               .quietBefore = fixed8 ? 0.0 : 10.0, .quietAfter = fixed8 ? 0.0 : 10.0, .seed = 3});
    const LINE_SYMBOLOGY &rec = kLineTableAtLoad.records[fixed8 ? kLineRecFixed8 : kLineRecVar25a];
    if (linetest::ReadRecordLine(rec, line).count == 0) state.SkipWithError("the line does not read");
    for (auto _ : state) benchmark::DoNotOptimize(linetest::ReadRecordLine(rec, line).count);
    state.SetItemsProcessed(state.iterations());
    Test_ResetDecoderStatics();
}
BENCHMARK(BM_Var25aFixed8Line)->ArgsProduct({{0, 1}, {0, 1}});

}  // namespace
