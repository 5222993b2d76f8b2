#include "pdf417_test_util.h"

#include <cstdio>

namespace pdf_test {

namespace {

// Text compaction sub-modes as strings of their characters by value (ISO/IEC 15438, text
// compaction); the values past each string are latches and shifts.
const std::string kSubModes[4] = {
    "ABCDEFGHIJKLMNOPQRSTUVWXYZ ",
    "abcdefghijklmnopqrstuvwxyz ",
    std::string("0123456789&\r\t,:#-.$/+%*=^"),
    std::string(";<>@[\\]_`~!\r\t,:\n-.$/\"|*()?{}'"),
};
enum { kAlpha = 0, kLower = 1, kMixed = 2, kPunct = 3 };

int IndexIn(int mode, char c) {
    const size_t p = kSubModes[mode].find(c);
    // Mixed has no space of its own at 25: its space is value 26, after the Punctuation latch.
    if (p == std::string::npos) return mode == kMixed && c == ' ' ? 26 : -1;
    return static_cast<int>(p);
}

// Values that move from one sub-mode to another by latches.
std::vector<int> LatchPath(int from, int to) {
    static const std::vector<int> kPaths[4][4] = {
        {{}, {27}, {28}, {28, 25}},
        {{28, 28}, {}, {28}, {28, 25}},
        {{28}, {27}, {}, {25}},
        {{29}, {29, 27}, {29, 28}, {}},
    };
    return kPaths[from][to];
}

int HomeMode(char c) {
    if (c >= 'a' && c <= 'z') return kLower;
    for (int m : {kAlpha, kMixed, kPunct}) {
        if (IndexIn(m, c) >= 0) return m;
    }
    return -1;
}

class TextWriter {
public:
    void Value(int v) {
        if (pending_ < 0) {
            pending_ = v;
        } else {
            out.push_back(pending_ * 30 + v);
            pending_ = -1;
        }
    }
    // Completes the codeword with a Punctuation shift (cancelled by a following 913).
    void Pad() {
        if (pending_ >= 0) Value(29);
    }
    std::vector<int> out;

private:
    int pending_ = -1;
};

// Decimal digits divided by 900: answers the remainder, leaves the quotient.
int DivideDecimal(std::string &digits) {
    std::string q;
    int r = 0;
    for (char c : digits) {
        r = r * 10 + (c - '0');
        if (!q.empty() || r / 900 != 0) q.push_back(static_cast<char>('0' + r / 900));
        r %= 900;
    }
    digits = q;
    return r;
}

int Mod(long long v) { return static_cast<int>(((v % 929) + 929) % 929); }

}  // namespace

std::string Printable(const std::string &s) {
    std::string out;
    for (unsigned char c : s) {
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            out.push_back(static_cast<char>(c));
        } else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", c);
            out += buf;
        }
    }
    return out;
}

std::vector<int> TextCodewords(const std::string &s) {
    TextWriter w;
    int mode = kAlpha;
    for (size_t i = 0; i < s.size(); ++i) {
        const char c = s[i];
        const char next = i + 1 < s.size() ? s[i + 1] : '\0';
        if (IndexIn(mode, c) >= 0) {
            w.Value(IndexIn(mode, c));
            continue;
        }
        const int home = HomeMode(c);
        if (home < 0) {
            // No sub-mode has it: a byte shift between whole codewords, out of Punctuation.
            if (mode == kPunct) {
                w.Value(29);
                mode = kAlpha;
            }
            w.Pad();
            w.out.push_back(913);
            w.out.push_back(static_cast<unsigned char>(c));
            continue;
        }
        // A single upper-case letter among lower-case ones, or a single punctuation mark, is
        // shifted; runs latch.
        if (mode == kLower && home == kAlpha && !(next >= 'A' && next <= 'Z')) {
            w.Value(27);
            w.Value(IndexIn(kAlpha, c));
            continue;
        }
        if (home == kPunct && mode != kPunct && (next == '\0' || IndexIn(kPunct, next) < 0)) {
            w.Value(29);
            w.Value(IndexIn(kPunct, c));
            continue;
        }
        for (int v : LatchPath(mode, home)) w.Value(v);
        mode = home;
        w.Value(IndexIn(mode, c));
    }
    w.Pad();
    return w.out;
}

std::vector<int> NumericCodewords(const std::string &digits) {
    std::vector<int> out;
    for (size_t at = 0; at < digits.size(); at += 44) {
        std::string number(1, '1');
        number.append(digits, at, 44);
        std::vector<int> group;
        while (!number.empty()) group.insert(group.begin(), DivideDecimal(number));
        out.insert(out.end(), group.begin(), group.end());
    }
    return out;
}

Encoder &Encoder::Text(const std::string &s, bool latch) {
    if (latch) cw.push_back(900);
    const std::vector<int> t = TextCodewords(s);
    cw.insert(cw.end(), t.begin(), t.end());
    return *this;
}

Encoder &Encoder::Numeric(const std::string &digits, bool latch) {
    if (latch) cw.push_back(902);
    const std::vector<int> n = NumericCodewords(digits);
    cw.insert(cw.end(), n.begin(), n.end());
    return *this;
}

Encoder &Encoder::Bytes(const std::string &bytes) {
    cw.push_back(bytes.size() % 6 == 0 ? 924 : 901);
    size_t at = 0;
    for (; at + 6 <= bytes.size(); at += 6) {
        uint64_t v = 0;
        for (size_t k = 0; k < 6; ++k) v = v << 8 | static_cast<unsigned char>(bytes[at + k]);
        int group[5];
        for (int k = 4; k >= 0; --k) {
            group[k] = static_cast<int>(v % 900);
            v /= 900;
        }
        cw.insert(cw.end(), group, group + 5);
    }
    for (; at < bytes.size(); ++at) cw.push_back(static_cast<unsigned char>(bytes[at]));
    return *this;
}

