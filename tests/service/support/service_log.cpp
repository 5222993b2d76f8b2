#include "service_log.h"

#include <stdlib.h>
#include <unistd.h>

#include <memory>

#include "plat.h"
#include "zptlog.h"

namespace {

struct ProcessLog {
    std::string dir;
    std::string file;
    std::string logcat;
};

// Opened under a root of its own, before any test root exists.
const ProcessLog &process_log() {
    static const ProcessLog log = [] {
        ProcessLog l;
        l.dir = make_temp_dir("svc-log");
        l.file = l.dir + "/service.log";
        l.logcat = l.dir + "/logcat";
        plat_set_root(l.dir.c_str());
        log_set_filepath("/service.log");
        log_set_level(0xFF);
        log_write(0xFF, "==== test process %d ====", static_cast<int>(getpid()));
        plat_set_root(nullptr);
        plat_logcat_set_file(l.logcat.c_str());
        static std::string dir_to_remove = l.dir;
        atexit([] { remove_host_tree(dir_to_remove); });
        return l;
    }();
    return log;
}

}  // namespace

const std::string &service_log_file() { return process_log().file; }
const std::string &service_logcat_file() { return process_log().logcat; }

void ServiceTest::SetUp() {
    process_log();
    ServiceRootTest::SetUp();
    log_ = std::make_unique<FileTail>(service_log_file());
    logcat_ = std::make_unique<FileTail>(service_logcat_file());
}

void ServiceTest::TearDown() {
    if (log_get_level() != 0xFF) log_set_level(0xFF);
    ServiceRootTest::TearDown();
}
