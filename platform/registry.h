// The machine-wide environment values (the registry on Windows, a file on
// the stand-in), their broadcast, and text as registry units.
#pragma once

#include <string>

namespace kd::platform {

// ---- Environment and registry (machine-wide environment values) ---------------

// Registry values are read and written as 16-bit text units: UTF-16 on
// Windows (the wide registry calls, so any Unicode text survives, lone
// surrogates included); on the POSIX stand-in each stored byte is one unit
// (0 to 255), so values keep their byte values.

// Value types as the registry names them; a value read may hold any other
// number (REG_MULTI_SZ is 7).
enum class ValueType { String = 1 /* REG_SZ */, ExpandString = 2 /* REG_EXPAND_SZ */ };

// POSIX stand-in: the values live in a small text file named by the
// environment variable KD_REGISTRY_FILE; without it the key cannot be opened,
// so no run ever touches a real system file.

// Writes a value under HKLM\System\CurrentControlSet\Control\Session
// Manager\Environment, the key opened for writing with RegCreateKeyExW
// (KEY_WRITE) and closed again; RegSetValueExW stores the units and a
// terminating NUL. Returns false when the key cannot be opened (and, on the
// stand-in, for a unit above 255, which no stored byte stands for); the write
// itself is not checked, as the installer does not check it.
bool WriteEnvironmentRegistryValue(const char* name, const std::u16string& value, ValueType type);

enum class RegistryRead { Ok, Missing, Failed };
// Reads a value of that key whole, whatever its length and type (key opened
// with RegOpenKeyExW for KEY_QUERY_VALUE; size asked for first, then read
// with RegQueryValueExW). `value` receives every stored unit, terminating and
// inner NULs included. Missing: the key or value does not exist. Failed: it
// exists but cannot be read, or (Windows) its data is an odd number of bytes.
RegistryRead ReadEnvironmentRegistryValue(const char* name, std::u16string& value,
                                          ValueType* type = nullptr);

// Win32: SendMessageTimeoutA(HWND_BROADCAST, WM_SETTINGCHANGE, 0, "Environment",
// SMTO_ABORTIFHUNG, 5000, nullptr). POSIX: does nothing.
void BroadcastEnvironmentChange();

// ---- Text and paths ---------------------------------------------------------

// Text in the ANSI code page as registry units. Win32: MultiByteToWideChar
// with CP_ACP. POSIX: each byte becomes one unit.
std::u16string WidenAnsi(const std::string& text);

// True when a path that starts with a single "\" names one place whatever the
// current drive: false on Windows (it is relative to the current drive's
// root), true on the POSIX stand-in, whose "\" is the root of the only tree.
bool RootedPathIsFull();

}  // namespace kd::platform
