// Win32 directory-handle calls: names opened with NtCreateFile relative to a
// directory handle and FILE_OPEN_REPARSE_POINT, so a link at a name is seen
// and never followed; deletion and listing through handles. A listed entry is
// opened again by the UTF-16 units it was listed with. Wine opens a Unix
// symbolic link's target even then, so under Wine each name is also looked at
// by its path, where Wine shows the link.
#include <aclapi.h>
#include <fcntl.h>
#include <io.h>
#include <sddl.h>
#include <windows.h>
#include <winioctl.h>
#include <winternl.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "platform/fault_hook.h"
#include "platform/listed_names.h"
#include "platform/platform.h"
#include "platform/win32/handles.h"
#include "platform/win32/security.h"

namespace kd::platform {

struct DirState {
    ScopedFileHandle handle;
    std::wstring path;  // for climbing to the parent, and the look by name that Wine needs
    std::wstring finalPath;  // as Wine resolved it; asked once, by the closing
};

void StateDeleter::operator()(DirState* state) const { delete state; }

void Identify(HANDLE handle, const BY_HANDLE_FILE_INFORMATION& file, EntryInfo& info) {
    FILE_ID_INFO id{};
    if (::GetFileInformationByHandleEx(handle, FileIdInfo, &id, sizeof id)) {
        // 128 bits: on ReFS the 64-bit index is not unique.
        info.volume = id.VolumeSerialNumber;
        std::memcpy(&info.index, id.FileId.Identifier, sizeof info.index);
        std::memcpy(&info.indexHigh, id.FileId.Identifier + sizeof info.index, sizeof info.indexHigh);
    } else {
        info.volume = file.dwVolumeSerialNumber;
        info.index = (static_cast<std::uint64_t>(file.nFileIndexHigh) << 32) | file.nFileIndexLow;
        info.indexHigh = 0;
    }
}

namespace {

constexpr ULONG ShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr ACCESS_MASK DirectoryAccess =
    FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | READ_CONTROL | SYNCHRONIZE;

using LocalMemory = ScopedHandle<LocalMemoryTraits>;

Error ErrorFromStatus(NTSTATUS status) {
    const DWORD code = ::RtlNtStatusToDosError(status);
    // A file where a directory was asked for is not a directory: nothing to pass.
    return code == ERROR_DIRECTORY ? Error::NotFound : ErrorFromWin32(code);
}

// The name as CreateFileA means it: ANSI code page, trailing dots and blanks
// of the level dropped ("." stays, naming the directory itself).
std::wstring WideName(const std::string& name) {
    std::string level = name;
    if (level != "." && level != "..") {
        while (!level.empty() && (level.back() == '.' || level.back() == ' ')) level.pop_back();
    }
    if (level == ".") return {};
    if (level.empty()) return L"\u0001";  // nothing a file can be named
    const std::u16string wide = WidenAnsi(level);
    return std::wstring(wide.begin(), wide.end());
}

// A name acted on: as the script or the caller gave it (ANSI, for messages,
// the step callback and the look by name), and the units it is opened by.
struct Name {
    const std::string& ansi;
    std::wstring wide;
};

Name Named(const std::string& name) { return {name, WideName(name)}; }

// A listed entry keeps its own units; an entry from anywhere else has none.
Name Listed(const FindEntry& entry) {
    if (entry.listedName.empty()) return Named(entry.name);
    return {entry.name, std::wstring(entry.listedName.begin(), entry.listedName.end())};
}

// NtCreateFile of `wide` relative to `root`, with `options` as given.
NTSTATUS OpenRelativeAs(HANDLE root, std::wstring wide, ACCESS_MASK access, ULONG share,
                        ULONG disposition, ULONG options, PSECURITY_DESCRIPTOR descriptor,
                        ScopedFileHandle& out) {
    UNICODE_STRING text;
    text.Buffer = wide.data();
    text.Length = text.MaximumLength = static_cast<USHORT>(wide.size() * sizeof(wchar_t));
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &text, OBJ_CASE_INSENSITIVE, root, descriptor);
    IO_STATUS_BLOCK status{};
    HANDLE handle = nullptr;
    const NTSTATUS result =
        ::NtCreateFile(&handle, access | SYNCHRONIZE, &attributes, &status, nullptr,
                       FILE_ATTRIBUTE_NORMAL, share, disposition, options | FILE_SYNCHRONOUS_IO_NONALERT,
                       nullptr, 0);
    if (NT_SUCCESS(result)) out.Reset(handle);
    return result;
}

// The same, never following a reparse point at the name.
NTSTATUS OpenRelative(HANDLE root, const std::wstring& wide, ACCESS_MASK access, ULONG share,
                      ULONG disposition, ULONG options, PSECURITY_DESCRIPTOR descriptor,
                      ScopedFileHandle& out) {
    return OpenRelativeAs(root, wide, access, share, disposition, options | FILE_OPEN_REPARSE_POINT, descriptor,
                          out);
}

NTSTATUS OpenRelative(HANDLE root, const std::string& name, ACCESS_MASK access, ULONG share,
                      ULONG disposition, ULONG options, PSECURITY_DESCRIPTOR descriptor,
                      ScopedFileHandle& out) {
    return OpenRelative(root, WideName(name), access, share, disposition, options, descriptor, out);
}

// The POSIX-semantics forms of deletion and renaming (FileDispositionInformationEx,
// FileRenameInformationEx), which older mingw-w64 headers lack.
constexpr int FileDispositionInformationEx = 64;
constexpr int FileRenameInformationEx = 65;
constexpr ULONG FileDispositionDelete = 0x1, FileDispositionPosixSemantics = 0x2;
constexpr ULONG FileRenameReplaceIfExists = 0x1, FileRenamePosixSemantics = 0x2;

// How a system without the Ex forms, or a file system without POSIX
// semantics, refuses them; the older call is made then.
bool ExFormRefused(NTSTATUS status) {
    constexpr NTSTATUS refusals[] = {
        static_cast<NTSTATUS>(0xC0000002L),  // STATUS_NOT_IMPLEMENTED
        static_cast<NTSTATUS>(0xC0000003L),  // STATUS_INVALID_INFO_CLASS
        static_cast<NTSTATUS>(0xC000000DL),  // STATUS_INVALID_PARAMETER
        static_cast<NTSTATUS>(0xC00000BBL),  // STATUS_NOT_SUPPORTED
    };
    for (const NTSTATUS refusal : refusals) {
        if (status == refusal) return true;
    }
    return false;
}

std::wstring Child(const DirState& dir, const std::wstring& name) {
    return dir.path.empty() || dir.path.back() == L'\\' ? dir.path + name : dir.path + L"\\" + name;
}

// Wine opens what a Unix symbolic link leads to even with
// FILE_OPEN_REPARSE_POINT, and shows the link only by its path. The looks by
// name are made for Wine alone: Windows sees every link through the handle,
// and no path there is then limited to MAX_PATH.
bool WineShowsLinksOnlyByName() { return IsWine(); }

// The look by name (Wine only): IsLink for a reparse point, NotFound when
// absent; any other failure fails closed.
Error KindByName(const std::wstring& path, bool& isLink) {
    isLink = false;
    if (!WineShowsLinksOnlyByName()) return Error::NotFound;
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD code = ::GetLastError();
        return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND ? Error::NotFound
                                                                            : Error::AccessDenied;
    }
    isLink = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    return Error::None;
}

