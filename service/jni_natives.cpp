// The natives of the framework's scanner service class and the result callback that
// hands every decode cycle's result to a static Java method. Each native is a thin
// conversion between Java types and the exported scanner API.
#include <jni.h>
#include <pthread.h>
#include <stdint.h>
#include <string.h>

#include <atomic>

#include "rt_log.h"
#include "service_internal.h"

#define BREVIK_EXPORT __attribute__((visibility("default")))

namespace brevik {

BREVIK_EXPORT JavaVM *g_jvm = nullptr;
BREVIK_EXPORT jobject g_obj = nullptr;
BREVIK_EXPORT char g_CallBackFuncName[128];
BREVIK_EXPORT jobject jContext = nullptr;
BREVIK_EXPORT jobject jSurfaceView = nullptr;
BREVIK_EXPORT jobject jSurfaceTexture = nullptr;

}  // namespace brevik

namespace {

constexpr char kControllerClass[] = "com/android/server/BCRScannerController";
constexpr char kCallbackSignature[] = "(II[B[BI)I";
constexpr char kInitName[] = "jboolean brevik::ScanInit(JNIEnv*, jobject)";
constexpr int kSetContext = 0x10f2;
constexpr size_t kParamTextSize = 100;
constexpr size_t kEngineTextSize = 50;
constexpr size_t kVersionTextSize = 200;
static_assert(ZPT_ENGINE_TEXT_MAX <= kEngineTextSize && ZPT_VERSION_TEXT_MAX <= kVersionTextSize,
              "the API's texts fit the natives' buffers");

// The name is written on a caller's thread and read on the decode thread: a plain mutex
// (no destructor, so threads still running at VM exit never meet a destroyed lock).
pthread_mutex_t g_name_lock = PTHREAD_MUTEX_INITIALIZER;

JavaVM *java_vm() { return std::atomic_ref<JavaVM *>(brevik::g_jvm).load(std::memory_order_acquire); }
jobject java_owner() { return std::atomic_ref<jobject>(brevik::g_obj).load(std::memory_order_acquire); }

void callback_name(char *out) {
    pthread_mutex_lock(&g_name_lock);
    memcpy(out, brevik::g_CallBackFuncName, sizeof brevik::g_CallBackFuncName);
    pthread_mutex_unlock(&g_name_lock);
}

// False when the name does not fit: a cut name would call another method.
bool set_callback_name(const char *name) {
    size_t n = strnlen(name, sizeof brevik::g_CallBackFuncName);
    if (n >= sizeof brevik::g_CallBackFuncName) return false;
    pthread_mutex_lock(&g_name_lock);
    memcpy(brevik::g_CallBackFuncName, name, n + 1);
    pthread_mutex_unlock(&g_name_lock);
    return true;
}

void clear_exception(JNIEnv *env) {
    if (env->ExceptionCheck()) env->ExceptionClear();
}

// Texts from configuration files and engines: anything but printable ASCII (and the line
// breaks and tabs of a version text) is not safe modified UTF-8, so it becomes '?'.
jstring new_text(JNIEnv *env, const char *text, size_t size) {
    char safe[kVersionTextSize];
    size_t n = strnlen(text, size < sizeof safe ? size : sizeof safe - 1);
    for (size_t i = 0; i < n; ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        safe[i] = (c >= 0x20 && c < 0x7f) || c == '\n' || c == '\r' || c == '\t' ? static_cast<char>(c) : '?';
    }
    safe[n] = '\0';
    jstring s = env->NewStringUTF(safe);
    if (s == nullptr) clear_exception(env);
    return s;
}

// A Java string's text for the length of one native; released when it goes out of scope.
class JavaText {
  public:
    JavaText(JNIEnv *env, jstring s) : env_(env), s_(s), text_(s != nullptr ? env->GetStringUTFChars(s, nullptr) : nullptr) {
        if (s != nullptr && text_ == nullptr) clear_exception(env);
    }
    ~JavaText() {
        if (text_ != nullptr) env_->ReleaseStringUTFChars(s_, text_);
    }
    JavaText(const JavaText &) = delete;
    JavaText &operator=(const JavaText &) = delete;
    const char *get() const { return text_; }

