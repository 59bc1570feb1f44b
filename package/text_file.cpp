// ConvertTextFile: rewrites a file with CR LF line ends into a temporary
// file beside it, which then takes the file's place in one rename.
#include <cstdio>
#include <memory>
#include <new>
#include <string>
#include <utility>

#include "package/package.h"
#include "package/script_run.h"
#include "script/format.h"
#include "platform/platform.h"
#include "util/files.h"
#include "util/temporary_file.h"

namespace kd::package {

namespace {

// One read takes at most this size minus 2 bytes; longer lines are split.
constexpr int TextLineBufferSize = 65536;

enum class Conversion { Done, WriteFailed, ReadFailed, NoMemory, SwitchFailed };

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

// Converts `input` into `converted`, gives it the access of `input`, closes
// both, and only then calls `replace`, which gives the converted file the
// target's place in one step.
// Nothing before it changes the target, so no read or write failure can cut
// the target short, and a failed replace leaves the old text whole.
template <typename Replace>
Conversion ConvertThenReplace(platform::Stream input, platform::Stream converted, Replace&& replace) {
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
    return replace() == platform::Error::None ? Conversion::Done : Conversion::SwitchFailed;
}

}  // namespace

bool KdPackage::ConvertTextFile(const std::string& target) {
    const std::string temporaryPath = target + script::TemporarySuffix;
    util::TemporaryFile temporary(temporaryPath);

    // Made new: a leftover or a planted link at the name is removed as a name
    // and never written through.
    platform::Stream output = util::CreateFreshFile(temporaryPath.c_str(), true);
    if (!output) {
        errorText = "Cannot open temporary file " + temporaryPath;
        return false;
    }
    platform::Stream input = util::OpenFileShared(target.c_str(), "r");
    if (!input) {
        errorText = "Cannot open file " + target;
        return false;
    }
    switch (ConvertThenReplace(std::move(input), std::move(output), [&] {
        return platform::RenameReplacing(temporaryPath.c_str(), target.c_str());
    })) {
    case Conversion::Done:
        temporary.Keep();
        return true;
    case Conversion::NoMemory:
        errorText = "Not enough memory";
        return false;
    case Conversion::WriteFailed:
        // No blank before the path: the message is kept exactly as shipped.
        errorText = "Cannot write file" + temporaryPath;
        return false;
    case Conversion::ReadFailed:
        errorText = "Cannot open file " + target;
        return false;
    case Conversion::SwitchFailed:
        break;
    }
    // Misspelt and without a blank on purpose: the message is kept exactly as shipped.
    errorText = "Cannot wricopyte file" + temporaryPath + " -> " + target;
    return false;
}

bool ConvertInPlace(const platform::DirHandle& dir, const std::string& name, platform::Stream target) {
    const std::string temporaryName = name + script::TemporarySuffix;
    // Made new: a leftover or a planted link at the name goes as a name.
    util::TemporaryAt temporary;
    platform::Stream converted = temporary.Create(dir, temporaryName, platform::Access::Write, InterruptedExit);
    if (!converted) return false;
    // The rename replaces whatever stands at the name then, a link included,
    // and writes through nothing.
    const Conversion result = ConvertThenReplace(std::move(target), std::move(converted), [&] {
        platform::AtStep(platform::Step::WriteBack, name);
        return platform::RenameAt(dir, temporaryName, name);
    });
    if (result != Conversion::Done) return false;
    temporary.Keep();
    return true;
}

}  // namespace kd::package
