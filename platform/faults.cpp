// The test-only fault hook, the same for both platform implementations.
#include <cstdio>
#include <utility>

#include "platform/fault_hook.h"

namespace kd::platform {

void InjectFault(FaultPoint point, int nth, Error error, int count) {
    detail::SetFault(point, nth, error, count);
}

void ClearFaults() {
    for (FaultPoint point : {FaultPoint::Open, FaultPoint::Write, FaultPoint::CreateDir,
                             FaultPoint::Delete, FaultPoint::Close,
                             FaultPoint::ProcessPolicy, FaultPoint::Lookup}) {
        detail::SetFault(point, 0, Error::None, 0);
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

int CloseStream(Stream stream) {
    if (!stream) return EOF;
    const int result = std::fclose(stream.release());
    return detail::TakeFault(FaultPoint::Close) != Error::None ? EOF : result;
}

}  // namespace kd::platform
