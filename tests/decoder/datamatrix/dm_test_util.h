// Shared pieces of the Data Matrix tests: a fixture with the decoder's working image as work
// memory, damaged blocks, and decodes that return the status and text. The symbol writer is
// dm_writer.h.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "core/pixel.h"
#include "core/state.h"
#include "datamatrix/dm_driver.h"
#include "datamatrix/dm_ecc200.h"
#include "datamatrix/dm_encodation.h"
#include "decoder_test.h"
#include "dm_writer.h"
#include "toolkit/reed_solomon.h"

namespace dmtest {

// Every test starts from the library's state at load with a blank 752 x 480 frame whose
// second buffer is the decoder's working image.
class DmTest : public vexo_test::DecoderTest {
protected:
    void SetUp() override {
        vexo_test::DecoderTest::SetUp();
        frame_.assign(752 * 480, 200);
        vexo::Pix_SetImagePointer(frame_.data());
        vexo::Pix_SetImageSize(752, 480);
        vexo::Pix_SetSecondBuffer(vexo::g_internalImage);
        vexo::Pix_InstallFrame(frame_.data(), 752, 480);
    }
    std::vector<uint8_t> frame_;
};

// Replaces `count` codewords of block k (data and check alike, from the first) by others.
inline void DamageBlock(int sizeIndex, std::vector<int> *codewords, int k, int count) {
    const int b = BlockCount(sizeIndex);
    int done = 0;
    for (size_t i = static_cast<size_t>(k); i < codewords->size() && done < count; i += static_cast<size_t>(b)) {
        // Check codewords of block k follow the data at the same stride from D + k.
        (*codewords)[i] ^= 0x5A + done;
        ++done;
    }
}

struct Decoded {
    int status = 0;
    std::string text;
};

// The result's text (its length may be 0 after a failure).
inline std::string ResultText() {
    const int n = vexo::g_dmResult.length;
    return std::string(reinterpret_cast<const char *>(vexo::g_dmResult.text), static_cast<size_t>(n < 0 ? 0 : n));
}

// Clears the text as the driver does, then decodes the matrix (a copy: the decode may mirror it).
inline Decoded DecodeMatrix(std::vector<uint8_t> m, int rows, int cols) {
    std::memset(vexo::g_dmResult.text, 0, vexo::kDmTextClearBytes);
    vexo::g_dmResult.length = 0;
    Decoded d;
    d.status = vexo::DM_DecodeMatrix(m.data(), rows, cols);
    d.text = ResultText();
    return d;
}

inline Decoded DecodeSize(int sizeIndex, const std::vector<uint8_t> &m) {
    return DecodeMatrix(m, Row(sizeIndex).mappingRows, Row(sizeIndex).mappingCols);
}

// Runs the encodation decoder on data codewords (the rest of the array zero).
inline Decoded DecodeCodewords(const std::vector<int> &data, int dataCount = -1) {
    vexo::DM_BindWorkAreas();
    std::memset(vexo::g_dmData.codewords, 0, sizeof(int32_t) * vexo::kDmCodewordCapacity);
    for (size_t i = 0; i < data.size() && i < static_cast<size_t>(vexo::kDmCodewordCapacity); ++i) {
        vexo::g_dmData.codewords[i] = data[i];
    }
    vexo::g_dmData.dataCount = dataCount < 0 ? static_cast<int>(data.size()) : dataCount;
    vexo::g_dmData.eciSeen = 0;
    vexo::g_dmData.fnc1Position = 0;
    std::memset(vexo::g_dmResult.text, 0, vexo::kDmTextClearBytes);
    Decoded d;
    d.status = vexo::DM_DecodeCodewords();
    d.text = ResultText();
    return d;
}

inline char Aim() {
    char aim[3] = {0, 0, 0};
    vexo::DM_WriteAimId(aim);
    return aim[2];
}

}  // namespace dmtest
