#include "sandbox.h"

#include <ctype.h>
#include <errno.h>
#include <fcntl.h>
#include <ftw.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

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
    std::string pattern = std::string(tmp != nullptr && tmp[0] != '\0' ? tmp : "/tmp") + "/" + stem + "-XXXXXX";
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
    std::string path = root + device_path;
    if (target == nullptr || !make_parent_dirs(path)) return false;
    unlink(path.c_str());
    return symlink(target, path.c_str()) == 0;
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

}  // namespace svc_sandbox
