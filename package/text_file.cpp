// ConvertTextFile: rewrites a file with CR LF line ends through a temporary
// file beside it, then copies the result back over the file.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "package/package.h"
#include "package/temporary_file.h"
#include "platform/platform.h"
#include "util/files.h"

namespace kd {

namespace {

// One read takes at most this size minus 2 bytes; longer lines are split.
constexpr std::size_t TextLineBufferSize = 65536;
constexpr std::size_t ReadBlockSize = 16384;

// Splits a stream into lines as the line reader of the script does (a line
// ends after its LF or after `limit` bytes), but counts every byte: a zero
// byte is text like any other and never ends a line or the file.
class LineSplitter {
public:
    LineSplitter(std::FILE* stream, char* block) : stream(stream), block(block) {}

    // Copies the next line, with its LF, into `line`; returns its length,
    // 0 at the end of the input or on a read error.
    std::size_t Next(char* line, std::size_t limit) {
        std::size_t length = 0;
        while (length < limit) {
            if (begin == end) {
                if (ended) break;
                begin = 0;
                end = std::fread(block, 1, ReadBlockSize, stream);
                if (end == 0) {
                    ended = true;
                    failed = std::ferror(stream) != 0;
                    break;
                }
            }
            const std::size_t available = std::min(end - begin, limit - length);
            const char* start = block + begin;
            const void* lineFeed = std::memchr(start, '\n', available);
            const std::size_t take =
                lineFeed ? static_cast<const char*>(lineFeed) - start + 1 : available;
            std::memcpy(line + length, start, take);
            length += take;
            begin += take;
            if (lineFeed) break;
        }
        return length;
    }

    bool Failed() const { return failed; }

private:
    std::FILE* stream;
    char* block;
    std::size_t begin = 0;
    std::size_t end = 0;
    bool ended = false;
    bool failed = false;
};

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
    if (std::fclose(output.release()) != 0) return CopyBack::TargetDamaged;
    return CopyBack::Done;
}

}  // namespace

bool KdPackage::ConvertTextFile(const std::string& target) {
    // Declared before the streams, so they are closed before the delete.
    TemporaryFile temporary(target + ".kd_temp");
    const std::string& temporaryPath = temporary.Path();

    Stream output = OpenFileShared(temporaryPath.c_str(), "w");
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
    const std::unique_ptr<char[]> block(new (std::nothrow) char[ReadBlockSize]);
    if (!line || !block) {
        errorText = "Not enough memory";
        return false;
    }

    LineSplitter splitter(input.get(), block.get());
    while (std::size_t length = splitter.Next(line.get(), TextLineBufferSize - 2)) {
        // One LF, then one CR, give way to a single CR LF.
        if (line[length - 1] == '\n') --length;
        if (length > 0 && line[length - 1] == '\r') --length;
        line[length++] = '\r';
        line[length++] = '\n';
        if (platform::WriteBytes(output.get(), line.get(), length) != length) {
            errorText = "Cannot write file" + temporaryPath;
            return false;
        }
    }
    // A read error is not the end of the text: copying back what was read
    // so far would cut the file.
    if (splitter.Failed()) {
        errorText = "Cannot open file " + target;
        return false;
    }
    input.reset();
    // Buffered bytes reach the disk only now; a short text must not be
    // copied back as if it were whole.
    if (std::fclose(output.release()) != 0) {
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
    errorText = "Cannot wricopyte file" + temporaryPath + " -> " + target;
    return false;
}

}  // namespace kd
