// Scripted stand-ins for the symbology decoders behind the module records. A fake keeps
// the record's core-side slots (reported-result words, status words) and replaces what a
// decoder would answer: decode, result text, outline, identifier, structured append.
#pragma once

#include <cstring>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "core/adapters_records.h"
#include "core/modules.h"
#include "core/params.h"
#include "core/state.h"
#include "core/test_hooks.h"

namespace vexo_test {

// Every fake call in order, e.g. "decode:QR@32" (name and stage word).
inline std::vector<std::string> &CallLog() {
    static std::vector<std::string> log;
    return log;
}

inline bool LogHas(const std::string &entry) {
    for (const std::string &e : CallLog()) {
        if (e == entry) return true;
    }
    return false;
}

inline std::string LogText() {
    std::string s;
    for (const std::string &e : CallLog()) s += e + " ";
    return s;
}

// One symbol a fake 2D decoder reports per decode call.
struct FakeSymbol {
    std::string text;
    vexo::REGION_QUAD outline{};
    bool append = false;  // part of a structured-append set
    int appendIndex = 0;
    int appendCount = 0;
};

struct FakeScript {
    std::string name = "fake";
    std::deque<int> answers;  // decode answers, one per call; then `otherwise`
    int otherwise = 0;
    int success = 1;                         // the answer that means "decoded"
    std::vector<FakeSymbol> symbols;         // stored results of a decoded 2D call (at most 2)
    std::string text;                        // stacked: text after a success
    bool nullData = false;                   // stacked: claims success but has no text
    int lengthOverride = -1;                 // stacked: length reported instead of the text's
    char aim[3] = {']', 'Q', '1'};
    vexo::MODULE_HEADER header{vexo::kKindMatrix, vexo::kNumberQr, vexo::kCharQr};
    vexo::u32 bit = 0x2;
    // Filled by the fake.
    bool decoded = false;  // since the last per-image reset
    int calls = 0;
    std::function<void()> onDecode;  // runs before the answer is given
    std::function<void()> onReset;   // runs in the per-image reset
};

// Fake number N: all slots are static functions over one script.
template <int N>
struct Fake {
    static FakeScript &S() {
        static FakeScript s;
        return s;
    }
    static void Reset() { S() = FakeScript{}; }

