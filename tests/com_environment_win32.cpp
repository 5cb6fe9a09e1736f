// The unit tests run under Windows like a game: COM and Media Foundation are
// started by the program, never by the library, so sounds loaded before an
// output opens convert through the system resampler.
#include <windows.h>

#include <mfapi.h>

#include <gtest/gtest.h>

namespace {

class ComEnvironment : public testing::Environment {
public:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
        ASSERT_TRUE(SUCCEEDED(MFStartup(MF_VERSION, MFSTARTUP_NOSOCKET)));
    }
    void TearDown() override {
        MFShutdown();
        CoUninitialize();
    }
};

const testing::Environment* const comEnvironment = testing::AddGlobalTestEnvironment(new ComEnvironment);

}  // namespace
