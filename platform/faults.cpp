// The test-only fault hook, and the stream calls that pass through it, the
// same for both platform implementations.
#include <cstdio>
#include <utility>

#include "platform/fault_hook.h"

namespace kd::platform {

void InjectFault(FaultPoint point, int nth, Error error, int count) {
    detail::SetFault(point, nth, error, count);
}

void ClearFaults() {
    for (int point = 0; point < FaultPointCount; ++point) {
        detail::SetFault(static_cast<FaultPoint>(point), 0, Error::None, 0);
    }
}

namespace {

StepCallback& Callback() {
    static StepCallback callback;
    return callback;
}

}  // namespace

void SetStepCallback(StepCallback callback) { Callback() = std::move(callback); }

void AtStep(Step step, const std::string& name) {
    if (Callback()) Callback()(step, name);
}

void SetTokenAnswer(TokenAnswer answer) { detail::StandInToken() = answer; }

bool FaultFired(FaultPoint point) { return detail::Slot(point).fired; }

int CloseStream(Stream stream) {
    if (!stream) return EOF;
    const int result = std::fclose(stream.release());
    return detail::TakeFault(FaultPoint::Close) != Error::None ? EOF : result;
}

std::size_t ReadBytes(std::FILE* stream, void* data, std::size_t size, bool& failed) {
    failed = false;
    if (size == 0) return 0;
    if (detail::TakeFault(FaultPoint::Read) != Error::None) {
        failed = true;
        return 0;
    }
    const std::size_t count = std::fread(data, 1, size, stream);
    failed = count < size && std::ferror(stream) != 0;
    return count;
}

int ReadByte(std::FILE* stream) {
    if (detail::TakeFault(FaultPoint::Read) != Error::None) return ReadError;
    const int c = std::getc(stream);
    return c == EOF && std::ferror(stream) ? ReadError : c;
}

int FlushStream(std::FILE* stream) {
    const int result = std::fflush(stream);
    return detail::TakeFault(FaultPoint::Flush) != Error::None ? EOF : result;
}

}  // namespace kd::platform