Encoder &Encoder::Eci(int value) {
    if (value < 900) return Raw({927, value});
    if (value < 810900) return Raw({926, value / 900 - 1, value % 900});
    return Raw({925, value - 810900});
}

Encoder &Encoder::Macro(int segmentIndex, const std::vector<int> &fileId,
                        const std::vector<std::pair<int, std::vector<int>>> &fields, bool last) {
    const int v = segmentIndex + 100000;
    Raw({928, v / 900, v % 900});
    cw.insert(cw.end(), fileId.begin(), fileId.end());
    for (const auto &[designator, words] : fields) {
        Raw({923, designator});
        cw.insert(cw.end(), words.begin(), words.end());
    }
    if (last) cw.push_back(922);
    return *this;
}

std::vector<int> EveryFieldBlock(int segmentIndex, const std::vector<int> &fileId, const std::string &name,
                                 const std::vector<int> &timeStamp, const std::string &sender,
                                 const std::string &addressee, const std::string &fileSizeDigits) {
    return Encoder()
        .Macro(segmentIndex, fileId,
               {{0, TextCodewords(name)},
                {1, {111, 102}},
                {2, timeStamp},
                {3, TextCodewords(sender)},
                {4, TextCodewords(addressee)},
                {5, NumericCodewords(fileSizeDigits)},
                {6, {111, 200}}},
               true)
        .cw;
}

std::vector<int> WithDescriptor(const std::vector<int> &data) {
    std::vector<int> out;
    out.push_back(static_cast<int>(data.size()) + 1);
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

std::vector<int> WithCheck(const std::vector<int> &data, int checkCount) {
    // Generator (x - 3)(x - 3^2)...(x - 3^N), highest degree first.
    std::vector<int> g{1};
    long long root = 1;
    for (int j = 1; j <= checkCount; ++j) {
        root = root * 3 % 929;
        std::vector<int> next(g.size() + 1, 0);
        for (size_t m = 0; m < g.size(); ++m) {
            next[m] = Mod(next[m] + g[m]);
            next[m + 1] = Mod(next[m + 1] - g[m] * root);
        }
        g = next;
    }
    std::vector<int> rem(data);
    rem.resize(data.size() + static_cast<size_t>(checkCount), 0);
    for (size_t i = 0; i < data.size(); ++i) {
        const int coef = rem[i];
        if (coef == 0) continue;
        for (size_t m = 0; m < g.size(); ++m) rem[i + m] = Mod(rem[i + m] - static_cast<long long>(coef) * g[m]);
    }
    std::vector<int> out(data);
    for (int k = 0; k < checkCount; ++k) out.push_back(Mod(-static_cast<long long>(rem[data.size() + k])));
    return out;
}

bool SyndromesZero(const std::vector<int> &block, int checkCount) {
    long long root = 1;
    for (int j = 1; j <= checkCount; ++j) {
        root = root * 3 % 929;
        long long s = 0;
        for (int c : block) s = (s * root + c) % 929;
        if (s != 0) return false;
    }
    return true;
}

std::vector<int> BitsToBase928(const std::string &bits) {
    std::string b = bits;
    size_t tail = b.size() % 69;
    if (tail != 0) {
        const size_t k = (tail + 1 + 9) / 10;  // codewords of the last group
        b.append(10 * k - 1 - tail, '0');
    }
    std::vector<int> out;
    for (size_t at = 0; at < b.size(); at += 69) {
        const size_t n = b.size() - at < 69 ? b.size() - at : 69;
        unsigned __int128 v = 0;
        for (size_t i = 0; i < n; ++i) v = v << 1 | static_cast<unsigned>(b[at + i] - '0');
        const size_t k = (n + 1) / 10;
        std::vector<int> group(k);
        for (size_t i = k; i-- > 0;) {
            group[i] = static_cast<int>(v % 928);
            v /= 928;
        }
        out.insert(out.end(), group.begin(), group.end());
    }
    return out;
}

std::vector<int> BitsToByteCodewords(const std::string &bits) {
    std::string bytes;
    for (size_t at = 0; at < bits.size(); at += 8) {
        int v = 0;
        for (size_t i = 0; i < 8; ++i) v = v << 1 | (at + i < bits.size() && bits[at + i] == '1' ? 1 : 0);
        bytes.push_back(static_cast<char>(v));
    }
    std::vector<int> out{920};
    const std::vector<int> b = Encoder().Bytes(bytes).cw;
    out.insert(out.end(), b.begin(), b.end());
    return out;
}

std::string Plain(const std::string &gs1) {
    std::string out;
    for (char c : gs1) {
        if (c != '[' && c != ']') out.push_back(c);
    }
    return out;
}

const std::vector<std::string> &CompositeData() {
    static const std::vector<std::string> data = {
        "[10]ABC123",
        "[11]991231[21]XYZ",
        "[17]010203[10]AB",
        "[11]991231",
        "[10]12[21]AB",
        "[21]AB[10]CD",
        "[10]1A",
        "[17]010203[10]1A",
        "[17]010203[10]5",
        "[17]010203[10]5[21]X",
        "[10]1",
        "[11]991231[10]123[21]abc",
        "[90]7BA[21]X",
        "[90]30Z1",
        "[90]999A1",
        "[90]123A[8004]12",
        "[90]123A[21]12",
        "[90]7B12[21]34",
        "[90]12345[21]X",
        "[90]07B",
        "[91]abc!%&'()*+,-./:;<=>?_ def",
        "[400]PO-123/45",
        "[01]12345678901231[10]AB1",
        "[240]lower case",
        "[21]12345678901234567890",
    };
    return data;
}

}  // namespace pdf_test
