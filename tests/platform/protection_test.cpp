// The process guards of the installer's entry, and the Windows owner decision
// on descriptors built in memory (every owner that a real Windows can show,
// which Wine's files cannot).
#include <gtest/gtest.h>

#include <string>

#include "platform/platform.h"
#include "support/planted.h"
#include "support/temp_dir.h"

#ifdef _WIN32
#include <windows.h>
#include <sddl.h>

#include <vector>

#include "platform/win32/security.h"
#endif

namespace kd {
namespace {

class ProcessGuards : public testing::Test {
protected:
    void TearDown() override { platform::ClearFaults(); }
};

// Wine and Windows accept both calls; the fault hook stands in for a system
// that refuses them. The program goes on in every case.
TEST_F(ProcessGuards, FailuresAreReportedAndNothingElse) {
    constexpr bool windows = test::IsWindowsBuild();
    const struct {
        int nth, count;
        bool libraries, redirection;
    } cases[] = {
        {0, 0, windows, windows},
        {1, 1, false, windows},
        {2, 1, windows, false},
        {1, 2, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.nth << "/" << c.count);
        platform::InjectFault(platform::FaultPoint::ProcessPolicy, c.nth, platform::Error::Other,
                              c.count);
        const platform::ProcessProtection result = platform::ProtectProcess();
        platform::ClearFaults();
        EXPECT_EQ(result.systemLibrariesOnly, c.libraries);
        EXPECT_EQ(result.redirectionTrust, c.redirection);
    }
}

#ifdef _WIN32
TEST(OwnerDecision, DescriptorsBuiltInMemory) {
    const std::string self = test::RunningAccountSid();
    ASSERT_FALSE(self.empty());
    const struct {
        std::string descriptor;
        bool trusted;
    } cases[] = {
        {"O:BA", true},
        {"O:S-1-5-32-544D:(A;;FA;;;WD)", true},
        {"O:SY", true},
        {"O:S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464", true},
        {"O:" + self, true},
        {"O:S-1-5-7", false},                // what Wine shows for another Unix user
        {"O:WD", false},
        {"O:BU", false},
        {"O:AU", false},
        {"O:S-1-5-21-1-2-3-1001", false},    // another account
        {"O:S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478465", false},
        {"O:S-1-5-32-545", false},
        {"D:(A;;FA;;;BA)", false},           // no owner at all
    };
    for (const auto& c : cases) {
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorA(
            c.descriptor.c_str(), SDDL_REVISION_1, &descriptor, nullptr))
            << c.descriptor;
        EXPECT_EQ(platform::DescriptorOwnerTrusted(descriptor), c.trusted) << c.descriptor;
        ::LocalFree(descriptor);
    }
    EXPECT_FALSE(platform::OwnerSidTrusted(nullptr));
}
#endif

}  // namespace
}  // namespace kd
