// Encrypted configuration files: AES-256 in ECB mode over every whole block, the tail
// plain, no header or check value. libcrypto is loaded at run time and bound in one step.
#include <dlfcn.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "config_env.h"
#include "crypto_lib.h"
#include "plat.h"
#include "xmlcfg.h"

namespace {

constexpr int kBlock = 16;
constexpr int kKeyBytes = 32;
static_assert(AES_KEY_TEXT_MAX == kKeyBytes - 1, "a key text and its terminator fill the key");

xmlcfg::CryptoLib g_crypto;

// Clears key material and decrypted text; volatile so that the stores are not dropped.
void wipe(void *bytes, size_t size) {
    volatile uint8_t *p = static_cast<volatile uint8_t *>(bytes);
    for (size_t i = 0; i < size; ++i) p[i] = 0;
}

template <typename Fn>
void bind_symbol(Fn &slot, const char *name) {
    slot = reinterpret_cast<Fn>(dlsym(g_crypto.handle, name));
}

void bind_aes() {
    bind_symbol(g_crypto.AES_set_encrypt_key, "AES_set_encrypt_key");
    bind_symbol(g_crypto.AES_set_decrypt_key, "AES_set_decrypt_key");
    bind_symbol(g_crypto.AES_encrypt, "AES_encrypt");
    bind_symbol(g_crypto.AES_decrypt, "AES_decrypt");
}

void bind_others() {
    bind_symbol(g_crypto.RSA_new, "RSA_new");
    bind_symbol(g_crypto.RSA_free, "RSA_free");
    bind_symbol(g_crypto.RSA_generate_key_ex, "RSA_generate_key_ex");
    bind_symbol(g_crypto.RSA_public_encrypt, "RSA_public_encrypt");
    bind_symbol(g_crypto.RSA_public_decrypt, "RSA_public_decrypt");
    bind_symbol(g_crypto.RSA_private_encrypt, "RSA_private_encrypt");
    bind_symbol(g_crypto.RSA_private_decrypt, "RSA_private_decrypt");
    bind_symbol(g_crypto.RSA_set0_key, "RSA_set0_key");
    bind_symbol(g_crypto.RSA_get0_key, "RSA_get0_key");
    bind_symbol(g_crypto.BN_new, "BN_new");
    bind_symbol(g_crypto.BN_free, "BN_free");
    bind_symbol(g_crypto.BN_set_word, "BN_set_word");
    bind_symbol(g_crypto.BN_bin2bn, "BN_bin2bn");
    bind_symbol(g_crypto.BN_bn2bin, "BN_bn2bin");
    bind_symbol(g_crypto.ERR_load_crypto_strings, "ERR_load_crypto_strings");
    bind_symbol(g_crypto.ERR_get_error, "ERR_get_error");
    bind_symbol(g_crypto.ERR_error_string, "ERR_error_string");
    bind_symbol(g_crypto.BIO_new, "BIO_new");
    bind_symbol(g_crypto.BIO_new_mem_buf, "BIO_new_mem_buf");
    bind_symbol(g_crypto.BIO_free_all, "BIO_free_all");
    bind_symbol(g_crypto.BIO_f_base64, "BIO_f_base64");
    bind_symbol(g_crypto.BIO_s_mem, "BIO_s_mem");
    bind_symbol(g_crypto.BIO_push, "BIO_push");
    bind_symbol(g_crypto.BIO_read, "BIO_read");
    bind_symbol(g_crypto.BIO_write, "BIO_write");
    bind_symbol(g_crypto.BIO_ctrl, "BIO_ctrl");
    bind_symbol(g_crypto.PEM_read_bio_RSA_PUBKEY, "PEM_read_bio_RSA_PUBKEY");
    bind_symbol(g_crypto.MD5_Init, "MD5_Init");
    bind_symbol(g_crypto.MD5_Update, "MD5_Update");
    bind_symbol(g_crypto.MD5_Final, "MD5_Final");
    bind_symbol(g_crypto.DES_set_key_unchecked, "DES_set_key_unchecked");
    bind_symbol(g_crypto.DES_ecb3_encrypt, "DES_ecb3_encrypt");
}

int aes_transform(bool encrypt, const uint8_t *in, int length, uint8_t *out, const char *key_text) {
    if (in == nullptr || out == nullptr || key_text == nullptr || length < 0) return -1;
    size_t key_length = strlen(key_text);
    if (key_length > AES_KEY_TEXT_MAX) {
        xmlcfg::env_log("%s key text too long [%zu] [%d]", encrypt ? "OpensslAesEncrypt" : "OpensslAesDecrypt",
                        key_length, AES_KEY_TEXT_MAX);
        return -1;
    }
    const xmlcfg::CryptoLib &lib = xmlcfg::crypto_lib();
    auto set_key = encrypt ? lib.AES_set_encrypt_key : lib.AES_set_decrypt_key;
    auto block = encrypt ? lib.AES_encrypt : lib.AES_decrypt;
    if (set_key == nullptr || block == nullptr) return -2;

    unsigned char key[kKeyBytes] = {};
    memcpy(key, key_text, key_length);
    AES_KEY schedule;
    int expanded = set_key(key, 8 * kKeyBytes, &schedule);
    wipe(key, sizeof key);
    if (expanded != 0) return -2;
    int whole = length - length % kBlock;
    for (int i = 0; i < whole; i += kBlock) block(in + i, out + i, &schedule);
    memmove(out + whole, in + whole, static_cast<size_t>(length - whole));
    wipe(&schedule, sizeof schedule);
    return 1;
}

// Releases a work buffer that may hold a decrypted configuration.
void release(uint8_t *buf, size_t size) {
    if (buf == nullptr) return;
    wipe(buf, size);
    free(buf);
}

}  // namespace

