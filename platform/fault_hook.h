// Shared by both platform implementations: the test-only fault hook behind
// InjectFault. Each platform call site asks TakeFault(point) before calling
// the system, and fails with the returned error when it is not None.
#pragma once

#include "platform/platform.h"

namespace kd::platform::detail {

struct FaultSlot {
    int skip = 0;       // calls still to pass before failing
    int remaining = 0;  // failures left to deliver
    Error error = Error::None;
    bool fired = false;
};

inline FaultSlot& Slot(FaultPoint point) {
    static FaultSlot slots[FaultPointCount];
    return slots[static_cast<int>(point)];
}

inline Error TakeFault(FaultPoint point) {
    FaultSlot& slot = Slot(point);
    if (slot.remaining == 0) return Error::None;
    if (slot.skip > 0) {
        --slot.skip;
        return Error::None;
    }
    --slot.remaining;
    slot.fired = true;
    return slot.error;
}

inline void SetFault(FaultPoint point, int nth, Error error, int count) {
    FaultSlot& slot = Slot(point);
    slot.skip = nth > 1 ? nth - 1 : 0;
    slot.remaining = count > 0 ? count : 0;
    slot.error = error;
    slot.fired = false;
}

// The stand-in answer of the token, TokenAnswer::System when there is none.
inline TokenAnswer& StandInToken() {
    static TokenAnswer answer = TokenAnswer::System;
    return answer;
}

}  // namespace kd::platform::detail
