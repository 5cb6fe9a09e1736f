#include "api/global_engine.h"

#include "api/left_at_process_exit.h"

namespace cl {
namespace {
// Built during the library's static initialisation, before any export can
// run; torn down (sounds freed, output closed) when a game unloads the
// library, and left to the system at process exit.
LeftAtProcessExit<Engine> theEngine{platform::processIsExiting};
}  // namespace

Engine& engine() { return theEngine.get(); }

}  // namespace cl
