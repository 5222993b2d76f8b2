// Loading the decoder library the way the scanner runtime does: by file name, each of the
// six exported functions bound by name.
#pragma once

#include <string>

#include "support/decoder_api.h"

namespace decode_image {

class DecoderLibrary {
public:
    DecoderLibrary() = default;
    DecoderLibrary(const DecoderLibrary &) = delete;
    DecoderLibrary &operator=(const DecoderLibrary &) = delete;
    ~DecoderLibrary();

    // False with a one-line reason when the file does not load or lacks a function.
    bool Load(const std::string &path, std::string *error);
    const testkit::DecoderApi &api() const { return api_; }

private:
    void *handle_ = nullptr;
    testkit::DecoderApi api_;
};

}  // namespace decode_image
