// What the link and protection tests need of the system beyond plain files:
// links planted as another user would, names given away, and who may write a
// directory. Natively through POSIX calls; under Wine through the Unix tools,
// since Wine shows Unix links as Windows links.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace kd::test {

// True when this run can make links and give names to another user: natively
// as root; under Wine when Wine runs as root. Never on a real Windows.
bool CanPlantLinks();

// Makes `link` a symbolic link to `target`. False on failure.
bool MakeLink(const std::string& target, const std::string& link);

// Makes `link` a second name (hard link) of the file `target`, or a FIFO
// (natively only). False on failure.
bool MakeHardLink(const std::string& target, const std::string& link);
bool MakeFifo(const std::string& path);
// Writes or removes a file at a UTF-8 path as it is spelled, a trailing dot
// included (Windows: the "\\?\" form). False on failure.
bool WriteNamedFile(const std::string& path, const std::string& content);
bool RemoveNamedFile(const std::string& path);

// Gives `path` to another user (uid 4242). Natively the name itself (a link,
// not its target); under Wine what it names, as Wine reports a link's
// target's owner. False on failure.
bool GiveToOtherUser(const std::string& path);

// Lets everyone write what `path` names (mode 0777; under Wine through the
// Unix tool, which Wine then shows as entries granting Everyone). False on
// failure.
bool OpenToOthers(const std::string& path);

// What stands at `path`, a link at its last level not followed: nothing, a
// link, or anything else. A name that cannot be looked at for another reason
// than its absence reads as a Link. Under Wine a symbolic link to a file
// shows no reparse point: it reads as Plain.
enum class NameKind { Missing, Plain, Link };
NameKind KindOfName(const std::string& path);

// True when another user (uid 4242) can open the file for writing; natively
// only (false on Windows).
bool OtherUserCanWrite(const std::string& path);

// Who besides the trusted accounts may write the directory: on Windows the
// SIDs of the allowing entries with any write right (or "no DACL"), natively
// "group" and "others" for their write bits. Empty when nobody else may.
std::vector<std::string> OtherWriters(const std::string& path);

// The running account's SID as text ("S-1-5-…") on Windows; empty natively.
std::string RunningAccountSid();

// Natively: runs `work` in a child process, sends it `signal` once `ready`
// holds (checked every millisecond, for at most 10 s), and gives its exit
// status (-1 when it could not be run or ended otherwise). Not on Windows.
int InterruptChild(const std::function<void()>& work, const std::function<bool()>& ready, int signal);

// Natively sets the process's umask and returns the previous one; does
// nothing on Windows.
unsigned SetUmask(unsigned mask);

}  // namespace kd::test
