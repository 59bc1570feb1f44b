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

// The two judgements on access lists: whether a level above the destination
// is safe from other accounts, and whether a level written into is kept,
// closed or refused; descriptors as a fresh Windows shows them.
TEST(AccessDecision, DescriptorsBuiltInMemory) {
    const std::string ti = "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";
    const std::string closed = "D:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";
    const std::string driveRoot = "D:PAI(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)"
                                  "(A;OICIIO;SDGXGWGR;;;AU)(A;;LC;;;AU)";
    // What a folder an administrator makes under C:\ inherits.
    const std::string underC = "D:AI(A;ID;FA;;;BA)(A;OICIIOID;GA;;;BA)(A;ID;FA;;;SY)"
                               "(A;OICIIOID;GA;;;SY)(A;OICIID;0x1200a9;;;BU)(A;ID;0x1301bf;;;AU)"
                               "(A;OICIIOID;SDGXGWGR;;;AU)";
    const std::string programFiles = "D:PAI(A;;FA;;;" + ti + ")(A;CIIO;GA;;;" + ti + ")(A;;0x1301bf;;;SY)"
                                     "(A;OICIIO;GA;;;SY)(A;;0x1301bf;;;BA)(A;OICIIO;GA;;;BA)(A;;0x1200a9;;;BU)"
                                     "(A;OICIIO;GXGR;;;BU)(A;OICIIO;GA;;;CO)(A;;0x1200a9;;;AC)(A;OICIIO;GXGR;;;AC)";
    const std::string admins = "D:PAI(A;OICI;FA;;;BA)";
    const struct {
        std::string descriptor;
        bool safeAbove;
        util::Verdict written;
    } cases[] = {
        {driveRoot, true, util::Verdict::Refuse},  // others may add folders: fine above, not to write into
        {underC, false, util::Verdict::Close},
        {programFiles, true, util::Verdict::Keep},
        {underC + "(A;OICI;0x1301bf;;;AU)", false, util::Verdict::Refuse},
        {closed, true, util::Verdict::Keep},
        {"D:PAI(A;OICI;FA;;;" + test::RunningAccountSid() + ")", true, util::Verdict::Keep},
        {"D:PAI(A;OICIIO;GA;;;CO)(A;OICI;FA;;;BA)", true, util::Verdict::Keep},
        {"", false, util::Verdict::Refuse},  // a NULL DACL
        {admins + "(A;;SD;;;AU)", false, util::Verdict::Refuse},            // delete or rename it
        {admins + "(A;;WD;;;AU)", false, util::Verdict::Refuse},            // change its access
        {admins + "(A;;WO;;;AU)", false, util::Verdict::Refuse},            // take it over
        {admins + "(A;;GA;;;AU)", false, util::Verdict::Refuse},
        {admins + "(A;;GW;;;AU)", false, util::Verdict::Refuse},
        {admins + "(A;;0x40;;;AU)", false, util::Verdict::Refuse},          // delete its entries
        {admins + "(A;OICIIO;0x40;;;AU)", true, util::Verdict::Refuse},     // only what it holds
        {admins + "(A;;0x2;;;AU)", true, util::Verdict::Refuse},            // add a file
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.descriptor);
        platform::AccessList list;
        if (c.descriptor.empty()) {
            // Wine reads "D:NO_ACCESS_CONTROL" as an empty list: the NULL DACL is set here.
            SECURITY_DESCRIPTOR nullDacl;
            ASSERT_TRUE(::InitializeSecurityDescriptor(&nullDacl, SECURITY_DESCRIPTOR_REVISION) &&
                        ::SetSecurityDescriptorDacl(&nullDacl, TRUE, nullptr, FALSE));
            EXPECT_EQ(platform::AccessOfDescriptor(&nullDacl, list), platform::Error::None);
        } else {
            PSECURITY_DESCRIPTOR descriptor = nullptr;
            ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorA(
                c.descriptor.c_str(), SDDL_REVISION_1, &descriptor, nullptr));
            EXPECT_EQ(platform::AccessOfDescriptor(descriptor, list), platform::Error::None);
            ::LocalFree(descriptor);
        }
        EXPECT_EQ(util::SafeAbove(list), c.safeAbove);
        EXPECT_EQ(util::JudgeWritten(list), c.written);
    }
}
#endif

}  // namespace
}  // namespace kd
