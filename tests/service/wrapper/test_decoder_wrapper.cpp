// The decoder wrapper against fake decoders: binding by name family, the beep, the
// external decoder, the wrapper lock and the beep target's lifetime.
#include <pthread.h>

#include <atomic>
#include <thread>
#include <vector>

#include "common_atomic.h"
#include "module/fake_calls.h"
#include "wrapper_test.h"

// Orders the calls that the fake modules record (found by them through the global scope).
extern "C" {
__attribute__((visibility("default"), used)) std::atomic<int> wrapper_test_sequence{0};
}

namespace {

struct Beep {
    int event;
    const void *result;
    int reserved;
    pthread_t thread;
};
std::vector<Beep> g_beeps;
std::atomic<int> g_beep_count{0};

int record_beep(int event, DECODE_RESULT *result, int reserved) {
    g_beeps.push_back({event, result, reserved, pthread_self()});
    g_beep_count.fetch_add(1);
    return 0;
}

// A beep handler that goes straight back to the settings, as the Java side may.
int beep_and_set(int event, DECODE_RESULT *result, int reserved) {
    record_beep(event, result, reserved);
    X3_Set(VEXO_ID_IMAGE_WIDTH, 640);
    return 0;
}

int count(const std::string &text, const std::string &needle) {
    int n = 0;
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) ++n;
    return n;
}

// The sequence number of the first call noted as needle ("12:L set 100101 752;").
int sequence_of(const std::string &calls, const std::string &needle) {
    size_t at = calls.find(needle);
    if (at == std::string::npos) return -1;
    size_t start = calls.rfind(';', at);
    start = start == std::string::npos ? 0 : start + 1;
    return atoi(calls.c_str() + start);
}

class DecoderWrapperTest : public WrapperTest {
  protected:
    void SetUp() override {
        WrapperTest::SetUp();
        g_beeps.clear();
        g_beep_count.store(0);
    }
};

TEST_F(DecoderWrapperTest, LongNamesWithoutDeinitAreBoundAsTheSystemDecoderHasThem) {
    install_decoder(FAKE_DECODER_LONG);
    EXPECT_EQ(X3_Init(), 1);
    EXPECT_EQ(X3_Set(VEXO_ID_IMAGE_WIDTH, 752), 1);
    decoder_script(1);
    EXPECT_EQ(X3_Decode(), 1);
    uint32_t code = 0;
    EXPECT_EQ(X3_Get(VEXO_ID_EXTERNAL_SYMBOLOGY, &code), 1);
    EXPECT_EQ(code, 57u);
    X3_Free();
    EXPECT_EQ(X3_Decode(), 0) << "nothing bound after X3_Free";
    EXPECT_EQ(X3_Set(VEXO_ID_IMAGE_WIDTH, 1), 0);
    EXPECT_EQ(plain_calls(decoder_calls()), "L init;L set 100101 752;L decode;L get 100513;");
    EXPECT_TRUE(logged("X3_Init ret [1] [0]"));
    EXPECT_TRUE(logged("X3_Free in"));
}

TEST_F(DecoderWrapperTest, NameFamilies) {
    struct Case {
        const char *module;
        const char *calls;  // init, a set, a get, a decode, X3_Free
    };
    const Case cases[] = {
        // Both families present: the short names win, deinit included.
        {FAKE_DECODER_SHORT, "S init;S set 100101 752;S get 100501;S decode;S deinit;"},
        // One short name missing: the whole long family, which has no deinit here.
        {FAKE_DECODER_SHORT_NO_GET, "L init;L set 100101 752;L get 100501;L decode;"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.module);
        readercore_test_reset();
        install_decoder(c.module);
        ASSERT_EQ(X3_Init(), 1);
        X3_Set(VEXO_ID_IMAGE_WIDTH, 752);
        uint32_t v = 0;
        X3_Get(VEXO_ID_RESULT_CODE_ID, &v);
        X3_Decode();
        X3_Free();
        EXPECT_EQ(plain_calls(decoder_calls()), c.calls);
        decoder_clear();
        for (void *h : handles_) dlclose(h);
        handles_.clear();
        ::unlink(host("/system/lib64/libvexo3.so").c_str());
    }
}

