// The camera arbitration client against a test arbitration peer: a server link on the
// default name in the same process, with a dummy camera daemon as a child process. The
// client keeps its link and watchdog for the life of its process: each test runs in a
// process of its own.
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "plat.h"
#include "service_test.h"
#include "zptcamera_client.h"
#include "zptutils.h"

namespace {

using CamClock = std::chrono::steady_clock;

double camclient_seconds_since(CamClock::time_point t0) {
    return std::chrono::duration<double>(CamClock::now() - t0).count();
}

struct CamPeerRequest {
    uint8_t type = 0;
    uint8_t command = 0;
    std::vector<uint8_t> payload;
};

// The arbitration peer: answers command 1 with a scripted payload (or not at all) and
// records every request and every reply that reaches it.
struct CamPeer {
    std::mutex mu;
    std::vector<CamPeerRequest> requests;
    int replies = 0;
    std::optional<std::vector<uint8_t>> answer;
    LINK_CONTEXT *link = nullptr;

    static CamPeer &the() {
        static CamPeer peer;
        return peer;
    }
    size_t count(uint8_t command) {
        std::lock_guard<std::mutex> g(mu);
        size_t n = 0;
        for (const CamPeerRequest &r : requests) n += r.command == command ? 1 : 0;
        return n;
    }
    std::vector<CamPeerRequest> of(uint8_t command) {
        std::lock_guard<std::mutex> g(mu);
        std::vector<CamPeerRequest> out;
        for (const CamPeerRequest &r : requests) {
            if (r.command == command) out.push_back(r);
        }
        return out;
    }
    void script(std::optional<std::vector<uint8_t>> payload) {
        std::lock_guard<std::mutex> g(mu);
        answer = std::move(payload);
    }
    int reply_count() {
        std::lock_guard<std::mutex> g(mu);
        return replies;
    }
};

int campeer_on_request(LINK_CHUNK *request) {
    CamPeer &p = CamPeer::the();
    LINK_HEADER h;
    memcpy(&h, request->data, sizeof h);
    std::lock_guard<std::mutex> g(p.mu);
    p.requests.push_back({h.type, h.command,
                          std::vector<uint8_t>(request->data + LINK_HEADER_SIZE, request->data + request->length)});
    if (h.command == CAMERA_CMD_GET_STATE && p.answer) {
        send_echo_packet(p.link, request, 0, p.answer->data(), static_cast<int32_t>(p.answer->size()));
    }
    return 1;
}

void campeer_on_reply(LINK_CHUNK *reply, LINK_SEND_NODE *) {
    if (reply == nullptr) return;
    CamPeer &p = CamPeer::the();
    std::lock_guard<std::mutex> g(p.mu);
    ++p.replies;
}

std::vector<uint8_t> camuser_bytes(uint32_t kind, uint32_t user_id, uint32_t state, uint32_t pid, const std::string &name) {
    std::vector<uint8_t> b(36, 0);
    const uint32_t words[4] = {kind, user_id, state, pid};
    for (int w = 0; w < 4; ++w) {
        for (int i = 0; i < 4; ++i) b[static_cast<size_t>(w * 4 + i)] = static_cast<uint8_t>(words[w] >> (8 * i));
    }
    memcpy(b.data() + 16, name.data(), std::min<size_t>(name.size(), 20));
    return b;
}

struct CamNotice {
    int code, a, b;
    CamClock::time_point at;
};
std::mutex g_camnotice_mu;
std::vector<CamNotice> g_camnotices;

void camclient_record_notice(int code, int a, int b) {
    std::lock_guard<std::mutex> g(g_camnotice_mu);
    g_camnotices.push_back({code, a, b, CamClock::now()});
}
std::vector<CamNotice> camclient_notices() {
    std::lock_guard<std::mutex> g(g_camnotice_mu);
    return g_camnotices;
}

// Sockets of this network namespace bound or accepted on the default name.
int camclient_default_name_sockets() {
    std::ifstream in("/proc/self/net/unix");
    std::string line;
    int n = 0;
    const std::string needle = std::string("@") + SOCKET_DEFAULT_NAME;
    while (std::getline(in, line)) {
        if (line.size() >= needle.size() && line.compare(line.size() - needle.size(), needle.size(), needle) == 0) ++n;
    }
    return n;
}

class CameraClientTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = make_temp_dir("camclient-log");
        plat_logcat_set_file((dir_ + "/logcat").c_str());
        tail_ = std::make_unique<FileTail>(dir_ + "/logcat");
        EXPECT_EQ(log_get_level(), LINK_LOG_LEVEL_DEFAULT);
    }
    void TearDown() override {
        reap_named_process(dummy_);
        // The client's threads outlive the test and may still log: the file stays open.
        remove_host_tree(dir_);
    }
    // The peer listens before the client connects: a client finds its server once.
    void start_peer() {
        CamPeer &p = CamPeer::the();
        p.link = start_comm(SOCKET_KIND_SERVER, nullptr);
        ASSERT_NE(p.link, nullptr);
        ASSERT_EQ(set_recivedata_func(p.link, 0, campeer_on_request, campeer_on_reply), 1);
    }
    // Init, then one get-state round trip: the peer has accepted the client.
    void start_client(uint32_t user_id) {
        ASSERT_EQ(camera_client_init(user_id), 0);
        camera_stream_set_notify(camclient_record_notice);
        // Answered at once, naming another process.
        CamPeer::the().script(camuser_bytes(0, 1, 1, static_cast<uint32_t>(getpid()) + 1, "peer"));
        EXPECT_EQ(camera_get_state(), -1);
        ASSERT_EQ(CamPeer::the().count(CAMERA_CMD_GET_STATE), 1u);
    }
    bool logged(const std::string &needle) const { return tail_->contains(needle); }
    bool wait_logged(const std::string &needle) const {
        return eventually([&] { return logged(needle); });
    }

    std::string dir_;
    std::unique_ptr<FileTail> tail_;
    pid_t dummy_ = -1;
};

