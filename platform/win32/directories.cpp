// Win32 directory calls: creation, removal, FindFirstFileA searches and the
// current directory.
#include <windows.h>

#include <string>

#include "platform/fault_hook.h"
#include "platform/platform.h"
#include "platform/win32/handles.h"

namespace kd::platform {

struct FindState {
    ScopedFindHandle search;
};

void StateDeleter::operator()(FindState* state) const { delete state; }

namespace {

void Describe(const WIN32_FIND_DATAA& data, FindEntry& entry) {
    entry.name = data.cFileName;
    entry.isDirectory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    entry.isLink = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

}  // namespace

bool FindHandle::First(const char* pattern, FindEntry& entry) {
    state.reset();
    WIN32_FIND_DATAA data{};
    ScopedFindHandle search(::FindFirstFileA(pattern, &data));
    if (!search.Valid()) return false;
    state.reset(new FindState{ScopedFindHandle(search.Release())});
    Describe(data, entry);
    return true;
}

bool FindHandle::Next(FindEntry& entry) {
    if (!state) return false;
    WIN32_FIND_DATAA data{};
    if (!::FindNextFileA(state->search.Get(), &data)) return false;
    Describe(data, entry);
    return true;
}

std::string CurrentDirectory() {
    DWORD size = ::GetCurrentDirectoryA(0, nullptr);
    if (size == 0) return {};
    std::string buffer(size, '\0');
    DWORD length = ::GetCurrentDirectoryA(size, buffer.data());
    if (length == 0 || length >= size) return {};
    buffer.resize(length);
    return buffer;
}

}  // namespace kd::platform
