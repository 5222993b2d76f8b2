// The firmware file header on any bytes: every part reported lies inside the input, and
// the outputs of parts not reported are left as they were.
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include <vector>

#include "readercore.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > 1u << 20) return 0;
    // A copy of exactly the input's length: a read past it is caught.
    std::vector<uint8_t> file(data, data + size);
    const uint8_t *const untouched = reinterpret_cast<const uint8_t *>(&file);
    const uint8_t *parts[3] = {untouched, untouched, untouched};
    uint32_t sizes[3] = {0xA5A5A5A5u, 0xA5A5A5A5u, 0xA5A5A5A5u};
    const int found = upgrade_parse_header(&parts[0], &sizes[0], &parts[1], &sizes[1], &parts[2], &sizes[2],
                                           file.data(), static_cast<uint32_t>(file.size()));
    if (found < 0 || found > 7) __builtin_trap();
    for (int i = 0; i < 3; ++i) {
        if ((found & (1 << i)) == 0) {
            if (parts[i] != untouched || sizes[i] != 0xA5A5A5A5u) __builtin_trap();
            continue;
        }
        if (parts[i] < file.data() || static_cast<uint64_t>(parts[i] - file.data()) + sizes[i] > file.size())
            __builtin_trap();
        // Touch the whole part: out of bounds shows under the sanitizer.
        volatile uint8_t sum = 0;
        for (uint32_t k = 0; k < sizes[i]; ++k) sum = static_cast<uint8_t>(sum + parts[i][k]);
        (void)sum;
    }
    return 0;
}
