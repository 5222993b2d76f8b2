// A small loadable module for the library search tests.
extern "C" __attribute__((visibility("default"))) int svc_test_module_answer() { return 42; }
