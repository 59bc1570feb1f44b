// The text file conversion: a file rewritten with CR LF line ends into a
// temporary file beside it, which then takes the file's place in one rename,
// all through the handle of the directory that holds it.
#include <cstdio>
#include <memory>
#include <new>
#include <string>
#include <utility>

#include "package/package.h"
#include "package/script_run.h"
#include "script/format.h"
#include "platform/platform.h"
#include "util/directories.h"
#include "util/files.h"
#include "util/temporary_file.h"

namespace kd::package {

namespace {

// One read takes at most this size minus 2 bytes; longer lines are split.
constexpr int TextLineBufferSize = 65536;

enum class Conversion { Done, NoTemporary, NoTarget, WriteFailed, ReadFailed, NoMemory, SwitchFailed };

// Copies the lines of `input` to `output`, each ended with CR LF. Lines are
// counted by bytes, not up to a zero byte, so a zero byte is copied like any
// other. One LF and then one CR give way to CR LF.
Conversion CopyLines(std::FILE* input, std::FILE* output) {
    const std::unique_ptr<char[]> line(new (std::nothrow) char[TextLineBufferSize]);
    if (!line) return Conversion::NoMemory;
    int length = 0;
    int taken = 0;
    while ((taken = util::ReadLineBytes(line.get(), TextLineBufferSize, input, length)) > 0) {
        line[length++] = '\r';
        line[length++] = '\n';
        const auto size = static_cast<std::size_t>(length);
        if (platform::WriteBytes(output, line.get(), size) != size) return Conversion::WriteFailed;
    }
    // A read error is not the end of the text: what was read so far would
    // cut the file.
    return taken < 0 ? Conversion::ReadFailed : Conversion::Done;
}

// Makes the temporary file `name` + ".kd_temp" new in `dir` (a leftover or a
// planted link at that name goes as a name), then takes the target from
// `openTarget` (null when it cannot be opened), converts it into the
// temporary file, gives that the target's access, closes both, and only then
// renames the converted copy over `name`, replacing whatever stands there,
// a link included, and writing through nothing. Nothing before the rename
// changes the target, so no read or write failure can cut it short, and a
// failed rename leaves the old text whole. The temporary file never outlives
// a failure.
template <typename OpenTarget>
Conversion ConvertBeside(const platform::DirHandle& dir, const std::string& name, OpenTarget&& openTarget) {
    const std::string temporaryName = name + script::TemporarySuffix;
    util::TemporaryAt temporary;
    platform::Stream converted = temporary.Create(dir, temporaryName, platform::Access::Write, InterruptedExit);
    if (!converted) return Conversion::NoTemporary;
    platform::Stream input = openTarget();
    if (!input) return Conversion::NoTarget;
    const Conversion lines = CopyLines(input.get(), converted.get());
    // Made private, so nobody else could open it while it was written; it
    // takes over who may read and write the target. A read-only target is
    // never replaced, and Wine would make the copy read-only too, so that it
    // could not be removed.
    platform::EntryInfo target;
    const bool access = lines == Conversion::Done &&
                        platform::InfoOfStream(input.get(), target) == platform::Error::None && !target.readOnly &&
                        platform::CopyAccess(input.get(), converted.get()) == platform::Error::None;
    // Windows renames nothing over a file still open.
    input.reset();
    if (lines != Conversion::Done) return lines;
    if (!access) return Conversion::SwitchFailed;
    // Buffered bytes reach the disk only now; a short text must not take the
    // target's place.
    if (platform::CloseStream(std::move(converted)) != 0) return Conversion::WriteFailed;
    platform::AtStep(platform::Step::WriteBack, name);
    if (platform::RenameAt(dir, temporaryName, name) != platform::Error::None) return Conversion::SwitchFailed;
    temporary.Keep();
    return Conversion::Done;
}

}  // namespace

// Through the handle of the directory that holds the target, as TEXTFILE
// converts: a link at the target is not opened, so not followed.
bool KdPackage::ConvertTextFile(const std::string& target) {
    const std::string temporaryPath = target + script::TemporarySuffix;
    platform::Error error = platform::Error::None;
    std::string name;
    const platform::DirHandle dir = util::OpenContainingDirectory(target, name, error);
    const Conversion result = !dir || name.empty() ? Conversion::NoTemporary : ConvertBeside(dir, name, [&] {
        return platform::OpenFileAt(dir, name, {platform::Access::Read, false, false}, error);
    });
    switch (result) {
    case Conversion::Done:
        return true;
    case Conversion::NoTemporary:
        errorText = "Cannot open temporary file " + temporaryPath;
        return false;
    case Conversion::NoTarget:
    case Conversion::ReadFailed:
        errorText = "Cannot open file " + target;
        return false;
    case Conversion::NoMemory:
        errorText = "Not enough memory";
        return false;
    case Conversion::WriteFailed:
        // No blank before the path: the message is kept exactly as shipped.
        errorText = "Cannot write file" + temporaryPath;
        return false;
    case Conversion::SwitchFailed:
        break;
    }
    // Misspelt and without a blank on purpose: the message is kept exactly as shipped.
    errorText = "Cannot wricopyte file" + temporaryPath + " -> " + target;
    return false;
}

bool ConvertInPlace(const platform::DirHandle& dir, const std::string& name, platform::Stream target) {
    return ConvertBeside(dir, name, [&] { return std::move(target); }) == Conversion::Done;
}

}  // namespace kd::package
