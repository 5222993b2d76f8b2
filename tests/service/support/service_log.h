// Tests of libraries that log through the shared logging library: the process's log file
// and Android log are opened once (the log stays where it was first opened) and a test
// reads what they gained while it ran.
#pragma once

#include <memory>

#include "service_test.h"

// Host paths of the process-wide log file and Android log.
const std::string &service_log_file();
const std::string &service_logcat_file();

class ServiceTest : public ServiceRootTest {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Lines logged since the test started.
    std::string log_text() const { return log_->text(); }
    std::string logcat_text() const { return logcat_->text(); }
    bool logged(const std::string &needle) const { return log_text().find(needle) != std::string::npos; }

  private:
    std::unique_ptr<FileTail> log_;
    std::unique_ptr<FileTail> logcat_;
};
