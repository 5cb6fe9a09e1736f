#pragma once
// Captures the lines an engine logs, without the "[CL] [tid=...] " prefix.
#include <atomic>
#include <mutex>
#include <string>
#include <vector>

namespace cl::test {

class LogCapture {
public:
    LogCapture();
    ~LogCapture();

    // The sink to hand to an Engine (also usable as a LogCallback).
    static void sink(const char* line);

    std::vector<std::string> lines() const;
    bool contains(const std::string& text) const;  // any line equal to text
    size_t count(const std::string& text) const;
    void clear();
    // The bodies of the lines logged so far, which are then cleared.
    std::vector<std::string> takeBodies();
    // Lines logged from inside a render: the audio thread must log none.
    int renderLines() const { return renderLines_.load(); }

    // "[CL] [tid=  1f] Audio not initialised\n" -> "Audio not initialised"
    static std::string body(const std::string& line);

private:
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
    std::atomic<int> renderLines_{0};
};

}  // namespace cl::test