TEST_F(DecoderWrapperTest, WithoutInitOrLibraryNothingIsCalled) {
    EXPECT_EQ(X3_Init(), 0);
    EXPECT_TRUE(logged("X3_Init Error ["));
    EXPECT_EQ(X3_Decode(), 0);
    EXPECT_EQ(X3_Set(VEXO_ID_IMAGE_WIDTH, 752), 0);
    uint32_t v = 7;
    EXPECT_EQ(X3_Get(VEXO_ID_RESULT_CODE_ID, &v), 0);
    EXPECT_EQ(v, 7u);

    install_decoder(FAKE_DECODER_NO_INIT);
    EXPECT_EQ(X3_Init(), -1);
    EXPECT_EQ(X3_Set(VEXO_ID_IMAGE_WIDTH, 752), 0);
    EXPECT_EQ(X3_Decode(), 0);
    EXPECT_EQ(X3_Get(VEXO_ID_RESULT_CODE_ID, &v), 0);
    X3_Free();
    EXPECT_EQ(decoder_calls(), "");
}

TEST_F(DecoderWrapperTest, ARefusedInitForwardsNoSettingsButStillDecodes) {
    install_decoder(FAKE_DECODER_LONG);
    setenv("FAKE_DECODER_INIT", "0", 1);
    EXPECT_EQ(X3_Init(), 0);
    EXPECT_EQ(X3_Set(VEXO_ID_IMAGE_WIDTH, 752), 0);
    uint32_t v = 0;
    EXPECT_EQ(X3_Get(VEXO_ID_EXTERNAL_SYMBOLOGY, &v), 1);
    EXPECT_EQ(X3_Decode(), 0);
    EXPECT_EQ(plain_calls(decoder_calls()), "L init;L get 100513;L decode;");
}

TEST_F(DecoderWrapperTest, ASuccessfulDecodeBeepsOnceOnTheCallingThread) {
    install_decoder(FAKE_DECODER_LONG);
    ASSERT_EQ(X3_Init(), 1);
    COMMON_STATE cs{};
    cs.mCallback = record_beep;
    EXPECT_EQ(X3_Set(X3_ID_BEEP_TARGET, reinterpret_cast<uintptr_t>(&cs)), 1);
    decoder_script(0);
    EXPECT_EQ(X3_Decode(), 0);
    EXPECT_TRUE(g_beeps.empty());
    decoder_script(1);
    EXPECT_EQ(X3_Decode(), 1);
    ASSERT_EQ(g_beeps.size(), 1u) << "before X3_Decode returned";
    EXPECT_EQ(g_beeps[0].event, SCN_EVENT_BEEP);
    EXPECT_EQ(g_beeps[0].result, nullptr);
    EXPECT_EQ(g_beeps[0].reserved, 0);
    EXPECT_TRUE(pthread_equal(g_beeps[0].thread, pthread_self()));
    EXPECT_EQ(X3_DecodeNoBeep(), 1);
    EXPECT_EQ(g_beeps.size(), 1u) << "X3_DecodeNoBeep never beeps";
    EXPECT_EQ(get_text(), "FAKE");
}

TEST_F(DecoderWrapperTest, ABeepHandlerMaySetPropertiesAtOnce) {
    install_decoder(FAKE_DECODER_LONG);
    ASSERT_EQ(X3_Init(), 1);
    COMMON_STATE cs{};
    cs.mCallback = beep_and_set;
    X3_Set(X3_ID_BEEP_TARGET, reinterpret_cast<uintptr_t>(&cs));
    decoder_script(1);
    EXPECT_EQ(X3_Decode(), 1);
    EXPECT_EQ(g_beeps.size(), 1u);
    EXPECT_NE(decoder_calls().find("L set 100101 640;"), std::string::npos);
}

