#include "core/setup_codes.h"

#include "core/properties.h"

namespace vexo {

SETUP_CONTEXT g_setupContext{};

namespace {

// One property pair: sub-id within the handler's group and the value.
struct SETUP_PAIR {
    u8 sub;
    u32 value;
};

// One listed sub-code and the pairs it stands for. A list's position is the value index
// the handler receives.
struct SETUP_ACTION {
    u16 subCode;  // octal literal, as printed in the setup-code sheets
    u8 count;
    SETUP_PAIR pair[2];
};

struct SETUP_GROUP {
    i32 groupCode;  // octal literal
    i32 handlerIndex;
    const SETUP_ACTION *list;
    i32 length;
};

using SetupHandlerFn = int (*)(SETUP_CONTEXT *);

struct SETUP_HANDLER {
    i32 handlerIndex;
    u32 group;  // 0: no handler
    SetupHandlerFn fn;
};

constexpr u32 kOff = kValOff;
constexpr u32 kOn = kValOn;

constexpr SETUP_ACTION One(u16 code, u8 sub, u32 value) { return {code, 1, {{sub, value}, {0, 0}}}; }
constexpr SETUP_ACTION Two(u16 code, u8 s1, u32 v1, u8 s2, u32 v2) { return {code, 2, {{s1, v1}, {s2, v2}}}; }

// Sub-code lists. Groups printed "as" another group share that group's list.
static constexpr SETUP_ACTION kActCode128[] = {
    One(001, 0, kOff), One(002, 0, kOn), One(006, 3, kOn), One(007, 3, kOff),
    One(010, 4, kValFnc1Plain), One(011, 4, kValFnc1Tilde)};
static_assert(sizeof(kActCode128) / sizeof(kActCode128[0]) == 6);

// Plain on/off groups: ISBT 128, ISSN, GS1 DataBar.
static constexpr SETUP_ACTION kActOnOff[] = {One(001, 0, kOff), One(002, 0, kOn)};
static_assert(sizeof(kActOnOff) / sizeof(kActOnOff[0]) == 2);

static constexpr SETUP_ACTION kActEan8[] = {
    One(001, 0, kOff), One(002, 0, kOn), One(003, 1, kOff), One(004, 1, kOn),
    One(005, 2, kOff), Two(006, 2, kOn, 6, kOff), Two(007, 2, kOn, 6, kOn),
    One(010, 3, kOff), Two(011, 3, kOn, 6, kOff), Two(012, 3, kOn, 6, kOn),
    Two(013, 4, kOff, 5, kOff), Two(014, 4, kOn, 5, kOff), Two(015, 4, kOn, 5, kOn)};
static_assert(sizeof(kActEan8) / sizeof(kActEan8[0]) == 13);

static constexpr SETUP_ACTION kActEan13[] = {
    One(001, 0, kOff), One(002, 0, kOn), One(003, 1, kOff), One(004, 1, kOn),
    One(005, 2, kOff), Two(006, 2, kOn, 4, kOff), Two(007, 2, kOn, 4, kOn),
    One(010, 3, kOff), Two(011, 3, kOn, 4, kOff), Two(012, 3, kOn, 4, kOn)};
static_assert(sizeof(kActEan13) / sizeof(kActEan13[0]) == 10);

static constexpr SETUP_ACTION kActIsbn[] = {
    One(001, 0, kOff), One(002, 0, kOn), One(003, 1, kValIsbnCheckSent), One(004, 1, kValIsbnCheckNotSent)};
static_assert(sizeof(kActIsbn) / sizeof(kActIsbn[0]) == 4);

static constexpr SETUP_ACTION kActUpcE[] = {
    One(001, 0, kOff), One(002, 0, kOn), One(003, 1, kOff), One(004, 1, kOn),
    One(005, 2, kOff), Two(006, 2, kOn, 7, kOff), Two(007, 2, kOn, 7, kOn),
    One(010, 3, kOff), Two(011, 3, kOn, 7, kOff), Two(012, 3, kOn, 7, kOn),
    One(013, 4, kOff), One(014, 4, kOn),
    Two(015, 5, kOff, 6, kOff), Two(016, 5, kOn, 6, kOff), Two(017, 5, kOn, 6, kOn)};
static_assert(sizeof(kActUpcE) / sizeof(kActUpcE[0]) == 15);

static constexpr SETUP_ACTION kActUpcA[] = {
    One(001, 0, kOff), One(002, 0, kOn), One(003, 1, kOff), One(004, 1, kOn),
    One(005, 2, kOff), Two(006, 2, kOn, 5, kOff), Two(007, 2, kOn, 5, kOn),
    One(010, 3, kOff), Two(011, 3, kOn, 5, kOff), Two(012, 3, kOn, 5, kOn),
    One(013, 4, kOff), One(014, 4, kOn)};
static_assert(sizeof(kActUpcA) / sizeof(kActUpcA[0]) == 12);

// Interleaved 2 of 5, and the first five codes of Code 39 and Code 93.
static constexpr SETUP_ACTION kActItf[] = {
    One(001, 0, kOff), One(002, 0, kOn), One(003, 1, kValNoCheck),
    Two(004, 1, kValCheck, 2, kOff), Two(005, 1, kValCheck, 2, kOn)};
static_assert(sizeof(kActItf) / sizeof(kActItf[0]) == 5);

// ITF-6, ITF-14 and the weighted forms.
static constexpr SETUP_ACTION kActItf6[] = {
    One(001, 0, kOff), Two(002, 0, kOn, 1, kOff), Two(003, 0, kOn, 1, kOn)};
static_assert(sizeof(kActItf6) / sizeof(kActItf6[0]) == 3);

// The other 2 of 5 forms and Plessey: the transmit switch is the other way round.
static constexpr SETUP_ACTION kActVar25[] = {
    One(001, 0, kOff), One(002, 0, kOn), One(003, 1, kValNoCheck),
    Two(004, 1, kValCheck, 2, kOn), Two(005, 1, kValCheck, 2, kOff)};
static_assert(sizeof(kActVar25) / sizeof(kActVar25[0]) == 5);

static constexpr SETUP_ACTION kActCode39[] = {
    One(001, 0, kOff), One(002, 0, kOn), One(003, 1, kValNoCheck),
    Two(004, 1, kValCheck, 2, kOff), Two(005, 1, kValCheck, 2, kOn),
    One(006, 3, kOff), One(007, 3, kOn), One(010, 4, kOff), One(011, 4, kOn)};
static_assert(sizeof(kActCode39) / sizeof(kActCode39[0]) == 9);

static constexpr SETUP_ACTION kActCodabar[] = {
    One(001, 0, kOff), One(002, 0, kOn), One(003, 1, kValNoCheck),
    Two(004, 1, kValCheck, 2, kOn), Two(005, 1, kValCheck, 2, kOff),
    One(006, 3, kOff), One(007, 3, kOn),
    One(010, 4, kValCodabarStyle0), One(011, 4, kValCodabarStyle0 + 1),
    One(012, 4, kValCodabarStyle0 + 2), One(013, 4, kValCodabarStyle0 + 3)};
static_assert(sizeof(kActCodabar) / sizeof(kActCodabar[0]) == 11);

static constexpr SETUP_ACTION kActCode11[] = {
    One(001, 0, kOff), One(002, 0, kOn), One(003, 1, kValNoCheck),
    One(004, 1, kValCode11CheckFirst), One(005, 1, kValCode11CheckFirst + 1),
    One(006, 1, kValCode11CheckFirst + 2), One(007, 1, kValCode11CheckFirst + 3),
    One(010, 1, kValCode11CheckLast), One(011, 2, kOff), One(012, 2, kOn)};
static_assert(sizeof(kActCode11) / sizeof(kActCode11[0]) == 10);

static constexpr SETUP_ACTION kActMsi[] = {
    One(001, 0, kOff), One(002, 0, kOn), One(003, 1, kValNoCheck),
    One(004, 1, kValMsiCheckFirst), One(005, 1, kValMsiCheckFirst + 1), One(006, 1, kValMsiCheckLast),
    One(007, 2, kOff), One(010, 2, kOn)};
static_assert(sizeof(kActMsi) / sizeof(kActMsi[0]) == 8);

static constexpr SETUP_ACTION kActPdf417[] = {
    One(001, 0, kOff), One(002, 0, kOn),
    Two(005, 3, 1, 4, kOn), Two(006, 3, 2, 4, kOn), Two(007, 3, 2, 4, kOff),
    One(010, 5, kValReadMode1), One(011, 5, kValReadMode2), One(012, 5, kValReadMode3),
    One(013, 6, kOff), One(014, 6, kOn)};
static_assert(sizeof(kActPdf417) / sizeof(kActPdf417[0]) == 10);

static constexpr SETUP_ACTION kActQr[] = {
    One(001, 0, kOff), One(002, 0, kOn),
    Two(005, 3, 1, 4, kOn), Two(006, 3, 2, 4, kOn), Two(007, 3, 2, 4, kOff),
    One(010, 5, kValReadMode1), One(011, 5, kValReadMode2), One(012, 5, kValReadMode3),
    One(013, 6, kOff), One(014, 6, kOn),
    One(016, 7, kOff), One(017, 7, kOn), One(020, 8, kOff), One(021, 8, kOn)};
static_assert(sizeof(kActQr) / sizeof(kActQr[0]) == 14);

static constexpr SETUP_ACTION kActAztec[] = {
    One(001, 0, kOff), One(002, 0, kOn),
    Two(005, 3, 1, 4, kOn), One(006, 4, kOn), One(007, 4, kOff),
    One(010, 3, 2), One(011, 3, 3), One(012, 3, 4), One(013, 3, 5), One(014, 3, 6), One(015, 3, 7), One(016, 3, 8),
    One(017, 5, kValReadMode1), One(020, 5, kValReadMode2), One(021, 5, kValReadMode3),
    One(022, 6, kOff), One(023, 6, kOn)};
static_assert(sizeof(kActAztec) / sizeof(kActAztec[0]) == 17);

static constexpr SETUP_ACTION kActDataMatrix[] = {
    One(001, 0, kOff), One(002, 0, kOn), One(005, 9, kOff), One(006, 9, kOn),
    Two(007, 4, 1, 3, kOn), Two(010, 4, 2, 3, kOn), Two(011, 4, 2, 3, kOff),
    One(012, 5, kOff), One(013, 5, kOn), One(014, 8, kOff), One(015, 8, kOn),
    One(016, 6, kValReadMode1), One(017, 6, kValReadMode2), One(020, 6, kValReadMode3),
    One(021, 7, kOff), One(022, 7, kOn)};
static_assert(sizeof(kActDataMatrix) / sizeof(kActDataMatrix[0]) == 16);

// MaxiCode and CS Code.
static constexpr SETUP_ACTION kActMaxiCode[] = {
    One(001, 0, kOff), One(002, 0, kOn),
    One(005, 5, kValReadMode1), One(006, 5, kValReadMode2), One(007, 5, kValReadMode3),
    One(010, 6, kOff), One(011, 6, kOn)};
static_assert(sizeof(kActMaxiCode) / sizeof(kActMaxiCode[0]) == 7);

template <std::size_t N>
constexpr i32 ListLength(const SETUP_ACTION (&)[N]) {
    return static_cast<i32>(N);
}

// Writes the pairs of ctx's value index from list, with ids in group.
template <std::size_t N>
int Par_FillSetupPairs(SETUP_CONTEXT *ctx, u32 group, const SETUP_ACTION (&list)[N]) {
    if (ctx->valueIndex < 0 || ctx->valueIndex >= static_cast<i32>(N)) {
        ctx->status = kSetupNoHandler;
        return kSetupNoHandler;
    }
    const SETUP_ACTION &a = list[ctx->valueIndex];
    for (int i = 0; i < a.count; ++i) {
        ctx->id[i] = group + a.pair[i].sub;
        ctx->value[i] = a.pair[i].value;
    }
    ctx->pairCount = a.count;
    ctx->status = kSetupDone;
    return kSetupDone;
}

}  // namespace

int Par_SetupCode128(SETUP_CONTEXT *c) { return Par_FillSetupPairs(c, 0x10000, kActCode128); }
int Par_SetupGs1128(SETUP_CONTEXT *c) { return Par_FillSetupPairs(c, 0x10100, kActCode128); }
int Par_SetupCode128Fnc1Second(SETUP_CONTEXT *c) { return Par_FillSetupPairs(c, 0x10200, kActCode128); }
int Par_SetupIsbt128(SETUP_CONTEXT *c) { return Par_FillSetupPairs(c, 0x10300, kActOnOff); }
int Par_SetupEan8(SETUP_CONTEXT *c) { return Par_FillSetupPairs(c, 0x10400, kActEan8); }
int Par_SetupEan13(SETUP_CONTEXT *c) { return Par_FillSetupPairs(c, 0x10500, kActEan13); }
int Par_SetupIssn(SETUP_CONTEXT *c) { return Par_FillSetupPairs(c, 0x10600, kActOnOff); }
int Par_SetupIsbn(SETUP_CONTEXT *c) { return Par_FillSetupPairs(c, 0x10700, kActIsbn); }
int Par_SetupUpcE(SETUP_CONTEXT *c) { return Par_FillSetupPairs(c, 0x10800, kActUpcE); }
int Par_SetupUpcA(SETUP_CONTEXT *c) { return Par_FillSetupPairs(c, 0x10900, kActUpcA); }
int Par_SetupItf(SETUP_CONTEXT *c) { return Par_FillSetupPairs(c, 0x10A00, kActItf); }
int Par_SetupItf6(SETUP_CONTEXT *c) { return Par_FillSetupPairs(c, 0x10B00, kActItf6); }
int Par_SetupItf14(SETUP_CONTEXT *c) { return Par_FillSetupPairs(c, 0x10C00, kActItf6); }
int Par_SetupItf14W49(SETUP_CONTEXT *c) { return Par_FillSetupPairs(c, 0x10D00, kActItf6); }
int Par_SetupItf12W49(SETUP_CONTEXT *c) { return Par_FillSetupPairs(c, 0x10E00, kActItf6); }
int Par_SetupVar25b(SETUP_CONTEXT *c) { return Par_FillSetupPairs(c, 0x10F00, kActVar25); }
int Par_SetupMat25(SETUP_CONTEXT *c) { return Par_FillSetupPairs(c, 0x11000, kActVar25); }
int Par_SetupInd25(SETUP_CONTEXT *c) { return Par_FillSetupPairs(c, 0x11100, kActVar25); }
int Par_SetupIata25(SETUP_CONTEXT *c) { return Par_FillSetupPairs(c, 0x11200, kActVar25); }
int Par_SetupCode39(SETUP_CONTEXT *c) { return Par_FillSetupPairs(c, 0x11400, kActCode39); }
int Par_SetupCodabar(SETUP_CONTEXT *c) { return Par_FillSetupPairs(c, 0x11500, kActCodabar); }
int Par_SetupCode93(SETUP_CONTEXT *c) { return Par_FillSetupPairs(c, 0x11600, kActItf); }
int Par_SetupCode11(SETUP_CONTEXT *c) { return Par_FillSetupPairs(c, 0x11700, kActCode11); }
int Par_SetupPlessey(SETUP_CONTEXT *c) { return Par_FillSetupPairs(c, 0x11800, kActVar25); }
int Par_SetupMsi(SETUP_CONTEXT *c) { return Par_FillSetupPairs(c, 0x11900, kActMsi); }
int Par_SetupDataBar(SETUP_CONTEXT *c) { return Par_FillSetupPairs(c, 0x11A00, kActOnOff); }
int Par_SetupPdf417(SETUP_CONTEXT *c) { return Par_FillSetupPairs(c, 0x20100, kActPdf417); }
int Par_SetupQr(SETUP_CONTEXT *c) { return Par_FillSetupPairs(c, 0x20200, kActQr); }
int Par_SetupAztec(SETUP_CONTEXT *c) { return Par_FillSetupPairs(c, 0x20300, kActAztec); }
int Par_SetupDataMatrix(SETUP_CONTEXT *c) { return Par_FillSetupPairs(c, 0x20400, kActDataMatrix); }
int Par_SetupMaxiCode(SETUP_CONTEXT *c) { return Par_FillSetupPairs(c, 0x20500, kActMaxiCode); }
int Par_SetupCsCode(SETUP_CONTEXT *c) { return Par_FillSetupPairs(c, 0x20700, kActMaxiCode); }

namespace {

#define VEXO_SETUP_LIST(a) a, ListLength(a)
// Group codes are octal: 100 + xx for the linear group 0x1xx00, 200 + xx for the 2D 0x2xx00.
static constexpr SETUP_GROUP kSetupGroups[] = {
    {0100, 0, VEXO_SETUP_LIST(kActCode128)},  {0101, 1, VEXO_SETUP_LIST(kActCode128)},
    {0102, 2, VEXO_SETUP_LIST(kActCode128)},  {0103, 3, VEXO_SETUP_LIST(kActOnOff)},
    {0104, 4, VEXO_SETUP_LIST(kActEan8)},     {0105, 5, VEXO_SETUP_LIST(kActEan13)},
    {0106, 6, VEXO_SETUP_LIST(kActOnOff)},    {0107, 7, VEXO_SETUP_LIST(kActIsbn)},
    // 8
    {0110, 8, VEXO_SETUP_LIST(kActUpcE)},     {0111, 9, VEXO_SETUP_LIST(kActUpcA)},
    {0112, 10, VEXO_SETUP_LIST(kActItf)},     {0113, 11, VEXO_SETUP_LIST(kActItf6)},
    {0114, 12, VEXO_SETUP_LIST(kActItf6)},    {0115, 13, VEXO_SETUP_LIST(kActItf6)},
    {0116, 14, VEXO_SETUP_LIST(kActItf6)},    {0117, 15, VEXO_SETUP_LIST(kActVar25)},
    // 16
    {0120, 16, VEXO_SETUP_LIST(kActVar25)},   {0121, 17, VEXO_SETUP_LIST(kActVar25)},
    {0122, 18, VEXO_SETUP_LIST(kActVar25)},   {0124, 19, VEXO_SETUP_LIST(kActCode39)},
    {0125, 20, VEXO_SETUP_LIST(kActCodabar)}, {0126, 21, VEXO_SETUP_LIST(kActItf)},
    {0127, 22, VEXO_SETUP_LIST(kActCode11)},  {0130, 23, VEXO_SETUP_LIST(kActVar25)},
    // 24
    {0131, 24, VEXO_SETUP_LIST(kActMsi)},     {0132, 25, VEXO_SETUP_LIST(kActOnOff)},
    {0201, 26, VEXO_SETUP_LIST(kActPdf417)},  {0202, 27, VEXO_SETUP_LIST(kActQr)},
    {0203, 28, VEXO_SETUP_LIST(kActAztec)},   {0204, 29, VEXO_SETUP_LIST(kActDataMatrix)},
    {0205, 30, VEXO_SETUP_LIST(kActMaxiCode)}, {0207, 31, VEXO_SETUP_LIST(kActMaxiCode)}};
#undef VEXO_SETUP_LIST
static_assert(sizeof(kSetupGroups) / sizeof(kSetupGroups[0]) == 32);

static constexpr SETUP_HANDLER kSetupHandlers[] = {
    {0, 0x10000, &Par_SetupCode128},     {1, 0x10100, &Par_SetupGs1128},
    {2, 0x10200, &Par_SetupCode128Fnc1Second}, {3, 0x10300, &Par_SetupIsbt128},
    {4, 0x10400, &Par_SetupEan8},        {5, 0x10500, &Par_SetupEan13},
    {6, 0x10600, &Par_SetupIssn},        {7, 0x10700, &Par_SetupIsbn},
    // 8
    {8, 0x10800, &Par_SetupUpcE},        {9, 0x10900, &Par_SetupUpcA},
    {10, 0x10A00, &Par_SetupItf},        {11, 0x10B00, &Par_SetupItf6},
    {12, 0x10C00, &Par_SetupItf14},      {13, 0x10D00, &Par_SetupItf14W49},
    {14, 0x10E00, &Par_SetupItf12W49},   {15, 0x10F00, &Par_SetupVar25b},
    // 16
    {16, 0x11000, &Par_SetupMat25},      {17, 0x11100, &Par_SetupInd25},
    {18, 0x11200, &Par_SetupIata25},     {19, 0x11400, &Par_SetupCode39},
    {20, 0x11500, &Par_SetupCodabar},    {21, 0x11600, &Par_SetupCode93},
    {22, 0x11700, &Par_SetupCode11},     {23, 0x11800, &Par_SetupPlessey},
    // 24
    {24, 0x11900, &Par_SetupMsi},        {25, 0x11A00, &Par_SetupDataBar},
    {26, 0x20100, &Par_SetupPdf417},     {27, 0x20200, &Par_SetupQr},
    {28, 0x20300, &Par_SetupAztec},      {29, 0x20400, &Par_SetupDataMatrix},
    {30, 0x20500, &Par_SetupMaxiCode},   {31, 0x20700, &Par_SetupCsCode}};
static_assert(sizeof(kSetupHandlers) / sizeof(kSetupHandlers[0]) == 32);

constexpr int kSetupLength = 8;

int Par_OctalDigit(char ch) { return ch >= '0' && ch <= '7' ? ch - '0' : -1; }

}  // namespace

int Par_ParseSetupCode(const char *text, i32 length, i32 *groupCode, i32 *subCode) {
    if (groupCode != nullptr) *groupCode = 0;
    if (subCode != nullptr) *subCode = 0;
    if (text == nullptr || length != kSetupLength) return 0;
    if (text[0] != '9' || text[1] != '9' || text[2] != '9') return 0;
    int digits[5];
    for (int i = 0; i < 5; ++i) {
        digits[i] = Par_OctalDigit(text[3 + i]);
        if (digits[i] < 0) return 0;
    }
    if (groupCode != nullptr) *groupCode = digits[0] * 64 + digits[1] * 8 + digits[2];
    if (subCode != nullptr) *subCode = digits[3] * 8 + digits[4];
    return 1;
}

int Par_LookupSetupCode(SETUP_CONTEXT *ctx) {
    if (ctx == nullptr) return 0;
    i32 group = 0;
    i32 sub = 0;
    if (Par_ParseSetupCode(ctx->text, ctx->length, &group, &sub) == 0) return 0;
    for (const SETUP_GROUP &g : kSetupGroups) {
        if (g.groupCode != group) continue;
        ctx->handlerIndex = g.handlerIndex;
        if (g.list == nullptr || g.length <= 0) return 0;
        for (i32 i = 0; i < g.length; ++i) {
            if (g.list[i].subCode != sub) continue;
            ctx->valueIndex = i;
            return 1;
        }
        return 0;
    }
    return 0;
}

int Par_CheckAndLookupSetupCode(SETUP_CONTEXT *ctx) {
    if (ctx == nullptr || ctx->type != 1) return 0;
    return Par_LookupSetupCode(ctx);
}

int Par_RunSetupHandler(SETUP_CONTEXT *ctx) {
    if (ctx == nullptr) return kSetupNoHandler;
    ctx->pairCount = 0;
    ctx->status = kSetupNoHandler;
    for (const SETUP_HANDLER &h : kSetupHandlers) {
        if (h.handlerIndex != ctx->handlerIndex) continue;
        if (h.group == 0 || h.fn == nullptr) return kSetupNoHandler;
        ctx->spare = 0;
        return h.fn(ctx);
    }
    return kSetupNoHandler;
}

void Par_ClearSetupContext(SETUP_CONTEXT *ctx) {
    if (ctx != nullptr) *ctx = SETUP_CONTEXT{};
}

int Par_HandleSetupCode(SETUP_REQUEST *req) {
    // A null request has nowhere to take a status.
    if (req == nullptr) return kSetupRefused;
    req->pairCount = 0;
    req->ids = nullptr;
    req->values = nullptr;
    req->status = kSetupRefused;
    if (req->text == nullptr || req->textLength == 0) return kSetupRefused;
    SETUP_CONTEXT *ctx = &g_setupContext;
    ctx->type = req->type;
    ctx->text = req->text;
    ctx->length = req->textLength;
    ctx->pairCount = 0;
    ctx->spare = 0;
    ctx->status = kSetupRefused;
    if (Par_CheckAndLookupSetupCode(ctx) == 0) return kSetupRefused;
    if (Par_RunSetupHandler(ctx) != kSetupDone) {
        req->status = kSetupNoHandler;
        return kSetupNoHandler;
    }
    req->pairCount = ctx->pairCount;
    req->ids = ctx->id;
    req->values = ctx->value;
    req->status = kSetupDone;
    return kSetupDone;
}

}  // namespace vexo
