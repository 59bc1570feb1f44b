// The operating-system seam: every call the installer makes to the system goes
// through these thin functions. win32/ calls the Windows functions named in each
// comment; posix/ is a stand-in that keeps the Windows meaning the installer
// relies on. No installer rule lives here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kd::platform {

// Portable form of the system's error codes. Numbers are stable.
enum class Error : int {
    None = 0,
    NotFound = 1,          // ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ENOENT, ENOTDIR
    AccessDenied = 2,      // ERROR_ACCESS_DENIED, EACCES, EPERM, EISDIR
    TooManyOpenFiles = 3,  // ERROR_TOO_MANY_OPEN_FILES, EMFILE, ENFILE
    NotEnoughMemory = 4,   // ERROR_NOT_ENOUGH_MEMORY, ENOMEM
    OutOfMemory = 5,       // ERROR_OUTOFMEMORY
    SharingViolation = 6,  // ERROR_SHARING_VIOLATION
    AlreadyExists = 7,     // ERROR_ALREADY_EXISTS, ERROR_FILE_EXISTS, EEXIST
    DiskFull = 8,          // ERROR_DISK_FULL, ENOSPC
    InvalidName = 9,       // ERROR_INVALID_NAME, ENAMETOOLONG
    Other = 10,
    IsLink = 11,           // a link where none is followed (ELOOP; a reparse point)
};

// Each implementation defines the state behind a search, a started process,
// the mutex and a digest, and deletes it out of line; portable code only holds
// the pointer.
struct FindState;
struct ProcessState;
struct MutexState;
struct HashState;
struct DirState;
struct KeyState;
struct ClosingState;
struct StateDeleter {
    void operator()(FindState* state) const;
    void operator()(DirState* state) const;
    void operator()(ProcessState* state) const;
    void operator()(MutexState* state) const;
    void operator()(HashState* state) const;
    void operator()(KeyState* state) const;
    void operator()(ClosingState* state) const;
};
template <typename State>
using StatePointer = std::unique_ptr<State, StateDeleter>;

// ---- Files -----------------------------------------------------------------

enum class Access { Read, Write, ReadWrite };
// CreateNew makes a new file and fails with AlreadyExists when the name exists
// in any form (file, directory, link, dangling link); it never follows a link.
// Win32: CREATE_NEW. POSIX: O_CREAT | O_EXCL | O_NOFOLLOW.
enum class Disposition { OpenExisting, CreateAlways, OpenAlways, CreateNew };

struct StreamCloser {
    void operator()(std::FILE* stream) const { std::fclose(stream); }
};
// A buffered stream that is closed when it goes out of scope.
using Stream = std::unique_ptr<std::FILE, StreamCloser>;

// How a file is opened. `append` sends every write to the end; `text`
// translates line ends (Windows only; the POSIX stand-in has no translation).
struct OpenMode {
    Access access = Access::Read;
    Disposition disposition = Disposition::OpenExisting;
    bool append = false;
    bool text = false;
    // A file this open creates can be read and written by its owner only
    // (POSIX: mode 0600; Win32: a protected descriptor granting only the
    // owner's rights).
    bool ownerOnly = false;
};

// Opens a file with full sharing (read, write, delete) and a handle that child
// processes do not inherit, then wraps it in a buffered stream whose stdio
// mode follows from `mode` ("r", "w", "a", "r+", "w+" or "a+", with "t" or "b"
// on Windows). Win32: CreateFileA, _open_osfhandle (append and text flags),
// _fdopen. Returns null on failure and sets `error` to the reason of the
// failed open; a handle that cannot become a stream is closed (error Other).
Stream OpenShared(const char* path, const OpenMode& mode, Error& error);

// Deletes one file, as the C run-time's remove() does on Windows (DeleteFileA):
// a read-only file is refused with AccessDenied.
Error EraseFile(const char* path);

