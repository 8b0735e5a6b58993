#include "Win32System.h"

#include "WideText.h"
#include "Win32Calls.h"

#include <algorithm>

namespace nationfile {

std::string Environment(const wchar_t* name)
{
    wchar_t value[MAX_PATH + 1] = {};
    const DWORD length = GetEnvironmentVariableW(name, value, MAX_PATH + 1);
    return length > 0 && length <= MAX_PATH ? Utf8FromWide(std::wstring_view(value, length)) : std::string();
}

std::vector<std::string> ProgramFilesFolders()
{
    std::vector<std::string> folders;
    // A 32-bit program on 64-bit Windows sees the 32-bit folder under two of
    // these names.
    for (const wchar_t* name : {L"ProgramFiles(x86)", L"ProgramFiles", L"ProgramW6432"}) {
        std::string folder = Environment(name);
        const bool known = std::any_of(folders.begin(), folders.end(), [&](const std::string& other) {
            return CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, WideFromUtf8(other).c_str(), -1,
                                  WideFromUtf8(folder).c_str(), -1)
                == CSTR_EQUAL;
        });
        if (!folder.empty() && !known)
            folders.push_back(std::move(folder));
    }
    return folders;
}

bool UnderWine()
{
    return ActiveCalls().GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

} // namespace nationfile
