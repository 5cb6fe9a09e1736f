// A game that exits with the output open, a sound playing and input up. The
// system ends the library's threads (and Wine's audio threads) wherever they
// are, then detaches the library: nothing the detach does may wait for them.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "cantrelle.h"

namespace cltest {
namespace {

// Started with this argument, the program is that game (and, with " uninit",
// it leaves COM before it exits). Its exit code says how far it got.
constexpr wchar_t kExitingGame[] = L"--cltest-exit-with-output-open";
enum GameExit : DWORD { kExited = 0, kNoLibrary = 2, kNoOutput = 3, kNoSound = 4, kNoInput = 5 };

template <class Export>
Export exportOf(HMODULE library, const char* name) {
    return reinterpret_cast<Export>(reinterpret_cast<void*>(GetProcAddress(library, name)));
}

// Runs before GoogleTest starts, in the child only.
[[maybe_unused]] const bool exitingGameRan = [] {
    const wchar_t* command = GetCommandLineW();
    if (wcsstr(command, kExitingGame) == nullptr) return false;
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    HMODULE library = LoadLibraryW(L"Cantrelle.dll");
    if (library == nullptr) ExitProcess(kNoLibrary);
    if (!exportOf<decltype(&::initaudio)>(library, "initaudio")(0, 0, 0, 0.0f, 0, 1, nullptr, nullptr, nullptr, false))
        ExitProcess(kNoOutput);
    const float tone[2 * 4800] = {0.25f};
    const int32_t id =
        exportOf<decltype(&::loadfloat)>(library, "loadfloat")(tone, 2 * 4800, 2, 48000, 1, 1.0f, 0.0f, 0, "tone");
    if (id < 0) ExitProcess(kNoSound);
    exportOf<decltype(&::setloop)>(library, "setloop")(static_cast<uint32_t>(id), 1);
    exportOf<decltype(&::play)>(library, "play")(static_cast<uint32_t>(id));
    if (!exportOf<decltype(&::initinput)>(library, "initinput")(1, nullptr, nullptr, 0, 0, nullptr, nullptr, 0))
        ExitProcess(kNoInput);
    Sleep(50);  // the audio thread and Wine's device are busy playing
    if (wcsstr(command, L" uninit") != nullptr) CoUninitialize();
    ExitProcess(kExited);
}();

// A child that never ends is ended after this, and the test fails: a hang
// must not hold the whole run.
constexpr DWORD kExitLimitMs = 60000;

TEST(ProcessExit, AGameEndingWithOutputOpenAndInputUpExitsCleanly) {
    wchar_t path[MAX_PATH];
    ASSERT_GT(GetModuleFileNameW(nullptr, path, MAX_PATH), 0u);
    for (const wchar_t* variant : {L"", L" uninit"}) {
        SCOPED_TRACE(*variant != 0 ? "after leaving COM" : "with COM");
        std::wstring command = L"\"" + std::wstring(path) + L"\" " + kExitingGame + variant;
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION child{};
        ASSERT_TRUE(
            CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &child));
        const DWORD waited = WaitForSingleObject(child.hProcess, kExitLimitMs);
        if (waited != WAIT_OBJECT_0) {
            TerminateProcess(child.hProcess, 1);
            WaitForSingleObject(child.hProcess, 10000);
        }
        EXPECT_EQ(waited, WAIT_OBJECT_0) << "the game did not end within " << kExitLimitMs / 1000 << " s";
        DWORD code = 1;
        GetExitCodeProcess(child.hProcess, &code);
        if (waited == WAIT_OBJECT_0) {
            EXPECT_EQ(code, kExited) << "2: no library, 3: no output, 4: no sound, 5: no input";
        }
        CloseHandle(child.hThread);
        CloseHandle(child.hProcess);
    }
}

}  // namespace
}  // namespace cltest
