// The focus area through the wrapper and with a fake spot finder: the decode area, the
// calibration's means, failed detections and missing libraries.
#include <vector>

#include "wrapper_test.h"

namespace {

struct Report {
    uint8_t zero;
    void *argument;
    int area[4];
};
std::vector<Report> g_reports;

void record_report(uint8_t zero, void *argument, int *area) {
    Report r{zero, argument, {area[0], area[1], area[2], area[3]}};
    g_reports.push_back(r);
}

using Area = std::array<int, 4>;

class FocusTest : public WrapperTest {
  protected:
    void SetUp() override {
        WrapperTest::SetUp();
        g_reports.clear();
    }
    // The fake spot finder installed and loaded for a focus type.
    void load_spotfind(uint32_t type, uint32_t width = 640, uint32_t height = 480) {
        // Written once: rewriting a library that is still mapped would corrupt it.
        if (!exists("/system/lib64/libspotfind.so")) install(FAKE_SPOTFIND, "/system/lib64/libspotfind.so");
        FOCUS_INIT init = {type, width, height};
        ASSERT_EQ(InitX3Focus(&init), 0);
        script_ = module_fn<void (*)(int, int, int, const int *)>("/system/lib64/libspotfind.so", "fake_spot_script");
        ASSERT_NE(script_, nullptr);
    }
    static Area area_now() {
        Area a{};
        X3Focus_Get_AreaParam(a.data());
        return a;
    }
    void (*script_)(int, int, int, const int *) = nullptr;
    std::vector<uint8_t> frame_ = std::vector<uint8_t>(640 * 480, 0);
};

TEST_F(FocusTest, TheDecoderReceivesTheFocusAreaNeverTheCallersRecord) {
    install_decoder(FAKE_DECODER_LONG);
    ASSERT_EQ(X3_Init(), 1);
    FOCUS_INIT init = {1, 640, 480};
    EXPECT_EQ(X3_Set(X3_ID_FOCUS_INIT, reinterpret_cast<uintptr_t>(&init)), 1);
    EXPECT_EQ(X3_Set(X3_ID_FOCUS_LEVEL, FOCUS_LEVEL_HIGH), 1);
    int values[3] = {60, 40, 20};
    EXPECT_EQ(X3_Set(X3_ID_FOCUS_VALUES, reinterpret_cast<uintptr_t>(values)), 1);
    decoder_clear();
    int area[4] = {200, 0, 640, 210};
    EXPECT_EQ(X3_Set(VEXO_ID_ROI_RECORD, reinterpret_cast<uintptr_t>(area)), 1);
    std::string calls = decoder_calls();
    EXPECT_NE(calls.find("L set 100214 {170,0,640,240,1};"), std::string::npos) << calls;
    EXPECT_EQ(calls.find("{200,0,640,210"), std::string::npos);
    EXPECT_TRUE(logged("X3_SetVexoFocus"));
    EXPECT_TRUE(logged("[0] [640] [170] [240]"));
}

TEST_F(FocusTest, DecodeAreaCases) {
    FOCUS_INIT init = {1, 640, 480};
    InitX3Focus(&init);  // no library: the size is still kept
    int values[3] = {60, 40, 20};
    X3Focus_Set_FocusValue(values);
    struct Case {
        const char *name;
        uint32_t level;
        int user;  // set after the level
        Area result;
        Area want;
    };
    const Case cases[] = {
        {"high, band inside", FOCUS_LEVEL_HIGH, 0, {200, 0, 640, 210}, {170, 0, 640, 240}},
        {"bottom near the edge stays", FOCUS_LEVEL_HIGH, 0, {200, 0, 640, 460}, {170, 0, 640, 460}},
        {"top within half becomes 0", FOCUS_LEVEL_HIGH, 0, {20, 0, 640, 100}, {0, 0, 640, 130}},
        {"middle", FOCUS_LEVEL_MIDDLE, 0, {200, 5, 600, 210}, {180, 5, 600, 230}},
        {"low", FOCUS_LEVEL_LOW, 0, {200, 0, 640, 210}, {190, 0, 640, 220}},
        {"user", FOCUS_LEVEL_USER, 80, {200, 0, 640, 210}, {160, 0, 640, 250}},
        {"level outside the range: 100", 0xA0005, 0, {200, 0, 640, 210}, {150, 0, 640, 260}},
        {"level below the range: 100", 0, 0, {200, 0, 640, 210}, {150, 0, 640, 260}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        X3Focus_Set_Level(c.level);
        X3Focus_Set_UserValue(c.user);
        X3Focus_Set_Result(c.result.data());
        EXPECT_EQ(area_now(), c.want);
    }
    // A user value given while the level is not the user level is ignored.
    X3Focus_Set_Level(FOCUS_LEVEL_MIDDLE);
    X3Focus_Set_UserValue(200);
    X3Focus_Set_Level(FOCUS_LEVEL_USER);
    X3Focus_Set_Result(cases[0].result.data());
    EXPECT_EQ(area_now(), (Area{160, 0, 640, 250})) << "still the user value 80";
    X3Focus_Set_Result(nullptr);
    X3Focus_Set_FocusValue(nullptr);
    X3Focus_Get_AreaParam(nullptr);
    EXPECT_EQ(area_now(), (Area{160, 0, 640, 250}));
}

TEST_F(FocusTest, WithoutTheLibraryCalibrationFails) {
    FOCUS_INIT init = {1, 640, 480};
    EXPECT_EQ(InitX3Focus(&init), -1);
    EXPECT_TRUE(logged("InitX3Focus Error ["));
    EXPECT_EQ(InitX3Focus(nullptr), -1);
    EXPECT_EQ(X3Focus_Oper(1, 0, record_report, nullptr), -1);
    int area[4] = {};
    X3Focus_Set_Result(Area{100, 0, 640, 100}.data());
    EXPECT_EQ(X3Focus_Running(frame_.data(), 640, 480, area, nullptr), 0) << "idle: the stored area";
    EXPECT_EQ(area[0], 100) << "focus values not given: a band of 0";
}

TEST_F(FocusTest, CrossCalibrationAveragesTwentyPlaces) {
    load_spotfind(1);
    int arg = 0;
    struct Case {
        int frames;
        Area want;
    };
    // Five detections and fifteen zeros: (5 * 240 - 240 - 0) / 18 = 53.
    const Case cases[] = {{5, {53, 0, 640, 53}}, {20, {240, 0, 640, 240}}, {25, {240, 0, 640, 240}}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.frames);
        g_reports.clear();
        ASSERT_EQ(X3Focus_Oper(1, 0, record_report, &arg), 0);
        script_(1, 320, 240, nullptr);
        for (int i = 0; i < c.frames; ++i) {
            int area[4] = {};
            int point[2] = {};
            ASSERT_EQ(X3Focus_Running(frame_.data(), 640, 480, area, point), 0);
            EXPECT_EQ(point[0], 320);
            EXPECT_EQ(area[0], 240);
            EXPECT_EQ(area[2], 640);
        }
        ASSERT_EQ(X3Focus_Oper(0, 0, nullptr, nullptr), 0);
        ASSERT_EQ(g_reports.size(), 1u);
        EXPECT_EQ(g_reports[0].zero, 0);
        EXPECT_EQ(g_reports[0].argument, &arg);
        EXPECT_EQ((Area{g_reports[0].area[0], g_reports[0].area[1], g_reports[0].area[2], g_reports[0].area[3]}),
                  c.want);
    }
    EXPECT_TRUE(logged("FOCUS_POINT_LOW x [320] y [240]"));
    // Starting twice changes nothing; finishing while idle reports again.
    ASSERT_EQ(X3Focus_Oper(1, 0, record_report, &arg), 0);
    X3Focus_Running(frame_.data(), 640, 480, nullptr, nullptr);
    X3Focus_Running(frame_.data(), 640, 480, nullptr, nullptr);
    ASSERT_EQ(X3Focus_Oper(1, 0, nullptr, nullptr), 0);
    g_reports.clear();
    X3Focus_Oper(0, 0, nullptr, nullptr);
    ASSERT_EQ(g_reports.size(), 1u) << "the first start's callback kept";
    EXPECT_EQ(g_reports[0].area[0], 13) << "both detections kept: (2 * 240 - 240 - 0) / 18";
}

TEST_F(FocusTest, FailedDetectionsStoreZerosAndTheBandStoresItsFailure) {
    load_spotfind(1);
    ASSERT_EQ(X3Focus_Oper(1, 0, record_report, nullptr), 0);
    script_(1, 320, 200, nullptr);
    for (int i = 0; i < 20; ++i) X3Focus_Running(frame_.data(), 640, 480, nullptr, nullptr);
    // The projection detector writes nothing when it finds nothing: the ring gets zeros,
    // not the previous point.
    script_(0, 999, 999, nullptr);
    int area[4] = {1, 1, 1, 1};
    int point[2] = {7, 7};
    X3Focus_Running(frame_.data(), 640, 480, area, point);
    EXPECT_EQ(point[0], 0);
    EXPECT_EQ(area[0], 0);
    X3Focus_Oper(0, 0, nullptr, nullptr);
    ASSERT_EQ(g_reports.size(), 1u);
    EXPECT_EQ(g_reports[0].area[0], 200) << "(19 * 200 - 200 - 0) / 18";

    // Band type: a failed detection stores its -1 as the thickness.
    readercore_test_reset();
    g_reports.clear();
    load_spotfind(0);
    ASSERT_EQ(X3Focus_Oper(1, 0, record_report, nullptr), 0);
    const int line[4] = {10, 100, 470, 110};
    script_(40, 0, 0, line);
    for (int i = 0; i < 19; ++i) {
        int a[4] = {};
        X3Focus_Running(frame_.data(), 640, 480, a, nullptr);
        EXPECT_EQ(a[0], 85);
        EXPECT_EQ(a[1], 10);
        EXPECT_EQ(a[2], 470);
        EXPECT_EQ(a[3], 125);
    }
    script_(-1, 0, 0, nullptr);
    X3Focus_Running(frame_.data(), 640, 480, area, nullptr);
    X3Focus_Oper(0, 0, nullptr, nullptr);
    ASSERT_EQ(g_reports.size(), 1u);
    // Means over 19 detections and one failure (line zeros, thickness -1).
    EXPECT_EQ((Area{g_reports[0].area[0], g_reports[0].area[1], g_reports[0].area[2], g_reports[0].area[3]}),
              (Area{105 - 40 / 2, 10, 470, 105 + 40 / 2}));
    EXPECT_TRUE(logged("Range [40]"));
}

TEST_F(FocusTest, BrightCrossLogsFiveOwnSlotsAndOtherTypesKeepTheArea) {
    load_spotfind(2);
    ASSERT_EQ(X3Focus_Oper(1, 0, record_report, nullptr), 0);
    script_(1, 300, 150, nullptr);
    int point[2] = {};
    EXPECT_EQ(X3Focus_Running(frame_.data(), 640, 480, nullptr, point), 0);
    EXPECT_EQ(point[0], 300);
    EXPECT_EQ(point[1], 150);
    EXPECT_TRUE(logged("FOCUS_POINT_HIGH x [300] y [150]"));
    EXPECT_TRUE(logged("FOCUS_POINT_HIGH x [0] y [0]")) << "the fifth slot is the runtime's own, cleared";

    readercore_test_reset();
    g_reports.clear();
    load_spotfind(7);
    X3Focus_Set_Result(Area{11, 12, 13, 14}.data());
    ASSERT_EQ(X3Focus_Oper(1, 0, record_report, nullptr), 0);
    int area[4] = {};
    EXPECT_EQ(X3Focus_Running(frame_.data(), 640, 480, area, point), -1);
    X3Focus_Oper(0, 0, nullptr, nullptr);
    ASSERT_EQ(g_reports.size(), 1u);
    EXPECT_EQ((Area{g_reports[0].area[0], g_reports[0].area[1], g_reports[0].area[2], g_reports[0].area[3]}),
              (Area{11, 12, 13, 14}));
    X3Focus_Set_Level(0);
    EXPECT_EQ(area_now(), (Area{0, 12, 13, 64}));
}

}  // namespace
