// Decode results: two joined codes, the result log lines and AIM identifiers.
#include <string.h>

#include "readercore.h"
#include "rt_log.h"

namespace {

constexpr int kTwoCodeHeader = 6;  // u16 2, u16 len1, u16 len2
constexpr int kLogCodeMax = 25599;

uint32_t u16_le(const uint8_t *p) { return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8; }

int clamp_count(int64_t want, int64_t room) {
    if (room < 0) room = 0;
    int64_t n = want < room ? want : room;
    if (n > kLogCodeMax) n = kLogCodeMax;
    return n < 0 ? 0 : static_cast<int>(n);
}

struct AimEntry {
    char letter;
    char modifier;  // 0: any modifier
    int32_t codeType;
};

// ]E is decided apart (by modifier and length); the others by letter and modifier.
constexpr AimEntry kAimTable[] = {
    {'A', 0, 11},   {'C', '0', 2},  {'C', '1', 36}, {'C', '2', 15}, {'C', '4', 29}, {'F', 0, 12},
    {'G', 0, 14},   {'H', 0, 23},   {'I', 0, 8},    {'L', 0, 26},   {'M', 0, 16},   {'P', 0, 24},
    {'Q', 0, 27},   {'R', 0, 13},   {'S', 0, 18},   {'X', '0', 19}, {'X', '1', 19}, {'X', '2', 19},
    {'X', '3', 19}, {'X', '4', 17}, {'X', '5', 25}, {'d', 0, 28},   {'e', 0, 33},
};
static_assert(sizeof kAimTable / sizeof kAimTable[0] == 23, "AIM identifier table");

int32_t aim_code_type(const char *id, int32_t length) {
    if (id[1] == 'E') {
        if (id[2] == '1' || id[2] == '2' || id[2] == '4') return 4;
        return length == 11 ? 6 : 5;
    }
    for (const AimEntry &e : kAimTable) {
        if (e.letter == id[1] && (e.modifier == 0 || e.modifier == id[2])) return e.codeType;
    }
    return 0;
}

}  // namespace

extern "C" int32_t Decode_Is_TwoCode_From_Decoder(const uint8_t *text, int32_t total, int32_t *len1,
                                                  int32_t *len2) {
    // Only bytes inside total are read: a text shorter than the header is one code.
    if (text == nullptr || total < kTwoCodeHeader) return 1;
    if (text[0] != 2 || text[1] != 0) return 1;
    int64_t l1 = u16_le(text + 2);
    if (len1 != nullptr) *len1 = static_cast<int32_t>(l1);
    if (l1 >= total - 2) return 1;
    int64_t l2 = 0;
    if (l1 + kTwoCodeHeader <= total) {
        l2 = u16_le(text + 4 + l1);
        if (len2 != nullptr) *len2 = static_cast<int32_t>(l2);
        if (l2 >= total - 2) return 1;
    }
    return l1 + l2 + kTwoCodeHeader == total ? 2 : 1;
}

extern "C" void LogResult(ENGINE_RECORD *record, TEXT_DESC *text) {
    if (record == nullptr || record->common == nullptr || text == nullptr) return;
    DECODE_RESULT &result = record->common->mResult;
    // The decoder does not terminate its text: only the descriptor's length is read.
    int64_t length = text->buffer == nullptr ? 0 : (text->length < text->capacity ? text->length : text->capacity);
    if (result.kind == 1) {
        result.len2 = 0;
        rt_log(LOG_LEVEL_RESULT, "%s: Decode OK, data:(%d)(%x)(%.*s) ********************", record->name,
               static_cast<int>(text->length), result.codeId, static_cast<int>(length),
               text->buffer != nullptr ? text->buffer : "");
        return;
    }
    if (result.kind != 2 || (log_get_level() & LOG_LEVEL_RESULT) == 0) return;
    int64_t l1 = result.len1;
    int64_t l2 = result.len2;
    int n1 = clamp_count(l1, length - 4);
    int n2 = clamp_count(l2, length - kTwoCodeHeader - l1);
    const char *first = n1 > 0 ? text->buffer + 4 : "";
    const char *second = n2 > 0 ? text->buffer + kTwoCodeHeader + l1 : "";
    rt_log(LOG_LEVEL_RESULT, "%s: Decode OK, data:(%d) Code 1(%.*s) ********************", record->name,
           static_cast<int>(l1), n1, first);
    rt_log(LOG_LEVEL_RESULT, "%s: Decode OK, data:(%d) Code 2(%.*s) ********************", record->name,
           static_cast<int>(l2), n2, second);
}

extern "C" int32_t ResultAIMIDTran(const char *source, int32_t length, char *out, int32_t *codeType) {
    if (source == nullptr || out == nullptr || length <= 0) return 0;
    int32_t type = 0;
    // An identifier needs three characters; a shorter text is copied whole.
    if (source[0] == ']' && length >= 3) type = aim_code_type(source, length);
    if (codeType != nullptr) *codeType = type;
    if (type == 0) {
        memmove(out, source, static_cast<size_t>(length));
        return length;
    }
    memmove(out, source + 3, static_cast<size_t>(length - 3));
    return length - 3;
}
