// libzpt-psam.default: the natives of the Java PSAM service over the card slot driver,
// always on slot 1. Every native but the state test answers a new PSAMResult.
#include <jni.h>
#include <stdlib.h>
#include <string.h>

#include "cardslot.h"
#include "cardslot_log.h"

#define BREVIK_EXPORT __attribute__((visibility("default")))

namespace brevik {

BREVIK_EXPORT int g_nPowerOn = 0;
BREVIK_EXPORT jobject g_obj = nullptr;
BREVIK_EXPORT JavaVM *g_jvm = nullptr;

}  // namespace brevik

namespace {

constexpr char kControllerClass[] = "com/android/server/PSAMController";
constexpr char kResultClass[] = "android/psam/PSAMResult";
constexpr char kVersion[] = "V1.00.00";
constexpr int kSlot = 1;
constexpr int kReplySize = CARDSLOT_REPLY_SIZE;
constexpr int kAtrWaitMs = 500;

constexpr int kResOk = 0;
constexpr int kResNotPowered = -1;
constexpr int kResSilent = -2;
constexpr int kResBadAtr = -4;
constexpr int kResBadLength = -5;
constexpr int kResPowered = -6;
constexpr int kResNotOn = -7;

// A fresh result with resCode, and with resLength and a 512-byte msgBytes beginning with
// bytes when given. A class, field or object that cannot be had: the exception is cleared
// and null answered.
jobject psam_result(JNIEnv *env, int code, const uint8_t *bytes = nullptr, int count = 0) {
    jclass cls = env->FindClass(kResultClass);
    if (cls == nullptr) {
        env->ExceptionClear();
        return nullptr;
    }
    jmethodID ctor = env->GetMethodID(cls, "<init>", "()V");
    jfieldID res_code = ctor != nullptr ? env->GetFieldID(cls, "resCode", "I") : nullptr;
    jfieldID res_length = res_code != nullptr ? env->GetFieldID(cls, "resLength", "I") : nullptr;
    jfieldID msg_bytes = res_length != nullptr ? env->GetFieldID(cls, "msgBytes", "[B") : nullptr;
    jobject result = msg_bytes != nullptr ? env->NewObject(cls, ctor) : nullptr;
    if (result == nullptr) {
        env->ExceptionClear();
        env->DeleteLocalRef(cls);
        return nullptr;
    }
    env->SetIntField(result, res_code, code);
    if (bytes != nullptr) {
        jbyteArray array = env->NewByteArray(kReplySize);
        if (array == nullptr) {
            env->ExceptionClear();
            env->DeleteLocalRef(result);
            env->DeleteLocalRef(cls);
            return nullptr;
        }
        int n = count < kReplySize ? count : kReplySize;
        env->SetByteArrayRegion(array, 0, n, reinterpret_cast<const jbyte *>(bytes));
        env->SetIntField(result, res_length, count);
        env->SetObjectField(result, msg_bytes, array);
        env->DeleteLocalRef(array);
    }
    env->DeleteLocalRef(cls);
    return result;
}

bool atr_starts_right(const uint8_t *atr) { return atr[0] == 0x3B || atr[0] == 0x3F; }

jobject JNI_PSAMOpen(JNIEnv *env, jobject thiz) {
    if (brevik::g_obj == nullptr) {
        brevik::g_obj = env->NewGlobalRef(thiz);
        env->GetJavaVM(&brevik::g_jvm);
    }
    if (brevik::g_nPowerOn == 0) return psam_result(env, kResNotPowered);
    ResetCard(kSlot, 0, nullptr);
    uint8_t atr[kReplySize];
    int n = ReadPacket(kSlot, atr, kReplySize, kAtrWaitMs);
    if (n <= 0) return psam_result(env, kResSilent);
    PrintCustomHex("SC_ATR_Table: ", atr, n);
    if (!atr_starts_right(atr)) return psam_result(env, kResBadAtr);
    return psam_result(env, kResOk, atr, n);
}

jobject JNI_PSAMClose(JNIEnv *env, jobject) {
    brevik::g_nPowerOn = 0;
    CloseCard(kSlot);
    return psam_result(env, kResOk);
}

jobject JNI_PSAMSendCommand(JNIEnv *env, jobject, jbyteArray command, jint length) {
    // A null array has no length to agree with.
    if (command == nullptr || length < 0 || env->GetArrayLength(command) != length)
        return psam_result(env, kResBadLength);
    uint8_t bytes[kReplySize];
    uint8_t *send = length <= kReplySize ? bytes : static_cast<uint8_t *>(malloc(static_cast<size_t>(length)));
    if (send == nullptr) return psam_result(env, kResSilent);
    env->GetByteArrayRegion(command, 0, length, reinterpret_cast<jbyte *>(send));
    uint8_t reply[kReplySize];
    int reply_length = 0;
    int result = CardApdu(kSlot, send, length, reply, &reply_length);
    if (send != bytes) free(send);
    if (result != 0) return psam_result(env, kResSilent);
    PrintCustomHex("Read --< ", reply, reply_length);
    return psam_result(env, kResOk, reply, reply_length);
}

jobject JNI_PSAMPowerOn(JNIEnv *env, jobject) {
    if (brevik::g_nPowerOn == 1) return psam_result(env, kResPowered);
    brevik::g_nPowerOn = 1;
    int64_t slot = 0;
    if (OpenCard(&slot, kSlot) != 0) return psam_result(env, kResNotPowered);
    ResetCard(static_cast<int>(slot), 0, nullptr);
    uint8_t atr[kReplySize];
    int n = ReadPacket(static_cast<int>(slot), atr, kReplySize, kAtrWaitMs);
    if (n <= 0) return psam_result(env, kResSilent);
    PrintCustomHex("SC_ATR_Table: ", atr, n);
    return psam_result(env, kResOk);
}

jobject JNI_PSAMPowerOff(JNIEnv *env, jobject) {
    if (brevik::g_nPowerOn != 1) return psam_result(env, kResNotOn);
    brevik::g_nPowerOn = 0;
    CloseCard(kSlot);
    return psam_result(env, kResOk);
}

jboolean JNI_PSAMGetState(JNIEnv *, jobject) { return CheckCard(kSlot) == 0 ? JNI_TRUE : JNI_FALSE; }

const JNINativeMethod kPsamNatives[] = {
    {const_cast<char *>("JNI_PSAMOpen"), const_cast<char *>("()Landroid/psam/PSAMResult;"),
     reinterpret_cast<void *>(JNI_PSAMOpen)},
    {const_cast<char *>("JNI_PSAMClose"), const_cast<char *>("()Landroid/psam/PSAMResult;"),
     reinterpret_cast<void *>(JNI_PSAMClose)},
    {const_cast<char *>("JNI_PSAMSendCommand"), const_cast<char *>("([BI)Landroid/psam/PSAMResult;"),
     reinterpret_cast<void *>(JNI_PSAMSendCommand)},
    {const_cast<char *>("JNI_PSAMPowerOn"), const_cast<char *>("()Landroid/psam/PSAMResult;"),
     reinterpret_cast<void *>(JNI_PSAMPowerOn)},
    {const_cast<char *>("JNI_PSAMPowerOff"), const_cast<char *>("()Landroid/psam/PSAMResult;"),
     reinterpret_cast<void *>(JNI_PSAMPowerOff)},
    {const_cast<char *>("JNI_PSAMGetState"), const_cast<char *>("()Z"), reinterpret_cast<void *>(JNI_PSAMGetState)},
};
static_assert(sizeof kPsamNatives / sizeof kPsamNatives[0] == 6, "six natives");

}  // namespace

extern "C" BREVIK_EXPORT jint JNI_OnLoad(JavaVM *vm, void *) {
    JNIEnv *env = nullptr;
    if (vm->GetEnv(reinterpret_cast<void **>(&env), JNI_VERSION_1_4) != JNI_OK) {
        cardslot_log_line("ERROR: GetEnv failed/n");
        return -1;
    }
    cardslot_set_java_vm(vm);
    jclass cls = env->FindClass(kControllerClass);
    bool registered = false;
    if (cls == nullptr) {
        env->ExceptionClear();
    } else {
        registered = env->RegisterNatives(cls, kPsamNatives, sizeof kPsamNatives / sizeof kPsamNatives[0]) == 0;
        if (!registered) {
            env->ExceptionClear();
            cardslot_log_line("Failed registering methods for %s\n", kControllerClass);
        }
        env->DeleteLocalRef(cls);
    }
    if (!registered) {
        cardslot_log_line("ERROR: PlatformLibrary native registration failed/n");
        return -1;
    }
    cardslot_log_line("Version[%s Build Time %s %s]", kVersion, __DATE__, __TIME__);
    return JNI_VERSION_1_4;
}
