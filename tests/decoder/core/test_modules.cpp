// Module records and walks: the arrays as loaded, the walks, the stacked order, read-back
// by decode source, module positions, typed callbacks and status words.
#include <string>

#include "core/modules.h"
#include "core/multi_code.h"
#include "core/state.h"
#include "decoder_test.h"
#include "fake_modules.h"

namespace {

using namespace vexo;
using vexo_test::CallLog;
using vexo_test::DecoderTest;
using vexo_test::Fake;
using vexo_test::LogText;

class ModulesTest : public DecoderTest {
protected:
    void SetUp() override {
        DecoderTest::SetUp();
        CallLog().clear();
    }
};

TEST_F(ModulesTest, ArraysAsLoadedHoldTheSymbologyModules) {
    struct Row {
        u32 kind, id;
        bool resets;
    };
    const Row matrix[kMatrixModules] = {{0xC2, 4, false}, {0xC2, 5, false}, {0xC2, 6, false}, {0xC2, 7, false},
                                        {0xC2, 8, false}, {0xC2, 3, false}, {0, 0, false}};
    for (int i = 0; i < kMatrixModules; ++i) {
        EXPECT_EQ(g_modules.matrix[i].kind, matrix[i].kind) << i;
        EXPECT_EQ(g_modules.matrix[i].moduleId, matrix[i].id) << i;
        EXPECT_EQ(g_modules.matrix[i].resetForImage, nullptr) << i;
        EXPECT_EQ(g_modules.matrix[i].slot14, nullptr);
        EXPECT_EQ(g_modules.matrix[i].slot22, nullptr);
    }
    EXPECT_EQ(g_modules.matrix[6].decode, nullptr);
    EXPECT_EQ(g_modules.stacked[0].kind, 0xC2u);
    EXPECT_EQ(g_modules.stacked[0].moduleId, 2u);
    EXPECT_NE(g_modules.stacked[0].resetForImage, nullptr) << "only PDF417 resets per image";
    EXPECT_EQ(g_modules.stacked[1].kind, 0xC1u);
    EXPECT_EQ(g_modules.stacked[1].moduleId, 1u);
    EXPECT_NE(g_modules.stacked[1].setLinkage, nullptr);
    EXPECT_EQ(g_modules.stacked[2].kind, 0u);
    EXPECT_EQ(g_modules.external.kind, 0u);
    EXPECT_EQ(g_modules.ocr.decode, nullptr);
}

TEST_F(ModulesTest, MatrixWalkStopsAtTheFirstSuccessAndRecordsIt) {
    Fake<0>::Matrix(0, "QR");
    Fake<1>::Matrix(1, "DM");
    Fake<2>::Matrix(2, "AZ");
    Fake<1>::S().success = 1;
    Fake<1>::S().answers = {1};
    Fake<1>::S().header = MODULE_HEADER{0xC2, 3, ')'};
    // The result store is cleared before every module is asked.
    Fake<1>::S().onDecode = [] { EXPECT_EQ(g_params.resultStore.storedCount, 0); };
    g_params.resultStore.storedCount = 2;
    g_state.matrixIndex = -1;
    ASSERT_EQ(Dec_WalkMatrixModules(), 1);
    EXPECT_EQ(LogText(), "decode:QR@0 decode:DM@0 ");
    EXPECT_EQ(g_state.decodeSource, kSourceMatrix);
    EXPECT_EQ(g_state.matrixIndex, 1);
    EXPECT_EQ(g_state.matrixSuccess[1], 1);
    EXPECT_EQ(g_state.matrixSuccess[0], 0);
    EXPECT_EQ(g_state.moduleHeader.codeChar, static_cast<u32>(')'));
    EXPECT_EQ(g_state.decodedModuleId, 0) << "set when a result is taken";

    // Nothing decodes: 0, and the source is left alone.
    CallLog().clear();
    g_state.decodeSource = kSourceNone;
    EXPECT_EQ(Dec_WalkMatrixModules(), 0);
    EXPECT_EQ(g_state.decodeSource, kSourceNone);
    EXPECT_EQ(LogText(), "decode:QR@0 decode:DM@0 decode:AZ@0 ");
}

TEST_F(ModulesTest, StackedWalkAsksRecordsWhoseIdStandsInTheWalkList) {
    Fake<0>::Stacked(0, 0xC2, 2, "PDF");
    Fake<1>::Stacked(1, 0xC1, 1, "C1D");
    struct Case {
        std::vector<u8> ids;
        std::string log;
    };
    const Case cases[] = {
        {{2}, "decode:PDF@0 "},
        {{5, 1, 15, 9}, "decode:C1D@0 "},
        {{1, 2, 2}, "decode:PDF@0 decode:PDF@0 decode:C1D@0 "},  // twice in the list: asked twice
        {{1, 2, 5, 9}, "decode:PDF@0 decode:C1D@0 "},
        {{9}, ""},
    };
    for (const Case &c : cases) {
        CallLog().clear();
        g_state.walkCount = static_cast<u32>(c.ids.size());
        for (size_t i = 0; i < c.ids.size() && i < 4; ++i) g_state.walkIds[i] = c.ids[i];
        EXPECT_EQ(Dec_WalkStackedModules(), 0);
        EXPECT_EQ(LogText(), c.log);
    }
    // A walk count above the list's four entries reads only the four.
    CallLog().clear();
    g_state.walkCount = 200;
    g_state.walkIds[0] = 7;
    g_state.walkIds[1] = 7;
    g_state.walkIds[2] = 7;
    g_state.walkIds[3] = 1;
    EXPECT_EQ(Dec_WalkStackedModules(), 0);
    EXPECT_EQ(LogText(), "decode:C1D@0 ");
    // Any non-zero answer is a success.
    Fake<1>::S().answers = {3};
    EXPECT_EQ(Dec_WalkStackedModules(), 1);
    EXPECT_EQ(g_state.decodeSource, kSourceStacked);
    EXPECT_EQ(g_state.decodedModuleId, 1);
}

TEST_F(ModulesTest, RegionClassesReorderTheStackedRecordsAndTheOrderPersists) {
    auto versions = [] {
        vexo_test::TextOut out(512);
        EXPECT_EQ(ZPT_SE_VexoDec_Get(VEXO_ID_VERSION_LIST, &out.desc), 1);
        return out.Text().substr(31, 40);
    };
    const std::string pdfFirst = "PDF417:     3.01.001\r\n  Composite1D:2.00";
    const std::string linearFirst = "Composite1D:2.00.017\r\n  PDF417:     3.01";
    EXPECT_EQ(versions(), pdfFirst);
    g_state.walkCount = 0;
    struct Step {
        i32 firstClass;
        const std::string *after;
    };
    const Step steps[] = {{0, &pdfFirst},           {2000, &pdfFirst}, {1000, &linearFirst},
                          {0, &linearFirst},        {1000, &linearFirst}, {2000, &pdfFirst}};
    for (const Step &s : steps) {
        g_state.regionClass[0] = s.firstClass;
        Dec_WalkStackedModules();
        EXPECT_EQ(versions(), *s.after) << "class " << s.firstClass;
    }
    // The exchange moves whole records: the linear lookup still finds its record.
    g_state.regionClass[0] = 1000;
    Dec_OrderStackedModules();
    EXPECT_EQ(g_modules.stacked[0].moduleId, 1u);
    EXPECT_EQ(g_modules.stacked[0].kind, 0xC1u);
    EXPECT_NE(g_modules.stacked[0].setLinkage, nullptr);
}

TEST_F(ModulesTest, LinearAndPdfLookupsFindTheirRecordsWherever) {
    Fake<0>::Stacked(0, 0xC1, 1, "C1D");
    Fake<1>::Stacked(1, 0xC2, 2, "PDF");
    EXPECT_EQ(Dec_TryLinearModule(5), 0);
    EXPECT_EQ(LogText(), "link:C1D=5 decode:C1D@0 ");
    CallLog().clear();
    Dec_SetLinearLinkage(0);
    EXPECT_EQ(LogText(), "link:C1D=0 ") << "no decode";
    Fake<0>::S().answers = {2};
    EXPECT_EQ(Dec_TryLinearModule(7), 0) << "only an answer of 1 counts for the linear module";
    Fake<0>::S().answers = {1};
    EXPECT_EQ(Dec_TryLinearModule(7), 1);
    EXPECT_EQ(g_state.decodedModuleId, 1);
    EXPECT_EQ(g_state.decodeSource, kSourceStacked);
    Fake<1>::S().answers = {5};
    EXPECT_EQ(Dec_TryPdfModule(), 1);
    EXPECT_EQ(g_state.decodedModuleId, 2);
    // A record of the right id but the wrong kind is not the linear module.
    Fake<0>::Stacked(0, 0xC2, 1, "odd");
    Fake<0>::S().answers = {1};
    CallLog().clear();
    EXPECT_EQ(Dec_TryLinearModule(5), 0);
    EXPECT_EQ(LogText(), "");
}

TEST_F(ModulesTest, ReadBackFollowsTheDecodeSource) {
    Fake<0>::Stacked(0, 0xC2, 2, "PDF");
    Fake<1>::Stacked(1, 0xC1, 1, "C1D");
    Fake<1>::S().text = "linear";
    Fake<1>::S().decoded = true;
    Fake<1>::S().aim[1] = 'C';
    // Source 1: the first stacked record with data, whatever its id.
    g_state.decodeSource = kSourceStacked;
    g_state.decodedModuleId = 2;
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(Dec_GetDecodedData())), "linear");
    EXPECT_EQ(Dec_GetDecodedLength(), 6);
    char aim[3] = {'x', 'x', 'x'};
    Dec_GetAimIdBySource(aim);
    EXPECT_EQ(std::string(aim, 3), "xxx") << "the identifier only from the record with the module id";
    g_state.decodedModuleId = 1;
    Dec_GetAimIdBySource(aim);
    EXPECT_EQ(std::string(aim, 3), "]C1");
    MODULE_RESULT r{};
    Dec_FillModuleResult(&r);
    EXPECT_EQ(r.length, 6u);

    // Source 2: the matrix record that succeeded with the module id taken.
    g_reported[kReportedDataMatrix] = REPORTED_RESULT{reinterpret_cast<const u8 *>("dm-text"),
                                                      reinterpret_cast<const u8 *>("]d1"), 7, 0};
    g_reported[kReportedQr] = REPORTED_RESULT{reinterpret_cast<const u8 *>("qr"), reinterpret_cast<const u8 *>("]Q1"),
                                              2, 0};
    g_state.decodeSource = kSourceMatrix;
    g_state.decodedModuleId = 5;
    g_state.matrixIndex = 0;  // a later region's module; the result was taken for Data Matrix
    g_state.matrixSuccess[0] = 1;
    EXPECT_EQ(Dec_GetDecodedData(), nullptr) << "Data Matrix did not succeed in this image";
    EXPECT_EQ(Dec_GetDecodedLength(), 0);
    g_state.matrixSuccess[1] = 1;
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(Dec_GetDecodedData())), "dm-text");
    EXPECT_EQ(Dec_GetDecodedLength(), 7);
    Dec_GetAimIdBySource(aim);
    EXPECT_EQ(std::string(aim, 3), "]d1");
    Dec_FillModuleResult(&r);
    EXPECT_EQ(r.symbologyBit, 0x8u);
    EXPECT_EQ(r.length, 7u);

    // Other sources, or no module answering.
    for (u8 source : {u8{0}, u8{3}, u8{4}, u8{9}}) {
        g_state.decodeSource = source;
        EXPECT_EQ(Dec_GetDecodedData(), nullptr) << int{source};
        EXPECT_EQ(Dec_GetDecodedLength(), 0) << int{source};
        char same[3] = {'a', 'b', 'c'};
        Dec_GetAimIdBySource(same);
        EXPECT_EQ(std::string(same, 3), "abc");
    }
}

