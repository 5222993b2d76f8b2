// ECC 000-140 decoding: the stream from the modules, the header, the four sequential
// decoders, the format and length, the packings and the CRC.
#include "datamatrix/dm_ecc000.h"

#include <cstring>

#include "datamatrix/dm_driver.h"
#include "datamatrix/dm_ecc200.h"
#include "datamatrix/dm_stages.h"

namespace vexo {

i32 g_dmSeqSteps = 0;

namespace {

// Where the record starts after each header, and the record's fixed fields.
constexpr i32 kEcc000HeaderBits = 7;
constexpr i32 kCodedHeaderBits = 19;
constexpr i32 kRecordFieldBits = 30;  // format 5, CRC 16, length 9
constexpr i32 kMaxLength = 511;

// The sequential decoders' pool: registers laid out with the level's stride.
u8 g_seqRegisters[kDmSeqRegisterBytes];
i32 g_seqDepth[kDmSeqPaths];
i32 g_seqMetric[kDmSeqMetrics];

i32 RegBit(const u8 *reg, i32 j) { return (reg[j >> 3] >> (j & 7)) & 1; }

void SetRegBit(u8 *reg, i32 j, i32 v) {
    const u8 m = static_cast<u8>(1u << (j & 7));
    if (v != 0) {
        reg[j >> 3] = static_cast<u8>(reg[j >> 3] | m);
    } else {
        reg[j >> 3] = static_cast<u8>(reg[j >> 3] & ~m);
    }
}

// XOR of the register bits at a + offsets.
template <i32 N>
u8 Taps(const u8 *reg, i32 a, const i32 (&offsets)[N]) {
    i32 x = 0;
    for (i32 i = 0; i < N; ++i) x ^= RegBit(reg, a + offsets[i]);
    return static_cast<u8>(x);
}

// One level of the sequential decoders.
struct SeqLevel {
    i32 newBits;       // b
    i32 outBits;       // c
    i32 firstData;     // d0
    i32 match;
    i32 mismatch;
    i32 lag;
    i32 iterations;
    i32 newBitMask[4];  // per output: which of the step's new bits it taps
    void (*encode)(const u8 *, u8 *, i32, i32);
    i32 (*stride)(i32 steps);
};

i32 Stride050(i32 s) { return (3 * s + 17) / 8; }
i32 Stride080(i32 s) { return (s + 15) / 4; }
i32 Stride100(i32 s) { return (s + 23) / 8; }
i32 Stride140(i32 s) { return (s + 21) / 8; }

constexpr SeqLevel kSeq050 = {3, 4, 9, 1, -65, 36, 9999, {1, 2, 4, 7}, DM_Ecc050Encode, Stride050};
constexpr SeqLevel kSeq080 = {2, 3, 22, 1, -42, 24, 10000, {1, 2, 3, 0}, DM_Ecc080Encode, Stride080};
constexpr SeqLevel kSeq100 = {1, 2, 15, 1, -35, 15, 10000, {1, 1, 0, 0}, DM_Ecc100Encode, Stride100};
constexpr SeqLevel kSeq140 = {1, 4, 13, 1, -20, 7, 12000, {1, 1, 1, 1}, DM_Ecc140Encode, Stride140};
static_assert(kSeq050.stride == Stride050 && kSeq140.outBits == 4);
// The pool holds 200 registers of the largest level at the largest L.
static_assert(kDmSeqPaths * ((3 * (kDmEcc000MaxReceived / 4) + 17) / 8) <= kDmSeqRegisterBytes);
static_assert(kDmSeqPaths * ((kDmEcc000MaxReceived / 3 + 15) / 4) <= kDmSeqRegisterBytes);

i32 ClampReceived(i32 L) {
    if (L < 0) return 0;
    return L > kDmEcc000MaxReceived ? kDmEcc000MaxReceived : L;
}

void ResetPool(const SeqLevel &lv, i32 stride) {
    std::memset(g_seqRegisters, 0, static_cast<size_t>(stride) * kDmSeqPaths);
    for (i32 i = 0; i < kDmSeqPaths; ++i) g_seqDepth[i] = lv.firstData;
    for (i32 i = 0; i < kDmSeqMetrics; ++i) g_seqMetric[i] = kDmSeqEmpty;
    g_seqMetric[0] = 0;
}

void FindBestWorst(i32 *best, i32 *worst) {
    i32 b = 0;
    i32 w = 0;
    for (i32 i = 1; i < kDmSeqPaths; ++i) {
        if (g_seqMetric[i] > g_seqMetric[b]) b = i;
        if (g_seqMetric[i] < g_seqMetric[w]) w = i;
    }
    *best = b;
    *worst = w;
}

void WriteOutput(u8 *bits, const u8 *reg, i32 from, i32 count) {
    for (i32 j = 0; j < count; ++j) bits[j] = static_cast<u8>(RegBit(reg, from + j));
}

// ECC 100 and 140: one new bit a step, the better successor alone when either falls
// below the worst path, else both.
i32 DecodeOneBitLevel(const SeqLevel &lv, u8 *bits, i32 L) {
    L = ClampReceived(L);
    const i32 s = L / lv.outBits;
    const i32 stride = lv.stride(s);
    ResetPool(lv, stride);
    i32 best = 0;
    i32 worst = 1;
    u8 expect[4];
    i32 it = 0;
    for (; it < lv.iterations && g_seqDepth[best] - lv.firstData < s; ++it) {
        const i32 depth = g_seqDepth[best];
        const i32 k = depth - lv.firstData;
        u8 *reg = g_seqRegisters + best * stride;
        SetRegBit(reg, depth, 0);
        lv.encode(reg, expect, depth, 0);
        i32 m0 = g_seqMetric[best];
        i32 m1 = g_seqMetric[best];
        for (i32 o = 0; o < lv.outBits; ++o) {
            const i32 r = bits[k * lv.outBits + o] & 1;
            m0 += (expect[o] == r) ? lv.match : lv.mismatch;
            m1 += (expect[o] != r) ? lv.match : lv.mismatch;
        }
        if (m0 < g_seqMetric[worst] || m1 < g_seqMetric[worst]) {
            if (m0 < m1) {
                SetRegBit(reg, depth, 1);
                g_seqMetric[best] = m1;
            } else {
                g_seqMetric[best] = m0;
            }
            g_seqDepth[best] = depth + 1;
        } else {
            u8 *copy = g_seqRegisters + worst * stride;
            std::memcpy(copy, reg, static_cast<size_t>((depth + 7) / 8));
            SetRegBit(copy, depth, 1);
            g_seqMetric[worst] = m1;
            g_seqDepth[worst] = depth + 1;
            g_seqMetric[best] = m0;
            g_seqDepth[best] = depth + 1;
        }
        for (i32 i = 0; i < kDmSeqPaths; ++i) {
            if (g_seqDepth[i] + lv.lag < depth + 1) {
                g_seqDepth[i] = 0;
                g_seqMetric[i] = kDmSeqEmpty;
            }
        }
        FindBestWorst(&best, &worst);
    }
    g_dmSeqSteps = it;
    WriteOutput(bits, g_seqRegisters + best * stride, lv.firstData, s);
    return 0;
}

i32 IndexIn(const i16 *list, i32 n, i32 v) {
    for (i32 i = 0; i < n; ++i) {
        if (list[i] == v) return i;
    }
    return -1;
}

// ECC 050 and 080: b new bits a step, K = 2^b successors ranked against the replaceable
// list W of K - 1 slots.
i32 DecodeManyBitLevel(const SeqLevel &lv, u8 *bits, i32 L) {
    constexpr i32 kMaxK = 8;
    L = ClampReceived(L);
    const i32 b = lv.newBits;
    const i32 K = 1 << b;
    const i32 s = L / lv.outBits;
    const i32 stride = lv.stride(s);
    ResetPool(lv, stride);
    i16 W[kMaxK - 1];
    for (i32 i = 0; i < K - 1; ++i) W[i] = static_cast<i16>(kDmSeqPaths - (K - 1) + i);
    i32 best = 0;
    u8 expect[4];
    u8 listed[kDmSeqPaths];
    i32 it = 0;
    for (; it < lv.iterations && (g_seqDepth[best] - lv.firstData) / b < s; ++it) {
        const i32 depth = g_seqDepth[best];
        const i32 k = (depth - lv.firstData) / b;
        u8 *reg = g_seqRegisters + best * stride;
        for (i32 j = 0; j < b; ++j) SetRegBit(reg, depth + j, 1);
        lv.encode(reg, expect, depth, 0);
        const i32 newDepth = depth + b;
        g_seqDepth[best] = newDepth;
        const i32 base = g_seqMetric[best];
        for (i32 h = 0; h < K; ++h) {
            i32 m = base;
            for (i32 o = 0; o < lv.outBits; ++o) {
                const i32 zeros = lv.newBitMask[o] & ~h & (K - 1);
                const i32 e = expect[o] ^ (__builtin_popcount(static_cast<unsigned>(zeros)) & 1);
                m += (e == (bits[k * lv.outBits + o] & 1)) ? lv.match : lv.mismatch;
            }
            if (h == K - 1) {
                g_seqMetric[best] = m;
            } else {
                g_seqMetric[kDmSeqPaths + h] = m;
            }
        }
        // E: W, best, then the candidates.
        i16 E[2 * kMaxK - 1];
        const i32 n = 2 * K - 1;
        for (i32 i = 0; i < K - 1; ++i) E[i] = W[i];
        E[K - 1] = static_cast<i16>(best);
        for (i32 h = 0; h < K - 1; ++h) E[K + h] = static_cast<i16>(kDmSeqPaths + h);
        DM_SortSlotsByMetric(E, g_seqMetric, K - 1);
        i32 w = n;
        for (i32 i = 0; i < n; ++i) {
            if (E[i] < kDmSeqPaths && E[i] != best) {
                w = i;
                break;
            }
        }
        // Candidates ranked among the first K take the pool slots ranked from K on.
        i32 q = K;
        for (i32 p = 0; p < K; ++p) {
            if (E[p] < kDmSeqPaths) continue;
            const i32 h = E[p] - kDmSeqPaths;
            while (q < n && E[q] >= kDmSeqPaths) ++q;
            if (q >= n) continue;
            const i32 v = E[q];
            u8 *dst = g_seqRegisters + v * stride;
            if (v != best) std::memcpy(dst, reg, static_cast<size_t>((newDepth + 7) / 8));
            for (i32 j = 0; j < b; ++j) SetRegBit(dst, depth + j, (h >> j) & 1);
            g_seqDepth[v] = newDepth;
            g_seqMetric[v] = g_seqMetric[kDmSeqPaths + h];
            E[p] = static_cast<i16>(v);
            ++q;
        }
        // New W: the weakest free slots (the last found first), then the ranked survivors
        // from the first old slot down; never more than K - 1 entries.
        i32 from = w >= 1 ? w : 1;
        if (from > K) from = K;
        i16 kept[kMaxK - 1];
        i32 keptCount = 0;
        std::memset(listed, 0, sizeof(listed));
        for (i32 i = from; i < K; ++i) {
            if (E[i] < kDmSeqPaths && listed[E[i]] == 0) {
                kept[keptCount++] = E[i];
                listed[E[i]] = 1;
            }
        }
        const i32 weak = K - 1 - keptCount;
        i32 slot = 0;
        for (i32 i = 0; i < weak; ++i) {
            DM_FindWeakestFreeSlot(g_seqMetric, listed, kDmSeqPaths, &slot);
            listed[slot] = 1;
            W[weak - 1 - i] = static_cast<i16>(slot);
        }
        for (i32 i = 0; i < keptCount; ++i) W[weak + i] = kept[i];
        i32 unused = 0;
        FindBestWorst(&best, &unused);
        // Stale paths are emptied and offered to W ahead of live ones.
        i32 a = -1;
        for (i32 i = 0; i < K - 1; ++i) {
            if (g_seqMetric[W[i]] != kDmSeqEmpty) a = i;
        }
        const i32 bestDepth = g_seqDepth[best];
        for (i32 slotK = 0; slotK < kDmSeqPaths; ++slotK) {
            if (g_seqDepth[slotK] + lv.lag >= bestDepth) continue;
            g_seqDepth[slotK] = 0;
            g_seqMetric[slotK] = kDmSeqEmpty;
            const i32 at = IndexIn(W, K - 1, slotK);
            if (at >= 0) {
                i32 pos = at;
                while (pos + 1 < K - 1 && g_seqMetric[W[pos + 1]] != kDmSeqEmpty) {
                    W[pos] = W[pos + 1];
                    ++pos;
                }
                W[pos] = static_cast<i16>(slotK);
                a = pos;
            } else if (a >= 0) {
                for (i32 i = 0; i < a; ++i) W[i] = W[i + 1];
                W[a] = static_cast<i16>(slotK);
                --a;
            }
        }
    }
    g_dmSeqSteps = it;
    WriteOutput(bits, g_seqRegisters + best * stride, lv.firstData, b * s);
    return 0;
}

i32 RecordStart() { return g_dmData.eccLevel == 0 ? kEcc000HeaderBits : kCodedHeaderBits; }

i32 StreamBits() { return g_dmData.mappingRows * g_dmData.mappingRows; }

// Value of count stream bits, least significant first.
i32 ReadLsbFirst(const u8 *bits, i32 count) {
    i32 v = 0;
    for (i32 i = 0; i < count; ++i) v |= (bits[i] & 1) << i;
    return v;
}

void FeedByte(i32 value, u8 reg[16]) {
    u8 b[8];
    for (i32 i = 0; i < 8; ++i) b[i] = static_cast<u8>((value >> i) & 1);
    DM_Crc16Bits(b, 8, reg);
}

i32 PackBits(const u8 *bits, i32 count, i32 width) {
    if (bits == nullptr || count <= 0) return 0;
    const i32 n = count > kDmTextLimit ? kDmTextLimit : count;
    for (i32 i = 0; i < n; ++i) g_dmResult.text[i] = static_cast<u8>(ReadLsbFirst(bits + i * width, width));
    return n;
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Encoders: output bit o is the XOR of the register bits at a + the listed offsets.

void DM_Ecc050Encode(const u8 *reg, u8 *out, i32 a, i32 outPos) {
    static constexpr i32 k0[] = {0, -1, -4, -7, -8};
    static constexpr i32 k1[] = {1, -2, -6, -8, -9};
    static constexpr i32 k2[] = {2, -1, -2, -3, -6, -9};
    static constexpr i32 k3[] = {2, 1, 0, -1, -2, -3, -5, -7};
    out[outPos] = Taps(reg, a, k0);
    out[outPos + 1] = Taps(reg, a, k1);
    out[outPos + 2] = Taps(reg, a, k2);
    out[outPos + 3] = Taps(reg, a, k3);
}

void DM_Ecc080Encode(const u8 *reg, u8 *out, i32 a, i32 outPos) {
    static constexpr i32 k0[] = {0, -2, -5, -6, -10, -12, -13, -14, -15, -20, -21};
    static constexpr i32 k1[] = {1, -2, -5, -8, -10, -11, -15, -16, -17, -18, -20};
    static constexpr i32 k2[] = {1, 0, -1, -3, -7, -10, -12, -13, -14, -17, -21};
    out[outPos] = Taps(reg, a, k0);
    out[outPos + 1] = Taps(reg, a, k1);
    out[outPos + 2] = Taps(reg, a, k2);
}

void DM_Ecc100Encode(const u8 *reg, u8 *out, i32 a, i32 outPos) {
    static constexpr i32 k0[] = {0, -2, -5, -6, -7, -8, -9, -10, -15};
    static constexpr i32 k1[] = {0, -1, -3, -4, -6, -11, -13, -14, -15};
    out[outPos] = Taps(reg, a, k0);
    out[outPos + 1] = Taps(reg, a, k1);
}

void DM_Ecc140Encode(const u8 *reg, u8 *out, i32 a, i32 outPos) {
    static constexpr i32 k0[] = {0, -4, -7, -10, -12, -13};
    static constexpr i32 k1[] = {0, -3, -4, -7, -8, -9, -10, -11, -13};
    static constexpr i32 k2[] = {0, -1, -2, -4, -5, -7, -9, -11, -12, -13};
    static constexpr i32 k3[] = {0, -1, -2, -4, -5, -7, -9, -10, -11, -12, -13};
    out[outPos] = Taps(reg, a, k0);
    out[outPos + 1] = Taps(reg, a, k1);
    out[outPos + 2] = Taps(reg, a, k2);
    out[outPos + 3] = Taps(reg, a, k3);
}

i32 DM_Ecc050Decode(u8 *bits, i32 L) { return DecodeManyBitLevel(kSeq050, bits, L); }
i32 DM_Ecc080Decode(u8 *bits, i32 L) { return DecodeManyBitLevel(kSeq080, bits, L); }
i32 DM_Ecc100Decode(u8 *bits, i32 L) { return DecodeOneBitLevel(kSeq100, bits, L); }
i32 DM_Ecc140Decode(u8 *bits, i32 L) { return DecodeOneBitLevel(kSeq140, bits, L); }

i32 DM_FindWeakestFreeSlot(const i32 *metric, const u8 *listed, i32 count, i32 *slot) {
    i32 found = -1;
    for (i32 i = 0; i < count; ++i) {
        if (listed[i] != 0) continue;
        if (found < 0 || metric[i] < metric[found]) found = i;
    }
    if (found < 0) found = 0;
    if (slot != nullptr) *slot = found;
    return found;
}

void DM_SortSlotsByMetric(i16 *slots, const i32 *metric, i32 k) {
    if (k < 0) return;
    for (i32 i = k; i <= 2 * k; ++i) {
        const i16 v = slots[i];
        i32 at = 0;
        while (at < i && metric[slots[at]] >= metric[v]) ++at;
        for (i32 j = i; j > at; --j) slots[j] = slots[j - 1];
        slots[at] = v;
    }
}

// ---------------------------------------------------------------------------------------
// Stream

i32 DM_ReadEcc000Bits(u8 *matrix, u8 *bits) {
    const i32 n = g_dmData.mappingRows;
    // Square only: the grid has n x n entries.
    const i32 *grid = DM_Ecc000Grid(n);
    if (grid == nullptr || g_dmData.mappingCols != n || matrix == nullptr || bits == nullptr) return kDmStatusNoSize;
    const i32 total = n * n;
    const i32 packed = total / 8 + 1;
    static_assert((kDmEcc000MaxSide * kDmEcc000MaxSide) / 8 + 1 <= kDmEcc000RandomBytes);
    std::memset(bits, 0, static_cast<size_t>(packed));
    for (i32 i = 0; i < total; ++i) {
        const i32 t = grid[i];
        if (matrix[i] != 0) bits[t >> 3] = static_cast<u8>(bits[t >> 3] | (1u << (7 - (t & 7))));
    }
    const i32 *rnd = DM_Ecc000Random();
    for (i32 i = 0; i < packed; ++i) bits[i] = static_cast<u8>(bits[i] ^ rnd[i]);
    // Unpacking downwards never overwrites a packed byte still to be read.
    for (i32 k = total - 1; k >= 0; --k) bits[k] = static_cast<u8>((bits[k >> 3] >> (7 - (k & 7))) & 1);
    return 0;
}

i32 DM_ReadEcc000Header(u8 *bits) {
    if (ReadLsbFirst(bits, kEcc000HeaderBits) == kDmEcc000Word) {
        g_dmData.eccLevel = 0;
        return 0;
    }
    const i32 v = ReadLsbFirst(bits, kCodedHeaderBits);
    if (v == 0) {
        g_dmData.eccLevel = 0;
        return 0;
    }
    i32 level = 0;
    i32 nearest = 99;
    for (i32 i = 0; i < 4; ++i) {
        const i32 d = __builtin_popcount(static_cast<unsigned>(v ^ kDmEccHeaderWords[i]));
        if (d < nearest) {
            nearest = d;
            level = i + 1;
        }
    }
    if (nearest >= 3) return kDmStatusSomeBlocks;
    g_dmData.eccLevel = level;
    const i32 L = StreamBits() - kCodedHeaderBits;
    u8 *received = bits + kCodedHeaderBits;
    switch (level) {
        case 1: return DM_Ecc050Decode(received, L);
        case 2: return DM_Ecc080Decode(received, L);
        case 3: return DM_Ecc100Decode(received, L);
        default: return DM_Ecc140Decode(received, L);
    }
}

i32 DM_UnpackBaseN(u8 *bits, i32 available) {
    const i32 f = g_dmData.formatId;
    if (f < 0 || f > 3) return kDmStatusSomeBlocks;
    const i32 *row = kDmEcc000Formats[f];
    const i32 g = row[0];
    const i32 base = row[7];
    const char *alphabet = kDmEcc000Alphabets + row[8];
    const i32 n = g_dmResult.length;
    if (n < 0 || n > kMaxLength) return kDmStatusSomeBlocks;
    i32 written = 0;
    i32 at = 0;
    auto unpack = [&](i32 chars) {
        i32 value = ReadLsbFirst(bits + at, row[chars]);
        at += row[chars];
        for (i32 j = 0; j < chars; ++j) {
            g_dmResult.text[written++] = static_cast<u8>(alphabet[value % base]);
            value /= base;
        }
    };
    while (row[g] < available - at && n - written >= g) unpack(g);
    const i32 r = n - written;
    if (r < 0) return kDmStatusSomeBlocks;
    if (r == 0) return 0;
    // Only the g bit counts are counts; a larger remainder means too few bits were given.
    if (r > g || row[r] > available - at) return kDmStatusSomeBlocks;
    unpack(r);
    return 0;
}

i32 DM_ReadEcc000Data(u8 *bits) {
    const i32 p = RecordStart();
    const i32 V = StreamBits() - p - kRecordFieldBits;
    if (V < 0) return kDmStatusSomeBlocks;
    i32 format = 0;
    for (i32 i = 0; i < 5; ++i) format = format * 2 + (bits[p + i] & 1);
    if (format > 5) return kDmStatusSomeBlocks;
    g_dmData.formatId = format;
    const i32 n = ReadLsbFirst(bits + p + 21, 9);
    g_dmResult.length = n;
    u8 *data = bits + p + kRecordFieldBits;
    if (format <= 3) {
        const i32 *row = kDmEcc000Formats[format];
        const i32 g = row[0];
        // bits(0) = 0: entry 0 of the row is the group size.
        const i32 partial = (n % g) == 0 ? 0 : row[n % g];
        if ((n / g) * row[g] + partial > V) return kDmStatusSomeBlocks;
        return DM_UnpackBaseN(data, V);
    }
    const i32 width = format == 4 ? 7 : 8;
    if (width * n > V) return kDmStatusSomeBlocks;
    for (i32 i = 0; i < n; ++i) g_dmResult.text[i] = static_cast<u8>(ReadLsbFirst(data + i * width, width));
    return 0;
}

void DM_Crc16Bits(const u8 *bits, i32 count, u8 reg[16]) {
    for (i32 i = 0; i < count; ++i) {
        const u8 f = static_cast<u8>((bits[i] ^ reg[15]) & 1);
        for (i32 j = 15; j > 0; --j) reg[j] = reg[j - 1];
        reg[0] = f;
        reg[5] = static_cast<u8>(reg[5] ^ f);
        reg[12] = static_cast<u8>(reg[12] ^ f);
    }
}

i32 DM_CheckEcc000Crc(u8 *bits) {
    const i32 n = g_dmResult.length;
    if (n < 0 || n > kMaxLength) return kDmStatusSomeBlocks;
    u8 reg[16] = {};
    FeedByte(g_dmData.formatId + 1, reg);
    FeedByte(0, reg);
    for (i32 i = 0; i < n; ++i) FeedByte(g_dmResult.text[i], reg);
    const u8 *crc = bits + RecordStart() + 5;
    for (i32 i = 0; i < 16; ++i) {
        if ((crc[i] & 1) != reg[15 - i]) return kDmStatusSomeBlocks;
    }
    return 0;
}

i32 DM_DecodeEcc000(u8 *matrix) {
    if (g_dmData.placement == nullptr) return kDmStatusNoSize;
    // The stream lies where ECC 200 keeps its placement map.
    u8 *bits = reinterpret_cast<u8 *>(g_dmData.placement);
    std::memset(bits, 0, kDmEcc000BitBytes);
    i32 s = DM_ReadEcc000Bits(matrix, bits);
    if (s == 0) s = DM_ReadEcc000Header(bits);
    if (s == 0) s = DM_ReadEcc000Data(bits);
    if (s == 0) s = DM_CheckEcc000Crc(bits);
    return s;
}
static_assert(kDmEcc000BitBytes <= kDmPlacementEntries * 4);

// ---------------------------------------------------------------------------------------
// Routines no decode path calls

void DM_FindMinMaxIndex(const i32 *values, i32 n, i32 *maxIndex, i32 *minIndex) {
    i32 hi = 0;
    i32 lo = 0;
    for (i32 i = 1; i < n; ++i) {
        if (values[i] > values[hi]) hi = i;
        if (values[i] < values[lo]) lo = i;
    }
    if (maxIndex != nullptr) *maxIndex = hi;
    if (minIndex != nullptr) *minIndex = lo;
}

i32 DM_FindMinIndex(const i32 *values, i32 n) {
    i32 hi = 0;
    i32 lo = 0;
    DM_FindMinMaxIndex(values, n, &hi, &lo);
    return lo;
}

i32 DM_FindMaxIndex(const i32 *values, i32 n) {
    i32 hi = 0;
    i32 lo = 0;
    DM_FindMinMaxIndex(values, n, &hi, &lo);
    return hi;
}

i32 DM_PackBits7(const u8 *bits, i32 count) { return PackBits(bits, count, 7); }
i32 DM_PackBits8(const u8 *bits, i32 count) { return PackBits(bits, count, 8); }

}  // namespace vexo
