#pragma once
// A reference to the library's own module, taken while threads and hooks of
// its own run. A game that unloads the library meanwhile then leaves it
// mapped, rather than freeing code those threads and hooks still run.
#include <cstdint>

namespace cl::platform {

// 0 when the system refused; releasing 0 does nothing.
uintptr_t holdOwnLibrary();
// The caller must itself run with a reference of its own (a game calling an
// export has one): the module may be unmapped as soon as this returns.
void releaseOwnLibrary(uintptr_t hold);

}  // namespace cl::platform
