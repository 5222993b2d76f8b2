// A maintenance client on the service socket, built on the link library loaded from the
// build (its header stays in net_client.cpp: it has names the runtime exports too).
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

struct NetAnswer {
    bool answered = false;
    uint8_t status = 0xff;
    std::vector<uint8_t> payload;
};

struct NetReport {
    uint8_t command = 0;
    size_t length = 0;
    std::vector<uint8_t> payload;
};

class NetClient {
  public:
    // Connects a client link to the service socket's name: false when it cannot.
    bool open();
    void close();
    ~NetClient() { close(); }
    // One command of type 2 and its answer within seconds.
    NetAnswer command(uint8_t command, const std::vector<uint8_t> &payload, int seconds = 10) {
        return request(static_cast<uint16_t>(0x200 | command), payload, seconds);
    }
    // A request with the whole command word (type << 8 | command) and its answer.
    NetAnswer request(uint16_t word, const std::vector<uint8_t> &payload, int seconds = 10);
    // Sends a request without waiting for an answer.
    void post(uint8_t command, const std::vector<uint8_t> &payload);
    // Answers that arrived with nobody waiting for them.
    int stray_answers();
    // Requests of type 2 the stack sent to this client (its reports).
    std::vector<NetReport> reports();

  private:
    void *link_ = nullptr;
};
