// Worker threads of the service side and their way to the Java VM.
#include <jni.h>
#include <pthread.h>
#include <unistd.h>

#include <atomic>

#include "common_atomic.h"
#include "readercore.h"
#include "runtime_internal.h"

namespace {

constexpr int kStopPolls = 2000;
constexpr useconds_t kStopPollUs = 100;

std::atomic<JavaVM *> g_java_vm{nullptr};

void *thread_jni_attach() {
    JavaVM *vm = g_java_vm.load(std::memory_order_acquire);
    if (vm == nullptr) return nullptr;
    void *env = nullptr;
    if (vm->functions->GetEnv(vm, &env, JNI_VERSION_1_4) == JNI_OK && env != nullptr) return env;
    env = nullptr;
    if (vm->functions->AttachCurrentThread(vm, &env, nullptr) != JNI_OK) return nullptr;
    return env;
}

int thread_jni_detach() {
    JavaVM *vm = g_java_vm.load(std::memory_order_acquire);
    if (vm == nullptr) return -1;
    vm->functions->DetachCurrentThread(vm);
    return 1;
}

// The record may be freed as soon as running reads 0: nothing touches it afterwards.
void *thread_entry(void *arg) {
    THREAD_RECORD *record = static_cast<THREAD_RECORD *>(arg);
    THREAD_PROC func = record->func;
    void *func_arg = record->arg;
    func(func_arg);
    common_store(record->running, 0);
    return nullptr;
}

}  // namespace

extern "C" int ThreadStart(THREAD_RECORD *record, THREAD_PROC func, void *arg) {
    if (record == nullptr || func == nullptr) return -1;
    record->func = func;
    record->arg = arg;
    record->attach = thread_jni_attach;
    record->detach = thread_jni_detach;
    common_store(record->run, 1);
    common_store(record->running, 1);
    pthread_attr_t attr;
    if (pthread_attr_init(&attr) != 0) {
        common_store(record->run, 0);
        common_store(record->running, 0);
        return -1;
    }
    pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
    int rc = pthread_create(&record->thread, &attr, thread_entry, record);
    pthread_attr_destroy(&attr);
    if (rc != 0) {
        common_store(record->run, 0);
        common_store(record->running, 0);
        return -1;
    }
    return 0;
}

extern "C" int ThreadStop(THREAD_RECORD *record, sem_t *wake) {
    if (record == nullptr) return -1;
    common_store(record->run, 0);
    if (wake != nullptr) sem_post(wake);
    // A bounded wait: a thread blocked elsewhere is left running.
    for (int i = 0; i < kStopPolls && common_load(record->running) != 0; ++i) usleep(kStopPollUs);
    return 0;
}

extern "C" void SetJavaVM(void *vm) { g_java_vm.store(static_cast<JavaVM *>(vm), std::memory_order_release); }

void threads_test_reset() { g_java_vm.store(nullptr); }
