// Service sandboxes: a platform root laid out as a terminal has it (the libraries the
// runtime loads at run time, configuration files from readable templates, encrypted
// with the openssl command line), for the tests and for host programs. Plain C++, no
// test framework.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace svc_sandbox {

// The libraries the runtime loads by file name, as links to the host's installed ones.
enum Library : unsigned {
    kXml = 1u,        // "/system/lib64/libzptxml2.so": the terminal's XML library build
    kXmlSystem = 2u,  // "/system/lib64/libxml2.so"
    kSqlite = 4u,     // "/system/lib64/libsqlite.so"
    kCrypto = 8u,     // "/system/lib64/libcrypto.so"
    kAllLibraries = kXml | kSqlite | kCrypto,
};

// The key text of the encrypted configuration files.
inline constexpr const char *kConfigKey = "Kwd7315";

// A new folder under the system's temporary folder ("" on failure), and its removal with
// everything in it.
std::string make_root(const char *stem);
// The same under another folder (made when missing).
std::string make_root_in(const std::string &parent, const char *stem);
void remove_root(const std::string &dir);

// The installed library a link points to (libxml2.so.2, libsqlite3.so.0, libcrypto.so.3).
const char *host_library(Library library);
// Links one library at a device path under root, making its folders: true when done.
bool link_library(const std::string &root, Library library, const std::string &device_path);
// Links any host file at a device path under root, making its folders.
bool link_file(const std::string &root, const std::string &target, const std::string &device_path);
// Links each library named in the mask at its usual device path, and always the build's
// message link library at "/system/lib64/libzptutils.so": a start-up in the root opens the
// service socket (its programs hold the CTest lock on the socket's name).
bool link_libraries(const std::string &root, unsigned libraries);
// The build's message link library.
const char *link_library_path();

// Writes bytes to a device path under root, making its folders.
bool write_device_file(const std::string &root, const std::string &device_path, const std::string &bytes);

using Vars = std::vector<std::pair<std::string, std::string>>;
// The template tests/service/support/config/<name> with every "@KEY@" replaced by its
// value: false when it cannot be read or a placeholder stays unreplaced.
bool render_template(const std::string &name, const Vars &vars, std::string *out);

// Runs a host program (found on PATH) with extra environment entries "NAME=value": true
// when it exits with 0. Its standard output goes to out when given.
bool run_tool(const std::vector<std::string> &argv, std::string *out, const std::vector<std::string> &env = {});

// Runs argv (argv[0] a path) with this process's environment, STACK_PLATFORM_ROOT set to
// root (left out when root is empty) and the extra "NAME=value" entries, both replacing
// entries of the same names. Its standard output (and standard error, when merged) goes to
// out; a run longer than guard_s seconds (0: no limit) is killed. Its exit status, 128 +
// the signal when killed, -1 when it did not start.
int run_program(const std::vector<std::string> &argv, const std::string &root, const std::vector<std::string> &extra,
                bool merge_stderr, int guard_s, std::string *out);
// The entries that let a JVM, which is not built with the sanitizer, run the sanitizer
// build's libraries: the runtime preloaded, the JVM's own signals, never-freed memory and
// the faults in the suppressions file left to it.
std::vector<std::string> jvm_sanitizer_env(const char *runtime, const char *suppressions);

// The configuration files' encryption done by the openssl command line: every whole
// 16-byte block with AES-256-ECB under the key text padded with zero bytes to 32, the
// tail plain. Decryption is the same with the blocks decrypted.
bool openssl_encrypt(const std::string &plain, const std::string &key_text, std::string *out);
bool openssl_decrypt(const std::string &cipher, const std::string &key_text, std::string *out);

// Renders a template and writes it to a device path, encrypted under kConfigKey when
// asked.
bool write_config(const std::string &root, const std::string &device_path, const std::string &template_name,
                  const Vars &vars, bool encrypt);

// ---- A PL7230 terminal ----

// Device paths of the terminal's layout.
inline constexpr const char *kConfigDir = "/system/usr/xml/";
inline constexpr const char *kLibraryDir = "/system/lib64/";
inline constexpr const char *kPl7230Bus = "/dev/i2c-2";
inline constexpr int kPl7230Channel = 2;
inline constexpr unsigned kPl7230Address = 0x5c;
inline constexpr const char *kPl7230SwitchDir = "/sys/scan/";
inline constexpr const char *kPl7230Node2d = "/sys/devices/scan2d/power";
inline constexpr const char *kPl7230Mtd = "/dev/mtdserial";
inline constexpr const char *kPl7230Platform = "MT6735_TX52W_PL7230";
inline constexpr const char *kPl7230ProbePath = "/sys/bus/platform/pl7230";
// The simulated bus for a process that loads the bus library: one line per bus
// ("bus <path>") or device ("device <bus path> <address> <register bytes>"); the library
// appends every transfer to the journal, one line each (see platform/sim/sim_bus_library.cpp).
inline constexpr const char *kBusModelPath = "/data/simbus/model";
inline constexpr const char *kBusJournalPath = "/data/simbus/journal";
// QR Code's code and the enable setting of every code as the terminal's code file names
// them ("EngineSettingCodeEN" declares every symbology of the decoder).
inline constexpr const char *kQrCode = "QRCode";
inline constexpr const char *kQrEnable = "Enable";

struct Pl7230Terminal {
    std::string decoder;              // host paths of the build's libvexo3, libPL7230, libframecam
    std::string driver;
    std::string camera;
    std::vector<std::string> images;  // device paths of the frames the camera serves, in order
    std::string camera_config;        // the camera's settings file ("key=value" lines), "" for none
    bool bus_model = false;           // the model file for the bus library
    std::string log_file = "/data/zpt/scan.log";
    int log_level = 255;
    bool codes_on = true;             // "DEFAULTEN" turns every code on
};

// Lays out a PL7230 terminal under root: CONFIG.xml, "DRIVEREN" and its device nodes,
// "PL7230EN", "EngineSettingCodeEN", "DEFAULTEN", ZPTConfig.xml, the libraries and the
// camera's frame list. false with a reason in error.
bool make_pl7230_terminal(const std::string &root, const Pl7230Terminal &terminal, std::string *error);

}  // namespace svc_sandbox
