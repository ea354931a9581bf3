// Windows only. Thread naming through SetThreadDescription, which debuggers and crash dumps show.
#include "log/ThreadName.h"

#include "log/windows/WideText.h"

#include <windows.h>

namespace kel {

namespace {

// Looked up at run time: Windows before 10 (1607) has neither call, and threads stay unnamed.
using SetDescription = HRESULT(WINAPI*)(HANDLE, PCWSTR);
using GetDescription = HRESULT(WINAPI*)(HANDLE, PWSTR*);

FARPROC kernelProcedure(const char* name)
{
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    return kernel == nullptr ? nullptr : GetProcAddress(kernel, name);
}

}  // namespace

bool setCurrentThreadName(const std::string& name)
{
    const auto set = reinterpret_cast<SetDescription>(reinterpret_cast<void*>(kernelProcedure("SetThreadDescription")));
    if (set == nullptr)
        return false;
    const std::wstring wide = windows::wideFromUtf8(name);
    return SUCCEEDED(set(GetCurrentThread(), wide.c_str()));
}

std::string currentThreadName()
{
    const auto get = reinterpret_cast<GetDescription>(reinterpret_cast<void*>(kernelProcedure("GetThreadDescription")));
    PWSTR description = nullptr;
    if (get == nullptr || FAILED(get(GetCurrentThread(), &description)) || description == nullptr)
        return {};
    const std::string name = windows::utf8FromWide(description);
    LocalFree(description);
    return name;
}

}  // namespace kel