// Removes a name as a name: a file, an empty directory, or a link of either
// kind itself, never what a link points to. A read-only file is refused with
// AccessDenied. Win32: DeleteFileA, or RemoveDirectoryA for a directory or a
// directory link (under Wine, DeleteFileA on a link to a file deletes the target).
Error RemoveName(const char* path);

// True when both paths name the same existing file (same volume and file
// index, or device and inode), however the paths are spelled.
bool SameFile(const char* first, const char* second);

// Win32: SetFileAttributesA(path, FILE_ATTRIBUTE_READONLY). Used by tests.
Error SetReadOnly(const char* path);

// Closes a finished output through the fault hook: 0, or EOF when buffered
// bytes could not be written (the stream is closed either way).
int CloseStream(Stream stream);

// fwrite through the fault hook: returns the number of bytes written.
std::size_t WriteBytes(std::FILE* stream, const void* data, std::size_t size);

// fread through the fault hook: the number of bytes read, fewer than `size`
// at the end of the file or after a read error, which sets `failed`.
std::size_t ReadBytes(std::FILE* stream, void* data, std::size_t size, bool& failed);

// getc through the fault hook: the byte (0 to 255), EOF at the end of the
// file, or ReadError after a read error.
constexpr int ReadError = -2;
int ReadByte(std::FILE* stream);

// fflush through the fault hook: 0, or EOF when buffered bytes could not be
// written.
int FlushStream(std::FILE* stream);

// Gives a finished file its final name, replacing a file of that name in one
// step. Win32: MoveFileExA with MOVEFILE_REPLACE_EXISTING. POSIX: rename.
// Only a regular file is replaced: a directory, link, device or pipe of that
// name is refused with AccessDenied and stays as it was, and so is a
// read-only file (Wine as root replaces one).
Error RenameReplacing(const char* from, const char* to);

// True when the stream is a terminal (a console), not a file or a pipe.
bool IsTerminal(std::FILE* stream);

// 64-bit tell and seek on a stream. Tell returns -1 on failure; Seek returns
// 0 on success, -1 on failure (origin SEEK_SET, SEEK_CUR or SEEK_END).
std::int64_t Tell(std::FILE* stream);
int Seek(std::FILE* stream, std::int64_t offset, int origin);

// ---- Directories -----------------------------------------------------------

// Win32: CreateDirectoryA(path, nullptr). Only the last level is created.
Error CreateDir(const char* path);
// Win32: RemoveDirectoryA. Fails unless the directory is empty; a directory
// link (junction, symbolic link) goes without touching what it points to.
Error RemoveDir(const char* path);

struct FindEntry {
    std::string name;  // the entry's name, without its directory
    bool isDirectory = false;
    bool isLink = false;  // a symbolic link or junction (Win32: a reparse point)
    bool isSpecial = false;  // POSIX: a FIFO, socket or device; never on Win32
    std::u16string listedName;  // Win32 ListAt: the name as listed (platform/listed_names.h)
};

// A directory search, closed when it goes out of scope (FindClose).
// Win32: FindFirstFileA / FindNextFileA. The pattern's last component may hold
// the wildcards * and ?, matched as Windows does (letter case ignored); a
// search of "dir\*" also returns the entries "." and "..".
class FindHandle {
public:
    // Starts the search (ending one under way); false when nothing matches or
    // it cannot start.
    bool First(const char* pattern, FindEntry& entry);
    // The next entry; false when there is none left.
    bool Next(FindEntry& entry);

private:
    StatePointer<FindState> state;
};

// Win32: GetCurrentDirectoryA. Empty when it cannot be read. Paths use "\".
std::string CurrentDirectory();

// ---- Links, owners and protection -------------------------------------------

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

// What ProtectProcess managed to turn on.
struct ProcessProtection {
    bool systemLibrariesOnly = false;  // SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32)
    bool redirectionTrust = false;     // SetProcessMitigationPolicy(ProcessRedirectionTrustPolicy)
};
// Limits later library loads to the system directory and, where the system
// offers it, refuses junctions that non-administrators made. Both calls are
// looked up at run time; a missing or failing one is reported, never fatal.
// POSIX: nothing to do, nothing reported.
ProcessProtection ProtectProcess();