// What counts as a link: a reparse point that stands for another name
// (junction, mount point, symbolic link), not one a filter keeps data behind.
bool IsLinkTag(const FILE_ATTRIBUTE_TAG_INFO& tag) {
    return (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) && IsReparseTagNameSurrogate(tag.ReparseTag);
}

// True when the handle holds a link.
bool HoldsLink(HANDLE handle, bool& ok) {
    FILE_ATTRIBUTE_TAG_INFO tag{};
    ok = ::GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag, sizeof tag) != FALSE;
    return ok && IsLinkTag(tag);
}

// Refuses a link found through the handle or, under Wine, by name.
Error CheckNotLink(HANDLE handle, const std::wstring& path) {
    bool ok = false;
    if (HoldsLink(handle, ok)) return Error::IsLink;
    if (!ok) return ErrorFromWin32(::GetLastError());
    if (!WineShowsLinksOnlyByName()) return Error::None;
    bool byName = false;
    const Error error = KindByName(path, byName);
    if (error != Error::None) return error;
    return byName ? Error::IsLink : Error::None;
}

Error Describe(HANDLE handle, EntryInfo& info) {
    info = {};
    BY_HANDLE_FILE_INFORMATION file{};
    bool ok = false;
    const bool link = HoldsLink(handle, ok);
    if (!ok || !::GetFileInformationByHandle(handle, &file)) return ErrorFromWin32(::GetLastError());
    info.type = link                                                ? EntryType::Link
                : (file.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? EntryType::Directory
                                                                     : EntryType::File;
    info.readOnly = (file.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
    info.nameCount = file.nNumberOfLinks;
    Identify(handle, file, info);
    PSID owner = nullptr;
    LocalMemory descriptor;
    if (::GetSecurityInfo(handle, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                          nullptr, nullptr, descriptor.Out()) == ERROR_SUCCESS) {
        info.owner = AccountOfSid(owner);  // points into the descriptor, still held
    }
    return Error::None;
}

// The start of a reparse point's data, as FSCTL_GET_REPARSE_POINT returns it
// for a junction (mount point) and a symbolic link.
struct ReparseHeader {
    DWORD tag;
    WORD dataLength;
    WORD reserved;
    WORD substituteOffset, substituteLength, printOffset, printLength;
};

// The text in the ANSI code page, never mapped to a look-alike (best-fit
// turns U+FF3C into "\\"). `exact` is false when a character had no form
// there and became the default one.
std::string Narrow(const wchar_t* text, std::size_t length, bool* exact = nullptr) {
    const int count = static_cast<int>(length);
    // The UTF-8 code page takes no default character: it refuses what it cannot hold.
    const bool utf8 = ::GetACP() == CP_UTF8;
    BOOL usedDefault = FALSE;
    const DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    BOOL* defaulted = utf8 ? nullptr : &usedDefault;
    int size = ::WideCharToMultiByte(CP_ACP, flags, text, count, nullptr, 0, nullptr, defaulted);
    const bool kept = size > 0 && !usedDefault;
    const DWORD used = size > 0 ? flags : 0;  // a lone surrogate in UTF-8: replaced, for messages
    if (size <= 0) size = ::WideCharToMultiByte(CP_ACP, 0, text, count, nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
    if (size > 0) {
        ::WideCharToMultiByte(CP_ACP, used, text, count, result.data(), size, nullptr, nullptr);
    }
    if (exact) *exact = kept && length > 0;
    return result;
}

// A path for the portable walk, which takes ANSI paths: refused (Other) when
// the code page cannot hold it.
Error NarrowPath(const std::wstring& path, std::string& target) {
    bool exact = false;
    target = Narrow(path.data(), path.size(), &exact);
    return exact ? Error::None : Error::Other;
}

// The target Wine resolves for a link it shows only by name.
Error FinalPathByName(const std::wstring& path, std::string& target) {
    ScopedFileHandle handle(::CreateFileW(path.c_str(), 0, ShareAll, nullptr, OPEN_EXISTING,
                                          FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!handle.Valid()) return ErrorFromWin32(::GetLastError());
    std::wstring buffer(32768, L'\0');
    const DWORD length = ::GetFinalPathNameByHandleW(handle.Get(), buffer.data(), static_cast<DWORD>(buffer.size()), 0);
    if (length == 0 || length >= buffer.size()) return Error::Other;
    buffer.resize(length);
    if (buffer.rfind(L"\\\\?\\", 0) == 0) buffer.erase(0, 4);
    return NarrowPath(buffer, target);
}

// A reparse point that is no link (deduplicated data, a cloud file's
// placeholder) keeps its data behind a filter that FILE_OPEN_REPARSE_POINT
// passes by: such a file is opened again through its handle without it. The
// handle that replaces `handle` must still hold the same file, and no link.
Error OpenThroughFilter(ScopedFileHandle& handle, ACCESS_MASK access, ULONG share, ULONG options) {
    FILE_ATTRIBUTE_TAG_INFO tag{};
    if (!::GetFileInformationByHandleEx(handle.Get(), FileAttributeTagInfo, &tag, sizeof tag)) {
        return ErrorFromWin32(::GetLastError());
    }
    if (!(tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) return Error::None;
    if (IsLinkTag(tag)) return Error::IsLink;
    ScopedFileHandle data;
    const NTSTATUS status =
        OpenRelativeAs(handle.Get(), std::wstring(), access, share, FILE_OPEN, options, nullptr, data);
    if (!NT_SUCCESS(status)) return ErrorFromStatus(status);
    BY_HANDLE_FILE_INFORMATION first{}, second{};
    EntryInfo was, now;
    bool ok = false;
    if (HoldsLink(data.Get(), ok)) return Error::IsLink;
    if (!ok || !::GetFileInformationByHandle(handle.Get(), &first) ||
        !::GetFileInformationByHandle(data.Get(), &second)) {
        return ErrorFromWin32(::GetLastError());
    }
    Identify(handle.Get(), first, was);
    Identify(data.Get(), second, now);
    if (!SameIdentity(was, now)) return Error::AccessDenied;
    handle.Reset(data.Release());
    return Error::None;
}

}  // namespace

namespace {

DirHandle OpenDirectoryByPath(const std::wstring& path, Error& error) {
    ScopedFileHandle handle(::CreateFileW(path.c_str(), DirectoryAccess, ShareAll, nullptr,
                                          OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!handle.Valid()) {
        error = ErrorFromWin32(::GetLastError());
        return nullptr;
    }
    error = Error::None;
    DirHandle dir(new DirState);
    dir->handle.Reset(handle.Release());
    dir->path = path;
    return dir;
}

DirHandle OpenDirectoryAt(const DirHandle& dir, const Name& name, Error& error) {
    AtStep(Step::Open, name.ansi);
    error = detail::TakeFault(FaultPoint::Lookup);
    if (error != Error::None) return nullptr;
    if (name.ansi == "..") {
        // A relative open cannot climb: the parent is named by its path.
        return OpenDirectoryByPath(dir->path + L"\\..", error);
    }
    ScopedFileHandle handle;
    const NTSTATUS status = OpenRelative(dir->handle.Get(), name.wide, DirectoryAccess, ShareAll, FILE_OPEN,
                                         FILE_DIRECTORY_FILE | FILE_OPEN_FOR_BACKUP_INTENT, nullptr,
                                         handle);
    const bool self = name.wide.empty();
    const std::wstring path = self ? dir->path : Child(*dir, name.wide);
    if (!NT_SUCCESS(status)) {
        error = ErrorFromStatus(status);
        // Wine does not open a link to a missing target at all.
        bool byName = false;
        if (error == Error::NotFound && KindByName(path, byName) == Error::None && byName) {
            error = Error::IsLink;
        }
        return nullptr;
    }
    error = self ? Error::None : CheckNotLink(handle.Get(), path);
    if (error != Error::None) return nullptr;
    DirHandle child(new DirState);
    child->handle.Reset(handle.Release());
    child->path = path;
    return child;
}

}  // namespace

DirHandle OpenDirectory(const char* path, Error& error) {
    std::string name = path ? path : "";
    if (!name.empty() && name.back() == ':') name += '.';  // the drive's working directory
    // Widened as CreateFileA would.
    const std::u16string wide = WidenAnsi(name);
    return OpenDirectoryByPath(std::wstring(wide.begin(), wide.end()), error);
}

DirHandle OpenDirectoryAt(const DirHandle& dir, const std::string& name, Error& error) {
    return OpenDirectoryAt(dir, Named(name), error);
}

DirHandle OpenDirectoryAt(const DirHandle& dir, const FindEntry& entry, Error& error) {
    return OpenDirectoryAt(dir, Listed(entry), error);
}

Error PinDirectory(const DirHandle& dir, DirHandle& pin) {
    // Shares reading and writing, so the installer's own handles (which never
    // ask for DELETE) stay usable; it refuses to share deletion. An open that
    // asks for no data access takes no part in sharing: it lists.
    ScopedFileHandle handle;
    const NTSTATUS status = OpenRelative(dir->handle.Get(), ".", FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE, FILE_OPEN,
                                         FILE_DIRECTORY_FILE | FILE_OPEN_FOR_BACKUP_INTENT, nullptr, handle);
    if (!NT_SUCCESS(status)) return ErrorFromStatus(status);
    pin.reset(new DirState);
    pin->handle.Reset(handle.Release());
    return Error::None;
}

namespace {

Error InfoAt(const DirHandle& dir, const Name& name, EntryInfo& info) {
    info = {};
    const Error fault = detail::TakeFault(FaultPoint::Lookup);
    if (fault != Error::None) return fault;
    ScopedFileHandle handle;
    const NTSTATUS status = OpenRelative(dir->handle.Get(), name.wide, FILE_READ_ATTRIBUTES | READ_CONTROL,
                                         ShareAll, FILE_OPEN, FILE_OPEN_FOR_BACKUP_INTENT, nullptr,
                                         handle);
    bool byName = false;
    const Error named = KindByName(Child(*dir, name.wide), byName);
    if (!NT_SUCCESS(status)) {
        const Error error = ErrorFromStatus(status);
        if (error != Error::NotFound) return error;
        if (named != Error::None) return named == Error::NotFound ? Error::None : named;
        // Wine: a link whose target is missing, seen only by name.
        info.type = byName ? EntryType::Link : EntryType::Missing;
        return Error::None;
    }
    if (named != Error::None && named != Error::NotFound) return named;
    const Error error = Describe(handle.Get(), info);
    if (byName) info.type = EntryType::Link;
    return error;
}

}  // namespace

Error InfoAt(const DirHandle& dir, const std::string& name, EntryInfo& info) {
    return InfoAt(dir, Named(name), info);
}

Error InfoAt(const DirHandle& dir, const FindEntry& entry, EntryInfo& info) {
    return InfoAt(dir, Listed(entry), info);
}

Error InfoOf(const DirHandle& dir, EntryInfo& info) {
    const Error fault = detail::TakeFault(FaultPoint::Lookup);
    if (fault != Error::None) return fault;
    return Describe(dir->handle.Get(), info);
}

Error InfoOfStream(std::FILE* stream, EntryInfo& info) {
    const auto handle = reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(stream)));
    if (handle == INVALID_HANDLE_VALUE) return Error::Other;
    return Describe(handle, info);
}

Error CopyAccess(std::FILE* from, std::FILE* to) {
    const auto source = reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(from)));
    const auto target = reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(to)));
    if (source == INVALID_HANDLE_VALUE || target == INVALID_HANDLE_VALUE) return Error::Other;
    DWORD size = 0;
    ::GetKernelObjectSecurity(source, DACL_SECURITY_INFORMATION, nullptr, 0, &size);
    if (size == 0) return ErrorFromWin32(::GetLastError());
    std::vector<BYTE> descriptor(size);
    // The DACL as it stands, its inherited entries and protection included.
    if (!::GetKernelObjectSecurity(source, DACL_SECURITY_INFORMATION, descriptor.data(), size, &size) ||
        !::SetKernelObjectSecurity(target, DACL_SECURITY_INFORMATION, descriptor.data())) {
        return ErrorFromWin32(::GetLastError());
    }
    return Error::None;
}

