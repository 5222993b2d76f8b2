#include "support/pdf417_patterns.h"

#include <map>
#include <random>
#include <vector>

#include "pdf417/mpdf_variants.h"
#include "support/symbol.h"

namespace testkit {
namespace {

constexpr int kPrime = 929;

// Check words of ISO/IEC 15438: the remainder of data(x) x^k by prod (x - 3^i), i = 1..k,
// negated, highest degree first.
std::vector<int> CheckWords(const std::vector<int> &data, int k) {
    std::vector<int> g(static_cast<size_t>(k) + 1, 0);  // g[i]: coefficient of x^i
    g[0] = 1;
    int root = 1;
    for (int i = 1; i <= k; ++i) {
        root = root * 3 % kPrime;
        for (int j = i; j >= 0; --j) {
            const int lower = j > 0 ? g[static_cast<size_t>(j) - 1] : 0;
            g[static_cast<size_t>(j)] = (lower + kPrime - g[static_cast<size_t>(j)] * root % kPrime) % kPrime;
        }
    }
    std::vector<int> rem(static_cast<size_t>(k), 0);  // rem[0] highest degree
    for (int d : data) {
        const int t = (d + rem[0]) % kPrime;
        for (int j = 0; j < k; ++j) {
            const int next = j + 1 < k ? rem[static_cast<size_t>(j) + 1] : 0;
            rem[static_cast<size_t>(j)] = (next + kPrime - t * g[static_cast<size_t>(k - 1 - j)] % kPrime) % kPrime;
        }
    }
    for (int &r : rem) r = (kPrime - r) % kPrime;
    return rem;
}

// Numeric compaction: groups of 44 digits behind a leading 1, as base-900 numbers.
std::vector<int> NumericWords(const std::string &digits) {
    std::vector<int> out;
    for (size_t at = 0; at < digits.size(); at += 44) {
        std::string number(1, '1');
        number.append(digits, at, 44);
        std::vector<int> group;
        while (!(number.size() == 1 && number[0] == '0')) {
            std::string quotient;
            int rest = 0;
            for (char c : number) {
                rest = rest * 10 + (c - '0');
                if (!quotient.empty() || rest / 900 != 0) quotient.push_back(static_cast<char>('0' + rest / 900));
                rest %= 900;
            }
            group.insert(group.begin(), rest);
            number = quotient.empty() ? "0" : quotient;
        }
        out.insert(out.end(), group.begin(), group.end());
    }
    return out;
}

class Collector {
public:
    Collector(Pdf417Patterns *out, std::string *error) : out_(out), error_(error) {}

    bool Codeword(int cluster, int value, const uint8_t w[8]) {
        uint8_t sum = 0;
        for (int i = 0; i < 8; ++i) {
            if (w[i] < 1 || w[i] > 6) return Fail("element outside 1-6", cluster, value);
            sum = static_cast<uint8_t>(sum + w[i]);
        }
        if (sum != 17) return Fail("pattern not 17 modules", cluster, value);
        if ((w[0] - w[2] + w[4] - w[6] + 9) % 9 != cluster) return Fail("pattern of another cluster", cluster, value);
        return Record(cluster / 3, value, std::vector<uint8_t>(w, w + 8), seenCodewords_);
    }

    bool Rap(int set, int number, const uint8_t w[6]) {
        int sum = 0;
        for (int i = 0; i < 6; ++i) sum += w[i];
        if (sum != 10) return Fail("RAP not 10 modules", set, number);
        return Record(set + 3, number - 1, std::vector<uint8_t>(w, w + 6), seenRaps_);
    }

    bool Complete() {
        if (seenCodewords_.size() != 3 * 929) return Fail("codewords unseen", static_cast<int>(seenCodewords_.size()), 0);
        if (seenRaps_.size() != 104) return Fail("RAPs unseen", static_cast<int>(seenRaps_.size()), 0);
        for (const auto &[key, pattern] : seenCodewords_) {
            std::copy(pattern.begin(), pattern.end(), out_->codewords[static_cast<size_t>(key.first)][static_cast<size_t>(key.second)].begin());
        }
        for (const auto &[key, pattern] : seenRaps_) {
            std::copy(pattern.begin(), pattern.end(), out_->raps[static_cast<size_t>(key.first - 3)][static_cast<size_t>(key.second)].begin());
        }
        return true;
    }

    bool Fail(const char *what, int a, int b) {
        *error_ = std::string(what) + " (" + std::to_string(a) + ", " + std::to_string(b) + ")";
        return false;
    }

private:
    using Key = std::pair<int, int>;
    bool Record(int table, int value, const std::vector<uint8_t> &pattern, std::map<Key, std::vector<uint8_t>> &seen) {
        const Key key{table, value};
        auto it = seen.find(key);
        if (it != seen.end()) return it->second == pattern || Fail("value seen with two patterns", table, value);
        const auto owner = owners_.find({table < 3 ? 0 : 1, pattern});
        if (owner != owners_.end() && owner->second != key) return Fail("pattern with two values", table, value);
        owners_[{table < 3 ? 0 : 1, pattern}] = key;
        seen[key] = pattern;
        return true;
    }

