// PDF417-family interpretation on hostile codewords. Invariants (trap on violation): the answer
// is at most the capacity (-10 or 0 for a refusal), nothing past the capacity changes, the macro
// record's texts stay terminated in their slots.
//
// Input: [entry] [capacity, two bytes] then the codewords, two bytes each, values 0..999, at
// most 929 of them. Entry: 0 PDF417, 1 PDF417 with the region flag, 2 MicroPDF417, 3 composite
// data.
#include <cstdint>
#include <cstring>

#include "pdf417/cc_data.h"
#include "pdf417/pdf417_interpret.h"
#include "pdf417/pdf417_macro.h"
#include "pdf417/pdf417_state.h"
#include "pdf417/test_hooks_pdf417.h"

namespace {

using namespace vexo;

#define PDF_CHECK(cond)                \
    do {                               \
        if (!(cond)) __builtin_trap(); \
    } while (0)

constexpr int kMaxCapacity = 3200;
constexpr int kGuard = 64;
constexpr uint8_t kFill = 0xA5;
constexpr int kMaxCodewords = 929;
uint8_t g_text[kMaxCapacity + kGuard];
int32_t g_codewords[kMaxCodewords];

bool Terminated(const char *slot, int size) { return std::memchr(slot, 0, static_cast<size_t>(size)) != nullptr; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 3) return 0;
    Test_ResetPdfStatics();
    const int entry = data[0] % 4;
    const int capacity = (data[1] | data[2] << 8) % (kMaxCapacity + 1);
    int count = static_cast<int>((size - 3) / 2);
    if (count > kMaxCodewords) count = kMaxCodewords;
    for (int i = 0; i < count; ++i) g_codewords[i] = (data[3 + 2 * i] | data[4 + 2 * i] << 8) % 1000;
    std::memset(g_text, kFill, sizeof g_text);

    int rc;
    switch (entry) {
        case 0:
        case 1:
            PDF_SetRegionFlag(entry);
            rc = PDF_InterpretCodewords(g_codewords, count, g_text, capacity);
            PDF_CHECK(rc == kPdfInvalidStream || (rc >= 0 && rc <= capacity));
            break;
        case 2:
            rc = MPDF_InterpretCodewords(g_codewords, count, kPdfTypeMicro, g_text, capacity);
            PDF_CHECK(rc == kPdfInvalidStream || (rc >= 0 && rc <= capacity));
            break;
        default:
            rc = CC_DecodeData(g_codewords, count, g_text, capacity);
            PDF_CHECK(rc >= 0 && rc <= capacity);
            break;
    }
    for (int i = capacity; i < kMaxCapacity + kGuard; ++i) PDF_CHECK(g_text[i] == kFill);
    const PDF_MACRO_RECORD &m = g_pdfMacro;
    PDF_CHECK(Terminated(m.fileName, kPdfMacroTextSlot) && Terminated(m.sender, kPdfMacroTextSlot) &&
              Terminated(m.addressee, kPdfMacroTextSlot) && Terminated(m.date, kPdfDateSlot) &&
              Terminated(m.time, kPdfTimeSlot));
    PDF_CHECK(m.present == 0 || m.present == 1);
    return 0;
}
