// QR Code Model 2 codewords and error correction: data masks, the function-module map, the
// two-column codeword walk, de-interleaving and Reed-Solomon correction of the blocks, and
// the decoder that searches format readings, then every level and mask, in both
// orientations of the matrix. Matrix and map layout: qr/qr_matrix.h.
#pragma once

#include "core/types.h"

namespace vexo {

// Why the last QR decode failed (QR_GetErrorWord): 30 before any decode.
inline constexpr i32 kQrErrSegments = 0;      // data segments refused, or a Model 1 decode began
inline constexpr i32 kQrErrBlock = 10;        // a Reed-Solomon block was uncorrectable
inline constexpr i32 kQrErrInitial = 30;
inline constexpr i32 kQrErrVersion = 40;      // impossible version (or matrix)
inline constexpr i32 kQrErrSearch = 50;       // impossible level, or nothing passed the search
inline constexpr i32 kQrErrCapacity = 60;     // output capacity below the version's codeword count

// 1 when data mask `mask` (0..7) inverts the module at (column, row), else 0 (also for a
// mask outside 0..7 or a negative coordinate).
i32 QR_MaskBit(i32 mask, i32 column, i32 row);
// The module at column x, row y of a matrix with row stride `stride`, XOR the mask bit; -1
// for a mask outside 0..7 or a null matrix. The caller keeps (x, y) inside the matrix.
i32 QR_ReadMaskedModule(const u8 *matrix, i32 x, i32 y, i32 stride, i32 mask);
// Rectangular codeword units (Model 1, Micro QR): the value of the w x h unit whose top-left
// module is (column x, row y), mask removed, bit k the module at (x + k mod w, y + k div w)
// (least significant bit the top-left module). -1 for a mask outside 0..7 or a null matrix;
// the caller keeps the unit inside the matrix.
i32 QR_ReadUnit2x2(const u8 *matrix, i32 x, i32 y, i32 stride, i32 mask);
i32 QR_ReadUnit2x4(const u8 *matrix, i32 x, i32 y, i32 stride, i32 mask);
i32 QR_ReadUnit4x2(const u8 *matrix, i32 x, i32 y, i32 stride, i32 mask);
// XORs the mask into every data module (map entry 0) of the n x n matrix; applying it twice
// restores the matrix. -1 for a mask outside 0..7, null buffers or n outside 21..177
// (nothing written), else 0.
i32 QR_ApplyDataMask(u8 *matrix, const u8 *map, i32 n, i32 mask);

// Fills the n x n map: 0 data module, kQrFunctionModule function module (finders with
// separators, version blocks from version 7, format areas, alignment patterns, timing).
// Answers 1, or 0 (nothing written) for a null map or n not the dimension of a version.
i32 QR_BuildFunctionMap(u8 *map, i32 n);
// Marks row 6 and column 6 (timing patterns) of an n x n map, n in 21..177.
void QR_MarkTimingLines(u8 *map, i32 n);
// Marks the alignment patterns of the version of dimension n (none for version 1); nothing
// for a null map or n not the dimension of a version.
void QR_MarkAlignmentPatterns(u8 *map, i32 n);

// Reads up to `count` codewords (first bit most significant) from the data modules of the
// matrix in the two-column zigzag from the bottom-right corner, skipping column 6. Answers
// the number of whole codewords read (fewer when the data modules run out; 0 for null
// buffers, a negative count or n outside 21..177).
i32 QR_ReadCodewords(u8 *codewords, const u8 *matrix, const u8 *map, i32 n, i32 count);

// De-interleaves the codewords of version index vi (version - 1) and level 0..3 (the
// version's total count of them), corrects each block and decodes the data codewords into
// output (capacity bytes, see QR_DecodeSegments). With `trial` non-zero it only corrects the
// first block: 0 when correctable, -1 when not; nothing is decoded. Otherwise: 0 decoded; -1
// data segments refused (error word 0); -2 a block uncorrectable (error word 10); -3 vi
// outside 0..39 (error word 40) or level outside 0..3 (error word 50).
i32 QR_CorrectBlocks(i32 vi, i32 level, const u8 *codewords, u8 *output, i32 capacity, i32 trial);

// Decodes the n x n Model 2 matrix with its function-module map (QR_BuildFunctionMap) into
// output, which holds `capacity` bytes and receives at most that many. Answers 0 (text and
// length in g_qrData, g_qrSymbol) or -1 with the error word telling why. The matrix is masked
// and transposed in place during the search (the map transposed with it): when no
// combination passed its trial both are left as given, otherwise the matrix may stay masked
// and both may stay transposed.
i32 QR_DecodeModel2(u8 *matrix, u8 *map, i32 n, u8 *output, i32 capacity);

// The QR error word (kQrErr*).
i32 QR_GetErrorWord();
// Sets the error word (the Model 1 decoder reports through it too).
void QR_SetErrorWord(i32 value);

}  // namespace vexo
