// The library's own input core: registered with the engine's tick, and on
// native builds (no hooks, no XInput) the default provider fails cleanly.
#include <gmock/gmock.h>

#include "api/global_engine.h"
#include "api/global_input.h"
#include "fakes/log_capture.h"
#include "input/input_registry.h"

namespace cl::test {
namespace {

TEST(LibraryInputTest, TickReachesTheLibrarysInputCore) {
    InputCore& core = input();
    EXPECT_EQ(engine().inputTicker.load(), &core);
}

#ifndef _WIN32
TEST(LibraryInputTest, NativeDefaultProviderFailsCleanly) {
    LogCapture log;
    Logger logger(&LogCapture::sink);
    platform::InputPlatform platform = platform::makeInputPlatform();
    InputCore core(logger, defaultInputProviders(platform));
    EXPECT_FALSE(core.initInput({.focused = true}));
    EXPECT_FALSE(core.initialised());
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_EQ(LogCapture::body(log.lines()[0]), "Failed to initialise input");
}
#endif

}  // namespace
}  // namespace cl::test
