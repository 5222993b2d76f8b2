// The Code 128 family's state that the driver resets before a line when the Code 128
// words ask for it.
#pragma once

namespace vexo {

// Clears the Code 128 state: vote table, confirmation buffer and counters. The table's
// Code 128 record uses it as its reset slot.
void Code128_Reset();

}  // namespace vexo
