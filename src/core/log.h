#pragma once
// The one logging path: every line of the library, from any thread, goes
// through Logger::message. Lines carry their own "[CL] [tid=%4x] " prefix in
// their format string; the logger only routes them.
#include <array>
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

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

    // printf-style; safe on any thread, no lock, and no allocation unless
    // the calling thread holds its lines (HeldLines).
    void message(int level, const char* format, ...) __attribute__((format(printf, 3, 4)));

private:
    friend class HeldLines;
    void emit(int level, const char* line);

    // Atomics, so a receiver change racing a line in flight is defined:
    // the line reaches the old receiver or the new one.
    std::array<std::atomic<LogCallback>, kLevels> callbacks_{};
    DebugSink sink_;
};

// While one lives, the lines this thread logs through `log` are held, and
// its end passes them on in order. Declared before a lock guard, it lets
// code under the lock log while a receiver that calls back into the library
// finds the lock free: the guard is released first. Never on the audio thread.
class HeldLines {
public:
    explicit HeldLines(Logger& log);
    ~HeldLines();
    HeldLines(const HeldLines&) = delete;
    HeldLines& operator=(const HeldLines&) = delete;

private:
    friend class Logger;
    // False when the line could not be held: it is then passed on at once.
    bool hold(const Logger& log, int level, const char* line) noexcept;

    Logger& log_;
    HeldLines* outer_;
    std::vector<std::pair<int, std::string>> lines_;
    static thread_local HeldLines* current_;
};

// Shorthand for the first argument of every line.
uint32_t tid();

}  // namespace cl
