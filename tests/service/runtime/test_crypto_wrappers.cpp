// The crypto wrappers with the real libcrypto loaded at run time under the test root,
// against the openssl command line, md5sum and base64.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "config_test.h"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint8_t kCanary = 0xEE;

std::string hex(const uint8_t *bytes, size_t n) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (size_t i = 0; i < n; ++i) {
        out += digits[bytes[i] >> 4];
        out += digits[bytes[i] & 15];
    }
    return out;
}
std::string hex(const Bytes &b) { return hex(b.data(), b.size()); }

Bytes pattern(size_t n, int seed) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(seed + i * 37 + (i >> 3));
    return b;
}

class CryptoWrappersTest : public ConfigTest {
  protected:
    void SetUp() override {
        ConfigTest::SetUp();
        work_ = make_temp_dir("crypto-cli");
        ASSERT_FALSE(work_.empty());
    }
    void TearDown() override {
        remove_host_tree(work_);
        ConfigTest::TearDown();
    }

    std::string path(const std::string &name) const { return work_ + "/" + name; }
    void put(const std::string &name, const Bytes &bytes) const {
        FILE *f = fopen(path(name).c_str(), "wb");
        ASSERT_NE(f, nullptr);
        fwrite(bytes.data(), 1, bytes.size(), f);
        fclose(f);
    }
    Bytes get(const std::string &name) const {
        std::string s = read_host_file(path(name));
        return Bytes(s.begin(), s.end());
    }
    // A tool run over the file "in" into "out": out's bytes.
    Bytes tool(std::vector<std::string> argv, const Bytes &in) {
        put("in", in);
        ::unlink(path("out").c_str());
        argv.insert(argv.end(), {"-in", path("in"), "-out", path("out")});
        std::string ignored;
        EXPECT_TRUE(svc_sandbox::run_tool(argv, &ignored)) << argv[0] << " " << argv[1];
        return get("out");
    }
    // stdout of a tool reading a file.
    std::string output(const std::vector<std::string> &argv) {
        std::string out;
        EXPECT_TRUE(svc_sandbox::run_tool(argv, &out)) << argv[0];
        return out;
    }

    // A 1,024-bit key from the command line, with its modulus and private exponent.
    void make_key() {
        std::string ignored;
        ASSERT_TRUE(svc_sandbox::run_tool({"openssl", "genrsa", "-out", path("key.pem"), "1024"}, &ignored));
        ASSERT_TRUE(
            svc_sandbox::run_tool({"openssl", "rsa", "-in", path("key.pem"), "-pubout", "-out", path("pub.pem")}, &ignored));
        std::string text = output({"openssl", "rsa", "-in", path("key.pem"), "-text", "-noout"});
        n_ = field(text, "modulus:");
        d_ = field(text, "privateExponent:");
        ASSERT_EQ(n_.size(), 128u);
        ASSERT_LE(d_.size(), 128u);
        pem_ = read_host_file(path("pub.pem"));
    }
    // A "name:" block of colon-separated hex bytes of `openssl rsa -text`, without its
    // leading zero byte.
    static Bytes field(const std::string &text, const std::string &name) {
        size_t at = text.find("\n" + name);
        Bytes out;
        if (at == std::string::npos) return out;
        size_t line = text.find('\n', at + 1);
        while (line != std::string::npos && line + 1 < text.size() && text[line + 1] == ' ') {
            size_t end = text.find('\n', line + 1);
            std::string row = text.substr(line + 1, end - line - 1);
            for (size_t i = 0; i + 1 < row.size(); ++i) {
                if (isxdigit(static_cast<unsigned char>(row[i])) && isxdigit(static_cast<unsigned char>(row[i + 1]))) {
                    out.push_back(static_cast<uint8_t>(std::stoi(row.substr(i, 2), nullptr, 16)));
                    i += 2;
                }
            }
            line = end;
        }
        while (!out.empty() && out[0] == 0) out.erase(out.begin());
        return out;
    }
    // The input zero-extended on the left to 128 bytes.
    static Bytes left_padded(const Bytes &in) {
        Bytes out(128 - in.size(), 0);
        out.insert(out.end(), in.begin(), in.end());
        return out;
    }

    std::string work_;
    Bytes n_, d_;
    std::string pem_;
};

const uint8_t kE[] = {1, 0, 1};

