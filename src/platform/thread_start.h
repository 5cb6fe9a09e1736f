#pragma once
// Starting a thread without an exception: the input threads report a thread
// the system refused as a failed Init. Tests pass starters that refuse.
//
// Built only from types of ours or plain pointers: a template instantiated
// over standard types alone (std::function's target type, std::thread's
// state for a std::function) gets default visibility and would leave the
// shared library as an extra export.
#include <functional>
#include <thread>

namespace cl {

using ThreadStarter = bool (*)(std::thread& thread, std::function<void()> body);

bool startThread(std::thread& thread, std::function<void()> body);

}  // namespace cl
