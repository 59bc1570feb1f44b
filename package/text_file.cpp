// ConvertTextFile: rewrites a file with CR LF line ends through a temporary
// file beside it, then copies the result back over the file.
#include <cstdio>
#include <memory>
#include <new>
#include <string>
#include <utility>

#include "package/package.h"
#include "package/script_run.h"
#include "script/format.h"
#include "script/line2.h"
#include "platform/platform.h"
#include "util/files.h"
#include "util/temporary_file.h"

namespace kd::package {

namespace {

// One read takes at most this size minus 2 bytes; longer lines are split.
constexpr int TextLineBufferSize = 65536;

enum class CopyBack { Done, TargetUntouched, TargetDamaged };

// Copies `source` over `target`, which is truncated and rewritten in place.
// Tells whether a failure came before or after the target was opened for
// writing, as only then may it be truncated or incomplete.
CopyBack CopyOver(const std::string& source, const std::string& target) {
    const platform::Stream input = util::OpenFileShared(source.c_str(), "rb");
    if (!input) return CopyBack::TargetUntouched;
    platform::Stream output = util::OpenFileShared(target.c_str(), "wb");
    if (!output) return CopyBack::TargetUntouched;
    if (!util::CopyStreamBytes(input.get(), output.get(), 0, -1)) return CopyBack::TargetDamaged;
    if (platform::CloseStream(std::move(output)) != 0) return CopyBack::TargetDamaged;
    return CopyBack::Done;
}

enum class Lines { Done, WriteFailed, ReadFailed, NoMemory };

// Copies the lines of `input` to `output`, each ended with CR LF. Lines are
// counted by bytes, not up to a zero byte, so a zero byte is copied like any
// other. One LF and then one CR give way to CR LF.
Lines CopyLines(std::FILE* input, std::FILE* output) {
    const std::unique_ptr<char[]> line(new (std::nothrow) char[TextLineBufferSize]);
    if (!line) return Lines::NoMemory;
    int length = 0;
    int taken = 0;
    while ((taken = util::ReadLineBytes(line.get(), TextLineBufferSize, input, length)) > 0) {
        line[length++] = '\r';
        line[length++] = '\n';
        const auto size = static_cast<std::size_t>(length);
        if (platform::WriteBytes(output, line.get(), size) != size) return Lines::WriteFailed;
    }
    // A read error is not the end of the text: copying back what was read
    // so far would cut the file.
    return taken < 0 ? Lines::ReadFailed : Lines::Done;
}

// The temporary file of a conversion in place, removed through its
// directory's handle unless kept.
class TemporaryAt {
public:
    TemporaryAt(const platform::DirHandle& dir, std::string name) : dir(dir), name(std::move(name)) {}
    ~TemporaryAt() {
        if (!kept) platform::RemoveAt(dir, name, false);
    }
    TemporaryAt(const TemporaryAt&) = delete;
    TemporaryAt& operator=(const TemporaryAt&) = delete;
    void Keep() { kept = true; }

private:
    const platform::DirHandle& dir;
    std::string name;
    bool kept = false;
};

}  // namespace

bool KdPackage::ConvertTextFile(const std::string& target) {
    // Declared before the streams, so they are closed before the delete.
    const std::string temporaryPath = target + script::TemporarySuffix;
    util::TemporaryFile temporary(temporaryPath);

    // Made new: a leftover or a planted link at the name is removed as a name
    // and never written through.
    platform::Stream output = util::CreateFreshFile(temporaryPath.c_str());
    if (!output) {
        errorText = "Cannot open temporary file " + temporaryPath;
        return false;
    }
    platform::Stream input = util::OpenFileShared(target.c_str(), "r");
    if (!input) {
        errorText = "Cannot open file " + target;
        return false;
    }
    switch (CopyLines(input.get(), output.get())) {
    case Lines::Done:
        break;
    case Lines::NoMemory:
        errorText = "Not enough memory";
        return false;
    case Lines::WriteFailed:
        // No blank before the path: the message is kept exactly as shipped.
        errorText = "Cannot write file" + temporaryPath;
        return false;
    case Lines::ReadFailed:
        errorText = "Cannot open file " + target;
        return false;
    }
    input.reset();
    // Buffered bytes reach the disk only now; a short text must not be
    // copied back as if it were whole.
    if (platform::CloseStream(std::move(output)) != 0) {
        errorText = "Cannot write file" + temporaryPath;
        return false;
    }

    switch (CopyOver(temporaryPath, target)) {
    case CopyBack::Done:
        return true;
    case CopyBack::TargetDamaged:
        // The target may be cut short: the temporary file holds the only
        // complete text, so it stays.
        temporary.Keep();
        break;
    case CopyBack::TargetUntouched:
        break;
    }
    // Misspelt and without a blank on purpose: the message is kept exactly as shipped.
    errorText = "Cannot wricopyte file" + temporaryPath + " -> " + target;
    return false;
}

bool ConvertInPlace(const platform::DirHandle& dir, const std::string& name, std::FILE* target) {
    const std::string temporaryName = name + script::TemporarySuffix;
    // Made new: a leftover or a planted link at the name goes as a name.
    const platform::Error old = platform::RemoveAt(dir, temporaryName, false);
    if (old != platform::Error::None && old != platform::Error::NotFound) return false;
    platform::Error error = platform::Error::None;
    // Declared before the stream, so the stream is closed before the delete.
    TemporaryAt temporary(dir, temporaryName);
    platform::Stream converted =
        platform::OpenFileAt(dir, temporaryName, {platform::Access::ReadWrite, true, false}, error);
    if (!converted || CopyLines(target, converted.get()) != Lines::Done ||
        platform::FlushStream(converted.get()) != 0 || util::FileSeek(converted.get(), 0, SEEK_SET) != 0) {
        return false;
    }
    platform::AtStep(platform::Step::WriteBack, name);
    // From here the target may be cut short: on failure the temporary file
    // holds the only complete text, so it stays.
    if (platform::Truncate(target, 0) != platform::Error::None || util::FileSeek(target, 0, SEEK_SET) != 0 ||
        !util::CopyStreamBytes(converted.get(), target, 0, -1) || platform::FlushStream(target) != 0) {
        temporary.Keep();
        return false;
    }
    return true;
}

}  // namespace kd::package
