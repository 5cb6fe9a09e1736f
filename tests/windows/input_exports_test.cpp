// Input through the exports of the loaded DLL, driven by SendInput: the
// real hooks, hook thread, dispatcher and XInput loading under Wine.
//
// The test installs low-level hooks of its own before initinput. Hooks run
// newest first and each passes the event on, so once the test's hook has
// seen an event, the library's hook has finished with it: a test can then
// check what was (or was not) reported without waiting for a time.
#include <windows.h>

#include <gmock/gmock.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <future>
#include <mutex>
#include <thread>

#include "fakes/eventually.h"
#include "loaded_library.h"

namespace cltest {
namespace {

using cl::test::eventually;

using testing::ElementsAre;
using testing::IsEmpty;

constexpr uint32_t kKeyboardMouse = 0x7FFFFFFF;

struct Event {
    uint32_t source, code;
    bool pressed;
    bool operator==(const Event&) const = default;
};
void PrintTo(const Event& e, std::ostream* out) {
    *out << (e.pressed ? "press(" : "release(") << std::hex << e.code << ")";
}
Event press(uint32_t code) { return {kKeyboardMouse, code, true}; }
Event release(uint32_t code) { return {kKeyboardMouse, code, false}; }

// What the game's callbacks received, and on which threads.
std::mutex callbackMutex;
std::vector<Event> received;
std::vector<DWORD> receivedOn;
void onPress(uint32_t source, uint32_t code) {
    std::lock_guard<std::mutex> guard(callbackMutex);
    received.push_back({source, code, true});
    receivedOn.push_back(GetCurrentThreadId());
}
void onRelease(uint32_t source, uint32_t code) {
    std::lock_guard<std::mutex> guard(callbackMutex);
    received.push_back({source, code, false});
    receivedOn.push_back(GetCurrentThreadId());
}
std::vector<Event> takeReceived() {
    std::lock_guard<std::mutex> guard(callbackMutex);
    std::vector<Event> taken;
    taken.swap(received);
    return taken;
}

// The test's own hooks, on a thread of their own, counting what reaches them.
std::atomic<int> observedEvents{0};
LRESULT CALLBACK observeKeyboard(int code, WPARAM wParam, LPARAM lParam) {
    if (code >= 0) observedEvents.fetch_add(1);
    return CallNextHookEx(nullptr, code, wParam, lParam);
}
LRESULT CALLBACK observeMouse(int code, WPARAM wParam, LPARAM lParam) {
    if (code >= 0 && wParam != WM_MOUSEMOVE) observedEvents.fetch_add(1);
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

class Observer {
public:
    Observer() {
        thread_ = std::thread([this] {
            threadId_ = GetCurrentThreadId();
            HHOOK keyboard = SetWindowsHookExW(WH_KEYBOARD_LL, observeKeyboard, nullptr, 0);
            HHOOK mouse = SetWindowsHookExW(WH_MOUSE_LL, observeMouse, nullptr, 0);
            MSG message;
            PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);  // the thread's queue exists now
            ready_.set_value();
            while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
            UnhookWindowsHookEx(keyboard);
            UnhookWindowsHookEx(mouse);
        });
        ready_.get_future().wait();
    }
    ~Observer() {
        PostThreadMessageW(threadId_, WM_QUIT, 0, 0);
        thread_.join();
    }

private:
    std::promise<void> ready_;
    std::thread thread_;
    DWORD threadId_ = 0;
};

void sendKey(WORD vk, bool up) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = vk;
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    ASSERT_EQ(SendInput(1, &input, sizeof input), 1u);
}

void sendMouse(DWORD flags, DWORD data = 0) {
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = flags;
    input.mi.mouseData = data;
    ASSERT_EQ(SendInput(1, &input, sizeof input), 1u);
}

class Input : public LoadedCantrelle {
protected:
    void SetUp() override {
        LoadedCantrelle::SetUp();
        takeReceived();
        observedEvents = 0;
    }
    void TearDown() override {
        cl.freeinput();  // in case a test stopped early: no hook may outlive the library
        LoadedCantrelle::TearDown();
    }
    // Sends the inputs and returns once every one has passed the library's hooks.
    template <class Send>
    void sendAndPass(int events, Send send) {
        const int target = observedEvents.load() + events;
        send();
        ASSERT_TRUE(eventually([&] { return observedEvents.load() >= target; }))
            << "the test's hooks saw " << observedEvents.load() << " of " << target << " events";
    }

