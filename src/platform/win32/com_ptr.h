#pragma once
// One owned COM reference, released once when it goes.
#include <utility>

namespace cl::platform::win32 {

template <class T>
class ComPtr {
public:
    ComPtr() = default;
    explicit ComPtr(T* raw) : raw_(raw) {}
    ComPtr(ComPtr&& other) noexcept : raw_(std::exchange(other.raw_, nullptr)) {}
    ComPtr& operator=(ComPtr&& other) noexcept {
        reset();
        raw_ = std::exchange(other.raw_, nullptr);
        return *this;
    }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ~ComPtr() { reset(); }

    void reset() {
        if (raw_ != nullptr) std::exchange(raw_, nullptr)->Release();
    }
    T* get() const { return raw_; }
    T* operator->() const { return raw_; }
    explicit operator bool() const { return raw_ != nullptr; }
    // For out-parameters: the old reference is released first.
    T** put() {
        reset();
        return &raw_;
    }
    void** putVoid() { return reinterpret_cast<void**>(put()); }

private:
    T* raw_ = nullptr;
};

}  // namespace cl::platform::win32
