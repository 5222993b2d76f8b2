// link_peer server NAME SECONDS | link_peer client NAME COUNT
// A plain program on each end of a link. The server answers every type-2 request with
// status 0 and its payload, prints "ready" and ends after SECONDS. The client makes COUNT
// send_command round trips with seeded payloads and checks each answer; exit status 0
// when all came back whole. The cross-build runs the client for 32-bit ARM against the
// host's server.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "zptutils.h"

namespace {

LINK_CONTEXT *g_server = nullptr;

int echo_request(LINK_CHUNK *request) {
    send_echo_packet(g_server, request, 0, request->data + LINK_HEADER_SIZE,
                     request->length - static_cast<int32_t>(LINK_HEADER_SIZE));
    return 1;
}

int run_server(const char *name, int seconds) {
    g_server = start_comm(SOCKET_KIND_SERVER, name);
    if (g_server == nullptr || set_recivedata_func(g_server, 2, echo_request, nullptr) != 1) return 1;
    printf("ready\n");
    fflush(stdout);
    sleep(static_cast<unsigned>(seconds));
    stop_comm(g_server);
    return 0;
}

int run_client(const char *name, int count) {
    LINK_CONTEXT *client = start_comm(0, name);
    if (client == nullptr) return 1;
    int good = 0;
    uint8_t payload[4096];
    uint32_t seed = 12345;
    for (int i = 0; i < count; ++i) {
        int32_t length = static_cast<int32_t>((i * 97) % sizeof payload);
        for (int32_t k = 0; k < length; ++k) {
            seed = seed * 1103515245u + 12345u;
            payload[k] = static_cast<uint8_t>(seed >> 16);
        }
        uint8_t status = 0xEE;
        uint8_t *reply = nullptr;
        uint32_t reply_length = 0;
        int ok = send_command(client, static_cast<uint16_t>(0x200 | (i & 0xFF)), payload, length, 2, &status, &reply,
                              &reply_length);
        if (ok == 1 && status == 0 && reply_length == static_cast<uint32_t>(length) &&
            (length == 0 || memcmp(reply, payload, static_cast<size_t>(length)) == 0)) {
            ++good;
        }
        free(reply);
    }
    stop_comm(client);
    printf("%d of %d round trips\n", good, count);
    return good == count ? 0 : 1;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc == 4 && strcmp(argv[1], "server") == 0) return run_server(argv[2], atoi(argv[3]));
    if (argc == 4 && strcmp(argv[1], "client") == 0) return run_client(argv[2], atoi(argv[3]));
    fprintf(stderr, "usage: link_peer server NAME SECONDS | link_peer client NAME COUNT\n");
    return 2;
}