Error ReadLinkAt(const DirHandle& dir, const std::string& name, std::string& target) {
    const Error fault = detail::TakeFault(FaultPoint::Lookup);
    if (fault != Error::None) return fault;
    ScopedFileHandle handle;
    const NTSTATUS status = OpenRelative(dir->handle.Get(), name, FILE_READ_ATTRIBUTES, ShareAll,
                                         FILE_OPEN, FILE_OPEN_FOR_BACKUP_INTENT, nullptr, handle);
    std::vector<BYTE> buffer(MAXIMUM_REPARSE_DATA_BUFFER_SIZE);
    DWORD size = 0;
    if (NT_SUCCESS(status) &&
        ::DeviceIoControl(handle.Get(), FSCTL_GET_REPARSE_POINT, nullptr, 0, buffer.data(),
                          static_cast<DWORD>(buffer.size()), &size, nullptr) &&
        size >= sizeof(ReparseHeader)) {
        ReparseHeader header;
        std::memcpy(&header, buffer.data(), sizeof header);
        // A symbolic link's names follow a flags field that a junction lacks.
        std::size_t names = sizeof header;
        if (header.tag == IO_REPARSE_TAG_SYMLINK) names += sizeof(ULONG);
        else if (header.tag != IO_REPARSE_TAG_MOUNT_POINT) return Error::Other;
        const std::size_t end = names + header.substituteOffset + header.substituteLength;
        if (end > size) return Error::Other;
        std::wstring text(header.substituteLength / sizeof(wchar_t), L'\0');
        std::memcpy(text.data(), buffer.data() + names + header.substituteOffset,
                    header.substituteLength);
        // "\??\C:\x" is "C:\x", "\??\UNC\server\x" "\\server\x"; any other
        // (a volume mount point's "\??\Volume{GUID}\") keeps the "\\?\" form
        // the walk opens as a root.
        if (text.rfind(L"\\??\\UNC\\", 0) == 0) text = L"\\\\" + text.substr(8);
        else if (text.rfind(L"\\??\\", 0) == 0 && text.size() >= 6 && text[5] == L':') text.erase(0, 4);
        else if (text.rfind(L"\\??\\", 0) == 0) text[1] = L'\\';
        return NarrowPath(text, target);
    }
    // Wine shows a Unix link only by name and has no reparse data for it.
    if (WineShowsLinksOnlyByName()) return FinalPathByName(Child(*dir, WideName(name)), target);
    return NT_SUCCESS(status) ? ErrorFromWin32(::GetLastError()) : ErrorFromStatus(status);
}

