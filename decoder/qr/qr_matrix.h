// What the QR stages hand each other: the module matrix layout, the function-module map, and
// the records the data layer reads and writes (symbol state, structured-append header, data
// decoder state).
//
// Module matrix: n x n bytes, row by row (module (row r, column c) at r * n + c), one byte per
// module, 0 light and 1 dark; n = 4 * version + 17 (21..177). The function-module map has
// the same layout, 0 for a data module and kQrFunctionModule for a function module.
#pragma once

#include "core/types.h"

namespace vexo {

inline constexpr i32 kQrMinVersion = 1;
inline constexpr i32 kQrMaxVersion = 40;
inline constexpr i32 kQrMinDimension = 21;
inline constexpr i32 kQrMaxDimension = 177;
inline constexpr i32 kQrMaxModules = kQrMaxDimension * kQrMaxDimension;
inline constexpr u8 kQrFunctionModule = 240;
// Text buffer every QR caller hands to the data decoders.
inline constexpr i32 kQrTextCapacity = 7280;
// Largest codeword count of any version (version 40).
inline constexpr i32 kQrMaxCodewords = 3706;

// Modules per side of a version (1..40).
constexpr i32 QR_DimensionOfVersion(i32 version) { return 4 * version + 17; }
// Version index (version - 1) of a dimension; not checked against the range.
constexpr i32 QR_VersionIndexOfDimension(i32 n) { return (n - 21) / 4; }
// 1 when n is the dimension of a QR Code version 1..40.
constexpr bool QR_IsDimension(i32 n) {
    return n >= kQrMinDimension && n <= kQrMaxDimension && (n - kQrMinDimension) % 4 == 0;
}

// Structured-append header of the symbol decoded last.
struct QR_SA_INFO {
    i32 index;    // position in the sequence, 0..15
    i32 count;    // symbols in the sequence, 1..16
    i32 parity;   // the sequence's parity byte
    i32 present;  // 1 when the symbol carried the header
};
static_assert(sizeof(QR_SA_INFO) == 16);

// How the symbol being decoded is read (decode path kinds).
inline constexpr i32 kQrKindModel1 = 100;
inline constexpr i32 kQrKindModel2 = 101;
inline constexpr i32 kQrKindMicro = 102;

// Per-symbol decode state. The symbol decode sets it up per candidate; the data layer reads
// `kind` and `model1` and writes `eciSeen`, `fnc1Mode`, `data` and `length`.
struct QR_SYMBOL_STATE {
    i32 kind;          // 100 Model 1, 101 Model 2, 102 Micro QR, 0 while nothing is decoded
    i32 eciSeen;       // 1 once an ECI designator was read
    i32 fnc1Mode;      // 1 FNC1 in first position, 2 in second position
    QR_SA_INFO *sa;    // where a structured-append header goes (may be null: not recorded)
    u8 *data;          // start of the decoded text
    i32 length;        // its length
    float moduleSize;  // pixels per module
    i32 version;       // 1..40; -1 when the estimate failed
    i32 dimension;     // 4 * version + 17
    i32 alignmentCount;
    i32 model1;        // 1 while a Model 1 reading is possible
    i32 model1Format;
    i32 model2;        // 1 while the Model 2 path is to be used
    i32 model2Format;
};

// The data decoder's state. `length` is the decoded length the module reports.
struct QR_DATA_STATE {
    i32 headerMode;    // low byte the data-header mode (0, 254, 255); second byte its header byte
    i32 versionIndex;  // Model 1: version - 1
    i32 level;         // Model 1: 0 L, 1 M, 2 Q, 3 H
    i32 mask;          // Model 1: data mask 0..7
    u8 *cursor;        // where the next output byte goes
    i32 length;        // output bytes written so far
    i32 capacity;      // bytes the output may hold; no write passes it
};

extern QR_SYMBOL_STATE g_qrSymbol;
extern QR_DATA_STATE g_qrData;

}  // namespace vexo
