// Measures the CPU time of the audio thread over 10 s of wall time, idle and
// with 16 looping sounds. A bench, not a test: run it under Wine with
//   scripts/wine-run.sh build/windows/cantrelle_audio_cpu.exe
// The audio thread is told apart from the system's threads by the
// time-critical priority it takes (without MMCSS).
#include <windows.h>

#include <mfapi.h>
#include <tlhelp32.h>

#include <cstdio>
#include <set>
#include <vector>

#include "cantrelle.h"

namespace {

std::set<DWORD> threadsOfThisProcess() {
    std::set<DWORD> ids;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID == GetCurrentProcessId()) ids.insert(entry.th32ThreadID);
    }
    CloseHandle(snapshot);
    return ids;
}

double cpuSeconds(HANDLE thread) {
    FILETIME created, exited, kernel, user;
    GetThreadTimes(thread, &created, &exited, &kernel, &user);
    auto seconds = [](FILETIME time) {
        return (static_cast<double>(time.dwHighDateTime) * 4294967296.0 + time.dwLowDateTime) / 1e7;
    };
    return seconds(kernel) + seconds(user);
}

template <class F>
void resolve(HMODULE module, const char* name, F& function) {
    function = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace

int main() {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    MFStartup(MF_VERSION, MFSTARTUP_NOSOCKET);
    HMODULE dll = LoadLibraryW(L"Cantrelle.dll");
    if (dll == nullptr) return 1;
    decltype(&initaudio) init;
    decltype(&freeaudio) release;
    decltype(&loadfloat) load;
    decltype(&play) start;
    decltype(&setloop) loop;
    decltype(&setgain) gain;
    resolve(dll, "initaudio", init);
    resolve(dll, "freeaudio", release);
    resolve(dll, "loadfloat", load);
    resolve(dll, "play", start);
    resolve(dll, "setloop", loop);
    resolve(dll, "setgain", gain);

    const std::set<DWORD> before = threadsOfThisProcess();
    if (!init(0, 0, 0, 0.0f, 0, 0, nullptr, nullptr, nullptr, false)) return 2;
    HANDLE audioThread = nullptr;
    for (DWORD id : threadsOfThisProcess()) {
        if (before.count(id) != 0) continue;
        HANDLE thread = OpenThread(THREAD_QUERY_INFORMATION, FALSE, id);
        if (thread != nullptr && GetThreadPriority(thread) == THREAD_PRIORITY_TIME_CRITICAL) {
            audioThread = thread;
            break;
        }
        if (thread != nullptr) CloseHandle(thread);
    }
    if (audioThread == nullptr) return 3;

    auto measure = [&](const char* what) {
        const double cpuBefore = cpuSeconds(audioThread);
        const DWORD wallBefore = GetTickCount();
        Sleep(10000);
        const double cpu = cpuSeconds(audioThread) - cpuBefore;
        const double wall = (GetTickCount() - wallBefore) / 1000.0;
        std::printf("%s: audio thread CPU %.3f s over %.2f s of wall time (%.2f %%)\n", what, cpu, wall,
                    100.0 * cpu / wall);
    };
    measure("idle");

    std::vector<float> samples(48000 * 2);
    for (size_t i = 0; i < samples.size(); ++i) samples[i] = 0.01f * static_cast<float>((i * 7919) % 100) / 100.0f;
    for (int i = 0; i < 16; ++i) {
        const int32_t id =
            load(samples.data(), static_cast<uint32_t>(samples.size()), 2, 48000, i % 4, 1.0f, 0.0f, false, nullptr);
        loop(static_cast<uint32_t>(id), 1);
        gain(static_cast<uint32_t>(id), -12.0f);
        start(static_cast<uint32_t>(id));
    }
    measure("16 sounds");
    release();
    CloseHandle(audioThread);
    FreeLibrary(dll);
    MFShutdown();
    CoUninitialize();
    return 0;
}
