// A model of the joined-symbol assembler's promises, driven by a byte stream: the property
// test feeds it seeded random bytes and the fuzz target feeds it its input.
//
// Every accepted part (answers 0-3) carries a text made of one byte, its own id, so a read
// splits back into parts. Promises checked after every call:
// - an accepted part is read once, whole, alone (a single symbol) or with parts of its own
//   set in index order from 0; or it is still held; or it went with Init, Reset or a change
//   of mode. A new set or single symbol is accepted only when nothing is held;
// - once every index of a set has been accepted, the next read delivers all that is held;
// - a refused part never appears;
// - a read with room for the ready text delivers exactly that many bytes, and nothing is
//   written past the pool or the read buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "core/join.h"

namespace vexo_test {

struct JoinModelBytes {
    const uint8_t *p;
    size_t n;
    uint8_t Next() {
        if (n == 0) return 0;
        --n;
        return *p++;
    }
};

struct JoinModelPart {
    int group;  // set group, or -1 for a symbol accepted on its own
    int16_t index;
    int32_t length;
    bool held;
};

class JoinModel {
public:
    // Runs the calls that data describes; false with the reason in *why on a broken promise.
    bool Run(const uint8_t *data, size_t size, std::string *why) {
        JoinModelBytes in{data, size};
        Init(in.Next());
        for (int step = 0; step < 400 && in.n > 0 && ok_; ++step) Step(in);
        if (!ok_ && why != nullptr) *why = why_;
        return ok_;
    }

    // Parts delivered, and reads that delivered more than one part, over the run.
    int delivered() const { return delivered_; }
    int joinedReads() const { return joinedReads_; }

private:
    static constexpr uint8_t kCanary = 0xCD;
    static constexpr size_t kCanaryBytes = 64;

    void Fail(const std::string &s) {
        if (ok_) why_ = s + " after:" + log_;
        ok_ = false;
    }
    // The last calls, for the failure message.
    void Log(const std::string &s) {
        log_ += " " + s;
        if (log_.size() > 600) log_.erase(0, log_.size() - 600);
    }

    void Init(uint8_t sel) {
        static constexpr int32_t kCapacities[] = {0, 1, 16, 100, 600, 3000, 10000};
        capacity_ = kCapacities[sel % 7];
        pool_.assign(static_cast<size_t>(capacity_) + kCanaryBytes, kCanary);
        vexo::Join_Init(capacity_ == 0 ? nullptr : pool_.data(), capacity_);
        vexo::Join_SetMode(vexo::kJoinModeSingle + (sel / 7u) % 3u);
        Log("init " + std::to_string(capacity_) + " mode " + std::to_string(vexo::Join_GetMode() - 0x10010));
        DropHeld();
    }

    void DropHeld() {
        for (JoinModelPart &p : parts_) p.held = false;
        group_ = -1;
    }

    bool AnyHeld() const {
        for (const JoinModelPart &p : parts_)
            if (p.held) return true;
        return false;
    }

    void Step(JoinModelBytes &in) {
        const uint8_t op = in.Next() % 16;
        if (op == 0) {
            if (in.Next() % 4 == 0) Init(in.Next());
        } else if (op == 1) {
            static constexpr uint32_t kModes[] = {vexo::kJoinModeSingle, vexo::kJoinModeInOrder,
                                                  vexo::kJoinModeWholeSet, 0x10014, 0};
            const uint32_t before = vexo::Join_GetMode();
            vexo::Join_SetMode(kModes[in.Next() % 5]);
            Log("mode " + std::to_string(vexo::Join_GetMode() - 0x10010));
            if (vexo::Join_GetMode() != before) DropHeld();
        } else if (op == 2) {
            vexo::Join_Reset();
            Log("reset");
            DropHeld();
        } else if (op <= 4) {
            Read(in.Next() % 8);
        } else {
            Add(in);
        }
        CheckPoolCanary();
    }

    void CheckPoolCanary() {
        for (size_t i = static_cast<size_t>(capacity_); i < pool_.size(); ++i)
            if (pool_[i] != kCanary) return Fail("written past the pool");
    }

