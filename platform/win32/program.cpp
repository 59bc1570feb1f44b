// The running program on Windows: the path of its image, whether its token
// is elevated and whether it runs under Wine.
#include <windows.h>

#include <string>

#include "platform/fault_hook.h"
#include "platform/platform.h"
#include "platform/win32/handles.h"

namespace kd::platform {

std::string ProgramPath() {
    std::string buffer(MAX_PATH, '\0');
    for (;;) {
        DWORD length = ::GetModuleFileNameA(nullptr, buffer.data(),
                                            static_cast<DWORD>(buffer.size()));
        if (length == 0) return {};
        if (length < buffer.size()) {
            buffer.resize(length);
            return buffer;
        }
        buffer.resize(buffer.size() * 2);
    }
}

bool RunsElevated() {
    TOKEN_ELEVATION elevation{};
    bool answered = false;
    switch (detail::StandInToken()) {
    case TokenAnswer::System: {
        ScopedHandle<ObjectHandleTraits> token;
        DWORD size = 0;
        answered = ::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.Out()) &&
                   ::GetTokenInformation(token.Get(), TokenElevation, &elevation, sizeof elevation, &size);
        break;
    }
    case TokenAnswer::Elevated:
        answered = true;
        elevation.TokenIsElevated = 1;
        break;
    case TokenAnswer::NotElevated: answered = true; break;
    case TokenAnswer::QueryFails: break;
    }
    return answered && elevation.TokenIsElevated != 0;
}

bool IsWine() {
    HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
    return ntdll && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

}  // namespace kd::platform
