#include "core/log.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>

#include "platform/thread.h"

namespace cl {

uint32_t tid() { return platform::currentThreadId(); }

Logger::Logger(DebugSink sink) : sink_(sink) {}

void Logger::setCallback(int32_t level, LogCallback callback) {
    if (level < 0 || level >= kLevels) {
        message(3, "[CL] [tid=%4x] Invalid log level: %d\n", tid(), level);
        return;
    }
    callbacks_[static_cast<size_t>(level)].store(callback, std::memory_order_release);
}

void Logger::message(int level, const char* format, ...) {
    char buffer[kBufferSize];
    va_list args;
    va_start(args, format);
    const int callersErrno = errno;  // logging must not change what the caller sees
    errno = 0;
    const int length = std::vsnprintf(buffer, sizeof buffer, format, args);
    const bool unconvertible = errno == EILSEQ;
    errno = callersErrno;
    va_end(args);

    // A wide character with no multibyte form fails the whole line with
    // glibc, while MinGW's formatter leaves it out and only sets EILSEQ:
    // both count as a failed format, so the two builds log the same.
    // The notes are logged at the note level and never produce a further
    // note, so this recurses at most once.
    if (length < 0 || unconvertible) {
        if (level != kNoteLevel) message(kNoteLevel, "[CL] [tid=%4x] Debug output format failed\n", tid());
        return;
    }
    if (HeldLines::current_ == nullptr || !HeldLines::current_->hold(*this, level, buffer)) emit(level, buffer);
    const int stored = kBufferSize - 1;
    if (length > stored && level != kNoteLevel) {
        message(kNoteLevel, "[CL] [tid=%4x] Debug output was truncated by %d bytes\n", tid(), length - stored);
    }
}

void Logger::emit(int level, const char* line) {
    // A receiver registered at level L serves every level from L up to the
    // next level with its own receiver.
    int from = level < kLevels ? level : kLevels - 1;
    for (int entry = from; entry >= 0; --entry) {
        if (LogCallback callback = callbacks_[static_cast<size_t>(entry)].load(std::memory_order_acquire)) {
            callback(line);
            return;
        }
    }
    if (sink_ != nullptr) sink_(line);
}

thread_local HeldLines* HeldLines::current_ = nullptr;

HeldLines::HeldLines(Logger& log) : log_(log), outer_(current_) { current_ = this; }

HeldLines::~HeldLines() {
    current_ = outer_;
    for (const auto& [level, line] : lines_) {
        // Into the enclosing holder, if it serves the same logger.
        if (current_ == nullptr || !current_->hold(log_, level, line.c_str())) log_.emit(level, line.c_str());
    }
}

bool HeldLines::hold(const Logger& log, int level, const char* line) noexcept {
    if (&log != &log_) return false;
    try {
        lines_.emplace_back(level, line);
        return true;
    } catch (...) {
        return false;  // out of memory: better early than lost
    }
}

}  // namespace cl