  private:
    JNIEnv *env_;
    jstring s_;
    const char *text_;
};

jbyteArray new_bytes(JNIEnv *env, const uint8_t *data, uint32_t length) {
    jbyteArray array = env->NewByteArray(static_cast<jsize>(length));
    if (array == nullptr) {
        clear_exception(env);
        return nullptr;
    }
    env->SetByteArrayRegion(array, 0, static_cast<jsize>(length), reinterpret_cast<const jbyte *>(data));
    if (env->ExceptionCheck()) {
        env->ExceptionClear();
        env->DeleteLocalRef(array);
        return nullptr;
    }
    return array;
}

void delete_local(JNIEnv *env, jobject ref) {
    if (ref != nullptr) env->DeleteLocalRef(ref);
}

// Calls the Java method with the cycle's result: false when nothing could be called (the
// result's lengths do not lie inside its buffer, an array could not be made, an unknown
// kind).
bool deliver(JNIEnv *env, jclass cls, jmethodID method, int event, DECODE_RESULT *result) {
    if (event != SCN_EVENT_DATA) {
        env->CallStaticIntMethod(cls, method, event, 0, nullptr, nullptr, 0);
        clear_exception(env);
        return true;
    }
    if (result == nullptr || result->data == nullptr) return false;
    uint64_t len1 = result->len1, len2 = result->len2, capacity = result->capacity;
    jbyteArray first = nullptr, second = nullptr;
    bool called = false;
    if (result->kind == 1 && len1 <= capacity) {
        first = new_bytes(env, result->data, result->len1);
        if (first != nullptr) {
            env->CallStaticIntMethod(cls, method, event, static_cast<jint>(result->codeId), first, nullptr,
                                     static_cast<jint>(len1));
            called = true;
        }
    } else if (result->kind == 2 && 6 + len1 + len2 <= capacity) {
        first = new_bytes(env, result->data + 4, result->len1);
        second = first != nullptr ? new_bytes(env, result->data + 6 + len1, result->len2) : nullptr;
        if (second != nullptr) {
            // The shorter code first; the last argument is always the first code's length.
            if (len1 < len2)
                env->CallStaticIntMethod(cls, method, event, static_cast<jint>(result->codeId), first, second,
                                         static_cast<jint>(len1));
            else
                env->CallStaticIntMethod(cls, method, event, static_cast<jint>(result->codeId), second, first,
                                         static_cast<jint>(len1));
            called = true;
        }
    }
    clear_exception(env);
    delete_local(env, second);
    delete_local(env, first);
    if (!called) rt_log(LOG_LEVEL_DETAIL, "java_decode_callback result dropped kind [%u] len [%u] [%u]", result->kind,
                        result->len1, result->len2);
    return called;
}

}  // namespace

// The event callback of every decode cycle: 0 when the Java method was called, -1 when not.
int java_decode_callback(int event, DECODE_RESULT *result, int) {
    JavaVM *vm = java_vm();
    jobject owner = java_owner();
    if (vm == nullptr || owner == nullptr) return -1;
    // A thread the VM already knows (a Java caller reporting a beep) stays attached.
    JNIEnv *env = nullptr;
    bool attached = false;
    if (vm->GetEnv(reinterpret_cast<void **>(&env), JNI_VERSION_1_4) != JNI_OK) {
        if (vm->AttachCurrentThread(reinterpret_cast<void **>(&env), nullptr) != JNI_OK) return -1;
        attached = true;
    }
    int answer = -1;
    char name[sizeof brevik::g_CallBackFuncName];
    callback_name(name);
    jclass cls = env->GetObjectClass(owner);
    jmethodID method = cls != nullptr ? env->GetStaticMethodID(cls, name, kCallbackSignature) : nullptr;
    clear_exception(env);
    if (method != nullptr && deliver(env, cls, method, event, result)) answer = 0;
    delete_local(env, cls);
    if (attached) vm->DetachCurrentThread();
    return answer;
}