    void Add(JoinModelBytes &in) {
        if (parts_.size() >= 250) return;  // ids are bytes
        const uint8_t id = static_cast<uint8_t>(parts_.size() + 1);
        vexo::JOIN_PART part{};
        // Mostly parts of one three-part set, so that sets complete; the rest tries every refusal.
        part.setId = in.Next() % 4 == 0 ? 2u : 1u;
        static constexpr int32_t kFileIdLengths[] = {1, 1, 1, 1, 1, 1, 1, 2, 40, 0, -1};
        part.fileIdLength = kFileIdLengths[in.Next() % 11];
        for (uint32_t &w : part.fileId) w = 5;
        if (in.Next() % 16 == 0) part.fileId[in.Next() % 3] = 9;
        static constexpr int16_t kCounts[] = {3, 3, 3, 3, 3, 1, 20, 0, -1};
        part.count = kCounts[in.Next() % 9];
        static constexpr int16_t kIndexes[] = {0, 1, 2, 0, 1, 2, -1, 3};
        part.index = part.count == 20 ? static_cast<int16_t>(in.Next() % 22 - 1) : kIndexes[in.Next() % 8];
        const uint8_t lsel = in.Next() % 16;
        if (lsel == 0) part.length = -static_cast<int32_t>(in.Next() % 3);
        else if (lsel == 1) part.length = capacity_ + 1;
        else if (lsel == 2) part.length = 1 + in.Next() * 40;
        else part.length = 1 + in.Next() % 48;
        std::memcpy(part.aimId, "]Q1", 3);
        std::vector<uint8_t> text(part.length > 0 ? static_cast<size_t>(part.length) : 1, id);
        part.text = in.Next() % 32 == 0 ? nullptr : text.data();
        const int32_t r = vexo::Join_AddPart(&part);
        Log("add(set " + std::to_string(part.setId) + " file " + std::to_string(part.fileIdLength) + " " +
            std::to_string(part.index) + "/" + std::to_string(part.count) + " len " + std::to_string(part.length) +
            ")=" + std::to_string(r));
        parts_.push_back(JoinModelPart{-1, part.index, part.length, false});
        if (r < 0 || r > 3) return;
        if (r <= 1 && AnyHeld()) return Fail("a new set or single accepted while parts were held");
        if (r == 0 && vexo::Join_GetReadyLength() != part.length) return Fail("a single symbol not ready");
        const bool groupOver = group_ < 0 || groups_[static_cast<size_t>(group_)].nextDelivered >=
                                                  groups_[static_cast<size_t>(group_)].count;
        if (r == 1 || (r == 3 && groupOver)) {
            group_ = static_cast<int>(groups_.size());
            groups_.push_back(Group{part.count, 0, std::vector<bool>(static_cast<size_t>(part.count), false)});
        }
        if (r >= 1) {
            if (group_ < 0) return Fail("a set part accepted with no set open");
            Group &g = groups_[static_cast<size_t>(group_)];
            if (part.index < 0 || part.index >= g.count) return Fail("accepted an index outside the set");
            g.accepted[static_cast<size_t>(part.index)] = true;
            parts_.back().group = group_;
        }
        parts_.back().held = true;
    }

    bool SetFullyAccepted() const {
        if (group_ < 0) return false;
        for (bool a : groups_[static_cast<size_t>(group_)].accepted)
            if (!a) return false;
        return true;
    }

    void Read(uint8_t extra) {
        const int32_t ready = vexo::Join_GetReadyLength();
        const bool wholeSetIn = SetFullyAccepted() && AnyHeld();
        if (wholeSetIn && ready <= 0) return Fail("a set with every part accepted is not ready");
        const int32_t cap = (ready > 0 ? ready : 4) + extra;
        std::vector<uint8_t> buf(static_cast<size_t>(cap) + kCanaryBytes, kCanary);
        const int32_t got = vexo::Join_Read(buf.data(), cap);
        Log("read(" + std::to_string(cap) + ")=" + std::to_string(got));
        for (size_t i = static_cast<size_t>(cap); i < buf.size(); ++i)
            if (buf[i] != kCanary) return Fail("written past the read buffer");
        if (ready <= 0) {
            if (got != 0) Fail("read delivered with nothing ready");
            return;
        }
        if (got != ready) return Fail("read with room delivered " + std::to_string(got) + " of " + std::to_string(ready));
        int32_t at = 0;
        int runGroup = -2;
        int runs = 0;
        while (at < got) {
            const uint8_t id = buf[static_cast<size_t>(at)];
            if (id == 0 || id > parts_.size()) return Fail("read delivered unknown bytes");
            JoinModelPart &p = parts_[id - 1u];
            if (!p.held) return Fail("read delivered a part not held (refused, dropped or read before)");
            for (int32_t k = 0; k < p.length; ++k)
                if (at + k >= got || buf[static_cast<size_t>(at + k)] != id) return Fail("a part delivered cut");
            at += p.length;
            p.held = false;
            ++delivered_;
            ++runs;
            if (p.group < 0) {
                if (runs != 1 || at != got) return Fail("a single symbol delivered with others");
                continue;
            }
            if (runGroup != -2 && runGroup != p.group) return Fail("parts of two sets in one read");
            runGroup = p.group;
            Group &g = groups_[static_cast<size_t>(p.group)];
            if (p.index != g.nextDelivered) return Fail("a set part delivered out of index order");
            g.nextDelivered = static_cast<int16_t>(g.nextDelivered + 1);
        }
        if (runs > 1) ++joinedReads_;
        if (wholeSetIn && AnyHeld()) Fail("a fully accepted set not delivered whole");
    }

    struct Group {
        int16_t count;
        int16_t nextDelivered;
        std::vector<bool> accepted;
    };

    std::vector<uint8_t> pool_;
    int32_t capacity_ = 0;
    std::vector<JoinModelPart> parts_;
    std::vector<Group> groups_;
    int group_ = -1;
    bool ok_ = true;
    std::string why_;
    std::string log_;
    int delivered_ = 0;
    int joinedReads_ = 0;
};

}  // namespace vexo_test
