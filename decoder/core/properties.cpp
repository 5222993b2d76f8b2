#include "core/properties.h"

#include "core/api.h"
#include "core/params.h"

namespace vexo {

namespace {

using SetHandler = int (*)(u32 id, u64 value);
using GetHandler = int (*)(u32 id, void *out);

struct SetEntry {
    u32 group;
    SetHandler handler;
};
struct GetEntry {
    u32 group;
    GetHandler handler;
};

constexpr u32 kOff = 0x10000;
constexpr u32 kOn = 0x10001;

u32 Sub(u32 id) { return id & 0xFF; }

int Par_SetAimPrefix(u32 id, u64 value) {
    if (id != 0x100600) return 1;  // other ids of the group are accepted and ignored
    const u32 v = static_cast<u32>(value);
    if (v == kOn) {
        g_params.commonWord |= kCommonAimPrefix;
    } else if (v == kOff) {
        g_params.commonWord &= ~kCommonAimPrefix;
    } else {
        return -1;
    }
    return 1;
}

int Par_GetAimPrefix(u32 id, void *out) {
    if (id != 0x100600) return 0;
    *static_cast<u32 *>(out) = (g_params.commonWord & kCommonAimPrefix) ? kOn : kOff;
    return 1;
}

int Par_GetResult(u32 id, void *out) {
    u32 *word = static_cast<u32 *>(out);
    switch (Sub(id)) {
        case 0: *word = static_cast<u32>(Dec_GetResultStatus()); return 1;
        case 1: *word = Dec_GetCodeId(); return 1;
        case 2: {
            TEXT_DESC *desc = static_cast<TEXT_DESC *>(out);
            if (!Dec_TextDescUsable(desc)) return -1;
            desc->length = static_cast<u32>(Dec_CopyResultText(desc->buffer, desc->capacity));
            return 1;
        }
        case 3: *word = static_cast<u32>(Dec_GetResultLength()); return 1;
        case 4: *word = Dec_GetResultWord(); return 1;
        default: return 0;
    }
}

constexpr SetEntry kSetTable[] = {
    {0x100600, &Par_SetAimPrefix},
};

constexpr GetEntry kGetTable[] = {
    {0x100600, &Par_GetAimPrefix},
    {0x100500, &Par_GetResult},
};

}  // namespace

int Par_DispatchSet(u32 id, u64 value) {
    const u32 group = id & 0xFFFFFF00u;
    for (const SetEntry &e : kSetTable) {
        if (e.group == group) return e.handler(id, value);
    }
    return 0;
}

int Par_DispatchGet(u32 id, void *out) {
    const u32 group = id & 0xFFFFFF00u;
    for (const GetEntry &e : kGetTable) {
        if (e.group == group) return e.handler(id, out);
    }
    return 0;
}

}  // namespace vexo
