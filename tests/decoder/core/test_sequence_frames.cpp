// Whole decodes over frames of every size the interface accepts, with scripted modules in
// a table of outcomes: whatever the frame, a decode answers 0 or 1, a success reports the
// text of a module that was asked and succeeded, and a claimed success without text is
// no success.
#include <string>

#include "core/state.h"
#include "sequence_test.h"

namespace {

using namespace vexo;
using namespace vexo_test;

struct Size {
    int w, h;
};
constexpr Size kSizes[] = {{640, 480}, {752, 480}, {1280, 960}, {1, 1},   {8, 3},  {3, 8},
                           {67, 131},  {66, 130},  {200, 2},    {2, 200}, {31, 17}, {1280, 1}};

struct Outcome {
    const char *what;
    std::vector<int> succeed;  // FakeSet indexes that decode
    bool emptyText;            // ... but report an empty text
    bool nullData;             // ... but report no text at all
};

std::vector<Outcome> Outcomes() {
    std::vector<Outcome> v;
    v.push_back({"all fail", {}, false, false});
    for (int i = 0; i < 10; ++i) v.push_back({FakeSet::Name(i), {i}, false, false});
    v.push_back({"first and last", {0, 9}, false, false});
    v.push_back({"PDF417 without data", {6}, false, true});
    v.push_back({"QR with an empty text", {0}, true, false});
    v.push_back({"linear with an empty text", {7}, true, false});
    return v;
}

std::string TextOf(int i) { return std::string("text-") + FakeSet::Name(i); }

class SequenceFramesTest : public DecoderTest {};

TEST_F(SequenceFramesTest, EveryFrameSizeAndOutcome) {
    const uint32_t seed = 20260101;
    for (const Size &size : kSizes) {
        for (Content content : {Content::kFlat, Content::kNoise, Content::kBars, Content::kSquares}) {
            const std::vector<uint8_t> frame = DrawFrame(size.w, size.h, content, seed);
            for (const Outcome &o : Outcomes()) {
                Test_ResetDecoderStatics();
                ZPT_SE_VexoDec_Init();
                FakeSet::Install();
                for (int i : o.succeed) {
                    FakeSet::Succeed(i, o.emptyText ? "" : TextOf(i));
                    FakeSet::Script(i).nullData = o.nullData;
                }
                std::vector<uint8_t> pixels = frame;
                InstallFrame(pixels, size.w, size.h);
                CallLog().clear();
                const int answer = ZPT_SE_VexoDec_Decode();
                const std::string where = std::to_string(size.w) + "x" + std::to_string(size.h) + " " +
                                          ContentName(content) + " " + o.what + " seed " + std::to_string(seed);
                ASSERT_TRUE(answer == 0 || answer == 1) << where;
                // Which scripted module was asked first among those that succeed.
                int winner = -1;
                for (const std::string &e : CallLog()) {
                    for (int i : o.succeed) {
                        if (winner < 0 && e.rfind(std::string("decode:") + FakeSet::Name(i) + "@", 0) == 0) winner = i;
                    }
                }
                TextOut out(256);
                ASSERT_EQ(ZPT_SE_VexoDec_Get(VEXO_ID_RESULT_TEXT, &out.desc), 1) << where;
                if (o.emptyText || o.nullData || winner < 0) {
                    EXPECT_EQ(answer, 0) << where;
                    EXPECT_EQ(out.desc.length, 0u) << where;
                    EXPECT_EQ(GetWord(VEXO_ID_RESULT_STATUS), 0xFFFFFFFFu) << where;
                } else {
                    EXPECT_EQ(answer, 1) << where;
                    EXPECT_EQ(out.Text(), TextOf(winner)) << where;
                    EXPECT_EQ(GetWord(VEXO_ID_RESULT_LENGTH), TextOf(winner).size()) << where;
                }
                EXPECT_EQ(std::vector<uint8_t>(pixels), frame) << "smoothing is off: the frame stays " << where;
            }
        }
    }
}

}  // namespace