TEST_F(DecoderWrapperTest, TheExternalDecoderIsAskedFirstByDecodeAndLastByDecodeNoBeep) {
    install("" FAKE_EXDECODE, "/system/lib64/libfakeex.so");
    configure_external("libfakeex.so");
    install_decoder(FAKE_DECODER_LONG);
    ASSERT_EQ(X3_Init(), 1);
    auto ex_calls = module_fn<const char *(*)()>("/system/lib64/libfakeex.so", "fake_exdecode_calls");
    auto ex_script = module_fn<void (*)(int)>("/system/lib64/libfakeex.so", "fake_exdecode_script");
    ASSERT_NE(ex_calls, nullptr);
    ASSERT_NE(ex_script, nullptr);
    COMMON_STATE cs{};
    cs.mCallback = record_beep;
    X3_Set(X3_ID_BEEP_TARGET, reinterpret_cast<uintptr_t>(&cs));

    // Every ordinary setting reaches the external decoder first.
    EXPECT_EQ(X3_Set(VEXO_ID_IMAGE_WIDTH, 752), 1);
    int ext = sequence_of(ex_calls(), "X set 100101");
    int own = sequence_of(decoder_calls(), "L set 100101 752");
    ASSERT_GE(ext, 0);
    EXPECT_LT(ext, own);

    decoder_script(1);
    ex_script(1);
    EXPECT_EQ(X3_Decode(), 1);
    EXPECT_EQ(g_beeps.size(), 1u);
    EXPECT_EQ(get_text(), "EXTERNAL");
    EXPECT_EQ(count(decoder_calls(), "L decode"), 0) << "the external result ends the decode";

    EXPECT_EQ(X3_DecodeNoBeep(), 1);
    EXPECT_EQ(get_text(), "FAKE") << "X3_DecodeNoBeep prefers the decoder library";
    decoder_script(0);
    EXPECT_EQ(X3_DecodeNoBeep(), 1);
    EXPECT_EQ(get_text(), "EXTERNAL");
    ex_script(0);
    EXPECT_EQ(X3_Decode(), 0);
    EXPECT_EQ(g_beeps.size(), 1u);
    X3_Free();
    EXPECT_NE(std::string(ex_calls()).find("X free"), std::string::npos);
}

TEST_F(DecoderWrapperTest, SettingsWhileDecodingNeverOverlapInTheDecoder) {
    install_decoder(FAKE_DECODER_LONG);
    ASSERT_EQ(X3_Init(), 1);
    decoder_script(0, nullptr, 20);
    auto overlaps = module_fn<int (*)()>("/system/lib64/libvexo3.so", "fake_decoder_overlaps");
    ASSERT_NE(overlaps, nullptr);
    constexpr int kRounds = 300;
    std::thread setter([] {
        for (int i = 0; i < kRounds; ++i) X3_Set(VEXO_ID_IMAGE_WIDTH, static_cast<uint64_t>(i));
    });
    for (int i = 0; i < kRounds; ++i) {
        X3_Decode();
        uint32_t v;
        X3_Get(VEXO_ID_RESULT_STATUS, &v);
    }
    setter.join();
    EXPECT_EQ(overlaps(), 0);
    EXPECT_EQ(count(decoder_calls(), "L set 100101"), kRounds);
}

TEST_F(DecoderWrapperTest, TheCoreDeinitForgetsTheBeepTarget) {
    install_decoder(FAKE_DECODER_LONG);
    ASSERT_EQ(X3_Init(), 1);
    ENGINE_RECORD record{};
    record.Scantype = ENGINE_KIND_CAMERA;
    ASSERT_EQ(common_scanner_init(&record, nullptr, [](ENGINE_RECORD *) {}, nullptr, nullptr), 0);
    std::atomic_ref<SCAN_EVENT_CALLBACK>(record.common->mCallback).store(record_beep);
    X3_Set(X3_ID_BEEP_TARGET, reinterpret_cast<uintptr_t>(record.common));
    decoder_script(1);
    EXPECT_EQ(X3_Decode(), 1);
    EXPECT_EQ(g_beep_count.load(), 1);
    ASSERT_EQ(common_scanner_deinit(&record, nullptr), 0);
    EXPECT_EQ(X3_Decode(), 1) << "the freed state is not reached (ASan)";
    EXPECT_EQ(g_beep_count.load(), 1);
}

}  // namespace
