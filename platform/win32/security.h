// Win32 security shared by the handle calls: whom the SIDs of a descriptor
// stand for, apart from any file so that tests can feed it descriptors built
// in memory, and the descriptors the installer gives what it creates.
#pragma once

#include <windows.h>

#include <string>

#include "platform/platform.h"
#include "platform/win32/handles.h"

namespace kd::platform {

// SYSTEM and Administrators full control, Users read and execute, inherited by
// everything below, nothing inherited from the parent.
constexpr const char* ProtectedDirectoryDescriptor =
    "D:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";

// Whom `sid` stands for; Other for a null or invalid SID.
Account AccountOfSid(PSID sid);

// Whom the owner a descriptor names stands for; Other when it names none.
Account DescriptorOwner(PSECURITY_DESCRIPTOR descriptor);

// The access list of a descriptor in portable form; Other when its DACL
// cannot be read.
Error AccessOfDescriptor(PSECURITY_DESCRIPTOR descriptor, AccessList& list);

// The SID of this process's token user as text ("S-1-5-..."); empty on failure.
std::string TokenUserSid();

// A descriptor that grants this process's token user all access and nobody
// else any, nothing inherited. False on failure.
bool OwnerOnlyDescriptor(ScopedHandle<LocalMemoryTraits>& descriptor);

}  // namespace kd::platform
