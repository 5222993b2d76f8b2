// QR module driver: read modes, the result store, joining two symbols, result accessors.
#include "qr/qr_driver.h"

#include <cstring>

#include "core/modules.h"
#include "core/params.h"
#include "core/pixel.h"
#include "core/state.h"
#include "qr/qr_segments.h"
#include "qr/qr_symbol.h"
#include "qr/qr_symbol_stages.h"
#include "toolkit/quad.h"

namespace vexo {

QR_RESULT g_qrResult;

namespace {

// Read by no other code; kept for the setter that the module offers.
i64 g_qrSpareWord;

constexpr u32 kReadModeMask = kFlag2DCountMask;
constexpr u32 kDefaultMinLength = 1;
constexpr u32 kDefaultMaxLength = 7089;

// The loop's collection of symbols in read modes 2 and up.
struct COLLECTION {
    QR_PART parts[2];
    i32 count;
    i32 total;  // bytes
    i32 iterations;
};

// The data decoders' output length, bounded by the text capacity.
i32 OutputLength() {
    const i32 n = g_qrData.length;
    return n < 0 ? 0 : (n > kQrTextCapacity ? kQrTextCapacity : n);
}

// Stores the symbol in the result store. False when it repeats the symbol already stored.
bool StoreResult(i32 length) { return Dec_StoreResult(g_qrSymbol.data, length, &g_qrResult.corners) != 0; }

// Collects the symbol for the join. False when it does not fit (collection ends).
bool CollectPart(COLLECTION *c, i32 length, GEO_POINT centre, int orientation) {
    u8 *work = QR_WorkBuffer();
    if (work == nullptr || c->count >= 2 || c->total + length > kQrMaxJoinedLength) return false;
    if (length > 0 && g_qrSymbol.data == nullptr) return false;
    u8 *dest = work + kQrJoinBufferOffset + c->total;
    if (length > 0) std::memmove(dest, g_qrSymbol.data, static_cast<size_t>(length));
    QR_PART &p = c->parts[c->count++];
    p.centre = centre;
    p.orientation = orientation;
    p.corners = g_qrResult.corners;
    p.data = dest;
    p.length = length;
    p.saPresent = g_qrResult.saInfo.present;
    c->total += length;
    ++c->iterations;
    return true;
}

// After the loop of read modes 2 and up.
int FinishCollection(const COLLECTION &c, u32 readMode) {
    g_qrResult.decoded = 1;
    g_qrResult.text = g_qrResult.textBuffer;
    if (g_qrResult.saInfo.present != 0 && g_qrData.length != 0) return 1;
    if (c.count == 2 && readMode == 2) {
        i32 joined = 0;
        QR_JoinTwoParts(c.parts, c.count, g_qrResult.textBuffer, &joined);
        g_qrData.length = joined;
        g_qrResult.length = joined;
        return 1;
    }
    if (c.count == 1 && c.parts[0].length > 0) {
        std::memmove(g_qrResult.textBuffer, c.parts[0].data, static_cast<size_t>(c.parts[0].length));
        g_qrData.length = c.parts[0].length;
        g_qrResult.length = c.parts[0].length;
        if (c.parts[0].saPresent == 1) g_qrResult.saInfo.present = 1;
        return 1;
    }
    return 0;
}

// Who comes first of two parts: the deciding orientation code, else the pair's layout.
int JoinOrder(const QR_PART &p, const QR_PART &q, bool *vertical) {
    const int code = q.orientation != 0 ? q.orientation : p.orientation;
    const i32 midX = (p.centre.x + q.centre.x) >> 1;
    const i32 midY = (p.centre.y + q.centre.y) >> 1;
    *vertical = false;
    switch (code) {
        case 0: break;
        case 1: return p.centre.x <= midX ? 0 : 1;
        case 2: return p.centre.x <= midX ? 1 : 0;
        case 3: return p.centre.y <= midY ? 0 : 1;
        case 4: return p.centre.y <= midY ? 1 : 0;
        default: return 1;
    }
    const i64 dx = static_cast<i64>(p.centre.x) - q.centre.x;
    const i64 dy = static_cast<i64>(p.centre.y) - q.centre.y;
    if ((dx < 0 ? -dx : dx) < (dy < 0 ? -dy : dy)) {
        *vertical = true;
        return p.centre.y <= midY ? 0 : 1;
    }
    return p.centre.x <= midX ? 0 : 1;
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Decode

int QR_DecodeImage() { return QR_DecodeImageWith(QR_DecodeOneSymbol); }

int QR_DecodeImageWith(QrDecodeOneFn decodeOne) {
    QR_RESULT &r = g_qrResult;
    r.qrEnabled = Par_Enabled(kSymQr) ? 1 : 0;
    r.microQrEnabled = Par_Enabled(kSymMicroQr) ? 1 : 0;
    r.symbolType = kQrSymbolQr;
    QR_ResetModuleState();
    r.length = 0;
    r.firstFailureCount = 0;
    const u32 readMode = g_params.flagsWord[kSymQr] & kReadModeMask;
    if (readMode == 0 || decodeOne == nullptr) return 0;
    r.decoded = 0;
    COLLECTION c{};
    QR_ArmCandidateRetry(1);
    while (true) {
        g_qrSymbol.length = 0;
        GEO_POINT centre{0, 0};
        int orientation = 0;
        const int code = decodeOne(&centre, &orientation);
        if (code == kQrCandidateFailed) continue;
        if (code != kQrSymbolDecoded && code != kQrMicroDecoded) break;
        if (code == kQrMicroDecoded) g_qrSymbol.kind = kQrKindMicro;
        QR_KeepBestStatus(0);
        const i32 length = OutputLength();
        r.length = length;
        if (!StoreResult(length)) continue;
        if (readMode == 1) {
            r.length = g_qrSymbol.length;
            break;
        }
        if (!CollectPart(&c, length, centre, orientation)) return FinishCollection(c, readMode);
        if (static_cast<u32>(c.iterations) == readMode) return FinishCollection(c, readMode);
    }
    if (readMode != 1) return FinishCollection(c, readMode);
    if (r.length <= 0) return 0;
    r.decoded = 1;
    return 1;
}

// ---------------------------------------------------------------------------------------
// Helpers of the decode

void QR_KeepBestStatus(i32 s) {
    const i32 b = g_qrResult.bestStatus;
    if ((b < s && s <= 0) || (s >= 0 && (b > s || b < 0))) g_qrResult.bestStatus = s;
}

void QR_ResetModuleState() {
    g_qrData.length = 0;
    g_qrSymbol = QR_SYMBOL_STATE{};
    g_qrResult.saInfo = QR_SA_INFO{};
    QR_StoreHeaderMode(0);
    g_qrSymbol.sa = &g_qrResult.saInfo;
}

int QR_GetCandidateOrientation(const QR_FINDER_PATTERN *patterns, int n, GEO_POINT *centre) {
    GEO_POINT mean{0, 0};
    if (patterns == nullptr || n <= 0) {
        if (centre != nullptr) *centre = mean;
        return 0;
    }
    if (n > 3) n = 3;
    i64 sx = 0, sy = 0;
    for (int i = 0; i < n; ++i) {
        sx += patterns[i].centreX;
        sy += patterns[i].centreY;
    }
    mean.x = static_cast<i32>(sx / (16 * n));
    mean.y = static_cast<i32>(sy / (16 * n));
    if (centre != nullptr) *centre = mean;
    if (n <= 2) return 0;
    const i64 dx = static_cast<i64>(patterns[0].centreX) - patterns[1].centreX;
    const i64 dy = static_cast<i64>(patterns[0].centreY) - patterns[1].centreY;
    if ((dx < 0 ? -dx : dx) > (dy < 0 ? -dy : dy)) return patterns[0].centreX < patterns[1].centreX ? 3 : 4;
    return patterns[0].centreY <= patterns[1].centreY ? 2 : 1;
}

int QR_JoinTwoParts(const QR_PART *parts, int count, u8 *dest, i32 *joinedLength) {
    if (joinedLength != nullptr) *joinedLength = 0;
    if (parts == nullptr || count < 2) return 0;
    bool vertical = false;
    const int first = JoinOrder(parts[0], parts[1], &vertical);
    const QR_PART &a = parts[first];
    const QR_PART &b = parts[1 - first];
    const i32 la = a.length < 0 ? 0 : a.length;
    const i32 lb = b.length < 0 ? 0 : b.length;
    if (dest != nullptr) {
        // The parts may lie anywhere, the destination included: copy through moves.
        if (la > 0) std::memmove(dest, a.data, static_cast<size_t>(la));
        if (lb > 0) std::memmove(dest + la, b.data, static_cast<size_t>(lb));
    }
    if (joinedLength != nullptr) *joinedLength = la + lb;
    return vertical ? 1 : 0;
}

// ---------------------------------------------------------------------------------------
// Accessors

const u8 *QR_GetResultText() {
    QR_RESULT &r = g_qrResult;
    if (r.decoded != 1 || r.length <= 0 || r.length > kQrTextCapacity || r.text == nullptr) return nullptr;
    r.text[r.length] = 0;
    return r.text;
}

int QR_GetResultLength() {
    if (g_qrResult.decoded != 1) return 0;
    return g_qrResult.length < 0 ? 0 : g_qrResult.length;
}

void QR_GetCorners(REGION_QUAD *out) {
    if (out != nullptr) *out = g_qrResult.corners;
}

int QR_GetSymbolType(u32 *type) {
    if (g_qrResult.decoded == 0 || type == nullptr) return 0;
    *type = static_cast<u32>(g_qrResult.symbolType);
    return 1;
}

int QR_GetSaIndex() { return g_qrResult.saInfo.index; }
int QR_GetSaCount() { return g_qrResult.saInfo.count; }
int QR_GetSaParity() { return g_qrResult.saInfo.parity; }
int QR_HasSa() { return g_qrResult.saInfo.present; }

void QR_WriteAimId(char *out) { QR_WriteAimId(reinterpret_cast<u8 *>(out)); }

// ---------------------------------------------------------------------------------------
// Routines no decode path calls

int QR_IsDecoded() { return g_qrResult.decoded; }
i32 QR_GetBestStatus() { return g_qrResult.bestStatus; }

void QR_SetStatus(i32 s) {
    if (s < -9999) {
        g_qrResult.bestStatus = s;
    } else {
        QR_KeepBestStatus(s);
    }
}

QR_SA_INFO *QR_ClearSaInfo() {
    g_qrResult.saInfo = QR_SA_INFO{};
    return &g_qrResult.saInfo;
}

void QR_SetHeaderMode(i32 mode) { QR_StoreHeaderMode(mode); }
void QR_SetSpareWord(i64 value) { g_qrSpareWord = value; }

void QR_SetDefaultMode() {
    u32 &w = g_params.flagsWord[kSymQr];
    w = (w & ~kReadModeMask) | 1u | kFlag2DDarkOnLight;
    g_params.lengthWord[kSlotQr] = kDefaultMinLength | (kDefaultMaxLength << 16);
}

// ---------------------------------------------------------------------------------------
// Work memory

u8 *QR_WorkBuffer() { return Pix_WorkMemory(kQrWorkBufferBytes); }

}  // namespace vexo
