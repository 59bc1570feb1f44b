// The Win32 owner decision, apart from any file so that tests can feed it
// descriptors built in memory.
#pragma once

#include <windows.h>

#include <string>

#include "platform/platform.h"

namespace kd::platform {

// SYSTEM and Administrators full control, Users read and execute, inherited by
// everything below, nothing inherited from the parent.
constexpr const char* ProtectedDirectoryDescriptor =
    "D:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";

// True when `owner` is Administrators (S-1-5-32-544), SYSTEM (S-1-5-18),
// TrustedInstaller, LocalService (S-1-5-19), NetworkService (S-1-5-20) or the
// user of this process's token. False for a null or
// invalid SID.
bool OwnerSidTrusted(PSID owner);

// OwnerSidTrusted for the owner a descriptor names; false when it names none.
bool DescriptorOwnerTrusted(PSECURITY_DESCRIPTOR descriptor);

// The access list of a descriptor in portable form; Other when its DACL
// cannot be read.
Error AccessOfDescriptor(PSECURITY_DESCRIPTOR descriptor, AccessList& list);

// The SID of this process's token user as text ("S-1-5-..."); empty on failure.
std::string TokenUserSid();

}  // namespace kd::platform