const u8 *OcrData() { return reinterpret_cast<const u8 *>("ocr"); }
int OcrLength() { return -4; }
const u8 *ExternalData(void *args) {
    return args == g_state.extensionArgs ? reinterpret_cast<const u8 *>("ext") : nullptr;
}
int ExternalLength() { return 3; }

TEST_F(ModulesTest, ExtensionSourcesReadTheirRecords) {
    EXT_MODULE ext{};
    ext.kind = 0xC2;
    ext.getData = ExternalData;
    ext.getLength = ExternalLength;
    Test_InstallExternalModule(&ext);
    g_state.decodeSource = kSourceExternal;
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(Dec_GetDecodedData())), "ext");
    EXPECT_EQ(Dec_GetDecodedLength(), 3);
    SYM_MODULE ocr{};
    ocr.getData = OcrData;
    ocr.getLength = OcrLength;
    Test_InstallOcrModule(&ocr);
    g_state.decodeSource = kSourceOcrPostal;
    EXPECT_EQ(Dec_GetDecodedData(), nullptr) << "only after the OCR stage succeeded";
    g_state.ocrSuccess = 1;
    EXPECT_NE(Dec_GetDecodedData(), nullptr);
    EXPECT_EQ(Dec_GetDecodedLength(), 0) << "a negative length counts as 0";
}