// ---- Directory handles -------------------------------------------------------

// A directory held open: what is done relative to it happens in that very
// directory, whatever its name becomes meanwhile. Closed when it goes out of
// scope. Names given to the *At functions are one level, in the ANSI code
// page; Win32 gives them the meaning CreateFileA would (letter case ignored,
// trailing dots and blanks dropped).
using DirHandle = StatePointer<DirState>;

// Opens the directory `path` names, links followed: the start of a walk (a
// root, a drive, "." for the working directory). Null with `error` set.
DirHandle OpenDirectory(const char* path, Error& error);

// Holds the directory `dir` so that nobody can delete or rename it while
// `pin` lives. Win32: the directory opened again through its handle for
// listing (an open without data access takes no part in sharing), without
// FILE_SHARE_DELETE; a handle someone opened earlier with DELETE access makes
// it fail with SharingViolation, and no such handle can be opened while it is
// held (the installer's own removal of it too). POSIX: nothing can prevent a
// rename, so nothing is held (None, `pin` null).
Error PinDirectory(const DirHandle& dir, DirHandle& pin);

// Opens the level `name` of `dir` as a directory without following a link:
// a link gives IsLink, a file NotFound. POSIX: openat with O_NOFOLLOW |
// O_DIRECTORY. Win32: NtCreateFile relative to `dir` with
// FILE_OPEN_REPARSE_POINT and the handle's FileAttributeTagInfo; as Wine
// opens a link's target that way, the name is also looked at by its path.
DirHandle OpenDirectoryAt(const DirHandle& dir, const std::string& name, Error& error);

enum class EntryType { Missing, Directory, File, Link, Special };
struct EntryInfo {
    EntryType type = EntryType::Missing;
    Account owner = Account::Other;
    bool readOnly = false;
    unsigned nameCount = 0;     // hard links
    // Identity of the file: its volume and its identifier there. Win32: the
    // volume serial and the 128-bit FILE_ID_INFO where the file system gives
    // one (ReFS uses all of it), else the 32-bit serial and 64-bit index with
    // indexHigh 0; POSIX: device and inode. Compare with SameIdentity.
    std::uint64_t volume = 0, index = 0, indexHigh = 0;
};
// True when `info` holds an identity (a missing entry has none).
inline bool HasIdentity(const EntryInfo& info) { return info.index != 0 || info.indexHigh != 0; }
// True when both describe the same file; an entry without identity is no other.
inline bool SameIdentity(const EntryInfo& a, const EntryInfo& b) {
    return HasIdentity(a) && a.volume == b.volume && a.index == b.index && a.indexHigh == b.indexHigh;
}
// What `name` is inside `dir`, a link not followed (POSIX: fstatat with
// AT_SYMLINK_NOFOLLOW; Win32: the name opened with FILE_OPEN_REPARSE_POINT and
// asked through the handle). Missing with None when absent; any other
// failure is returned.
Error InfoAt(const DirHandle& dir, const std::string& name, EntryInfo& info);
// The same for the directory the handle holds (fstat; the handle itself).
Error InfoOf(const DirHandle& dir, EntryInfo& info);
// The same for an open stream's file.
Error InfoOfStream(std::FILE* stream, EntryInfo& info);
// Gives the file of `to` (made by this process, private or owner-only) the
// access the file of `from` grants: its permission bits less others' write
// (POSIX; the read-only attribute is not copied), its DACL (Windows).
Error CopyAccess(std::FILE* from, std::FILE* to);

// The target of the link `name` in `dir`, as a path (POSIX: readlinkat;
// Win32: FSCTL_GET_REPARSE_POINT, a junction's or symbolic link's
// substitute name without its "\??\" prefix, a volume's as "\\?\Volume{...}\").
Error ReadLinkAt(const DirHandle& dir, const std::string& name, std::string& target);