Error CreateDirectoryAt(const DirHandle& dir, const std::string& name, bool closed) {
    AtStep(Step::Create, name);
    const Error fault = detail::TakeFault(FaultPoint::CreateDir);
    if (fault != Error::None) return fault;
    LocalMemory descriptor;
    if (closed && !::ConvertStringSecurityDescriptorToSecurityDescriptorA(
                      ProtectedDirectoryDescriptor, SDDL_REVISION_1, descriptor.Out(), nullptr)) {
        return ErrorFromWin32(::GetLastError());
    }
    ScopedFileHandle handle;
    const NTSTATUS status = OpenRelative(dir->handle.Get(), name, FILE_LIST_DIRECTORY, ShareAll,
                                         FILE_CREATE, FILE_DIRECTORY_FILE, descriptor.Get(), handle);
    return NT_SUCCESS(status) ? Error::None : ErrorFromStatus(status);
}

namespace {

Error RemoveAt(const DirHandle& dir, const Name& name, bool directory) {
    AtStep(Step::Remove, name.ansi);
    const Error fault = detail::TakeFault(FaultPoint::Delete);
    if (fault != Error::None) return fault;
    const std::wstring path = Child(*dir, name.wide);
    bool byName = false;
    if (directory && KindByName(path, byName) == Error::None && byName) {
        // Wine opens the target of a Unix link to a directory; by its name
        // the link goes and the target stays.
        return ::RemoveDirectoryW(path.c_str()) ? Error::None : ErrorFromWin32(::GetLastError());
    }
    ScopedFileHandle handle;
    const NTSTATUS status = OpenRelative(dir->handle.Get(), name.wide, DELETE | FILE_READ_ATTRIBUTES,
                                         ShareAll, FILE_OPEN, FILE_OPEN_FOR_BACKUP_INTENT, nullptr,
                                         handle);
    if (!NT_SUCCESS(status)) return ErrorFromStatus(status);
    FILE_ATTRIBUTE_TAG_INFO tag{};
    if (!::GetFileInformationByHandleEx(handle.Get(), FileAttributeTagInfo, &tag, sizeof tag)) {
        return ErrorFromWin32(::GetLastError());
    }
    if ((tag.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !IsLinkTag(tag) && !directory) {
        return Error::AccessDenied;
    }
    // The name goes at once even while a scanner or indexer holds the file;
    // a read-only file is still refused.
    ULONG flags = FileDispositionDelete | FileDispositionPosixSemantics;
    IO_STATUS_BLOCK io{};
    const NTSTATUS deleted = ::NtSetInformationFile(handle.Get(), &io, &flags, sizeof flags,
                                                    static_cast<FILE_INFORMATION_CLASS>(FileDispositionInformationEx));
    if (!ExFormRefused(deleted)) return NT_SUCCESS(deleted) ? Error::None : ErrorFromStatus(deleted);
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = TRUE;
    return ::SetFileInformationByHandle(handle.Get(), FileDispositionInfo, &disposition,
                                        sizeof disposition)
               ? Error::None
               : ErrorFromWin32(::GetLastError());
}

}  // namespace

Error RemoveAt(const DirHandle& dir, const std::string& name, bool directory) {
    return RemoveAt(dir, Named(name), directory);
}

Error RemoveAt(const DirHandle& dir, const FindEntry& entry, bool directory) {
    return RemoveAt(dir, Listed(entry), directory);
}

Error SetNormalAttributesAt(const DirHandle& dir, const std::string& name) {
    ScopedFileHandle handle;
    const NTSTATUS status =
        OpenRelative(dir->handle.Get(), name, FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES, ShareAll,
                     FILE_OPEN, FILE_NON_DIRECTORY_FILE, nullptr, handle);
    if (!NT_SUCCESS(status)) return ErrorFromStatus(status);
    const Error link = CheckNotLink(handle.Get(), Child(*dir, WideName(name)));
    if (link != Error::None) return link;
    FILE_BASIC_INFO basic{};  // zero times: left as they are
    basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    return ::SetFileInformationByHandle(handle.Get(), FileBasicInfo, &basic, sizeof basic)
               ? Error::None
               : ErrorFromWin32(::GetLastError());
}

Stream OpenFileAt(const DirHandle& dir, const std::string& name, const OpenAtMode& mode,
                  Error& error) {
    AtStep(mode.createNew ? Step::Create : Step::Open, name);
    error = detail::TakeFault(FaultPoint::Open);
    if (error != Error::None) return nullptr;
    // A private file made new may be given its final access later, and is
    // removed through this handle when the user interrupts the process.
    const ACCESS_MASK access = DesiredAccess(mode.access, mode.createNew && mode.privateFile) |
                               (mode.createNew && mode.privateFile ? DELETE : 0);
    LocalMemory descriptor;
    if (mode.createNew && mode.privateFile && !OwnerOnlyDescriptor(descriptor)) {
        error = Error::Other;
        return nullptr;
    }
    ScopedFileHandle handle;
    const ULONG share = mode.privateFile ? FILE_SHARE_READ : ShareAll;
    const NTSTATUS status = OpenRelative(dir->handle.Get(), name, access | FILE_READ_ATTRIBUTES, share,
                                         mode.createNew ? FILE_CREATE : FILE_OPEN, FILE_NON_DIRECTORY_FILE,
                                         descriptor.Get(), handle);
    if (!NT_SUCCESS(status)) {
        error = ErrorFromStatus(status);
        return nullptr;
    }
    error = CheckNotLink(handle.Get(), Child(*dir, WideName(name)));
    // A file made new here holds no reparse point.
    if (error == Error::None && !mode.createNew) {
        error = OpenThroughFilter(handle, access | FILE_READ_ATTRIBUTES, share, FILE_NON_DIRECTORY_FILE);
    }
    if (error != Error::None) return nullptr;
    const char* stdioMode = mode.access == Access::Read    ? "rb"
                            : mode.access == Access::Write ? "wb"
                                                           : "r+b";
    return AdoptHandle(handle, _O_BINARY | (mode.access == Access::Read ? _O_RDONLY : 0), stdioMode, error);
}

Error RenameAt(const DirHandle& dir, const std::string& from, const std::string& to) {
    const Error fault = detail::TakeFault(FaultPoint::Delete);
    if (fault != Error::None) return fault;
    {
        // Closed again before the rename, which fails on an open target.
        ScopedFileHandle target;
        const NTSTATUS status = OpenRelative(dir->handle.Get(), to, FILE_READ_ATTRIBUTES, ShareAll,
                                             FILE_OPEN, FILE_OPEN_FOR_BACKUP_INTENT, nullptr, target);
        if (NT_SUCCESS(status)) {
            FILE_ATTRIBUTE_TAG_INFO tag{};
            if (!::GetFileInformationByHandleEx(target.Get(), FileAttributeTagInfo, &tag, sizeof tag)) {
                return ErrorFromWin32(::GetLastError());
            }
            // Wine as root replaces a read-only file; Windows does not.
            constexpr DWORD kept = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY;
            if (!(tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) && (tag.FileAttributes & kept)) {
                return Error::AccessDenied;
            }
        } else if (const Error error = ErrorFromStatus(status); error != Error::NotFound) {
            return error;
        }
    }
    ScopedFileHandle source;
    const NTSTATUS opened = OpenRelative(dir->handle.Get(), from, DELETE | FILE_READ_ATTRIBUTES, ShareAll,
                                         FILE_OPEN, FILE_NON_DIRECTORY_FILE, nullptr, source);
    if (!NT_SUCCESS(opened)) return ErrorFromStatus(opened);
    const Error link = CheckNotLink(source.Get(), Child(*dir, WideName(from)));
    if (link != Error::None) return link;
    // The information ends in the new name: laid out in a buffer of its size.
    const std::wstring name = WideName(to);
    const std::size_t nameBytes = name.size() * sizeof(wchar_t);
    std::vector<BYTE> buffer(sizeof(FILE_RENAME_INFORMATION) + nameBytes);
    FILE_RENAME_INFORMATION info{};
    info.RootDirectory = dir->handle.Get();
    info.FileNameLength = static_cast<ULONG>(nameBytes);
    std::memcpy(buffer.data(), &info, sizeof info);
    std::memcpy(buffer.data() + offsetof(FILE_RENAME_INFORMATION, FileName), name.data(), nameBytes);
    // The Ex form's flags take the place of ReplaceIfExists: the old file's
    // name goes even while another process holds it open with delete sharing.
    const ULONG flags = FileRenameReplaceIfExists | FileRenamePosixSemantics;
    std::memcpy(buffer.data(), &flags, sizeof flags);
    IO_STATUS_BLOCK status{};
    NTSTATUS renamed = ::NtSetInformationFile(source.Get(), &status, buffer.data(), static_cast<ULONG>(buffer.size()),
                                              static_cast<FILE_INFORMATION_CLASS>(FileRenameInformationEx));
    if (ExFormRefused(renamed)) {
        info.ReplaceIfExists = TRUE;
        std::memcpy(buffer.data(), &info, offsetof(FILE_RENAME_INFORMATION, FileName));
        renamed = ::NtSetInformationFile(source.Get(), &status, buffer.data(), static_cast<ULONG>(buffer.size()),
                                         FileRenameInformation);
    }
    return NT_SUCCESS(renamed) ? Error::None : ErrorFromStatus(renamed);
}

Error ListAt(const DirHandle& dir, std::vector<FindEntry>& entries) {
    AtStep(Step::List, "");
    // A handle of its own, so the listing starts at the beginning.
    ScopedFileHandle handle;
    const NTSTATUS status = OpenRelative(dir->handle.Get(), ".", FILE_LIST_DIRECTORY, ShareAll,
                                         FILE_OPEN, FILE_DIRECTORY_FILE, nullptr, handle);
    if (!NT_SUCCESS(status)) return ErrorFromStatus(status);
    std::vector<BYTE> buffer(64 * 1024);
    while (::GetFileInformationByHandleEx(handle.Get(), FileIdBothDirectoryInfo, buffer.data(),
                                          static_cast<DWORD>(buffer.size()))) {
        for (std::size_t at = 0;;) {
            const auto* item = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(buffer.data() + at);
            const std::size_t length = item->FileNameLength / sizeof(wchar_t);
            const std::wstring_view name(item->FileName, length);
            if (name != L"." && name != L"..") {
                FindEntry entry;
                // The ANSI form is for comparing and messages; the entry is
                // opened again by its listed units.
                entry.name = Narrow(item->FileName, length);
                entry.listedName.assign(name.begin(), name.end());
                entry.isDirectory = (item->FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
                // For a reparse point the EA size field holds its tag.
                entry.isLink = (item->FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
                               (IsReparseTagNameSurrogate(item->EaSize) || IsWine());
                entries.push_back(std::move(entry));
            }
            if (item->NextEntryOffset == 0) break;
            at += item->NextEntryOffset;
        }
    }
    const DWORD code = ::GetLastError();
    return code == ERROR_NO_MORE_FILES ? Error::None : ErrorFromWin32(code);
}

Error AccessOf(const DirHandle& dir, AccessList& list) {
    LocalMemory descriptor;
    const DWORD result =
        ::GetSecurityInfo(dir->handle.Get(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                          nullptr, nullptr, nullptr, descriptor.Out());
    if (result != ERROR_SUCCESS) return ErrorFromWin32(result);
    return AccessOfDescriptor(descriptor.Get(), list);
}

Error AccessAt(const DirHandle& dir, const std::string& name, AccessList& list) {
    ScopedFileHandle handle;
    const NTSTATUS status = OpenRelative(dir->handle.Get(), name, READ_CONTROL, ShareAll, FILE_OPEN,
                                         FILE_OPEN_FOR_BACKUP_INTENT, nullptr, handle);
    if (!NT_SUCCESS(status)) return ErrorFromStatus(status);
    LocalMemory descriptor;
    const DWORD result =
        ::GetSecurityInfo(handle.Get(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                          nullptr, nullptr, nullptr, descriptor.Out());
    if (result != ERROR_SUCCESS) return ErrorFromWin32(result);
    return AccessOfDescriptor(descriptor.Get(), list);
}

struct ClosingState {
    ScopedFileHandle handle;
    bool directory = false;
    bool followed = false;           // Wine opened what a link leads to
    std::vector<BYTE> descriptor;    // its DACL as last read or set, self-relative
};

void StateDeleter::operator()(ClosingState* state) const { delete state; }

namespace {

// The DACL of the object behind `handle`, self-relative; empty on failure.
std::vector<BYTE> DaclOf(HANDLE handle) {
    DWORD size = 0;
    ::GetKernelObjectSecurity(handle, DACL_SECURITY_INFORMATION, nullptr, 0, &size);
    std::vector<BYTE> descriptor(size);
    if (size == 0 ||
        !::GetKernelObjectSecurity(handle, DACL_SECURITY_INFORMATION, descriptor.data(), size, &size)) {
        return {};
    }
    return descriptor;
}

// The path the system resolved for an open handle ("\\?\" dropped); empty on failure.
std::wstring FinalPathOf(HANDLE handle) {
    std::wstring path(32768, L'\0');
    const DWORD length = ::GetFinalPathNameByHandleW(handle, path.data(), static_cast<DWORD>(path.size()), 0);
    if (length == 0 || length >= path.size()) return {};
    path.resize(length);
    if (path.rfind(L"\\\\?\\", 0) == 0) path.erase(0, 4);
    return path;
}

// Under Wine a relative open passes through a Unix link: the handle then
// names another path than the name it was opened by.
bool WineFollowed(DirState& parent, HANDLE entry, const std::wstring& name) {
    if (parent.finalPath.empty()) parent.finalPath = FinalPathOf(parent.handle.Get());
    const std::wstring& parentPath = parent.finalPath;
    const std::wstring entryPath = FinalPathOf(entry);
    if (parentPath.empty() || entryPath.empty()) return true;
    const std::wstring expected = parentPath.back() == L'\\' ? parentPath + name : parentPath + L"\\" + name;
    return ::lstrcmpiW(expected.c_str(), entryPath.c_str()) != 0;
}

PACL DaclIn(const std::vector<BYTE>& descriptor) {
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    if (descriptor.empty() ||
        !::GetSecurityDescriptorDacl(const_cast<BYTE*>(descriptor.data()), &present, &dacl, &defaulted) ||
        !present) {
        return nullptr;
    }
    return dacl;
}

bool IsCreatorSid(const ACE_HEADER* header) {
    if (header->AceType != ACCESS_ALLOWED_ACE_TYPE && header->AceType != ACCESS_DENIED_ACE_TYPE) return false;
    const PSID sid = const_cast<DWORD*>(&reinterpret_cast<const ACCESS_ALLOWED_ACE*>(header)->SidStart);
    return ::IsWellKnownSid(sid, WinCreatorOwnerSid) || ::IsWellKnownSid(sid, WinCreatorGroupSid);
}

// Appends a copy of `ace` with other flags and mask.
void AppendAce(std::vector<std::vector<BYTE>>& aces, const ACE_HEADER* ace, BYTE flags, ACCESS_MASK mask) {
    std::vector<BYTE> copy(reinterpret_cast<const BYTE*>(ace), reinterpret_cast<const BYTE*>(ace) + ace->AceSize);
    reinterpret_cast<ACE_HEADER*>(copy.data())->AceFlags = flags;
    // Every ACE kind keeps its mask right after the header.
    std::memcpy(copy.data() + sizeof(ACE_HEADER), &mask, sizeof mask);
    aces.push_back(std::move(copy));
}

// What an entry inherits from one entry of its parent's DACL, as the system
// hands it down to a new object. A creator's entry is not turned into one
// for the owner: only its inheritable copy goes on.
void Inherit(std::vector<std::vector<BYTE>>& aces, const ACE_HEADER* ace, bool directory) {
    const BYTE flags = ace->AceFlags;
    const bool objects = flags & OBJECT_INHERIT_ACE, containers = flags & CONTAINER_INHERIT_ACE;
    const bool noPropagate = flags & NO_PROPAGATE_INHERIT_ACE;
    ACCESS_MASK mask = 0;
    std::memcpy(&mask, reinterpret_cast<const BYTE*>(ace) + sizeof(ACE_HEADER), sizeof mask);
    GENERIC_MAPPING mapping = {FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE, FILE_ALL_ACCESS};
    ACCESS_MASK mapped = mask;
    ::MapGenericMask(&mapped, &mapping);
    if (!directory) {
        if (objects && !IsCreatorSid(ace)) AppendAce(aces, ace, INHERITED_ACE, mapped);
        return;
    }
    const BYTE passedOn = noPropagate ? 0 : static_cast<BYTE>(flags & (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE));
    if (!containers) {
        if (!noPropagate) AppendAce(aces, ace, INHERITED_ACE | INHERIT_ONLY_ACE | OBJECT_INHERIT_ACE, mask);
        return;
    }
    // An entry whose rights need mapping, or a creator's, is split into the
    // directory's own and the one passed on.
    if (mapped == mask && !IsCreatorSid(ace)) {
        AppendAce(aces, ace, INHERITED_ACE | passedOn, mask);
        return;
    }
    if (!IsCreatorSid(ace)) AppendAce(aces, ace, INHERITED_ACE, mapped);
    if (passedOn) AppendAce(aces, ace, INHERITED_ACE | INHERIT_ONLY_ACE | passedOn, mask);
}

// Sets a DACL made of `aces`, not protected and marked as inherited
// automatically, through the handle; `stored` receives the descriptor set.
Error SetDacl(HANDLE handle, const std::vector<std::vector<BYTE>>& aces, std::vector<BYTE>& stored) {
    DWORD size = sizeof(ACL);
    for (const auto& ace : aces) size += static_cast<DWORD>(ace.size());
    size = (size + 3) & ~3u;
    std::vector<BYTE> acl(size);
    SECURITY_DESCRIPTOR descriptor;
    if (!::InitializeAcl(reinterpret_cast<PACL>(acl.data()), size, ACL_REVISION)) return ErrorFromWin32(::GetLastError());
    for (const auto& ace : aces) {
        if (!::AddAce(reinterpret_cast<PACL>(acl.data()), ACL_REVISION, MAXDWORD,
                      const_cast<BYTE*>(ace.data()), static_cast<DWORD>(ace.size()))) {
            return ErrorFromWin32(::GetLastError());
        }
    }
    if (!::InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) ||
        !::SetSecurityDescriptorDacl(&descriptor, TRUE, reinterpret_cast<PACL>(acl.data()), FALSE) ||
        !::SetSecurityDescriptorControl(&descriptor, SE_DACL_AUTO_INHERITED, SE_DACL_AUTO_INHERITED) ||
        !::SetKernelObjectSecurity(handle, DACL_SECURITY_INFORMATION, &descriptor)) {
        return ErrorFromWin32(::GetLastError());
    }
    DWORD length = 0;
    ::MakeSelfRelativeSD(&descriptor, nullptr, &length);
    stored.assign(length, 0);
    if (length == 0 || !::MakeSelfRelativeSD(&descriptor, stored.data(), &length)) stored.clear();
    return Error::None;
}

Error OpenToClose(const DirHandle& dir, const Name& name, ClosingHandle& entry, EntryInfo& info,
                  AccessList& access, DirHandle& directory) {
    info = {};
    access = {};
    directory.reset();
    entry.reset(new ClosingState);
    const NTSTATUS status = OpenRelative(dir->handle.Get(), name.wide, READ_CONTROL | FILE_READ_ATTRIBUTES, ShareAll,
                                         FILE_OPEN, FILE_OPEN_FOR_BACKUP_INTENT, nullptr, entry->handle);
    if (!NT_SUCCESS(status)) return ErrorFromStatus(status);
    const HANDLE handle = entry->handle.Get();
    // Only what the closing weighs: no owner is asked for.
    FILE_STANDARD_INFO standard{};
    bool ok = false;
    const bool link = HoldsLink(handle, ok);
    if (!ok || !::GetFileInformationByHandleEx(handle, FileStandardInfo, &standard, sizeof standard)) {
        return ErrorFromWin32(::GetLastError());
    }
    info.type = link ? EntryType::Link : standard.Directory ? EntryType::Directory : EntryType::File;
    info.nameCount = standard.NumberOfLinks;
    const bool self = name.wide.empty();
    const std::wstring path = self ? dir->path : Child(*dir, name.wide);
    if (!self && WineShowsLinksOnlyByName()) {
        bool byName = false;
        entry->followed = (KindByName(path, byName) == Error::None && byName) || WineFollowed(*dir, handle, name.wide);
        if (entry->followed) {
            info.type = EntryType::Link;
            return Error::None;
        }
    }
    entry->descriptor = DaclOf(handle);
    if (entry->descriptor.empty()) return ErrorFromWin32(::GetLastError());
    const Error error = AccessOfDescriptor(entry->descriptor.data(), access);
    if (error != Error::None || info.type != EntryType::Directory) return error;
    entry->directory = true;
    ScopedFileHandle inner;
    const NTSTATUS opened = OpenRelative(handle, ".", DirectoryAccess, ShareAll, FILE_OPEN,
                                         FILE_DIRECTORY_FILE | FILE_OPEN_FOR_BACKUP_INTENT, nullptr, inner);
    if (!NT_SUCCESS(opened)) return ErrorFromStatus(opened);
    directory.reset(new DirState);
    directory->handle.Reset(inner.Release());
    directory->path = path;
    return Error::None;
}

}  // namespace

Error OpenToClose(const DirHandle& dir, const std::string& name, ClosingHandle& entry, EntryInfo& info,
                  AccessList& access, DirHandle& directory) {
    return OpenToClose(dir, Named(name), entry, info, access, directory);
}

Error OpenToClose(const DirHandle& dir, const FindEntry& listed, ClosingHandle& entry, EntryInfo& info,
                  AccessList& access, DirHandle& directory) {
    return OpenToClose(dir, Listed(listed), entry, info, access, directory);
}

bool NameKept(const FindEntry& entry) {
    if (entry.listedName.empty()) return true;
    if (entry.name.find_first_of("\\/") != std::string::npos) return false;
    const std::wstring meant = WideName(entry.name);
    return meant.size() == entry.listedName.size() &&
           std::equal(meant.begin(), meant.end(), entry.listedName.begin());
}

Error CloseHeld(const ClosingHandle& entry, const std::vector<bool>& keep, const ClosingHandle* parent) {
    if (entry->followed) return Error::None;
    // The held object opened again, for changing its access: only what has
    // to change is asked for WRITE_DAC.
    ScopedFileHandle writable;
    const NTSTATUS reopened = OpenRelative(entry->handle.Get(), ".", WRITE_DAC, ShareAll, FILE_OPEN,
                                           FILE_OPEN_FOR_BACKUP_INTENT, nullptr, writable);
    if (!NT_SUCCESS(reopened)) return ErrorFromStatus(reopened);
    const HANDLE handle = writable.Get();
    if (!parent) {
        LocalMemory descriptor;
        if (!::ConvertStringSecurityDescriptorToSecurityDescriptorA(
                ProtectedDirectoryDescriptor, SDDL_REVISION_1, descriptor.Out(), nullptr) ||
            !::SetKernelObjectSecurity(handle, DACL_SECURITY_INFORMATION, descriptor.Get())) {
            return ErrorFromWin32(::GetLastError());
        }
        const auto* bytes = static_cast<const BYTE*>(descriptor.Get());
        entry->descriptor.assign(bytes, bytes + ::GetSecurityDescriptorLength(descriptor.Get()));
        return Error::None;
    }
    // The entry's own entries that stay, then what the closed parent hands down.
    std::vector<std::vector<BYTE>> aces;
    const PACL own = DaclIn(entry->descriptor);
    for (DWORD i = 0; own && i < own->AceCount && i < keep.size(); ++i) {
        void* ace = nullptr;
        if (!::GetAce(own, i, &ace)) return Error::Other;
        if (keep[i]) AppendAce(aces, static_cast<ACE_HEADER*>(ace), static_cast<ACE_HEADER*>(ace)->AceFlags,
                               reinterpret_cast<ACCESS_ALLOWED_ACE*>(ace)->Mask);
    }
    const PACL handedDown = DaclIn((*parent)->descriptor);
    for (DWORD i = 0; handedDown && i < handedDown->AceCount; ++i) {
        void* ace = nullptr;
        if (!::GetAce(handedDown, i, &ace)) return Error::Other;
        Inherit(aces, static_cast<ACE_HEADER*>(ace), entry->directory);
    }
    return SetDacl(handle, aces, entry->descriptor);
}

}  // namespace kd::platform
