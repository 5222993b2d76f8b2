// Image files in and out: PGM (binary and plain) and PNG, colour turned grey.
#include <gtest/gtest.h>

#include <png.h>

#include <fstream>

#include "support/temp_dir.h"
#include "support/testkit.h"

namespace testkit {
namespace {

void WriteBytes(const std::string &path, const std::string &bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

Frame Ramp(int w, int h) {
    Frame f(w, h);
    for (size_t i = 0; i < f.pixels.size(); ++i) f.pixels[i] = static_cast<uint8_t>(i * 37 + i / 7);
    return f;
}

TEST(ImageFiles, PgmAndPngRoundTrip) {
    TempDir dir;
    const Frame f = Ramp(33, 17);
    for (const char *name : {"a.pgm", "a.png"}) {
        const std::string path = dir.File(name);
        std::string error;
        ASSERT_TRUE(std::string(name).ends_with(".pgm") ? WritePgm(path, f, &error) : WritePng(path, f, &error)) << error;
        Frame back;
        ASSERT_TRUE(LoadImage(path, &back, &error)) << name << ": " << error;
        EXPECT_EQ(back.width, 33);
        EXPECT_EQ(back.height, 17);
        EXPECT_EQ(back.pixels, f.pixels) << name;
    }
}

TEST(ImageFiles, PgmVariants) {
    struct Case {
        const char *name;
        std::string bytes;
        int w, h;
        std::vector<uint8_t> pixels;
    };
    const Case kCases[] = {
        {"plain with comments", "P2\n# made by hand\n3 2 # size\n255\n0 1 2\n253 254 255\n", 3, 2, {0, 1, 2, 253, 254, 255}},
        {"plain, maxval 15 scaled", "P2 2 1 15 0 15", 2, 1, {0, 255}},
        {"binary, maxval 100", std::string("P5 3 1 100\n") + std::string("\x00\x32\x64", 3), 3, 1, {0, 128, 255}},
        {"binary, 16-bit", std::string("P5 2 1 65535\n") + std::string("\x00\x00\xFF\xFF", 4), 2, 1, {0, 255}},
        {"binary, comment before raster", std::string("P5 2 1\n#c\n255\n") + "AB", 2, 1, {'A', 'B'}},
    };
    for (const Case &c : kCases) {
        Frame f;
        std::string error;
        ASSERT_TRUE(ParsePgm(c.bytes, &f, &error)) << c.name << ": " << error;
        EXPECT_EQ(f.width, c.w) << c.name;
        EXPECT_EQ(f.height, c.h) << c.name;
        EXPECT_EQ(f.pixels, c.pixels) << c.name;
    }
}

TEST(ImageFiles, BadPgmIsRefusedWithAReason) {
    struct Case {
        std::string bytes;
        const char *reason;
    };
    const Case kCases[] = {
        {"P6 1 1 255\nabc", "not a PGM image"},
        {"P5 0 4 255\n", "unsupported PGM size 0x4"},
        {"P5 40000 2 255\n", "unsupported PGM size 40000x2"},
        {"P5 20000 20000 255\n", "unsupported PGM size 20000x20000"},
        {"P5 4 4 255\nabc", "truncated PGM data"},
        {"P5 1 1 0\nx", "bad PGM maxval 0"},
        {"P5 1 1 70000\nxx", "bad PGM maxval 70000"},
        {"P5 1 1 255", "bad PGM header"},
        {"P5 2", "bad PGM header"},
        {"P5 x 2 255\n", "bad PGM header"},
        {"P2 2 2 255 1 2 3", "truncated PGM data"},
        {"P2 1 1 10 11", "PGM sample above maxval"},
        {"P5 1 1 10\n\x0B", "PGM sample above maxval"},
    };
    for (const Case &c : kCases) {
        Frame f(2, 2, 9);
        std::string error;
        EXPECT_FALSE(ParsePgm(c.bytes, &f, &error)) << c.bytes;
        EXPECT_EQ(error.rfind(c.reason, 0), 0u) << c.bytes << " gave: " << error;
        EXPECT_EQ(f.width, 2) << "left untouched";
    }
}

TEST(ImageFiles, ColourPngTurnsGreyAndTransparencyLiesOnWhite) {
    TempDir dir;
    // Red, green, blue, white, black, a grey: BT.601 weights in 1/256.
    const std::vector<uint8_t> rgb = {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255, 0, 0, 0, 123, 123, 123};
    std::string error;
    ASSERT_TRUE(WritePngRgb(dir.File("c.png"), 3, 2, rgb, &error)) << error;
    Frame f;
    ASSERT_TRUE(LoadImage(dir.File("c.png"), &f, &error)) << error;
    EXPECT_EQ(f.pixels, (std::vector<uint8_t>{77, 149, 29, 255, 0, 123}));

    // Grey with alpha: fully transparent is white, opaque keeps its value, half is between.
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = 3;
    image.height = 1;
    image.format = PNG_FORMAT_GA;
    const uint8_t ga[] = {0, 0, 0, 255, 0, 128};
    ASSERT_NE(png_image_write_to_file(&image, dir.File("ga.png").c_str(), 0, ga, 0, nullptr), 0);
    ASSERT_TRUE(LoadImage(dir.File("ga.png"), &f, &error)) << error;
    EXPECT_EQ(f.pixels[0], 255);
    EXPECT_EQ(f.pixels[1], 0);
    EXPECT_NEAR(f.pixels[2], 127, 1);
}

TEST(ImageFiles, UnreadableFilesNameTheirProblem) {
    TempDir dir;
    WriteBytes(dir.File("text.png"), "hello, not an image");
    WriteBytes(dir.File("cut.png"), std::string("\x89PNG\r\n\x1A\n\0\0\0\x0DIHDR", 16));
    struct Case {
        std::string path;
        const char *reason;
    };
    const Case kCases[] = {
        {dir.File("missing.pgm"), "cannot open: No such file or directory"},
        {dir.File("text.png"), "not a PGM or PNG image"},
        {dir.File("cut.png"), "bad PNG"},
        {dir.path().string(), "cannot read: Is a directory"},
    };
    for (const Case &c : kCases) {
        Frame f;
        std::string error;
        EXPECT_FALSE(LoadImage(c.path, &f, &error)) << c.path;
        EXPECT_EQ(error.rfind(c.reason, 0), 0u) << c.path << " gave: " << error;
    }
}

}  // namespace
}  // namespace testkit