TEST_F(CameraClientTest, ExportsBeforeInitDoNothingAndNoPeerAnswersOther) {
    camera_stream_set_notify(camclient_record_notice);
    camera_state_notify(9, 8, 7);
    auto t0 = CamClock::now();
    EXPECT_EQ(camera_get_state(), -1);
    EXPECT_EQ(camera_set_state(7, "scanner"), 0);
    kill_task("nosuchprocess");
    camera_stream_start();
    camera_stream_reset();
    camera_stream_stop();
    EXPECT_LT(camclient_seconds_since(t0), 1.0);  // kill_task would have waited 2 s
    EXPECT_TRUE(camclient_notices().empty());
    EXPECT_EQ(tail_->text(), "");

    // No peer: the client never connects; the wait runs out its polls.
    ASSERT_EQ(camera_client_init(1), 0);
    EXPECT_TRUE(logged("D/Kelservice: pocject_init ===================== Mode SOCKET_TYPE_CLIENT [1]\n"));
    t0 = CamClock::now();
    EXPECT_EQ(camera_get_state(), -1);
    EXPECT_GE(camclient_seconds_since(t0), 20000 * 10e-6);
    EXPECT_TRUE(logged("Remote Active [] Pid [-1] State [0] WaitEcho [1]\n"));
    // The callback given before init was not kept.
    camera_state_notify(9, 8, 7);
    EXPECT_TRUE(camclient_notices().empty());
    // A peer that comes later hears nothing from this client.
    start_peer();
    EXPECT_EQ(camera_set_state(7, "late"), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    std::lock_guard<std::mutex> g(CamPeer::the().mu);
    EXPECT_TRUE(CamPeer::the().requests.empty());
}

TEST_F(CameraClientTest, GetStateTakesWholeRepliesOnly) {
    start_peer();
    CamPeer &p = CamPeer::the();
    const uint32_t me = static_cast<uint32_t>(getpid());
    // A 20-byte reply is ignored: the first active user, pid -1, is compared.
    std::vector<uint8_t> short_reply = camuser_bytes(0, 2, 5, me, "cam");
    short_reply.resize(20);
    p.script(short_reply);
    ASSERT_EQ(camera_client_init(2), 0);
    EXPECT_EQ(camera_get_state(), -1);
    EXPECT_TRUE(logged("Remote Active [] Pid [-1] State [0] WaitEcho [1]\n"));
    ASSERT_EQ(p.count(CAMERA_CMD_GET_STATE), 1u);
    CamPeerRequest req = p.of(CAMERA_CMD_GET_STATE)[0];
    EXPECT_EQ(req.type, 0);
    EXPECT_TRUE(req.payload.empty());

    p.script(camuser_bytes(0, 2, 5, me, "cam"));
    EXPECT_EQ(camera_get_state(), 0);
    EXPECT_TRUE(logged("D/Kelservice: [camera_get_state Client]NowPid [" + std::to_string(me) +
                       "] Remote Active [cam] Pid [" + std::to_string(me) + "] State [5] WaitEcho [0]\n"));
    // The reply handler logs after it has released the waiting call.
    EXPECT_TRUE(wait_logged("D/Kelservice: [CMD_Get_Camera Client] Recv LocalPid [" + std::to_string(me) +
                            "] [cam] Pid [" + std::to_string(me) + "] State [5]\n"));

    p.script(camuser_bytes(0, 1, 3, me + 1, "other"));
    EXPECT_EQ(camera_get_state(), -1);
    EXPECT_TRUE(logged("Remote Active [other] Pid [" + std::to_string(me + 1) + "] State [3] WaitEcho [0]\n"));

    // Replies of every length short of a whole record, unasked, naming this process: all
    // ignored, the active user stays "other".
    std::vector<uint8_t> mine = camuser_bytes(0, 2, 6, me, "mine");
    for (int32_t len = 0; len < 36; ++len) {
        LINK_HEADER h{};
        h.sequence = 9;
        h.mark = LINK_MARK;
        h.direction = LINK_DIR_REQUEST;
        h.command = CAMERA_CMD_GET_STATE;
        LINK_CHUNK fake{nullptr, static_cast<int32_t>(sizeof h), reinterpret_cast<uint8_t *>(&h)};
        send_echo_packet(p.link, &fake, 0, len > 0 ? mine.data() : nullptr, len);
    }
    p.script(std::nullopt);
    EXPECT_EQ(camera_get_state(), -1);
    EXPECT_TRUE(logged("Remote Active [other] Pid [" + std::to_string(me + 1) + "] State [3] WaitEcho [1]\n"));
    EXPECT_FALSE(logged("[mine]"));

    // A name that fills its field without a zero is cut at 19 characters.
    std::vector<uint8_t> full = camuser_bytes(0, 2, 5, me, "");
    memset(full.data() + 16, 'n', 20);
    p.script(full);
    EXPECT_EQ(camera_get_state(), 0);
    EXPECT_TRUE(logged("Remote Active [" + std::string(19, 'n') + "] Pid ["));
    EXPECT_EQ(p.count(CAMERA_CMD_GET_STATE), 5u);
}

TEST_F(CameraClientTest, SetStateAndKillTaskSendWholeRecords) {
    start_peer();
    start_client(3);
    CamPeer &p = CamPeer::the();
    const uint32_t me = static_cast<uint32_t>(getpid());
    const std::string thirty(30, 'q');
    struct SetStateCase {
        uint32_t state;
        const char *name;
        std::string sent;
    } cases[] = {{7, "scanner", "scanner"}, {1, nullptr, ""}, {9, thirty.c_str(), std::string(19, 'q')}};
    for (const SetStateCase &c : cases) {
        EXPECT_EQ(camera_set_state(c.state, c.name), 0);
    }
    ASSERT_TRUE(eventually([&] { return p.count(CAMERA_CMD_SET_STATE) == 3; }));
    std::vector<CamPeerRequest> got = p.of(CAMERA_CMD_SET_STATE);
    for (size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(got[i].type, 0);
        EXPECT_EQ(got[i].payload, camuser_bytes(2, 3, cases[i].state, me, cases[i].sent));
    }
    EXPECT_TRUE(logged("D/Kelservice: [camera_set_state Client] Setting NowPid [" + std::to_string(me) +
                       "] Name [scanner] State [7]\n"));
    // Without bit 0x01 of the link library's mask the client is silent.
    log_set_level(LINK_LOG_LEVEL_DEFAULT & ~0x01u);
    EXPECT_EQ(camera_set_state(8, "quiet"), 0);
    ASSERT_TRUE(eventually([&] { return p.count(CAMERA_CMD_SET_STATE) == 4; }));
    EXPECT_FALSE(logged("Name [quiet]"));
    log_set_level(LINK_LOG_LEVEL_DEFAULT);

    // kill_task returns only once a process of the name exists, and 2 s after that.
    const std::string victim = "camk" + std::to_string(me % 100000);
    auto t0 = CamClock::now();
    std::atomic<bool> returned{false};
    std::thread caller([&] {
        kill_task(victim.c_str());
        returned = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_FALSE(returned.load());
    auto t_dummy = CamClock::now();  // the name cannot be seen before the fork
    dummy_ = spawn_named_process(victim.c_str());
    caller.join();
    EXPECT_GE(std::chrono::duration<double>(CamClock::now() - t_dummy).count(), 2.0);
    EXPECT_LT(camclient_seconds_since(t0), 10.0);  // hang guard
    ASSERT_EQ(p.count(CAMERA_CMD_STOP_PROCESS), 1u);
    EXPECT_EQ(p.of(CAMERA_CMD_STOP_PROCESS)[0].payload, camuser_bytes(1, 0, 0, me, victim));
    EXPECT_TRUE(wait_logged("D/Kelservice: kill_task Loop ["));

    // With the process already there: no earlier than 2 s.
    t0 = CamClock::now();
    kill_task(victim.c_str());
    EXPECT_GE(camclient_seconds_since(t0), 2.0);
    EXPECT_EQ(p.count(CAMERA_CMD_STOP_PROCESS), 2u);
}

// Commands 4 and 5 from the service: notified for user 2 only, handled for every user.
struct CamServiceCase {
    uint32_t user_id;
    uint32_t notifies;  // a word, not a bool: no padding bytes in the printed case
};
class CameraClientServiceTest : public CameraClientTest, public ::testing::WithParamInterface<CamServiceCase> {};

TEST_P(CameraClientServiceTest, ServiceRequestsAreHandled) {
    start_peer();
    ASSERT_EQ(camera_client_init(GetParam().user_id), 0);
    camera_state_notify(1, 2, 3);  // no callback yet
    EXPECT_TRUE(camclient_notices().empty());
    start_client(GetParam().user_id);
    CamPeer &p = CamPeer::the();
    net_direct_send(p.link, CAMERA_CMD_SERVICE_4, nullptr, 0);
    net_direct_send(p.link, CAMERA_CMD_SERVICE_5, nullptr, 0);
    const std::string id = std::to_string(GetParam().user_id);
    ASSERT_TRUE(wait_logged("D/Kelservice: camera_distribute UsedId [" + id + "] cmd [5]\n"));
    EXPECT_TRUE(logged("D/Kelservice: camera_distribute UsedId [" + id + "] cmd [4]\n"));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(p.reply_count(), 0);  // no status-1 answer
    std::vector<CamNotice> seen = camclient_notices();
    if (GetParam().notifies != 0) {
        ASSERT_EQ(seen.size(), 2u);
        EXPECT_EQ((std::vector<int>{seen[0].code, seen[0].a, seen[0].b, seen[1].code, seen[1].a, seen[1].b}),
                  (std::vector<int>{3, 0, 0, 4, 0, 0}));
    } else {
        EXPECT_TRUE(seen.empty());
    }
    camera_state_notify(7, -8, 9);
    seen = camclient_notices();
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ((std::vector<int>{seen.back().code, seen.back().a, seen.back().b}), (std::vector<int>{7, -8, 9}));
}

INSTANTIATE_TEST_SUITE_P(Users, CameraClientServiceTest,
                         ::testing::Values(CamServiceCase{2, 1}, CamServiceCase{1, 0}),
                         [](const ::testing::TestParamInfo<CamServiceCase> &i) {
                             return "User" + std::to_string(i.param.user_id);
                         });

TEST_F(CameraClientTest, TwoFirstInitsAtOnceMakeOneLinkAndOneWatchdog) {
    start_peer();
    ASSERT_TRUE(eventually([] { return camclient_default_name_sockets() == 1; }));  // the listener
    // What one client link costs in threads here.
    const int before = process_thread_count();
    LINK_CONTEXT *probe = start_comm(0, nullptr);
    ASSERT_NE(probe, nullptr);
    ASSERT_TRUE(eventually([] { return camclient_default_name_sockets() == 2; }));
    const int link_threads = process_thread_count() - before;
    stop_comm(probe);
    ASSERT_TRUE(eventually([&] { return process_thread_count() == before && camclient_default_name_sockets() == 1; }));

    std::atomic<int> go{0};
    int results[2] = {-2, -2};
    std::thread a([&] {
        while (go.load() == 0) {
        }
        results[0] = camera_client_init(2);
    });
    std::thread b([&] {
        while (go.load() == 0) {
        }
        results[1] = camera_client_init(2);
    });
    go = 1;
    a.join();
    b.join();
    EXPECT_EQ(results[0], 0);
    EXPECT_EQ(results[1], 0);
    EXPECT_EQ(camera_client_init(5), 0);
    ASSERT_TRUE(eventually([] { return camclient_default_name_sockets() == 2; }));
    EXPECT_EQ(process_thread_count(), before + link_threads + 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(camclient_default_name_sockets(), 2);
    EXPECT_EQ(process_thread_count(), before + link_threads + 1);
    // The first call's userId holds.
    net_direct_send(CamPeer::the().link, CAMERA_CMD_SERVICE_5, nullptr, 0);
    EXPECT_TRUE(wait_logged("camera_distribute UsedId [2] cmd [5]\n"));
}

// Frames every 100 ms keep the watchdog quiet; then, without frames, it asks for the
// daemon to be stopped, waits for it to be back and turns streaming off.
TEST_F(CameraClientTest, WatchdogFiresOnlyWithoutFrames) {
    start_peer();
    start_client(2);
    CamPeer &p = CamPeer::the();
    camera_stream_start();
    auto frames_end = CamClock::now() + std::chrono::seconds(4);
    while (CamClock::now() < frames_end) {
        camera_stream_reset();
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    camera_stream_reset();
    auto t_last = CamClock::now();
    EXPECT_TRUE(camclient_notices().empty());
    ASSERT_TRUE(eventually([] { return !camclient_notices().empty(); }));
    auto fired = camclient_notices()[0];
    EXPECT_EQ((std::vector<int>{fired.code, fired.a, fired.b}), (std::vector<int>{3, 0, 0}));
    EXPECT_GE(std::chrono::duration<double>(fired.at - t_last).count(), 2.0);
    EXPECT_LT(std::chrono::duration<double>(fired.at - t_last).count(), 10.0);  // hang guard
    ASSERT_TRUE(eventually([&] { return p.count(CAMERA_CMD_STOP_PROCESS) == 1; }));
    EXPECT_EQ(p.of(CAMERA_CMD_STOP_PROCESS)[0].payload,
              camuser_bytes(1, 0, 0, static_cast<uint32_t>(getpid()), CAMERA_DAEMON_NAME));
    EXPECT_TRUE(wait_logged("D/Kelservice: KILL CAMERA_TASK_NAME ========================= Stream\n"));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(camclient_notices().size(), 1u);
    auto t_dummy = CamClock::now();
    dummy_ = spawn_named_process(CAMERA_DAEMON_NAME);
    ASSERT_TRUE(eventually([] { return camclient_notices().size() == 2; }));
    auto stopped = camclient_notices()[1];
    EXPECT_EQ((std::vector<int>{stopped.code, stopped.a, stopped.b}), (std::vector<int>{1, 0, 0}));
    EXPECT_GE(std::chrono::duration<double>(stopped.at - t_dummy).count(), 2.0);

    // Streaming is off: resets alone fire nothing.
    auto quiet_end = CamClock::now() + std::chrono::milliseconds(3000);
    while (CamClock::now() < quiet_end) {
        camera_stream_reset();
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
    }
    EXPECT_EQ(camclient_notices().size(), 2u);
    EXPECT_EQ(p.count(CAMERA_CMD_STOP_PROCESS), 1u);
}

// A second start while streaming starts the count again; a stop before the time keeps
// the watchdog from firing.
TEST_F(CameraClientTest, WatchdogRestartAndStop) {
    start_peer();
    start_client(2);
    dummy_ = spawn_named_process(CAMERA_DAEMON_NAME);
    auto t0 = CamClock::now();
    camera_stream_start();
    std::this_thread::sleep_for(std::chrono::milliseconds(1200));
    auto t1 = CamClock::now();
    camera_stream_start();
    ASSERT_TRUE(eventually([] { return !camclient_notices().empty(); }));
    auto fired = camclient_notices()[0];
    EXPECT_EQ(fired.code, 3);
    EXPECT_GE(std::chrono::duration<double>(fired.at - t1).count(), 2.0);
    EXPECT_LT(std::chrono::duration<double>(fired.at - t0).count(), 10.0);  // hang guard
    ASSERT_TRUE(eventually([] { return camclient_notices().size() == 2; }));
    EXPECT_TRUE(wait_logged("D/Kelservice: camera_stream_start\n"));

    camera_stream_start();
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    camera_stream_stop();
    std::this_thread::sleep_for(std::chrono::milliseconds(2000));
    EXPECT_EQ(camclient_notices().size(), 2u);
    EXPECT_EQ(CamPeer::the().count(CAMERA_CMD_STOP_PROCESS), 1u);
    EXPECT_TRUE(logged("D/Kelservice: camera_stream_stop\n"));
}

// Frames, starts and stops from three threads while the watchdog runs (a ThreadSanitizer
// case: label threads).
TEST_F(CameraClientTest, StreamCallsFromThreeThreads) {
    start_peer();
    start_client(2);
    dummy_ = spawn_named_process(CAMERA_DAEMON_NAME);
    camera_stream_start();
    std::atomic<bool> stop{false};
    std::vector<std::thread> threads;
    threads.emplace_back([&] {
        while (!stop) {
            camera_stream_reset();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    threads.emplace_back([&] {
        while (!stop) {
            camera_stream_start();
            std::this_thread::sleep_for(std::chrono::milliseconds(7));
        }
    });
    threads.emplace_back([&] {
        while (!stop) {
            camera_stream_stop();
            std::this_thread::sleep_for(std::chrono::milliseconds(11));
            camera_get_state();
        }
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    stop = true;
    for (std::thread &t : threads) t.join();
    camera_stream_stop();
    EXPECT_TRUE(camclient_notices().empty());
}

}  // namespace