// Creates the directory `name` in `dir`. `closed`: non-administrators cannot
// write it from the moment it exists (Win32: the descriptor
// D:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU), nothing
// inherited from the parent); otherwise it takes its descriptor from `dir`
// (POSIX: mode 0755 either way, whatever the umask).
Error CreateDirectoryAt(const DirHandle& dir, const std::string& name, bool closed);

// Removes `name` from `dir` as a name: a file, an empty directory (`directory`
// true) or a link itself. A read-only file is refused with AccessDenied.
// POSIX: unlinkat. Win32: opened with FILE_OPEN_REPARSE_POINT and deleted
// through NtSetInformationFile(FileDispositionInformationEx) with POSIX
// semantics, so the name goes while others hold the file open; where that is
// refused (older systems, FAT, Wine 8), SetFileInformationByHandle
// (FileDispositionInfo).
Error RemoveAt(const DirHandle& dir, const std::string& name, bool directory);

// Clears the read-only attribute of the file `name` in `dir`, through a
// handle opened without following a link.
Error SetNormalAttributesAt(const DirHandle& dir, const std::string& name);

// How a file is opened inside a directory: never through a link at the
// name (IsLink), and never a directory or, POSIX, a FIFO or device.
// `createNew` makes it exclusively; `privateFile` then closes it to everyone
// but the running account (POSIX mode 0600; Win32 an owner-only descriptor
// and no write or delete sharing); otherwise a new file takes its descriptor
// from `dir` (POSIX 0644). Every open shares reading.
struct OpenAtMode {
    Access access = Access::Read;
    bool createNew = false;
    bool privateFile = false;
};
Stream OpenFileAt(const DirHandle& dir, const std::string& name, const OpenAtMode& mode,
                  Error& error);

// The entries of `dir` but "." and "..", in the file system's order, a link
// reported as a link (POSIX: fdopendir on a new handle of the directory;
// Win32: GetFileInformationByHandleEx with FileIdBothDirectoryInfo).
Error ListAt(const DirHandle& dir, std::vector<FindEntry>& entries);

// Who may change a directory, as the entries of its access list; the rules
// that judge them are portable. POSIX: the group and other write bits stand
// for inherited entries granting Other everything, and for the delete-child
// right unless the sticky bit is set.
// The file access rights the destination judgement weighs.
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
Error AccessOf(const DirHandle& dir, AccessList& list);
// The access list of the entry `name` of `dir` itself, a link not followed.
// POSIX: empty (a link's own bits mean nothing: its directory decides who
// may remove it). Win32: opened with FILE_OPEN_REPARSE_POINT for
// READ_CONTROL, then GetSecurityInfo.
Error AccessAt(const DirHandle& dir, const std::string& name, AccessList& list);

// One entry held through its own handle while the closing of a directory
// judges and changes its access (trust/closing.h walks and decides).
using ClosingHandle = StatePointer<ClosingState>;

// Opens `name` of `dir` ("." for `dir` itself) as itself, a link never
// followed, to read and change its access. `info` describes it; `access` is
// its access list, entry by entry (POSIX: the group and other write bits as
// one inherited entry granting Other). A directory that is not a link is
// also opened as `directory`, for the walk below it. POSIX: anything but a
// directory is opened only by CloseHeld, and changed only if it is still what
// was judged. Win32: NtCreateFile relative to `dir` with
// FILE_OPEN_REPARSE_POINT for READ_CONTROL (WRITE_DAC by CloseHeld, opening
// the held object again through its handle); under Wine, which opens a Unix
// link's target, an entry whose handle names another path than its own is
// reported as a Link.
Error OpenToClose(const DirHandle& dir, const std::string& name, ClosingHandle& entry, EntryInfo& info,
                  AccessList& access, DirHandle& directory);

