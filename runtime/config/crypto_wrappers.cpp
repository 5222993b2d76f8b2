// Crypto wrappers over libcrypto, bound at run time with the configuration files' AES:
// raw-key AES, RSA (generated, raw and PEM keys), MD5, triple DES and Base64. Each call
// builds and releases its own key objects; nothing is written on a refusal.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <openssl/rsa.h>

#include "crypto_lib.h"
#include "readercore.h"
#include "rt_log.h"

namespace {

constexpr int kAesBlock = 16;
constexpr int kDesBlock = 8;
constexpr int kMd5Size = 16;
constexpr unsigned long kPublicExponent = 65537;
// Larger keys are refused by the library anyway; the bound keeps the sizes in int.
constexpr int kRsaMaxBits = 16384;
// ERR_error_string writes at most this many bytes.
constexpr int kErrorText = 256;

using xmlcfg::CryptoLib;

// Clears key material; volatile so that the stores are not dropped.
void wipe(void *bytes, size_t size) {
    volatile uint8_t *p = static_cast<volatile uint8_t *>(bytes);
    for (size_t i = 0; i < size; ++i) p[i] = 0;
}

int aes_ex(bool encrypt, const uint8_t *in, int length, uint8_t *out, const uint8_t *key, int bits) {
    if (in == nullptr || out == nullptr || key == nullptr || length < 0) return -1;
    // Another size would leave the schedule unset.
    if (bits != 128 && bits != 192 && bits != 256) return -1;
    const CryptoLib &lib = xmlcfg::crypto_lib();
    auto set_key = encrypt ? lib.AES_set_encrypt_key : lib.AES_set_decrypt_key;
    auto block = encrypt ? lib.AES_encrypt : lib.AES_decrypt;
    if (set_key == nullptr || block == nullptr) return -2;
    unsigned char padded[32] = {};
    memcpy(padded, key, static_cast<size_t>(bits / 8));
    AES_KEY schedule;
    int expanded = set_key(padded, bits, &schedule);
    wipe(padded, sizeof padded);
    if (expanded != 0) return -1;
    for (int offset = 0; offset < length; offset += kAesBlock) block(in + offset, out + offset, &schedule);
    wipe(&schedule, sizeof schedule);
    return 1;
}

// The first queued error as the log line of a failed RSA operation.
void log_rsa_error(const CryptoLib &lib) {
    if (lib.ERR_load_crypto_strings != nullptr) lib.ERR_load_crypto_strings();
    char text[kErrorText] = "";
    if (lib.ERR_get_error != nullptr && lib.ERR_error_string != nullptr) lib.ERR_error_string(lib.ERR_get_error(), text);
    rt_log(LOG_LEVEL_DETAIL, "encrypt error:%s", text);
}

using RsaOp = int (*)(int, const unsigned char *, unsigned char *, RSA *, int);

// An RSA record holding (n, exponent) or, for a private key, (n, 65537, exponent):
// nullptr when a number cannot be made.
RSA *raw_key(const CryptoLib &lib, const uint8_t *exponent, int exponent_length, const uint8_t *n, int n_length,
             bool is_private) {
    RSA *rsa = lib.RSA_new();
    BIGNUM *bn_n = lib.BN_bin2bn(n, n_length, nullptr);
    BIGNUM *bn_x = lib.BN_bin2bn(exponent, exponent_length, nullptr);
    BIGNUM *bn_e = is_private ? lib.BN_new() : nullptr;
    bool ok = rsa != nullptr && bn_n != nullptr && bn_x != nullptr && (!is_private || bn_e != nullptr);
    if (ok && is_private) ok = lib.BN_set_word(bn_e, kPublicExponent) == 1;
    if (ok) ok = is_private ? lib.RSA_set0_key(rsa, bn_n, bn_e, bn_x) == 1 : lib.RSA_set0_key(rsa, bn_n, bn_x, nullptr) == 1;
    if (ok) return rsa;
    // Numbers not taken by the record are still ours.
    if (bn_n != nullptr) lib.BN_free(bn_n);
    if (bn_x != nullptr) lib.BN_free(bn_x);
    if (bn_e != nullptr) lib.BN_free(bn_e);
    if (rsa != nullptr) lib.RSA_free(rsa);
    return nullptr;
}

int rsa_raw(const char *name, RsaOp CryptoLib::*op, bool is_private, const uint8_t *exponent, int exponent_length,
            const uint8_t *n, int n_length, const uint8_t *in, int length, uint8_t *out, int *out_length) {
    if (exponent == nullptr || n == nullptr || in == nullptr || out == nullptr || exponent_length <= 0 ||
        n_length <= 0 || length <= 0) {
        rt_log(LOG_LEVEL_DETAIL, "%s invalid parameter", name);
        return -1;
    }
    const CryptoLib &lib = xmlcfg::crypto_lib();
    bool bound = lib.BN_bin2bn != nullptr && lib.RSA_new != nullptr && lib.RSA_free != nullptr &&
                 lib.RSA_set0_key != nullptr && lib.BN_free != nullptr && lib.*op != nullptr &&
                 (!is_private || (lib.BN_new != nullptr && lib.BN_set_word != nullptr));
    if (!bound) {
        rt_log(LOG_LEVEL_DETAIL, "%s init failed", name);
        return -2;
    }
    // The input right-aligned in whole modulus lengths.
    int64_t blocks = (static_cast<int64_t>(length) + n_length - 1) / n_length;
    int64_t padded_length = blocks * n_length;
    if (padded_length > INT32_MAX) return -3;
    uint8_t *padded = static_cast<uint8_t *>(calloc(static_cast<size_t>(padded_length), 1));
    if (padded == nullptr) return -3;
    memcpy(padded + (padded_length - length), in, static_cast<size_t>(length));
    RSA *rsa = raw_key(lib, exponent, exponent_length, n, n_length, is_private);
    int result = -2;
    if (rsa == nullptr) {
        rt_log(LOG_LEVEL_DETAIL, "%s init failed", name);
    } else {
        result = (lib.*op)(static_cast<int>(padded_length), padded, out, rsa, RSA_NO_PADDING);
        lib.RSA_free(rsa);
        if (result < 0) log_rsa_error(lib);
        else if (out_length != nullptr) *out_length = result;
    }
    wipe(padded, static_cast<size_t>(padded_length));
    free(padded);
    return result;
}

int rsa_pem(RsaOp CryptoLib::*op, const uint8_t *in, int length, uint8_t *out, int *out_length, const char *pem) {
    if (in == nullptr || out == nullptr || pem == nullptr || length < 0) return -1;
    const CryptoLib &lib = xmlcfg::crypto_lib();
    if (lib.BIO_new_mem_buf == nullptr || lib.BIO_free_all == nullptr || lib.PEM_read_bio_RSA_PUBKEY == nullptr ||
        lib.RSA_free == nullptr || lib.*op == nullptr)
        return -2;
    BIO *bio = lib.BIO_new_mem_buf(pem, -1);
    if (bio == nullptr) {
        rt_log(LOG_LEVEL_DETAIL, "BIO_new_mem_buf failed!");
        return -3;
    }
    RSA *rsa = lib.PEM_read_bio_RSA_PUBKEY(bio, nullptr, nullptr, nullptr);
    lib.BIO_free_all(bio);
    if (rsa == nullptr) {
        rt_log(LOG_LEVEL_DETAIL, "load public key failed");
        return -3;
    }
    int result = (lib.*op)(length, in, out, rsa, RSA_PKCS1_PADDING);
    lib.RSA_free(rsa);
    if (result < 0) {
        log_rsa_error(lib);
        return result;
    }
    if (out_length != nullptr) *out_length = result;
    return 0;
}

// Big number into exactly size bytes, leading zeros kept: false when it does not fit.
bool bn_to_fixed(const CryptoLib &lib, const BIGNUM *bn, uint8_t *out, int size) {
    uint8_t *scratch = static_cast<uint8_t *>(calloc(static_cast<size_t>(size) * 2, 1));
    if (scratch == nullptr) return false;
    int written = lib.BN_bn2bin(bn, scratch);
    bool fits = written > 0 && written <= size;
    if (fits) {
        memset(out, 0, static_cast<size_t>(size - written));
        memcpy(out + (size - written), scratch, static_cast<size_t>(written));
    }
    wipe(scratch, static_cast<size_t>(size) * 2);
    free(scratch);
    return fits;
}

bool base64_bound(const CryptoLib &lib) {
    return lib.BIO_new != nullptr && lib.BIO_f_base64 != nullptr && lib.BIO_push != nullptr &&
           lib.BIO_free_all != nullptr;
}

}  // namespace

