#include "linear/isbt128.h"

#include <cstring>

namespace vexo {

namespace {

// ISBT 128 table of ABO/RhD blood groups: the two-character codes...
static constexpr char kBloodGroups[81][3] = {
    "P2", "P3", "P4", "P5", "P7", "P8", "P9", "A2", "A3", "A4", "A5", "A7", "A8", "A9",  //
    "B2", "B3", "B4", "B5", "B7", "B8", "B9", "C2", "C3", "C4", "C5", "C7", "C8", "C9",  //
    "D2", "D3", "D4", "D5", "D6", "D7", "D8", "D9", "E2", "E3", "E4", "E5", "E6", "E7",  //
    "E8", "E9", "G2", "G3", "G4", "G5", "G6", "G7", "G8", "G9", "H2", "H3", "H4", "H5",  //
    "H6", "H7", "H8", "H9", "A0", "B0", "C0", "D0", "E0", "F0", "G0", "H0", "Ma", "Mb",  //
    "Md", "Mf", "Mq", "Mr", "Mx", "T1", "T2", "T3", "T4", "T5", "T6",
};
static_assert(sizeof kBloodGroups / sizeof kBloodGroups[0] == 81);

// ...and the numeric ones, as inclusive ranges.
static constexpr u8 kNumericBloodGroups[8][2] = {{2, 9},   {13, 20}, {24, 31}, {47, 55},
                                                 {58, 66}, {69, 77}, {80, 88}, {91, 98}};
static_assert(sizeof kNumericBloodGroups / sizeof kNumericBloodGroups[0] == 8);

// Product type characters of the product code structure.
static constexpr char kProductTypes[] = "0VRSTPrsA1XDd2LEQ3456";
static_assert(sizeof kProductTypes - 1 == 21);

// Platelet attribute lists of the special testing structure.
static constexpr u8 kPlateletList1[] = {0,  1,  2,  3,  9,  10, 11, 19, 23, 24, 25, 26, 28, 29,
                                        30, 31, 32, 33, 34, 36, 43, 66, 68, 69, 74, 80, 99};
static_assert(sizeof kPlateletList1 == 27);
static constexpr u8 kPlateletList2[] = {0,  5,  7,  8,  21, 22, 27, 35, 37, 38, 39, 40, 41,
                                        42, 67, 70, 71, 72, 73, 75, 76, 77, 78, 81, 99};
static_assert(sizeof kPlateletList2 == 25);

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsUpper(char c) { return c >= 'A' && c <= 'Z'; }
bool IsLower(char c) { return c >= 'a' && c <= 'z'; }
bool IsCodeChar(char c) { return IsDigit(c) || (IsUpper(c) && c != 'O'); }
bool IsFirstChar(char c) { return IsCodeChar(c) && c != '0'; }

// Character classes of the structure patterns: one letter a position.
bool InClass(char cls, char c) {
    switch (cls) {
        case 'd': return IsDigit(c);
        case 'u': return IsUpper(c);
        case 'a': return IsDigit(c) || IsUpper(c) || IsLower(c);
        case 'U': return IsDigit(c) || IsUpper(c);
        case 'l': return IsDigit(c) || IsLower(c);
        case 'f': return IsFirstChar(c);
        case 'c': return IsCodeChar(c);
        case 'z': return c == '0';
        case '*': return true;
        default: return false;
    }
}

int Number2(const char *t, int i) { return (t[i] - '0') * 10 + (t[i + 1] - '0'); }
int Number3(const char *t, int i) { return (t[i] - '0') * 100 + Number2(t, i + 1); }

bool InList(const u8 *list, int n, int v) {
    for (int i = 0; i < n; ++i)
        if (list[i] == v) return true;
    return false;
}

bool DayOfYear(const char *t, u16) {
    const int day = Number3(t, 5);
    return day >= 1 && day <= 366;
}
bool DayAndTime(const char *t, u16 n) { return DayOfYear(t, n) && Number2(t, 8) <= 23 && Number2(t, 10) < 60; }

bool DinFlag(const char *t, u16) {
    const int flag = Number2(t, 14);
    if ((flag >= 12 && flag <= 14) || flag >= 97) return false;
    if (flag >= 60) return flag - 60 == Isbt_CheckDin(t);
    return true;
}
bool BloodGroup(const char *t, u16) { return Isbt_IsBloodGroupCode(t[2], t[3]) != 0; }
bool ProductCode(const char *t, u16) { return Isbt_IsValidProductType(t[2], t[7], t[8], t[9]) != 0; }
bool Platelets(const char *t, u16) {
    auto second = [t](int i) {
        const int v = Number2(t, i);
        return InList(kPlateletList2, sizeof kPlateletList2, v) || (v >= 12 && v <= 18) || (v >= 44 && v <= 65);
    };
    return InList(kPlateletList1, sizeof kPlateletList1, Number2(t, 2)) &&
           InList(kPlateletList1, sizeof kPlateletList1, Number2(t, 4)) && second(6) && second(8);
}
bool Dimensions(const char *t, u16) { return t[18] >= '0' && t[18] <= '2'; }
bool BirthDate(const char *t, u16) {
    return Isbt_IsValidBirthDate(Number2(t, 4) * 100 + Number2(t, 6), Number2(t, 8), Number2(t, 10)) != 0;
}
bool ContainerLength(const char *t, u16 n) {
    const int stated = Number2(t, 4);
    return stated == 0 || stated == n - 6;
}
bool ExpiryMonth(const char *t, u16) {
    const int month = Number2(t, 6);
    return month >= 1 && month <= 12;
}

// How position 1 is identified: a literal character, a first-char (the donation
// identification number) or one of the open "&" identifiers.
enum IdKind : u8 { kIdLiteral, kIdFirstChar, kIdOpen };

struct ISBT_STRUCTURE {
    char lead;        // '=' or '&'
    char second;      // the literal of kIdLiteral
    IdKind kind;
    u8 minLength;
    u16 maxLength;
    u8 fullLength;    // 0: the given length stands
    u8 padFrom;       // first position of the variable part (0: fixed length)
    const char *classes;  // classes from position 2 on; the last one repeats to the end
    bool (*check)(const char *text, u16 length);
};

// The data structures of ISBT 128, in the order they are tried.
static constexpr ISBT_STRUCTURE kStructures[] = {
    {'=', 0, kIdFirstChar, 16, 16, 16, 0, "ccdddddddddddd", DinFlag},        // donation identification
    {'=', '%', kIdLiteral, 6, 6, 6, 0, "aaUU", BloodGroup},                  // blood groups
    {'=', '<', kIdLiteral, 10, 10, 10, 0, "uddddaUl", ProductCode},          // product code
    {'=', '>', kIdLiteral, 8, 8, 8, 0, "dddddd", DayOfYear},                 // expiration date
    {'&', '>', kIdLiteral, 12, 12, 12, 0, "dddddddddd", DayAndTime},          // 5: expiration date and time
    {'=', '*', kIdLiteral, 8, 8, 8, 0, "dddddd", DayOfYear},                 // collection date
    {'&', '*', kIdLiteral, 12, 12, 12, 0, "dddddddddd", DayAndTime},
    {'=', '}', kIdLiteral, 8, 8, 8, 0, "dddddd", DayOfYear},                 // production date
    {'&', '}', kIdLiteral, 12, 12, 12, 0, "dddddddddd", DayAndTime},
    {'&', '(', kIdLiteral, 7, 7, 7, 0, "UUUUU", nullptr},                    // 10: special testing, general
    {'=', '{', kIdLiteral, 20, 20, 20, 0, "dddddddddddddddddd", nullptr},    // special testing, red cell antigens
    {'=', '\\', kIdLiteral, 20, 20, 20, 0, "dddddddddddddddddd", nullptr},
    {'&', '\\', kIdLiteral, 20, 20, 20, 0, "dddddddddddddddddd", nullptr},
    {'&', '{', kIdLiteral, 20, 20, 20, 0, "dddddddddddddddddd", Platelets},  // special testing, platelets
    {'=', '[', kIdLiteral, 20, 20, 20, 0, "dddddddddddddddddd", Dimensions}, // 15: HLA and platelet antigens
    {'=', '"', kIdLiteral, 20, 20, 20, 0, "dddddddddddddddddd", nullptr},
    {'=', ')', kIdLiteral, 6, 12, 12, 5, "UUUa", nullptr},                   // container manufacturer and lot
    {'&', ')', kIdLiteral, 3, 12, 12, 2, "a", nullptr},
    {'=', ';', kIdLiteral, 8, 23, 23, 7, "fccd", nullptr},                   // staff member identification
    {'=', '\'', kIdLiteral, 8, 13, 13, 7, "fccddU", nullptr},                // 20: manufacturer and catalogue
    {'=', '-', kIdLiteral, 5, 12, 12, 4, "UUa", nullptr},                    // container lot
    {'&', '-', kIdLiteral, 3, 12, 12, 2, "a", nullptr},
    {'=', '+', kIdLiteral, 7, 7, 7, 0, "ddddd", nullptr},                    // donor identification
    {'=', '#', kIdLiteral, 12, 12, 12, 0, "dddddddddd", BirthDate},          // patient date of birth
    {'&', '#', kIdLiteral, 6, 0xFFFF, 0, 0, "dddda", ContainerLength},       // 25: patient identification
    {'=', ']', kIdLiteral, 8, 8, 8, 0, "dddddd", ExpiryMonth},               // expiry month and year
    {'&', '"', kIdLiteral, 20, 20, 20, 0, "ddddddddzzzzzzzzzz", nullptr},    // infectious markers
    {'=', '$', kIdLiteral, 18, 18, 18, 0, "fccddddddddddddd", nullptr},      // product consignment
    {'&', 0, kIdOpen, 3, 0xFFFF, 0, 0, "*", nullptr},                        // national and local use
};
static_assert(sizeof kStructures / sizeof kStructures[0] == 29);

bool IdentifierMatches(const ISBT_STRUCTURE &s, char c0, char c1) {
    if (c0 != s.lead) return false;
    switch (s.kind) {
        case kIdLiteral: return c1 == s.second;
        case kIdFirstChar: return IsFirstChar(c1);
        case kIdOpen: return IsLower(c1) || c1 == ';' || c1 == '!';
    }
    return false;
}

bool ClassesMatch(const char *classes, const char *text, u16 length) {
    const size_t n = std::strlen(classes);
    for (u16 k = 2; k < length; ++k) {
        const size_t at = k - 2u < n ? k - 2u : n - 1;
        if (!InClass(classes[at], text[k])) return false;
    }
    return true;
}

// Right-aligns text[from..length-1] to end at full - 1, '0' in between.
void PadVariablePart(char *text, u16 length, u16 full, u16 from) {
    if (length >= full) return;
    const u16 moved = static_cast<u16>(length - from);
    std::memmove(text + full - moved, text + from, moved);
    std::memset(text + from, '0', full - length);
}

u16 CheckStructure(const ISBT_STRUCTURE &s, char *text, u16 length) {
    if (length < s.minLength || length > s.maxLength || !IdentifierMatches(s, text[0], text[1])) return 0;
    if (!ClassesMatch(s.classes, text, length)) return 0;
    if (s.check != nullptr && !s.check(text, length)) return 0;
    if (s.fullLength == 0) return length;
    if (s.padFrom != 0) PadVariablePart(text, length, s.fullLength, s.padFrom);
    return s.fullLength;
}

int CharValue(char c) { return IsDigit(c) ? c - '0' : c - 'A' + 10; }

}  // namespace

u16 Isbt_Validate(char *text, u16 length) {
    if (text == nullptr || length < 3 || (text[0] != '=' && text[0] != '&')) return 0;
    for (const ISBT_STRUCTURE &s : kStructures) {
        const u16 r = CheckStructure(s, text, length);
        if (r != 0) return r;
    }
    return 0;
}

int Isbt_CheckDin(const char *text) {
    i32 sum = 0;
    for (int k = 1; k <= 13; ++k) sum += CharValue(text[k]) * (1 << (14 - k));
    return (38 - sum % 37) % 37;
}

int Isbt_IsBloodGroupCode(char a, char b) {
    if (IsDigit(a) && IsDigit(b)) {
        const int v = (a - '0') * 10 + (b - '0');
        for (const auto &r : kNumericBloodGroups)
            if (v >= r[0] && v <= r[1]) return 1;
        return 0;
    }
    for (const auto &g : kBloodGroups)
        if (g[0] == a && g[1] == b) return 1;
    return 0;
}

int Isbt_IsValidProductType(char letter, char t, char d, char s) {
    switch (letter) {
        case 'A': case 'B': case 'C': case 'D': return 1;
        case 'T': case 'X': return IsDigit(t) && IsDigit(d) && IsDigit(s) ? 1 : 0;
        case 'E': case 'F': case 'S':
            return t != 0 && std::strchr(kProductTypes, t) != nullptr && (IsUpper(d) || d == '0') &&
                           (s == '0' || IsLower(s))
                       ? 1
                       : 0;
        default: return 0;
    }
}

int Isbt_IsValidBirthDate(int year, int month, int day) {
    if (year <= 0 || month < 1 || month > 12 || day < 1 || day > 31) return 0;
    if (day == 31 && (month == 2 || month == 4 || month == 6 || month == 9 || month == 11)) return 0;
    if (month == 2 && (day > 29 || (day == 29 && year % 4 != 0))) return 0;
    return 1;
}

}  // namespace vexo