TEST_F(CryptoWrappersTest, AesWithRawKeysMatchesTheCommandLine) {
    link(svc_sandbox::kCrypto);
    Bytes key = pattern(32, 3);
    for (int bits : {128, 192, 256}) {
        for (size_t length : {16u, 32u, 33u}) {
            SCOPED_TRACE(std::to_string(bits) + " bits, " + std::to_string(length) + " bytes");
            size_t whole = (length + 15) / 16 * 16;
            Bytes in = pattern(whole, static_cast<int>(length));  // in extends to whole blocks
            Bytes out(whole + 4, kCanary), back(whole + 4, kCanary);
            ASSERT_EQ(OpensslAesEncryptEx(in.data(), static_cast<int>(length), out.data(), key.data(), bits), 1);
            std::string cipher = "-aes-" + std::to_string(bits) + "-ecb";
            Bytes oracle = tool({"openssl", "enc", cipher, "-nopad", "-K", hex(key.data(), bits / 8)}, in);
            EXPECT_EQ(hex(out.data(), whole), hex(oracle));
            EXPECT_EQ(out[whole], kCanary);
            ASSERT_EQ(OpensslAesDecryptEx(out.data(), static_cast<int>(length), back.data(), key.data(), bits), 1);
            EXPECT_EQ(Bytes(back.begin(), back.begin() + static_cast<long>(whole)), in);
        }
    }
    Bytes in = pattern(16, 1), out(16, kCanary);
    EXPECT_EQ(OpensslAesEncryptEx(in.data(), 16, out.data(), key.data(), 100), -1);
    EXPECT_EQ(OpensslAesDecryptEx(in.data(), 16, out.data(), key.data(), 512), -1);
    EXPECT_EQ(OpensslAesEncryptEx(in.data(), 0, out.data(), key.data(), 128), 1);
    EXPECT_EQ(OpensslAesEncryptEx(nullptr, 16, out.data(), key.data(), 128), -1);
    EXPECT_EQ(out, Bytes(16, kCanary)) << "nothing written";
}

TEST_F(CryptoWrappersTest, Md5MatchesMd5sum) {
    link(svc_sandbox::kCrypto);
    for (size_t length : {1u, 56u, 1000u}) {
        SCOPED_TRACE(length);
        Bytes in = pattern(length, 9), out(17, kCanary);
        ASSERT_EQ(OpensslMD5(in.data(), static_cast<int>(length), out.data(), 16), 0);
        put("in", in);
        EXPECT_EQ(hex(out.data(), 16), output({"md5sum", path("in")}).substr(0, 32));
        EXPECT_EQ(out[16], kCanary);
    }
    Bytes in = pattern(8, 1), out(16, kCanary);
    EXPECT_EQ(OpensslMD5(in.data(), 8, out.data(), 15), -1);
    EXPECT_EQ(out, Bytes(16, kCanary));
}

TEST_F(CryptoWrappersTest, TripleDesMatchesTheCommandLine) {
    link(svc_sandbox::kCrypto);
    Bytes key16 = pattern(16, 5), key24 = key16;
    key24.insert(key24.end(), key16.begin(), key16.begin() + 8);  // K1 K2 K1
    Bytes in = pattern(24, 2), out16(24, kCanary), out24(24, kCanary), back(24, kCanary);
    ASSERT_EQ(Openssl3DESEncrypt(in.data(), 24, out16.data(), 24, key16.data(), 16, 1), 1);
    ASSERT_EQ(Openssl3DESEncrypt(in.data(), 24, out24.data(), 24, key24.data(), 24, 1), 1);
    EXPECT_EQ(out16, out24);
    EXPECT_EQ(hex(out24), hex(tool({"openssl", "enc", "-des-ede3", "-nopad", "-K", hex(key24)}, in)));
    ASSERT_EQ(Openssl3DESEncrypt(out16.data(), 24, back.data(), 24, key16.data(), 16, 0), 1);
    EXPECT_EQ(back, in);

    Bytes untouched(24, kCanary);
    EXPECT_EQ(Openssl3DESEncrypt(in.data(), 24, untouched.data(), 7, key16.data(), 16, 1), 1);
    EXPECT_EQ(untouched, Bytes(24, kCanary)) << "no whole block in 7 bytes";
    EXPECT_EQ(Openssl3DESEncrypt(in.data(), 24, untouched.data(), 24, key16.data(), 8, 1), -3);
    EXPECT_EQ(Openssl3DESEncrypt(in.data(), 16, untouched.data(), 24, key16.data(), 16, 1), -1)
        << "length above the in length";
    EXPECT_EQ(Openssl3DESEncrypt(in.data(), 0, untouched.data(), 8, key16.data(), 16, 1), -1);
    EXPECT_EQ(untouched, Bytes(24, kCanary));
}

