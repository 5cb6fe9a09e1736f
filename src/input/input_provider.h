#pragma once
// An input provider gathers presses and releases on threads of its own and
// reports them to the core through an InputHost. Providers are registered
// under a number; initinput picks one or two of them.
#include <cstdint>
#include <map>
#include <memory>

namespace cl {

class Logger;

// What a provider may use of the input core, from any of its threads.
class InputHost {
public:
    virtual ~InputHost() = default;
    // seenAt: the counter value at which the provider saw the change.
    virtual void emitPress(uint32_t source, uint32_t code, int64_t seenAt) = 0;
    virtual void emitRelease(uint32_t source, uint32_t code, int64_t seenAt) = 0;
    // The counter now, for providers that stamp their own polls.
    virtual int64_t counterNow() const = 0;
    // Written by the game at any time; a change takes effect at the next event or poll.
    virtual bool focused() const = 0;
    virtual bool acceptMouse() const = 0;
    virtual Logger& log() = 0;
};

// Names follow the provider operations; Init receives the host it reports to
// (an explicit host lets tests run providers against cores of their own).
class InputProvider {
public:
    virtual ~InputProvider() = default;
    virtual bool Init(InputHost& host, bool handleKeyboard, bool handleControllers) = 0;
    virtual void Shutdown() = 0;
    virtual void Tick() = 0;
};

inline constexpr uint32_t kDefaultInput = 0;
inline constexpr uint32_t kControllerInput = 3;  // asked for, but not present on this platform
inline constexpr uint32_t kNullInput = 4;
inline constexpr uint32_t kPollingInput = 5;

// Filled once before input is used; read-only afterwards, so it needs no lock.
class InputProviderRegistry {
public:
    void add(uint32_t id, std::unique_ptr<InputProvider> provider) { providers_[id] = std::move(provider); }
    InputProvider* find(uint32_t id) const {
        auto found = providers_.find(id);
        return found == providers_.end() ? nullptr : found->second.get();
    }

private:
    std::map<uint32_t, std::unique_ptr<InputProvider>> providers_;
};

// Always succeeds and reports nothing: for games that gather input themselves.
class NullInput final : public InputProvider {
public:
    bool Init(InputHost&, bool, bool) override { return true; }
    void Shutdown() override {}
    void Tick() override {}
};

}  // namespace cl
