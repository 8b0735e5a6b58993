#include "Win32System.h"

#include "WideText.h"
#include "Win32Calls.h"

#include <algorithm>
#include <string_view>

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

namespace {

constexpr std::wstring_view kLongForm = L"\\\\?\\";
constexpr std::wstring_view kLongShare = L"\\\\?\\UNC\\";

} // namespace

std::wstring SystemPath(const std::string& utf8, bool* valid)
{
    std::wstring wide = WideFromUtf8(utf8, valid);
    if (wide.size() < MAX_PATH || wide.starts_with(kLongForm))
        return wide;
    // The long form is taken as it stands, without the system's clean-up of
    // the path ("..", "/"): the path is made whole first.
    std::wstring full(32768, L'\0');
    const DWORD length = GetFullPathNameW(wide.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length == 0 || length >= full.size())
        return wide;
    full.resize(length);
    if (full.starts_with(L"\\\\"))
        return std::wstring(kLongShare) + full.substr(2);
    return std::wstring(kLongForm) + full;
}

std::wstring PlainPath(const std::wstring& systemPath)
{
    if (systemPath.starts_with(kLongShare))
        return L"\\\\" + systemPath.substr(kLongShare.size());
    if (systemPath.starts_with(kLongForm))
        return systemPath.substr(kLongForm.size());
    return systemPath;
}

} // namespace nationfile
