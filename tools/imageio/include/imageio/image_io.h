// Reading and writing image files as grey frames: PGM (binary P5 and plain P2) and PNG.
// Colour is converted to grey with integer BT.601 weights (77 R + 150 G + 29 B) / 256, so a
// grey colour keeps its value; transparency is laid over white.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "imageio/frame.h"

namespace imageio {

// Largest side and pixel count an image file may declare; larger headers are refused before
// anything is allocated.
inline constexpr int kMaxImageSide = 1 << 15;
inline constexpr int64_t kMaxImagePixels = int64_t{1} << 28;

// Each loader answers true with *out filled, or false with a one-line reason in *error
// (without the file name) and *out untouched.
bool LoadPgm(const std::string &path, Frame *out, std::string *error);
bool LoadPng(const std::string &path, Frame *out, std::string *error);
// Picks the format by the file's first bytes.
bool LoadImage(const std::string &path, Frame *out, std::string *error);
// PGM from memory (the loaders above read the file and call this).
bool ParsePgm(std::string_view bytes, Frame *out, std::string *error);

bool WritePgm(const std::string &path, const Frame &frame, std::string *error = nullptr);
bool WritePng(const std::string &path, const Frame &frame, std::string *error = nullptr);
// An 8-bit RGB PNG (3 bytes per pixel, row after row), for tests of colour input.
bool WritePngRgb(const std::string &path, int width, int height, const std::vector<uint8_t> &rgb,
                 std::string *error = nullptr);

// The grey value the loaders give a colour.
inline uint8_t GreyOf(uint8_t r, uint8_t g, uint8_t b) {
    return static_cast<uint8_t>((77u * r + 150u * g + 29u * b + 128u) >> 8);
}

}  // namespace imageio