extern "C" int OpensslAesEncryptEx(const uint8_t *in, int length, uint8_t *out, const uint8_t *key, int bits) {
    return aes_ex(true, in, length, out, key, bits);
}

extern "C" int OpensslAesDecryptEx(const uint8_t *in, int length, uint8_t *out, const uint8_t *key, int bits) {
    return aes_ex(false, in, length, out, key, bits);
}

extern "C" int OpensslRSAGenerateKey(int bits, uint8_t *d_out, uint8_t *n_out) {
    if (d_out == nullptr || n_out == nullptr || bits <= 0 || bits > kRsaMaxBits) return -1;
    const CryptoLib &lib = xmlcfg::crypto_lib();
    if (lib.RSA_new == nullptr || lib.RSA_free == nullptr || lib.BN_new == nullptr || lib.BN_free == nullptr ||
        lib.BN_set_word == nullptr || lib.RSA_generate_key_ex == nullptr || lib.RSA_get0_key == nullptr ||
        lib.BN_bn2bin == nullptr)
        return -1;
    RSA *rsa = lib.RSA_new();
    BIGNUM *e = lib.BN_new();
    int result = -1;
    if (rsa != nullptr && e != nullptr && lib.BN_set_word(e, kPublicExponent) == 1 &&
        lib.RSA_generate_key_ex(rsa, bits, e, nullptr) == 1) {
        const BIGNUM *n = nullptr;
        const BIGNUM *d = nullptr;
        lib.RSA_get0_key(rsa, &n, nullptr, &d);
        // Both right-aligned in the modulus length: a d a byte short still reads back whole.
        int size = (bits + 7) / 8;
        if (n != nullptr && d != nullptr && bn_to_fixed(lib, n, n_out, size) && bn_to_fixed(lib, d, d_out, size))
            result = 0;
    }
    if (e != nullptr) lib.BN_free(e);
    if (rsa != nullptr) lib.RSA_free(rsa);
    return result;
}

