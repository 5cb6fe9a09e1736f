#pragma once
// The library's one engine and the boundary helper every export goes through.
#include <exception>

#include "engine/engine.h"

namespace cl {

Engine& engine();

// Runs body; no exception crosses the C interface: one is logged and the
// export returns its neutral value instead.
template <class Result, class Body>
Result guarded(const char* operation, Result neutral, Body&& body) noexcept {
    try {
        return body();
    } catch (const std::exception& error) {
        engine().log.message(3, "[CL] [tid=%4x] %s failed (%s)\n", tid(), operation, error.what());
    } catch (...) {
        engine().log.message(3, "[CL] [tid=%4x] %s failed (%s)\n", tid(), operation, "unknown error");
    }
    return neutral;
}

template <class Body>
void guarded(const char* operation, Body&& body) noexcept {
    guarded(operation, 0, [&] {
        body();
        return 0;
    });
}

}  // namespace cl
