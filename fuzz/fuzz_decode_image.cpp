// Whole-image decodes through the exported interface on small frames of any width and
// height, with one scripted module that may claim a result. Input: width and height
// (16-bit each, 1 + value mod 1280 and 1 + value mod 960, at most 200,000 pixels), an
// option byte (bit 0 smoothing, bit 1 identifier prefix, bits 2-4 the module that decodes: 0 none,
// 1-6 matrix records 0-5, 7 the PDF417 record; bits 5-6 its text: 0 as given, 1 empty,
// 2 missing; bit 7 Data Matrix on, rectangles too), a text length (0-63), the text, then
// pixels repeated to fill the frame. Checks: Decode answers 0 or 1; a success reports a
// non-empty text, the scripted module's own; a module whose text is empty or missing never
// makes a success. With bit 7 and no scripted module the frame reaches the Data Matrix
// stages (L-finder, lattice, sampling, data layer), and a read of its own (Data Matrix or
// another default symbology) reports a code id and a text of the length reported.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "core/adapters_records.h"
#include "core/modules.h"
#include "core/params.h"
#include "core/state.h"
#include "core/test_hooks.h"
#include "vexo3.h"

namespace {

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

int U16(const uint8_t *d) { return d[0] | (d[1] << 8); }

struct Script {
    uint8_t text[64];
    int length;
    int kind;  // 0 as given, 1 empty, 2 missing
};
Script g_script;

// The scripted module's decoder side.
int ScriptDecode() {
    vexo::RESULT_STORE &s = vexo::g_params.resultStore;
    const int n = g_script.kind == 0 ? g_script.length : 0;
    std::memcpy(s.storedData0, g_script.text, static_cast<size_t>(n));
    s.storedLength[0] = n;
    s.storedQuad[0] = vexo::REGION_QUAD{{{10, 10}, {50, 10}, {10, 50}, {50, 50}}};
    s.storedCount = 1;
    return 1;
}
int DmScriptDecode() { return ScriptDecode() == 1 ? 0 : 1; }
const vexo::u8 *ScriptData() { return g_script.kind == 2 ? nullptr : g_script.text; }
int ScriptLength() { return g_script.kind == 0 ? g_script.length : 0; }
void ScriptCorners(vexo::REGION_QUAD *q) { *q = vexo::g_params.resultStore.storedQuad[0]; }
void ScriptAim(char *out) { std::memcpy(out, "]Q1", 3); }
void ScriptFill(vexo::MODULE_RESULT *out) {
    *out = vexo::MODULE_RESULT{vexo::kKindMatrix, 0x1, ScriptData(), static_cast<vexo::u32>(ScriptLength()), 0, 0, 0};
}

void InstallScriptedModule(int choice) {
    if (choice >= 1 && choice <= 6) {
        const int index = choice - 1;
        vexo::SYM_MODULE r = vexo::kDefaultModules.matrix[index];
        r.decode = index == 1 ? DmScriptDecode : ScriptDecode;
        r.getCorners = ScriptCorners;
        r.getRawData = ScriptData;
        r.getRawLength = ScriptLength;
        r.writeAimId = ScriptAim;
        vexo::Test_InstallMatrixModule(index, &r);
        // Single symbols, any length.
        for (int w : {vexo::kSymQr, vexo::kSymDataMatrix, vexo::kSymAztec, vexo::kSymMaxiCode, vexo::kSymCsCode,
                      vexo::kSymMicroPdf417}) {
            vexo::g_params.flagsWord[w] = vexo::kFlagEnabled | 1;
        }
        for (vexo::u32 &l : vexo::g_params.lengthWord) l = 0xFFFF0000u;
    } else if (choice == 7) {
        vexo::SYM_MODULE r = vexo::kEmptyModule;
        r.kind = vexo::kKindMatrix;
        r.moduleId = vexo::kModulePdf417;
        r.decode = [] { return 1; };
        r.getData = ScriptData;
        r.getLength = ScriptLength;
        r.fillResult = ScriptFill;
        r.getAimId = ScriptAim;
        vexo::Test_InstallStackedModule(0, &r);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 6) return 0;
    const int w = 1 + U16(data) % 1280;
    int h = 1 + U16(data + 2) % 960;
    if (static_cast<long>(w) * h > 200000) h = 200000 / w;
    const uint8_t options = data[4];
    const int length = data[5] % 64;
    size_t at = 6;
    g_script = Script{};
    for (int i = 0; i < length && at < size; ++i) g_script.text[g_script.length++] = data[at++];
    g_script.kind = (options >> 5) & 3;
    if (g_script.kind == 3) g_script.kind = 0;
    std::vector<uint8_t> frame(static_cast<size_t>(w) * h, 128);
    if (at < size) {
        for (size_t i = 0; i < frame.size(); ++i) frame[i] = data[at + i % (size - at)];
    }

    vexo::Test_ResetDecoderStatics();
    ZPT_SE_VexoDec_Init();
    const int choice = (options >> 2) & 7;
    InstallScriptedModule(choice);
    const bool dataMatrix = (options & 0x80) != 0;
    if (dataMatrix) {
        ZPT_SE_VexoDec_Set(0x20400, VEXO_ON);
        ZPT_SE_VexoDec_Set(0x20405, 0x10000);  // rectangles too
    }
    ZPT_SE_VexoDec_Set(VEXO_ID_SMOOTHING, (options & 1) != 0 ? 1 : 0);
    ZPT_SE_VexoDec_Set(VEXO_ID_AIM_PREFIX, (options & 2) != 0 ? VEXO_ON : VEXO_OFF);
    ZPT_SE_VexoDec_Set(VEXO_ID_IMAGE_WIDTH, static_cast<uint32_t>(w));
    ZPT_SE_VexoDec_Set(VEXO_ID_IMAGE_HEIGHT, static_cast<uint32_t>(h));
    ZPT_SE_VexoDec_Set(VEXO_ID_IMAGE_PIXELS, reinterpret_cast<uintptr_t>(frame.data()));
    // Twice, so that a smoothed frame is decoded too.
    for (int round = 0; round < 2; ++round) {
        const int answer = ZPT_SE_VexoDec_Decode();
        Check(answer == 0 || answer == 1);
        char text[4096];  // a whole Data Matrix text
        TEXT_DESC desc{24, sizeof text, 0, 0, text};
        Check(ZPT_SE_VexoDec_Get(VEXO_ID_RESULT_TEXT, &desc) == 1);
        uint32_t n = 0;
        Check(ZPT_SE_VexoDec_Get(VEXO_ID_RESULT_LENGTH, &n) == 1);
        if (answer == 1 && choice == 0 && dataMatrix) {
            uint32_t codeId = 0;
            Check(ZPT_SE_VexoDec_Get(VEXO_ID_RESULT_CODE_ID, &codeId) == 1 && codeId != 0);
            Check(desc.length > 0 && n == desc.length);
        } else if (answer == 1) {
            Check(choice != 0 && g_script.kind == 0 && g_script.length > 0);
            Check(desc.length > 0 && n == desc.length);
            const uint32_t prefix = (options & 2) != 0 ? 3 : 0;
            Check(desc.length == prefix + static_cast<uint32_t>(g_script.length));
            Check(std::memcmp(text + prefix, g_script.text, static_cast<size_t>(g_script.length)) == 0);
        } else {
            Check(desc.length == 0 && n == 0);
        }
    }
    return 0;
}