// Closes the held entry to others through its handle. With `parent` null (the
// directory the closing starts at): Win32 the protected descriptor of a
// closed new directory; otherwise the entry keeps the explicit entries of its
// access list that `keep` marks (same order) and gains what it inherits from
// `parent`'s access as last read or set, flagged inherited, set with
// SetKernelObjectSecurity (a link as itself; a link Wine followed is left
// alone). POSIX: the group and other write bits are cleared (a link has none).
Error CloseHeld(const ClosingHandle& entry, const std::vector<bool>& keep, const ClosingHandle* parent);

// ---- Replacing a file inside a directory -------------------------------------

// Gives the file `from` of `dir` the name `to` in `dir` in one step: what
// stood at `to` stays whole until then, and the new file is whole after.
// Neither name is followed as a link: a link at `from` is refused (IsLink),
// one at `to` is replaced itself. A directory or a read-only file at `to` is
// refused with AccessDenied; Windows without POSIX semantics also refuses a
// `to` that is still open (AccessDenied, Wine too). Fails at
// FaultPoint::Delete. POSIX: renameat. Win32: `from` opened with
// FILE_OPEN_REPARSE_POINT for DELETE, then NtSetInformationFile with `dir` as
// the root directory: FileRenameInformationEx with POSIX semantics and
// replace-if-exists, or where that is refused (older systems, FAT, Wine 8)
// FileRenameInformation with ReplaceIfExists.
Error RenameAt(const DirHandle& dir, const std::string& from, const std::string& to);

// ---- Environment and registry (machine-wide environment values) ---------------

// Registry values are read and written as 16-bit text units: UTF-16 on
// Windows (the wide registry calls, so any Unicode text survives, lone
// surrogates included); on the POSIX stand-in each stored byte is one unit
// (0 to 255), so values keep their byte values.

// Value types as the registry names them; a value read may hold any other
// number (REG_MULTI_SZ is 7).
enum class ValueType { String = 1 /* REG_SZ */, ExpandString = 2 /* REG_EXPAND_SZ */ };

// POSIX stand-in: the values live in a small text file named by the
// environment variable KD_REGISTRY_FILE; without it the key cannot be opened,
// so no run ever touches a real system file.

// Writes a value under HKLM\System\CurrentControlSet\Control\Session
// Manager\Environment, the key opened for writing with RegCreateKeyExW
// (KEY_WRITE) and closed again; RegSetValueExW stores the units and a
// terminating NUL. Returns false when the key cannot be opened (and, on the
// stand-in, for a unit above 255, which no stored byte stands for); the write
// itself is not checked, as the installer does not check it.
bool WriteEnvironmentRegistryValue(const char* name, const std::u16string& value, ValueType type);

enum class RegistryRead { Ok, Missing, Failed };
// Reads a value of that key whole, whatever its length and type (key opened
// with RegOpenKeyExW for KEY_QUERY_VALUE; size asked for first, then read
// with RegQueryValueExW). `value` receives every stored unit, terminating and
// inner NULs included. Missing: the key or value does not exist. Failed: it
// exists but cannot be read, or (Windows) its data is an odd number of bytes.
RegistryRead ReadEnvironmentRegistryValue(const char* name, std::u16string& value,
                                          ValueType* type = nullptr);

// Win32: SendMessageTimeoutA(HWND_BROADCAST, WM_SETTINGCHANGE, 0, "Environment",
// SMTO_ABORTIFHUNG, 5000, nullptr). POSIX: does nothing.
void BroadcastEnvironmentChange();

// ---- Text and paths ---------------------------------------------------------

// Text in the ANSI code page as registry units. Win32: MultiByteToWideChar
// with CP_ACP. POSIX: each byte becomes one unit.
std::u16string WidenAnsi(const std::string& text);

// True when a path that starts with a single "\" names one place whatever the
// current drive: false on Windows (it is relative to the current drive's
// root), true on the POSIX stand-in, whose "\" is the root of the only tree.
bool RootedPathIsFull();

// ---- Processes -------------------------------------------------------------

// A started process; its handles are closed when it goes out of scope.
class Process {
public:

