// Base64 through the runtime's wrappers on any bytes. Input: a capacity byte, then text.
// The text is decoded into a buffer of exactly that capacity: a count that fits is
// followed by its zero byte, a refusal writes nothing, and canaries behind the buffer stay
// intact. The text's bytes, encoded and decoded again, come back unchanged. The process
// lays out its own root once, with a link to libcrypto.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "plat.h"
#include "readercore.h"
#include "sandbox.h"
#include "zptlog.h"

namespace {

constexpr uint8_t kCanary = 0xA5;
constexpr size_t kCanaries = 16;

struct FuzzRoot {
    std::string dir;
    FuzzRoot() {
        dir = svc_sandbox::make_root("fuzz-base64");
        if (dir.empty() || !svc_sandbox::link_libraries(dir, svc_sandbox::kCrypto)) abort();
        plat_set_root(dir.c_str());
        log_set_level(0);
    }
    ~FuzzRoot() { svc_sandbox::remove_root(dir); }
};

void check(bool ok) {
    if (!ok) __builtin_trap();
}

bool all_canary(const std::vector<uint8_t> &bytes, size_t from) {
    for (size_t i = from; i < bytes.size(); ++i)
        if (bytes[i] != kCanary) return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static FuzzRoot root;
    if (size < 2 || size > (1u << 16)) return 0;
    const int capacity = 1 + data[0];
    const char *text = reinterpret_cast<const char *>(data + 1);
    const int length = static_cast<int>(size - 1);

    std::vector<uint8_t> out(static_cast<size_t>(capacity) + kCanaries, kCanary);
    int n = OpensslBase64Decode(text, length, out.data(), capacity);
    if (n >= 0) {
        check(n + 1 <= capacity && out[static_cast<size_t>(n)] == 0);
        check(all_canary(out, static_cast<size_t>(capacity)));
    } else {
        check(all_canary(out, 0));
    }

    // Four characters for every three bytes, a line feed for every 64 and the last line.
    size_t chars = (static_cast<size_t>(length) + 2) / 3 * 4;
    size_t room = chars + chars / 64 + 2;
    std::vector<char> encoded(room + kCanaries, '#');
    int m = OpensslBase64Encode(data + 1, length, encoded.data(), static_cast<int>(room));
    check(m > 0 && static_cast<size_t>(m) <= room);
    check(encoded[static_cast<size_t>(m) - 1] == '\n');
    std::vector<uint8_t> back(static_cast<size_t>(length) + 1 + kCanaries, kCanary);
    check(OpensslBase64Decode(encoded.data(), m, back.data(), length + 1) == length);
    check(memcmp(back.data(), data + 1, static_cast<size_t>(length)) == 0 && back[static_cast<size_t>(length)] == 0);
    check(all_canary(back, static_cast<size_t>(length) + 1));
    return 0;
}
