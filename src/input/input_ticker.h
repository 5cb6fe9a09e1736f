#pragma once

namespace cl {

// Implemented by the input core: tick hands it the input half of its work.
class InputTicker {
public:
    virtual ~InputTicker() = default;
    virtual void tickInputProviders() = 0;
};

}  // namespace cl
