// Hooks for tests only: built into a static library that the tests link, never into
// libvexo3.so.
#pragma once

namespace vexo {

// Puts every static record of the decoder back to its state at load.
void Test_ResetDecoderStatics();

}  // namespace vexo
