#pragma once
// The one way every level moves toward its target: by at most one ramp step
// per frame, landing exactly on it.
namespace cl {

inline float smoothToward(float current, float target, float step) {
    const float difference = target - current;
    if (difference > step) return current + step;
    if (difference < -step) return current - step;
    return target;
}

}  // namespace cl
