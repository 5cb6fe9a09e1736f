#pragma once
// The one logging path: every line of the library, from any thread, goes
// through Logger::message. Lines carry their own "[CL] [tid=%4x] " prefix in
// their format string; the logger only routes them.
#include <array>
#include <atomic>
#include <cstdint>

#include "cantrelle.h"

namespace cl {

using DebugSink = void (*)(const char* text);

class Logger {
public:
    static constexpr int kLevels = 6;
    static constexpr int kNoteLevel = 4;  // the logger's own notes
    static constexpr int kBufferSize = 1025;

    explicit Logger(DebugSink sink);

    // Replaces the receiver of one level (0 to 5); other levels are refused
    // with a log line. Null clears the entry.
    void setCallback(int32_t level, LogCallback callback);

    // printf-style; safe on any thread, no lock and no allocation.
    void message(int level, const char* format, ...) __attribute__((format(printf, 3, 4)));

private:
    void emit(int level, const char* line);

    // Atomics, so a receiver change racing a line in flight is defined:
    // the line reaches the old receiver or the new one.
    std::array<std::atomic<LogCallback>, kLevels> callbacks_{};
    DebugSink sink_;
};

// Shorthand for the first argument of every line.
uint32_t tid();

}  // namespace cl
