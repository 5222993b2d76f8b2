// The ring, fed by calling the frame callback directly through the stub camera library.
#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "camera_test.h"

namespace {

constexpr uint32_t kRingWidth = 64, kRingHeight = 48;
constexpr uint64_t kFrame = uint64_t{kRingWidth} * kRingHeight;
constexpr uint64_t kSlot = (kFrame + 2) * 2;

enum class Op { kFrame, kGrab, kFree, kFreeAll };

// One step: kFrame delivers a frame of `value` bytes (expecting `result`); kGrab expects
// `result` and, on success, slot `slot` holding the frame of `value`.
struct Step {
    Op op;
    int value = 0;
    int result = 0;
    int slot = -1;
};

struct Script {
    const char *name;
    std::vector<Step> steps;
};

Step Frame(int v) { return {Op::kFrame, v, 0, -1}; }
Step Grab(int slot, int v) { return {Op::kGrab, v, 0, slot}; }
Step GrabNone() { return {Op::kGrab, 0, -1, -1}; }
Step Free() { return {Op::kFree}; }
Step FreeAll() { return {Op::kFreeAll}; }

// Slots are told apart by their buffers: slot 0 is the one frames land in first.
const std::vector<Script> kScripts = {
    {"no reader: every frame in slot 0, a grab returns it", {Frame(1), Frame(2), Frame(3), Grab(0, 3)}},
    {"slot 0 grabbed: frames go to slot 1, a second grab returns it; all grabbed drops frames",
     {Frame(1), Grab(0, 1), Frame(2), Frame(3), Grab(1, 3), Frame(4), Grab(2, 4), Frame(5), Grab(2, 4)}},
    {"slot 0 given back and filled again: a grab returns it, the newest",
     {Frame(1), Grab(0, 1), Frame(2), Free(), Frame(3), Grab(0, 3)}},
    {"after free-all nothing until the next frame", {Frame(1), Grab(0, 1), FreeAll(), GrabNone(), Frame(2), Grab(0, 2)}},
};

class RingTest : public CameraTest {
  protected:
    void SetUp() override {
        CameraTest::SetUp();
        install_stub();
        handle_ = cam_init(0, 0, 3, kRingWidth, kRingHeight, nullptr, nullptr);
        ASSERT_EQ(handle_, kStubHandle);
        ASSERT_NE(stub(), nullptr);
        ASSERT_NE(stub()->frame, nullptr);
    }

    int deliver(int value, uint64_t length = kFrame) {
        std::vector<uint8_t> frame(length, static_cast<uint8_t>(value));
        return stub()->frame(0, frame.data(), length);
    }

    // The slot number of a buffer, learnt in the order of first sight.
    int slot_of(uint8_t *buffer, int expected) {
        auto it = slots_.find(buffer);
        if (it != slots_.end()) return it->second;
        slots_[buffer] = expected;
        return expected;
    }

    std::map<uint8_t *, int> slots_;
};

TEST_F(RingTest, ScriptsOfFramesGrabsAndGivingBack) {
    for (const Script &script : kScripts) {
        SCOPED_TRACE(script.name);
        ASSERT_EQ(cam_rawframe_grab_free_all(handle_), 0);
        for (size_t i = 0; i < script.steps.size(); ++i) {
            SCOPED_TRACE("step " + std::to_string(i));
            const Step &s = script.steps[i];
            switch (s.op) {
                case Op::kFrame: EXPECT_EQ(deliver(s.value), s.result); break;
                case Op::kFree: EXPECT_EQ(cam_rawframe_grab_free(handle_), 0); break;
                case Op::kFreeAll: EXPECT_EQ(cam_rawframe_grab_free_all(handle_), 0); break;
                case Op::kGrab: {
                    uint8_t *buffer = nullptr;
                    int32_t length = 0;
                    ASSERT_EQ(cam_rawframe_grab(handle_, &buffer, &length), s.result);
                    if (s.result != 0) break;
                    EXPECT_EQ(slot_of(buffer, s.slot), s.slot);
                    ASSERT_EQ(length, static_cast<int32_t>(kFrame));
                    EXPECT_EQ(std::count(buffer, buffer + length, static_cast<uint8_t>(s.value)), length);
                    break;
                }
            }
        }
    }
    EXPECT_EQ(slots_.size(), 3u);
}

// Null data, length 0 and a frame one byte longer than a slot are refused; a frame of
// exactly a slot is stored whole. Under ASan a copy past the slot would be caught.
TEST_F(RingTest, RefusedFramesAndTheSlotBoundary) {
    EXPECT_EQ(stub()->frame(0, nullptr, kFrame), -1);
    std::vector<uint8_t> frame(kSlot + 1, 9);
    EXPECT_EQ(stub()->frame(0, frame.data(), 0), -1);
    EXPECT_EQ(stub()->frame(0, frame.data(), kSlot + 1), -1);
    EXPECT_TRUE(logged("cam_frame_proc frame dropped: length [" + std::to_string(kSlot + 1) + "] slot [" +
                       std::to_string(kSlot) + "]"));
    uint8_t *buffer = nullptr;
    int32_t length = 0;
    EXPECT_EQ(cam_rawframe_grab(handle_, &buffer, &length), -1);
    EXPECT_EQ(cam_rawframe_grab(handle_, nullptr, &length), -1);

    EXPECT_EQ(stub()->frame(0, frame.data(), kSlot), 0);
    ASSERT_EQ(cam_rawframe_grab(handle_, &buffer, &length), 0);
    EXPECT_EQ(length, static_cast<int32_t>(kSlot));
    EXPECT_EQ(std::count(buffer, buffer + length, 9), length);
}

}  // namespace
