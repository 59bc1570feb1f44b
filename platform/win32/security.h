// The Win32 owner decision, apart from any file so that tests can feed it
// descriptors built in memory.
#pragma once

#include <windows.h>

namespace kd::platform {

// True when `owner` is Administrators (S-1-5-32-544), SYSTEM (S-1-5-18),
// TrustedInstaller or the user of this process's token. False for a null or
// invalid SID.
bool OwnerSidTrusted(PSID owner);

// OwnerSidTrusted for the owner a descriptor names; false when it names none.
bool DescriptorOwnerTrusted(PSECURITY_DESCRIPTOR descriptor);

}  // namespace kd::platform
