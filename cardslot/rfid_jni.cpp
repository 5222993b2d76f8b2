// libzpt-rfid.default: the natives of the Java RFID service, which switch the RFID
// module's power on the GPIO line of channel 1. It registers the terminal's devices itself.
#include <jni.h>

#include "cardslot_log.h"
#include "hwports.h"

#define BREVIK_EXPORT __attribute__((visibility("default")))

namespace brevik {

BREVIK_EXPORT jobject g_obj = nullptr;
BREVIK_EXPORT JavaVM *g_jvm = nullptr;

}  // namespace brevik

namespace {

constexpr char kControllerClass[] = "com/android/server/RFIDController";
constexpr char kVersion[] = "V1.00.00";
constexpr int kRfidChannel = 1;

int rfid_set_en(int value) {
    PORT_DEVICE *dev = get_module_ops(PORT_KIND_GPIO, kRfidChannel);
    if (dev == nullptr || dev->ioctrl == nullptr) return -1;
    return dev->ioctrl(dev, MODULE_IOCRL_GPIO_SET, 0, &value);
}

jboolean JNI_RFIDPowerOn(JNIEnv *env, jobject thiz) {
    if (brevik::g_obj == nullptr) {
        brevik::g_obj = env->NewGlobalRef(thiz);
        env->GetJavaVM(&brevik::g_jvm);
    }
    return rfid_set_en(1) != -1 ? JNI_TRUE : JNI_FALSE;
}

jboolean JNI_RFIDPowerOff(JNIEnv *, jobject) { return rfid_set_en(0) != -1 ? JNI_TRUE : JNI_FALSE; }

const JNINativeMethod kRfidNatives[] = {
    {const_cast<char *>("JNI_RFIDPowerOn"), const_cast<char *>("()Z"), reinterpret_cast<void *>(JNI_RFIDPowerOn)},
    {const_cast<char *>("JNI_RFIDPowerOff"), const_cast<char *>("()Z"), reinterpret_cast<void *>(JNI_RFIDPowerOff)},
};
static_assert(sizeof kRfidNatives / sizeof kRfidNatives[0] == 2, "two natives");

}  // namespace

extern "C" BREVIK_EXPORT jint JNI_OnLoad(JavaVM *vm, void *) {
    JNIEnv *env = nullptr;
    if (vm->GetEnv(reinterpret_cast<void **>(&env), JNI_VERSION_1_4) != JNI_OK) return -1;
    cardslot_set_java_vm(vm);
    jclass cls = env->FindClass(kControllerClass);
    if (cls == nullptr) {
        env->ExceptionClear();
        return -1;
    }
    bool registered = env->RegisterNatives(cls, kRfidNatives, sizeof kRfidNatives / sizeof kRfidNatives[0]) == 0;
    if (!registered) env->ExceptionClear();
    env->DeleteLocalRef(cls);
    if (!registered) return -1;
    standalone_driver_init();
    cardslot_log_line("RFID Version[%s Build Time %s %s]", kVersion, __DATE__, __TIME__);
    return JNI_VERSION_1_4;
}