    // Win32: CreateProcessA(nullptr, commandLine, nullptr, nullptr, FALSE,
    // NORMAL_PRIORITY_CLASS, nullptr, workingDirectory, STARTUPINFOA with
    // STARTF_USESHOWWINDOW and SW_HIDE, ...). POSIX: the command line is split
    // into arguments as the Windows C run-time does and started with posix_spawn.
    // False when the process cannot be created.
    bool Start(const std::string& commandLine, const std::string& workingDirectory);

    // Win32: GetExitCodeProcess. False when the code cannot be read; while the
    // process runs the code is StillActive.
    bool ExitCode(std::uint32_t& code);

    // True once the process has ended (Win32: WaitForSingleObject with no
    // wait). Tells a process that ended with the code StillActive from one
    // that still runs.
    bool HasEnded();

    // Win32: TerminateProcess with the given exit code.
    void Terminate(std::uint32_t code);

private:
    StatePointer<ProcessState> state;
};

constexpr std::uint32_t StillActive = 259;

// ---- Mutex -----------------------------------------------------------------

// An unnamed mutex, released and closed when it goes out of scope (Win32:
// ReleaseMutex then CloseHandle; a mutex not owned is ignored).
using Mutex = StatePointer<MutexState>;

// Win32: CreateMutexA(nullptr, FALSE, nullptr); null on failure.
Mutex CreateUnnamedMutex();

// ---- This program ----------------------------------------------------------

// The path the program was started as (argv[0] form); used by tests to run
// their own binary as a child process.
std::string ProgramPath();

// True when this process runs with an elevated administrator's token. Win32:
// GetTokenInformation(TokenElevation) on the process token; a query that
// fails counts as not elevated. POSIX: always, as the stand-in stands for an
// elevated run. A stand-in answer set by SetTokenAnswer comes first.
bool RunsElevated();

// True when the Windows build runs under Wine (tests use it to mark the few
// cases where Wine as root differs from Windows; the handle layer works around them).
bool IsWine();

// ---- Interrupts ----------------------------------------------------------------

// Files to remove when the user interrupts the process (Ctrl-C; POSIX:
// SIGINT, SIGTERM, SIGHUP, SIGQUIT; Win32: a console control handler for Ctrl-C, Ctrl-Break and a
// closed console); the process then ends with `exitCode`. The path is copied
// into fixed storage so that the removal allocates nothing (POSIX: the signal
// handler calls only unlink and _exit). Returns the slot that holds it, or -1
// when all InterruptSlots are taken or the path is 2048 bytes or longer.
constexpr int InterruptSlots = 4;
int RemoveOnInterrupt(const char* path, int exitCode);
// The same for the file `name` of `dir`, open as `file`, removed through a
// handle: POSIX unlinkat on the directory's descriptor; Win32 the file's own
// handle (made with DELETE access by OpenFileAt for a private new file)
// marked for deletion, as a name would fail for a file shared with nobody.
// `dir` and `file` must outlive the slot.
int RemoveOnInterruptAt(const DirHandle& dir, const std::string& name, std::FILE* file, int exitCode);
// Frees a slot of RemoveOnInterrupt (-1 is ignored).
void ForgetOnInterrupt(int slot);

// ---- Hashing -----------------------------------------------------------------

// SHA-256 of bytes given in pieces. Win32: CNG (BCryptOpenAlgorithmProvider,
// BCryptCreateHash, BCryptHashData, BCryptFinishHash). POSIX: libcrypto's EVP
// digest interface.
class Sha256 {
public:
    static constexpr std::size_t DigestSize = 32;

    Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    void Update(const void* data, std::size_t size);
    // The digest of everything given since construction or the last Finish;
    // the object then starts a new digest. False when the system failed at
    // any step since then (the digest is not to be used).
    bool Finish(unsigned char (&digest)[DigestSize]);

private:
    // Begins a new digest; false when the system cannot.
    bool Start();
    StatePointer<HashState> state;
    bool failed = false;
};

// ---- Signatures ---------------------------------------------------------------

