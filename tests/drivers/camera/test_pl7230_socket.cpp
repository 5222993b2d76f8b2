// The PL7230 engine with the build's decoder behind the service socket: a supplied frame
// sent by a client on the link library is decoded by the real engine.
#include "net_client.h"
#include "pl7230_test.h"
#include "scanner_service.h"

namespace {

TEST_F(Pl7230Test, SuppliedFrameThroughTheServiceSocket) {
    install_decoder();
    serve_qr("camera frame", 1280, 960);
    start_engine();
    DEVICE_OBJECT device{};
    device.current = &record_;
    device.state = 1;
    list_init(&device.codeGroups);
    list_init(&device.settings);
    ASSERT_EQ(zpt_net_init(&device), 0);
    NetClient client;
    ASSERT_TRUE(client.open());
    auto request = [](const testkit::Frame &frame) {
        std::vector<uint8_t> bytes(16);
        uint32_t size[2] = {static_cast<uint32_t>(frame.width), static_cast<uint32_t>(frame.height)};
        memcpy(bytes.data(), size, sizeof size);
        bytes.insert(bytes.end(), frame.pixels.begin(), frame.pixels.end());
        return bytes;
    };
    testkit::Frame qr = render_qr("through the socket", 640, 480);
    EXPECT_EQ(client.command(0x05, request(qr)).status, 0);
    EXPECT_TRUE(logged("PL7230: Decode OK, data:(18)(through the socket)"));
    testkit::Frame blank = qr;
    std::fill(blank.pixels.begin(), blank.pixels.end(), 0xC0);
    EXPECT_EQ(client.command(0x05, request(blank)).status, 1);
    client.close();
    EXPECT_EQ(zpt_net_deinit(), 0);
}

}  // namespace