namespace {

jboolean as_boolean(int value) { return value != 0 ? JNI_TRUE : JNI_FALSE; }

jboolean JNI_Init(JNIEnv *env, jobject thiz) {
    rt_log(LOG_LEVEL_DETAIL, "%s", kInitName);
    if (zpt_scaninit() == 0) {
        rt_log(LOG_LEVEL_DETAIL, "%s return false", kInitName);
        return JNI_FALSE;
    }
    // The first object stays for the process's life; a later call keeps it.
    if (java_owner() == nullptr) {
        jobject owner = env->NewGlobalRef(thiz);
        JavaVM *vm = nullptr;
        if (owner == nullptr || env->GetJavaVM(&vm) != JNI_OK) {
            if (owner != nullptr) env->DeleteGlobalRef(owner);
            clear_exception(env);
            rt_log(LOG_LEVEL_DETAIL, "%s return false", kInitName);
            return JNI_FALSE;
        }
        std::atomic_ref<JavaVM *>(brevik::g_jvm).store(vm, std::memory_order_release);
        std::atomic_ref<jobject>(brevik::g_obj).store(owner, std::memory_order_release);
    }
    rt_log(LOG_LEVEL_DETAIL, "%s return true", kInitName);
    zpt_setJavaEnv(java_vm(), env);
    brevik::jSurfaceView = nullptr;
    brevik::jSurfaceTexture = nullptr;
    return JNI_TRUE;
}

jboolean JNI_CmOpen(JNIEnv *, jobject) { return as_boolean(zpt_scanopen()); }

jboolean JNI_CmClose(JNIEnv *, jobject) { return as_boolean(zpt_scanclose()); }

jboolean JNI_CmStartDecode(JNIEnv *env, jobject, jstring method, jint arg) {
    JavaText name(env, method);
    if (name.get() == nullptr || !set_callback_name(name.get())) {
        rt_log(LOG_LEVEL_DETAIL, "%s", "JNI_CmStartDecode callback name refused");
        return JNI_FALSE;
    }
    return as_boolean(zpt_scanstartdecode(java_decode_callback, arg));
}

jboolean JNI_CmStopDecode(JNIEnv *, jobject, jint arg) { return as_boolean(zpt_scanstopdecode(arg)); }

jint JNI_Scn_set(JNIEnv *env, jobject, jstring code, jstring param, jstring value) {
    JavaText c(env, code), p(env, param), v(env, value);
    if (c.get() == nullptr || p.get() == nullptr || v.get() == nullptr) return 0;
    return zpt_scansetparam(c.get(), p.get(), v.get()) != 0 ? 1 : 0;
}

jstring JNI_Scn_get(JNIEnv *env, jobject, jstring code, jstring param) {
    JavaText c(env, code), p(env, param);
    if (c.get() == nullptr || p.get() == nullptr) return nullptr;
    char out[kParamTextSize] = {};
    zpt_scangetparam(c.get(), p.get(), out);
    return strnlen(out, sizeof out) > 0 ? new_text(env, out, sizeof out) : nullptr;
}

jstring JNI_Get_Engine(JNIEnv *env, jobject) {
    char out[kEngineTextSize] = {};
    zpt_getengine(out);
    return new_text(env, out, sizeof out);
}

jint JNI_Get_ScanType(JNIEnv *, jobject) { return zpt_getscantype(); }

jstring JNI_Get_Version(JNIEnv *env, jobject) {
    char out[kVersionTextSize] = {};
    zpt_getversion(out);
    return new_text(env, out, sizeof out);
}

jint JNI_Scn_IOCtrl(JNIEnv *env, jobject, jint code, jint arg) {
    if (code == kSetContext) {
        // The framework hands its context as the int: taken as a reference, as it gives it.
        jobject context = env->NewGlobalRef(reinterpret_cast<jobject>(static_cast<intptr_t>(arg)));
        brevik::jContext = context;
        return zpt_setcontext(java_vm(), context);
    }
    return zpt_setscanioctrl(code, arg, nullptr);
}

jboolean JNI_Set_Serialno(JNIEnv *env, jobject, jstring serial, jint length) {
    JavaText text(env, serial);
    if (text.get() == nullptr) return JNI_FALSE;
    zpt_setserialno(text.get(), length);
    return JNI_TRUE;
}

jboolean JNI_Get_State(JNIEnv *, jobject) { return as_boolean(zpt_scangetstate()); }

#define NATIVE(name, signature) {const_cast<char *>(#name), const_cast<char *>(signature), reinterpret_cast<void *>(name)}
const JNINativeMethod kNatives[] = {
    NATIVE(JNI_Init, "()Z"),
    NATIVE(JNI_CmOpen, "()Z"),
    NATIVE(JNI_CmClose, "()Z"),
    NATIVE(JNI_CmStartDecode, "(Ljava/lang/String;I)Z"),
    NATIVE(JNI_CmStopDecode, "(I)Z"),
    NATIVE(JNI_Scn_set, "(Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;)I"),
    NATIVE(JNI_Scn_get, "(Ljava/lang/String;Ljava/lang/String;)Ljava/lang/String;"),
    NATIVE(JNI_Get_Engine, "()Ljava/lang/String;"),
    NATIVE(JNI_Get_ScanType, "()I"),
    NATIVE(JNI_Get_Version, "()Ljava/lang/String;"),
    NATIVE(JNI_Scn_IOCtrl, "(II)I"),
    NATIVE(JNI_Set_Serialno, "(Ljava/lang/String;I)Z"),
    NATIVE(JNI_Get_State, "()Z"),
};
#undef NATIVE
static_assert(sizeof kNatives / sizeof kNatives[0] == 13, "thirteen natives");

}  // namespace

extern "C" JNIEXPORT jint JNI_OnLoad(JavaVM *vm, void *) {
    JNIEnv *env = nullptr;
    if (vm->GetEnv(reinterpret_cast<void **>(&env), JNI_VERSION_1_4) != JNI_OK) return -1;
    zpt_scan_setenv(vm);
    jclass cls = env->FindClass(kControllerClass);
    if (cls == nullptr) {
        clear_exception(env);
        rt_log(LOG_LEVEL_DETAIL, "JNI_OnLoad class [%s] not found", kControllerClass);
        return -1;
    }
    jint registered = env->RegisterNatives(cls, kNatives, sizeof kNatives / sizeof kNatives[0]);
    clear_exception(env);
    env->DeleteLocalRef(cls);
    if (registered != JNI_OK) {
        rt_log(LOG_LEVEL_DETAIL, "JNI_OnLoad RegisterNatives failed [%d]", registered);
        return -1;
    }
    return JNI_VERSION_1_4;
}
