// Encrypted configuration files and the AES wrappers, against the openssl command line,
// with the real libcrypto loaded at run time under the test root.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "config_test.h"

namespace {

using svc_sandbox::kConfigKey;

using CryptoTest = ConfigTest;

// A well-formed document of exactly size bytes (at least 7).
std::string document_of_size(size_t size) {
    std::string filler;
    for (size_t i = 0; i + 7 < size; ++i) filler += static_cast<char>('a' + i % 23);
    return "<r>" + filler + "</r>";
}

std::string transform(bool encrypt, const std::string &in, const char *key, int *result) {
    std::vector<uint8_t> out(in.size() + 1, 0xEE);
    const uint8_t *bytes = reinterpret_cast<const uint8_t *>(in.data());
    int size = static_cast<int>(in.size());
    *result = encrypt ? OpensslAesEncrypt(bytes, size, out.data(), key)
                      : OpensslAesDecrypt(bytes, size, out.data(), key);
    EXPECT_EQ(out[in.size()], 0xEE) << "written past the length";
    return std::string(out.begin(), out.end() - 1);
}

TEST_F(CryptoTest, EncryptionMatchesTheOpensslCommandLine) {
    link(svc_sandbox::kXml | svc_sandbox::kCrypto);
    for (size_t size : {15u, 16u, 33u, 4000u}) {
        SCOPED_TRACE(size);
        std::string plain = document_of_size(size);
        ASSERT_EQ(plain.size(), size);
        int result = 0;
        std::string cipher = transform(true, plain, kConfigKey, &result);
        ASSERT_EQ(result, 1);
        std::string oracle;
        ASSERT_TRUE(svc_sandbox::openssl_encrypt(plain, kConfigKey, &oracle));
        size_t whole = size - size % 16;
        EXPECT_EQ(cipher.substr(0, whole), oracle.substr(0, whole));
        EXPECT_EQ(cipher.substr(whole), plain.substr(whole)) << "the tail stays plain";
        if (size < 16) {
            EXPECT_EQ(cipher, plain);
        }
        EXPECT_EQ(transform(false, cipher, kConfigKey, &result), plain);
        EXPECT_EQ(result, 1);

        std::string path = "/system/usr/xml/doc" + std::to_string(size) + "EN";
        write_file(path, cipher);
        XML_HANDLE *h = XMLOpenDecrypt(path.c_str(), kConfigKey);
        ASSERT_NE(h, nullptr);
        EXPECT_EQ(std::string(h->path), path);
        char *text = XMLNodeGetContent(h->root);
        ASSERT_NE(text, nullptr);
        EXPECT_EQ(std::string(text), plain.substr(3, size - 7));
        free(text);
        XMLClose(h);
    }
}

TEST_F(CryptoTest, DecryptionRefusesWhatIsNotAConfigurationFile) {
    link(svc_sandbox::kXml | svc_sandbox::kCrypto);
    std::string plain = document_of_size(64);
    std::string cipher;
    ASSERT_TRUE(svc_sandbox::openssl_encrypt(plain, kConfigKey, &cipher));
    write_file("/data/plain.xml", plain);
    write_file("/data/docEN", cipher);
    write_file("/data/empty", "");
    make_dirs("/data/dir.xml");
    EXPECT_EQ(XMLOpenDecrypt("/data/plain.xml", kConfigKey), nullptr);
    EXPECT_EQ(XMLOpenDecrypt("/data/docEN", "Kwd7316"), nullptr);
    EXPECT_EQ(XMLOpenDecrypt("/data/missing", kConfigKey), nullptr);
    EXPECT_EQ(XMLOpenDecrypt("/data/empty", kConfigKey), nullptr);
    EXPECT_EQ(XMLOpenDecrypt(nullptr, kConfigKey), nullptr);
    // A directory has a size but reads nothing: a short read.
    EXPECT_EQ(XMLOpenDecrypt("/data/dir.xml", kConfigKey), nullptr);
    EXPECT_TRUE(logged("XMLOpenDecrypt short read [/data/dir.xml] [0] ["));
    {
        FileWatch watch(host("/data/docEN"));
        ASSERT_TRUE(watch.valid());
        EXPECT_EQ(XMLOpenDecrypt("/data/docEN", nullptr), nullptr);
        EXPECT_FALSE(watch.touched()) << "a missing key must not touch the file";
    }
    // A size the wrappers' lengths cannot hold is refused before anything is read.
    int fd = open(host("/data/hugeEN").c_str(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, 3LL << 30), 0);
    close(fd);
    EXPECT_EQ(XMLOpenDecrypt("/data/hugeEN", kConfigKey), nullptr);
    EXPECT_TRUE(logged("XMLOpenDecrypt too large [/data/hugeEN] [3221225472]"));
    XML_HANDLE *h = XMLOpenDecrypt("/data/docEN", kConfigKey);
    EXPECT_NE(h, nullptr);
    XMLClose(h);
}

TEST_F(CryptoTest, KeyTextsAndArguments) {
    link(svc_sandbox::kCrypto);
    std::string plain = document_of_size(40);
    std::string key31(31, 'k');
    int result = 0;
    std::string cipher = transform(true, plain, key31.c_str(), &result);
    EXPECT_EQ(result, 1);
    std::string oracle;
    ASSERT_TRUE(svc_sandbox::openssl_encrypt(plain, key31, &oracle));
    EXPECT_EQ(cipher, oracle);

    std::string key32(32, 'k');
    std::vector<uint8_t> out(48, 0xEE);
    const uint8_t *in = reinterpret_cast<const uint8_t *>(plain.data());
    EXPECT_EQ(OpensslAesEncrypt(in, 40, out.data(), key32.c_str()), -1);
    EXPECT_EQ(OpensslAesDecrypt(in, 40, out.data(), key32.c_str()), -1);
    EXPECT_TRUE(logged("OpensslAesEncrypt key text too long [32] [31]"));
    EXPECT_EQ(OpensslAesEncrypt(nullptr, 40, out.data(), kConfigKey), -1);
    EXPECT_EQ(OpensslAesEncrypt(in, 40, nullptr, kConfigKey), -1);
    EXPECT_EQ(OpensslAesEncrypt(in, 40, out.data(), nullptr), -1);
    EXPECT_EQ(OpensslAesDecrypt(in, -1, out.data(), kConfigKey), -1);
    EXPECT_EQ(OpensslAesEncrypt(in, 0, out.data(), kConfigKey), 1);
    EXPECT_EQ(out, std::vector<uint8_t>(48, 0xEE)) << "nothing written";
}

TEST_F(CryptoTest, WithoutLibcryptoTheWrappersAnswerMinusTwo) {
    link(svc_sandbox::kXml);
    std::string plain = document_of_size(40);
    std::vector<uint8_t> out(40, 0xEE);
    const uint8_t *in = reinterpret_cast<const uint8_t *>(plain.data());
    EXPECT_EQ(OpensslAesEncrypt(in, 40, out.data(), kConfigKey), -2);
    EXPECT_EQ(OpensslAesDecrypt(in, 40, out.data(), kConfigKey), -2);
    EXPECT_EQ(out, std::vector<uint8_t>(40, 0xEE));
    EXPECT_EQ(count_logged("dlopen Error ["), 2u) << "one line at each call";
    write_file("/data/docEN", plain);
    EXPECT_EQ(XMLOpenDecrypt("/data/docEN", kConfigKey), nullptr);
    // The copies in modes 1 and 2 then write no destination.
    for (int mode : {1, 2}) {
        std::string dst = "/data/copy" + std::to_string(mode);
        EXPECT_EQ(copy_xml("/data/docEN", dst.c_str(), mode, kConfigKey), -1) << mode;
        EXPECT_FALSE(exists(dst)) << mode;
    }
}

TEST_F(CryptoTest, CopyXmlEncryptsThenDecrypts) {
    link(svc_sandbox::kCrypto);
    std::string plain = render("engine.xml", {{"ATTR", "a"}, {"VALUE", "v"}});
    write_file("/system/usr/xml/CONFIG.xml", plain);
    make_dirs("/cache");
    int size = static_cast<int>(plain.size());
    EXPECT_EQ(copy_xml("/system/usr/xml/CONFIG.xml", "/cache/CONFIGEN", 1, kConfigKey), size);
    std::string oracle;
    ASSERT_TRUE(svc_sandbox::openssl_encrypt(plain, kConfigKey, &oracle));
    EXPECT_EQ(read_file("/cache/CONFIGEN"), oracle);
    EXPECT_EQ(copy_xml("/cache/CONFIGEN", "/cache/CONFIG.xml", 2, kConfigKey), size);
    EXPECT_EQ(read_file("/cache/CONFIG.xml"), plain);
    EXPECT_EQ(copy_xml("/cache/CONFIGEN", "/cache/bad", 2, std::string(40, 'k').c_str()), -1);
    EXPECT_FALSE(exists("/cache/bad"));
}

}  // namespace
