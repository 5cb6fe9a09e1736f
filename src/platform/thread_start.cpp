#include "platform/thread_start.h"

#include <system_error>

namespace cl {

// Out of line: the lambda is then a local type, and the thread state built
// over it stays inside the library.
bool startThread(std::thread& thread, std::function<void()> body) {
    try {
        thread = std::thread([body = std::move(body)] { body(); });
        return true;
    } catch (const std::system_error&) {
        return false;
    }
}

}  // namespace cl
