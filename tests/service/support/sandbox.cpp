#include "sandbox.h"

#include <ctype.h>
#include <errno.h>
#include <fcntl.h>
#include <ftw.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>

#include "framecam.h"

extern char **environ;

namespace svc_sandbox {

namespace {

constexpr size_t kBlock = 16;

bool make_parent_dirs(const std::string &host_path) {
    for (size_t i = 1; i < host_path.size(); ++i) {
        if (host_path[i] != '/') continue;
        std::string dir = host_path.substr(0, i);
        if (mkdir(dir.c_str(), 0755) != 0 && errno != EEXIST) return false;
    }
    return true;
}

bool read_file(const std::string &path, std::string *out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream text;
    text << in.rdbuf();
    *out = text.str();
    return true;
}

bool write_file(const std::string &path, const std::string &bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    return static_cast<bool>(out.flush());
}

std::string key_hex(const std::string &key_text) {
    std::string key = key_text;
    key.resize(32, '\0');
    std::string hex;
    char digits[3];
    for (unsigned char c : key) {
        snprintf(digits, sizeof digits, "%02x", c);
        hex += digits;
    }
    return hex;
}

// The whole blocks through "openssl enc", the tail copied.
bool openssl_blocks(const std::string &in, const std::string &key_text, bool encrypt, std::string *out) {
    if (key_text.size() > 31) return false;
    size_t whole = in.size() - in.size() % kBlock;
    std::string done;
    if (whole > 0) {
        std::string dir = make_root("svc-enc");
        if (dir.empty()) return false;
        std::string in_path = dir + "/in", out_path = dir + "/out";
        bool ok = write_file(in_path, in.substr(0, whole)) &&
                  run_tool({"openssl", "enc", encrypt ? "-e" : "-d", "-aes-256-ecb", "-nopad", "-K", key_hex(key_text),
                            "-in", in_path, "-out", out_path},
                           nullptr) &&
                  read_file(out_path, &done) && done.size() == whole;
        remove_root(dir);
        if (!ok) return false;
    }
    *out = done + in.substr(whole);
    return true;
}

}  // namespace

std::string make_root(const char *stem) {
    const char *tmp = getenv("TMPDIR");
    return make_root_in(tmp != nullptr && tmp[0] != '\0' ? tmp : "/tmp", stem);
}

std::string make_root_in(const std::string &parent, const char *stem) {
    if (!make_parent_dirs(parent + "/")) return std::string();
    std::string pattern = parent + "/" + stem + "-XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    return mkdtemp(buf.data()) != nullptr ? std::string(buf.data()) : std::string();
}

void remove_root(const std::string &dir) {
    auto remove_entry = [](const char *path, const struct stat *, int, struct FTW *) { return remove(path); };
    if (!dir.empty()) nftw(dir.c_str(), remove_entry, 16, FTW_DEPTH | FTW_PHYS);
}

const char *host_library(Library library) {
    switch (library) {
        case kXml:
        case kXmlSystem: return SVC_HOST_LIBXML2;
        case kSqlite: return SVC_HOST_LIBSQLITE3;
        case kCrypto: return SVC_HOST_LIBCRYPTO;
        default: return nullptr;
    }
}

bool link_library(const std::string &root, Library library, const std::string &device_path) {
    const char *target = host_library(library);
    return target != nullptr && link_file(root, target, device_path);
}

bool link_file(const std::string &root, const std::string &target, const std::string &device_path) {
    std::string path = root + device_path;
    if (target.empty() || !make_parent_dirs(path)) return false;
    unlink(path.c_str());
    return symlink(target.c_str(), path.c_str()) == 0;
}

bool link_libraries(const std::string &root, unsigned libraries) {
    const std::pair<Library, const char *> places[] = {
        {kXml, "/system/lib64/libzptxml2.so"},
        {kXmlSystem, "/system/lib64/libxml2.so"},
        {kSqlite, "/system/lib64/libsqlite.so"},
        {kCrypto, "/system/lib64/libcrypto.so"},
    };
    for (const auto &place : places)
        if ((libraries & place.first) != 0 && !link_library(root, place.first, place.second)) return false;
    std::string path = root + "/system/lib64/libzptutils.so";
    if (!make_parent_dirs(path)) return false;
    unlink(path.c_str());
    return symlink(SVC_LINK_LIBRARY, path.c_str()) == 0;
}

const char *link_library_path() { return SVC_LINK_LIBRARY; }

bool write_device_file(const std::string &root, const std::string &device_path, const std::string &bytes) {
    std::string path = root + device_path;
    return make_parent_dirs(path) && write_file(path, bytes);
}

bool render_template(const std::string &name, const Vars &vars, std::string *out) {
    std::string text;
    if (!read_file(std::string(SVC_SANDBOX_TEMPLATES) + "/" + name, &text)) return false;
    for (const auto &var : vars) {
        std::string placeholder = "@" + var.first + "@";
        for (size_t at = text.find(placeholder); at != std::string::npos;
             at = text.find(placeholder, at + var.second.size()))
            text.replace(at, placeholder.size(), var.second);
    }
    // A placeholder left over is a mistake of the caller.
    for (size_t at = text.find('@'); at != std::string::npos; at = text.find('@', at + 1)) {
        size_t end = at + 1;
        while (end < text.size() && (isupper(static_cast<unsigned char>(text[end])) || text[end] == '_')) ++end;
        if (end > at + 1 && end < text.size() && text[end] == '@') return false;
    }
    *out = text;
    return true;
}

bool run_tool(const std::vector<std::string> &argv, std::string *out, const std::vector<std::string> &env) {
    if (argv.empty()) return false;
    int pipe_fds[2];
    if (pipe(pipe_fds) != 0) return false;
    pid_t child = fork();
    if (child < 0) {
        close(pipe_fds[0]);
        close(pipe_fds[1]);
        return false;
    }
    if (child == 0) {
        dup2(pipe_fds[1], STDOUT_FILENO);
        close(pipe_fds[0]);
        close(pipe_fds[1]);
        for (const std::string &entry : env) putenv(const_cast<char *>(entry.c_str()));
        std::vector<char *> args;
        for (const std::string &arg : argv) args.push_back(const_cast<char *>(arg.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    close(pipe_fds[1]);
    std::string output;
    char buf[4096];
    ssize_t n;
    while ((n = read(pipe_fds[0], buf, sizeof buf)) > 0) output.append(buf, static_cast<size_t>(n));
    close(pipe_fds[0]);
    int status = 0;
    if (waitpid(child, &status, 0) != child) return false;
    if (out != nullptr) *out = output;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

int run_program(const std::vector<std::string> &argv, const std::string &root, const std::vector<std::string> &extra,
                bool merge_stderr, int guard_s, std::string *out) {
    if (argv.empty()) return -1;
    std::vector<std::string> set = extra;
    if (!root.empty()) set.push_back("STACK_PLATFORM_ROOT=" + root);
    auto replaced = [&set](const std::string &entry) {
        for (const std::string &s : set)
            if (entry.compare(0, s.find('=') + 1, s, 0, s.find('=') + 1) == 0) return true;
        return false;
    };
    std::vector<std::string> env;
    for (char **e = environ; *e != nullptr; ++e)
        if (!replaced(*e) && strncmp(*e, "STACK_PLATFORM_ROOT=", 20) != 0) env.push_back(*e);
    env.insert(env.end(), set.begin(), set.end());
    std::vector<char *> args, envp;
    for (const std::string &a : argv) args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);
    for (std::string &e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    int pipe_fds[2];
    if (pipe(pipe_fds) != 0) return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], 1);
    if (merge_stderr) posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], 2);
    posix_spawn_file_actions_addclose(&actions, pipe_fds[0]);
    posix_spawn_file_actions_addclose(&actions, pipe_fds[1]);
    pid_t pid = 0;
    int spawned = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(pipe_fds[1]);
    if (spawned != 0) {
        close(pipe_fds[0]);
        return -1;
    }
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(guard_s);
    bool killed = false;
    for (;;) {
        struct pollfd p = {pipe_fds[0], POLLIN, 0};
        int ready = poll(&p, 1, 100);
        if (ready > 0) {
            char buf[4096];
            ssize_t n = read(pipe_fds[0], buf, sizeof buf);
            if (n <= 0) break;
            if (out != nullptr) out->append(buf, static_cast<size_t>(n));
        }
        if (guard_s > 0 && !killed && std::chrono::steady_clock::now() > end) {
            kill(pid, SIGKILL);
            killed = true;
        }
    }
    close(pipe_fds[0]);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::vector<std::string> jvm_sanitizer_env(const char *runtime, const char *suppressions) {
    return {std::string("LD_PRELOAD=") + runtime,
            std::string("ASAN_OPTIONS=handle_segv=0:allow_user_segv_handler=1:detect_leaks=0:suppressions=") +
                suppressions};
}

bool openssl_encrypt(const std::string &plain, const std::string &key_text, std::string *out) {
    return openssl_blocks(plain, key_text, true, out);
}

bool openssl_decrypt(const std::string &cipher, const std::string &key_text, std::string *out) {
    return openssl_blocks(cipher, key_text, false, out);
}

bool write_config(const std::string &root, const std::string &device_path, const std::string &template_name,
                  const Vars &vars, bool encrypt) {
    std::string text;
    if (!render_template(template_name, vars, &text)) return false;
    if (encrypt && !openssl_encrypt(text, kConfigKey, &text)) return false;
    return write_device_file(root, device_path, text);
}

namespace {

std::string pl7230_engine_file() {
    std::string platform = kPl7230Platform;
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Engine>\n"
           "  <Scaninfo>PL7230</Scaninfo>\n  <Scantype>2</Scantype>\n  <ScanWakeUp>0</ScanWakeUp>\n"
           "  <TrigChannel>0</TrigChannel>\n  <PowerChannel>0</PowerChannel>\n"
           "  <ScanProbe><Cmd name=\"" + platform + "\">" + kPl7230ProbePath + "</Cmd></ScanProbe>\n"
           "  <ScanEngine><" + platform + "><DriverChannel>" + std::to_string(kPl7230Channel) +
           "</DriverChannel><PowerChannel>0</PowerChannel><ScanDirection>0</ScanDirection></" + platform +
           "></ScanEngine>\n"
           // SleepTime 1: the shortest idle time that still enters low power (0 never does).
           "  <Devices><PL7230><Width>752</Width><Height>480</Height><ScanFormat>0</ScanFormat>"
           "<ScanBuffer>3</ScanBuffer><SleepTime>1</SleepTime></PL7230></Devices>\n"
           "</Engine>\n";
}

// The codes the terminal declares, each with its decoder group (the group id is the
// enable setting's property), the decoder's symbologies in its own order.
struct CodeGroup {
    const char *code;
    uint32_t group;
};
static constexpr CodeGroup kCodeGroups[] = {
    {"Code128", 0x10000},    {"GS1128", 0x10100},    {"Code128Fnc1", 0x10200}, {"ISBT128", 0x10300},
    {"EAN8", 0x10400},       {"EAN13", 0x10500},     {"ISSN", 0x10600},        {"ISBN", 0x10700},
    {"UPCE", 0x10800},       {"UPCA", 0x10900},      {"ITF", 0x10A00},         {"ITF6", 0x10B00},
    {"ITF14", 0x10C00},      {"ITF14W49", 0x10D00},  {"ITF12W49", 0x10E00},    {"Code25B", 0x10F00},
    {"Matrix25", 0x11000},   {"Industrial25", 0x11100}, {"IATA25", 0x11200},   {"Code39", 0x11400},
    {"Codabar", 0x11500},    {"Code93", 0x11600},    {"Code11", 0x11700},      {"Plessey", 0x11800},
    {"MSI", 0x11900},        {"DataBar", 0x11A00},   {"Linear11B", 0x11B00},   {"Composite", 0x11C00},
    {"Code25A", 0x11D00},    // 2D
    {"PDF417", 0x20100},     {"QRCode", 0x20200},    {"Aztec", 0x20300},       {"DataMatrix", 0x20400},
    {"MaxiCode", 0x20500},   {"Matrix2D6", 0x20600}, {"CSCode", 0x20700},      {"MicroPDF417", 0x20800},
    {"MicroQR", 0x20900},
};
static_assert(sizeof kCodeGroups / sizeof kCodeGroups[0] == 38, "29 linear and 9 2D groups");
// Data Matrix reads squares only unless this property is cleared.
constexpr uint32_t kDataMatrixSquareOnly = 0x20405;

// Every code's enable setting ("Enable": value0 off, value1 on); the choices name settings,
// the settings name decoder values. Data Matrix also has "Rectangle" (1 reads rectangles).
// An element with text: <name attributes>text</name>.
void add_element(std::string *out, const std::string &name, const std::string &attributes, const std::string &text) {
    out->append("<").append(name).append(attributes).append(">").append(text).append("</").append(name).append(">");
}

std::string setting_item(const std::string &name, uint32_t value) {
    char hex[16];
    snprintf(hex, sizeof hex, "%x", value);
    return "    <Item name=\"" + name + "\" value=\"" + hex + "\"/>\n";
}

std::string pl7230_code_file() {
    std::string names = setting_item("65536", 0x10000) + setting_item("65537", 0x10001);
    std::string codes;
    for (const CodeGroup &g : kCodeGroups) {
        std::string setting = std::string(g.code) + "_ENABLE";
        names += setting_item(setting, g.group);
        std::string params;
        add_element(&params, kQrEnable, " value0=\"65536\" value1=\"65537\"", setting);
        if (g.group == (kDataMatrixSquareOnly & ~0xffu)) {
            names += setting_item("DM_SQUARE_ONLY", kDataMatrixSquareOnly);
            add_element(&params, "Rectangle", " value0=\"65537\" value1=\"65536\"", "DM_SQUARE_ONLY");
        }
        codes += "    ";
        add_element(&codes, g.code, "", params);
        codes += "\n";
    }
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Settings>\n  <EngineSetCodeValue>\n" + names +
           "  </EngineSetCodeValue>\n  <Code>\n" + codes + "  </Code>\n</Settings>\n";
}

// Every code on (or every code off), Data Matrix rectangles read.
std::string pl7230_defaults(bool on) {
    std::string body;
    for (const CodeGroup &g : kCodeGroups) {
        std::string params;
        add_element(&params, kQrEnable, "", on ? "1" : "0");
        if (g.group == (kDataMatrixSquareOnly & ~0xffu)) add_element(&params, "Rectangle", "", "1");
        add_element(&body, g.code, "", params);
    }
    return "<?xml version=\"1.0\"?>\n<Defaults><PL7230>" + body + "</PL7230></Defaults>\n";
}

bool write_encrypted(const std::string &root, const std::string &name, const std::string &plain) {
    std::string cipher;
    return openssl_encrypt(plain, kConfigKey, &cipher) && write_device_file(root, kConfigDir + name, cipher);
}

}  // namespace

bool make_pl7230_terminal(const std::string &root, const Pl7230Terminal &t, std::string *error) {
    auto fail = [error](const std::string &what) {
        if (error != nullptr) *error = what;
        return false;
    };
    std::string lib = kLibraryDir;
    if (!link_libraries(root, kAllLibraries)) return fail("cannot link the host libraries");
    if (!link_file(root, t.decoder, lib + "libvexo3.so") || !link_file(root, t.driver, lib + "libPL7230.so") ||
        !link_file(root, t.camera, lib + "libframecam.so"))
        return fail("cannot link the build's libraries");
    std::string config = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Config>\n  <ScannerType>none</ScannerType>\n"
                         "  <Scan>PL7230</Scan>\n</Config>\n";
    std::string drivers = "<?xml version=\"1.0\"?>\n<Driver>\n"
                          "  <SWITCH1D name=\"0\">" + std::string(kPl7230SwitchDir) + "</SWITCH1D>\n"
                          "  <SWITCH2D name=\"0\">" + kPl7230Node2d + "</SWITCH2D>\n"
                          "  <I2C name=\"" + std::to_string(kPl7230Channel) + "\">" + kPl7230Bus + "</I2C>\n"
                          "  <MTD name=\"1\">" + kPl7230Mtd + "</MTD>\n"
                          "</Driver>\n";
    std::string images;
    for (const std::string &image : t.images) images += image + "\n";
    std::string model;
    if (t.bus_model) {
        char address[16];
        snprintf(address, sizeof address, "0x%02x", kPl7230Address);
        model = std::string("bus ") + kPl7230Bus + "\ndevice " + kPl7230Bus + " " + address + " 1\n";
    }
    bool files = write_device_file(root, kConfigDir + std::string("CONFIG.xml"), config) &&
                 write_device_file(root, std::string(kPl7230SwitchDir) + "scan_switch", "") &&
                 write_device_file(root, kPl7230Node2d, "") &&
                 write_device_file(root, kPl7230Mtd, std::string(64, '\0')) &&
                 write_device_file(root, kPl7230ProbePath, "") &&
                 // Without the bus library the node is a plain file: the engine's commands fail
                 // at the kernel, which the driver ignores.
                 write_device_file(root, kPl7230Bus, "") &&
                 write_device_file(root, FRAMECAM_IMAGES_PATH, images) &&
                 (t.camera_config.empty() || write_device_file(root, FRAMECAM_CONFIG_PATH, t.camera_config)) &&
                 (model.empty() || write_device_file(root, kBusModelPath, model)) &&
                 make_parent_dirs(root + "/cache/") && make_parent_dirs(root + "/data/zpt/") &&
                 write_config(root, kConfigDir + std::string("ZPTConfig.xml"), "ZPTConfig.xml",
                              {{"LEVEL", std::to_string(t.log_level)}, {"FILE", t.log_file}, {"EXTRA", ""}}, false);
    if (!files) return fail("cannot write the terminal's files under " + root);
    if (!write_encrypted(root, "DRIVEREN", drivers) || !write_encrypted(root, "PL7230EN", pl7230_engine_file()) ||
        !write_encrypted(root, "EngineSettingCodeEN", pl7230_code_file()) ||
        !write_encrypted(root, "DEFAULTEN", pl7230_defaults(t.codes_on)))
        return fail("cannot encrypt the configuration (openssl)");
    return true;
}

}  // namespace svc_sandbox