TEST_F(CryptoWrappersTest, Base64MatchesCoreutils) {
    link(svc_sandbox::kCrypto);
    for (size_t length : {48u, 49u, 96u, 5u}) {
        SCOPED_TRACE(length);
        Bytes in = pattern(length, 11);
        put("in", in);
        std::string expected = output({"base64", "-w", "64", path("in")});
        std::vector<char> text(expected.size() + 4, '#');
        int n = OpensslBase64Encode(in.data(), static_cast<int>(length), text.data(), static_cast<int>(expected.size()));
        ASSERT_EQ(n, static_cast<int>(expected.size()));
        EXPECT_EQ(std::string(text.data(), expected.size()), expected);
        EXPECT_EQ(text[expected.size()], '#') << "no terminating zero";
        if (length == 48) {
            EXPECT_EQ(n, 65);
        }
        if (length == 49 || length == 96) {
            EXPECT_EQ(std::count(expected.begin(), expected.end(), '\n'), 2);
        }

        std::vector<char> small(expected.size(), '#');
        EXPECT_EQ(OpensslBase64Encode(in.data(), static_cast<int>(length), small.data(),
                                      static_cast<int>(expected.size()) - 1),
                  -1);
        EXPECT_EQ(std::string(small.begin(), small.end()), std::string(expected.size(), '#'));

        Bytes decoded(length + 4, kCanary);
        ASSERT_EQ(OpensslBase64Decode(expected.data(), static_cast<int>(expected.size()), decoded.data(),
                                      static_cast<int>(length) + 1),
                  static_cast<int>(length));
        EXPECT_EQ(Bytes(decoded.begin(), decoded.begin() + static_cast<long>(length)), in);
        EXPECT_EQ(decoded[length], 0);
        EXPECT_EQ(decoded[length + 1], kCanary);
        Bytes tight(length + 4, kCanary);
        EXPECT_EQ(OpensslBase64Decode(expected.data(), static_cast<int>(expected.size()), tight.data(),
                                      static_cast<int>(length)),
                  -1)
            << "no room for the zero byte";
        EXPECT_EQ(tight, Bytes(length + 4, kCanary));
    }
}

TEST_F(CryptoWrappersTest, RawKeyRsaMatchesTheCommandLine) {
    link(svc_sandbox::kCrypto);
    ASSERT_NO_FATAL_FAILURE(make_key());
    Bytes in = pattern(10, 21), out(128, 0), back(128, 0);
    int out_length = 0, back_length = 0;
    ASSERT_EQ(opensslRSAPublicEncryptEx(kE, 3, n_.data(), 128, in.data(), 10, out.data(), &out_length), 128);
    EXPECT_EQ(out_length, 128);
    Bytes oracle = tool({"openssl", "pkeyutl", "-encrypt", "-pubin", "-inkey", path("pub.pem"), "-pkeyopt",
                         "rsa_padding_mode:none"},
                        left_padded(in));
    EXPECT_EQ(hex(out), hex(oracle));
    ASSERT_EQ(opensslRSAPrivateDecryptEx(d_.data(), static_cast<int>(d_.size()), n_.data(), 128, out.data(), 128,
                                         back.data(), &back_length),
              128);
    EXPECT_EQ(back, left_padded(in));

    // Private encryption is undone by the public key.
    ASSERT_EQ(opensslRSAPrivateEncryptEx(d_.data(), static_cast<int>(d_.size()), n_.data(), 128, in.data(), 10,
                                         out.data(), nullptr),
              128);
    ASSERT_EQ(opensslRSAPublicDecryptEx(kE, 3, n_.data(), 128, out.data(), 128, back.data(), nullptr), 128);
    EXPECT_EQ(back, left_padded(in));

    Bytes big(128, 0xFF), untouched(128, kCanary);
    EXPECT_LT(opensslRSAPublicEncryptEx(kE, 3, n_.data(), 128, big.data(), 128, untouched.data(), &out_length), 0)
        << "an input above the modulus";
    EXPECT_TRUE(logged("encrypt error:"));
    EXPECT_EQ(opensslRSAPublicEncryptEx(kE, 3, n_.data(), 128, in.data(), 0, untouched.data(), &out_length), -1);
    EXPECT_TRUE(logged("opensslRSAPublicEncryptEx invalid parameter"));
    EXPECT_EQ(opensslRSAPrivateDecryptEx(nullptr, 0, n_.data(), 128, in.data(), 10, untouched.data(), nullptr), -1);
    EXPECT_TRUE(logged("opensslRSAPrivateDecryptEx invalid parameter"));
}

