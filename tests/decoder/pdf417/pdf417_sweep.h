// The frames of the PDF417 frame sweep: module size, quarter turns with +-15 degrees, blur,
// noise and two frame widths, each with a symbol drawn from its seed. The read test and the
// benchmark share them.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "pdf417_data.h"
#include "support/testkit.h"

namespace pdf_sweep {

struct SweepShot {
    double module;
    double angle;
    double blur;
    double noise;
    int width;
    uint32_t seed;
};

struct SweepSymbol {
    testkit::Symbol symbol;
    std::string expected;
    std::string what;
};

// A symbol for the seed: data kind (text, bytes, digits, mixed, ECI, Macro), level 0-8 and a
// column count that keep the turned symbol inside the frame.
inline SweepSymbol MakeSweepSymbol(const SweepShot &shot) {
    std::mt19937 rng(shot.seed);
    const int kind = static_cast<int>(rng() % 6);
    int level = static_cast<int>(rng() % 9);
    const double rad = shot.angle * 3.14159265358979323846 / 180.0;
    const double room = std::min(shot.width / std::max(std::abs(std::cos(rad)), 0.3), 480.0 / std::max(std::abs(std::sin(rad)), 0.3));
    const int maxColumns = std::clamp(static_cast<int>((room * 0.8 / shot.module - 69) / 17), 1, 30);
    const int columns = 2 + static_cast<int>(rng() % static_cast<uint32_t>(std::max(1, maxColumns - 1)));
    int length = 8 + static_cast<int>(rng() % 50);
    SweepSymbol m;
    int usedLevel = level;
    for (int attempt = 0; attempt < 6; ++attempt, length = std::max(1, length * 2 / 3)) {
        std::mt19937 data(shot.seed * 7 + static_cast<uint32_t>(attempt));
        testkit::SymbolInput in;
        in.symbology = BARCODE_PDF417;
        in.option1 = usedLevel = level;
        in.option2 = std::min(columns, maxColumns);
        in.data = pdf_test::RandomData(data, kind < 4 ? kind : 0, length);
        m.expected = in.data;
        if (kind == 4) {
            in.data = "Gr\xC3\xBC\xC3\x9F" "e " + in.data.substr(0, 10);
            in.eci = 26;
            m.expected = "\\000026" + in.data;
        } else if (kind == 5) {
            in.structAppIndex = 2;
            in.structAppCount = 3;
            in.structAppId = "123456789";
        }
        m.symbol = testkit::Encode(in);
        const double w = m.symbol.width * shot.module;
        const double h = m.symbol.height * shot.module;
        const double bw = std::abs(w * std::cos(rad)) + std::abs(h * std::sin(rad));
        const double bh = std::abs(w * std::sin(rad)) + std::abs(h * std::cos(rad));
        if (m.symbol.ok && bw < shot.width - 30 && bh < 450) break;
        // High levels force many rows (and more columns than asked for): step down too, so
        // that the symbol stays inside the frame.
        level = std::max(0, level - 2);
    }
    const char *kinds[] = {"text", "bytes", "digits", "mixed", "eci", "macro"};
    m.what = std::string(kinds[kind]) + " level " + std::to_string(usedLevel) + " columns " +
             std::to_string((m.symbol.cols - 69) / 17) + " rows " + std::to_string(m.symbol.rows);
    return m;
}

inline testkit::Rendered RenderSweepShot(const SweepSymbol &m, const SweepShot &shot) {
    testkit::RenderOptions o;
    o.width = shot.width;
    o.height = 480;
    o.moduleSize = shot.module;
    o.angleDeg = shot.angle;
    o.blurSigma = shot.blur;
    o.noiseSigma = shot.noise;
    o.seed = shot.seed;
    return testkit::Render(m.symbol, o);
}

inline std::string DescribeSweepShot(const SweepShot &s) {
    char b[96];
    std::snprintf(b, sizeof b, "module %g angle %g blur %g noise %g %dx480 seed %u", s.module, s.angle, s.blur, s.noise,
                  s.width, s.seed);
    return b;
}

// The sweep's rows: module size x base angle x turn x (blur, noise) x frame width, perRow
// frames each, seeds counting up from seed + 1.
inline std::vector<SweepShot> SweepShots(int perRow, uint32_t seed) {
    std::vector<SweepShot> shots;
    for (double module : {2.0, 3.0, 4.0}) {
        for (double base : {0.0, 90.0, 180.0, 270.0}) {
            for (double turn : {0.0, 15.0, -15.0}) {
                for (int look = 0; look < 4; ++look) {
                    for (int width : {752, 640}) {
                        for (int k = 0; k < perRow; ++k) {
                            shots.push_back({module, base + turn, (look & 1) != 0 ? 1.0 : 0.0, (look & 2) != 0 ? 8.0 : 0.0,
                                             width, ++seed});
                        }
                    }
                }
            }
        }
    }
    return shots;
}

}  // namespace pdf_sweep
