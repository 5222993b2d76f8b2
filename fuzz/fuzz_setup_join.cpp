// Setup-code strings and the joined-symbol assembler.
//
// Input: the first byte picks the half. Setup codes: the rest is one string; status 0 only
// for the form "999" + five octal digits naming a listed code, with one or two pairs each in
// the group the code names, and a refusal leaves count 0 and null pointers. Assembler: the
// rest drives the call sequence of the assembler model, whose promises must all hold.
#include <cstddef>
#include <cstdint>
#include <string>

#include "../tests/decoder/core/join_model.h"
#include "core/setup_codes.h"
#include "core/test_hooks.h"

namespace {

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

void FuzzSetupCode(const uint8_t *data, size_t size) {
    const std::string text(reinterpret_cast<const char *>(data), size);
    vexo::SETUP_REQUEST req{};
    req.type = 1;
    req.text = text.data();
    req.textLength = static_cast<vexo::i32>(size);
    const int status = vexo::Par_HandleSetupCode(&req);
    Check(status == req.status);
    vexo::i32 group = 0;
    vexo::i32 sub = 0;
    const bool wellFormed = vexo::Par_ParseSetupCode(text.data(), static_cast<vexo::i32>(size), &group, &sub) == 1;
    if (status != 0) {
        Check(status == 3);
        Check(req.pairCount == 0 && req.ids == nullptr && req.values == nullptr);
        return;
    }
    Check(wellFormed && size == 8 && sub > 0);
    Check(req.pairCount == 1 || req.pairCount == 2);
    const vexo::u32 base = group >= 0200 ? 0x20000u + static_cast<vexo::u32>(group - 0200) * 0x100u
                                         : 0x10000u + static_cast<vexo::u32>(group - 0100) * 0x100u;
    for (int i = 0; i < req.pairCount; ++i) Check((req.ids[i] & 0xFFFFFF00u) == base);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1) return 0;
    vexo::Test_ResetDecoderStatics();
    if ((data[0] & 1) == 0) {
        FuzzSetupCode(data + 1, size - 1);
        return 0;
    }
    vexo_test::JoinModel model;
    Check(model.Run(data + 1, size - 1, nullptr));
    return 0;
}