extern "C" int opensslRSAPublicEncryptEx(const uint8_t *e, int e_length, const uint8_t *n, int n_length,
                                         const uint8_t *in, int length, uint8_t *out, int *out_length) {
    return rsa_raw("opensslRSAPublicEncryptEx", &CryptoLib::RSA_public_encrypt, false, e, e_length, n, n_length, in,
                   length, out, out_length);
}

extern "C" int opensslRSAPublicDecryptEx(const uint8_t *e, int e_length, const uint8_t *n, int n_length,
                                         const uint8_t *in, int length, uint8_t *out, int *out_length) {
    return rsa_raw("opensslRSAPublicDecryptEx", &CryptoLib::RSA_public_decrypt, false, e, e_length, n, n_length, in,
                   length, out, out_length);
}

extern "C" int opensslRSAPrivateEncryptEx(const uint8_t *d, int d_length, const uint8_t *n, int n_length,
                                          const uint8_t *in, int length, uint8_t *out, int *out_length) {
    return rsa_raw("opensslRSAPrivateEncryptEx", &CryptoLib::RSA_private_encrypt, true, d, d_length, n, n_length, in,
                   length, out, out_length);
}

extern "C" int opensslRSAPrivateDecryptEx(const uint8_t *d, int d_length, const uint8_t *n, int n_length,
                                          const uint8_t *in, int length, uint8_t *out, int *out_length) {
    return rsa_raw("opensslRSAPrivateDecryptEx", &CryptoLib::RSA_private_decrypt, true, d, d_length, n, n_length, in,
                   length, out, out_length);
}

extern "C" int OpensslRsaPublicEncrypt(const uint8_t *in, int length, uint8_t *out, int *out_length,
                                       const char *pem) {
    return rsa_pem(&CryptoLib::RSA_public_encrypt, in, length, out, out_length, pem);
}

extern "C" int OpensslRsaPublicDecrypt(const uint8_t *in, int length, uint8_t *out, int *out_length,
                                       const char *pem) {
    return rsa_pem(&CryptoLib::RSA_public_decrypt, in, length, out, out_length, pem);
}

extern "C" int OpensslMD5(const uint8_t *in, int length, uint8_t *out, int capacity) {
    if (in == nullptr || out == nullptr || length <= 0 || capacity < kMd5Size) return -1;
    const CryptoLib &lib = xmlcfg::crypto_lib();
    if (lib.MD5_Init == nullptr || lib.MD5_Update == nullptr || lib.MD5_Final == nullptr) return -2;
    MD5_CTX context;
    lib.MD5_Init(&context);
    lib.MD5_Update(&context, in, static_cast<size_t>(length));
    lib.MD5_Final(out, &context);
    return 0;
}

