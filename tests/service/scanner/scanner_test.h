// Scanner service tests: a platform root with the XML library and libcrypto, the platform
// models installed (kernel seam with its journal, recording sleep seam), encrypted
// configuration files written by the sandbox builder, and the test engine plug-ins.
#pragma once

#include <dirent.h>
#include <stdio.h>

#include <chrono>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "mock_engine.h"
#include "plat.h"
#include "readercore.h"
#include "sandbox.h"
#include "service_internal.h"
#include "service_log.h"
#include "sim.h"


// The configuration directory the tests write to (the last of the search).
inline constexpr char kConfigDir[] = "/system/usr/xml/";

using Elements = std::vector<std::pair<std::string, std::string>>;

class ScannerTest : public ServiceTest {
  protected:
    void SetUp() override {
        ServiceTest::SetUp();
        ASSERT_TRUE(svc_sandbox::link_libraries(root_, svc_sandbox::kXml | svc_sandbox::kCrypto));
        sim_kernel_install();
        sim_sleep_install(0);
        make_dirs("/data/mock");
    }
    void TearDown() override {
        release_engine_list();
        while (unregister_device(0, -1) == 0) {
        }
        sim_sleep_remove();
        sim_kernel_remove();
        ServiceTest::TearDown();
    }

    // An encrypted configuration file in the configuration directory.
    // Encrypted in process by the runtime's AES wrapper, which the runtime's own tests hold
    // against the openssl command line (a process per file is slow under the sanitizers).
    void write_encrypted(const std::string &file, const std::string &plain) {
        std::string cipher(plain.size(), '\0');
        ASSERT_EQ(OpensslAesEncrypt(reinterpret_cast<const uint8_t *>(plain.data()), static_cast<int>(plain.size()),
                                    reinterpret_cast<uint8_t *>(cipher.data()), svc_sandbox::kConfigKey),
                  1);
        write_file(kConfigDir + file, cipher);
    }
    // An engine file "<name>EN" (or any file name) holding the elements in order.
    void write_engine_file(const std::string &file, const Elements &elements) {
        std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Engine>\n";
        for (const auto &e : elements) xml += "  <" + e.first + ">" + e.second + "</" + e.first + ">\n";
        write_encrypted(file, xml + "</Engine>\n");
    }
    void install_engine(const std::string &name, const std::string &dir = "/system/lib64/") {
        ASSERT_TRUE(mock_engine::install(root_, name, dir));
    }
    void behave(const std::string &name, const std::vector<std::string> &lines) {
        ASSERT_TRUE(mock_engine::behave(root_, name, lines));
    }
    std::vector<std::string> calls(const std::string &name) { return mock_engine::calls(root_, name); }
    int count(const std::string &name, const std::string &line) { return mock_engine::count(root_, name, line); }

    // A plain CONFIG.xml with these Scan elements (each: attributes text, engine name),
    // parsed, and every Scan element loaded: the number listed.
    int load_engines(const std::vector<std::pair<std::string, std::string>> &scans) {
        std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Config>\n  <ScannerType>none</ScannerType>\n";
        for (const auto &s : scans) xml += "  <Scan" + (s.first.empty() ? "" : " " + s.first) + ">" + s.second + "</Scan>\n";
        write_file("/data/config-under-test.xml", xml + "</Config>\n");
        XML_HANDLE *config = XMLOpen("/data/config-under-test.xml");
        if (config == nullptr) return -1;
        int n = load_engine_drivers(config);
        XMLClose(config);
        return n;
    }
    // The listed records in order.
    static std::vector<ENGINE_RECORD *> engines() {
        std::vector<ENGINE_RECORD *> out;
        for (struct list_head *n = g_engine_list.next; n != &g_engine_list; n = n->next)
            out.push_back(reinterpret_cast<ENGINE_RECORD *>(reinterpret_cast<char *>(n) - offsetof(ENGINE_RECORD, node)));
        return out;
    }
    static int thread_count() {
        int n = 0;
        DIR *d = opendir("/proc/self/task");
        if (d == nullptr) return -1;
        while (struct dirent *e = readdir(d))
            if (e->d_name[0] != '.') ++n;
        closedir(d);
        return n;
    }
};
