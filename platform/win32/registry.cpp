// The machine environment key in the Windows registry, and the broadcast that
// tells running programs that the environment changed.
#include <windows.h>

#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/win32/handles.h"

namespace kd::platform {

namespace {

constexpr const char* EnvironmentKey = "System\\CurrentControlSet\\Control\\Session Manager\\Environment";

}  // namespace

bool WriteEnvironmentRegistryValue(const char* name, const std::string& value, ValueType type) {
    ScopedRegistryKey key;
    char emptyClass[] = "";
    DWORD disposition = 0;
    if (::RegCreateKeyExA(HKEY_LOCAL_MACHINE, EnvironmentKey, 0, emptyClass, REG_OPTION_NON_VOLATILE,
                          KEY_WRITE, nullptr, key.Out(), &disposition) != ERROR_SUCCESS) {
        return false;
    }
    // The stored length counts the terminating NUL that c_str() provides.
    ::RegSetValueExA(key.Get(), name, 0, static_cast<DWORD>(type),
                     reinterpret_cast<const BYTE*>(value.c_str()),
                     static_cast<DWORD>(value.size() + 1));
    return true;
}

RegistryRead ReadEnvironmentRegistryValue(const char* name, std::string& value, ValueType* type) {
    value.clear();
    ScopedRegistryKey key;
    LONG result = ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, EnvironmentKey, 0, KEY_QUERY_VALUE, key.Out());
    if (result == ERROR_FILE_NOT_FOUND) return RegistryRead::Missing;
    if (result != ERROR_SUCCESS) return RegistryRead::Failed;

    // Ask for the size, then read; a value that grew in between is asked for again.
    for (int attempt = 0; attempt < 8; ++attempt) {
        DWORD size = 0;
        DWORD storedType = 0;
        result = ::RegQueryValueExA(key.Get(), name, nullptr, &storedType, nullptr, &size);
        if (result == ERROR_FILE_NOT_FOUND) return RegistryRead::Missing;
        if (result != ERROR_SUCCESS) return RegistryRead::Failed;
        std::vector<char> data(static_cast<std::size_t>(size) + 1, '\0');
        DWORD got = size;
        result = ::RegQueryValueExA(key.Get(), name, nullptr, &storedType,
                                    reinterpret_cast<BYTE*>(data.data()), &got);
        if (result == ERROR_MORE_DATA) continue;
        if (result == ERROR_FILE_NOT_FOUND) return RegistryRead::Missing;
        if (result != ERROR_SUCCESS) return RegistryRead::Failed;
        // The text ends at its first NUL, stored or not.
        data[got < size ? got : size] = '\0';
        value.assign(data.data());
        if (type != nullptr) *type = static_cast<ValueType>(storedType);
        return RegistryRead::Ok;
    }
    return RegistryRead::Failed;
}

void BroadcastEnvironmentChange() {
    ::SendMessageTimeoutA(HWND_BROADCAST, WM_SETTINGCHANGE, 0,
                          reinterpret_cast<LPARAM>("Environment"), SMTO_ABORTIFHUNG, 5000, nullptr);
}

}  // namespace kd::platform
