// Decoder wrapper tests: the platform models installed, the runtime's process-wide state
// fresh, and the test-only modules copied into the root's library directories; each
// module's own record is read through a handle of the test's own.
#pragma once

#include <dlfcn.h>
#include <stdlib.h>

#include <atomic>
#include <string>

#include "plat.h"
#include "readercore.h"
#include "sandbox.h"
#include "service_log.h"
#include "sim.h"
#include "test_hooks.h"

class WrapperTest : public ServiceTest {
  protected:
    void SetUp() override {
        ServiceTest::SetUp();
        sim_kernel_install();
        sim_sleep_install(0);
        readercore_test_reset();
        unsetenv("FAKE_DECODER_INIT");
    }
    void TearDown() override {
        readercore_test_reset();
        zptconfig_deinit();
        XmlLibFree();
        for (void *h : handles_) dlclose(h);
        while (unregister_device(0, -1) == 0) {
        }
        sim_sleep_remove();
        sim_kernel_remove();
        unsetenv("FAKE_DECODER_INIT");
        ServiceTest::TearDown();
    }

    // Copies a built module to a device path.
    void install(const char *module, const std::string &device_path) {
        std::string bytes = read_host_file(module);
        ASSERT_FALSE(bytes.empty()) << module;
        write_file(device_path, bytes);
    }
    // The decoder module, also held by the test: its record outlives X3_Free.
    void install_decoder(const char *module) {
        install(module, "/system/lib64/libvexo3.so");
        void *h = dlopen(host("/system/lib64/libvexo3.so").c_str(), RTLD_NOW);
        ASSERT_NE(h, nullptr) << dlerror();
        handles_.push_back(h);
    }

    // A function of a module the runtime loaded from device_path (kept loaded until the
    // test ends, so that its record outlives the runtime's unloading).
    template <typename Fn>
    Fn module_fn(const std::string &device_path, const char *name) {
        void *h = dlopen(host(device_path).c_str(), RTLD_NOW | RTLD_NOLOAD);
        if (h == nullptr) return nullptr;
        handles_.push_back(h);
        return reinterpret_cast<Fn>(dlsym(h, name));
    }
    std::string decoder_calls() {
        auto fn = module_fn<const char *(*)()>("/system/lib64/libvexo3.so", "fake_decoder_calls");
        return fn != nullptr ? fn() : "<not loaded>";
    }
    void decoder_clear() {
        auto fn = module_fn<void (*)()>("/system/lib64/libvexo3.so", "fake_decoder_clear");
        ASSERT_NE(fn, nullptr);
        fn();
    }
    void decoder_script(int decode_result, const char *text = nullptr, int spin_us = 0) {
        auto fn = module_fn<void (*)(int, const char *, int)>("/system/lib64/libvexo3.so", "fake_decoder_script");
        ASSERT_NE(fn, nullptr);
        fn(decode_result, text, spin_us);
    }

    // A ZPTConfig.xml naming an external decoder, applied.
    void configure_external(const std::string &library) {
        ASSERT_TRUE(svc_sandbox::link_libraries(root_, svc_sandbox::kXml));
        ASSERT_TRUE(svc_sandbox::write_config(
            root_, "/data/corvane/ZPTConfig.xml", "ZPTConfig.xml",
            {{"LEVEL", "255"}, {"FILE", "/data/zpt/none.log"},
             {"EXTRA", "<Config name=\"LibExDecode\">" + library + "</Config>"}},
            false));
        ASSERT_EQ(zptconfig_init(), 0);
    }

    std::vector<void *> handles_;
};

// Reads a decoder text answer into a string.
inline std::string get_text(uint32_t id = VEXO_ID_RESULT_TEXT, int *result = nullptr) {
    char buffer[512];
    TEXT_DESC d = {sizeof(TEXT_DESC), sizeof buffer, 0, 0, buffer};
    int r = X3_Get(id, &d);
    if (result != nullptr) *result = r;
    return r == 1 ? std::string(buffer, d.length) : std::string();
}
