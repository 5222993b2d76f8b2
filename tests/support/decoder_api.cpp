#include "support/decoder_api.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace testkit {

namespace {
constexpr uint32_t kDataMatrixSquareOnlyId = 0x20405;
constexpr uint64_t kDataMatrixSquareOnlyClear = 0x10000;
}  // namespace

const std::vector<uint32_t> &SymbologyGroups() {
    static const std::vector<uint32_t> groups = [] {
        std::vector<uint32_t> g;
        // 0x11300 is not a group.
        for (uint32_t id = 0x10000; id <= 0x11D00; id += 0x100) {
            if (id != 0x11300) g.push_back(id);
        }
        for (uint32_t id = 0x20100; id <= 0x20900; id += 0x100) g.push_back(id);
        return g;
    }();
    return groups;
}

int EnableAllSymbologies(const DecoderApi &api) {
    int accepted = 0;
    for (uint32_t group : SymbologyGroups()) accepted += api.set(group, VEXO_ON) == 1 ? 1 : 0;
    // Data Matrix rectangles too: the decoder's default reads squares only.
    api.set(kDataMatrixSquareOnlyId, kDataMatrixSquareOnlyClear);
    return accepted;
}

DecodeResult RunFrame(const DecoderApi &api, const uint8_t *pixels, int width, int height, bool enableAll) {
    DecodeResult r;
    if (enableAll) EnableAllSymbologies(api);
    const bool prefixed = api.set(VEXO_ID_AIM_PREFIX, VEXO_ON) == 1;
    api.set(VEXO_ID_IMAGE_WIDTH, static_cast<uint64_t>(static_cast<uint32_t>(width)));
    api.set(VEXO_ID_IMAGE_HEIGHT, static_cast<uint64_t>(static_cast<uint32_t>(height)));
    api.set(VEXO_ID_IMAGE_PIXELS, reinterpret_cast<uintptr_t>(pixels));
    const auto start = std::chrono::steady_clock::now();
    const int decoded = api.decode();
    r.decodeMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    if (decoded != 1) return r;
    r.decoded = true;
    uint32_t codeId = 0;
    if (api.get(VEXO_ID_RESULT_CODE_ID, &codeId) == 1) r.codeId = codeId;
    std::vector<char> buffer(kMaxResultText);
    TEXT_DESC desc{sizeof(TEXT_DESC), kMaxResultText, 0, 0, buffer.data()};
    if (api.get(VEXO_ID_RESULT_TEXT, &desc) == 1) {
        std::string text(buffer.data(), std::min<uint32_t>(desc.length, kMaxResultText));
        if (prefixed && text.size() >= 3) {
            r.aim = text.substr(0, 3);
            text.erase(0, 3);
        }
        r.text = std::move(text);
    }
    return r;
}

std::string_view CodeTypeName(uint32_t codeId) {
    struct Name {
        uint32_t id;
        const char *name;
    };
    // The code ids the decoder reports, by the symbology it read.
    static constexpr Name kNames[] = {
        {0, "Fixed 8-digit code"}, {1, "Code 128"}, {2, "Code 128"}, {3, "GS1-128"}, {7, "EAN-8"},
        {8, "EAN-13"}, {9, "UPC-E"}, {10, "UPC-A"}, {11, "ISBN"}, {13, "Code 39"}, {14, "Code 93"},
        {16, "Codabar"}, {17, "Interleaved 2 of 5"}, {18, "ITF-6"}, {19, "ITF-14"}, {23, "IATA 2 of 5"},
        {24, "Matrix 2 of 5"}, {25, "Industrial 2 of 5"}, {27, "Code 11"}, {28, "MSI"}, {29, "Plessey"},
        {43, "GS1 DataBar"}, {270, "GS1 Composite"},
        {0x100, "PDF417"}, {0x101, "MicroPDF417"}, {0x102, "QR Code"}, {0x103, "Micro QR"}, {0x104, "Aztec"},
        {0x105, "Data Matrix"}, {0x106, "MaxiCode"}, {0x107, "Han Xin Code"}, {0x300, "OCR/postal"},
    };
    for (const Name &n : kNames) {
        if (n.id == codeId) return n.name;
    }
    return "Unknown";
}

std::string CodeTypeLabel(uint32_t codeId) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%X", codeId);
    return std::string(CodeTypeName(codeId)) + " (" + hex + ")";
}

std::string EscapeBytes(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (char ch : bytes) {
        const auto b = static_cast<uint8_t>(ch);
        if (b == '\\') {
            out += "\\\\";
        } else if (b >= 0x20 && b < 0x7F) {
            out += static_cast<char>(b);
        } else {
            char esc[5];
            std::snprintf(esc, sizeof esc, "\\x%02X", b);
            out += esc;
        }
    }
    return out;
}

}  // namespace testkit
