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
#include "util/trust.h"
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
        {"O:LS", true},                      // LocalService and NetworkService own
        {"O:NS", true},                      // services' data
        {"D:(A;;FA;;;BA)", false},           // no owner at all
    };
    for (const auto& c : cases) {
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorA(
            c.descriptor.c_str(), SDDL_REVISION_1, &descriptor, nullptr))
            << c.descriptor;
        EXPECT_EQ(util::Trusted(platform::DescriptorOwner(descriptor)), c.trusted) << c.descriptor;
        ::LocalFree(descriptor);
    }
    EXPECT_EQ(platform::AccountOfSid(nullptr), platform::Account::Other);
}

// Whether an existing destination is kept, closed or refused, from its own
// access list and its parent's.
TEST(DestinationDecision, DescriptorsBuiltInMemory) {
    const std::string closed = "D:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";
    // What a folder an administrator makes under C:\\ inherits.
    const std::string underC = "O:BAD:AI(A;ID;FA;;;BA)(A;OICIIOID;GA;;;BA)(A;ID;FA;;;SY)"
                               "(A;OICIIOID;GA;;;SY)(A;OICIID;0x1200a9;;;BU)(A;ID;0x1301bf;;;AU)"
                               "(A;OICIIOID;SDGXGWGR;;;AU)";
    const struct {
        std::string destination, parent;
        util::Verdict verdict;
    } cases[] = {
        {underC, closed, util::Verdict::Close},
        {underC + "(A;OICI;0x1301bf;;;AU)", closed, util::Verdict::Refuse},
        {closed, closed, util::Verdict::Keep},
        {"D:PAI(A;OICI;FA;;;" + test::RunningAccountSid() + ")", closed, util::Verdict::Keep},
        {"D:PAI(A;OICIIO;GA;;;CO)(A;OICI;FA;;;BA)", closed, util::Verdict::Keep},
        {"", closed, util::Verdict::Refuse},  // a NULL DACL
        {closed, "D:PAI(A;OICI;FA;;;BA)(A;;0x40;;;AU)", util::Verdict::Refuse},  // delete child
        {closed, "D:PAI(A;OICI;FA;;;BA)(A;OICIIO;0x40;;;AU)", util::Verdict::Keep},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.destination + " in " + c.parent);
        platform::AccessList lists[2];
        const std::string* texts[2] = {&c.destination, &c.parent};
        for (int i = 0; i < 2; ++i) {
            PSECURITY_DESCRIPTOR descriptor = nullptr;
            // Wine reads "D:NO_ACCESS_CONTROL" as an empty list: the NULL DACL is set here.
            SECURITY_DESCRIPTOR nullDacl;
            if (texts[i]->empty()) {
                ASSERT_TRUE(::InitializeSecurityDescriptor(&nullDacl, SECURITY_DESCRIPTOR_REVISION) &&
                            ::SetSecurityDescriptorDacl(&nullDacl, TRUE, nullptr, FALSE));
                EXPECT_EQ(platform::AccessOfDescriptor(&nullDacl, lists[i]), platform::Error::None);
                continue;
            }
            ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorA(
                texts[i]->c_str(), SDDL_REVISION_1, &descriptor, nullptr));
            EXPECT_EQ(platform::AccessOfDescriptor(descriptor, lists[i]), platform::Error::None);
            ::LocalFree(descriptor);
        }
        EXPECT_EQ(util::JudgeDestination(lists[0], lists[1]), c.verdict);
    }
}
#endif

}  // namespace
}  // namespace kd