TEST_F(CryptoWrappersTest, GeneratedKeysRoundTripAtFullLength) {
    link(svc_sandbox::kCrypto);
    // A d a byte short of the modulus comes about once in a few hundred keys; every
    // key round-trips through the raw-key wrappers as written.
    for (int k = 0; k < 3; ++k) {
        SCOPED_TRACE(k);
        Bytes d(129, kCanary), n(129, kCanary);
        ASSERT_EQ(OpensslRSAGenerateKey(1024, d.data(), n.data()), 0);
        EXPECT_EQ(d[128], kCanary);
        EXPECT_EQ(n[128], kCanary);
        EXPECT_GE(n[0], 0x80) << "a 1,024-bit modulus fills 128 bytes";
        Bytes in = pattern(10, k), out(128), back(128);
        ASSERT_EQ(opensslRSAPublicEncryptEx(kE, 3, n.data(), 128, in.data(), 10, out.data(), nullptr), 128);
        ASSERT_EQ(opensslRSAPrivateDecryptEx(d.data(), 128, n.data(), 128, out.data(), 128, back.data(), nullptr), 128);
        EXPECT_EQ(back, left_padded(in));
    }
    Bytes d(128), n(128);
    EXPECT_EQ(OpensslRSAGenerateKey(1024, nullptr, n.data()), -1);
    EXPECT_EQ(OpensslRSAGenerateKey(0, d.data(), n.data()), -1);
}

TEST_F(CryptoWrappersTest, PemKeysMatchTheCommandLine) {
    link(svc_sandbox::kCrypto);
    ASSERT_NO_FATAL_FAILURE(make_key());
    Bytes message = pattern(20, 4), out(128, 0), back(128, 0);
    int length = 0;
    ASSERT_EQ(OpensslRsaPublicEncrypt(message.data(), 20, out.data(), &length, pem_.c_str()), 0);
    EXPECT_EQ(length, 128);
    EXPECT_EQ(tool({"openssl", "pkeyutl", "-decrypt", "-inkey", path("key.pem")}, out), message);

    Bytes signature = tool({"openssl", "pkeyutl", "-sign", "-inkey", path("key.pem")}, message);
    ASSERT_EQ(signature.size(), 128u);
    ASSERT_EQ(OpensslRsaPublicDecrypt(signature.data(), 128, back.data(), &length, pem_.c_str()), 0);
    EXPECT_EQ(length, 20);
    EXPECT_EQ(Bytes(back.begin(), back.begin() + 20), message);

    EXPECT_EQ(OpensslRsaPublicEncrypt(message.data(), 20, out.data(), &length, "-----BEGIN PUBLIC KEY-----\nxx\n"), -3);
    EXPECT_TRUE(logged("load public key failed"));
    Bytes garbage(128, 0x01);
    EXPECT_LT(OpensslRsaPublicDecrypt(garbage.data(), 128, back.data(), &length, pem_.c_str()), 0)
        << "not a signature of this key";
    EXPECT_TRUE(logged("encrypt error:"));
    EXPECT_EQ(OpensslRsaPublicEncrypt(nullptr, 20, out.data(), &length, pem_.c_str()), -1);
    EXPECT_EQ(OpensslRsaPublicEncrypt(message.data(), 20, out.data(), &length, nullptr), -1);
}

TEST_F(CryptoWrappersTest, WithoutLibcryptoEveryWrapperRefuses) {
    Bytes in = pattern(32, 1), out(256, kCanary), key = pattern(32, 2);
    char text[128];
    const char b64[] = "AAAA\n";
    EXPECT_EQ(OpensslAesEncryptEx(in.data(), 16, out.data(), key.data(), 128), -2);
    EXPECT_EQ(OpensslAesDecryptEx(in.data(), 16, out.data(), key.data(), 128), -2);
    EXPECT_EQ(OpensslRSAGenerateKey(1024, out.data(), out.data() + 128), -1);
    EXPECT_EQ(opensslRSAPublicEncryptEx(kE, 3, key.data(), 32, in.data(), 10, out.data(), nullptr), -2);
    EXPECT_EQ(opensslRSAPublicDecryptEx(kE, 3, key.data(), 32, in.data(), 10, out.data(), nullptr), -2);
    EXPECT_EQ(opensslRSAPrivateEncryptEx(key.data(), 32, key.data(), 32, in.data(), 10, out.data(), nullptr), -2);
    EXPECT_EQ(opensslRSAPrivateDecryptEx(key.data(), 32, key.data(), 32, in.data(), 10, out.data(), nullptr), -2);
    EXPECT_TRUE(logged("opensslRSAPrivateDecryptEx init failed"));
    EXPECT_EQ(OpensslRsaPublicEncrypt(in.data(), 10, out.data(), nullptr, "key"), -2);
    EXPECT_EQ(OpensslRsaPublicDecrypt(in.data(), 10, out.data(), nullptr, "key"), -2);
    EXPECT_EQ(OpensslMD5(in.data(), 10, out.data(), 16), -2);
    EXPECT_EQ(Openssl3DESEncrypt(in.data(), 16, out.data(), 16, key.data(), 16, 1), -2);
    EXPECT_EQ(OpensslBase64Encode(in.data(), 10, text, sizeof text), -2);
    EXPECT_EQ(OpensslBase64Decode(b64, 5, out.data(), 16), -2);
    EXPECT_EQ(out, Bytes(256, kCanary));
    EXPECT_TRUE(logged("dlopen Error ["));
}

}  // namespace
