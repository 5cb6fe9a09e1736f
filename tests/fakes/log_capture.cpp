#include "fakes/log_capture.h"

#include "fakes/render_watch.h"

#include <algorithm>
#include <atomic>
#include <cassert>

namespace cl::test {
namespace {
std::atomic<LogCapture*> active{nullptr};
}

LogCapture::LogCapture() {
    LogCapture* expected = nullptr;
    [[maybe_unused]] bool first = active.compare_exchange_strong(expected, this);
    assert(first && "one LogCapture at a time");
}

LogCapture::~LogCapture() { active.store(nullptr); }

void LogCapture::sink(const char* line) {
    if (LogCapture* capture = active.load()) {
        if (onRenderingThread()) capture->renderLines_.fetch_add(1);
        std::lock_guard<std::mutex> guard(capture->mutex_);
        capture->lines_.push_back(line);
    }
}

std::vector<std::string> LogCapture::lines() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return lines_;
}

std::string LogCapture::body(const std::string& line) {
    const std::string marker = "] ";
    size_t start = line.find("] [tid=");
    start = start == std::string::npos ? 0 : line.find(marker, start + 1);
    std::string text = start == std::string::npos ? line : line.substr(start + marker.size());
    if (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
}

size_t LogCapture::count(const std::string& text) const {
    auto all = lines();
    return static_cast<size_t>(
        std::count_if(all.begin(), all.end(), [&](const std::string& line) { return body(line) == text; }));
}

bool LogCapture::contains(const std::string& text) const { return count(text) > 0; }

void LogCapture::clear() {
    std::lock_guard<std::mutex> guard(mutex_);
    lines_.clear();
}

std::vector<std::string> LogCapture::takeBodies() {
    std::vector<std::string> bodies;
    std::lock_guard<std::mutex> guard(mutex_);
    for (const std::string& line : lines_) bodies.push_back(body(line));
    lines_.clear();
    return bodies;
}

}  // namespace cl::test
