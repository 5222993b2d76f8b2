// Image and file output: BMP pictures of grey frames, whole files written and read.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "readercore.h"
#include "service_log.h"

namespace {

using FileOutputTest = ServiceTest;

uint32_t le32(const std::string &s, size_t at) {
    return static_cast<uint32_t>(static_cast<uint8_t>(s[at])) | static_cast<uint32_t>(static_cast<uint8_t>(s[at + 1])) << 8 |
           static_cast<uint32_t>(static_cast<uint8_t>(s[at + 2])) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(s[at + 3])) << 24;
}

uint16_t le16(const std::string &s, size_t at) {
    return static_cast<uint16_t>(static_cast<uint8_t>(s[at]) | static_cast<uint8_t>(s[at + 1]) << 8);
}

std::vector<uint8_t> frame(int width, int height, uint32_t seed) {
    std::vector<uint8_t> px(static_cast<size_t>(width) * static_cast<size_t>(height));
    uint32_t x = seed;
    for (auto &p : px) {
        x = x * 1664525u + 1013904223u;
        p = static_cast<uint8_t>(x >> 24);
    }
    return px;
}

TEST_F(FileOutputTest, BmpOfA640By480FrameHasTheExactHeader) {
    auto px = frame(640, 480, 7);
    make_dirs("/data/yuv");
    ASSERT_EQ(WriteBmp("/data/yuv/1.bmp", px.data(), 640, 480), 0);
    std::string f = read_file("/data/yuv/1.bmp");
    ASSERT_EQ(f.size(), 308278u);
    EXPECT_EQ(f.substr(0, 2), "BM");
    EXPECT_EQ(le32(f, 2), 308278u);
    EXPECT_EQ(le32(f, 6), 0u);
    EXPECT_EQ(le32(f, 10), 1078u);
    EXPECT_EQ(le32(f, 14), 40u);
    EXPECT_EQ(le32(f, 18), 640u);
    EXPECT_EQ(le32(f, 22), 480u);
    EXPECT_EQ(le16(f, 26), 1);
    EXPECT_EQ(le16(f, 28), 8);
    EXPECT_EQ(le32(f, 30), 0u);
    EXPECT_EQ(le32(f, 34), 307200u);
    for (size_t at = 38; at < 54; at += 4) EXPECT_EQ(le32(f, at), 0u) << at;
    for (uint32_t i = 0; i < 256; ++i) EXPECT_EQ(le32(f, 54 + 4 * i), i | i << 8 | i << 16) << "palette " << i;
    EXPECT_EQ(f.compare(1078, std::string::npos, reinterpret_cast<const char *>(px.data()), px.size()), 0)
        << "rows as they stand in memory, first row first";
    EXPECT_TRUE(logged("WriteBmp [/data/yuv/1.bmp]"));

    std::vector<uint8_t> back(px.size(), 0);
    EXPECT_EQ(ReadBmp("/data/yuv/1.bmp", back.data(), 640, 480), static_cast<int>(px.size()));
    EXPECT_EQ(back, px);
}

TEST_F(FileOutputTest, BmpSizesFollowEachPicture) {
    struct Case {
        int w, h;
    };
    for (Case c : {Case{752, 480}, Case{5, 3}, Case{1, 1}, Case{640, 480}}) {
        auto px = frame(c.w, c.h, static_cast<uint32_t>(c.w));
        ASSERT_EQ(WriteBmp("/pic.bmp", px.data(), c.w, c.h), 0);
        std::string f = read_file("/pic.bmp");
        uint32_t n = static_cast<uint32_t>(c.w * c.h);
        EXPECT_EQ(f.size(), n + 1078u) << c.w << "x" << c.h << ": no row padding";
        EXPECT_EQ(le32(f, 2), n + 1078u);
        EXPECT_EQ(le32(f, 18), static_cast<uint32_t>(c.w));
        EXPECT_EQ(le32(f, 22), static_cast<uint32_t>(c.h));
        EXPECT_EQ(le32(f, 34), n);
    }
}

