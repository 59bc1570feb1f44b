// ConvertTextFile: rewrites a file with CR LF line ends through a temporary
// file beside it, then copies the result back over the file.
#include <cstdio>
#include <memory>
#include <new>
#include <string>
#include <utility>

#include "package/package.h"
#include "script/format.h"
#include "script/line2.h"
#include "platform/platform.h"
#include "util/files.h"
#include "util/temporary_file.h"

namespace kd {

namespace {

// One read takes at most this size minus 2 bytes; longer lines are split.
constexpr int TextLineBufferSize = 65536;

enum class CopyBack { Done, TargetUntouched, TargetDamaged };

// Copies `source` over `target`, which is truncated and rewritten in place.
// Tells whether a failure came before or after the target was opened for
// writing, as only then may it be truncated or incomplete.
CopyBack CopyOver(const std::string& source, const std::string& target) {
    const Stream input = OpenFileShared(source.c_str(), "rb");
    if (!input) return CopyBack::TargetUntouched;
    Stream output = OpenFileShared(target.c_str(), "wb");
    if (!output) return CopyBack::TargetUntouched;
    if (!CopyStreamBytes(input.get(), output.get(), 0, -1)) return CopyBack::TargetDamaged;
    if (platform::CloseStream(std::move(output)) != 0) return CopyBack::TargetDamaged;
    return CopyBack::Done;
}

}  // namespace

bool KdPackage::ConvertTextFile(const std::string& target) {
    // Declared before the streams, so they are closed before the delete.
    const std::string temporaryPath = target + script::TemporarySuffix;
    TemporaryFile temporary(temporaryPath);

    // Made new: a leftover or a planted link at the name is removed as a name
    // and never written through.
    Stream output = CreateFreshFile(temporaryPath.c_str());
    if (!output) {
        errorText = "Cannot open temporary file " + temporaryPath;
        return false;
    }
    Stream input = OpenFileShared(target.c_str(), "r");
    if (!input) {
        errorText = "Cannot open file " + target;
        return false;
    }
    const std::unique_ptr<char[]> line(new (std::nothrow) char[TextLineBufferSize]);
    if (!line) {
        errorText = "Not enough memory";
        return false;
    }

    // Lines are counted by bytes, not up to a zero byte, so a zero byte is
    // copied like any other. One LF and then one CR give way to CR LF.
    int length = 0;
    int taken = 0;
    while ((taken = ReadLineBytes(line.get(), TextLineBufferSize, input.get(), length)) > 0) {
        line[length++] = '\r';
        line[length++] = '\n';
        const auto size = static_cast<std::size_t>(length);
        if (platform::WriteBytes(output.get(), line.get(), size) != size) {
            // No blank before the path: the message is kept exactly as shipped.
            errorText = "Cannot write file" + temporaryPath;
            return false;
        }
    }
    // A read error is not the end of the text: copying back what was read
    // so far would cut the file.
    if (taken < 0) {
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

}  // namespace kd
