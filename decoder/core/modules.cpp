#include "core/modules.h"

#include <cstring>

#include "core/adapters_records.h"
#include "core/frame_margins.h"
#include "core/params.h"
#include "core/state.h"
#include "locate/finder.h"
#include "toolkit/quad.h"

namespace vexo {

MODULE_ARRAYS g_modules = kDefaultModules;
u32 g_statusWords[kStatusWordCount];

namespace {

TypedCallback g_callbacks[kCallbackTypes];

constexpr i32 kClassStackedPdfFirst = 2000;
constexpr u32 kHeaderWithoutCorners = 9;
constexpr int kLastLocatedMatrix = 5;

bool IsLinearRecord(const SYM_MODULE &m) { return m.kind == kKindLinear && m.moduleId == kModuleComposite1D; }
bool IsPdfRecord(const SYM_MODULE &m) { return m.kind == kKindMatrix && m.moduleId == kModulePdf417; }

bool MatrixRecordDecoded(int i) {
    return g_state.matrixSuccess[i] != 0 && g_modules.matrix[i].moduleId == g_state.decodedModuleId;
}

int LengthOf(int (*getLength)()) { return getLength != nullptr ? getLength() : 0; }

// Appends one record's version line and, while room remains, its line end.
int AppendVersionLine(int (*getVersion)(char *, int), u32 kind, char *buf, int cap, int used) {
    if (kind == 0 || getVersion == nullptr || used >= cap) return used;
    int n = getVersion(buf + used, cap - used);
    if (n < 0) n = 0;
    if (n > cap - used) n = cap - used;
    used += n;
    if (n > 0 && cap - used > 10) {
        std::memcpy(buf + used, "\r\n  ", 5);
        used += 4;
    }
    return used;
}

}  // namespace

// ---- Per image and walks.

void Dec_ResetModulesForImage() {
    g_edgeThresholds = kDefaultEdgeThresholds;
    g_state.decodeSource = kSourceNone;
    g_state.matrixIndex = -1;
    g_state.ocrIndex = -1;
    g_state.decodedModuleId = 0;
    for (const SYM_MODULE &m : g_modules.matrix) {
        if (m.resetForImage != nullptr) m.resetForImage();
    }
    for (u8 &f : g_state.matrixSuccess) f = 0;
    for (const SYM_MODULE &m : g_modules.stacked) {
        if (m.resetForImage != nullptr) m.resetForImage();
    }
    g_multiList.entryCount = 0;
    g_multiList.textTotal = 0;
    for (i32 &c : g_multiList.classCount) c = 0;
    for (MULTI_ENTRY &e : g_multiList.entries) e = MULTI_ENTRY{};
}

int Dec_WalkMatrixModules() {
    for (int i = 0; i < kMatrixModules; ++i) {
        const SYM_MODULE &m = g_modules.matrix[i];
        if (m.decode == nullptr) continue;
        Dec_ClearResultStore();
        if (m.decode() != 1) continue;
        g_state.decodeSource = kSourceMatrix;
        g_state.matrixSuccess[i] = 1;
        if (m.getHeader != nullptr) m.getHeader(&g_state.moduleHeader);
        g_state.matrixIndex = i;
        return 1;
    }
    return 0;
}

void Dec_OrderStackedModules() {
    SYM_MODULE *s = g_modules.stacked;
    const i32 c = g_state.regionClass[0];
    const bool pdfFirst = s[0].moduleId == kModulePdf417 && s[1].moduleId == kModuleComposite1D;
    const bool linearFirst = s[0].moduleId == kModuleComposite1D && s[1].moduleId == kModulePdf417;
    if ((c == kRegionClassBars && pdfFirst) || (c == kClassStackedPdfFirst && linearFirst)) {
        const SYM_MODULE t = s[0];
        s[0] = s[1];
        s[1] = t;
    }
}

int Dec_WalkStackedModules() {
    Dec_OrderStackedModules();
    const u32 count = g_state.walkCount < 4 ? g_state.walkCount : 4;
    for (const SYM_MODULE &m : g_modules.stacked) {
        if (Dec_TimeLimitReached() != 0) return 0;
        for (u32 j = 0; j < count; ++j) {
            if (g_state.walkIds[j] != m.moduleId || m.decode == nullptr) continue;
            if (m.decode() == 0) continue;
            g_state.decodedModuleId = static_cast<u16>(m.moduleId);
            g_state.decodeSource = kSourceStacked;
            return 1;
        }
    }
    return 0;
}

int Dec_TryLinearModule(u32 flags) {
    for (const SYM_MODULE &m : g_modules.stacked) {
        if (!IsLinearRecord(m)) continue;
        if (m.setLinkage != nullptr) m.setLinkage(flags);
        if (m.decode != nullptr && m.decode() == 1) {
            g_state.decodeSource = kSourceStacked;
            g_state.decodedModuleId = static_cast<u16>(kModuleComposite1D);
            return 1;
        }
    }
    return 0;
}

int Dec_TryPdfModule() {
    for (const SYM_MODULE &m : g_modules.stacked) {
        if (!IsPdfRecord(m) || m.decode == nullptr) continue;
        if (m.decode() != 0) {
            g_state.decodeSource = kSourceStacked;
            g_state.decodedModuleId = static_cast<u16>(kModulePdf417);
            return 1;
        }
    }
    return 0;
}

void Dec_SetLinearLinkage(u32 flags) {
    for (const SYM_MODULE &m : g_modules.stacked) {
        if (IsLinearRecord(m) && m.setLinkage != nullptr) m.setLinkage(flags);
    }
}

// ---- Read-back by decode source.

const u8 *Dec_GetDecodedData() {
    switch (g_state.decodeSource) {
        case kSourceMatrix:
            for (int i = 0; i < kMatrixModules; ++i) {
                const SYM_MODULE &m = g_modules.matrix[i];
                if (!MatrixRecordDecoded(i) || m.getData == nullptr) continue;
                if (const u8 *p = m.getData()) return p;
            }
            return nullptr;
        case kSourceStacked:
            for (const SYM_MODULE &m : g_modules.stacked) {
                if (m.getData == nullptr) continue;
                if (const u8 *p = m.getData()) return p;
            }
            return nullptr;
        case kSourceExternal:
            return g_modules.external.getData != nullptr ? g_modules.external.getData(g_state.extensionArgs) : nullptr;
        case kSourceOcrPostal:
            return g_state.ocrSuccess != 0 && g_modules.ocr.getData != nullptr ? g_modules.ocr.getData() : nullptr;
        default:
            return nullptr;
    }
}

int Dec_GetDecodedLength() {
    switch (g_state.decodeSource) {
        case kSourceMatrix:
            for (int i = 0; i < kMatrixModules; ++i) {
                if (!MatrixRecordDecoded(i)) continue;
                const int n = LengthOf(g_modules.matrix[i].getLength);
                if (n > 0) return n;
            }
            return 0;
        case kSourceStacked:
            for (const SYM_MODULE &m : g_modules.stacked) {
                const int n = LengthOf(m.getLength);
                if (n > 0) return n;
            }
            return 0;
        case kSourceExternal: {
            const int n = LengthOf(g_modules.external.getLength);
            return n > 0 ? n : 0;
        }
        case kSourceOcrPostal: {
            const int n = g_state.ocrSuccess != 0 ? LengthOf(g_modules.ocr.getLength) : 0;
            return n > 0 ? n : 0;
        }
        default:
            return 0;
    }
}

// For the matrix source the identifier comes from the same module as the data: the one
// whose id was taken as the result. That module need not be the one at the matrix index
// when a joined set completes after the last region.
void Dec_GetAimIdBySource(char *out) {
    if (out == nullptr) return;
    switch (g_state.decodeSource) {
        case kSourceStacked:
            for (const SYM_MODULE &m : g_modules.stacked) {
                if (m.moduleId != g_state.decodedModuleId || LengthOf(m.getLength) <= 0) continue;
                if (m.getAimId != nullptr) m.getAimId(out);
            }
            return;
        case kSourceMatrix:
            for (int i = 0; i < kMatrixModules; ++i) {
                const SYM_MODULE &m = g_modules.matrix[i];
                if (!MatrixRecordDecoded(i) || LengthOf(m.getLength) <= 0) continue;
                if (m.getAimId != nullptr) m.getAimId(out);
                return;
            }
            return;
        case kSourceOcrPostal:
            if (g_state.ocrSuccess != 0 && g_state.ocrIndex == 0 && LengthOf(g_modules.ocr.getLength) > 0 &&
                g_modules.ocr.getAimId != nullptr) {
                g_modules.ocr.getAimId(out);
            }
            return;
        default:
            return;
    }
}

void Dec_FillModuleResult(MODULE_RESULT *out) {
    if (out == nullptr) return;
    switch (g_state.decodeSource) {
        case kSourceStacked:
            for (const SYM_MODULE &m : g_modules.stacked) {
                if (LengthOf(m.getLength) <= 0) continue;
                if (m.fillResult != nullptr) m.fillResult(out);
                return;
            }
            return;
        case kSourceMatrix:
            for (const SYM_MODULE &m : g_modules.matrix) {
                if (m.moduleId != g_state.decodedModuleId || LengthOf(m.getLength) <= 0) continue;
                if (m.fillResult != nullptr) m.fillResult(out);
                return;
            }
            return;
        case kSourceExternal:
            if (LengthOf(g_modules.external.getLength) > 0 && g_modules.external.fillResult != nullptr) {
                g_modules.external.fillResult(out);
            }
            return;
        case kSourceOcrPostal:
            if (LengthOf(g_modules.ocr.getLength) > 0 && g_modules.ocr.fillResult != nullptr) {
                g_modules.ocr.fillResult(out);
            }
            return;
        default:
            return;
    }
}

int Dec_GetModulePosition(int index, REGION_QUAD *out) {
    if (static_cast<u32>(index) > kLastLocatedMatrix) return 1;
    const SYM_MODULE &m = g_modules.matrix[index];
    if (m.getHeader == nullptr) return 0;
    m.getHeader(&g_state.moduleHeader);
    if (g_state.moduleHeader.kind == kKindMatrix && g_state.moduleHeader.symbologyNumber == kHeaderWithoutCorners) {
        return 1;
    }
    if (m.getCorners == nullptr || out == nullptr) return 0;
    m.getCorners(out);
    return 1;
}

// ---- Result store.

void Dec_ClearResultStore() {
    RESULT_STORE &s = g_params.resultStore;
    s.storedLength[0] = 0;
    s.storedLength[1] = 0;
    s.storedQuad[0] = REGION_QUAD{};
    s.storedQuad[1] = REGION_QUAD{};
    s.storedCount = 0;
}

void Dec_ResetResultStore() {
    Dec_ClearResultStore();
    std::memset(g_params.resultStore.storedData0, 0, sizeof g_params.resultStore.storedData0);
    std::memset(g_params.resultStore.storedData1, 0, sizeof g_params.resultStore.storedData1);
}

int Dec_StoreResult(const u8 *text, i32 length, const REGION_QUAD *quad) {
    RESULT_STORE &rs = g_params.resultStore;
    if (rs.storedCount == 1 && Geo_QuadsOverlap(&rs.storedQuad[0], quad) != 0) return 0;
    if (rs.storedCount < 0 || rs.storedCount > 1) return 1;
    if (length < 0 || length > kStoredResultBytes) return 0;
    const i32 slot = rs.storedCount;
    const i32 n = text == nullptr ? 0 : length;
    rs.storedLength[slot] = n;
    rs.storedQuad[slot] = *quad;
    if (n > 0) std::memcpy(slot == 0 ? rs.storedData0 : rs.storedData1, text, static_cast<size_t>(n));
    ++rs.storedCount;
    return 1;
}

// ---- Typed callbacks.

void Dec_InstallCallback(int type, TypedCallback fn) {
    if (type >= 1 && type <= kCallbackTypes) g_callbacks[type - 1] = fn;
}

int Dec_CallTypedCallback(int type, void *data) {
    if (type < 1 || type > kCallbackTypes) return 0;
    const TypedCallback fn = g_callbacks[type - 1];
    return fn != nullptr ? fn(data) : 0;
}

void Dec_ClearCallbacks() {
    for (TypedCallback &fn : g_callbacks) fn = nullptr;
}

// ---- Version lines.

int Dec_AppendStackedVersions(char *buf, int cap, int used) {
    for (const SYM_MODULE &m : g_modules.stacked) used = AppendVersionLine(m.getVersion, m.kind, buf, cap, used);
    return used;
}

int Dec_AppendMatrixVersions(char *buf, int cap, int used) {
    for (const SYM_MODULE &m : g_modules.matrix) used = AppendVersionLine(m.getVersion, m.kind, buf, cap, used);
    return used;
}

int Dec_AppendOcrVersion(char *buf, int cap, int used) {
    return AppendVersionLine(g_modules.ocr.getVersion, g_modules.ocr.kind, buf, cap, used);
}

int Dec_AppendExternalVersion(char *buf, int cap, int used) {
    return AppendVersionLine(g_modules.external.getVersion, g_modules.external.kind, buf, cap, used);
}

int Dec_CollectVersions(char *buf, int cap, int used) {
    if (buf == nullptr || cap <= 0) return used - 2;
    if (used < 0) used = 0;
    used = Dec_AppendStackedVersions(buf, cap, used);
    used = Dec_AppendMatrixVersions(buf, cap, used);
    used = Dec_AppendOcrVersion(buf, cap, used);
    used = Dec_AppendExternalVersion(buf, cap, used);
    return used - 2;
}

i32 Dec_GetLastSymbologyCode() { return g_state.lastSymbologyCode; }

// ---- Status words.

void Dec_ClearStatusWords() {
    for (u32 &w : g_statusWords) w = 0;
}

void Dec_AddStatusBits(u32 bits) { g_statusWords[2] |= bits; }

u32 Dec_GetStatusWord(int i) { return i >= 0 && i < kStatusWordCount ? g_statusWords[i] : 0; }

// ---- Trace points.

void Dec_TraceLabel(const char *) {}
void Dec_TraceNote(const char *) {}
void Dec_TraceApi(const char *) {}
i32 Dec_TraceValue(i32 value) { return value; }
const void *Dec_TraceBuffer(const void *buf, i32) { return buf; }
void Dec_FilterText(u8 *, i32, i32, i32) {}
void Dec_DebugMark(const void *, i32) {}
i32 Dec_PassResult(i32 value) { return value; }

}  // namespace vexo