TEST_F(ModulesTest, ModulePositionOfTheMatrixRecordThatDecoded) {
    Fake<0>::Matrix(0, "QR");
    Fake<0>::S().symbols = {{"x", vexo_test::Square(10, 20, 30)}};
    Fake<0>::S().decoded = true;
    for (int index : {6, -1, 7, 1000}) {
        REGION_QUAD q{};
        EXPECT_EQ(Dec_GetModulePosition(index, &q), 1) << index;
        EXPECT_EQ(q.c[3].x, 0) << "left cleared";
    }
    REGION_QUAD q{};
    ASSERT_EQ(Dec_GetModulePosition(0, &q), 1);
    EXPECT_EQ(q.c[3].x, 40);
    EXPECT_EQ(q.c[3].y, 50);
    // A header {0xC2, 9} answers without corners.
    Fake<0>::S().header = MODULE_HEADER{0xC2, 9, 'x'};
    REGION_QUAD untouched{};
    EXPECT_EQ(Dec_GetModulePosition(0, &untouched), 1);
    EXPECT_EQ(untouched.c[3].x, 0);
    // Missing header or corner slot: 0.
    Test_InstallMatrixModule(0, nullptr);
    EXPECT_EQ(Dec_GetModulePosition(0, &q), 0);
    SYM_MODULE r = kDefaultModules.matrix[1];
    r.getCorners = nullptr;
    Test_InstallMatrixModule(1, &r);
    EXPECT_EQ(Dec_GetModulePosition(1, &q), 0);
}

