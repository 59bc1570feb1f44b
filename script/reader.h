// The commands of a script as the installer reads them, one line at a time:
// the header, line 2, section lines and the parameter lines after each. No
// I/O: whoever reads the script hands over each line (line end removed) and
// steps over FILE data itself. The installer and kdpack both read through it.
#pragma once

#include <cstdint>
#include <string>

#include "script/format.h"
#include "script/rules.h"

namespace kd::script {

// A command with its parameter lines read.
struct ScriptCommand {
    Command command = Command::None;
    std::string name;                      // the "Name = " value
    std::string sizeValue;                 // FILE: the "Size = " value
    std::int64_t size = 0;                 // FILE: as the installer reads it; 0 when past MaxSize
    bool sizeTooLarge = false;             // FILE: the size passes MaxSize
    bool withSubdirectories = false;       // RMDIR
    NameRefusal refusal = NameRefusal::None;
    bool usedAsWritten = false;            // a name before the first DIR, not below the destination

    // The installer refuses the package for this command alone.
    bool Refused() const { return refusal != NameRefusal::None || sizeTooLarge; }
    // FILE: the Size value is digits alone; otherwise the installer reads
    // its leading digits only.
    bool PlainSize() const {
        return !sizeValue.empty() && sizeValue.find_first_not_of("0123456789") == std::string::npos;
    }
};

// Why a command's name is not what the installer or Windows would make of it
// as written: the installer's refusal (command.refusal), or a level Windows
// would create otherwise, an absolute name, a file name that names none.
// Empty when nothing is wrong.
std::string NameFault(const ScriptCommand& command);

// RMDIR of the destination itself with its subdirectories: everything in the
// destination goes, whatever it holds.
bool ClearsDestination(const ScriptCommand& command);

class Reader {
public:
    enum class Step {
        Line,           // nothing to act on
        BadHeader,      // line 1 is not the header: the package is bad
        LineTwo,        // line 2 was read: its checks come before any command
        Unclosed,       // a "[" line without "]": skipped
        Unknown,        // a section of no command: skipped with the lines after it
        CommandRead,    // Current() holds a whole command
        MissingMarker,  // not the parameter line expected: the package is bad;
                        // the line was not taken, the reader is between commands
    };
    // Where the reading stands; the end of the script is normal only at Commands.
    enum class Stage { Header, LineTwo, Commands, Parameters };

    Step Take(const std::string& line);
    Stage At() const { return stage; }
    const ScriptCommand& Current() const { return current; }
    // Unclosed: the line normalised; Unknown: the section name.
    const std::string& Section() const { return section; }
    // MissingMarker, or the end at Parameters: the marker expected.
    const char* Expected() const;

    // True when a command of the current one's name would write over or
    // delete the installer's copy of the script of `packageName`.
    bool TouchesScriptCopy(const std::string& packageName) const;

private:
    Stage stage = Stage::Header;
    ScriptCommand current;
    std::size_t parametersRead = 0;
    std::string section;
    bool directoryRead = false;
    std::string directory;  // the last DIR's, backslashes, below the destination
};

}  // namespace kd::script
