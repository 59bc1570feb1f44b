// The installer's judgements on a script, each written once for the
// installer and kdpack: the names it refuses, the package names it reads,
// what would change its own copy of the script, names Windows takes for one,
// and the section writer kdpack packs with.
#pragma once

#include <cstdint>
#include <string>

#include "script/format.h"

namespace kd::script {

// The two packages the installer reads, by the role each plays.
enum class Role { Core, Window };
inline constexpr char CorePackage[] = "keldo_core.pkg";
inline constexpr char WindowPackage[] = "keldo_window64.pkg";
const char* PackageName(Role role);

// The file name the installer takes from a package path, which names its
// copy of the script in the destination: the text after the last "/" or "\",
// whichever comes later.
std::string PackageFileName(const std::string& packagePath);

// Why the installer refuses a "Name = " value, in the order it checks.
enum class NameRefusal {
    None,
    ClimbsUp,  // a level of dots and blanks with two dots or more
    Device,    // a level names a Windows device
    Absolute,  // starts at a root, where the name is used as written
    Drive,     // holds a ":" (drive or stream), where the name is used as written
};
// usedAsWritten: the name is not appended to a directory the script made
// (FILE, REMOVEFILE, EXEC and TEXTFILE before the first DIR).
NameRefusal RefusedName(const std::string& name, bool usedAsWritten);

// True for the Withsubdir value (as ParameterValue gives it) that removes
// subdirectories too.
bool WithSubdirectories(const std::string& value);

// Letter case as an NTFS volume compares names: each character of the code
// page upper-cased on its own (no folding of one character into two).
inline constexpr int AssumedCodePage = 1252;
std::string UpperCaseName(std::string name);

// A path below the destination as Windows resolves it: empty and "." levels
// dropped, trailing dots and blanks of each level dropped, letters upper-cased
// as above. Two paths with one key name one file.
std::string WindowsKey(const std::string& path);

// True when a FILE or TEXTFILE command of `name` in `directory` (below the
// destination, the DIR name; commands before the first DIR do not count)
// would write over or delete the installer's copy of the script of the
// package file `packageName`. The installer refuses such a package.
bool TouchesScriptCopy(Command command, const std::string& directory, const std::string& name,
                       const std::string& packageName);

// Section writers: a command and its "Name = " line; FILE with its size.
std::string Section(Command command, const std::string& name);
std::string FileSection(const std::string& name, std::uint64_t size);

}  // namespace kd::script
