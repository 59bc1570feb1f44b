// Entries that ListAt returned, acted on as they were listed. On Windows a
// listed name is UTF-16: its ANSI form in FindEntry::name is for comparing and
// messages only, and may name another entry or none (a character the code page
// lacks, trailing dots or blanks). These functions reopen the entry by the
// units it was listed with; on POSIX they are the name forms.
#pragma once

#include "platform/platform.h"

namespace kd::platform {

// True when the entry's ANSI name, read as a script's names are (the meaning
// CreateFileA gives it), names exactly this entry. Always on POSIX. Win32: the
// name narrowed without best-fit mapping widens back, trimmed as CreateFileA
// trims, to the listed units.
bool NameKept(const FindEntry& entry);

// The *At functions of platform.h for a listed entry of `dir`.
Error InfoAt(const DirHandle& dir, const FindEntry& entry, EntryInfo& info);
DirHandle OpenDirectoryAt(const DirHandle& dir, const FindEntry& entry, Error& error);
Error RemoveAt(const DirHandle& dir, const FindEntry& entry, bool directory);
Error OpenToClose(const DirHandle& dir, const FindEntry& entry, ClosingHandle& closing, EntryInfo& info,
                  AccessList& access, DirHandle& directory);

}  // namespace kd::platform
