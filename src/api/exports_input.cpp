// Input: initialisation, the input lock, focus and mouse acceptance.
#include "api/global_engine.h"
#include "api/global_input.h"
#include "cantrelle.h"

using namespace cl;

extern "C" {

CL_API bool initinput(int32_t focused, InputCallback onPress, InputCallback onRelease, int32_t alternativeControllers,
                      int32_t disableSafeInput, void*, void*, int32_t alternativeInput) {
    return guarded("InitInput", false, [&] {
        return input().initInput({.focused = focused != 0,
                                  .onPress = onPress,
                                  .onRelease = onRelease,
                                  .alternativeControllers = alternativeControllers != 0,
                                  .disableSafeInput = disableSafeInput != 0,
                                  .alternativeInput = alternativeInput != 0});
    });
}
CL_API void freeinput(void) {
    guarded("FreeInput", [] { input().freeInput(); });
}
CL_API void lockinput(void) {
    guarded("LockInput", [] { input().lockInput(); });
}
CL_API void unlockinput(void) {
    guarded("UnlockInput", [] { input().unlockInput(); });
}
CL_API void onfocus(int32_t focused) {
    guarded("OnFocus", [&] { input().onFocus(focused != 0); });
}
CL_API void setacceptmouseinput(int32_t accept) {
    guarded("SetAcceptMouseInput", [&] { input().setAcceptMouse(accept != 0); });
}

}  // extern "C"
