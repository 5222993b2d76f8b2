// Codabar symbols made with libzint (start and stop letters A to D, with and without check
// character), redrawn at wide-to-narrow ratios 2:1 to 3:1 and 2 to 6 samples a narrow
// element with ink spread and jitter, forward and reversed, in edge lists that begin and
// end with the symbol's own edges (so the stop's last bar ends the line): the record reads
// the values, small and large start characters alike, and the walk gives the text.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "code128_lines.h"
#include "core/params.h"
#include "core/test_hooks.h"
#include "libzint_runs.h"
#include "linear/codabar.h"
#include "linear/line_table.h"
#include "width_lines.h"

namespace {

using namespace vexo;
using namespace linetest;

std::vector<uint8_t> CodabarValues(const std::string &text) {
    std::vector<uint8_t> v;
    for (char ch : text) v.push_back(static_cast<uint8_t>(std::string(kCodabarChars).find(ch)));
    return v;
}

TEST(CodabarSymbols, ValuesAtEveryRatioAndSize) {
    struct Case {
        std::string data;
        int option2;  // 1: libzint adds the mod-16 check character
    };
    const Case cases[] = {
        {"A37859B", 0}, {"B0123456789C", 0}, {"C-$:/.+D", 0}, {"D1A", 0}, {"A40156B", 1}, {"C9D", 0},
    };
    const LINE_SYMBOLOGY &rec = kLineTableAtLoad.records[kLineRecCodabar];
    int smallStarts = 0, largeStarts = 0;
    for (const Case &c : cases) {
        const std::vector<int> runs = LibzintRuns(BARCODE_CODABAR, c.data, DATA_MODE, c.option2);
        ASSERT_FALSE(runs.empty());
        const size_t characters = (runs.size() + 1) / 8;
        ForEachTwoWidthDrawing(runs, c.data, 0, [&](const TwoWidthDrawing &d, const EdgeLine &line) {
            const RecordRead r = ReadRecordLine(rec, line);
            // Decode reads the first data character at once after a large start.
            const size_t first = d.reversed ? line.edges.size() - 8 : 0;
            const bool small = (line.edges[first + 7] - line.edges[first] + 6) / 12 < 32;
            (small ? smallStarts : largeStarts) += r.data.empty() ? 0 : 1;
            EXPECT_EQ(r.data.size(), characters);
            if (c.option2 == 0) {
                EXPECT_EQ(r.data, CodabarValues(c.data));
            }
        });
    }
    EXPECT_GT(smallStarts, 0);
    EXPECT_GT(largeStarts, 0);
    Test_ResetDecoderStatics();
}

}  // namespace
