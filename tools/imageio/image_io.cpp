#include "imageio/image_io.h"

#include <png.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

namespace imageio {

namespace {

bool Fail(std::string *error, std::string message) {
    if (error != nullptr) *error = std::move(message);
    return false;
}

bool ReadWholeFile(const std::string &path, std::string *bytes, std::string *error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return Fail(error, std::string("cannot open: ") + std::strerror(errno));
    std::ostringstream buf;
    buf << in.rdbuf();
    if (in.bad()) return Fail(error, "read error");
    *bytes = buf.str();
    return true;
}

bool SizeAcceptable(int64_t w, int64_t h) {
    return w > 0 && h > 0 && w <= kMaxImageSide && h <= kMaxImageSide && w * h <= kMaxImagePixels;
}

// Reads the PGM header fields: whitespace and '#' comments separate them.
class PgmReader {
public:
    explicit PgmReader(std::string_view bytes) : bytes_(bytes) {}

    bool Number(int64_t *value) {
        SkipSpace();
        if (pos_ >= bytes_.size() || bytes_[pos_] < '0' || bytes_[pos_] > '9') return false;
        int64_t v = 0;
        while (pos_ < bytes_.size() && bytes_[pos_] >= '0' && bytes_[pos_] <= '9') {
            v = v * 10 + (bytes_[pos_] - '0');
            if (v > (int64_t{1} << 40)) return false;
            ++pos_;
        }
        *value = v;
        return true;
    }
    // After maxval exactly one whitespace byte precedes the raster.
    bool SkipOneSpace() {
        if (pos_ >= bytes_.size() || !IsSpace(bytes_[pos_])) return false;
        ++pos_;
        return true;
    }
    size_t pos() const { return pos_; }

private:
    static bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }
    void SkipSpace() {
        while (pos_ < bytes_.size()) {
            if (IsSpace(bytes_[pos_])) {
                ++pos_;
            } else if (bytes_[pos_] == '#') {
                while (pos_ < bytes_.size() && bytes_[pos_] != '\n') ++pos_;
            } else {
                break;
            }
        }
    }
    std::string_view bytes_;
    size_t pos_ = 2;
};

uint8_t ScaleSample(int64_t v, int64_t maxval) {
    return static_cast<uint8_t>((v * 255 + maxval / 2) / maxval);
}

}  // namespace

bool ParsePgm(std::string_view bytes, Frame *out, std::string *error) {
    if (bytes.size() < 2 || bytes[0] != 'P' || (bytes[1] != '5' && bytes[1] != '2')) {
        return Fail(error, "not a PGM image (P5 or P2)");
    }
    const bool plain = bytes[1] == '2';
    PgmReader reader(bytes);
    int64_t w = 0, h = 0, maxval = 0;
    if (!reader.Number(&w) || !reader.Number(&h) || !reader.Number(&maxval)) return Fail(error, "bad PGM header");
    if (!SizeAcceptable(w, h)) {
        return Fail(error, "unsupported PGM size " + std::to_string(w) + "x" + std::to_string(h));
    }
    if (maxval < 1 || maxval > 65535) return Fail(error, "bad PGM maxval " + std::to_string(maxval));
    Frame frame(static_cast<int>(w), static_cast<int>(h));
    const size_t count = frame.pixels.size();
    if (plain) {
        for (size_t i = 0; i < count; ++i) {
            int64_t v = 0;
            if (!reader.Number(&v)) return Fail(error, "truncated PGM data");
            if (v > maxval) return Fail(error, "PGM sample above maxval");
            frame.pixels[i] = ScaleSample(v, maxval);
        }
    } else {
        if (!reader.SkipOneSpace()) return Fail(error, "bad PGM header");
        const size_t bytesPerSample = maxval > 255 ? 2 : 1;
        const size_t start = reader.pos();
        if (bytes.size() - start < count * bytesPerSample) return Fail(error, "truncated PGM data");
        const auto *p = reinterpret_cast<const uint8_t *>(bytes.data() + start);
        for (size_t i = 0; i < count; ++i) {
            int64_t v = bytesPerSample == 2 ? (int64_t{p[2 * i]} << 8) | p[2 * i + 1] : p[i];
            if (v > maxval) return Fail(error, "PGM sample above maxval");
            frame.pixels[i] = maxval == 255 ? static_cast<uint8_t>(v) : ScaleSample(v, maxval);
        }
    }
    *out = std::move(frame);
    return true;
}