    Observer observer_;
};

TEST_F(Input, DirectDeliveryGivesOnePressPerHeldKeyOnTheHookThread) {
    ASSERT_TRUE(cl.initinput(1, onPress, onRelease, 0, 1, nullptr, nullptr, 0));
    sendAndPass(5, [] {
        sendKey('A', false);
        sendKey('A', false);  // auto-repeat
        sendKey('A', false);
        sendKey('A', true);
        sendKey(VK_F1, false);
    });
    sendAndPass(1, [] { sendKey(VK_F1, true); });
    EXPECT_THAT(takeReceived(), ElementsAre(press('A'), release('A'), press(VK_F1), release(VK_F1)));
    {
        std::lock_guard<std::mutex> guard(callbackMutex);
        for (DWORD thread : receivedOn) EXPECT_NE(thread, GetCurrentThreadId());
    }
    cl.lockinput();
    cl.freeinput();
    EXPECT_THAT(logged(), ElementsAre(logLine("Global locking of input is ineffective when safe input is disabled")));
}

TEST_F(Input, SafeInputHoldsPressesUntilUnlockinputWhichDeliversThemInOrder) {
    ASSERT_TRUE(cl.initinput(1, onPress, onRelease, 0, 0, nullptr, nullptr, 0));
    sendAndPass(4, [] {
        sendKey('A', false);
        sendKey('B', false);
        sendKey('A', true);
        sendKey('B', true);
    });
    EXPECT_THAT(takeReceived(), IsEmpty());  // locked since initinput
    cl.unlockinput();
    EXPECT_THAT(takeReceived(), ElementsAre(press('A'), press('B'), release('A'), release('B')));

    cl.lockinput();
    sendAndPass(2, [] {
        sendKey(VK_SPACE, false);
        sendKey(VK_SPACE, true);
    });
    EXPECT_THAT(takeReceived(), IsEmpty());
    cl.unlockinput();
    EXPECT_THAT(takeReceived(), ElementsAre(press(VK_SPACE), release(VK_SPACE)));
    cl.freeinput();
    EXPECT_THAT(logged(), IsEmpty());
}

// getinputtime inside the callbacks, through the exports. The null output
// reports no device position and renders nothing, so the clock stands still
// and each event's time is the clock's.
decltype(&::getinputtime) inputTimeExport = nullptr;
std::vector<double> timesSeen;
void onTimedEvent(uint32_t, uint32_t) {
    std::lock_guard<std::mutex> guard(callbackMutex);
    timesSeen.push_back(inputTimeExport());
}

TEST_F(Input, GetinputtimeGivesEachCallbackItsTimeInBothModesAndNaNOutside) {
    inputTimeExport = cl.getinputtime;
    ASSERT_TRUE(openNullOutput(48000));
    cl.startclockfrom(5.0);
    for (bool safe : {true, false}) {
        SCOPED_TRACE(safe ? "safe input" : "direct");
        timesSeen.clear();
        ASSERT_TRUE(cl.initinput(1, onTimedEvent, onTimedEvent, 0, safe ? 0 : 1, nullptr, nullptr, 0));
        sendAndPass(2, [] {
            sendKey('T', false);
            sendKey('T', true);
        });
        if (safe) cl.unlockinput();
        {
            std::lock_guard<std::mutex> guard(callbackMutex);
            EXPECT_THAT(timesSeen, ElementsAre(5.0, 5.0));
        }
        EXPECT_TRUE(std::isnan(cl.getinputtime()));
        cl.freeinput();
    }
    cl.freeaudio();
    EXPECT_THAT(logged(), IsEmpty());
}

TEST_F(Input, UnfocusedKeysAreNotReported) {
    ASSERT_TRUE(cl.initinput(0, onPress, onRelease, 0, 1, nullptr, nullptr, 0));
    sendAndPass(2, [] {
        sendKey('Q', false);
        sendKey('Q', true);
    });
    cl.onfocus(1);
    sendAndPass(2, [] {
        sendKey('W', false);
        sendKey('W', true);
    });
    EXPECT_THAT(takeReceived(), ElementsAre(press('W'), release('W')));
    cl.freeinput();
}

// A visible window of this process, and the mouse over it or elsewhere.
class MouseInput : public Input {
protected:
    void SetUp() override {
        Input::SetUp();
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = DefWindowProcW;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"CantrelleInputTest";
        RegisterClassW(&windowClass);
        window_ = CreateWindowExW(WS_EX_TOPMOST, L"CantrelleInputTest", L"", WS_POPUP | WS_VISIBLE, 100, 100, 200, 200,
                                  nullptr, nullptr, windowClass.hInstance, nullptr);
        ASSERT_NE(window_, nullptr) << "CreateWindowExW failed with " << GetLastError();
    }
    void TearDown() override {
        if (window_ != nullptr) DestroyWindow(window_);
        UnregisterClassW(L"CantrelleInputTest", GetModuleHandleW(nullptr));
        Input::TearDown();
    }
    void clickAt(int x, int y, DWORD down, DWORD up, DWORD data = 0) {
        ASSERT_TRUE(SetCursorPos(x, y));
        sendAndPass(2, [&] {
            sendMouse(down, data);
            sendMouse(up, data);
        });
    }