// ECDSA on curve P-256 over a SHA-256 digest. A signature is r then s, 32
// bytes each, big-endian (the IEEE P1363 form CNG uses).
constexpr std::size_t SignatureSize = 64;

// A public key, parsed by the system's own decoders.
class PublicKey {
public:
    // Parses `pem`, a SubjectPublicKeyInfo in PEM, and keeps the key when it
    // is a P-256 key. Win32: CryptStringToBinaryA, CryptDecodeObjectEx
    // (X509_PUBLIC_KEY_INFO), CryptImportPublicKeyInfoEx2. POSIX:
    // PEM_read_bio_PUBKEY. False for any other text or key.
    bool Load(const std::string& pem);
    // The key's SubjectPublicKeyInfo in DER; empty until a Load succeeded.
    const std::string& Der() const { return der; }
    // True when `signature` is this key's signature on `digest`; false for
    // any other signature and before a successful Load. Win32:
    // BCryptVerifySignature. POSIX: EVP_PKEY_verify.
    bool Verify(const unsigned char (&digest)[Sha256::DigestSize],
                const unsigned char (&signature)[SignatureSize]) const;

private:
    StatePointer<KeyState> state;
    std::string der;
};

enum class KeyResult {
    Ok = 0,
    Unavailable = 1,  // this build cannot use private keys
    Encrypted = 2,    // the private key wants a pass phrase (never asked for)
    NotAKey = 3,      // not a P-256 private key in PEM
    Failed = 4,       // the library failed
};

// Signs `digest` with a P-256 private key in PEM, PKCS#8 or SEC1. POSIX:
// PEM_read_bio_PrivateKey with a pass-phrase callback that declines, then
// EVP_PKEY_sign. Win32: Unavailable (Wine's crypt32 cannot decode EC private
// keys, so no call could be tested).
KeyResult SignDigest(const std::string& privatePem,
                     const unsigned char (&digest)[Sha256::DigestSize],
                     unsigned char (&signature)[SignatureSize]);

// A new P-256 key pair: the private key in PKCS#8 PEM, the public key as a
// SubjectPublicKeyInfo in PEM. POSIX: EVP_PKEY_Q_keygen. Win32: Unavailable.
KeyResult NewKeyPair(std::string& privatePem, std::string& publicPem);

// ---- Fault injection (tests only) -------------------------------------------

// Lookup: asking what a name is or who owns it (InfoAt, InfoOf, ReadLinkAt,
// OpenDirectoryAt). Delete also covers RenameAt, which takes the old file's
// name away. Library: loading a system DLL at run time (Win32 only: CNG and
// crypt32, for hashing and signatures).
enum class FaultPoint { Open, Write, CreateDir, Delete, Close, ProcessPolicy, Read, Flush, Library, Lookup };
constexpr int FaultPointCount = static_cast<int>(FaultPoint::Lookup) + 1;  // Lookup stays last
// Makes calls at `point` fail with `error`: the `nth` next call (1 = the very
// next) and the `count` - 1 calls after it. ClearFaults removes every fault.
void InjectFault(FaultPoint point, int nth, Error error, int count = 1);
void ClearFaults();
// True when a fault injected at `point` since the last InjectFault for it
// has made a call fail: a sweep over n stops at the first n that does not.
bool FaultFired(FaultPoint point);

// What RunsElevated is told by the token: the system's own answer, or a
// stand-in.
enum class TokenAnswer { System, Elevated, NotElevated, QueryFails };
void SetTokenAnswer(TokenAnswer answer);

// The steps between a check and the use of what was checked: before each
// handle-based open, create, remove and list, and before a text conversion
// puts its converted copy in the target's place. A test's callback runs at each with the name acted on (empty
// for the directory itself), to swap that name; null removes it.
enum class Step { Open, Create, Remove, List, WriteBack };
using StepCallback = std::function<void(Step step, const std::string& name)>;
void SetStepCallback(StepCallback callback);
// Runs the callback, if any, for a step.
void AtStep(Step step, const std::string& name);

}  // namespace kd::platform
