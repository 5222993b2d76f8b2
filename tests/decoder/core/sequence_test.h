// Shared pieces of the decode-sequence tests: frames drawn for the region finders and a
// full set of scripted modules.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "decoder_test.h"
#include "fake_modules.h"

namespace vexo_test {

enum class Content { kFlat, kNoise, kBars, kRows, kSquares };

inline const char *ContentName(Content c) {
    switch (c) {
        case Content::kFlat: return "flat";
        case Content::kNoise: return "noise";
        case Content::kBars: return "bars";
        case Content::kRows: return "rows";
        case Content::kSquares: return "squares";
    }
    return "?";
}

// A frame of the given content: flat grey, uniform noise, vertical bars of a linear code
// in the middle, or a checkered square with three nested finder-like squares.
inline std::vector<uint8_t> DrawFrame(int w, int h, Content c, uint32_t seed) {
    std::vector<uint8_t> f(static_cast<size_t>(w) * h, 200);
    auto at = [&](int x, int y) -> uint8_t & { return f[static_cast<size_t>(y) * w + x]; };
    switch (c) {
        case Content::kFlat: break;
        case Content::kNoise:
            for (uint8_t &p : f) {
                seed = seed * 1664525u + 1013904223u;
                p = static_cast<uint8_t>(seed >> 24);
            }
            break;
        case Content::kBars: {
            // Twenty bars 3 pixels wide, 7 apart, in the central third of the frame.
            const int x0 = 2 * w / 5, y0 = 5 * h / 12, y1 = 7 * h / 12;
            for (int k = 0; k < 20; ++k) {
                for (int x = x0 + 7 * k; x < x0 + 7 * k + 3 && x < w; ++x) {
                    for (int y = y0; y < y1; ++y) at(x, y) = 40;
                }
            }
            break;
        }
        case Content::kRows: {
            // The same bars turned a quarter: horizontal, in the central third.
            const int y0 = h / 3 + h / 48, x0 = 5 * w / 12, x1 = 7 * w / 12;
            for (int k = 0; k < 20; ++k) {
                for (int y = y0 + 7 * k; y < y0 + 7 * k + 3 && y < h; ++y) {
                    for (int x = x0; x < x1; ++x) at(x, y) = 40;
                }
            }
            break;
        }
        case Content::kSquares: {
            const int side = (w < h ? w : h) / 2;
            const int x0 = (w - side) / 2, y0 = (h - side) / 2;
            const int cell = side / 21 > 0 ? side / 21 : 1;
            for (int y = y0; y < y0 + side; ++y) {
                for (int x = x0; x < x0 + side; ++x) {
                    seed = seed * 1664525u + 1013904223u;
                    const int cx = (x - x0) / cell, cy = (y - y0) / cell;
                    bool dark = (seed >> 31) != 0;
                    // 7 x 7 finder-like squares in three corners.
                    for (auto [fx, fy] : {std::pair{0, 0}, std::pair{14, 0}, std::pair{0, 14}}) {
                        const int dx = cx - fx, dy = cy - fy;
                        if (dx < 0 || dy < 0 || dx > 6 || dy > 6) continue;
                        const int ring = std::min(std::min(dx, dy), std::min(6 - dx, 6 - dy));
                        dark = ring != 1;
                    }
                    at(x, y) = dark ? 25 : 225;
                }
            }
            break;
        }
    }
    return f;
}

inline void InstallFrame(const std::vector<uint8_t> &f, int w, int h) {
    ZPT_SE_VexoDec_Set(VEXO_ID_IMAGE_WIDTH, static_cast<uint32_t>(w));
    ZPT_SE_VexoDec_Set(VEXO_ID_IMAGE_HEIGHT, static_cast<uint32_t>(h));
    ZPT_SE_VexoDec_Set(VEXO_ID_IMAGE_PIXELS, reinterpret_cast<uintptr_t>(f.data()));
}

// Every record of both arrays replaced by a scripted one (the empty records stay empty),
// and the two extension records filled, all answering "nothing" until scripted.
struct FakeSet {
    static const char *Name(int i) {
        static const char *names[] = {"QR", "DM", "AZ", "MX", "HX", "MP", "PDF", "C1D", "EXT", "OCR"};
        return names[i];
    }
    static void Install() {
        Fake<0>::Matrix(0, "QR");
        Fake<1>::Matrix(1, "DM");
        Fake<2>::Matrix(2, "AZ");
        Fake<3>::Matrix(3, "MX");
        Fake<4>::Matrix(4, "HX");
        Fake<5>::Matrix(5, "MP");
        Fake<6>::Stacked(0, vexo::kKindMatrix, vexo::kModulePdf417, "PDF");
        Fake<6>::S().header.kind = vexo::kKindMatrix;
        Fake<6>::S().bit = 0x1;
        Fake<6>::S().aim[1] = 'L';
        Fake<7>::Stacked(1, vexo::kKindLinear, vexo::kModuleComposite1D, "C1D");
        Fake<7>::S().bit = 0x4;  // Code 128
        Fake<7>::S().aim[1] = 'C';
        Fake<8>::Reset();
        Fake<8>::S().name = "EXT";
        Fake<9>::Reset();
        Fake<9>::S().name = "OCR";
        vexo::EXT_MODULE ext = vexo::kEmptyExtModule;
        ext.kind = vexo::kKindMatrix;
        ext.decode = [](void *) { return Fake<8>::Decode(); };
        ext.getData = [](void *) { return Fake<8>::Data(); };
        ext.getLength = Fake<8>::Length;
        ext.fillResult = Fake<8>::Fill;
        vexo::Test_InstallExternalModule(&ext);
        vexo::SYM_MODULE ocr = vexo::kEmptyModule;
        ocr.kind = vexo::kKindMatrix;
        ocr.decode = Fake<9>::Decode;
        ocr.getData = Fake<9>::Data;
        ocr.getLength = Fake<9>::Length;
        ocr.fillResult = Fake<9>::Fill;
        ocr.getAimId = Fake<9>::AimId;
        vexo::Test_InstallOcrModule(&ocr);
        // Every 2D symbology reads single symbols, so a matrix result is taken at once.
        for (int w : {vexo::kSymQr, vexo::kSymDataMatrix, vexo::kSymAztec, vexo::kSymMaxiCode, vexo::kSymCsCode,
                      vexo::kSymMicroPdf417}) {
            vexo::g_params.flagsWord[w] = vexo::kFlagEnabled | 1;
        }
        for (vexo::u32 &l : vexo::g_params.lengthWord) l = 0xFFFF0000u;
    }
    static FakeScript &Script(int i) {
        switch (i) {
            case 0: return Fake<0>::S();
            case 1: return Fake<1>::S();
            case 2: return Fake<2>::S();
            case 3: return Fake<3>::S();
            case 4: return Fake<4>::S();
            case 5: return Fake<5>::S();
            case 6: return Fake<6>::S();
            case 7: return Fake<7>::S();
            case 8: return Fake<8>::S();
            default: return Fake<9>::S();
        }
    }
    static bool IsMatrix(int i) { return i < 6; }
    // Module i decodes `text` on every call from now on.
    static void Succeed(int i, const std::string &text) {
        FakeScript &s = Script(i);
        s.otherwise = s.success;
        if (IsMatrix(i)) {
            s.symbols = {FakeSymbol{text, Square(100, 100, 60)}};
        } else {
            s.text = text;
        }
    }
};

}  // namespace vexo_test