    HWND window_ = nullptr;
};

TEST_F(MouseInput, ButtonsOverOwnWindowAreReportedAndElsewhereNot) {
    ASSERT_EQ(WindowFromPoint(POINT{200, 200}), window_) << "no window under the cursor: is the null driver set?";
    ASSERT_TRUE(cl.initinput(0, onPress, onRelease, 0, 1, nullptr, nullptr, 0));  // mouse ignores focus
    clickAt(200, 200, MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP);
    clickAt(150, 250, MOUSEEVENTF_RIGHTDOWN, MOUSEEVENTF_RIGHTUP);
    clickAt(120, 120, MOUSEEVENTF_XDOWN, MOUSEEVENTF_XUP, XBUTTON2);
    clickAt(600, 600, MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP);  // no window of ours there
    EXPECT_THAT(takeReceived(), ElementsAre(press(VK_LBUTTON), release(VK_LBUTTON), press(VK_RBUTTON),
                                            release(VK_RBUTTON), press(VK_XBUTTON2), release(VK_XBUTTON2)));

    cl.setacceptmouseinput(0);
    clickAt(200, 200, MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP);
    EXPECT_THAT(takeReceived(), IsEmpty());
    cl.setacceptmouseinput(1);
    clickAt(200, 200, MOUSEEVENTF_MIDDLEDOWN, MOUSEEVENTF_MIDDLEUP);
    EXPECT_THAT(takeReceived(), ElementsAre(press(VK_MBUTTON), release(VK_MBUTTON)));
    cl.freeinput();
    EXPECT_THAT(logged(), IsEmpty());
}

TEST_F(Input, RefusalsAndXInputThroughTheExports) {
    cl.freeinput();
    cl.unlockinput();
    EXPECT_FALSE(cl.initinput(1, onPress, onRelease, 0, 0, nullptr, nullptr, 1));
    EXPECT_FALSE(cl.initinput(1, onPress, onRelease, 1, 0, nullptr, nullptr, 0));
    EXPECT_THAT(logged(),
                ElementsAre(logLine("Input is not initialised"), logLine("Input has not been initialised"),
                            logLine("Specified controller input provider is not available on this platform"),
                            logLine("Specified controller input provider is not available on this platform")));

    // Provider 0 loads XInput or fails its Init: success means XInput loaded.
    ASSERT_TRUE(cl.initinput(1, onPress, onRelease, 0, 0, nullptr, nullptr, 0));
    EXPECT_NE(GetModuleHandleW(L"XInput1_4.dll"), nullptr);
    EXPECT_FALSE(cl.initinput(1, onPress, onRelease, 0, 0, nullptr, nullptr, 0));
    cl.tick();  // no controller: enumerates without a line of its own
    EXPECT_THAT(logged(), ElementsAre(logLine("Input is already initialised"),
                                      logLine("TickAudio must be called from the main thread")));
    cl.freeinput();
    // XInput stays loaded: Wine's keeps a device thread running in it.
    EXPECT_NE(GetModuleHandleW(L"XInput1_4.dll"), nullptr);
    cl.freeinput();
    EXPECT_THAT(logged(), ElementsAre(logLine("Input is not initialised")));
}

// A game that unloads the library with input up (a plugin unload, a hot
// reload) leaves it loaded: the hook thread, the dispatcher and the hooks go
// on in mapped code, and end with freeinput, after which it unloads.
template <class Export>
Export find(void* library, const char* name) {
    return reinterpret_cast<Export>(module::find(library, name));
}

TEST(InputUnload, UnloadingWithInputUpKeepsTheLibraryUntilFreeinput) {
    Observer observer;
    auto sendTapAndPass = [] {
        const int target = observedEvents.load() + 2;
        sendKey('A', false);
        sendKey('A', true);
        return eventually([&] { return observedEvents.load() >= target; });
    };
    for (bool safe : {true, false}) {
        SCOPED_TRACE(safe ? "safe input" : "direct delivery");
        takeReceived();
        std::string error;
        void* library = module::open(error);
        ASSERT_NE(library, nullptr) << error;
        ASSERT_TRUE(find<decltype(&::initinput)>(library, "initinput")(1, onPress, onRelease, 0, safe ? 0 : 1, nullptr,
                                                                       nullptr, 0));
        if (safe) find<decltype(&::unlockinput)>(library, "unlockinput")();
        ASSERT_TRUE(module::close(library));
        EXPECT_TRUE(module::stillLoaded());

        ASSERT_TRUE(sendTapAndPass());  // through hooks whose code must still be there
        EXPECT_TRUE(eventually([] {
            std::lock_guard<std::mutex> guard(callbackMutex);
            return received.size() >= 2;
        }));
        EXPECT_THAT(takeReceived(), ElementsAre(press('A'), release('A')));

        void* again = module::open(error);  // the same library, still up
        ASSERT_NE(again, nullptr) << error;
        find<decltype(&::freeinput)>(again, "freeinput")();
        ASSERT_TRUE(module::close(again));
        EXPECT_FALSE(module::stillLoaded()) << "freeinput gave the library back";
        ASSERT_TRUE(sendTapAndPass());  // no hook points into the unloaded library
        EXPECT_THAT(takeReceived(), IsEmpty());
    }
}

}  // namespace
}  // namespace cltest
