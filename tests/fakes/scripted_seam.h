#pragma once
// A hand-off seam that runs a test's script when the code passes a point:
// the other thread's call, made right there, forces one interleaving.
#include <functional>

#include "mixer/handoff_seam.h"

namespace cl::test {

struct ScriptedSeam {
    static inline std::function<void(HandoffPoint)> script;
    static void reached(HandoffPoint point) {
        if (script) script(point);
    }
};

// Installs a script for the scope's life.
class SeamScript {
public:
    explicit SeamScript(std::function<void(HandoffPoint)> script) { ScriptedSeam::script = std::move(script); }
    ~SeamScript() { ScriptedSeam::script = nullptr; }
    SeamScript(const SeamScript&) = delete;
    SeamScript& operator=(const SeamScript&) = delete;
};

}  // namespace cl::test
