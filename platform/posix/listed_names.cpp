// POSIX: a listed name is the entry's own bytes, so each call is its name form.
#include "platform/listed_names.h"

namespace kd::platform {

bool NameKept(const FindEntry&) { return true; }

Error InfoAt(const DirHandle& dir, const FindEntry& entry, EntryInfo& info) {
    return InfoAt(dir, entry.name, info);
}

DirHandle OpenDirectoryAt(const DirHandle& dir, const FindEntry& entry, Error& error) {
    return OpenDirectoryAt(dir, entry.name, error);
}

Error RemoveAt(const DirHandle& dir, const FindEntry& entry, bool directory) {
    return RemoveAt(dir, entry.name, directory);
}

Error OpenToClose(const DirHandle& dir, const FindEntry& entry, ClosingHandle& closing, EntryInfo& info,
                  AccessList& access, DirHandle& directory) {
    return OpenToClose(dir, entry.name, closing, info, access, directory);
}

}  // namespace kd::platform
