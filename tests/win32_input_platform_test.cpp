// The win32 input services under Wine, driven by SendInput: the polling
// provider (which initinput cannot select on this platform) with real key
// states, the hook thread with the hook logic, and the default provider
// with the real XInput. Built into the Windows unit test program only.
#include <windows.h>

#include <gmock/gmock.h>

#include <chrono>
#include <thread>

#include "fakes/eventually.h"
#include "fakes/input_fakes.h"
#include "input/default_input.h"
#include "input/hook_logic.h"
#include "input/input_core.h"
#include "input/polling_input.h"
#include "platform/counter.h"
#include "platform/input_platform.h"
#include "platform/win32/hook_thread_win32.h"

namespace cl::test {
namespace {

using testing::ElementsAre;

void sendKey(WORD vk, bool up) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = vk;
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    ASSERT_EQ(SendInput(1, &input, sizeof input), 1u);
}

class Win32InputTest : public ::testing::Test {
protected:
    // Waits until the host has recorded `count` events and returns them.
    std::vector<InputEvent> awaitEvents(size_t count) {
        std::vector<InputEvent> events;
        EXPECT_TRUE(eventually([&] {
            for (const InputEvent& event : host_.take()) events.push_back(event);
            return events.size() >= count;
        })) << "got "
            << events.size() << " of " << count;
        return events;
    }

    LogCapture log_;
    FakeInputHost host_;
    platform::InputPlatform platform_ = platform::makeInputPlatform();
};

TEST_F(Win32InputTest, PollingProviderSeesKeyStatesChangedBySendInput) {
    PollingInput provider(*platform_.polling, *platform_.windows);
    ASSERT_TRUE(provider.Init(host_, true, false));
    sendKey('K', false);
    EXPECT_THAT(awaitEvents(1), ElementsAre(press('K')));
    sendKey('K', true);
    EXPECT_THAT(awaitEvents(1), ElementsAre(release('K')));
    provider.Shutdown();
}

TEST_F(Win32InputTest, HookThreadFeedsTheHookLogicAndStopsCleanly) {
    HookLogic logic(host_, *platform_.windows);
    for (int round = 0; round < 2; ++round) {  // the class "CLKI" is registered again after a stop
        ASSERT_TRUE(platform_.hooks->start(logic));
        sendKey(VK_RCONTROL, false);
        sendKey(VK_RCONTROL, false);
        sendKey(VK_RCONTROL, true);
        EXPECT_THAT(awaitEvents(2), ElementsAre(press(VK_RCONTROL), release(VK_RCONTROL)));
        platform_.hooks->stop();
    }
}

// Each event is dated by the high-resolution counter where the system hands
// it over: after SendInput began and before the event reached the host.
TEST_F(Win32InputTest, EventsAreDatedBetweenSendInputAndTheirArrival) {
    host_.counter_ = platform::counterNow;  // the polling provider reads it through the host
    HookLogic logic(host_, *platform_.windows);
    ASSERT_TRUE(platform_.hooks->start(logic));
    PollingInput polling(*platform_.polling, *platform_.windows);
    ASSERT_TRUE(polling.Init(host_, true, false));
    for (bool up : {false, true}) {
        const int64_t before = platform::counterNow();
        sendKey('J', up);
        std::vector<InputEvent> events;
        ASSERT_TRUE(eventually([&] {
            for (const InputEvent& event : host_.takeTimed()) events.push_back(event);
            return events.size() >= 2;  // the hook's and the poll's
        }));
        const int64_t after = platform::counterNow();
        for (const InputEvent& event : events) {
            EXPECT_GE(event.seenAt, before) << (up ? "release" : "press");
            EXPECT_LE(event.seenAt, after) << (up ? "release" : "press");
        }
    }
    polling.Shutdown();
    platform_.hooks->stop();
}

TEST_F(Win32InputTest, DefaultProviderLoadsXInputAndTicksWithoutControllers) {
    DefaultInput provider(*platform_.libraries, *platform_.controllerSignals, *platform_.hooks, *platform_.windows);
    ASSERT_TRUE(provider.Init(host_, true, true));
    EXPECT_NE(GetModuleHandleW(L"XInput1_4.dll"), nullptr);
    provider.Tick();  // nothing connected: the controller thread stays idle
    sendKey('Z', false);
    sendKey('Z', true);
    EXPECT_THAT(awaitEvents(2), ElementsAre(press('Z'), release('Z')));
    provider.Shutdown();  // would hang if the idle controller thread did not wake for the stop
    EXPECT_NE(GetModuleHandleW(L"XInput1_4.dll"), nullptr);  // kept loaded for the process's life
    EXPECT_TRUE(log_.lines().empty());
}

// The system refusing one hook or the window: the hook thread does not
// start, removes what it did install and unregisters its class, and the
// default provider's Init fails with it.
HHOOK WINAPI refuseKeyboardHook(int id, HOOKPROC procedure, HINSTANCE instance, DWORD thread) {
    if (id != WH_KEYBOARD_LL) return SetWindowsHookExW(id, procedure, instance, thread);
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
}
HHOOK WINAPI refuseMouseHook(int id, HOOKPROC procedure, HINSTANCE instance, DWORD thread) {
    if (id != WH_MOUSE_LL) return SetWindowsHookExW(id, procedure, instance, thread);
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
}
HWND WINAPI refuseWindow(DWORD, LPCWSTR, LPCWSTR, DWORD, int, int, int, int, HWND, HMENU, HINSTANCE, LPVOID) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
}

