// Module runs of one row of a symbol made with libzint (the libzint tests only).
#pragma once

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "edge_lists.h"
#include "support/symbol.h"

namespace linetest {

// Runs of the symbol libzint makes of data; empty (and a test failure) when it refuses.
inline std::vector<int> LibzintRuns(int symbology, const std::string &data, int inputMode = DATA_MODE, int option2 = 0) {
    testkit::SymbolInput in;
    in.symbology = symbology;
    in.inputMode = inputMode;
    in.data = data;
    in.option2 = option2;
    const testkit::Symbol sym = testkit::Encode(in);
    if (!sym.ok) ADD_FAILURE() << data << ": " << sym.error;
    return sym.ok ? RunsFromRow(sym, 0) : std::vector<int>{};
}

}  // namespace linetest