bool LoadPgm(const std::string &path, Frame *out, std::string *error) {
    std::string bytes;
    if (!ReadWholeFile(path, &bytes, error)) return false;
    return ParsePgm(bytes, out, error);
}

bool LoadPng(const std::string &path, Frame *out, std::string *error) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    FILE *file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return Fail(error, std::string("cannot open: ") + std::strerror(errno));
    const bool begun = png_image_begin_read_from_stdio(&image, file) != 0;
    if (!begun) {
        std::fclose(file);
        return Fail(error, std::string("bad PNG: ") + image.message);
    }
    if (!SizeAcceptable(image.width, image.height)) {
        png_image_free(&image);
        std::fclose(file);
        return Fail(error, "unsupported PNG size " + std::to_string(image.width) + "x" + std::to_string(image.height));
    }
    // Every PNG is read as 8-bit RGBA and turned grey here, so that the conversion is ours.
    image.format = PNG_FORMAT_RGBA;
    std::vector<uint8_t> rgba(PNG_IMAGE_SIZE(image));
    const bool read = png_image_finish_read(&image, nullptr, rgba.data(), 0, nullptr) != 0;
    std::fclose(file);
    if (!read) {
        png_image_free(&image);
        return Fail(error, std::string("bad PNG: ") + image.message);
    }
    Frame frame(static_cast<int>(image.width), static_cast<int>(image.height));
    for (size_t i = 0; i < frame.pixels.size(); ++i) {
        const uint8_t *px = &rgba[4 * i];
        const uint32_t grey = GreyOf(px[0], px[1], px[2]);
        const uint32_t alpha = px[3];
        frame.pixels[i] = static_cast<uint8_t>((grey * alpha + 255u * (255u - alpha) + 127u) / 255u);
    }
    *out = std::move(frame);
    return true;
}

bool LoadImage(const std::string &path, Frame *out, std::string *error) {
    FILE *file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return Fail(error, std::string("cannot open: ") + std::strerror(errno));
    unsigned char magic[8] = {};
    const size_t n = std::fread(magic, 1, sizeof magic, file);
    const bool failed = std::ferror(file) != 0;
    const int readErrno = errno;
    std::fclose(file);
    if (failed) return Fail(error, std::string("cannot read: ") + std::strerror(readErrno));
    static constexpr unsigned char kPngMagic[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (n == 8 && std::memcmp(magic, kPngMagic, 8) == 0) return LoadPng(path, out, error);
    if (n >= 2 && magic[0] == 'P' && (magic[1] == '5' || magic[1] == '2')) return LoadPgm(path, out, error);
    return Fail(error, "not a PGM or PNG image");
}

bool WritePgm(const std::string &path, const Frame &frame, std::string *error) {
    std::ofstream out(path, std::ios::binary);
    if (!out) return Fail(error, std::string("cannot create: ") + std::strerror(errno));
    out << "P5\n" << frame.width << ' ' << frame.height << "\n255\n";
    out.write(reinterpret_cast<const char *>(frame.pixels.data()), static_cast<std::streamsize>(frame.pixels.size()));
    out.close();
    if (!out) return Fail(error, "write error");
    return true;
}

namespace {

bool WritePngFormat(const std::string &path, int width, int height, png_uint_32 format, const uint8_t *data,
                    std::string *error) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = format;
    if (png_image_write_to_file(&image, path.c_str(), 0, data, 0, nullptr) == 0) {
        return Fail(error, std::string("cannot write PNG: ") + image.message);
    }
    return true;
}

}  // namespace

bool WritePng(const std::string &path, const Frame &frame, std::string *error) {
    return WritePngFormat(path, frame.width, frame.height, PNG_FORMAT_GRAY, frame.pixels.data(), error);
}

bool WritePngRgb(const std::string &path, int width, int height, const std::vector<uint8_t> &rgb,
                 std::string *error) {
    if (rgb.size() != static_cast<size_t>(width) * static_cast<size_t>(height) * 3) return Fail(error, "RGB size mismatch");
    return WritePngFormat(path, width, height, PNG_FORMAT_RGB, rgb.data(), error);
}

}  // namespace imageio