    Pdf417Patterns *out_;
    std::string *error_;
    std::map<Key, std::vector<uint8_t>> seenCodewords_, seenRaps_;
    std::map<std::pair<int, std::vector<uint8_t>>, Key> owners_;
};

// Run lengths of `count` elements starting at module col of row r (starting dark).
bool Widths(const Symbol &s, int r, int col, int count, uint8_t *w) {
    int at = col;
    for (int e = 0; e < count; ++e) {
        const bool dark = (e % 2) == 0;
        int n = 0;
        while (at < s.cols && s.Dark(r, at) == dark && n < 10) {
            ++n;
            ++at;
        }
        w[e] = static_cast<uint8_t>(n);
    }
    return true;
}

bool CollectPdf417(std::mt19937 &rng, int symbols, Collector &c) {
    for (int n = 0; n < symbols; ++n) {
        const int digits = 13 + static_cast<int>(rng() % 400);
        std::string data;
        for (int i = 0; i < digits; ++i) data.push_back(static_cast<char>('0' + rng() % 10));
        SymbolInput in;
        in.symbology = BARCODE_PDF417;
        in.data = data;
        in.option1 = static_cast<int>(rng() % 9);
        in.option2 = 1 + static_cast<int>(rng() % 30);
        const Symbol s = Encode(in);
        if (!s.ok) continue;  // too large for the columns asked
        const int columns = (s.cols - 69) / 17;
        const int k = 2 << in.option1;
        const int capacity = s.rows * columns;
        std::vector<int> words = NumericWords(data);
        words.insert(words.begin(), 902);
        const int dataCount = capacity - k;
        if (static_cast<int>(words.size()) + 1 > dataCount) return c.Fail("symbol smaller than its data", n, capacity);
        words.insert(words.begin(), dataCount);
        words.resize(static_cast<size_t>(dataCount), 900);
        const std::vector<int> check = CheckWords(words, k);
        words.insert(words.end(), check.begin(), check.end());
        for (int r = 0; r < s.rows; ++r) {
            for (int j = 0; j < columns; ++j) {
                uint8_t w[8];
                Widths(s, r, 34 + 17 * j, 8, w);
                if (!c.Codeword(3 * (r % 3), words[static_cast<size_t>(r * columns + j)], w)) return false;
            }
        }
    }
    return true;
}

// Module offsets of the RAP columns in a MicroPDF417 row: left, centre (-1 without), right.
void RapColumns(int columns, int at[3]) {
    at[0] = 0;
    at[1] = columns == 3 ? 27 : columns == 4 ? 44 : -1;
    at[2] = 10 + 17 * columns + (columns >= 3 ? 10 : 0);
}

bool CollectMicro(Collector &c) {
    bool seen[vexo::kMpdfVariantCount] = {};
    for (int columns = 1; columns <= 4; ++columns) {
        for (int length = 1; length <= 400; ++length) {
            SymbolInput in;
            in.symbology = BARCODE_MICROPDF417;
            in.data = std::string(static_cast<size_t>(length), '7');
            in.option2 = columns;
            const Symbol s = Encode(in);
            if (!s.ok) break;
            // libzint widens a symbol whose data does not fit the columns asked.
            if (s.cols != 38 + 17 * (columns - 1) + (columns >= 3 ? 10 : 0)) break;
            int variant = -1;
            for (int v = 0; v < vexo::kMpdfVariantCount; ++v) {
                const auto &e = vexo::MPDF_VARIANT_TABLE[v];
                if (e[0] == columns && e[1] == s.rows) variant = v;
            }
            if (variant < 0) return c.Fail("MicroPDF417 size not in the variant table", columns, s.rows);
            seen[variant] = true;
            const auto &e = vexo::MPDF_VARIANT_TABLE[variant];
            int at[3];
            RapColumns(columns, at);
            for (int r = 0; r < s.rows; ++r) {
                for (int side = 0; side < 3; ++side) {
                    if (at[side] < 0) continue;
                    const int start = e[side == 0 ? 2 : side == 1 ? 3 : 4];
                    const int number = (start - 1 + r) % 52 + 1;
                    uint8_t w[6];
                    Widths(s, r, at[side], 6, w);
                    if (!c.Rap(side == 1 ? 1 : 0, number, w)) return false;
                }
            }
        }
    }
    for (int v = 0; v < vexo::kMpdfVariantCount; ++v) {
        if (!seen[v]) return c.Fail("MicroPDF417 variant not made", v, 0);
    }
    return true;
}

}  // namespace

bool DerivePdf417Patterns(uint32_t seed, Pdf417Patterns *out, std::string *error) {
    std::mt19937 rng(seed);
    Collector c(out, error);
    return CollectMicro(c) && CollectPdf417(rng, 600, c) && c.Complete();
}

}  // namespace testkit
