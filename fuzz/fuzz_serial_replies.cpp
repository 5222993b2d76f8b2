// The serial engine drivers on any reply and any parameter bytes: every scanner_unpack of
// the plug-ins reads only the reply (and the sent packet) it is given; the packet builders
// write only within their output, and every packet they build is whole (length byte,
// checksum or CRC). The GT5170 query replies go through its parser: a value comes only
// from a reply whose check byte matched, and is one digit or a 16-bit number. The plug-ins
// are loaded from the build as the service loads them.
#include <dlfcn.h>
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <vector>

#include "gt5170_query.h"
#include "readercore.h"

namespace {

using Unpack = int (*)(ENGINE_RECORD *, const char *, const uint8_t *, int, const uint8_t *, int);
using Builder = int (*)(const uint8_t *, int, uint8_t *);
using Packet = int (*)(uint8_t *, uint8_t, const uint8_t *, int, uint8_t);
using PackCmd = int (*)(uint8_t *, uint16_t, const uint8_t *, uint8_t, uint8_t);

struct Plugins {
    Unpack unpack[5] = {};
    Builder builders[4] = {};
    Packet packets[2] = {};
    PackCmd pack_cmd = nullptr;
};

void *open_plugin(const char *name) {
    char path[512];
    snprintf(path, sizeof path, "%s/%s", SERIAL_PLUGIN_DIR, name);
    void *lib = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (lib == nullptr) __builtin_trap();
    return lib;
}

const Plugins &plugins() {
    static Plugins p = [] {
        Plugins q;
        void *gt = open_plugin("libGT8841LD.so");
        void *up = open_plugin("libZPT-PL512.so");
        void *pl = open_plugin("libPL512.so");
        void *gt5170 = open_plugin("libGT5170.so");
        void *hb = open_plugin("libHB22X.so");
        q.unpack[0] = reinterpret_cast<Unpack>(dlsym(gt, "scanner_unpack"));
        q.unpack[1] = reinterpret_cast<Unpack>(dlsym(up, "scanner_unpack"));
        q.unpack[2] = reinterpret_cast<Unpack>(dlsym(pl, "scanner_unpack"));
        q.unpack[3] = reinterpret_cast<Unpack>(dlsym(gt5170, "scanner_unpack"));
        q.unpack[4] = reinterpret_cast<Unpack>(dlsym(hb, "scanner_unpack"));
        q.builders[0] = reinterpret_cast<Builder>(dlsym(up, "UP513SetPacket"));
        q.builders[1] = reinterpret_cast<Builder>(dlsym(pl, "PL512SetPacket"));
        q.builders[2] = reinterpret_cast<Builder>(dlsym(up, "UP513GetPacket"));
        q.builders[3] = reinterpret_cast<Builder>(dlsym(pl, "PL512GetPacket"));
        q.packets[0] = reinterpret_cast<Packet>(dlsym(up, "UP513Packet"));
        q.packets[1] = reinterpret_cast<Packet>(dlsym(pl, "PL512Packet"));
        q.pack_cmd = reinterpret_cast<PackCmd>(dlsym(gt, "pack_cmd_data"));
        for (Unpack u : q.unpack)
            if (u == nullptr) __builtin_trap();
        for (Builder b : q.builders)
            if (b == nullptr) __builtin_trap();
        if (q.packets[0] == nullptr || q.packets[1] == nullptr || q.pack_cmd == nullptr) __builtin_trap();
        return q;
    }();
    return p;
}

const char *const kNames[] = {"ScanProbe", "Suffix",    "Prefix",    "Baudrate", "Beep",
                              "SysInfo",   "AIMID",     "CodeID",    "SleepTimer", "AutoSleep"};

// A built UP513/PL512 packet: length byte 4 + n, total n + 6, bytes summing to 0 mod 2^16.
void check_packet(const uint8_t *out, int length) {
    if (length < 6 || length > ENGINE_PACKET_SIZE || out[0] + 2 != length) __builtin_trap();
    uint16_t sum = 0;
    for (int i = 0; i < length - 2; ++i) sum = static_cast<uint16_t>(sum + out[i]);
    sum = static_cast<uint16_t>(sum + (out[length - 2] << 8 | out[length - 1]));
    if (sum != 0) __builtin_trap();
}

// The GT5170 read-back: the query packet built from a text, and a value from a reply.
void check_gt5170(const uint8_t selector, const uint8_t count, const std::vector<uint8_t> &bytes) {
    const int n = static_cast<int>(bytes.size());
    char attr[16];
    snprintf(attr, sizeof attr, "%c%d", "FTDx"[selector % 4], count);
    char out[8] = {};
    int result = gt5170_reply_value(bytes.data(), n, (selector & 4) != 0 ? "MATRIX25" : "EAN13",
                                    (selector & 8) != 0 ? "Enable" : "CheckChar", attr, out, sizeof out);
    if (result == 0) {
        const int length = gt5170_reply_check(bytes.data(), n);
        if (length < 0 || length + 5 > n) __builtin_trap();
        if (attr[0] == 'F' ? atoi(out) > 0xFFFF : (out[0] < '0' || out[0] > '7' || out[1] != '\0')) __builtin_trap();
    }
    std::vector<char> text(bytes.begin(), bytes.end());
    text.push_back('\0');
    std::vector<uint8_t> packet(count);
    int length = gt5170_query_packet(text.data(), packet.data(), count);
    if (length > count || (length > 0 && (length < 5 || packet[length - 1] != gt5170_lrc(&packet[2], packet[3] + 2))))
        __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 2) return 0;
    const Plugins &p = plugins();
    const uint8_t selector = data[0];
    const uint8_t count = data[1];
    // The rest in an area of its exact size: a read past it is seen.
    std::vector<uint8_t> bytes(data + 2, data + size);
    const int n = static_cast<int>(bytes.size());
    ENGINE_RECORD record{};
    const char *name = kNames[selector % 10];
    const int m = count <= n ? count : n;
    // The first m bytes stand for the packet sent.
    p.unpack[(selector >> 4) % 5](&record, name, bytes.data(), m, bytes.data(), n);
    check_gt5170(selector, count, bytes);

    std::vector<uint8_t> out(ENGINE_PACKET_SIZE);
    for (Builder b : p.builders) {
        int length = b(bytes.data(), m, out.data());
        if (length > 0) check_packet(out.data(), length);
    }
    for (Packet b : p.packets) {
        int length = b(out.data(), selector, bytes.data(), m, count);
        if (length > 0) check_packet(out.data(), length);
    }
    int length = p.pack_cmd(out.data(), static_cast<uint16_t>(selector << 8 | count), bytes.data(),
                            static_cast<uint8_t>(m), static_cast<uint8_t>(7 + selector % 4));
    if (length > ENGINE_PACKET_SIZE) __builtin_trap();
    return 0;
}
