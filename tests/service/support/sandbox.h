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
void remove_root(const std::string &dir);

// The installed library a link points to (libxml2.so.2, libsqlite3.so.0, libcrypto.so.3).
const char *host_library(Library library);
// Links one library at a device path under root, making its folders: true when done.
bool link_library(const std::string &root, Library library, const std::string &device_path);
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

// The configuration files' encryption done by the openssl command line: every whole
// 16-byte block with AES-256-ECB under the key text padded with zero bytes to 32, the
// tail plain. Decryption is the same with the blocks decrypted.
bool openssl_encrypt(const std::string &plain, const std::string &key_text, std::string *out);
bool openssl_decrypt(const std::string &cipher, const std::string &key_text, std::string *out);

// Renders a template and writes it to a device path, encrypted under kConfigKey when
// asked.
bool write_config(const std::string &root, const std::string &device_path, const std::string &template_name,
                  const Vars &vars, bool encrypt);

}  // namespace svc_sandbox
