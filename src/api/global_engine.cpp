#include "api/global_engine.h"

namespace cl {
namespace {
// Built during the library's static initialisation, before any export can
// run; torn down (sounds freed, output closed) when the library unloads.
Engine theEngine;
}  // namespace

Engine& engine() { return theEngine; }

}  // namespace cl
