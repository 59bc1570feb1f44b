// The machine environment key in the Windows registry, and the broadcast that
// tells running programs that the environment changed.
#include <windows.h>

#include <string>

#include "platform/platform.h"
#include "platform/win32/handles.h"

namespace kd::platform {

// The registry's units are read into and written from char16_t strings.
static_assert(sizeof(wchar_t) == sizeof(char16_t));

namespace {

constexpr const wchar_t* EnvironmentKey =
    L"System\\CurrentControlSet\\Control\\Session Manager\\Environment";

// Value names are ASCII ("KELDO", "PATH").
std::wstring ValueName(const char* name) {
    std::wstring wide;
    for (const char* c = name; *c != '\0'; ++c) wide += static_cast<wchar_t>(static_cast<unsigned char>(*c));
    return wide;
}

}  // namespace

bool WriteEnvironmentRegistryValue(const char* name, const std::u16string& value, ValueType type) {
    ScopedRegistryKey key;
    wchar_t emptyClass[] = L"";
    DWORD disposition = 0;
    if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, EnvironmentKey, 0, emptyClass, REG_OPTION_NON_VOLATILE,
                          KEY_WRITE, nullptr, key.Out(), &disposition) != ERROR_SUCCESS) {
        return false;
    }
    // The stored length counts the terminating NUL that c_str() provides.
    ::RegSetValueExW(key.Get(), ValueName(name).c_str(), 0, static_cast<DWORD>(type),
                     reinterpret_cast<const BYTE*>(value.c_str()),
                     static_cast<DWORD>((value.size() + 1) * sizeof(char16_t)));
    return true;
}

RegistryRead ReadEnvironmentRegistryValue(const char* name, std::u16string& value, ValueType* type) {
    value.clear();
    ScopedRegistryKey key;
    LONG result = ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, EnvironmentKey, 0, KEY_QUERY_VALUE, key.Out());
    if (result == ERROR_FILE_NOT_FOUND) return RegistryRead::Missing;
    if (result != ERROR_SUCCESS) return RegistryRead::Failed;

    const std::wstring wideName = ValueName(name);
    // Ask for the size, then read; a value that grew in between is asked for again.
    for (int attempt = 0; attempt < 8; ++attempt) {
        DWORD size = 0;
        DWORD storedType = 0;
        result = ::RegQueryValueExW(key.Get(), wideName.c_str(), nullptr, &storedType, nullptr, &size);
        if (result == ERROR_FILE_NOT_FOUND) return RegistryRead::Missing;
        if (result != ERROR_SUCCESS) return RegistryRead::Failed;
        std::u16string data(size / sizeof(char16_t) + 1, u'\0');
        DWORD got = size;
        result = ::RegQueryValueExW(key.Get(), wideName.c_str(), nullptr, &storedType,
                                    reinterpret_cast<BYTE*>(data.data()), &got);
        if (result == ERROR_MORE_DATA) continue;
        if (result == ERROR_FILE_NOT_FOUND) return RegistryRead::Missing;
        if (result != ERROR_SUCCESS) return RegistryRead::Failed;
        // Data ending in half a unit has no text form: unreadable, so it is left alone.
        if (got % sizeof(char16_t) != 0 || got > size) return RegistryRead::Failed;
        data.resize(got / sizeof(char16_t));
        value = std::move(data);
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