extern "C" int Openssl3DESEncrypt(const uint8_t *in, int in_length, uint8_t *out, int length, const uint8_t *key,
                                  int key_length, int mode) {
    // The work is length bytes: never more than the input holds.
    if (in == nullptr || out == nullptr || key == nullptr || in_length <= 0 || length < 0 || length > in_length)
        return -1;
    if (key_length != 16 && key_length != 24) return -3;
    const CryptoLib &lib = xmlcfg::crypto_lib();
    if (lib.DES_set_key_unchecked == nullptr || lib.DES_ecb3_encrypt == nullptr) return -2;
    DES_cblock parts[3];
    memcpy(parts[0], key, kDesBlock);
    memcpy(parts[1], key + kDesBlock, kDesBlock);
    memcpy(parts[2], key + (key_length == 24 ? 2 * kDesBlock : 0), kDesBlock);
    DES_key_schedule schedules[3];
    for (int i = 0; i < 3; ++i) lib.DES_set_key_unchecked(&parts[i], &schedules[i]);
    for (int offset = 0; offset + kDesBlock <= length; offset += kDesBlock) {
        const_DES_cblock block;
        DES_cblock result;
        memcpy(block, in + offset, kDesBlock);
        lib.DES_ecb3_encrypt(&block, &result, &schedules[0], &schedules[1], &schedules[2],
                             mode != 0 ? DES_ENCRYPT : DES_DECRYPT);
        memcpy(out + offset, result, kDesBlock);
    }
    wipe(parts, sizeof parts);
    wipe(schedules, sizeof schedules);
    return 1;
}

extern "C" int OpensslBase64Encode(const uint8_t *in, int length, char *out, int capacity) {
    if (in == nullptr || out == nullptr || length <= 0 || capacity <= 0) return -1;
    const CryptoLib &lib = xmlcfg::crypto_lib();
    if (!base64_bound(lib) || lib.BIO_s_mem == nullptr || lib.BIO_write == nullptr || lib.BIO_ctrl == nullptr)
        return -2;
    BIO *filter = lib.BIO_new(lib.BIO_f_base64());
    BIO *memory = lib.BIO_new(lib.BIO_s_mem());
    if (filter == nullptr || memory == nullptr) {
        if (filter != nullptr) lib.BIO_free_all(filter);
        if (memory != nullptr) lib.BIO_free_all(memory);
        return -1;
    }
    BIO *chain = lib.BIO_push(filter, memory);
    int result = -1;
    if (lib.BIO_write(chain, in, length) == length && lib.BIO_ctrl(chain, BIO_CTRL_FLUSH, 0, nullptr) == 1) {
        char *text = nullptr;
        long text_length = lib.BIO_ctrl(memory, BIO_CTRL_INFO, 0, &text);
        if (text != nullptr && text_length > 0 && text_length <= capacity) {
            memcpy(out, text, static_cast<size_t>(text_length));
            result = static_cast<int>(text_length);
        }
    }
    lib.BIO_free_all(chain);
    return result;
}

extern "C" int OpensslBase64Decode(const char *in, int length, uint8_t *out, int capacity) {
    if (in == nullptr || out == nullptr || length <= 0 || capacity <= 0) return -1;
    const CryptoLib &lib = xmlcfg::crypto_lib();
    if (!base64_bound(lib) || lib.BIO_new_mem_buf == nullptr || lib.BIO_read == nullptr) return -2;
    // Decoded into a buffer of our own first: the caller's capacity bounds what is written.
    uint8_t *decoded = static_cast<uint8_t *>(malloc(static_cast<size_t>(length)));
    BIO *memory = lib.BIO_new_mem_buf(in, length);
    BIO *filter = lib.BIO_new(lib.BIO_f_base64());
    int result = -1;
    if (decoded != nullptr && memory != nullptr && filter != nullptr) {
        BIO *chain = lib.BIO_push(filter, memory);
        memory = filter = nullptr;
        int total = 0;
        // Every read gives at least a byte or ends: at most length reads.
        while (total < length) {
            int n = lib.BIO_read(chain, decoded + total, length - total);
            if (n <= 0) {
                if (n < 0 && total == 0) total = n;
                break;
            }
            total += n;
        }
        lib.BIO_free_all(chain);
        if (total < 0) {
            result = total;
        } else if (total + 1 <= capacity) {
            memcpy(out, decoded, static_cast<size_t>(total));
            out[total] = 0;
            result = total;
        }
    }
    if (filter != nullptr) lib.BIO_free_all(filter);
    if (memory != nullptr) lib.BIO_free_all(memory);
    if (decoded != nullptr) {
        wipe(decoded, static_cast<size_t>(length));
        free(decoded);
    }
    return result;
}