TEST_F(Win32InputTest, RefusedHookOrWindowFailsInitinputCleanly) {
    struct Refusal {
        const char* name;
        platform::HookThreadCalls calls;
    };
    const Refusal refusals[] = {
        {"keyboard hook", {.setWindowsHookEx = refuseKeyboardHook, .createWindowEx = CreateWindowExW}},
        {"mouse hook", {.setWindowsHookEx = refuseMouseHook, .createWindowEx = CreateWindowExW}},
        {"window", {.setWindowsHookEx = SetWindowsHookExW, .createWindowEx = refuseWindow}},
    };
    Logger logger(&LogCapture::sink);
    for (const Refusal& refusal : refusals) {
        SCOPED_TRACE(refusal.name);
        std::unique_ptr<platform::HookThread> refusing = platform::makeHookThread(refusal.calls);
        HookLogic logic(host_, *platform_.windows);
        EXPECT_FALSE(refusing->start(logic));
        WNDCLASSW unused;
        EXPECT_FALSE(GetClassInfoW(GetModuleHandleW(nullptr), L"CLKI", &unused)) << "class left registered";
        refusing->stop();  // nothing to stop: returns at once

        InputProviderRegistry registry;
        registry.add(kDefaultInput, std::make_unique<DefaultInput>(*platform_.libraries, *platform_.controllerSignals,
                                                                   *refusing, *platform_.windows));
        InputCore core(logger, std::move(registry));
        EXPECT_FALSE(core.initInput({.focused = true}));
        core.freeInput();
        EXPECT_THAT(log_.takeBodies(), ElementsAre("Failed to initialise input", "Input is not initialised"));

        // Nothing was left behind: the real hooks start and report as before.
        ASSERT_TRUE(platform_.hooks->start(logic));
        sendKey('Q', false);
        sendKey('Q', true);
        EXPECT_THAT(awaitEvents(2), ElementsAre(press('Q'), release('Q')));
        platform_.hooks->stop();
    }
}

// The real loader asked for libraries of other names: one that does not
// exist, or one that loads but has no XInputGetState.
class RenamingLibraries final : public platform::DynamicLibraries {
public:
    RenamingLibraries(platform::DynamicLibraries& real, const char* name) : real_(real), name_(name) {}
    uintptr_t load(const char*) override { return real_.load(name_); }
    void* symbol(uintptr_t library, const char* name) override { return real_.symbol(library, name); }
    void free(uintptr_t library) override { real_.free(library); }

private:
    platform::DynamicLibraries& real_;
    const char* name_;
};

TEST_F(Win32InputTest, XInputAbsentOrWithoutGetStateFailsInitinputCleanly) {
    Logger logger(&LogCapture::sink);
    for (const char* standIn : {"cantrelle_no_such_library.dll", "kernel32.dll"}) {
        SCOPED_TRACE(standIn);
        RenamingLibraries libraries(*platform_.libraries, standIn);
        InputProviderRegistry registry;
        registry.add(kDefaultInput, std::make_unique<DefaultInput>(libraries, *platform_.controllerSignals,
                                                                   *platform_.hooks, *platform_.windows));
        InputCore core(logger, std::move(registry));
        EXPECT_FALSE(core.initInput({.focused = true}));
        core.freeInput();
        EXPECT_THAT(log_.takeBodies(), ElementsAre("Failed to initialise input", "Input is not initialised"));
    }
}

}  // namespace
}  // namespace cl::test
