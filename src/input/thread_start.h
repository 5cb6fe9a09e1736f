#pragma once
// Starting a thread without an exception: the input threads report a thread
// the system refused as a failed Init. Tests pass starters that refuse.
#include <functional>
#include <system_error>
#include <thread>

namespace cl {

using ThreadStarter = std::function<bool(std::thread& thread, std::function<void()> body)>;

inline bool startThread(std::thread& thread, std::function<void()> body) {
    try {
        thread = std::thread(std::move(body));
        return true;
    } catch (const std::system_error&) {
        return false;
    }
}

}  // namespace cl
