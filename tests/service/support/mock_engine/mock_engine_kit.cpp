#include "mock_engine.h"

#include "sandbox.h"
#include "service_test.h"

namespace mock_engine {

bool install(const std::string &root, const std::string &build_name, const std::string &device_dir,
             const std::string &as_name) {
    std::string bytes = read_host_file(std::string(SVC_MOCK_ENGINE_DIR) + "/lib" + build_name + ".so");
    if (bytes.empty()) return false;
    const std::string &name = as_name.empty() ? build_name : as_name;
    return svc_sandbox::write_device_file(root, device_dir + "lib" + name + ".so", bytes);
}

bool behave(const std::string &root, const std::string &name, const std::vector<std::string> &lines) {
    std::string text;
    for (const std::string &l : lines) text += l + "\n";
    return svc_sandbox::write_device_file(root, "/data/mock/" + name + ".conf", text);
}

std::vector<std::string> calls(const std::string &root, const std::string &name) {
    return split_lines(read_host_file(root + journal_path(name)));
}

int count(const std::string &root, const std::string &name, const std::string &line) {
    bool prefix = !line.empty() && line.back() == ' ';
    int n = 0;
    for (const std::string &c : calls(root, name))
        if (prefix ? c.compare(0, line.size(), line) == 0 : c == line) ++n;
    return n;
}

}  // namespace mock_engine