    static void ResetForImage() {
        CallLog().push_back("reset:" + S().name);
        S().decoded = false;
        if (S().onReset) S().onReset();
    }
    static int Decode() {
        FakeScript &s = S();
        ++s.calls;
        CallLog().push_back("decode:" + s.name + "@" + std::to_string(vexo::g_state.stageWord));
        if (s.onDecode) s.onDecode();
        int a = s.otherwise;
        if (!s.answers.empty()) {
            a = s.answers.front();
            s.answers.pop_front();
        }
        s.decoded = a == s.success;
        if (s.decoded) StoreSymbols();
        return a;
    }
    // The decoder side of a 2D call: results into the shared store.
    static void StoreSymbols() {
        vexo::RESULT_STORE &st = vexo::g_params.resultStore;
        const FakeScript &s = S();
        st.storedCount = static_cast<vexo::i32>(s.symbols.size() < 2 ? s.symbols.size() : 2);
        for (int i = 0; i < st.storedCount; ++i) {
            const std::string &t = s.symbols[static_cast<size_t>(i)].text;
            vexo::u8 *dst = i == 0 ? st.storedData0 : st.storedData1;
            std::memcpy(dst, t.data(), t.size());
            st.storedLength[i] = static_cast<vexo::i32>(t.size());
            st.storedQuad[i] = s.symbols[static_cast<size_t>(i)].outline;
        }
    }
    static const FakeSymbol *Last() { return S().symbols.empty() ? nullptr : &S().symbols.back(); }
    // Stacked-module result slots.
    static const vexo::u8 *Data() {
        const FakeScript &s = S();
        if (!s.decoded || s.nullData) return nullptr;
        return reinterpret_cast<const vexo::u8 *>(s.text.c_str());
    }
    static int Length() {
        const FakeScript &s = S();
        if (!s.decoded) return 0;
        return s.lengthOverride >= 0 ? s.lengthOverride : static_cast<int>(s.text.size());
    }
    static void AimId(char *out) { std::memcpy(out, S().aim, 3); }
    static void Fill(vexo::MODULE_RESULT *out) {
        *out = vexo::MODULE_RESULT{S().header.kind, S().bit, Data(), static_cast<vexo::u32>(Length()), 0, 0, 0};
    }
    static int GetStatus() { return S().decoded ? 0 : -1; }
    // 2D decoder-side slots.
    static void Header(vexo::MODULE_HEADER *out) { *out = S().header; }
    static void Corners(vexo::REGION_QUAD *out) {
        if (const FakeSymbol *f = Last()) *out = f->outline;
    }
    static const vexo::u8 *RawData() {
        const FakeSymbol *f = Last();
        return f != nullptr && S().decoded ? reinterpret_cast<const vexo::u8 *>(f->text.c_str()) : nullptr;
    }
    static int RawLength() {
        const FakeSymbol *f = Last();
        return f != nullptr && S().decoded ? static_cast<int>(f->text.size()) : 0;
    }
    static int AppendPresent() { return Last() != nullptr && Last()->append ? 1 : 0; }
    static int AppendIndex() { return Last() != nullptr ? Last()->appendIndex : 0; }
    static int AppendCount() { return Last() != nullptr ? Last()->appendCount : 0; }
    static int FileIdLength() { return 1; }
    static int GetVersion(char *buf, int len) {
        const std::string line = S().name + ":v";
        const int n = static_cast<int>(line.size()) < len ? static_cast<int>(line.size()) : len;
        if (buf == nullptr || n <= 0) return 0;
        std::memcpy(buf, line.data(), static_cast<size_t>(n));
        return n;
    }
    static void SetLinkage(vexo::u32 flags) {
        CallLog().push_back("link:" + S().name + "=" + std::to_string(flags));
    }

    // A 2D matrix record: the record as loaded at that index with the decoder side faked.
    static vexo::SYM_MODULE Matrix(int index, const char *name) {
        Reset();
        S().name = name;
        vexo::SYM_MODULE r = vexo::kDefaultModules.matrix[index];
        // The module's own header and (empty) identifier until a test scripts others.
        if (r.getHeader != nullptr) r.getHeader(&S().header);
        if (r.writeAimId != nullptr) r.writeAimId(S().aim);
        r.resetForImage = ResetForImage;
        r.decode = Decode;
        r.getHeader = Header;
        r.getCorners = Corners;
        r.getRawData = RawData;
        r.getRawLength = RawLength;
        r.writeAimId = AimId;
        r.getAppendPresent = AppendPresent;
        r.getAppendIndex = AppendIndex;
        r.getAppendIndex2 = AppendIndex;
        r.getAppendCount = AppendCount;
        r.getFileIdLength = FileIdLength;
        vexo::Test_InstallMatrixModule(index, &r);
        return r;
    }
    // A stacked record (kind and id as given) whose slots are all fakes.
    static vexo::SYM_MODULE Stacked(int index, vexo::u32 kind, vexo::u32 id, const char *name) {
        Reset();
        S().name = name;
        S().header.kind = kind;
        vexo::SYM_MODULE r = vexo::kEmptyModule;
        r.kind = kind;
        r.moduleId = id;
        r.getVersion = GetVersion;
        r.resetForImage = ResetForImage;
        r.decode = Decode;
        r.getStatus = GetStatus;
        r.getData = Data;
        r.getLength = Length;
        r.fillResult = Fill;
        r.getAimId = AimId;
        r.setLinkage = SetLinkage;
        vexo::Test_InstallStackedModule(index, &r);
        return r;
    }
};

// A square outline with its top-left corner at (x, y).
inline vexo::REGION_QUAD Square(vexo::i32 x, vexo::i32 y, vexo::i32 side) {
    return vexo::REGION_QUAD{{{x, y}, {x + side, y}, {x, y + side}, {x + side, y + side}}};
}

}  // namespace vexo_test
