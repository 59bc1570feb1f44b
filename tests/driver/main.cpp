// Entry of the driver suite. With KD_DRIVER_CHILD set the binary is a child
// process of RunCommand's tests instead (see driver_test_support.h).
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

#include "driver_test_support.h"
#include "platform/platform.h"
#include "support/temp_dir.h"

namespace {

int RunChild(const std::string& mode, int argc, char** argv) {
    using namespace std::chrono_literals;
    if (mode.starts_with("exit:")) return std::atoi(mode.c_str() + 5);
    if (mode.starts_with("record:")) {
        std::ofstream record(mode.substr(7), std::ios::binary | std::ios::app);
        record << "cwd=" << kd::platform::CurrentDirectory() << "\n";
        for (int i = 1; i < argc; ++i) record << "arg=" << argv[i] << "\n";
        record << "end\n";
        return 0;
    }
    if (mode.starts_with("wait:")) {
        const std::size_t split = mode.find('|');
        const std::string stop = mode.substr(5, split - 5);
        for (int i = 0; i < 600 && !kd::test::IsFile(stop); ++i) std::this_thread::sleep_for(100ms);
        kd::test::WriteFile(mode.substr(split + 1), "done");
        return 0;
    }
    if (mode == "sleep") {
        std::this_thread::sleep_for(60s);
        return 0;
    }
    return 99;
}

}  // namespace

int main(int argc, char** argv) {
    if (const char* mode = std::getenv(kd::test::ChildModeVariable); mode != nullptr && *mode) {
        return RunChild(mode, argc, argv);
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
