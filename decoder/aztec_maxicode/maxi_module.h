// The MaxiCode module's records and tables of the data layer: the structured carrier
// message, the AIM modifier and structured-append record the codeword decoder leaves for the
// driver, the module table of the hexagonal grid and the codeword placement.
#pragma once

#include <array>

#include "core/types.h"

namespace vexo {

// Fields of a structured carrier message (modes 2 and 3). The driver owns one instance and
// clears it once per decode; the codeword decoder fills it and inserts it into the text.
inline constexpr i32 kMaxiPostalChars = 12;
struct MAXI_CARRIER {
    i32 mode;  // 2 or 3
    i32 postalLength;
    char postal[kMaxiPostalChars];  // not terminated
    i32 country;
    char countryText[4];  // three digits and a zero
    i32 service;
    char serviceText[4];  // three digits and a zero
};

// Structured append of the symbol decoded last: written when a symbol carries an indicator,
// read by nothing.
struct MAXI_APPEND {
    i32 position;
    i32 count;
    i32 present;
};

// Module-wide state. eciCount and the append values are reset by every codeword decoding;
// the AIM modifier changes only on a successful one and the append record only when a
// symbol carries an indicator; the driver owns both across decodes.
struct MAXI_STATE {
    i32 eciCount;
    i32 appendPosition;  // 0 when the symbol has no indicator
    i32 appendCount;
    u8 aimModifier;  // '0' before any decode
    MAXI_APPEND append;
};

extern MAXI_STATE g_maxiState;

// The grid: 33 rows, row r at y = 51 + 76 r in symbol units; even rows hold 30 positions at
// x = 44 + 88 c, odd rows 29 at x = 88 + 88 c (half a module to the right).
inline constexpr i32 kMaxiRows = 33;
inline constexpr i32 kMaxiCols = 30;
inline constexpr i32 kMaxiModules = 882;
inline constexpr i32 kMaxiDataModules = 864;
inline constexpr i32 kMaxiCodewords = 144;

struct MAXI_MODULE_POS {
    u16 x;
    u16 y;
};

// Columns of the bulls-eye area left out of rows 11..21 (ISO/IEC 16023's symbol layout).
inline constexpr i32 kMaxiBullseyeFirstRow = 11;
inline constexpr i8 kMaxiBullseyeCols[11][2] = {
    {11, 15}, {11, 17}, {10, 17}, {10, 18}, {9, 18}, {9, 19}, {9, 18}, {10, 18}, {10, 17}, {11, 17}, {11, 16},
};

// Positions in a row: 30 on even rows, 29 on odd ones.
constexpr i32 Maxi_RowLength(i32 row) { return (row & 1) != 0 ? kMaxiCols - 1 : kMaxiCols; }

// 1 when (row, column) is a module of the table: not a spare of row 0, not the bulls-eye.
constexpr i32 Maxi_IsTableModule(i32 row, i32 col) {
    if (row < 0 || row >= kMaxiRows || col < 0 || col >= Maxi_RowLength(row)) return 0;
    if (row == 0 && col >= 28) return 0;
    const i32 b = row - kMaxiBullseyeFirstRow;
    if (b >= 0 && b < 11 && col >= kMaxiBullseyeCols[b][0] && col <= kMaxiBullseyeCols[b][1]) return 0;
    return 1;
}

constexpr std::array<MAXI_MODULE_POS, kMaxiModules> Maxi_BuildModuleTable() {
    std::array<MAXI_MODULE_POS, kMaxiModules> t{};
    i32 n = 0;
    for (i32 r = 0; r < kMaxiRows; ++r) {
        for (i32 c = 0; c < Maxi_RowLength(r); ++c) {
            if (Maxi_IsTableModule(r, c) == 0 || n >= kMaxiModules) continue;
            const i32 x = (r & 1) != 0 ? 88 + 88 * c : 44 + 88 * c;
            t[static_cast<u32>(n++)] = MAXI_MODULE_POS{static_cast<u16>(x), static_cast<u16>(51 + 76 * r)};
        }
    }
    return t;
}

// Module centres in symbol units, row by row from the top, left to right; a module's index
// is its place here.
inline constexpr std::array<MAXI_MODULE_POS, kMaxiModules> kMaxiModuleTable = Maxi_BuildModuleTable();
static_assert(kMaxiModuleTable[881].x == 44 + 88 * 29 && kMaxiModuleTable[881].y == 51 + 76 * 32);
static_assert(kMaxiModuleTable[440].x == 1804 && kMaxiModuleTable[440].y == 1267);

constexpr i32 Maxi_ModuleRow(i32 index) { return (kMaxiModuleTable[static_cast<u32>(index)].y - 51) / 76; }
constexpr i32 Maxi_ModuleCol(i32 index) {
    const i32 r = Maxi_ModuleRow(index);
    return (kMaxiModuleTable[static_cast<u32>(index)].x - ((r & 1) != 0 ? 88 : 44)) / 88;
}

// The codeword placement of ISO/IEC 16023 as its grid of bit numbers, by (row, column): the
// module that carries bit 6 c + k of the codewords, k = 0 the most significant bit of
// codeword c. -1: no module of the table (the spares of row 0, the bulls-eye area, the
// missing last position of odd rows); -2: an orientation module. Recovered by observing
// libzint symbols whose codewords were known (the standard's grid, not code) and checked
// against fresh libzint symbols by the tests.
inline constexpr i16 kMaxiBitGrid[kMaxiRows][kMaxiCols] = {
    {121, 120, 127, 126, 133, 132, 139, 138, 145, 144, 151, 150, 157, 156, 163, 162, 169, 168, 175, 174, 181, 180, 187, 186, 193, 192, 199, 198,  -1,  -1},  // row 0
    {123, 122, 129, 128, 135, 134, 141, 140, 147, 146, 153, 152, 159, 158, 165, 164, 171, 170, 177, 176, 183, 182, 189, 188, 195, 194, 201, 200, 816,  -1},  // row 1
    {125, 124, 131, 130, 137, 136, 143, 142, 149, 148, 155, 154, 161, 160, 167, 166, 173, 172, 179, 178, 185, 184, 191, 190, 197, 196, 203, 202, 818, 817},  // row 2
    {283, 282, 277, 276, 271, 270, 265, 264, 259, 258, 253, 252, 247, 246, 241, 240, 235, 234, 229, 228, 223, 222, 217, 216, 211, 210, 205, 204, 819,  -1},  // row 3
    {285, 284, 279, 278, 273, 272, 267, 266, 261, 260, 255, 254, 249, 248, 243, 242, 237, 236, 231, 230, 225, 224, 219, 218, 213, 212, 207, 206, 821, 820},  // row 4
    {287, 286, 281, 280, 275, 274, 269, 268, 263, 262, 257, 256, 251, 250, 245, 244, 239, 238, 233, 232, 227, 226, 221, 220, 215, 214, 209, 208, 822,  -1},  // row 5
    {289, 288, 295, 294, 301, 300, 307, 306, 313, 312, 319, 318, 325, 324, 331, 330, 337, 336, 343, 342, 349, 348, 355, 354, 361, 360, 367, 366, 824, 823},  // row 6
    {291, 290, 297, 296, 303, 302, 309, 308, 315, 314, 321, 320, 327, 326, 333, 332, 339, 338, 345, 344, 351, 350, 357, 356, 363, 362, 369, 368, 825,  -1},  // row 7
    {293, 292, 299, 298, 305, 304, 311, 310, 317, 316, 323, 322, 329, 328, 335, 334, 341, 340, 347, 346, 353, 352, 359, 358, 365, 364, 371, 370, 827, 826},  // row 8
    {409, 408, 403, 402, 397, 396, 391, 390,  79,  78,  -2,  -2,  13,  12,  37,  36,   2,  -2,  44,  43, 109, 108, 385, 384, 379, 378, 373, 372, 828,  -1},  // row 9
    {411, 410, 405, 404, 399, 398, 393, 392,  81,  80,  40,  -2,  15,  14,  39,  38,   3,  -2,  -2,  45, 111, 110, 387, 386, 381, 380, 375, 374, 830, 829},  // row 10
    {413, 412, 407, 406, 401, 400, 395, 394,  83,  82,  41,  -1,  -1,  -1,  -1,  -1,   5,   4,  47,  46, 113, 112, 389, 388, 383, 382, 377, 376, 831,  -1},  // row 11
    {415, 414, 421, 420, 427, 426, 103, 102,  55,  54,  16,  -1,  -1,  -1,  -1,  -1,  -1,  -1,  20,  19,  85,  84, 433, 432, 439, 438, 445, 444, 833, 832},  // row 12
    {417, 416, 423, 422, 429, 428, 105, 104,  57,  56,  -1,  -1,  -1,  -1,  -1,  -1,  -1,  -1,  22,  21,  87,  86, 435, 434, 441, 440, 447, 446, 834,  -1},  // row 13
    {419, 418, 425, 424, 431, 430, 107, 106,  59,  58,  -1,  -1,  -1,  -1,  -1,  -1,  -1,  -1,  -1,  23,  89,  88, 437, 436, 443, 442, 449, 448, 836, 835},  // row 14
    {481, 480, 475, 474, 469, 468,  48,  -2,  30,  -1,  -1,  -1,  -1,  -1,  -1,  -1,  -1,  -1,  -1,   0,  53,  52, 463, 462, 457, 456, 451, 450, 837,  -1},  // row 15
    {483, 482, 477, 476, 471, 470,  49,  -2,  -2,  -1,  -1,  -1,  -1,  -1,  -1,  -1,  -1,  -1,  -1,  -1,  -2,  -2, 465, 464, 459, 458, 453, 452, 839, 838},  // row 16
    {485, 484, 479, 478, 473, 472,  51,  50,  31,  -1,  -1,  -1,  -1,  -1,  -1,  -1,  -1,  -1,  -1,   1,  -2,  42, 467, 466, 461, 460, 455, 454, 840,  -1},  // row 17
    {487, 486, 493, 492, 499, 498,  97,  96,  61,  60,  -1,  -1,  -1,  -1,  -1,  -1,  -1,  -1,  -1,  26,  91,  90, 505, 504, 511, 510, 517, 516, 842, 841},  // row 18
    {489, 488, 495, 494, 501, 500,  99,  98,  63,  62,  -1,  -1,  -1,  -1,  -1,  -1,  -1,  -1,  28,  27,  93,  92, 507, 506, 513, 512, 519, 518, 843,  -1},  // row 19
    {491, 490, 497, 496, 503, 502, 101, 100,  65,  64,  17,  -1,  -1,  -1,  -1,  -1,  -1,  -1,  18,  29,  95,  94, 509, 508, 515, 514, 521, 520, 845, 844},  // row 20
    {559, 558, 553, 552, 547, 546, 541, 540,  73,  72,  32,  -1,  -1,  -1,  -1,  -1,  -1,  10,  67,  66, 115, 114, 535, 534, 529, 528, 523, 522, 846,  -1},  // row 21
    {561, 560, 555, 554, 549, 548, 543, 542,  75,  74,  -2,  -2,   7,   6,  35,  34,  11,  -2,  69,  68, 117, 116, 537, 536, 531, 530, 525, 524, 848, 847},  // row 22
    {563, 562, 557, 556, 551, 550, 545, 544,  77,  76,  -2,  33,   9,   8,  25,  24,  -2,  -2,  71,  70, 119, 118, 539, 538, 533, 532, 527, 526, 849,  -1},  // row 23
    {565, 564, 571, 570, 577, 576, 583, 582, 589, 588, 595, 594, 601, 600, 607, 606, 613, 612, 619, 618, 625, 624, 631, 630, 637, 636, 643, 642, 851, 850},  // row 24
    {567, 566, 573, 572, 579, 578, 585, 584, 591, 590, 597, 596, 603, 602, 609, 608, 615, 614, 621, 620, 627, 626, 633, 632, 639, 638, 645, 644, 852,  -1},  // row 25
    {569, 568, 575, 574, 581, 580, 587, 586, 593, 592, 599, 598, 605, 604, 611, 610, 617, 616, 623, 622, 629, 628, 635, 634, 641, 640, 647, 646, 854, 853},  // row 26
    {727, 726, 721, 720, 715, 714, 709, 708, 703, 702, 697, 696, 691, 690, 685, 684, 679, 678, 673, 672, 667, 666, 661, 660, 655, 654, 649, 648, 855,  -1},  // row 27
    {729, 728, 723, 722, 717, 716, 711, 710, 705, 704, 699, 698, 693, 692, 687, 686, 681, 680, 675, 674, 669, 668, 663, 662, 657, 656, 651, 650, 857, 856},  // row 28
    {731, 730, 725, 724, 719, 718, 713, 712, 707, 706, 701, 700, 695, 694, 689, 688, 683, 682, 677, 676, 671, 670, 665, 664, 659, 658, 653, 652, 858,  -1},  // row 29
    {733, 732, 739, 738, 745, 744, 751, 750, 757, 756, 763, 762, 769, 768, 775, 774, 781, 780, 787, 786, 793, 792, 799, 798, 805, 804, 811, 810, 860, 859},  // row 30
    {735, 734, 741, 740, 747, 746, 753, 752, 759, 758, 765, 764, 771, 770, 777, 776, 783, 782, 789, 788, 795, 794, 801, 800, 807, 806, 813, 812, 861,  -1},  // row 31
    {737, 736, 743, 742, 749, 748, 755, 754, 761, 760, 767, 766, 773, 772, 779, 778, 785, 784, 791, 790, 797, 796, 803, 802, 809, 808, 815, 814, 863, 862},  // row 32
};

constexpr std::array<std::array<u16, 6>, kMaxiCodewords> Maxi_BuildPlacement() {
    std::array<std::array<u16, 6>, kMaxiCodewords> p{};
    for (i32 m = 0; m < kMaxiModules; ++m) {
        const i32 bit = kMaxiBitGrid[Maxi_ModuleRow(m)][Maxi_ModuleCol(m)];
        if (bit < 0 || bit >= kMaxiDataModules) continue;
        p[static_cast<u32>(bit / 6)][static_cast<u32>(bit % 6)] = static_cast<u16>(m);
    }
    return p;
}

// Row c: the modules of codeword c, most significant bit first; derived from the grid.
inline constexpr std::array<std::array<u16, 6>, kMaxiCodewords> kMaxiPlacement = Maxi_BuildPlacement();
static_assert(kMaxiPlacement[0][0] == 421 && kMaxiPlacement[0][5] == 334);
static_assert(kMaxiPlacement[20][0] == 1 && kMaxiPlacement[143][5] == 880);

}  // namespace vexo
