// Whom an owner or an access entry stands for, and access lists as the
// portable rules read them; which accounts are trusted is decided outside.
#pragma once

#include <cstdint>
#include <vector>

namespace kd::platform {

// Whom a file's owner or an access entry stands for (Win32: a SID; POSIX: a
// uid). Which of them are trusted is decided by portable code. Other: anyone
// else, or whoever could not be told (an owner not read, an access entry
// other than a plain allow or deny).
enum class Account {
    Other,
    Administrators,    // S-1-5-32-544
    System,            // S-1-5-18; POSIX: uid 0
    TrustedInstaller,  // S-1-5-80-956008885-...-2271478464
    LocalService,      // S-1-5-19
    NetworkService,    // S-1-5-20
    RunningAccount,    // the user of this process's token; POSIX: the effective uid
    CreatorOwner,      // S-1-3-0, stands for whoever creates an entry
};

// The file access rights the judgements weigh by name.
constexpr std::uint32_t AddFileRight = 0x2;          // write data, or add a file
constexpr std::uint32_t AddSubdirectoryRight = 0x4;  // append data, or add a subdirectory
constexpr std::uint32_t DeleteChildRight = 0x40;
struct AccessEntry {
    Account who = Account::Other;
    bool allow = true;
    bool inherited = false;    // INHERITED_ACE
    bool inheritOnly = false;  // INHERIT_ONLY_ACE
    bool toChildren = false;   // OBJECT_INHERIT_ACE or CONTAINER_INHERIT_ACE
    std::uint32_t mask = 0;    // file access rights
};
struct AccessList {
    bool nullList = false;  // a NULL DACL: everyone may do everything
    std::vector<AccessEntry> entries;
};

}  // namespace kd::platform
