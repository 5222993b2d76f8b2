// Records through which the symbology modules plug into the decode sequence and report
// to the core: the module record with its operation slots, the result summaries, the
// shared 2D result store and the list that gathers the matrix results of one image.
#pragma once

#include "core/types.h"

namespace vexo {

inline constexpr u32 kKindMatrix = 0xC2;   // 2D and stacked modules
inline constexpr u32 kKindLinear = 0xC1;   // the linear module
inline constexpr u32 kKindSpecial = 0xC3;

// What a module reports after a decode.
struct MODULE_RESULT {
    u32 kind;
    u32 symbologyBit;
    const u8 *data;
    u32 length;
    i32 status;
    u32 reserved;
    u32 extra;
};

// Symbology number and code character of the module that decoded.
struct MODULE_HEADER {
    u32 kind;
    u32 symbologyNumber;
    u32 codeChar;
};

inline constexpr int kStoredResultBytes = 7832;

// Up to two 2D results of one decode call, written by the 2D decoders.
struct RESULT_STORE {
    i32 storedLength[2];
    REGION_QUAD storedQuad[2];
    i32 storedCount;
    u8 storedData0[kStoredResultBytes];
    u8 storedData1[kStoredResultBytes];
};

// Values of a module's status slot.
inline constexpr i32 kStatusNothing = -1;
inline constexpr i32 kStatusDecoded = 0;
inline constexpr i32 kStatusLengthRefused = 11;

// One symbology module as the core sees it: a kind and id word and 22 operation slots,
// any of which may be empty (every caller skips an empty slot).
struct SYM_MODULE {
    u32 kind;  // kKindMatrix, kKindLinear, or 0 for an empty record
    u32 moduleId;
    int (*getVersion)(char *buf, int len);  // version line, at most len bytes, no terminator
    void (*resetForImage)();
    int (*decode)();  // 1 decoded
    int (*getStatus)();
    const u8 *(*getData)();
    int (*getLength)();
    void (*fillResult)(MODULE_RESULT *out);
    int (*getAppendPresent)();
    int (*getAppendIndex)();
    int (*getAppendIndex2)();
    int (*getAppendCount)();
    int (*getFileIdLength)();
    int (*getFileIdItem)(int i);
    void (*slot14)();  // unused
    void (*getAimId)(char *out);
    void (*getHeader)(MODULE_HEADER *out);
    void (*getCorners)(REGION_QUAD *out);
    const u8 *(*getRawData)();
    int (*getRawLength)();
    void (*writeAimId)(char *out);
    void (*setLinkage)(u32 flags);
    void (*slot22)();  // unused
};

// The external extension record: the kind and id word and slots 1 to 15 only; its decode
// and data slots take the extension arguments.
struct EXT_MODULE {
    u32 kind;
    u32 moduleId;
    int (*getVersion)(char *buf, int len);
    void (*resetForImage)();
    int (*decode)(void *args);
    int (*getStatus)();
    const u8 *(*getData)(void *args);
    int (*getLength)();
    void (*fillResult)(MODULE_RESULT *out);
    int (*getAppendPresent)();
    int (*getAppendIndex)();
    int (*getAppendIndex2)();
    int (*getAppendCount)();
    int (*getFileIdLength)();
    int (*getFileIdItem)(int i);
    void (*slot14)();
    void (*getAimId)(char *out);
};

inline constexpr int kMatrixModules = 7;
inline constexpr int kStackedModules = 3;

// The module arrays and the two extension records.
struct MODULE_ARRAYS {
    SYM_MODULE matrix[kMatrixModules];    // walked per located region
    SYM_MODULE stacked[kStackedModules];  // PDF417 and the linear module; 0 and 1 may swap
    EXT_MODULE external;
    SYM_MODULE ocr;
};

// Module ids.
inline constexpr u32 kModuleComposite1D = 1;
inline constexpr u32 kModulePdf417 = 2;
inline constexpr u32 kModuleMicroPdf417 = 3;
inline constexpr u32 kModuleQr = 4;
inline constexpr u32 kModuleDataMatrix = 5;
inline constexpr u32 kModuleAztec = 6;
inline constexpr u32 kModuleMaxiCode = 7;
inline constexpr u32 kModuleCsCode = 8;

// Symbology numbers of MODULE_HEADER.
inline constexpr u32 kNumberQr = 1;
inline constexpr u32 kNumberAztec = 2;
inline constexpr u32 kNumberDataMatrix = 3;
inline constexpr u32 kNumberMaxiCode = 4;
inline constexpr u32 kNumberCsCode = 7;
inline constexpr u32 kNumberMicroPdf417 = 10;
inline constexpr u32 kNumberMicroQr = 11;

// Code characters: the class of a result in the multi-result list.
inline constexpr u32 kCharPdf417 = '&';
inline constexpr u32 kCharQr = '\'';
inline constexpr u32 kCharAztec = '(';
inline constexpr u32 kCharDataMatrix = ')';
inline constexpr u32 kCharMaxiCode = '*';
inline constexpr u32 kCharCsCode = '+';
inline constexpr u32 kCharGroup44 = ',';
inline constexpr u32 kCharMicroPdf417 = '0';
inline constexpr u32 kCharMicroQr = '1';
inline constexpr int kClassCount = 64;

// Symbology bits of MODULE_RESULT for the 2D modules.
inline constexpr u32 kBitPdf417 = 0x1;
inline constexpr u32 kBitQr = 0x2;
inline constexpr u32 kBitAztec = 0x4;
inline constexpr u32 kBitDataMatrix = 0x8;
inline constexpr u32 kBitMaxiCode = 0x10;
inline constexpr u32 kBitCsCode = 0x80;
inline constexpr u32 kBitMicroPdf417 = 0x400;
inline constexpr u32 kBitMicroQr = 0x800;

inline constexpr int kMultiEntries = 16;
inline constexpr int kTextPoolBytes = 8192;

// Structured-append record of a list entry.
struct APPEND_RECORD {
    i32 appendFlag;
    i32 index;
    i32 index2;
    i32 count;
    i32 fileIdLength;
};

struct MULTI_ENTRY {
    REGION_QUAD outline;
    i32 length;
    u32 kind;
    u32 symbologyNumber;
    i32 codeChar;
};

// The symbols that the matrix modules decoded in one image, texts back to back in a pool.
struct MULTI_RESULT_LIST {
    i32 classCount[kClassCount];  // entries per code character
    MULTI_ENTRY entries[kMultiEntries];
    APPEND_RECORD append[kMultiEntries];
    i32 textOffset[kMultiEntries + 1];  // the last one is the end
    u16 aimOffset[kMultiEntries + 1];   // 3 x index
    i32 entryCount;
    i32 textTotal;
    u8 *textPool;  // kTextPoolBytes
    u8 aimBytes[3 * kMultiEntries];
    MODULE_RESULT takenResult;
};

// The words from which a 2D matrix module reports its result: written when a result is
// taken from the multi-result list, reset at the start of every decode.
struct REPORTED_RESULT {
    const u8 *data;
    const u8 *aimId;  // three bytes
    i32 length;
    i32 status;
};

// Index of a module's reported-result words.
enum ReportedIndex : int {
    kReportedQr = 0,
    kReportedDataMatrix = 1,
    kReportedAztec = 2,
    kReportedMaxiCode = 3,
    kReportedCsCode = 4,
    kReportedMicroPdf417 = 5,
    kReportedCount = 6,
};

}  // namespace vexo
