// Test hooks: failures injected into the seam's calls, a stand-in token
// answer, and a callback at each step between a check and a use.
#pragma once

#include <functional>
#include <string>
#include "platform/error.h"

namespace kd::platform {

// ---- Fault injection (tests only) -------------------------------------------

// Lookup: asking what a name is or who owns it (InfoAt, InfoOf, ReadLinkAt,
// OpenDirectoryAt). Delete also covers RenameAt, which takes the old file's
// name away. Library: loading a system DLL at run time (Win32 only: CNG and
// crypt32, for hashing and signatures).
enum class FaultPoint { Open, Write, CreateDir, Delete, Close, ProcessPolicy, Read, Flush, Library, Lookup };
constexpr int FaultPointCount = static_cast<int>(FaultPoint::Lookup) + 1;  // Lookup stays last
// Makes calls at `point` fail with `error`: the `nth` next call (1 = the very
// next) and the `count` - 1 calls after it. ClearFaults removes every fault.
void InjectFault(FaultPoint point, int nth, Error error, int count = 1);
void ClearFaults();
// True when a fault injected at `point` since the last InjectFault for it
// has made a call fail: a sweep over n stops at the first n that does not.
bool FaultFired(FaultPoint point);

// What RunsElevated is told by the token: the system's own answer, or a
// stand-in.
enum class TokenAnswer { System, Elevated, NotElevated, QueryFails };
void SetTokenAnswer(TokenAnswer answer);

// The steps between a check and the use of what was checked: before each
// handle-based open, create, remove and list, and before a text conversion
// puts its converted copy in the target's place. A test's callback runs at each with the name acted on (empty
// for the directory itself), to swap that name; null removes it.
enum class Step { Open, Create, Remove, List, WriteBack };
using StepCallback = std::function<void(Step step, const std::string& name)>;
void SetStepCallback(StepCallback callback);
// Runs the callback, if any, for a step.
void AtStep(Step step, const std::string& name);

}  // namespace kd::platform
