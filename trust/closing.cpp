// The closing walk. Operating-system independent: each entry is opened,
// judged and changed through platform/.
#include "trust/closing.h"

#include <string>
#include <vector>

#include "platform/listed_names.h"
#include "trust/judge.h"

namespace kd::trust {

namespace {

using platform::Error;

// Who may write is judged as for a destination: any entry granting others a
// right that changes it or what it holds.
bool LetsOthersWrite(const platform::AccessList& access) {
    return JudgeWritten(access) != Verdict::Keep;
}

bool LetsOthersWrite(const platform::AccessEntry& entry) {
    platform::AccessList one;
    one.entries.push_back(entry);
    return LetsOthersWrite(one);
}

Error CloseBelow(const platform::ClosingHandle& parent, const platform::DirHandle& dir) {
    std::vector<platform::FindEntry> entries;
    Error error = platform::ListAt(dir, entries);
    if (error != Error::None) return error;
    for (const platform::FindEntry& found : entries) {
        platform::ClosingHandle entry;
        platform::EntryInfo info;
        platform::AccessList access;
        platform::DirHandle below;
        error = platform::OpenToClose(dir, found, entry, info, access, below);
        // Only a trusted account can have taken it away from a closed level.
        if (error == Error::NotFound) continue;
        if (error != Error::None) return error;
        if (LetsOthersWrite(access)) {
            // A second name shares this access with a name that may lie
            // outside: it is not ours to change, and cannot stay open.
            if (info.type != platform::EntryType::Directory && info.nameCount > 1) return Error::AccessDenied;
            std::vector<bool> keep;
            for (const platform::AccessEntry& item : access.entries) {
                keep.push_back(!item.inherited && !LetsOthersWrite(item));
            }
            error = platform::CloseHeld(entry, keep, &parent);
            if (error != Error::None) return error;
        }
        if (below) {
            error = CloseBelow(entry, below);
            if (error != Error::None) return error;
        }
    }
    return Error::None;
}

}  // namespace

Error CloseToOthers(const platform::DirHandle& dir) {
    platform::ClosingHandle entry;
    platform::EntryInfo info;
    platform::AccessList access;
    platform::DirHandle self;
    Error error = platform::OpenToClose(dir, ".", entry, info, access, self);
    if (error == Error::None && !self) error = Error::NotFound;
    if (error == Error::None) error = platform::CloseHeld(entry, {}, nullptr);
    return error == Error::None ? CloseBelow(entry, self) : error;
}

}  // namespace kd::trust