TEST_F(FileOutputTest, BmpRefusesSizesItCannotDescribe) {
    uint8_t px[4] = {};
    const std::pair<int, int> bad[] = {{0, 1}, {1, 0}, {-4, 4}, {4, -4}, {65536, 65536}, {46341, 46341}};
    for (const auto &b : bad) {
        EXPECT_EQ(WriteBmp("/bad.bmp", px, b.first, b.second), -1) << b.first << "x" << b.second;
        EXPECT_FALSE(exists("/bad.bmp"));
        EXPECT_EQ(ReadBmp("/bad.bmp", px, b.first, b.second), -1);
    }
    EXPECT_EQ(WriteBmp("/bad.bmp", nullptr, 2, 2), -1);
    EXPECT_EQ(WriteBmp("/nodir/x.bmp", px, 2, 2), -1);
    EXPECT_FALSE(logged("WriteBmp [/nodir/x.bmp]"));
}

TEST_F(FileOutputTest, ReadBmpReadsNoMoreThanTheFrame) {
    auto px = frame(8, 4, 3);
    ASSERT_EQ(WriteBmp("/p.bmp", px.data(), 8, 4), 0);
    std::vector<uint8_t> out(40, 0xEE);
    EXPECT_EQ(ReadBmp("/p.bmp", out.data(), 4, 4), 16);
    EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + 16), std::vector<uint8_t>(px.begin(), px.begin() + 16));
    EXPECT_EQ(out[16], 0xEE);
    EXPECT_EQ(ReadBmp("/p.bmp", out.data(), 10, 4), 32) << "a short file gives what it holds";
    EXPECT_EQ(ReadBmp("/missing.bmp", out.data(), 4, 4), -1);
}

TEST_F(FileOutputTest, SaveFileWritesAndTruncates) {
    write_file("/data/dump.raw", std::string(100, 'o'));
    const uint8_t data[] = {0, 1, 2, 0xFF};
    EXPECT_EQ(SaveFile("/data/dump.raw", data, 4), 0);
    EXPECT_EQ(read_file("/data/dump.raw"), std::string("\0\1\2\xff", 4));
    EXPECT_TRUE(logged("SaveFile [/data/dump.raw]"));
    EXPECT_EQ(SaveFile("/data/empty.raw", nullptr, 0), 0);
    EXPECT_TRUE(exists("/data/empty.raw"));
    EXPECT_EQ(SaveFile("/data/x.raw", nullptr, 4), -1);
    EXPECT_EQ(SaveFile("/data/y.raw", data, -1), -1);
    EXPECT_EQ(SaveFile("/nodir/z.raw", data, 4), -1);
    EXPECT_FALSE(exists("/data/x.raw"));
    EXPECT_FALSE(exists("/data/y.raw"));
}

TEST_F(FileOutputTest, ReadBinFileOfAnEmptyFileLeavesTheBufferUntouched) {
    write_file("/data/empty.bin", "");
    uint8_t sentinel = 0;
    uint8_t *buffer = &sentinel;
    int32_t length = 99;
    EXPECT_EQ(ReadBinFile("/data/empty.bin", &buffer, &length), 0);
    EXPECT_EQ(buffer, &sentinel);
    EXPECT_EQ(length, 0);
    length = 99;
    EXPECT_EQ(ReadBinFile("/data/missing.bin", &buffer, &length), 0);
    EXPECT_EQ(buffer, &sentinel);
    EXPECT_EQ(length, 0);
}

TEST_F(FileOutputTest, ReadBinFileReadsTheWholeFile) {
    std::string content(100003, '\0');
    for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 31);
    write_file("/sdcard/fw.bin", content);
    uint8_t *buffer = nullptr;
    int32_t length = 0;
    EXPECT_EQ(ReadBinFile("/sdcard/fw.bin", &buffer, &length), static_cast<int>(content.size()));
    ASSERT_NE(buffer, nullptr);
    ASSERT_EQ(length, static_cast<int32_t>(content.size()));
    EXPECT_EQ(std::string(reinterpret_cast<char *>(buffer), static_cast<size_t>(length)), content);
    free(buffer);
    EXPECT_EQ(ReadBinFile(nullptr, &buffer, &length), -1);
    EXPECT_EQ(ReadBinFile("/sdcard/fw.bin", nullptr, &length), -1);
    EXPECT_EQ(ReadBinFile("/sdcard/fw.bin", &buffer, nullptr), -1);
}

}  // namespace
