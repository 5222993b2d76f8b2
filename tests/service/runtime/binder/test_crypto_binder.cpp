// The libcrypto binder, seen from inside the runtime's objects: every function the
// runtime's crypto wrappers use is bound by its exact name from the installed libcrypto 3,
// except ERR_load_crypto_strings, which that library no longer exports.
#include <gtest/gtest.h>
#include <string.h>

#include "config_test.h"
#include "crypto_lib.h"

namespace {

using CryptoBinderTest = ConfigTest;

TEST_F(CryptoBinderTest, EveryNameIsBound) {
    link(svc_sandbox::kCrypto);
    const xmlcfg::CryptoLib &lib = xmlcfg::crypto_lib();
    ASSERT_NE(lib.handle, nullptr);
    const std::pair<const char *, bool> slots[] = {
        {"AES_set_encrypt_key", lib.AES_set_encrypt_key != nullptr},
        {"AES_set_decrypt_key", lib.AES_set_decrypt_key != nullptr},
        {"AES_encrypt", lib.AES_encrypt != nullptr},
        {"AES_decrypt", lib.AES_decrypt != nullptr},
        {"RSA_new", lib.RSA_new != nullptr},
        {"RSA_free", lib.RSA_free != nullptr},
        {"RSA_generate_key_ex", lib.RSA_generate_key_ex != nullptr},
        {"RSA_public_encrypt", lib.RSA_public_encrypt != nullptr},
        {"RSA_public_decrypt", lib.RSA_public_decrypt != nullptr},
        {"RSA_private_encrypt", lib.RSA_private_encrypt != nullptr},
        {"RSA_private_decrypt", lib.RSA_private_decrypt != nullptr},
        {"RSA_set0_key", lib.RSA_set0_key != nullptr},
        {"RSA_get0_key", lib.RSA_get0_key != nullptr},
        {"BN_new", lib.BN_new != nullptr},
        {"BN_free", lib.BN_free != nullptr},
        {"BN_set_word", lib.BN_set_word != nullptr},
        {"BN_bin2bn", lib.BN_bin2bn != nullptr},
        {"BN_bn2bin", lib.BN_bn2bin != nullptr},
        {"ERR_get_error", lib.ERR_get_error != nullptr},
        {"ERR_error_string", lib.ERR_error_string != nullptr},
        {"BIO_new", lib.BIO_new != nullptr},
        {"BIO_new_mem_buf", lib.BIO_new_mem_buf != nullptr},
        {"BIO_free_all", lib.BIO_free_all != nullptr},
        {"BIO_f_base64", lib.BIO_f_base64 != nullptr},
        {"BIO_s_mem", lib.BIO_s_mem != nullptr},
        {"BIO_push", lib.BIO_push != nullptr},
        {"BIO_read", lib.BIO_read != nullptr},
        {"BIO_write", lib.BIO_write != nullptr},
        {"BIO_ctrl", lib.BIO_ctrl != nullptr},
        {"PEM_read_bio_RSA_PUBKEY", lib.PEM_read_bio_RSA_PUBKEY != nullptr},
        {"MD5_Init", lib.MD5_Init != nullptr},
        {"MD5_Update", lib.MD5_Update != nullptr},
        {"MD5_Final", lib.MD5_Final != nullptr},
        {"DES_set_key_unchecked", lib.DES_set_key_unchecked != nullptr},
        {"DES_ecb3_encrypt", lib.DES_ecb3_encrypt != nullptr},
    };
    for (const auto &slot : slots) EXPECT_TRUE(slot.second) << slot.first;
    EXPECT_EQ(lib.ERR_load_crypto_strings, nullptr);

    // A bound function works: MD5 of "abc" from the slots.
    MD5_CTX ctx;
    unsigned char digest[16];
    ASSERT_EQ(lib.MD5_Init(&ctx), 1);
    lib.MD5_Update(&ctx, "abc", 3);
    lib.MD5_Final(digest, &ctx);
    const unsigned char want[16] = {0x90, 0x01, 0x50, 0x98, 0x3c, 0xd2, 0x4f, 0xb0,
                                    0xd6, 0x96, 0x3f, 0x7d, 0x28, 0xe1, 0x7f, 0x72};
    EXPECT_EQ(memcmp(digest, want, 16), 0);
}

}  // namespace
