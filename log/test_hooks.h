// Test-only hooks of the logging library's static build.
#pragma once

extern "C" void log_test_reset(void);
