// A game opens and closes the output, loads and unloads sounds and starts
// and stops input many times in one run (menus, levels, device changes).
// Each cycle must give back everything it took: memory and handles (file
// descriptors natively, Windows handles under Wine) are read before and
// after many cycles, and natively LeakSanitizer looks for lost blocks too.
// Natively the output is the null provider and input cannot start; under
// Wine the cycles open the real WASAPI output and start the real hooks.
#ifdef _WIN32
#    include <windows.h>

#    include <mfapi.h>
#    include <objbase.h>
#endif

#include <gmock/gmock.h>

#include <cstdio>
#include <vector>

#include "loaded_library.h"

#if defined(__SANITIZE_ADDRESS__)
#    include <sanitizer/lsan_interface.h>
#endif

namespace cltest {
namespace {

#ifdef _WIN32
constexpr int32_t kOutputProvider = 0;  // WASAPI
constexpr int kCycles = 60;
#else
constexpr int32_t kOutputProvider = 1;  // null output
constexpr int kCycles = 300;
#endif

// Growth allowed over all the cycles: allocator and system caches settle in
// steps. A leak of one sound per cycle (375 KiB here) or one handle per
// cycle is far beyond both.
constexpr int64_t kMemoryNoise = 4 << 20;
constexpr int64_t kHandleNoise = 3;

void ignoreInput(uint32_t, uint32_t) {}

class LifetimeCycles : public LoadedCantrelle {
protected:
#ifdef _WIN32
    // The game owns COM and Media Foundation.
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
        ASSERT_TRUE(SUCCEEDED(MFStartup(MF_VERSION, MFSTARTUP_NOSOCKET)));
        LoadedCantrelle::SetUp();
    }
    void TearDown() override {
        LoadedCantrelle::TearDown();
        MFShutdown();
        CoUninitialize();
    }
#endif

    // One level of a game: output up, three one-second sounds loaded (one
    // at another rate, so it is converted), played, scheduled and paused,
    // input up and down, everything unloaded, output down (which frees the
    // records).
    void cycle() {
        ASSERT_TRUE(cl.initaudio(kOutputProvider, 48000, 0, 0, 0, 0, nullptr, nullptr, nullptr, false));
        std::vector<uint32_t> ids;
        for (uint32_t rate : {48000u, 44100u, 48000u}) {
            const int32_t id =
                cl.loadfloat(second_.data(), static_cast<uint32_t>(second_.size()), 2, rate, 1, 1.0f, 0.0f, 0, "level");
            ASSERT_GE(id, 0);
            ids.push_back(static_cast<uint32_t>(id));
        }
        cl.startclock();
        cl.play(ids[0]);
        cl.scheduleclock(ids[1], cl.getclock() + 0.01, cl.getclock() + 0.5);
        cl.setvolume(ids[2], 0.5f);
        ASSERT_TRUE(cl.pauseaudio());
        cl.unpauseaudio();
        cl.initinput(1, ignoreInput, ignoreInput, 0, 0, nullptr, nullptr, 0);
        cl.lockinput();
        cl.unlockinput();
        cl.freeinput();
        cl.tick();
        cl.stopclock();
        for (uint32_t id : ids) cl.unload(id);
        cl.freeaudio();
    }

    std::vector<float> second_ = std::vector<float>(48000 * 2, 0.25f);
};

TEST_F(LifetimeCycles, OutputSoundsAndInputGiveBackWhatTheyTook) {
    for (int i = 0; i < 3; ++i) cycle();  // caches and pools settle
    logged();
    const Footprint before = processFootprint();
    for (int i = 0; i < kCycles && !HasFatalFailure(); ++i) cycle();
    const Footprint after = processFootprint();

    std::printf("%d cycles: private bytes %lld -> %lld, handles %lld -> %lld\n", kCycles,
                static_cast<long long>(before.privateBytes), static_cast<long long>(after.privateBytes),
                static_cast<long long>(before.handles), static_cast<long long>(after.handles));
    EXPECT_GT(before.handles, 0) << "handles cannot be counted here";
    EXPECT_LE(after.handles - before.handles, kHandleNoise);
#if defined(__SANITIZE_ADDRESS__)
    // AddressSanitizer holds freed memory in quarantine, so bytes say
    // nothing here; LeakSanitizer finds what is no longer reachable.
    EXPECT_EQ(__lsan_do_recoverable_leak_check(), 0) << "LeakSanitizer found leaks (see its report above)";
#else
    EXPECT_GT(before.privateBytes, 0) << "private memory cannot be read here";
    EXPECT_LE(after.privateBytes - before.privateBytes, kMemoryNoise);
#endif
}

// The library itself loaded and unloaded again and again, with sounds and
// output left open at each unload, as a game that exits without cleaning
// up would: unloading must close and free everything. Natively only: in
// the DLL, the MinGW threads runtime linked into it keeps per-thread and
// lock objects (two to six handles and a few kilobytes for each load) that
// only the loading thread's end would free, which no unload can reach.
#ifndef _WIN32
TEST(LibraryLoadCycles, UnloadingTheLibraryGivesBackWhatItTook) {
    const std::vector<float> second(48000 * 2, 0.25f);
    auto loadUseAndDrop = [&] {
        std::string error;
        void* handle = module::open(error);
        ASSERT_NE(handle, nullptr) << error;
        auto initaudio = reinterpret_cast<decltype(&::initaudio)>(module::find(handle, "initaudio"));
        auto loadfloat = reinterpret_cast<decltype(&::loadfloat)>(module::find(handle, "loadfloat"));
        auto setlogfunc = reinterpret_cast<decltype(&::setlogfunc)>(module::find(handle, "setlogfunc"));
        ASSERT_TRUE(initaudio && loadfloat && setlogfunc);
        setlogfunc(0, nullptr);
        // The null output: no COM is needed to open it.
        ASSERT_TRUE(initaudio(1, 48000, 0, 0, 0, 0, nullptr, nullptr, nullptr, false));
        ASSERT_GE(loadfloat(second.data(), static_cast<uint32_t>(second.size()), 2, 44100, 0, 1, 0, 0, "x"), 0);
        ASSERT_TRUE(module::close(handle));
        ASSERT_FALSE(module::stillLoaded());
    };
    for (int i = 0; i < 3; ++i) loadUseAndDrop();
    const Footprint before = processFootprint();
    constexpr int kLoads = 100;
    for (int i = 0; i < kLoads && !HasFatalFailure(); ++i) loadUseAndDrop();
    const Footprint after = processFootprint();

    std::printf("%d library loads: private bytes %lld -> %lld, handles %lld -> %lld\n", kLoads,
                static_cast<long long>(before.privateBytes), static_cast<long long>(after.privateBytes),
                static_cast<long long>(before.handles), static_cast<long long>(after.handles));
    EXPECT_LE(after.handles - before.handles, kHandleNoise);
#    if defined(__SANITIZE_ADDRESS__)
    EXPECT_EQ(__lsan_do_recoverable_leak_check(), 0) << "LeakSanitizer found leaks (see its report above)";
#    else
    EXPECT_LE(after.privateBytes - before.privateBytes, kMemoryNoise);
#    endif
}
#endif

}  // namespace
}  // namespace cltest
