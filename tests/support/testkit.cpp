#include "support/testkit.h"

#include <mutex>

namespace testkit {

namespace {
std::once_flag g_initOnce;
}  // namespace

DecoderApi LinkedDecoder() {
    DecoderApi api;
    api.init = &ZPT_SE_VexoDec_Init;
    api.set = &ZPT_SE_VexoDec_Set;
    api.get = &ZPT_SE_VexoDec_Get;
    api.decode = &ZPT_SE_VexoDec_Decode;
    api.tsi = &X3_Dec_TSI;
    api.connectInit = &ZPT_SE_VexoConnect_Init;
    return api;
}

void InitDecoder() {
    std::call_once(g_initOnce, [] {});
    ZPT_SE_VexoDec_Init();
}

DecodeResult DecodeFrame(const Frame &frame, const DecodeOptions &options) {
    bool initialised = false;
    std::call_once(g_initOnce, [&] {
        ZPT_SE_VexoDec_Init();
        initialised = true;
    });
    if (options.init && !initialised) ZPT_SE_VexoDec_Init();
    return RunFrame(LinkedDecoder(), frame, options.enableAll);
}

::testing::AssertionResult ReadAs(const DecodeResult &result, std::string_view text, uint32_t codeId,
                                  std::string_view aim) {
    if (!result.decoded) {
        return ::testing::AssertionFailure() << "no code read; expected " << CodeTypeLabel(codeId) << " " << aim << " \""
                                             << EscapeBytes(text) << "\"";
    }
    if (result.text == text && result.codeId == codeId && result.aim == aim) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "read " << CodeTypeLabel(result.codeId) << " " << EscapeBytes(result.aim)
                                         << " \"" << EscapeBytes(result.text) << "\"; expected " << CodeTypeLabel(codeId)
                                         << " " << aim << " \"" << EscapeBytes(text) << "\"";
}

}  // namespace testkit
