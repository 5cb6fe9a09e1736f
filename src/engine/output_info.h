#pragma once
// getoutputinfo: what the open output is, written into the game's struct as
// far as the game's size reaches.
#include "cantrelle.h"
#include "engine/engine.h"

namespace cl {

// Refuses with a line: a null struct, a size short of the size field, a
// thread other than the main thread, no output open.
bool getOutputInfo(Engine& engine, CantrelleOutputInfo* info);

}  // namespace cl
