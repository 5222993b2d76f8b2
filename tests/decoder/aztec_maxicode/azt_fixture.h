// Fixture of the Aztec data-layer tests: the decoder's state at load and the arena ready.
#pragma once

#include "azt_test_util.h"
#include "core/arena.h"
#include "decoder_test.h"

namespace azttest {

class AztTest : public vexo_test::DecoderTest {
protected:
    void SetUp() override {
        DecoderTest::SetUp();
        vexo::Mem_ResetArena();
    }
};

}  // namespace azttest