int CallbackEcho(void *data) { return *static_cast<int *>(data); }

TEST_F(ModulesTest, TypedCallbacksAnswerOnlyForInstalledTypes) {
    int value = 42;
    for (int type = -1; type <= 9; ++type) EXPECT_EQ(Dec_CallTypedCallback(type, &value), 0) << type;
    Dec_InstallCallback(3, CallbackEcho);
    Dec_InstallCallback(0, CallbackEcho);
    Dec_InstallCallback(8, CallbackEcho);
    EXPECT_EQ(Dec_CallTypedCallback(3, &value), 42);
    EXPECT_EQ(Dec_CallTypedCallback(8, &value), 0);
    EXPECT_EQ(Dec_CallTypedCallback(0, &value), 0);
    // The PDF417 record installs types 1 and 2 at every image; its readers find nothing yet.
    Dec_ResetModulesForImage();
    int request[16] = {};
    EXPECT_EQ(Dec_CallTypedCallback(1, request), 0);
    EXPECT_EQ(Dec_CallTypedCallback(2, request), 0);
}

TEST_F(ModulesTest, StatusWordsCollectBitsUntilCleared) {
    Dec_AddStatusBits(0x5);
    Dec_AddStatusBits(0x12);
    EXPECT_EQ(Dec_GetStatusWord(2), 0x17u);
    EXPECT_EQ(Dec_GetStatusWord(0), 0u);
    EXPECT_EQ(Dec_GetStatusWord(11), 0u);
    EXPECT_EQ(Dec_GetStatusWord(-1), 0u);
    Dec_ClearStatusWords();
    EXPECT_EQ(Dec_GetStatusWord(2), 0u);
}

TEST_F(ModulesTest, ModuleResetRunsMatrixThenStackedResets) {
    Fake<0>::Matrix(0, "QR");
    Fake<1>::Matrix(4, "HX");
    Fake<2>::Stacked(0, 0xC2, 2, "PDF");
    Fake<3>::Stacked(1, 0xC1, 1, "C1D");
    g_state.matrixSuccess[4] = 1;
    Fake<2>::S().onDecode = nullptr;
    bool flagsClearedBeforeStacked = false;
    // The stacked reset sees the success flags already cleared.
    SYM_MODULE pdf = g_modules.stacked[0];
    static bool *seen = nullptr;
    seen = &flagsClearedBeforeStacked;
    pdf.resetForImage = [] {
        CallLog().push_back("reset:PDF");
        *seen = g_state.matrixSuccess[4] == 0;
    };
    Test_InstallStackedModule(0, &pdf);
    g_state.decodeSource = kSourceMatrix;
    g_state.matrixIndex = 3;
    g_state.decodedModuleId = 7;
    g_multiList.entryCount = 3;
    g_multiList.classCount[39] = 2;
    Dec_ResetModulesForImage();
    EXPECT_EQ(LogText(), "reset:QR reset:HX reset:PDF reset:C1D ");
    EXPECT_TRUE(flagsClearedBeforeStacked);
    EXPECT_EQ(g_state.decodeSource, kSourceNone);
    EXPECT_EQ(g_state.matrixIndex, -1);
    EXPECT_EQ(g_state.ocrIndex, -1);
    EXPECT_EQ(g_state.decodedModuleId, 0);
    EXPECT_EQ(g_multiList.entryCount, 0);
    EXPECT_EQ(g_multiList.classCount[39], 0);
}

}  // namespace