const xmlcfg::CryptoLib &xmlcfg::crypto_lib() {
    if (g_crypto.handle == nullptr) openssl_lib_load();
    return g_crypto;
}

extern "C" void openssl_lib_load(void) {
    if (g_crypto.handle != nullptr) return;
    void *handle = xmlcfg::env_crypto_load();
    if (handle == nullptr) {
        const char *error = dlerror();
        xmlcfg::env_log("dlopen Error [%s]\n", error != nullptr ? error : "");
        return;
    }
    g_crypto.handle = handle;
    bind_aes();
    if (xmlcfg::kEnvBindsAllCrypto) bind_others();
}

extern "C" void OpensslFree(void) {
    if (g_crypto.handle != nullptr) dlclose(g_crypto.handle);
    g_crypto = xmlcfg::CryptoLib{};
}

extern "C" int OpensslAesEncrypt(const uint8_t *in, int length, uint8_t *out, const char *key_text) {
    return aes_transform(true, in, length, out, key_text);
}

extern "C" int OpensslAesDecrypt(const uint8_t *in, int length, uint8_t *out, const char *key_text) {
    return aes_transform(false, in, length, out, key_text);
}

extern "C" XML_HANDLE *XMLOpenDecrypt(const char *path, const char *key_text) {
    if (path == nullptr || key_text == nullptr || XMLInit() != 0) return nullptr;
    int64_t size = xmlcfg::env_file_size(path);
    if (size <= 0) return nullptr;
    // The wrappers and the parser take int lengths.
    if (size > INT32_MAX - kBlock) {
        xmlcfg::env_log("%s too large [%s] [%lld]", "XMLOpenDecrypt", path, static_cast<long long>(size));
        return nullptr;
    }
    size_t room = static_cast<size_t>(size) + kBlock;
    uint8_t *in = static_cast<uint8_t *>(malloc(room));
    uint8_t *out = static_cast<uint8_t *>(malloc(room));
    FILE *file = in != nullptr && out != nullptr ? plat_fopen(path, "rb") : nullptr;
    XML_HANDLE *handle = nullptr;
    if (in != nullptr && out != nullptr && file == nullptr) xmlcfg::env_log("Open %s Error", path);
    if (file != nullptr) {
        size_t got = fread(in, 1, static_cast<size_t>(size), file);
        fclose(file);
        int length = static_cast<int>(size);
        if (got != static_cast<size_t>(size))
            xmlcfg::env_log("%s short read [%s] [%zu] [%d]", "XMLOpenDecrypt", path, got, length);
        else if (OpensslAesDecrypt(in, length, out, key_text) == 1)
            handle = XMLOpenMem(path, reinterpret_cast<const char *>(out), length);
    }
    release(in, room);
    release(out, room);
    return handle;
}
