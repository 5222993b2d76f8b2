// libcrypto as the runtime binds it at run time: one table for the AES wrappers of the
// configuration files and the other crypto wrappers. The function types are declared here
// (the library's own declarations of most of them are deprecated) and match libcrypto 3.
#pragma once

#include <openssl/aes.h>
#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/des.h>
#include <openssl/md5.h>
#include <openssl/types.h>
#include <stddef.h>

namespace xmlcfg {

struct CryptoLib {
    void *handle;
    // AES
    int (*AES_set_encrypt_key)(const unsigned char *key, int bits, AES_KEY *schedule);
    int (*AES_set_decrypt_key)(const unsigned char *key, int bits, AES_KEY *schedule);
    void (*AES_encrypt)(const unsigned char *in, unsigned char *out, const AES_KEY *schedule);
    void (*AES_decrypt)(const unsigned char *in, unsigned char *out, const AES_KEY *schedule);
    // RSA and big numbers
    RSA *(*RSA_new)(void);
    void (*RSA_free)(RSA *rsa);
    int (*RSA_generate_key_ex)(RSA *rsa, int bits, BIGNUM *e, BN_GENCB *cb);
    int (*RSA_public_encrypt)(int flen, const unsigned char *from, unsigned char *to, RSA *rsa, int padding);
    int (*RSA_public_decrypt)(int flen, const unsigned char *from, unsigned char *to, RSA *rsa, int padding);
    int (*RSA_private_encrypt)(int flen, const unsigned char *from, unsigned char *to, RSA *rsa, int padding);
    int (*RSA_private_decrypt)(int flen, const unsigned char *from, unsigned char *to, RSA *rsa, int padding);
    // The RSA record is opaque since OpenSSL 1.1: keys go in and out through these.
    int (*RSA_set0_key)(RSA *rsa, BIGNUM *n, BIGNUM *e, BIGNUM *d);
    void (*RSA_get0_key)(const RSA *rsa, const BIGNUM **n, const BIGNUM **e, const BIGNUM **d);
    BIGNUM *(*BN_new)(void);
    void (*BN_free)(BIGNUM *bn);
    int (*BN_set_word)(BIGNUM *bn, BN_ULONG word);
    BIGNUM *(*BN_bin2bn)(const unsigned char *bytes, int length, BIGNUM *ret);
    int (*BN_bn2bin)(const BIGNUM *bn, unsigned char *to);
    // Errors (ERR_load_crypto_strings is no longer a function of libcrypto 3: its slot
    // stays empty there)
    void (*ERR_load_crypto_strings)(void);
    unsigned long (*ERR_get_error)(void);
    char *(*ERR_error_string)(unsigned long error, char *buf);
    // BIO
    BIO *(*BIO_new)(const BIO_METHOD *method);
    BIO *(*BIO_new_mem_buf)(const void *buf, int length);
    void (*BIO_free_all)(BIO *bio);
    const BIO_METHOD *(*BIO_f_base64)(void);
    const BIO_METHOD *(*BIO_s_mem)(void);
    BIO *(*BIO_push)(BIO *bio, BIO *append);
    int (*BIO_read)(BIO *bio, void *data, int length);
    int (*BIO_write)(BIO *bio, const void *data, int length);
    long (*BIO_ctrl)(BIO *bio, int cmd, long larg, void *parg);
    RSA *(*PEM_read_bio_RSA_PUBKEY)(BIO *bio, RSA **rsa, int (*password)(char *, int, int, void *), void *arg);
    // MD5 and triple DES
    int (*MD5_Init)(MD5_CTX *ctx);
    int (*MD5_Update)(MD5_CTX *ctx, const void *data, size_t length);
    int (*MD5_Final)(unsigned char *digest, MD5_CTX *ctx);
    void (*DES_set_key_unchecked)(const_DES_cblock *key, DES_key_schedule *schedule);
    void (*DES_ecb3_encrypt)(const_DES_cblock *in, DES_cblock *out, DES_key_schedule *ks1, DES_key_schedule *ks2,
                             DES_key_schedule *ks3, int enc);
};

// The table, binding the library first when no handle is held (openssl_lib_load).
const CryptoLib &crypto_lib();

}  // namespace xmlcfg
